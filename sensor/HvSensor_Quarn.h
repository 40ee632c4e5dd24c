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

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

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
    // Throws std::runtime_error ("Cannot create data directory." or "Cannot
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
};
