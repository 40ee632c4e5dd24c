// The main window connected through a pseudo-terminal to the stand-in
// sensor, which serves its images, a logger memory of records and live
// values that follow fixed reference values. Messages are answered by
// `answer` and collected in `shown`.
#pragma once

#include "CommandSet.h"
#include "Dialogs.h"
#include "FileTransfer.h"
#include "HvSensor_Quarn.h"
#include "ImageBuilder.h"
#include "Logger.h"
#include "RecordGenerator.h"
#include "Reference.h"
#include "SensorFormUnit.h"
#include "Sonde.h"
#include "Standin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The command frames (content 0x80) the stand-in received, as data, from
// its request number `from` on.
inline std::vector<standin::Bytes> receivedCommands(const standin::Standin& sensor, size_t from = 0)
{
    std::vector<standin::Bytes> frames;
    const auto all = sensor.requests();
    for (size_t i = from; i < all.size(); ++i)
        if (all[i].frame.content == standin::ContentCommand && !all[i].frame.data.empty())
            frames.push_back(all[i].frame.data);
    return frames;
}
// Their command codes, in order.
inline std::vector<int> receivedCodes(const standin::Standin& sensor, size_t from = 0)
{
    std::vector<int> codes;
    for (const standin::Bytes& frame : receivedCommands(sensor, from))
        codes.push_back(frame[0]);
    return codes;
}

class MainWindowFixture : public ::testing::Test {
public:
    void SetUp() override
    {
        testsupport::mapComPort(3, sensor.slavePath());
        sonde.placeInTypicalWater();
        Dialogs::setHook([this](const ShownMessage& m) {
            shown.push_back(m);
            return answer ? answer(m) : int(mrOk);
        });
    }
    void TearDown() override
    {
        form.reset();
        Dialogs::setHook(nullptr);
        DateTimeClock::setSource(nullptr);
        testsupport::clearComPortMap();
    }

    // Opens the main window on `port` (not modally) and waits until its
    // connection sequence has ended.
    TSensorForm* connect(const std::string& port = "COM3")
    {
        form = std::make_unique<TSensorForm>(nullptr, port, nullptr);
        form->show();
        EXPECT_TRUE(testsupport::pumpUntil([&] { return sequenceEnded(form.get()); }, 60000))
            << "the connection sequence did not end";
        return form.get();
    }
    static bool sequenceEnded(const TSensorForm* f) { return !f->StartTimer && !f->InitProgress; }
    // Connected and ready: the clock runs.
    static bool ready(const TSensorForm* f) { return sequenceEnded(f) && f->ClockTimer->isActive(); }

    // Command codes of the command frames the stand-in received, in order.
    std::vector<int> commandCodes() const { return receivedCodes(sensor); }
    // Data of the command frames with this code.
    std::vector<standin::Bytes> commandsWithCode(uint8_t code) const
    {
        std::vector<standin::Bytes> frames;
        for (standin::Bytes& frame : receivedCommands(sensor))
            if (frame[0] == code)
                frames.push_back(std::move(frame));
        return frames;
    }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const ShownMessage& m : shown)
            texts.push_back(m.text.toStdString());
        return texts;
    }
    // From the moment the stand-in receives `command` it answers nothing more.
    void muteOn(uint8_t command)
    {
        mutedCommands.push_back(command);
        sensor.onCommand(command, [this](const standin::Frame&) {
            sensor.setMuted(true);
            return standin::Responses{};
        });
    }
    // The stand-in answers every command again.
    void unmute()
    {
        sensor.setMuted(false);
        const auto m = model;
        for (const uint8_t code : mutedCommands)
            sensor.onCommand(code, [m](const standin::Frame& f) { return m->answer(f); });
        mutedCommands.clear();
        transfer.serveImages(sensor, model);
    }

    standin::Standin sensor;
    standin::Sonde sonde{sensor, 16 * 1024};
    // The sonde's parts by their short names.
    std::shared_ptr<standin::SensorModel>& model = sonde.model;
    standin::FileTransfer& transfer = sonde.transfer;
    standin::Logger& logger = sonde.logger;
    std::shared_ptr<standin::Reference>& reference = sonde.reference;
    std::unique_ptr<TSensorForm> form;
    std::vector<ShownMessage> shown;
    std::function<int(const ShownMessage&)> answer;
    std::vector<uint8_t> mutedCommands;
};

// Input through the window system, so that modality applies: a click at
// `at` in `widget` (at its middle without `at`), addressed to its window.
inline void clickThroughWindow(QWidget* widget, QPoint at)
{
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(top, at));
}
inline void clickThroughWindow(QWidget* widget)
{
    clickThroughWindow(widget, widget->rect().center());
}

// Runs `inspect` once on each modal dialog of type Dialog that comes up while
// it lives, from inside the dialog's own event loop.
template <class Dialog>
class WhenModal {
public:
    explicit WhenModal(std::function<void(Dialog*)> inspect)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, inspect] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || dialog == last_.data())
                return;
            last_ = dialog;
            ++count;
            inspect(dialog);
        });
        timer_.start(5);
    }
    int count = 0;

private:
    QTimer timer_;
    QPointer<Dialog> last_;
};
