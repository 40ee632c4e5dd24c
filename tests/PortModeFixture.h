// The comms-mode utility's window on the offscreen platform, its COM3 a
// pseudo-terminal to the stand-in sensor with its boot code. Messages are
// answered through the dialog hook and recorded; the status line, progress
// label and progress bar are recorded as they change; controls are clicked
// through the window system as a user clicks them.
#pragma once

#include "BootCode.h"
#include "CommandSet.h"
#include "ComPorts.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "HvSensor_Quarn.h"
#include "MainFormUnit.h"
#include "PortModeControls.h"
#include "Standin.h"
#include "TestSupport.h"
#include "VaComm.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class PortModeFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setExeName(dir.filePath("PortModeTool"));
        Dialogs::setHook([this](const ShownMessage& m) {
            shown << m.text;
            return answer ? answer(m) : int(mrOk);
        });
        testsupport::mapComPort(3, line.slavePath());
        // A quick restart keeps the tests short; the utility waits up to 10 s.
        bootCode.setRebootMs(150);
        form = std::make_unique<TMainForm>();
        QObject::connect(form->StatusTxt, &TCaptionLabel::CaptionChanged, [this](const QString& t) { statusTexts << t; });
        QObject::connect(form->ProgressLabel, &TCaptionLabel::CaptionChanged,
                         [this](const QString& t) { progressTexts << t; });
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override
    {
        form.reset();
        Dialogs::setHook(nullptr);
        setExeName(QString());
        testsupport::clearComPortMap();
    }

    // A click as the user makes it: through the window, at the control's
    // middle, so that only an enabled, visible control can take it.
    void click(QWidget* control)
    {
        QWidget* top = control->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          control->mapTo(top, control->rect().center()));
    }

    // Runs `action` once, from inside whatever wait runs `afterMs` from now.
    void during(int afterMs, std::function<void()> action) { QTimer::singleShot(afterMs, form.get(), std::move(action)); }

    QWidget* page() const { return form->PageControl1->currentWidget(); }

    // True when another program can open the port now.
    bool portIsFree()
    {
        TVaComm other;
        other.PortNum = 3;
        try {
            other.Open();
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
            return false;
        }
        other.Close();
        return true;
    }

    // Power-cycle connect to a sensor already in its boot code: the quick
    // way onto the settings page.
    void connectTo(const standin::SerialOptions& options)
    {
        bootCode.setOptions(options);
        bootCode.startInBootCode();
        click(form->ConnectPCBtn);
        ASSERT_EQ(page(), form->TabSheet2) << shown.join(" | ").toStdString();
        bootCode.clearLog();
        line.clearLog();
        shown.clear();
        statusTexts.clear();
        progressTexts.clear();
    }

    void setPage(int baudIndex, int mode, int modbus, const QString& address)
    {
        form->BaudRateCB->setCurrentIndex(baudIndex);
        form->CommsModeGB->SetItemIndex(mode);
        form->ModBusRG->SetItemIndex(modbus);
        form->ModbusAddressEB->setText(address);
    }

    // The framed commands the stand-in received, by their command byte.
    std::string commands() const
    {
        std::string out;
        for (const auto& r : line.requests())
            out += (out.empty() ? "" : " ") + standin::hex(r.frame.data.data(), std::min<size_t>(1, r.frame.data.size()));
        return out;
    }

    static double secondsSince(std::chrono::steady_clock::time_point start) { return testsupport::secondsSince(start); }

    QTemporaryDir dir;
    standin::Standin line;
    std::shared_ptr<standin::SensorModel> model = standin::installCommandSet(line);
    standin::BootCode bootCode{line};
    std::unique_ptr<TMainForm> form;
    std::function<int(const ShownMessage&)> answer;
    QStringList shown;
    QStringList statusTexts;
    QStringList progressTexts;
};
