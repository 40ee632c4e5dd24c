// The main window connected through a pseudo-terminal to the stand-in
// sensor, for the operations of its pages: the stand-in serves its images, a
// logger memory of records and live values that follow reference values.
// Message boxes are answered by `answer` and kept in `shown`; documents and
// programs the window opens are kept in `opened` and `started` instead of
// being launched.
#pragma once

#include "CommandSet.h"
#include "Dialogs.h"
#include "FileTransfer.h"
#include "Folders.h"
#include "Forms.h"
#include "HvSensor_Quarn.h"
#include "ImageBuilder.h"
#include "Logger.h"
#include "RecordGenerator.h"
#include "Reference.h"
#include "SensorFormUnit.h"
#include "Shell.h"
#include "Standin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace ops {

using standin::Bytes;

// Dates, numbers and month names in one fixed form.
inline const bool LocalePinned = (setenv("LC_ALL", "en_GB.UTF-8", 1), true);

constexpr size_t HeaderBytes = sizeof(CalibrationData) + sizeof(ConfigurationData);

inline Bytes readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& name, const Bytes& bytes)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes slice(const Bytes& bytes, size_t from, size_t to)
{
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

// Images equal but for the CRC field, which every write recomputes.
inline bool sameImage(CalibrationData a, CalibrationData b)
{
    a.CRC = b.CRC = 0;
    return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool sameImage(ConfigurationData a, ConfigurationData b)
{
    a.CRC = b.CRC = 0;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Input through the window system, so that modality applies: a click at the
// middle of `widget`, addressed to its window.
inline void clickThroughWindow(QWidget* widget, QPoint at)
{
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(top, at));
}
inline void clickThroughWindow(QWidget* widget)
{
    clickThroughWindow(widget, widget->rect().center());
}
inline void doubleClickThroughWindow(QWidget* widget, QPoint at)
{
    QWidget* top = widget->window();
    const QPoint p = widget->mapTo(top, at);
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, p);
}
// Presses a button with the space bar through its window. A handler that
// opens a modal window from a mouse click runs while that click is still
// being delivered, and Qt's test input would take a click into the modal
// window for the same press; started from the keyboard, the modal window
// takes mouse clicks as a user's.
inline void pressThroughWindow(QWidget* button)
{
    button->setFocus();
    QTest::keyClick(button->window()->windowHandle(), Qt::Key_Space);
}
// Keys typed into the focused control of `widget`'s window.
inline void typeThroughWindow(QWidget* widget, const QString& text)
{
    widget->activateWindow();
    widget->setFocus();
    for (const QChar c : text)
        QTest::keyClick(widget->window()->windowHandle(), c.toLatin1());
}

// Runs `act` once on each modal window of type Dialog that comes up while it
// lives, from inside that window's own event loop.
template <class Dialog>
class WhenModal {
public:
    explicit WhenModal(std::function<void(Dialog*)> act)
    {
        QObject::connect(&timer_, &QTimer::timeout, [this, act] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || dialog == last_.data())
                return;
            last_ = dialog;
            ++count;
            act(dialog);
        });
        timer_.start(5);
    }
    int count = 0;

private:
    QTimer timer_;
    QPointer<Dialog> last_;
};

class OperationsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LocalePinned);
        // Each test starts without the files of earlier ones.
        QDir(QString::fromLocal8Bit(GetAppDataFolder().c_str()) + QStringLiteral("/Brindlecot")).removeRecursively();
        testsupport::mapComPort(3, sensor.slavePath());
        transfer.serveImages(sensor, model);
        model->update([](standin::SensorState& s) { s.measureMs = 0; });
        logger.update([&](standin::RecordGenerator& g) { g.run(minutely(), 16 * 1024); });
        namespace ch = standin::channels;
        const std::pair<uint8_t, double> placedIn[] = {
            {ch::Battery, 12.6}, {ch::Temperature, 14.2}, {ch::Pressure, 1.2}, {ch::Depth, 1.2},
            {ch::Cond, 450},     {ch::Salinity, 0.2},     {ch::PH, 7.4},       {ch::PHCal, 7.4},
            {ch::OdoSat, 96},    {ch::OdoMgL, 9.5},       {ch::OdoCal, 96},    {ch::Turbidity, 3.1},
        };
        for (const auto& [channel, value] : placedIn)
            reference->place(channel, value);
        Dialogs::setHook([this](const ShownMessage& m) {
            shown.push_back(m);
            return answer ? answer(m) : int(mrOk);
        });
        Shell::setHook([this](const QString& target) { opened.push_back(target); });
        Shell::setProgramHook([this](const QString& program, const QStringList& arguments, const QString& folder) {
            started.push_back({program, arguments, folder});
            return true;
        });
    }
    void TearDown() override
    {
        form.reset();
        Dialogs::setHook(nullptr);
        Shell::setHook(nullptr);
        Shell::setProgramHook(nullptr);
        setExeName(QString());
        DateTimeClock::setSource(nullptr);
        testsupport::clearComPortMap();
    }

    // One schedule of five channels every minute.
    static standin::LoggerState minutely()
    {
        namespace ch = standin::channels;
        standin::LoggerState state;
        state.schedules.push_back({1, {ch::Temperature, ch::Depth, ch::Cond, ch::PH, ch::Turbidity}, 60});
        return state;
    }
    // Adds about `bytes` of records to the logger's memory, `gapSeconds` after
    // its last record.
    void log(size_t bytes, int64_t gapSeconds = 60)
    {
        logger.update([&](standin::RecordGenerator& g) {
            g.advance(gapSeconds);
            g.run(minutely(), g.stream().size() + bytes);
        });
    }

    // Opens the main window on COM3 (not modally) and waits until it is
    // connected and ready.
    TSensorForm* connect()
    {
        form = std::make_unique<TSensorForm>(nullptr, "COM3", nullptr);
        form->show();
        EXPECT_TRUE(testsupport::pumpUntil(
            [&] { return !form->StartTimer && !form->InitProgress && form->ClockTimer->isActive(); }, 60000))
            << "the main window did not connect";
        shown.clear();
        return form.get();
    }

    // Clicks a button of the bar and lets its page come up.
    void press(QWidget* button)
    {
        clickThroughWindow(button);
        QApplication::processEvents();
    }

    // Forgets what the stand-in received so far.
    void mark() { sensor.clearLog(); }
    // Command frames the stand-in received since the last mark, as data.
    std::vector<Bytes> commands() const
    {
        std::vector<Bytes> frames;
        for (const auto& r : sensor.requests())
            if (r.frame.content == standin::ContentCommand && !r.frame.data.empty())
                frames.push_back(r.frame.data);
        return frames;
    }
    std::vector<int> commandCodes() const
    {
        std::vector<int> codes;
        for (const Bytes& c : commands())
            codes.push_back(c[0]);
        return codes;
    }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const ShownMessage& m : shown)
            texts.push_back(m.text.toStdString());
        return texts;
    }

    std::string downloads() const { return form->DownloadsFolder; }

    struct Started {
        QString program;
        QStringList arguments;
        QString folder;
    };

    standin::Standin sensor;
    std::shared_ptr<standin::SensorModel> model = standin::installCommandSet(sensor);
    standin::FileTransfer transfer{sensor};
    standin::Logger logger{sensor, transfer, model};
    std::shared_ptr<standin::Reference> reference = standin::followReference(sensor, model);
    std::unique_ptr<TSensorForm> form;
    std::vector<ShownMessage> shown;
    std::function<int(const ShownMessage&)> answer;
    std::vector<QString> opened;
    std::vector<Started> started;
};

} // namespace ops
