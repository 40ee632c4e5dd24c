// The logged-record decoder: reads a download file (calibration image,
// configuration image, then the logger's record stream), cuts the stream into
// record frames, removes their escapes, checks CRC and timestamp, and turns
// the records into the graph file for the viewer program and into the CSV
// table. It also finds the time of a download file's last record for the
// "New data" collection.
//
// The conversion streams: the download file is read in blocks and each line
// goes to the output as it is made, so memory stays small for a file of any
// size. Every reader and writer works on a RecordInput and a TextSink (files
// or memory); the file entries named after the writers open both for it.
//
// The implementation is split by topic: sonderecordcmd.cpp (frames, the
// stream scan, the last record), sonderecordcmd_Graph.cpp (graph file),
// sonderecordcmd_CSV.cpp (CSV file), sonderecordcmd_Stream.* (input and
// output).
#pragma once

#include "DateTime.h"
#include "FormatSettings.h"
#include "RecordTime.h"
#include "SensorImages.h"
#include "Timestamp.h"
#include "sonderecordcmd_Stream.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

enum enRecordFrameType : uint8_t {
    rtNull = 0xC0,
    rtScheduleData = 0xC1,
    rtStartOfLogging = 0xC2,
    rtComment = 0xC3,
    rtTriggerEvent = 0xC4,
    rtSamplerEvent = 0xC5,
    rtAlarmEvent = 0xC6,
    rtSystemLog = 0xC7,
    rtDataVariation = 0xC8,
    rtRainEvent = 0xC9,
    rtRainMissingEvent = 0xCA,
    rtUnnamedCB = 0xCB,
    rtSboxStatus = 0xCC,
    rtNotify = 0xCD,
};

// The type byte of a record frame as it was found on the stream (it may lie
// outside enRecordFrameType when the frame is refused).
using RecordFrameTypeNumber = uint8_t;

enum enSystemEvent : uint8_t {
    NULL_SYSTEM_EVENT = 0,
    HARDWARE_RESET = 1,
    LOW_VOLTAGE_ALARM = 2,
    MEMORY_SEARCH_INITIATED = 3,
    SERIAL_WAKEUP_INTERRUPT = 4,
    SYSTEM_DATE_TIME_CHANGED = 5,
    SCHEDULER_STARTED = 6,
    SCHEDULER_STOPPED = 7,
    MEMORY_WRAPPED_AROUND = 8,
    MEMORY_FULL = 9,
    MEMORY_ERASED = 10,
    JUMPED_TO_BOOT_CODE = 11,
    CONFIG_FILE_UPDATED = 12,
    CAL_FILE_UPDATED = 13,
    DATA_MEMORY_ERASED = 14,
    MEMORY_CLEARED = 15,
    SBOX_POWER_ON_DETECT = 16,
    SBOX_DETECT_FAILED = 17,
    RAIN_DATA_MISSED = 18,
    SBOX_SYNC_OK = 19,
    SBOX_SYNC_NOK = 20,
    SBOX_RECONNECT_OK = 21,
    SBOX_BAUD_CHANGE_OK = 22,
    SBOX_BAUD_CHANGE_NOK = 23,
    SBOX_SYSINFO_NOK = 24,
    NUM_ESB_MISMATCH = 25,
    SOFTWARE_RESET = 26,
};

// Negative results of destructRecordFrame.
enum enRecordDecodeError : int16_t {
    rdNoStart = -1, // no marker, or the frame could not be decoded
    rdBadCrc = -2,
    rdBadType = -3,
    rdTooLong = -4,
};

// Fixed sizes of the record decoder.
constexpr uint8_t RecordMarker = 0xFE;
constexpr uint8_t RecordEscape = 0xFD;
constexpr int RecordChannels = 36;          // the sensor's channel count
constexpr uint16_t MaxRecordPayload = 250;  // longer payloads are refused
// The largest frame: marker, type, timestamp, then header, payload and CRC
// with every byte escaped.
constexpr int MaxRecordFrameBytes = 8 + 2 * (3 + MaxRecordPayload + 2);
// A frame buffer holds the largest frame and one zero byte behind it, so
// decoding a truncated frame only ever reads zeros inside the buffer.
constexpr int RecordFrameBufferSize = MaxRecordFrameBytes + 1;
constexpr int RecordPayloadBufferSize = 500;
constexpr long DownloadHeaderSize = sizeof(CalibrationData) + sizeof(ConfigurationData);
constexpr float NoValue = -1e10f; // a missing value in records and CSV cells

// The name of a system event with its leading blank (" HARDWARE_RESET"), or
// an empty string for a value above 26.
std::string SystemEventName(uint8_t event);

class TSondeRecordCmd : public QObject {
    Q_OBJECT
public:
    explicit TSondeRecordCmd(QObject* owner);
    ~TSondeRecordCmd() override;

    // One row of the CSV table under construction (its time is the record's).
    static constexpr int CommentFieldSize = 272; // the longest row text and its NUL
    struct scheduleData {
        int16_t ScheduleNumber;
        uint16_t ChannelCount;
        uint16_t Channels[RecordChannels];
        float Values[RecordChannels];
        char Comment[CommentFieldSize];
    };

    // --- members ----------------------------------------------------------
    CalibrationData CalData{};
    ConfigurationData ConfData{};
    int32_t RecordCount = 0;
    LineWriter* GraphLines = nullptr; // the lines being written, while a writer runs
    TDateTime LastRecordDate = 0;
    TDateTime LastRecordTime = 0;
    uint16_t CurrentSchedule = 0;
    int16_t CurrentValueSets = 0;
    uint16_t CurrentChannelCount = 0;
    uint16_t CurrentChannels[RecordChannels]{};
    float CurrentValues[RecordChannels]{};
    uint8_t ChannelUsed[RecordChannels]{};
    int32_t FileSize = 0;
    int32_t BytesRead = 0;

    // --- record frames (sonderecordcmd.cpp) --------------------------------
    // Decodes the frame at the start of `raw` (a zero-filled frame buffer).
    // Returns the raw length of the frame, or an enRecordDecodeError. Type and
    // timestamp are delivered whatever follows; the payload length only on
    // success. `payload` must hold RecordPayloadBufferSize bytes.
    static int16_t destructRecordFrame(const uint8_t (&raw)[RecordFrameBufferSize], RecordFrameTypeNumber& type,
                                       Timestamp& time, uint8_t (&header)[3], uint8_t* payload,
                                       uint16_t& payloadLength);
    // Decodes `count` escaped bytes of `src` (at most `available` raw bytes)
    // into `dst`; returns the raw bytes consumed. Throws std::out_of_range
    // when the raw bytes run out.
    static uint16_t ctrlEscapeDecode(const uint8_t* src, uint16_t count, uint8_t* dst, size_t available);
    // The link's CRC, from a table.
    static void updateCcittCrc(uint16_t& crc, uint8_t byte);
    static uint16_t blockCalcCcittCrc(const uint8_t* data, uint16_t initial, size_t count);
    static bool IsValidTimestamp(const Timestamp& time);
    static bool IsLeapYear(int year);
    static int DaysPerMonth(int year, int month);

    // Time of the last valid timed record of a download file; false when the
    // file cannot be opened or is no regular file (the time is then left as
    // it was). With `cut`, the file is cut before that record (and before
    // any records of the same second ahead of it, 24:00:00 being the next
    // day's 00:00:00), so that a download from the returned time appends each
    // of them exactly once; false as well when the cut fails.
    bool retrieveLastTimeRecord(const std::string& fileName, TDateTime& time, bool cut);
    // The same on any input: true and the time and the offset to cut at when
    // the input holds a valid timed record.
    bool findLastTimeRecord(RecordInput& input, TDateTime& time, uint64_t& cutOffset);

    // --- graph file (sonderecordcmd_Graph.cpp) ------------------------------
    // The images and the flag are not used: the images come from the
    // download file's header. False when the download file cannot be opened
    // or is no regular file (nothing is written then). Throws
    // std::runtime_error when the graph file cannot be written; an earlier
    // graph file then stays as it was.
    bool CreateTessaloomFile(const std::string& downloadFile, const std::string& graphFile, CalibrationData* cal,
                             ConfigurationData* conf, bool append);
    // The graph file of `input` written to `output`. Its second line holds
    // the time of the last record, known only at the end: an output that
    // cannot be rewritten gets a first pass that finds it.
    void writeTessaloom(RecordInput& input, TextSink& output);
    void PrintBanner(const Timestamp& time, const std::string& a, const std::string& b, bool scheduleList);
    void DisplayFaultyRecord(int16_t result, const uint8_t* bytes, uint16_t count);
    bool ReadNullRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadScheduleDataRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool StartOfLoggingRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadCommentRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadTriggerEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadSamplerEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadAlarmEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadSystemLogRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadDataVariationRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadRainEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadRainMissingEventRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadSboxStatusRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);
    bool ReadNotifyRecord(const uint8_t* payload, uint16_t length, const Timestamp& time);

    // --- CSV file (sonderecordcmd_CSV.cpp) ---------------------------------
    // As CreateTessaloomFile, for the CSV file.
    bool CreateCSVFile(const std::string& downloadFile, const std::string& csvFile, CalibrationData* cal,
                       ConfigurationData* conf, bool append);
    // The CSV file of `input` written to `output`: a first pass finds the
    // value columns, the second writes the rows as the records come.
    void writeCSV(RecordInput& input, TextSink& output);
    bool ReadScheduleDataRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row);
    bool ReadDataVariationRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row);
    bool ReadCommentRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row);
    bool ReadSystemLogRecordCSV(const uint8_t* payload, uint16_t length, scheduleData& row);
    static void clearScheduleData(scheduleData& row);

    // One record frame as the stream scan hands it on.
    struct ScannedFrame {
        int16_t Result = 0;          // destructRecordFrame's result
        RecordFrameTypeNumber Type = 0;
        Timestamp Time{};
        uint8_t Header[3]{};
        uint8_t Payload[RecordPayloadBufferSize]{};
        uint16_t Length = 0;         // payload length; 0 unless decoded
        bool Valid = false;          // decoded and a plausible timestamp
        long MarkerOffset = 0;       // file offset of the frame's marker
    };

    // Runs the record stream scan from `position` of the input: every frame
    // of more than 9 bytes is decoded, handed to `onFrame` and then counted in
    // RecordCount. With `wanted`, frames for which it answers false (given
    // the raw frame, zero-filled behind it, and its length) are counted but
    // neither decoded nor handed on.
    using RawFrameFilter = std::function<bool(const uint8_t (&raw)[RecordFrameBufferSize], int length)>;
    void scanRecordStream(RecordInput& input, uint64_t position,
                          const std::function<void(const ScannedFrame&)>& onFrame, const RawFrameFilter& wanted = {});

    // True when a valid record's payload holds what its reader takes: at
    // most 36 channels, channel numbers below 36, and every value the record
    // announces. Records that do not are listed as faulty records.
    static bool recordFits(RecordFrameTypeNumber type, const uint8_t* payload, uint16_t length);

private:
    // Clears GraphLines when the writer that set it ends, however it ends.
    struct LinesInUse {
        LinesInUse(LineWriter*& lines, LineWriter& writer) : Lines(lines) { Lines = &writer; }
        ~LinesInUse() { Lines = nullptr; }
        LineWriter*& Lines;
    };

    // Starts a pass over a download file: both images from its header
    // (zeroed when the file is shorter), the user's number formats, the
    // count reset.
    void readHeader(RecordInput& input);
    void graphPass(RecordInput& input, TextSink& output, bool stampAtEnd);
    // Sets ChannelUsed for every channel of a valid schedule-data record.
    void findColumns(RecordInput& input);
    // Decodes the frame collected in Raw (`length` bytes) into Frame.
    void decodeCollected(int length);
    // True when the escaped fields of a collected frame (`length` bytes of
    // `raw`, zero behind them) hold an escape byte (0xFD).
    static bool escapedFrame(const uint8_t (&raw)[RecordFrameBufferSize], int length);
    void pumpMessages();
    void setLastRecord(const Timestamp& time);
    void storeLastRecord();
    void putStamp(const Timestamp& time, long addSeconds = 0);
    // Writes the value's text (the channel's decimals) and returns its end.
    char* putValue(char* out, uint16_t channel, float value) const;
    void addStampLine(const char* prefix, const Timestamp& time, const char* suffix = "");
    void addValueItem(uint16_t channel, float value);
    bool readChannelBlock(const uint8_t* payload, uint16_t length);
    void addChannelLines(const char* tag);

    TFormatSettings Formats;
    ScannedFrame Frame;                       // reused for every frame of a pass
    uint8_t Raw[RecordFrameBufferSize]{};     // the frame being collected
    RecordTime::Civil LastCivil{};            // the last record's time, stored at the end of a pass
    // The CSV's value columns, found by the graph file's pass over the file
    // of this identity (a file read twice is not scanned a third time).
    std::string ColumnsOf;
    uint8_t GraphColumns[RecordChannels]{};
    bool LastCivilSet = false;
    uint32_t LastPumpTick = 0;
    uint32_t PumpCount = 0;
};
