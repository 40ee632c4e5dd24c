// The device model: one object per connected sensor. It owns the serial link,
// holds the sensor's two images and its status block, offers the sensor's
// command set and the operations built on it, and passes the link's
// notifications on to the window that created it.
//
// The implementation is split by topic over several HvSensor_Quarn*.cpp files;
// this header declares the whole class.
#pragma once

#include "PSQuarnComms.h"
#include "SensorImages.h"
#include "SensorStatus.h"
#include "SensorCommands.h"
#include "Timestamp.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QTimer;
class TDlProgForm;
class TSondeRecordCmd;

using TDataDownloadProgressEvent = std::function<void(QObject* sender, long startAddress, long endAddress,
                                                      long fileSize, long received, long percentComplete,
                                                      long timeElapsed)>;
using TTessaloomEvent =
    std::function<void(QObject* sender, long fileSize, long bytesRead, long percentComplete, long timeElapsed)>;

class TSensor_Quarn : public QObject {
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
    ConfigurationData ConfData{};
    CalibrationData CalData{};

    // --- the object (HvSensor_Quarn.cpp) ----------------------------------
    bool StartComs(const std::string& portName, long baud);
    bool CloseComs();
    void AbortReply();
    void PortData(QObject* sender, const std::string& data);
    void RxEvent(QObject* sender);
    void TxEvent(QObject* sender);

    // --- configuration and calibration images (HvSensor_Quarn_Images.cpp) --
    // Writing sets the image's CRC field, then writes the whole image; false
    // when the file cannot be opened or not every byte reached it. Reading
    // takes up to one image's worth of bytes from the start of the file: a
    // shorter file replaces only that many leading bytes, a longer one is read
    // no further, and the CRC is not tested. False, with the image unchanged,
    // when the file cannot be opened or read.
    bool WriteBinConf(ConfigurationData* conf, const std::string& fileName);
    bool ReadBinConf(const std::string& fileName, ConfigurationData* conf);
    bool WriteBinCal(CalibrationData* cal, const std::string& fileName);
    bool ReadBinCal(const std::string& fileName, CalibrationData* cal);
    // Resets schedule record `record` (0..6) and its start and stop method
    // entries to the defaults of a free record; other records are ignored.
    void ClearSchedule(int record);
    // True when the image is at format 3.0 or later; otherwise upgrades it in
    // memory (the CRC field is left for the next write) and returns false.
    // A version text that is not a number raises EConvertError.
    bool verifyConfigFile();
    bool verifyCalFile();
    // The five coefficients of the channel's datum compensation record. False,
    // touching nothing, when the channel or its datum compensation number is
    // not valid in the image.
    bool SetPressureChannelDatum(uint16_t channel, const float coeffs[5]);
    bool GetPressureChannelDatum(uint16_t channel, float coeffs[5]) const;

    // --- unit tables (HvSensor_Quarn_Units.cpp) ---------------------------
    // Family (base unit type) of a unit code; 255 when it has none.
    static uint8_t GetBaseUnitType(uint8_t code);
    // Default text of a unit code; empty when it has none.
    static std::string GetDefaultUnitsString(uint8_t code);
    // Replaces `list` with the unit texts a family offers (empty for a value
    // that is no family).
    static void GetDefaultUnitsStringList(uint8_t baseType, std::vector<std::string>& list);
    // Unit code of a text, matched exactly; the first of equal texts wins.
    // ucNone for a text of no unit.
    static uint8_t GetUnitTypeFromString(const std::string& text);

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
    // Send the connected sensor's backups back to it (as stored); the images
    // in memory take the backups' content.
    bool RestoreCalConfig();
    // True when the file exists and cannot be opened for appending.
    bool IsFileInUse(const std::string& fileName);
    // Asks the user to close the file for as long as it is in use.
    void MakeFileAvailable(const std::string& fileName);

    // --- logger status and current values (HvSensor_Quarn_Status.cpp) -----
    // Fill Status from the logger; on failure Status keeps its earlier values.
    bool LoggerStatus();
    bool LoggerStatus(uint16_t* status, ReplyBuffer& reply, uint16_t& replyLength);
    bool GetCurrentValues();
    bool GetCurrentValues(uint16_t* status);

private:
    // The backup file of the sensor named in CalData, with `extension`. The
    // ID comes from the sensor: path separators in it are replaced, so the
    // name stays inside BackupFolder.
    std::string backupFileName(const std::string& extension) const;
};
