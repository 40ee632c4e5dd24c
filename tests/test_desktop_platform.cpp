// The desktop pieces of the platform layer: settings files, the single-
// instance lock, how the application object shows an exception that
// escapes an event handler, and the scope of a long operation.
#include "Dialogs.h"
#include "Forms.h"
#include "IniFiles.h"
#include "OperationScope.h"
#include "QtPrinters.h"
#include "SingleInstance.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>

static QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

static void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(IniFile, ReadsDefaultsAndWritesAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Prog.ini");
    EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", "none"), "none");

    TIniFile(path).WriteString("Defaults", "Comport", "COM3");
    // On disk at once, in the plain profile layout other tools read.
    EXPECT_TRUE(readAll(path).contains("[Defaults]"));
    EXPECT_TRUE(readAll(path).contains("Comport=COM3"));
    EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", ""), "COM3");
    EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Other", ""), "");
    EXPECT_EQ(TIniFile(path).ReadString("Elsewhere", "Comport", "x"), "x");
}

TEST(IniFile, KeepsWhatAnotherToolWrote)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Prog.ini");
    writeAll(path, "[Window]\r\nLeft=10\r\n[Defaults]\r\nComport=COM7\r\nNote=a,b\r\n");
    EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", ""), "COM7");
    EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Note", ""), "a,b");
    TIniFile(path).WriteString("Defaults", "Comport", "COM2");
    const TIniFile again(path);
    EXPECT_EQ(again.ReadString("Defaults", "Comport", ""), "COM2");
    EXPECT_EQ(again.ReadString("Window", "Left", ""), "10");
}

using testsupport::FileSizeLimit;

TEST(IniFile, FailedWriteRaisesAndStoresNothing)
{
    struct Case {
        const char* name;
        const char* before; // the file's value before the write, nullptr: none
        std::function<std::unique_ptr<FileSizeLimit>(const QString& path)> prepare;
    };
    const Case cases[] = {
        // No user, not even root, can write a file where a folder is.
        {"a folder in its place", nullptr,
         [](const QString& path) {
             QDir().mkdir(path);
             return std::unique_ptr<FileSizeLimit>();
         }},
        {"the disk is full", "COM3",
         [](const QString&) { return std::make_unique<FileSizeLimit>(8); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Prog.ini");
        if (c.before)
            TIniFile(path).WriteString("Defaults", "Comport", c.before);
        {
            const auto limit = c.prepare(path);
            try {
                TIniFile(path).WriteString("Defaults", "Comport", "COM5");
                ADD_FAILURE() << "no error";
            } catch (const EIniFileException& e) {
                EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.toStdString());
            }
            // Nothing of the failed write shows through to a later reader in
            // this process (QSettings shares unsaved values between readers).
            EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", "none"), c.before ? c.before : "none");
        }
        if (c.before) {
            EXPECT_TRUE(readAll(path).contains(QByteArray("Comport=") + c.before));
        }
    }
}

TEST(IniFile, AMalformedFileIsRewrittenWithoutAnError)
{
    struct Case {
        const char* name;
        QByteArray content;
        const char* before; // what a reader finds before the write
        bool keepsWindow = true; // the other section survives the rewrite
    };
    const Case cases[] = {
        {"byte-order mark", "\xEF\xBB\xBF[Defaults]\r\nComport=COM3\r\n[Window]\r\nLeft=10\r\n", "COM3"},
        {"garbage before the sections", "\x01\x02garbage\n[Defaults]\nComport=COM3\n[Window]\nLeft=10\n", "COM3"},
        {"a line without '=' in the section", "[Defaults]\nComport=COM3\nnonsense\n[Window]\nLeft=10\n", "COM3"},
        {"a section header without ']'", "[Window]\nLeft=10\n[Defaults\nComport=COM3\n", "COM3"},
        {"binary", QByteArray("\x00\xFF\x7F[\n=\x00\n", 9) + "[Window]\nLeft=10\n", "none", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("Prog.ini");
        writeAll(path, c.content);
        EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", "none"), c.before);
        try {
            TIniFile(path).WriteString("Defaults", "Comport", "COM5");
        } catch (const EIniFileException& e) {
            ADD_FAILURE() << e.what();
        }
        EXPECT_TRUE(readAll(path).contains("Comport=COM5")) << readAll(path).toStdString();
        const TIniFile again(path);
        EXPECT_EQ(again.ReadString("Defaults", "Comport", ""), "COM5");
        if (c.keepsWindow) {
            EXPECT_EQ(again.ReadString("Window", "Left", ""), "10");
        }
        // The same object writes again without an error.
        TIniFile twice(path);
        EXPECT_EQ(twice.ReadString("Defaults", "Comport", ""), "COM5");
        EXPECT_NO_THROW(twice.WriteString("Defaults", "Comport", "COM6"));
        EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", ""), "COM6");
    }

    // A write that fails behind a malformed file still says so.
    QTemporaryDir dir;
    const QString path = dir.filePath("Prog.ini");
    writeAll(path, "\xEF\xBB\xBF[Defaults]\nComport=COM3\nnonsense\n");
    {
        const FileSizeLimit full(8);
        TIniFile ini(path);
        EXPECT_EQ(ini.ReadString("Defaults", "Comport", ""), "COM3");
        EXPECT_THROW(ini.WriteString("Defaults", "Comport", "COM5"), EIniFileException);
        EXPECT_EQ(TIniFile(path).ReadString("Defaults", "Comport", "none"), "COM3");
    }
    EXPECT_TRUE(readAll(path).contains("Comport=COM3"));
}

TEST(SingleInstance, OneHolderPerProgramFileName)
{
    {
        const TSingleInstance first("Prog");
        ASSERT_FALSE(first.AlreadyRunning());
        EXPECT_TRUE(TSingleInstance("Prog").AlreadyRunning());
        EXPECT_FALSE(TSingleInstance("ProgCopy").AlreadyRunning());
        EXPECT_TRUE(QFile::exists(TSingleInstance::LockFilePath("Prog")));
    }
    EXPECT_FALSE(TSingleInstance("Prog").AlreadyRunning());
}

TEST(ChangeFileExt, ReplacesOnlyTheLastExtensionOfTheName)
{
    EXPECT_EQ(ChangeFileExt("/opt/bin/BrindlecotProject", ".ini"), "/opt/bin/BrindlecotProject.ini");
    EXPECT_EQ(ChangeFileExt("/opt/bin/Prog.exe", ".ini"), "/opt/bin/Prog.ini");
    EXPECT_EQ(ChangeFileExt("/opt/v2.2/Prog", ".ini"), "/opt/v2.2/Prog.ini");
}

namespace {
class Thrower : public QObject {
public:
    std::function<void()> action;
    int handled = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++handled;
        action();
        return true;
    }
};
} // namespace

TEST(ApplicationObject, ShowsAnExceptionFromAHandlerAndCarriesOn)
{
    std::vector<ShownMessage> shown;
    Dialogs::setHook([&](const ShownMessage& m) {
        shown.push_back(m);
        return int(mrOk);
    });
    Thrower target;
    target.action = [] { throw std::runtime_error("Unable to write to /x/Prog.ini"); };
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    target.action = [] { throw 42; };
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    Dialogs::setHook(nullptr);

    EXPECT_EQ(target.handled, 2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Unable to write to /x/Prog.ini");
    EXPECT_EQ(shown[0].type, mtError);
    EXPECT_EQ(shown[0].buttons, TMsgDlgButtons(mbOK));
    // Anything else that is thrown shows as an exception without a text.
    EXPECT_EQ(shown[1].text, "");
}

// A long operation's scope: whichever way the operation ends, the busy state,
// the controls and the progress window are back as they were before it.
TEST(OperationScope, EveryWayOutGivesBackWhatTheOperationTook)
{
    enum WayOut { Returns, Raises, EndedEarly };
    for (const WayOut way : {Returns, Raises, EndedEarly}) {
        SCOPED_TRACE(way);
        QWidget window;
        auto* start = new QPushButton(&window);
        auto* off = new QPushButton(&window); // disabled before the operation
        off->setEnabled(false);
        QAction menuEntry(nullptr);
        bool polling = false;
        int busy = 0;
        std::vector<bool> states;
        std::vector<std::string> steps;
        QWidget* progress = nullptr;
        QPointer<QWidget> shownProgress;

        const auto operation = [&] {
            OperationScope scope;
            scope.busy(polling);
            scope.busy(busy);
            scope.busy([&](bool on) { states.push_back(on); });
            scope.atEnd([&] { steps.push_back("page"); });
            scope.atEnd([&] { steps.push_back(progress ? "bar, progress shown" : "bar"); });
            scope.disable({start, off, &menuEntry, start});
            scope.own(std::make_unique<QWidget>(&window), progress);
            shownProgress = progress;
            EXPECT_TRUE(polling);
            EXPECT_EQ(busy, 1);
            EXPECT_FALSE(start->isEnabled());
            EXPECT_FALSE(menuEntry.isEnabled());
            ASSERT_NE(progress, nullptr);
            if (way == Raises)
                throw std::runtime_error("the line broke");
            if (way == EndedEarly) {
                scope.end();
                // What follows the end, a message about the outcome, finds
                // everything back.
                EXPECT_TRUE(start->isEnabled());
                EXPECT_EQ(progress, nullptr);
                scope.end();
            }
        };
        if (way == Raises)
            EXPECT_THROW(operation(), std::runtime_error);
        else
            operation();

        EXPECT_FALSE(polling);
        EXPECT_EQ(busy, 0);
        EXPECT_EQ(states, std::vector<bool>({true, false}));
        EXPECT_TRUE(start->isEnabled());
        EXPECT_FALSE(off->isEnabled());
        EXPECT_TRUE(menuEntry.isEnabled());
        EXPECT_EQ(progress, nullptr);
        EXPECT_TRUE(shownProgress.isNull()) << "the progress window is deleted";
        // Given back in the reverse order of taking.
        EXPECT_EQ(steps, std::vector<std::string>({"bar", "page"}));
    }
}

TEST(OperationScope, WhatItsOwnerDeletedFirstIsLeftAlone)
{
    auto owner = std::make_unique<QWidget>();
    QWidget* progress = nullptr;
    auto* button = new QPushButton(owner.get());
    {
        OperationScope scope;
        scope.disable({button});
        scope.own(std::make_unique<QWidget>(owner.get()), progress);
        owner.reset();
    }
    EXPECT_EQ(progress, nullptr);
}
