// Message boxes and questions come up in front of the window the user works
// in: the modal window, or a stay-on-top window that takes input (a progress
// window, a stay-on-top dialog), never beneath it.
#include "Dialogs.h"
#include "Forms.h"
#include "MessageBoxWatch.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

constexpr Qt::WindowFlags OnTop = NoBorderIcons | Qt::WindowStaysOnTopHint;

class BoxOwner : public ::testing::Test {
protected:
    void SetUp() override
    {
        main.setWindowTitle("main");
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    }
    void TearDown() override { Dialogs::setHook(nullptr); }

    // Shows `dialog` modally and runs `inside` from within its modal loop.
    static void whileModal(TForm& dialog, const std::function<void()>& inside)
    {
        QTimer::singleShot(0, &dialog, [&] {
            inside();
            dialog.done(mrOk);
        });
        dialog.ShowModal();
    }

    QMainWindow main;
};

TEST_F(BoxOwner, TheBoxComesInFrontOfTheWindowTheUserWorksIn)
{
    // A stay-on-top modal dialog, as the set-up dialog.
    {
        SCOPED_TRACE("stay-on-top modal dialog");
        MessageBoxWatch watch;
        TForm setup(&main, OnTop);
        setup.setWindowTitle("set-up");
        whileModal(setup, [] { ShowMessage(QStringLiteral("Schedule name entered is not unique")); });
        watch.expectInFront({&setup});
    }
    // A stay-on-top progress window that the modal window owns, as the
    // connection's progress window over the main window.
    {
        SCOPED_TRACE("stay-on-top window of the modal window");
        MessageBoxWatch watch;
        TForm sensorWindow(&main);
        sensorWindow.setWindowTitle("sensor");
        std::unique_ptr<TForm> progress;
        whileModal(sensorWindow, [&] {
            progress = std::make_unique<TForm>(&sensorWindow, OnTop);
            progress->setWindowTitle("Sensor Initialisation");
            progress->setVisible(true);
            // The user clicked the main window since: the progress window is
            // not the active one, yet still in front.
            sensorWindow.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&sensorWindow));
            ShowMessage(QStringLiteral("Failed to retrieve calibration file"));
        });
        watch.expectInFront({progress.get()});
    }
    // A stay-on-top window that the modal window shuts out is not where the
    // user works: the box goes to the modal window.
    {
        SCOPED_TRACE("stay-on-top window shut out by the modal window");
        MessageBoxWatch watch;
        TForm shutOut(&main, OnTop);
        shutOut.show();
        TForm dialog(&main);
        dialog.setWindowTitle("dialog");
        whileModal(dialog, [] { ShowMessage(QStringLiteral("text")); });
        watch.expectInFront({&dialog});
    }
    // Only the main window: the box is its own, a normal window.
    {
        SCOPED_TRACE("no modal window");
        main.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
        MessageBoxWatch watch;
        ShowMessage(QStringLiteral("text"));
        watch.expectInFront({&main});
    }
}

TEST_F(BoxOwner, QuestionsAndErrorsComeInFrontAsMessagesDo)
{
    TForm setup(&main, OnTop);
    {
        MessageBoxWatch watch(QMessageBox::Yes);
        int answer = mrNone;
        whileModal(setup, [&] {
            answer = MessageDlg(QStringLiteral("Delete the schedule?"), mtConfirmation, mbYesNo);
        });
        EXPECT_EQ(answer, mrYes) << "the click reached the box's Yes";
        watch.expectInFront({&setup});
    }
    {
        MessageBoxWatch errors;
        whileModal(setup, [] { ShowException(QStringLiteral("Unable to write to /x/Prog.ini")); });
        errors.expectInFront({&setup});
        EXPECT_EQ(errors.texts(), QStringList({"Unable to write to /x/Prog.ini"}));
    }
}

} // namespace
