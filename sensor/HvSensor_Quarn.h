// The device model: one object per connected sensor. It owns the serial link,
// holds the sensor's two images and its status block, offers the sensor's
// command set and the operations built on it, and passes the link's
// notifications on to the window that created it. The images and the work
// on them alone come from TSensorImageModel.
//
// The implementation is split by topic over several HvSensor_Quarn*.cpp files;
// this header declares the whole class.
#pragma once

#include "PSQuarnComms.h"
#include "SensorImageModel.h"
#include "SensorStatus.h"
#include "SensorCommands.h"
#include "Timestamp.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class OperationScope;
class QTimer;
class TDlProgForm;
class TSondeRecordCmd;

using TDataDownloadProgressEvent = std::function<void(QObject* sender, long startAddress, long endAddress,
                                                      long fileSize, long received, long percentComplete,
                                                      long timeElapsed)>;
using TTessaloomEvent =
    std::function<void(QObject* sender, long fileSize, long bytesRead, long percentComplete, long timeElapsed)>;

// --- download and calibration vocabulary -----------------------------------

// Outcome of a logger download.
enum enDownloadResult : uint8_t {
    drComplete = 0, // exactly the expected number of bytes arrived
    drPartial = 1,  // some bytes, not the expected number; the user was told the sizes
    drFailed = 2,   // no file, another sensor's file, no answer, or no byte
};

// Calibration chosen on the main window (the item index of its choice).
enum enCalibrationType : uint8_t {
    ctOnePointOffset = 0,
    ctOnePointSpan = 1,
    ctTwoPoint = 2,
    ctRestoreFactoryDefault = 3,
    ctSetDatumReferences = 4,
};

class TSensor_Quarn : public QObject, public TSensorImageModel {
    Q_OBJECT
public:
    // Throws Exception ("Cannot create data directory." or "Cannot
    // create Backup directory.") when a working folder cannot be made.
    explicit TSensor_Quarn(QObject* owner);
    ~TSensor_Quarn() override;

    // --- members --------------------------------------------------------
    std::string DataFolder;   // <app data>/Brindlecot/
    std::string BackupFolder; // <app data>/Brindlecot/Backup/
    TPortDebugEvent OnPortDebugEvent;
    TRxEvent OnRxEvent;
    TRxEvent OnTxEvent;
    TDlProgForm* ProgressForm = nullptr;
    TQuarnComms* Comms = nullptr;
    TSondeRecordCmd* RecordCmd = nullptr;
    int32_t DownloadStartAddress = 0;
    int32_t DownloadEndAddress = 0;
    QTimer* DownloadTimer = nullptr;
    QTimer* ConversionTimer = nullptr;
    int32_t ProgressStartTick = 0;
    TDataDownloadProgressEvent OnDataDownloadProgressEvent;
    TTessaloomEvent OnTessaloomEvent;
    uint16_t LastStatus = lsNone;
    SensorStatusData Status;

    // --- the object (HvSensor_Quarn.cpp) ----------------------------------
    bool StartComs(const std::string& portName, long baud);
    bool CloseComs();
    void AbortReply();
    void PortData(QObject* sender, const std::string& data);
    void RxEvent(QObject* sender);
    void TxEvent(QObject* sender);

    // --- timestamps (HvSensor_Quarn_Timestamps.cpp) ------------------------
    // The sensor's 6-byte date and time and the PC's TDateTime, in local time.
    // An all-zero Timestamp and TDateTime 0.0 both mean "no time".
    static void encodeTimestamp(const Timestamp& ts, uint8_t* buffer);
    static void decodeTDateTime(TDateTime value, Timestamp* out);
    // An invalid Timestamp gives 0.0.
    static void encodeTDateTime(const Timestamp& ts, TDateTime* out);
    static bool IsValidTimestamp(const Timestamp& ts);
    static bool IsLeapYear(int year);
    // 0 for a month outside 1 to 12.
    static int DaysPerMonth(int year, int month);

    // --- command set (HvSensor_Quarn_Commands.cpp) -------------------------
    // Each command has a status form, which sends only that command and
    // reports through `status` (an enLinkStatus, or the logger's refusal byte
    // sign-extended), and a plain form for the windows, which stores lsNone in
    // LastStatus, sends the null command and then the status form. All return
    // true only when the logger accepted the command.
    bool NullCommand();
    bool GetDateTimeBounds(Timestamp* first, Timestamp* last, uint16_t* status);
    bool GetDateTimeBounds(); // fills Status.FirstLoggedTime and LastLoggedTime
    // Texts longer than 254 characters are cut to 254.
    bool ClearMemory(const std::string& text, uint16_t* status);
    bool ClearLoggerMemory(const std::string& text);
    // Start a file transfer; the transfer itself follows in the caller.
    bool GetConfigurationFile(uint16_t* status);
    bool PutConfigurationFile(uint16_t* status);
    bool GetCalibrationFile(uint16_t* status);
    bool PutCalibrationFile(uint16_t* status);
    bool LogComment(const std::string& text, uint16_t* status);
    bool LogComment(const std::string& text);
    bool ChangeDateTime(const Timestamp& ts, uint16_t* status);
    // Sets the sensor clock to `value`, or to the PC's local time now.
    bool setDateTime(TDateTime value, bool usePcTime);
    bool StartScheduler(uint8_t mode, uint16_t* status);
    bool StartScheduler(uint16_t mode); // 256 or more: nothing is sent
    bool StopScheduler(uint16_t* status);
    bool StopScheduler();
    bool WipeNowCommand(uint16_t* status);
    bool TurbidityWipeNow();
    bool SetLDO_Offset(int32_t value, uint16_t* status);
    bool SetLDO_Offset(int32_t value);
    bool SetLDO_Span(int32_t value, uint16_t* status);
    bool SetLDO_Span(int32_t value);
    bool LDO_Calibration_Reset(uint16_t* status);
    bool LDO_Calibration_Reset();
    // Copy the reply from byte 3 on (reply length - 3 bytes) into `buffer`.
    bool Get_ChannelName_Units(uint8_t channel, ReplyBuffer& buffer, uint16_t* status);
    bool Get_ChannelName_Units(uint8_t channel, ReplyBuffer& buffer);
    bool Get_Channel_Numbers(uint8_t channel, ReplyBuffer& buffer, uint16_t* status);
    bool Get_Channel_Numbers(uint8_t channel, ReplyBuffer& buffer);

    // --- image transfers and backups (HvSensor_Quarn_Transfers.cpp) -------
    // Plain forms of the image commands with their transfer: LastStatus :=
    // lsNone, the null command, the command, then the file moves (fetched and
    // expanded into `fileName`, or sent from it). True only when all of it
    // worked; the link's outcome is in LastStatus.
    bool GetConfigurationFile(const std::string& fileName);
    bool GetCalibrationFile(const std::string& fileName);
    bool PutConfigurationFile(const std::string& fileName);
    bool PutCalibrationFile(const std::string& fileName);
    // Fetch an image into ConfData or CalData through "Conf.bin" or "Cal.bin"
    // in DataFolder; a fetch that fails, or brings a file that is not exactly
    // one image, leaves the image in memory unchanged.
    bool getConfigurationData();
    bool getCalibrationData();
    // Send ConfData or CalData (with a fresh CRC) through the same files.
    bool sendConfigurationData();
    bool sendCalibrationData();
    // Fetch both images into memory and store them as BackupFolder + sensor
    // ID + ".cal" and ".cfg", replacing an earlier backup of the same sensor
    // only once both images have arrived whole.
    bool BackupCalConfig();
    // Send the connected sensor's backups back to it (as stored); each image
    // in memory takes its backup's content once the sensor has taken it.
    // True when both were restored; `calibrationRestored` tells whether the
    // calibration image was, also when the configuration image then failed.
    bool RestoreCalConfig(bool* calibrationRestored = nullptr);
    // True when the file exists and cannot be opened for appending.
    bool IsFileInUse(const std::string& fileName);
    // Asks the user to close the file for as long as it is in use; false
    // when the user gives up (Cancel), true once it can be written.
    bool MakeFileAvailable(const std::string& fileName);

    // --- logger status and current values (HvSensor_Quarn_Status.cpp) -----
    // Fill Status from the logger; on failure Status keeps its earlier values.
    bool LoggerStatus();
    bool LoggerStatus(uint16_t* status, ReplyBuffer& reply, uint16_t& replyLength);
    bool GetCurrentValues();
    bool GetCurrentValues(uint16_t* status);

    // --- channel calibration (HvSensor_Quarn_Calibration.cpp) -------------
    // Measures now and returns live value `index`; -1e10 when there is none.
    double zz_GetCurrentValues(int index);
    // One calibration step: the prompt, then the optical oxygen command or
    // the reading. False when the user cancels (or the oxygen command fails);
    // a missing reading is left at -1e10 for the caller to judge.
    bool zz_ReadChannelValue(int channel, const std::string& name, uint8_t calibrationType, int step,
                             double* entered, double* reading);
    // Offset, span or two-point calibration of the user-calibration record.
    // Every way out restores and resends the configuration image; on failure
    // the calibration image is restored and resent too.
    bool zz_doCalibration(int channel, const std::string& name, uint8_t calibrationType);
    // Optical oxygen channels: the sensor calibrates itself from the entered
    // value; the images are not touched.
    bool zz_doODO_Calibration(int channel, const std::string& name, uint8_t calibrationType);
    // Back to the factory calibration; true only when the sensor took it.
    bool zz_SetDefaultsUserCalValues(int channel, const std::string& name, uint8_t calibrationType);

    // --- logger download (HvSensor_Quarn_Download.cpp) --------------------
    // Downloads the records between two times into a download file: the
    // calibration and configuration images (a new file, or the header of an
    // existing file of the same sensor rewritten in place), then the
    // logger's record stream appended. The flag has no effect.
    enDownloadResult RetrieveData(const std::string& fileName, TDateTime from, TDateTime to, bool flag);
    // The address-range command alone: reply bytes 2..5 and 6..9 hold the
    // start and end address of the records in range.
    bool RetrieveData(const Timestamp& from, const Timestamp& to, ReplyBuffer& reply, uint16_t& replyLength,
                      uint16_t* status);
    void DownloadTimerEvent();
    // Writes the graph file and, beside it, the CSV file; returns the CSV
    // writer's result (0 also when no conversion could run).
    int CreateTessaloomFile(const std::string& downloadFile, const std::string& graphFile, bool append);
    void TessaloomProgressEvent();
    // Time of the last record of a download file; with `load`, the file is
    // cut before that record so that a download from that time appends it
    // once more.
    bool retrieveLastTimeRecord(const std::string& fileName, TDateTime* time, bool load);

#ifdef BRINDLECOT_PORTMODE
    // --- the comms-mode utility's additions ------------------------------
    // The jump-to-boot command alone (5 s, 3 tries): true when the logger
    // accepted it, after which it restarts into its boot code. A refusal
    // leaves its error byte in `status`.
    bool JumpToBoot(uint16_t* status);
    // LastStatus := lsNone, the null command, then the jump.
    bool JumpToBoot();
    // The link's plain-text operations (HvSensor_Quarn_Boot.cpp); the first
    // two are false, touching nothing, when the port is not open.
    bool SendString(const std::string& text);
    bool WaitForString(const std::string& pattern, uint8_t* buffer, int32_t length, int32_t& received,
                       uint16_t timeout);
    void Delay(int32_t milliseconds);
#endif

private:
    bool writeDownloadHeader(const std::string& fileName);
    // A decoder and its progress timer for one conversion, owned by
    // `conversion` and gone when it ends.
    void startConversion(OperationScope& conversion);
    // The backup file of the sensor named in CalData, with `extension`. The
    // ID comes from the sensor: path separators in it are replaced, so the
    // name stays inside BackupFolder.
    std::string backupFileName(const std::string& extension) const;
};
