// The logger download: the download file's header of both images, the
// address range of a time range, the record stream appended by the link
// under a progress window with Cancel; and the conversion of a download file
// into the graph file and the CSV file.
#include "HvSensor_Quarn.h"

#include "Dialogs.h"
#include "DlProgress.h"
#include "Folders.h"
#include "OperationScope.h"
#include "SysUtils.h"
#include "sonderecordcmd.h"

#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

namespace {

constexpr int DownloadProgressMs = 500;
constexpr int ConversionProgressMs = 250;
// Reply data of the address-range command: status, echo, two addresses.
constexpr size_t RangeReplyBytes = 10;

// Milliseconds for the elapsed seconds of the progress displays: wall time,
// not processor time, since the waits sleep.
int32_t progressClock()
{
    return static_cast<int32_t>(timeGetTime());
}

long elapsedSeconds(int32_t startTick)
{
    const uint32_t ms = static_cast<uint32_t>(progressClock()) - static_cast<uint32_t>(startTick);
    return static_cast<long>(ms / 1000u);
}

long percentOf(double part, double whole)
{
    return static_cast<long>(std::trunc(part / whole * 100.0));
}

uint32_t u32At(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// `name` with the extension of its last path component replaced.
std::string changeFileExt(const std::string& name, const std::string& extension)
{
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return name + extension;
    return name.substr(0, dot) + extension;
}

bool writeAll(std::FILE* f, const void* data, size_t size)
{
    return std::fwrite(data, 1, size, f) == size && std::fflush(f) == 0;
}

// Tells the user which file could not be used and the system's reason, in
// the words the conversion uses for its files.
void fileProblem(const char* what, const std::string& fileName, const std::string& reason)
{
    std::string text = std::string(what) + " \"" + fileName + "\".";
    if (!reason.empty())
        text += " " + reason;
    ShowMessage(PathText(text));
}

// The system's text for `error`, or none when nothing set it.
std::string reasonOf(int error)
{
    return error != 0 ? std::string(std::strerror(error)) : std::string();
}

// Closes `f` after writing to it: true when the writing and the close (which
// may flush the last bytes) both succeeded, otherwise with the reason.
bool closeWritten(std::FILE* f, bool written, std::string& reason)
{
    int error = written ? 0 : errno;
    if (std::fclose(f) != 0 && written) {
        written = false;
        error = errno;
    }
    reason = reasonOf(error);
    return written;
}

} // namespace

bool TSensor_Quarn::RetrieveData(const Timestamp& from, const Timestamp& to, ReplyBuffer& reply,
                                 uint16_t& replyLength, uint16_t* status)
{
    uint8_t command[256] = {};
    command[0] = cmdRetrieveData;
    encodeTimestamp(from, command + 1);
    encodeTimestamp(to, command + 7);
    reply.fill(0);
    replyLength = 0;
    enLinkStatus link = lsNone;
    const bool ok = Comms->SendCommandAwaitReply(command, 13, reply, replyLength, 3, 5, link);
    *status = link;
    if (!ok || reply[1] != cmdRetrieveData)
        return false;
    if (reply[0] != LoggerReplyOk) {
        *status = static_cast<uint16_t>(static_cast<int16_t>(static_cast<int8_t>(reply[0])));
        return false;
    }
    // Both addresses must be there; a shorter reply would leave them to
    // whatever the buffer held.
    if (replyLength < RangeReplyBytes + 1) {
        *status = lsUnexpectedReply;
        return false;
    }
    return true;
}

bool TSensor_Quarn::writeDownloadHeader(const std::string& fileName)
{
    if (FileExists(fileName)) {
        // The user gave up on a file that stays in use: nothing more to say.
        if (!MakeFileAvailable(fileName))
            return false;
        std::FILE* f = std::fopen(fileName.c_str(), "r+b");
        if (!f) {
            fileProblem("Cannot open file", fileName, reasonOf(errno));
            return false;
        }
        CalibrationData held{};
        const size_t got = std::fread(&held, 1, sizeof held, f);
        // A file too short to hold a sensor ID is no file of this sensor.
        const size_t idEnd = offsetof(CalibrationData, SensorID) + sizeof held.SensorID;
        if (got < idEnd || std::memcmp(held.SensorID, CalData.SensorID, sizeof held.SensorID) != 0) {
            std::fclose(f);
            ShowMessage(std::string("Currently connected Sensor ID does not match with selected file"));
            return false;
        }
        const bool wrote = std::fseek(f, 0, SEEK_SET) == 0 && writeAll(f, &CalData, sizeof CalData) &&
                           writeAll(f, &ConfData, sizeof ConfData);
        std::string reason;
        const bool written = closeWritten(f, wrote, reason);
        if (!written)
            fileProblem("Cannot write file", fileName, reason);
        return written;
    }
    std::FILE* f = std::fopen(fileName.c_str(), "wb");
    if (!f) {
        fileProblem("Cannot create file", fileName, reasonOf(errno));
        return false;
    }
    const bool wrote = writeAll(f, &CalData, sizeof CalData) && writeAll(f, &ConfData, sizeof ConfData);
    std::string reason;
    const bool written = closeWritten(f, wrote, reason);
    if (!written) {
        // A header cut short would make the file another sensor's for the
        // next "New data": the new file holds nothing else, so it goes.
        std::remove(fileName.c_str());
        fileProblem("Cannot write file", fileName, reason);
    }
    return written;
}

enDownloadResult TSensor_Quarn::RetrieveData(const std::string& fileName, TDateTime from, TDateTime to,
                                             bool /*flag*/)
{
    // One download at a time.
    if (ProgressForm || DownloadTimer)
        return drFailed;
    DownloadStartAddress = 0;
    DownloadEndAddress = 0;
    LastStatus = lsNone;
    Timestamp first{}, last{};
    decodeTDateTime(from, &first);
    decodeTDateTime(to, &last);

    // The header goes first, so that even a failed download leaves the file
    // with the current images and the records it held.
    if (!writeDownloadHeader(fileName))
        return drFailed;

    if (!NullCommand())
        return drFailed;
    ReplyBuffer reply;
    uint16_t replyLength = 0;
    if (!RetrieveData(first, last, reply, replyLength, &LastStatus))
        return drFailed;
    // The addresses are unsigned 32-bit numbers, so a range may cross
    // 0x80000000; they are compared and subtracted as such.
    const uint32_t startAddress = u32At(reply.data() + 2);
    const uint32_t endAddress = u32At(reply.data() + 6);
    DownloadStartAddress = static_cast<int32_t>(startAddress);
    DownloadEndAddress = static_cast<int32_t>(endAddress);
    // A range that ends before it starts, or that is larger than a download
    // can count, is no range the logger can send.
    if (endAddress < startAddress || endAddress - startAddress > uint32_t(INT32_MAX)) {
        LastStatus = lsUnexpectedReply;
        return drFailed;
    }
    const int32_t expected = static_cast<int32_t>(endAddress - startAddress);

    // The timer and the progress window go on every way out, an exception too.
    OperationScope download;
    download.own(std::make_unique<QTimer>(this), DownloadTimer);
    DownloadTimer->setInterval(DownloadProgressMs);
    connect(DownloadTimer, &QTimer::timeout, this, &TSensor_Quarn::DownloadTimerEvent);
    DownloadTimer->start();
    ProgressStartTick = progressClock();

    download.own(std::make_unique<TDlProgForm>(this, true), ProgressForm);
    ProgressForm->setWindowTitle(QStringLiteral("Data Download"));
    ProgressForm->setVisible(true);
    ProgressForm->ShowDownloadProgress(startAddress, endAddress, 0, 0, 0, 0);

    enLinkStatus status = static_cast<enLinkStatus>(LastStatus);
    const int32_t received = Comms->RetrieveLogFile(fileName, expected, status);
    LastStatus = status;

    DownloadTimer->stop();
    DownloadTimerEvent();
    download.end();

    // The PC's side gave up (a full disk): that is the one thing to tell,
    // not sizes as if the logger had stopped. What reached the file stays.
    if (!Comms->FileWriteError.empty()) {
        fileProblem("Cannot write file", fileName, Comms->FileWriteError);
        return drFailed;
    }
    if (received == 0)
        return drFailed;
    if (received == expected)
        return drComplete;
    // Nothing was expected but something came: all of it is extra.
    const long percent = expected != 0 ? percentOf(received, expected) : 0;
    ShowMessage("FileSize= " + std::to_string(expected) + " Downloaded- " + std::to_string(received) + " Diff - " +
                std::to_string(int64_t(expected) - int64_t(received)) + "  " + std::to_string(percent) + " %");
    return drPartial;
}

void TSensor_Quarn::DownloadTimerEvent()
{
    if (DownloadEndAddress == DownloadStartAddress)
        return;
    const uint32_t startAddress = static_cast<uint32_t>(DownloadStartAddress);
    const uint32_t endAddress = static_cast<uint32_t>(DownloadEndAddress);
    const int32_t size = static_cast<int32_t>(endAddress - startAddress);
    const long percent = percentOf(Comms->BytesReceived, size);
    const long seconds = elapsedSeconds(ProgressStartTick);
    if (ProgressForm) {
        ProgressForm->ShowDownloadProgress(startAddress, endAddress, size, Comms->BytesReceived, percent, seconds);
        if (ProgressForm->CancelRequested)
            Comms->AbortFileXfer();
    }
}

void TSensor_Quarn::startConversion(OperationScope& conversion)
{
    conversion.own(std::make_unique<TSondeRecordCmd>(this), RecordCmd);
    conversion.own(std::make_unique<QTimer>(this), ConversionTimer);
    ConversionTimer->setInterval(ConversionProgressMs);
    connect(ConversionTimer, &QTimer::timeout, this, &TSensor_Quarn::TessaloomProgressEvent);
    ConversionTimer->start();
    ProgressStartTick = progressClock();
}

int TSensor_Quarn::CreateTessaloomFile(const std::string& downloadFile, const std::string& graphFile, bool append)
{
    if (RecordCmd)
        return 0;
    // Giving up on a file in use ends the conversion; the files already
    // written stay.
    if (!MakeFileAvailable(graphFile))
        return 0;
    int result = 0;
    bool written = true;
    std::string failure;
    {
        OperationScope conversion;
        startConversion(conversion);
        try {
            RecordCmd->CreateTessaloomFile(downloadFile, graphFile, &CalData, &ConfData, append);
            const std::string csvFile = changeFileExt(graphFile, ".csv");
            if (MakeFileAvailable(csvFile))
                result = RecordCmd->CreateCSVFile(downloadFile, csvFile, &CalData, &ConfData, append) ? 1 : 0;
        } catch (const std::exception& e) {
            written = false;
            failure = e.what();
        }
    }
    // A file that cannot be written (a full disk): said once the conversion
    // has ended; the download file itself is untouched.
    if (!written) {
        ShowMessage(PathText(failure));
        return 0;
    }
    return result;
}

void TSensor_Quarn::TessaloomProgressEvent()
{
    if (!RecordCmd || RecordCmd->FileSize == 0)
        return;
    const long percent = percentOf(RecordCmd->BytesRead, RecordCmd->FileSize);
    const long seconds = elapsedSeconds(ProgressStartTick);
    if (OnTessaloomEvent)
        OnTessaloomEvent(this, RecordCmd->FileSize, RecordCmd->BytesRead, percent, seconds);
}

bool TSensor_Quarn::retrieveLastTimeRecord(const std::string& fileName, TDateTime* time, bool load)
{
    if (RecordCmd)
        return false;
    bool found = false;
    OperationScope conversion;
    startConversion(conversion);
    try {
        found = RecordCmd->retrieveLastTimeRecord(fileName, *time, load);
    } catch (const std::exception&) {
        found = false;
    }
    return found;
}
