// The logger's command vocabulary: byte 0 of a command frame, the verdict
// byte of a reply and the flags of the status reply. Header only, so that
// anything speaking the protocol can use the same names.
#pragma once

#include <cstdint>

enum enCommandCode : uint8_t {
    cmdNull = 0,
    cmdGetDateTimeBounds = 1,
    cmdRetrieveData = 2,
    cmdClearMemory = 3,
    cmdGetConfigurationFile = 4,
    cmdPutConfigurationFile = 5,
    cmdGetCalibrationFile = 6,
    cmdPutCalibrationFile = 7,
    cmdLogComment = 8,
    cmdChangeDateTime = 11,
    cmdJumpToBoot = 12,
    cmdStartScheduler = 16,
    cmdStopScheduler = 17,
    cmdGetCurrentValues = 18,
    cmdLoggerStatus = 19,
    cmdWipeNow = 27,
    cmdSetLDO_Offset = 31,
    cmdSetLDO_Span = 32,
    cmdLDO_Calibration_Reset = 33,
    cmdGet_ChannelName_Units = 50,
    cmdGet_Channel_Numbers = 51,
};

// Reply byte 0 when the logger accepted the command; any other value is the
// logger's error code.
constexpr uint8_t LoggerReplyOk = 0x80;

// The flags byte of the status reply.
enum enLoggerStatusFlags : uint8_t {
    lfLogging = 0x01, // the logger's scheduler runs
};
