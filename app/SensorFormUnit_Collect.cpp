// The Collect page: downloading the logged data, converting it into the graph
// and CSV files, and opening the files of the sensor's folder.
#include "SensorFormUnit.h"

#include "Dialogs.h"
#include "ExtCtrls.h"
#include "FileCtrl.h"
#include "FileHandle.h"
#include "Folders.h"
#include "HvSensor_Quarn.h"
#include "OperationScope.h"
#include "Shell.h"
#include "SysUtils.h"

#include <QDateTimeEdit>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

// The viewer program for graph files, next to the program file.
constexpr const char* GraphViewerName = "Tessaloom";

// At most this much of a download file's end is kept aside while "New data"
// cuts its last records off, far more than the records of one second take.
constexpr long CutTailLimit = 1 << 20;

QString local8(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size()));
}

// The base name of a download as typed, or the reason it cannot name a file
// of the sensor's folder.
std::string downloadNameProblem(const QString& name)
{
    if (name.isEmpty())
        return "Please enter a name for the download file.";
    if (name.contains(QLatin1Char('/')))
        return "The download file name must not contain \"/\": the files are always written to the sensor's "
               "data folder.";
    // A name starting with a dot makes hidden files, which the file list
    // would never show.
    if (name.startsWith(QLatin1Char('.')))
        return "The download file name must not start with \".\".";
    return std::string();
}

// True when the download file holds the connected sensor's ID in its header.
bool fileOfSensor(const std::string& path, const CalibrationData& cal)
{
    const OwnedFile f = openFile(path, "rb");
    if (!f)
        return false;
    uint8_t id[sizeof cal.SensorID] = {};
    const bool read = std::fseek(f.get(), static_cast<long>(offsetof(CalibrationData, SensorID)), SEEK_SET) == 0 &&
                      std::fread(id, 1, sizeof id, f.get()) == sizeof id;
    return read && std::memcmp(id, cal.SensorID, sizeof id) == 0;
}

// The end of a download file, kept before "New data" cuts its last records
// off, so that a download that brings nothing can put them back.
struct KeptTail {
    std::string path;
    long size = -1;             // of the whole file before the cut
    std::vector<char> bytes;    // its last bytes

    void keep(const std::string& file)
    {
        path = file;
        size = fileSize(file);
        bytes.clear();
        if (size <= 0)
            return;
        const long count = size < CutTailLimit ? size : CutTailLimit;
        const OwnedFile f = openFile(file, "rb");
        if (!f)
            return;
        bytes.resize(static_cast<size_t>(count));
        if (std::fseek(f.get(), size - count, SEEK_SET) != 0 ||
            std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
            bytes.clear();
    }

    // Appends what the cut took, when the file still ends where the cut left
    // it and the kept bytes cover the cut.
    void putBack(long cutSize) const
    {
        const long removed = size - cutSize;
        if (cutSize < 0 || removed <= 0 || removed > static_cast<long>(bytes.size()) || fileSize(path) != cutSize)
            return;
        const OwnedFile f = openFile(path, "ab");
        if (!f)
            return;
        std::fwrite(bytes.data() + (bytes.size() - static_cast<size_t>(removed)), 1, static_cast<size_t>(removed),
                    f.get());
    }
};

} // namespace

void TSensorForm::CollectDataBtnClick()
{
    // The button and the bar come back on every way out, an exception too.
    OperationScope scope;
    scope.atEnd([this] { SetButtonStates(bmNormal); });
    scope.disable({CollectDataBtn});

    const QString typed = DlFileNameEditBox->text();
    const std::string problem = downloadNameProblem(typed);
    if (!problem.empty()) {
        ShowMessage(problem);
        return;
    }
    std::string baseName = typed.toLocal8Bit().toStdString();
    std::string downloadFile = DownloadsFolder + baseName + ".bin";

    if (!Sensor || !CheckSensorStatus())
        return;
    SetButtonStates(bmBusyTransfer);

    if (!Sensor->GetDateTimeBounds()) {
        ShowMessage(std::string("Failed to retrieve logger data memory boundaries, it may me neccesary to clear the "
                                "logger memory if this problem persists"));
        return;
    }

    SensorStatusData& status = Sensor->Status;
    bool newData = false;
    KeptTail tail;
    long cutSize = -1;
    switch (DlCollectionOptions->ItemIndex()) {
    case 2: {
        // 00:00:01 of the From day to 23:59:59 of the To day, never wider
        // than what was logged.
        const QDate fromDay = DlFromDatePicker->date();
        const QDate tillDay = DlTillDatePicker->date();
        const TDateTime from = EncodeDate(fromDay.year(), fromDay.month(), fromDay.day()) + 1.0 / SecsPerDay;
        const TDateTime till = EncodeDate(tillDay.year(), tillDay.month(), tillDay.day()) + 86399.0 / SecsPerDay;
        if (from > status.FirstLoggedTime)
            status.FirstLoggedTime = from;
        if (till < status.LastLoggedTime)
            status.LastLoggedTime = till;
        break;
    }
    case 1:
        newData = true;
        if (FileExists(downloadFile)) {
            // The user gave up on a file that stays in use: no download.
            if (!Sensor->MakeFileAvailable(downloadFile)) {
                StatusTxt->setText(QStringLiteral("Download FAILED"));
                return;
            }
            // Another sensor's file is refused by the download; its records
            // must not be cut first.
            if (fileOfSensor(downloadFile, Sensor->CalData)) {
                tail.keep(downloadFile);
                TDateTime last = 0;
                if (Sensor->retrieveLastTimeRecord(downloadFile, &last, true))
                    status.FirstLoggedTime = last;
                cutSize = fileSize(downloadFile);
            }
        }
        break;
    default:
        break;
    }

    // "All data" and "Between dates" never write into an existing file.
    if (!newData && FileExists(downloadFile)) {
        const std::string typedName = baseName;
        for (int n = 1;; ++n) {
            baseName = typedName + "_" + std::to_string(n);
            if (!FileExists(DownloadsFolder + baseName + ".bin"))
                break;
        }
    }

    DownloadLoggerData(baseName, newData);
    // Nothing came: the records the cut took go back where they were.
    if (newData && lastDownloadResult_ == drFailed)
        tail.putBack(cutSize);
    // The refresh writes the logging state into the status line; the
    // download's outcome is what the user must still read there.
    const QString outcome = StatusTxt->text();
    if (UpdateLoggerStatus()) {
        StatusTxt->setText(outcome);
        return;
    }
    // The sensor stopped answering (the download's figures were shown as
    // for a Cancel): said with what the file now holds.
    const std::string fileName = baseName + ".bin";
    SensorLost(QStringLiteral("%1: the sensor stopped answering. %2 holds %3 bytes.")
                   .arg(outcome, local8(fileName), QString::number(fileSize(DownloadsFolder + fileName))));
}

void TSensorForm::DownloadLoggerData(const std::string& baseName, bool newData)
{
    lastDownloadResult_ = drFailed;
    const std::string graphFile = DownloadsFolder + baseName + ".dat";
    const std::string downloadFile = DownloadsFolder + baseName + ".bin";

    StatusTxt->setText(local8(DateTimeText(Sensor->Status.FirstLoggedTime)));
    StatusTxt->setText(local8(DateTimeText(Sensor->Status.LastLoggedTime)));

    const enDownloadResult result =
        Sensor->RetrieveData(downloadFile, Sensor->Status.FirstLoggedTime, Sensor->Status.LastLoggedTime, true);
    lastDownloadResult_ = result;
    if (result == drFailed) {
        StatusTxt->setText(QStringLiteral("Download FAILED"));
        return;
    }
    if (result == drPartial)
        StatusTxt->setText(QStringLiteral("Partial download"));

    StatusTxt->setText(QStringLiteral("Processing Tessaloom File"));
    Sensor->CreateTessaloomFile(downloadFile, graphFile, newData);
    // A download cut short stays reported as such once what arrived is
    // converted.
    StatusTxt->setText(result == drPartial ? QStringLiteral("Partial download") : QStringLiteral("Download complete"));
}

void TSensorForm::DlCollectionOptionsClick()
{
    DlDatePickerPanel->setVisible(DlCollectionOptions->ItemIndex() == 2);
}

void TSensorForm::DlFileListBoxClick()
{
    const QListWidgetItem* item = DlFileListBox->currentItem();
    if (!item || !item->isSelected())
        return;
    DlFileNameEditBox->setText(QFileInfo(item->text()).completeBaseName());
    DlCollectionOptions->SetItemIndex(1);
}

void TSensorForm::DlFileListBoxDblClick(QObject* Sender)
{
    auto* list = qobject_cast<TFileListBox*>(Sender);
    if (!list)
        return;
    const QListWidgetItem* item = list->currentItem();
    if (!item || !item->isSelected())
        return;
    openListedFile(list, item->text());
}

void TSensorForm::DlOpenFileBtnClick()
{
    const QListWidgetItem* item = DlFileListBox->currentItem();
    if (!item || !item->isSelected()) {
        ShowMessage(std::string("Please select a file to open."));
        return;
    }
    openListedFile(DlFileListBox, item->text());
}

void TSensorForm::openListedFile(const TFileListBox* list, const QString& name)
{
    QString folder = local8(list->Directory());
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // The extension with its dot; only graph files written in lower case go
    // to the viewer.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? name.mid(dot) : QString();
    if (extension.contains(QLatin1String("dat")))
        LaunchGraphViewer(GraphViewerName, (folder + name).toLocal8Bit().toStdString());
    else
        ShellOpen(folder + name);
}

void TSensorForm::DlOpenExplorerBtnClick()
{
    ShellOpen(local8(DownloadsFolder));
}

void TSensorForm::LaunchGraphViewer(const std::string& viewerName, const std::string& filePath)
{
    try {
        const QString appFolder = QFileInfo(ExeName()).absolutePath() + QLatin1Char('/');
        const QString program = appFolder + local8(viewerName);
        const QFileInfo viewer(program);
        if (!viewer.isFile() || !viewer.isExecutable()) {
            ShowMessage(QStringLiteral("The graph viewer program was not found: %1").arg(program));
            return;
        }
        // The file is one argument, whatever blanks its path holds.
        if (!StartProgram(program, {QStringLiteral("-"), local8(filePath)}, appFolder))
            ShowMessage(QStringLiteral("The graph viewer program could not be started: %1").arg(program));
    } catch (const std::exception&) {
        // Opening a file for viewing never ends the operation that asked.
    }
}
