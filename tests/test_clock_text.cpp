// The clocks under a locale whose date and time text is not ASCII: they show
// the locale's own text, as the Collect page does.
#include "FormatSettings.h"
#include "SensorFormUnit.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>

#include <cstdlib>

namespace {

// Before the application reads the locale.
const bool KoreanPinned = (setenv("LC_ALL", "ko_KR.UTF-8", 1), true);

bool hangul(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3)
            return true;
    return false;
}

TEST(ClockText, BothClocksShowTheLocalesText)
{
    ASSERT_TRUE(KoreanPinned);
    TSensorForm w(nullptr, "COM3", nullptr);
    w.StartTimer->stop();
    w.ClockTimerTimer();
    const QString pc = w.TopPanelPcClockTxt->text();
    EXPECT_TRUE(hangul(pc)) << "the Korean day half (오전/오후): " << pc.toStdString();
    for (const QChar c : pc)
        EXPECT_FALSE(c.unicode() >= 0x80 && c.unicode() <= 0xFF) << "UTF-8 read as Latin-1: " << pc.toStdString();
    EXPECT_EQ(w.TopPanelSensorClockTxt->text(), pc);
}

} // namespace
