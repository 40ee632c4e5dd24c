#include "HvSensor_Quarn.h"

#include "Dialogs.h"
#include "Folders.h"
#include "SysUtils.h"

#include <stdexcept>

TSensor_Quarn::TSensor_Quarn(QObject* owner) : QObject(owner)
{
    Comms = new TQuarnComms(this);
    Comms->OnDebugText = [this](QObject* s, const std::string& t) { PortData(s, t); };
    Comms->OnRxActivity = [this](QObject* s) { RxEvent(s); };
    Comms->OnTxActivity = [this](QObject* s) { TxEvent(s); };

    const std::string base = GetAppDataFolder() + "/Brindlecot";
    DataFolder = base;
    BackupFolder = base;
    if (!DirectoryExists(base) && !CreateDir(base))
        ShowMessage(std::string("unable to create directory"));
    if (!DirectoryExists(base + "/data") && !CreateDir(base + "/data"))
        throw Exception("Cannot create data directory.");
    if (!DirectoryExists(base + "/Backup") && !CreateDir(base + "/Backup"))
        throw Exception("Cannot create Backup directory.");
    DataFolder += "/";
    BackupFolder += "/Backup/";
}

TSensor_Quarn::~TSensor_Quarn()
{
    Comms->AbortReply();
    Comms->ClosePort();
    delete Comms;
    Comms = nullptr;
}

bool TSensor_Quarn::StartComs(const std::string& portName, long baud)
{
    return Comms->OpenPort(portName, static_cast<int32_t>(baud));
}

bool TSensor_Quarn::CloseComs()
{
    Comms->AbortReply();
    Comms->ClosePort();
    return Comms->PortOpen;
}

void TSensor_Quarn::AbortReply()
{
    Comms->AbortReply();
    // Let the aborted wait unwind before the caller goes on.
    Comms->Delay(10);
}

void TSensor_Quarn::PortData(QObject* /*sender*/, const std::string& data)
{
    if (OnPortDebugEvent)
        OnPortDebugEvent(this, data);
}

void TSensor_Quarn::RxEvent(QObject* /*sender*/)
{
    if (OnRxEvent)
        OnRxEvent(this);
}

void TSensor_Quarn::TxEvent(QObject* /*sender*/)
{
    if (OnTxEvent)
        OnTxEvent(this);
}
