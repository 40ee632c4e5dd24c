// The main window fixture for the operations of its pages: each test starts
// without the files of earlier ones, measurements answer at once, and the
// documents and programs the window opens are kept in `opened` and `started`
// instead of being launched. Adds the input helpers the operations need:
// clicks at a point, keys, and pressing a button that opens a modal window.
#pragma once

#include "Folders.h"
#include "Forms.h"
#include "ImageBuilder.h"
#include "MainWindowFixture.h"
#include "Shell.h"

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

class OperationsFixture : public MainWindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LocalePinned);
        // Each test starts without the files of earlier ones.
        QDir(QString::fromLocal8Bit(GetAppDataFolder().c_str()) + QStringLiteral("/Brindlecot")).removeRecursively();
        MainWindowFixture::SetUp();
        model->update([](standin::SensorState& s) { s.measureMs = 0; });
        Shell::setHook([this](const QString& target) { opened.push_back(target); });
        Shell::setProgramHook([this](const QString& program, const QStringList& arguments, const QString& folder) {
            started.push_back({program, arguments, folder});
            return true;
        });
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        Shell::setHook(nullptr);
        Shell::setProgramHook(nullptr);
        setExeName(QString());
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
    // connected and ready; what it said meanwhile is forgotten.
    TSensorForm* connect()
    {
        MainWindowFixture::connect();
        EXPECT_TRUE(testsupport::pumpUntil([&] { return ready(form.get()); }, 60000))
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
    std::vector<Bytes> commands() const { return receivedCommands(sensor); }
    std::string downloads() const { return form->DownloadsFolder; }

    struct Started {
        QString program;
        QStringList arguments;
        QString folder;
    };

    std::vector<QString> opened;
    std::vector<Started> started;
};

} // namespace ops
