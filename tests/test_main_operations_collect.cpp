// The Collect page against the stand-in, driven through the window: the three
// kinds of download with their file names, the records in the download,
// graph and CSV files, a cancelled download and a sensor that hangs up, bad
// names and the failures that must lose nothing; then opening the listed
// files, the viewer and the folder.
#include "OperationsFixture.h"
#include "QtPrinters.h"

#include "DlProgress.h"
#include "ExtCtrls.h"
#include "FileCtrl.h"
#include "SysUtils.h"
#include "sonderecordcmd.h"

#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include <unistd.h>

using namespace ops;

namespace {

std::vector<std::string> readLines(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

Timestamp stampOf(int year, int month, int day, int hour, int minute, int second)
{
    return Timestamp{uint8_t(year - 2000), uint8_t(month), uint8_t(day), uint8_t(hour), uint8_t(minute),
                     uint8_t(second)};
}

std::string stampText(const Timestamp& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", 2000 + t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second);
    return buf;
}

class Collect : public OperationsFixture {
protected:
    void SetUp() override
    {
        OperationsFixture::SetUp();
        // A burst cut short is given up after this much quiet.
        aside.reset(new QTemporaryDir);
    }

    // Connected, on the Collect page, with `name` as the download's name.
    void openCollect(const QString& name)
    {
        connect();
        form->Sensor->Comms->QuietTimeMs = 300;
        press(form->DataBtn);
        ASSERT_EQ(form->ActivePage(), form->Collect);
        form->DlFileNameEditBox->selectAll();
        typeThroughWindow(form->DlFileNameEditBox, name);
        ASSERT_EQ(form->DlFileNameEditBox->text(), name);
    }
    void choose(int option)
    {
        // On the button's circle, left of its caption.
        QRadioButton* button = form->DlCollectionOptions->Button(option);
        clickThroughWindow(button, QPoint(8, button->height() / 2));
        ASSERT_EQ(form->DlCollectionOptions->ItemIndex(), option);
    }
    // Presses "Start Data Download"; the download and conversion run inside.
    void start()
    {
        mark();
        clickThroughWindow(form->CollectDataBtn);
        EXPECT_TRUE(form->CollectDataBtn->isEnabled());
        EXPECT_TRUE(form->DataBtn->isEnabled()) << "the button bar is back to normal";
    }
    std::string file(const std::string& name) const { return downloads() + name; }
    bool exists(const std::string& name) const { return QFile::exists(QString::fromStdString(file(name))); }

    // The download file that holds `stream` after the images the window's
    // device model holds.
    Bytes expectedDownload(const Bytes& stream) const
    {
        return standin::downloadFile(form->Sensor->CalData, form->Sensor->ConfData, stream);
    }
    // The graph and CSV files of `base` are what a decoder of its own makes
    // of the download file.
    void expectConverted(const std::string& base)
    {
        const std::string in = aside->path().toStdString() + "/aside.bin";
        writeFile(in, readFile(file(base + ".bin")));
        TSondeRecordCmd cmd(nullptr);
        ASSERT_TRUE(cmd.CreateTessaloomFile(in, aside->path().toStdString() + "/aside.dat", nullptr, nullptr, false));
        ASSERT_TRUE(cmd.CreateCSVFile(in, aside->path().toStdString() + "/aside.csv", nullptr, nullptr, false));
        const auto graph = readLines(file(base + ".dat"));
        const auto csv = readLines(file(base + ".csv"));
        EXPECT_GE(graph.size(), 2u);
        EXPECT_GE(csv.size(), 2u);
        EXPECT_EQ(graph, readLines(aside->path().toStdString() + "/aside.dat"));
        EXPECT_EQ(csv, readLines(aside->path().toStdString() + "/aside.csv"));
    }
    // The list's item of that name, clicked (or double-clicked) through the
    // window.
    void clickItem(TFileListBox* list, const QString& name, bool twice = false)
    {
        const auto items = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        list->scrollToItem(items[0]);
        const QPoint at = list->visualItemRect(items[0]).center();
        if (twice)
            doubleClickThroughWindow(list->viewport(), at);
        else
            QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              list->viewport()->mapTo(list->window(), at));
    }
    // Stream offsets [first, end) of the stand-in's records whose time lies
    // in [from, to].
    std::pair<size_t, size_t> rangeOf(const Timestamp& from, const Timestamp& to) const
    {
        const size_t size = logger.stream().size();
        size_t first = size, end = size;
        for (const auto& e : logger.index()) {
            if (e.seconds >= standin::secondsOf(from) && first == size)
                first = e.offset;
            if (e.seconds > standin::secondsOf(to)) {
                end = e.offset;
                break;
            }
        }
        return {first, end};
    }
    // The file list after the clock has seen the folder.
    QStringList listed()
    {
        testsupport::pumpUntil([&] { return form->DlFileListBox->Items() == form->FileListBox1->Items(); }, 3000);
        QApplication::processEvents();
        form->ClockTimerTimer();
        return form->DlFileListBox->Items();
    }
    std::string status() const { return form->StatusTxt->text().toStdString(); }

    std::unique_ptr<QTemporaryDir> aside;
};

TEST_F(Collect, AllDataNeverOverwritesAndHoldsTheStandinsRecords)
{
    log(30000); // the multi-frame protocol
    connect();
    press(form->DataBtn);
    // The page opens with the sensor's name and today's date, "All data".
    EXPECT_EQ(form->DlFileNameEditBox->text(),
              QStringLiteral("Weir Sonde 4") + QLocale::system().toString(QDateTime::currentDateTime(), "_yyyyMMMdd"));
    EXPECT_EQ(form->DlCollectionOptions->ItemIndex(), 0);
    EXPECT_FALSE(form->DlDatePickerPanel->isVisible());
    form->DlFileNameEditBox->selectAll();
    typeThroughWindow(form->DlFileNameEditBox, "Weir");
    form->Sensor->Comms->QuietTimeMs = 300;

    // A file of that name exists already: it is left alone.
    const Bytes earlier = {1, 2, 3};
    writeFile(file("Weir.bin"), earlier);
    start();
    EXPECT_EQ(status(), "Download complete");
    const Bytes stream = logger.stream();
    EXPECT_TRUE(readFile(file("Weir_1.bin")) == expectedDownload(stream)) << "the stand-in's records, byte for byte";
    expectConverted("Weir_1");
    EXPECT_TRUE(readFile(file("Weir.bin")) == earlier);
    EXPECT_FALSE(exists("Weir.dat"));
    EXPECT_TRUE(shown.empty()) << messages().front();

    // Logged range asked for, after the guard's status and a fresh bound.
    const std::vector<int> codes = commandCodes();
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 6), std::vector<int>({0, 19, 0, 1, 0, 2}));
    const auto q = logger.requests().back();
    const auto index = logger.index();
    EXPECT_EQ(stampText(q.from), stampText(standin::timestampOf(index.front().seconds)));
    EXPECT_EQ(stampText(q.to), stampText(standin::timestampOf(index.back().seconds)));

    // The next one goes to "_2"; the list shows the graph and CSV files.
    start();
    EXPECT_TRUE(readFile(file("Weir_2.bin")) == expectedDownload(stream));
    expectConverted("Weir_2");
    EXPECT_EQ(listed(), QStringList({"Weir_1.csv", "Weir_1.dat", "Weir_2.csv", "Weir_2.dat"}));
}

TEST_F(Collect, SensorNamedBeyondAsciiDownloadsConvertsAndBacksUpInItsOneFolder)
{
    // "Café" as the image holds it: 8-bit text with one byte 0xE9.
    standin::SensorImages images = sensor.images();
    SetImageText(images.cal.SensorName, "Caf\xE9");
    SetImageText(images.cal.SensorID, "QS\xE9" "4217");
    standin::setImageCrc(images.cal);
    sensor.setImages(images);
    log(4000);
    connect();
    const QString name = QStringLiteral("Caf\u00E9");
    EXPECT_TRUE(form->windowTitle().endsWith(QStringLiteral("  Sensor: ") + name));
    press(form->DataBtn);
    const QString base = form->DlFileNameEditBox->text();
    EXPECT_TRUE(base.startsWith(name + QLatin1Char('_'))) << base.toStdString();
    form->Sensor->Comms->QuietTimeMs = 300;
    start();
    EXPECT_EQ(status(), "Download complete");
    EXPECT_TRUE(shown.empty()) << messages().front();

    // One folder, named as the windows show the sensor, holds the files and
    // is the one the lists show.
    const QString data = QString::fromLocal8Bit(form->DataFolder.c_str()) + QStringLiteral("data");
    EXPECT_EQ(QDir(data).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({name}));
    EXPECT_EQ(QString::fromLocal8Bit(downloads().c_str()), data + QLatin1Char('/') + name + QLatin1Char('/'));
    EXPECT_TRUE(readFile(file(base.toLocal8Bit().toStdString() + ".bin")) == expectedDownload(logger.stream()));
    expectConverted(base.toLocal8Bit().toStdString());
    EXPECT_EQ(listed(), QStringList({base + ".csv", base + ".dat"}));

    // Backed up under the ID as the windows show it, and restored from there.
    press(form->UserCalibrationBtn);
    clickThroughWindow(form->BackupBtn);
    EXPECT_EQ(form->StatusTxt->text(), "Calibration and configuration files are backed up");
    EXPECT_TRUE(QFile::exists(QString::fromLocal8Bit(form->Sensor->BackupFolder.c_str()) +
                              QStringLiteral("QS\u00E94217.cal")));
    const standin::SensorImages held = sensor.images();
    standin::SensorImages changed = held;
    SetImageText(changed.cal.SensorName, "Changed");
    standin::setImageCrc(changed.cal);
    sensor.setImages(changed);
    clickThroughWindow(form->RestoreBtn);
    EXPECT_EQ(form->StatusTxt->text(), "Calibration and configuration files are restored");
    EXPECT_TRUE(standin::imageBytes(sensor.images().cal) == standin::imageBytes(held.cal));
}

TEST_F(Collect, SeparatorsInSensorTextNameTheFolderTheDownloadAndTheBackupAlike)
{
    struct Case {
        const char* name;
        const char* id;
        QString folder; // and the download's default name before its date
        QString backup;
    };
    const Case cases[] = {
        {"Lake/2", "QS/4217", "Lake_2", "QS_4217.cal"},
        {"Lake\\2", "QS\\4217", "Lake_2", "QS_4217.cal"},
        {"Up/..", "QS/..", "Up_..", "QS_...cal"},
        {"Caf\xE9/2", "QS4217", QStringLiteral("Caf\u00E9_2"), "QS4217.cal"},
    };
    const QString today = QLocale::system().toString(QDateTime::currentDateTime(), "_yyyyMMMdd");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standin::SensorImages images = sensor.images();
        SetImageText(images.cal.SensorName, c.name);
        SetImageText(images.cal.SensorID, c.id);
        standin::setImageCrc(images.cal);
        sensor.setImages(images);
        log(2000);
        connect();
        form->Sensor->Comms->QuietTimeMs = 300;
        EXPECT_EQ(QString::fromLocal8Bit(downloads().c_str()),
                  QString::fromLocal8Bit(form->DataFolder.c_str()) + "data/" + c.folder + "/");
        press(form->DataBtn);
        const QString base = form->DlFileNameEditBox->text();
        EXPECT_EQ(base, c.folder + today);
        start();
        EXPECT_EQ(status(), "Download complete");
        EXPECT_TRUE(shown.empty()) << messages().front();
        EXPECT_TRUE(exists(base.toLocal8Bit().toStdString() + ".dat"));

        press(form->UserCalibrationBtn);
        clickThroughWindow(form->BackupBtn);
        EXPECT_TRUE(QFile::exists(QString::fromLocal8Bit(form->Sensor->BackupFolder.c_str()) + c.backup));
        form.reset();
    }
}

TEST_F(Collect, MessagesNameTheFilesOfASensorBeyondAsciiAsTheSystemDoes)
{
    standin::SensorImages images = sensor.images();
    SetImageText(images.cal.SensorName, "Caf\xE9");
    standin::setImageCrc(images.cal);
    sensor.setImages(images);
    log(4000);
    connect();
    form->Sensor->Comms->QuietTimeMs = 300;
    press(form->DataBtn);
    const std::string base = form->DlFileNameEditBox->text().toLocal8Bit().toStdString();
    const QString folder = QString::fromLocal8Bit(downloads().c_str());
    ASSERT_TRUE(folder.endsWith(QStringLiteral("/Caf\u00E9/")));
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int option;
        std::string message; // the whole text, or its start when `leading`
        bool leading;
    };
    // Each fails for root as well: no case rests on permission bits.
    const Case cases[] = {
        {"download file that cannot be created", [&] { ASSERT_TRUE(QDir(folder).removeRecursively()); }, 0,
         "Cannot create file \"" + file(base + ".bin") + "\". No such file or directory", false},
        {"download file held by another program",
         [&] { ASSERT_EQ(::symlink("/proc/version", file(base + ".bin").c_str()), 0); }, 1,
         "Unable to open/create file " + base + ".bin, Please close the file and press OK.", false},
        {"graph file that cannot be created",
         [&] { ASSERT_TRUE(QDir().mkpath(folder + QString::fromLocal8Bit(base.c_str()) + ".dat")); }, 0,
         "Cannot create file \"" + file(base + ".dat") + "\".", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        c.arrange();
        shown.clear();
        answer = [](const ShownMessage& m) { return m.buttons == mbOKCancel ? int(mrCancel) : int(mrOk); };
        form->DlFileNameEditBox->setText(QString::fromLocal8Bit(base.c_str()));
        choose(c.option);
        start();
        answer = nullptr;
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].text.contains(QStringLiteral("Caf\u00E9"))) << messages()[0];
        if (c.leading)
            EXPECT_EQ(messages()[0].substr(0, c.message.size()), c.message);
        else
            EXPECT_EQ(messages()[0], c.message);
    }
    // The link's texts in the status line name files the same way.
    form->DebugTextEvent(nullptr, "Cannot write to " + file(base + ".bin"));
    EXPECT_EQ(status(), "Cannot write to " + file(base + ".bin"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

TEST_F(Collect, NewDataGoesIntoTheClickedFileFromItsLastRecord)
{
    openCollect("Weir");
    start();
    ASSERT_EQ(status(), "Download complete");
    ASSERT_TRUE(readFile(file("Weir.bin")) == expectedDownload(logger.stream()));
    const int64_t lastBefore = logger.index().back().seconds;

    // The sensor logs on; the user clicks the file in the list.
    log(25000);
    form->DlFileNameEditBox->setText("Something else");
    ASSERT_TRUE(listed().contains("Weir.dat"));
    clickItem(form->DlFileListBox, "Weir.dat");
    EXPECT_EQ(form->DlFileNameEditBox->text(), "Weir");
    EXPECT_EQ(form->DlCollectionOptions->ItemIndex(), 1);
    EXPECT_FALSE(form->DlDatePickerPanel->isVisible());

    start();
    EXPECT_EQ(status(), "Download complete");
    // Every record once: the file's last second was cut and came again.
    const Bytes stream = logger.stream();
    EXPECT_TRUE(readFile(file("Weir.bin")) == expectedDownload(stream));
    expectConverted("Weir");
    EXPECT_FALSE(exists("Weir_1.bin"));
    // From the time of the file's last record on.
    EXPECT_EQ(stampText(logger.requests().back().from), stampText(standin::timestampOf(lastBefore)));
    EXPECT_TRUE(shown.empty()) << messages().front();
}

TEST_F(Collect, NewDataWithoutAFileDownloadsEverythingUnderThatName)
{
    openCollect("Fresh");
    choose(1);
    start();
    EXPECT_EQ(status(), "Download complete");
    EXPECT_TRUE(readFile(file("Fresh.bin")) == expectedDownload(logger.stream()));
    expectConverted("Fresh");
    EXPECT_FALSE(exists("Fresh_1.bin"));
}

TEST_F(Collect, BetweenDatesIsCutToWholeDaysAndToTheLoggedRange)
{
    // Five days of records, one every two hours, from 26 June 2024 14:30:05.
    logger.update([](standin::RecordGenerator& g) {
        g.advance(60);
        standin::LoggerState state = minutely();
        state.schedules[0].intervalSeconds = 7200;
        g.run(state, g.stream().size() + 6000);
    });
    const auto index = logger.index();
    const Timestamp first = standin::timestampOf(index.front().seconds);
    const Timestamp last = standin::timestampOf(index.back().seconds);
    ASSERT_GE(index.back().seconds - index.front().seconds, 3 * 86400) << "the records span several days";

    openCollect("Range");
    choose(2);
    EXPECT_TRUE(form->DlDatePickerPanel->isVisible());
    // The pickers offer the logged days.
    EXPECT_EQ(form->DlFromDatePicker->minimumDate(), QDate(2000 + first.Year, first.Month, first.Day));
    EXPECT_EQ(form->DlTillDatePicker->maximumDate(), QDate(2000 + last.Year, last.Month, last.Day));

    struct Case {
        const char* name;
        QDate from, till;
        Timestamp askFrom, askTill;
    };
    const QDate day = QDate(2000 + first.Year, first.Month, first.Day).addDays(2);
    const Case cases[] = {
        {"the whole logged range", QDate(2000 + first.Year, first.Month, first.Day),
         QDate(2000 + last.Year, last.Month, last.Day), first, last},
        {"one day", day, day, stampOf(day.year(), day.month(), day.day(), 0, 0, 1),
         stampOf(day.year(), day.month(), day.day(), 23, 59, 59)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(QString::fromStdString(file("Range.bin")));
        form->DlFromDatePicker->setDate(c.from);
        form->DlTillDatePicker->setDate(c.till);
        start();
        EXPECT_EQ(status(), "Download complete");
        const auto q = logger.requests().back();
        EXPECT_EQ(stampText(q.from), stampText(c.askFrom));
        EXPECT_EQ(stampText(q.to), stampText(c.askTill));
        // The records of that range, byte for byte.
        const auto [lo, hi] = rangeOf(c.askFrom, c.askTill);
        ASSERT_LT(lo, hi);
        EXPECT_TRUE(readFile(file("Range.bin")) == expectedDownload(slice(logger.stream(), lo, hi)));
        expectConverted("Range");
    }
}

TEST_F(Collect, CancelUnderTheModalWindowKeepsWhatArrivedAndSaysSo)
{
    log(200000);
    sensor.setLineRate(200000); // 20 kB/s: the whole download would take ten seconds
    form = std::make_unique<TSensorForm>(nullptr, "COM3", nullptr);
    QString statusAfter;
    bool cancelled = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TDlProgForm* progress = form->Sensor ? form->Sensor->ProgressForm : nullptr;
        if (progress && progress->isVisible() && form->Sensor->Comms->BytesReceived > 30000 && !cancelled) {
            cancelled = true;
            clickThroughWindow(progress->CancelBtn);
        }
    });
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(testsupport::pumpUntil([&] { return form->ClockTimer->isActive() && !form->InitProgress; },
                                           60000));
        shown.clear();
        press(form->DataBtn);
        form->DlFileNameEditBox->setText("Weir");
        watch.start(20);
        const auto t0 = std::chrono::steady_clock::now();
        start();
        EXPECT_LT(testsupport::secondsSince(t0), 6.0) << "Cancel ends the download";
        watch.stop();
        statusAfter = form->StatusTxt->text();
        clickThroughWindow(form->DisconnectBtn);
    });
    EXPECT_EQ(form->exec(), mrOk);
    EXPECT_TRUE(cancelled) << "the progress window took the click under the modal main window";

    const Bytes stream = logger.stream();
    const Bytes got = readFile(file("Weir.bin"));
    ASSERT_GT(got.size(), HeaderBytes + 30000);
    const size_t received = got.size() - HeaderBytes;
    ASSERT_LT(received, stream.size());
    EXPECT_TRUE(slice(got, HeaderBytes, got.size()) == slice(stream, 0, received));
    EXPECT_EQ(statusAfter, "Partial download");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(messages()[0], "FileSize= " + std::to_string(stream.size()) + " Downloaded- " +
                                 std::to_string(received) + " Diff - " + std::to_string(stream.size() - received) +
                                 "  " + std::to_string(received * 100 / stream.size()) + " %");
    // What arrived is converted.
    EXPECT_TRUE(exists("Weir.dat"));
    EXPECT_TRUE(exists("Weir.csv"));
}

TEST_F(Collect, SensorHangingUpMidDownloadLeavesWhatArrived)
{
    log(120000);
    openCollect("Weir");
    transfer.hangUpAfter(50000);
    mark();
    clickThroughWindow(form->CollectDataBtn);
    const Bytes stream = logger.stream();
    const Bytes got = readFile(file("Weir.bin"));
    ASSERT_GT(got.size(), HeaderBytes + 20000);
    const size_t received = got.size() - HeaderBytes;
    ASSERT_LT(received, stream.size());
    EXPECT_TRUE(got == expectedDownload(slice(stream, 0, received)));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(messages()[0].rfind("FileSize= " + std::to_string(stream.size()) + " Downloaded- " +
                                      std::to_string(received) + " ",
                                  0),
              0u)
        << messages()[0];
    expectConverted("Weir");
    // The same figures as for a Cancel; the status line says what cut the
    // download, and what the file holds.
    EXPECT_EQ(status(), "Partial download: the sensor stopped answering. Weir.bin holds " +
                            std::to_string(got.size()) + " bytes.");

    // No further download can start; the files can still be opened.
    EXPECT_FALSE(form->CollectDataBtn->isEnabled());
    EXPECT_FALSE(form->DataBtn->isEnabled());
    EXPECT_TRUE(form->DisconnectBtn->isEnabled());
    EXPECT_TRUE(form->DlOpenFileBtn->isEnabled());
    shown.clear();
    clickThroughWindow(form->CollectDataBtn);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(status().rfind("Partial download: the sensor stopped answering.", 0), 0u);
}

// An error in the middle of the download reaches the handler's error box
// once the progress window and its timer are gone and the buttons are back;
// the window carries on.
TEST_F(Collect, ErrorMidDownloadShowsOnceEverythingIsBack)
{
    log(30000);
    openCollect("Weir");
    TSensorForm* f = form.get();
    bool progressShown = false;
    f->Sensor->OnRxEvent = [f, &progressShown](QObject*) {
        progressShown |= f->Sensor->ProgressForm && f->Sensor->ProgressForm->isVisible();
        if (f->Sensor->ProgressForm && f->Sensor->Comms->BytesReceived > 10000)
            throw Exception("the line broke");
    };
    std::vector<bool> progressAtError;
    answer = [&](const ShownMessage&) {
        progressAtError.push_back(f->Sensor->ProgressForm != nullptr || f->Sensor->DownloadTimer != nullptr);
        return int(mrOk);
    };
    start();
    EXPECT_TRUE(progressShown);
    ASSERT_EQ(shown.size(), 1u) << messages().front();
    EXPECT_EQ(shown[0].type, mtError);
    EXPECT_EQ(messages()[0], "the line broke");
    EXPECT_EQ(progressAtError, std::vector<bool>({false}));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<TDlProgForm*>(w)) << "a progress window is left";

    f->Sensor->OnRxEvent = [f](QObject* s) { f->RxActivityEvent(s); };
    QTest::qWait(500);
    shown.clear();
    form->DlFileNameEditBox->setText("Again");
    start();
    EXPECT_EQ(status(), "Download complete");
    EXPECT_TRUE(readFile(file("Again.bin")) == expectedDownload(logger.stream()));
}

TEST_F(Collect, FailuresThatBringNothingSaySoAndLoseNothing)
{
    openCollect("Weir");
    start();
    ASSERT_EQ(status(), "Download complete");
    const Bytes kept = readFile(file("Weir.bin"));
    const Bytes keptGraph = readFile(file("Weir.dat"));

    // The logged range cannot be had: the message, nothing downloaded.
    model->update([](standin::SensorState& s) { s.refuse[standin::cmd::DateTimeBounds] = 0x85; });
    choose(0);
    start();
    EXPECT_EQ(messages(), std::vector<std::string>({"Failed to retrieve logger data memory boundaries, it may me "
                                                    "neccesary to clear the logger memory if this problem persists"}));
    EXPECT_FALSE(exists("Weir_1.bin"));
    EXPECT_EQ(commandCodes(), std::vector<int>({0, 19, 0, 1}));
    model->update([](standin::SensorState& s) { s.refuse.clear(); });

    // "New data" into the file while the logger refuses the range: the
    // records the cut took go back, the converted files stay.
    shown.clear();
    model->update([](standin::SensorState& s) { s.refuse[standin::cmd::RetrieveData] = 0x85; });
    choose(1);
    start();
    EXPECT_EQ(status(), "Download FAILED");
    EXPECT_TRUE(readFile(file("Weir.bin")) == kept);
    EXPECT_TRUE(readFile(file("Weir.dat")) == keptGraph);
    EXPECT_TRUE(shown.empty());
    model->update([](standin::SensorState& s) { s.refuse.clear(); });
}

TEST_F(Collect, FileThatCannotBeCreatedIsNamedWithTheReason)
{
    openCollect("Weir");
    const QString folder = QString::fromStdString(downloads());
    const std::string longName(260, 'w');
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string base;
        std::string reason;
    };
    // Each fails for root as well: no case rests on permission bits.
    const Case cases[] = {
        {"folder removed", [&] { ASSERT_TRUE(QDir(folder).removeRecursively()); }, "Weir",
         "No such file or directory"},
        {"folder is a file",
         [&] {
             ASSERT_TRUE(QDir(folder).removeRecursively());
             writeFile(downloads().substr(0, downloads().size() - 1), {1});
         },
         "Weir", "Not a directory"},
        {"name of 260 characters", [] {}, longName, "File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shown.clear();
        c.arrange();
        form->DlFileNameEditBox->setText(QString::fromStdString(c.base));
        start();
        EXPECT_EQ(messages(),
                  std::vector<std::string>({"Cannot create file \"" + file(c.base + ".bin") + "\". " + c.reason}));
        EXPECT_EQ(status(), "Download FAILED");
        for (const Bytes& command : commands())
            EXPECT_NE(command[0], standin::cmd::RetrieveData) << "nothing is asked of the logger";
        // The folder as it was.
        std::remove(downloads().substr(0, downloads().size() - 1).c_str());
        ASSERT_TRUE(QDir().mkpath(folder));
    }
}

TEST_F(Collect, FullDiskIsSaidOnceAndKeepsWhatWasWritten)
{
    struct Case {
        const char* what;
        size_t logged;
    };
    const Case cases[] = {{"one block at a time", 8000}, {"in bursts", 40000}};
    const long room = 3000; // for records behind the header
    bool connected = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log(c.logged);
        if (!connected)
            openCollect(c.what);
        connected = true;
        form->DlFileNameEditBox->setText(c.what);
        shown.clear();
        {
            testsupport::FileSizeLimit full(static_cast<rlim_t>(DownloadHeaderSize + room));
            start();
        }
        const std::string name = file(std::string(c.what) + ".bin");
        EXPECT_EQ(messages(), std::vector<std::string>({"Cannot write file \"" + name + "\". File too large"}))
            << "no sizes as if the sensor had stopped, no second message from a conversion";
        EXPECT_EQ(status(), "Download FAILED");
        const Bytes got = readFile(name);
        const Bytes whole = expectedDownload(logger.stream());
        ASSERT_GT(got.size(), size_t(DownloadHeaderSize)) << "what fitted is kept";
        ASSERT_LT(got.size(), whole.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin()));
        EXPECT_FALSE(exists(std::string(c.what) + ".dat"));
        EXPECT_FALSE(exists(std::string(c.what) + ".csv"));
    }
}

TEST_F(Collect, FileThatStaysInUseCanBeGivenUp)
{
    // A link to a file of the system that takes no writing stays "in use"
    // whatever the user does, for root too.
    struct Case {
        const char* what;
        const char* held; // the file that cannot be opened
        int option;
        int oks;          // OKs before the user gives up
        const char* outcome;
        bool downloaded;
    };
    const Case cases[] = {
        {"New data into a held download file", "Held.bin", 1, 0, "Download FAILED", false},
        {"asked again after each OK", "Held.bin", 1, 2, "Download FAILED", false},
        {"graph file held at the conversion", "Held.dat", 0, 1, "Download complete", true},
    };
    openCollect("Held");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* name : {"Held.bin", "Held.dat", "Held.csv"})
            std::remove(file(name).c_str());
        ASSERT_EQ(::symlink("/proc/version", file(c.held).c_str()), 0);
        shown.clear();
        int asked = 0;
        answer = [&](const ShownMessage& m) {
            if (m.buttons != mbOKCancel)
                return int(mrOk);
            return ++asked <= c.oks ? int(mrOk) : int(mrCancel);
        };
        form->DlFileNameEditBox->setText("Held");
        choose(c.option);
        start();
        answer = nullptr;
        const std::string question =
            std::string("Unable to open/create file ") + c.held + ", Please close the file and press OK.";
        EXPECT_EQ(messages(), std::vector<std::string>(size_t(c.oks) + 1, question)) << "asked until given up";
        EXPECT_EQ(status(), c.outcome);
        if (c.downloaded) {
            EXPECT_TRUE(readFile(file("Held.bin")) == expectedDownload(logger.stream())) << "the download is kept";
            EXPECT_FALSE(exists("Held.csv")) << "the conversion ended there";
        } else {
            for (const Bytes& command : commands())
                EXPECT_NE(command[0], standin::cmd::RetrieveData);
        }
        std::remove(file(c.held).c_str());
    }
}

TEST_F(Collect, NewDataIntoAnotherSensorsFileTouchesNothing)
{
    CalibrationData other = standin::buildCalibration();
    SetImageText(other.SensorID, "QS999999");
    openCollect("Other");
    const Bytes theirs = standin::downloadFile(other, standin::buildConfiguration(), slice(logger.stream(), 0, 4000));
    writeFile(file("Other.bin"), theirs);
    choose(1);
    start();
    EXPECT_EQ(messages(), std::vector<std::string>({"Currently connected Sensor ID does not match with selected file"}));
    EXPECT_EQ(status(), "Download FAILED");
    EXPECT_TRUE(readFile(file("Other.bin")) == theirs) << "not even its last record is cut";
    EXPECT_FALSE(exists("Other.dat"));
}

TEST_F(Collect, NamesThatNameNoFileOfTheFolderAreRefusedBeforeAnythingIsSent)
{
    connect();
    press(form->DataBtn);
    struct Case {
        QString name;
        std::string message;
    };
    const Case cases[] = {
        {"", "Please enter a name for the download file."},
        {"../Weir", "The download file name must not contain \"/\": the files are always written to the sensor's "
                    "data folder."},
        {"a/b", "The download file name must not contain \"/\": the files are always written to the sensor's "
                "data folder."},
        {".hidden", "The download file name must not start with \".\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        shown.clear();
        form->DlFileNameEditBox->setText(c.name);
        start();
        EXPECT_EQ(messages(), std::vector<std::string>({c.message}));
        EXPECT_TRUE(commands().empty());
    }
    EXPECT_TRUE(QDir(QString::fromStdString(downloads())).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// --- opening the listed files --------------------------------------------------

class OpenFiles : public Collect {
protected:
    void SetUp() override
    {
        Collect::SetUp();
        // The program file lives in a folder of the test's own.
        setExeName(programs.path() + "/BrindlecotProject");
        connect();
        press(form->DataBtn);
        for (const char* name : {"Weir.dat", "Weir.csv", "UPPER.DAT", "two words.dat"})
            writeFile(file(name), {1});
        ASSERT_EQ(listed(), QStringList({"two words.dat", "UPPER.DAT", "Weir.csv", "Weir.dat"}));
    }
    void installViewer()
    {
        QFile viewer(programs.path() + "/Tessaloom");
        ASSERT_TRUE(viewer.open(QIODevice::WriteOnly));
        viewer.write("#!/bin/sh\n");
        viewer.close();
        viewer.setPermissions(viewer.permissions() | QFile::ExeOwner);
    }
    QString folder() const { return QString::fromStdString(downloads()); }

    QTemporaryDir programs;
};

TEST_F(OpenFiles, GraphFilesGoToTheViewerOthersToTheDesktop)
{
    installViewer();
    struct Case {
        QString item;
        bool viewer;
    };
    const Case cases[] = {{"Weir.dat", true}, {"two words.dat", true}, {"Weir.csv", false}, {"UPPER.DAT", false}};
    for (const bool twice : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.item.toStdString() + (twice ? " double-clicked" : " with View File"));
            started.clear();
            opened.clear();
            clickItem(form->DlFileListBox, c.item, twice);
            if (!twice)
                clickThroughWindow(form->DlOpenFileBtn);
            if (c.viewer) {
                ASSERT_EQ(started.size(), 1u);
                EXPECT_EQ(started[0].program, programs.path() + "/Tessaloom");
                EXPECT_EQ(started[0].arguments, QStringList({"-", folder() + c.item}));
                EXPECT_EQ(started[0].folder, programs.path() + "/");
                EXPECT_TRUE(opened.empty());
            } else {
                EXPECT_TRUE(started.empty());
                EXPECT_EQ(opened, std::vector<QString>({folder() + c.item}));
            }
        }
    }
    EXPECT_TRUE(shown.empty());

    // The hidden twin of the list opens its own double-clicked item.
    form->FileListBox1->Update();
    form->FileListBox1->setCurrentRow(static_cast<int>(form->FileListBox1->Items().indexOf("Weir.csv")));
    opened.clear();
    form->DlFileListBoxDblClick(form->FileListBox1);
    EXPECT_EQ(opened, std::vector<QString>({folder() + "Weir.csv"}));
}

TEST_F(OpenFiles, MissingViewerIsNamedAndNothingStarts)
{
    clickItem(form->DlFileListBox, "Weir.dat");
    clickThroughWindow(form->DlOpenFileBtn);
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {("The graph viewer program was not found: " + programs.path() + "/Tessaloom")
                                   .toStdString()}));
}

TEST_F(OpenFiles, ViewFileWithNothingSelectedAsksForAFile)
{
    form->DlFileListBox->clearSelection();
    clickThroughWindow(form->DlOpenFileBtn);
    EXPECT_EQ(messages(), std::vector<std::string>({"Please select a file to open."}));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(opened.empty());
}

TEST_F(OpenFiles, OpenExplorerShowsTheSensorsFolder)
{
    clickThroughWindow(form->DlOpenExplorerBtn);
    EXPECT_EQ(opened, std::vector<QString>({folder()}));
    EXPECT_TRUE(folder().endsWith("/Brindlecot/data/Weir Sonde 4/"));
}

} // namespace
