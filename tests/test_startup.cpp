// The main application's start: the single-instance guard, the start-up
// window's port list from the COM map, the remembered port, and Connect.
#include "Brindlecot.h"
#include "BrindlecotProject.h"
#include "ComPorts.h"
#include "Dialogs.h"
#include "Forms.h"
#include "IniFiles.h"
#include "PortListFixture.h"
#include "SensorFormUnit.h"
#include "QtPrinters.h"
#include "SingleInstance.h"
#include "Standin.h"
#include "TestSupport.h"
#include "VaComm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <signal.h>

using namespace testsupport;

namespace {

class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        setExeName(dir_.filePath("BrindlecotProject"));
        Dialogs::setHook([this](const ShownMessage& m) {
            shown.push_back(m);
            return int(mrOk);
        });
        QDir().mkpath(ComPorts::mapFolder());
    }
    void TearDown() override
    {
        Dialogs::setHook(nullptr);
        setExeName(QString());
        clearComPortMap();
    }

    QString iniPath() const { return dir_.filePath("BrindlecotProject.ini"); }
    QString savedPort() const { return savedPortIn(iniPath()); }
    void saveIni(const QString& port) const { TIniFile(iniPath()).WriteString("Defaults", "Comport", port); }

    // Maps COM3 and COM5 to pseudo-terminals.
    void mapTwoPorts()
    {
        mapComPort(3, pty3_.path());
        mapComPort(5, pty5_.path());
    }

    QTemporaryDir dir_;
    Pty pty3_, pty5_;
    std::vector<ShownMessage> shown;
};

TEST_F(StartUp, ListsThePortsThatCanBeOpened)
{
    standin::Standin sensor;  // holds its slave open itself, as a sensor line does not
    Pty held, locked, spare;
    mapComPort(3, pty3_.path());
    mapComPort(5, sensor.slavePath());
    mapComPort(7, "/nonexistent/ttyX");
    mapComPort(9, held.path());
    mapComPort(11, locked.path());
    const QString plainFile = dir_.filePath("not-a-tty");
    QFile(plainFile).open(QIODevice::WriteOnly);
    mapComPort(12, plainFile.toStdString());
    mapComPort(254, spare.path());

    // Another program's serial port object holds COM9; another process holds
    // COM11 with flock.
    TVaComm other;
    other.PortNum = 9;
    other.Open();
    QProcess flocker;
    flocker.start("flock", {"--no-fork", QString::fromStdString(locked.path()), "sleep", "30"});
    ASSERT_TRUE(flocker.waitForStarted(5000));
    ASSERT_TRUE(pumpUntil([] { return !ComPorts::canOpen(11); }, 5000));

    TStartUpForm form;
    form.show();
    EXPECT_EQ(items(form.AvailComportComboBox), QStringList({"COM3", "COM5", "COM254"}));
    EXPECT_EQ(form.AvailComportComboBox->itemData(0, Qt::ToolTipRole).toString(),
              QString::fromStdString(pty3_.path()));
    EXPECT_EQ(form.windowTitle(), "Halvorine Brindlecot Version 2.2");

    other.Close();
    flocker.kill();
    flocker.waitForFinished(5000);
    QTest::mouseClick(form.RefreshComportList, Qt::LeftButton);
    EXPECT_EQ(items(form.AvailComportComboBox), QStringList({"COM3", "COM5", "COM9", "COM11", "COM254"}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(StartUp, ScanOfEveryNumberIsQuick)
{
    std::vector<std::unique_ptr<Pty>> ptys;
    for (int n = 1; n <= ComPorts::MaxPortNumber; ++n) {
        if (n % 50 == 0) {
            ptys.push_back(std::make_unique<Pty>());
            mapComPort(n, ptys.back()->path());
        } else {
            mapComPort(n, "/nonexistent/tty" + std::to_string(n));
        }
    }
    TStartUpForm form;
    const auto start = std::chrono::steady_clock::now();
    form.RefreshComportListClick();
    EXPECT_LT(secondsSince(start), 2.0);
    EXPECT_EQ(items(form.AvailComportComboBox), QStringList({"COM50", "COM100", "COM150", "COM200", "COM250"}));
}

TEST_F(StartUp, SavedPortChoosesTheSelection)
{
    struct Case {
        const char* saved; // nullptr: no settings file
        const char* selected;
    };
    const Case cases[] = {
        {"com5", "COM5"}, {"COM5", "COM5"}, {"COM8", "COM3"}, {"", "COM3"}, {nullptr, "COM3"},
    };
    mapTwoPorts();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saved ? c.saved : "(no file)");
        QFile::remove(iniPath());
        if (c.saved)
            saveIni(c.saved);
        const QByteArray before = QFile::exists(iniPath()) ? QByteArray("exists") : QByteArray();
        TStartUpForm form;
        form.show();
        EXPECT_EQ(form.AvailComportComboBox->currentText(), c.selected);
        EXPECT_EQ(form.SavedPort, c.saved ? c.saved : "");
        // Showing the window chooses an item but saves nothing.
        EXPECT_EQ(QFile::exists(iniPath()), !before.isEmpty());
        if (c.saved) {
            EXPECT_EQ(savedPort(), c.saved);
        }
    }
}

TEST_F(StartUp, EmptyListSelectsNothing)
{
    saveIni("COM3");
    TStartUpForm form;
    form.show();
    EXPECT_EQ(form.AvailComportComboBox->count(), 0);
    EXPECT_EQ(form.AvailComportComboBox->currentIndex(), -1);
    EXPECT_EQ(form.AvailComportComboBox->currentText(), "");
}

TEST_F(StartUp, ChosenPortIsSavedAndRememberedAcrossRuns)
{
    mapTwoPorts();
    {
        TStartUpForm form;
        form.show();
        ASSERT_EQ(form.AvailComportComboBox->currentText(), "COM3");
        QTest::keyClick(form.AvailComportComboBox, Qt::Key_Down);
        EXPECT_EQ(form.AvailComportComboBox->currentText(), "COM5");
        EXPECT_EQ(savedPort(), "COM5");
    }
    TStartUpForm next;
    next.show();
    EXPECT_EQ(next.AvailComportComboBox->currentText(), "COM5");
}

TEST_F(StartUp, TypingIntoThePortBoxSavesTheEmptyText)
{
    mapTwoPorts();
    saveIni("COM5");
    TStartUpForm form;
    form.show();
    QLineEdit* field = form.AvailComportComboBox->lineEdit();
    field->setCursorPosition(static_cast<int>(field->text().size()));
    QTest::keyClicks(field, "x");
    EXPECT_EQ(form.AvailComportComboBox->currentIndex(), -1);
    EXPECT_EQ(field->text(), "COM5x");
    EXPECT_EQ(form.SavedPort, "");
    EXPECT_EQ(savedPort(), "");
    // The list is untouched: typing adds no port.
    EXPECT_EQ(items(form.AvailComportComboBox), QStringList({"COM3", "COM5"}));
}

// Answers modal windows from inside their event loops while it lives: each
// one is handed to `inspect`, then closed with `result`.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> inspect, int result = mrOk)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, inspect, result] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal || !modal->isVisible())
                return;
            met.push_back(modal);
            inspect(modal);
            modal->done(result);
        });
        timer_.start(5);
    }
    std::vector<QWidget*> met;

private:
    QTimer timer_;
};

TEST_F(StartUp, ConnectHandsTheChosenPortToTheMainWindow)
{
    struct Case {
        const char* name;
        bool typeFirst;
        const char* port;
    };
    const Case cases[] = {{"selected item", false, "COM5"}, {"typed text", true, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearComPortMap();
        mapTwoPorts();
        saveIni("COM5");
        TStartUpForm form;
        form.show();
        if (c.typeFirst)
            QTest::keyClicks(form.AvailComportComboBox->lineEdit(), "9");

        Pty later;
        std::string portSeen = "<not shown>";
        ModalAnswerer answer([&](QWidget* w) {
            auto* sensorForm = qobject_cast<TSensorForm*>(w);
            ASSERT_NE(sensorForm, nullptr);
            portSeen = sensorForm->PortName;
            EXPECT_EQ(sensorForm->StartUpWindow, &form);
            EXPECT_EQ(sensorForm->parent(), &form);
            // A port that appears meanwhile is not listed when the main
            // window closes: the start-up window stayed visible.
            mapComPort(4, later.path());
        });
        QTest::mouseClick(form.ConnectBtn, Qt::LeftButton);
        ASSERT_EQ(answer.met.size(), 1u);
        EXPECT_EQ(portSeen, c.port);
        EXPECT_EQ(savedPort(), c.port);
        EXPECT_TRUE(form.findChildren<TSensorForm*>().isEmpty());
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(items(form.AvailComportComboBox), QStringList({"COM3", "COM5"}));
        if (!c.typeFirst) {
            EXPECT_EQ(form.AvailComportComboBox->currentText(), "COM5");
        }
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(StartUp, UnwritableSettingsFileIsReported)
{
    mapTwoPorts();
    ASSERT_TRUE(QDir().mkdir(iniPath()));
    const QString message = "Unable to write to " + iniPath();
    TStartUpForm form;
    form.show();
    ASSERT_EQ(form.AvailComportComboBox->currentText(), "COM3");

    QTest::keyClick(form.AvailComportComboBox, Qt::Key_Down);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, message);
    EXPECT_EQ(shown[0].type, mtError);

    // Connect stops before the main window.
    ModalAnswerer answer([](QWidget*) {});
    QTest::mouseClick(form.ConnectBtn, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, message);
    EXPECT_TRUE(answer.met.empty()) << "a main window was opened";
    EXPECT_TRUE(form.isVisible());
}

TEST_F(StartUp, MalformedSettingsFileIsSavedWithoutAComplaint)
{
    const QByteArray contents[] = {"\xEF\xBB\xBF[Defaults]\r\nComport=COM5\r\n",
                                   "\x01\x02 not a setting\n[Defaults]\nComport=COM5\nnonsense\n"};
    for (const QByteArray& content : contents) {
        SCOPED_TRACE(content.toStdString());
        clearComPortMap();
        mapTwoPorts();
        shown.clear();
        {
            QFile f(iniPath());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }
        TStartUpForm form;
        form.show();
        ASSERT_EQ(form.AvailComportComboBox->currentText(), "COM5");

        // Choosing another port saves it at once.
        QTest::keyClick(form.AvailComportComboBox, Qt::Key_Up);
        EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
        EXPECT_EQ(savedPort(), "COM3");

        // Connect goes on to the main window the first time.
        ModalAnswerer answer([](QWidget*) {});
        QTest::mouseClick(form.ConnectBtn, Qt::LeftButton);
        EXPECT_EQ(answer.met.size(), 1u);
        EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
        EXPECT_EQ(savedPort(), "COM3");
    }
}

TEST_F(StartUp, AboutAndExit)
{
    TStartUpForm form;
    form.show();
    QString caption;
    ModalAnswerer answer([&](QWidget* w) { caption = w->windowTitle(); });
    form.About1->trigger();
    ASSERT_EQ(answer.met.size(), 1u);
    EXPECT_EQ(caption, "About");
    EXPECT_TRUE(form.findChildren<QDialog*>().isEmpty()) << "the about box is deleted after use";
    form.Exit1->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(StartUp, SecondInstanceIsRefused)
{
    const TSingleInstance running("BrindlecotProject");
    ASSERT_FALSE(running.AlreadyRunning());
    EXPECT_EQ(WinMain(), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Application is already running");
    EXPECT_EQ(StartUpForm, nullptr);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TStartUpForm*>(w), nullptr);
}

TEST_F(StartUp, CopyUnderAnotherNameRunsBesideTheFirst)
{
    const TSingleInstance running("BrindlecotProject");
    setExeName(dir_.filePath("BrindlecotCopy"));
    mapTwoPorts();
    bool checked = false;
    QTimer::singleShot(0, [&] {
        checked = true;
        ASSERT_NE(StartUpForm, nullptr);
        EXPECT_TRUE(StartUpForm->isVisible());
        EXPECT_EQ(StartUpForm->windowTitle(), "Halvorine Brindlecot Version 2.2");
        EXPECT_EQ(items(StartUpForm->AvailComportComboBox), QStringList({"COM3", "COM5"}));
        EXPECT_EQ(QApplication::applicationName(), "Brindlecot");
        EXPECT_TRUE(TSingleInstance("BrindlecotCopy").AlreadyRunning());
        StartUpForm->Exit1->trigger();
    });
    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(StartUpForm, nullptr);
    EXPECT_FALSE(TSingleInstance("BrindlecotCopy").AlreadyRunning());
}

TEST_F(StartUp, ProgramHoldsItsLockUntilItEnds)
{
    // The program itself, on an empty port map.
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(BRINDLECOT_EXE, {});
    ASSERT_TRUE(program.waitForStarted(5000));
    QLockFile lock(TSingleInstance::LockFilePath("BrindlecotProject"));
    qint64 pid = 0;
    QString host, app;
    EXPECT_TRUE(pumpUntil([&] { return lock.getLockInfo(&pid, &host, &app) && pid == program.processId(); }, 20000));
    EXPECT_TRUE(TSingleInstance("BrindlecotProject").AlreadyRunning());
    // A program that died leaves its lock file; the next start takes it over.
    ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
    program.waitForFinished(5000);
    EXPECT_TRUE(QFile::exists(TSingleInstance::LockFilePath("BrindlecotProject")));
    EXPECT_FALSE(TSingleInstance("BrindlecotProject").AlreadyRunning());
}

} // namespace
