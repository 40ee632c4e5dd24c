// The platform controls the set-up dialog is built from: the spin edit's
// reading and writing rules, the radio group's choice, the string grid's
// cells.
#include "CSpin.h"
#include "ExtCtrls.h"
#include "Grids.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>

#include <climits>

namespace {

TEST(SpinEdit, ValueReadsTheTextAndWritingKeepsTheLimits)
{
    struct Case {
        int min, max;
        QString text;     // typed (or set) text
        int value;        // what Value reads
        int written;      // SetValue(written) ...
        QString shown;    // ... shows
    };
    const Case cases[] = {
        {0, 6, "4", 4, 5, "5"},
        {0, 6, "9", 9, 9, "6"},       // typed beyond the limit: read as typed, written kept to it
        {0, 6, "", 0, -3, "0"},       // no number: the minimum
        {1, 1000, "", 1, 0, "1"},
        {1, 1000, "99999999999", 1, 2000, "1000"},
        {0, 0, "70000", 70000, -5, "-5"}, // equal limits: no limits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        TCSpinEdit spin;
        spin.SetMinValue(c.min);
        spin.SetMaxValue(c.max);
        spin.SetText(c.text);
        EXPECT_EQ(spin.Value(), c.value);
        spin.SetValue(c.written);
        EXPECT_EQ(spin.Text(), c.shown);
    }
}

TEST(SpinEdit, ReportsEveryNewTextOnce)
{
    TCSpinEdit spin;
    spin.SetMinValue(0);
    spin.SetMaxValue(10);
    spin.SetValue(3);
    QStringList seen;
    QObject::connect(&spin, &TCSpinEdit::Changed, [&] { seen << spin.Text(); });
    spin.show();
    spin.setFocus();
    QTest::keyClick(&spin, Qt::Key_Up);            // the arrow
    QTest::keyClick(&spin, Qt::Key_Backspace);     // typing
    QTest::keyClicks(&spin, "7");
    spin.SetValue(7);                              // the same text again: no report
    spin.SetValue(2);
    EXPECT_EQ(seen, QStringList({"4", "", "7", "2"}));
}

TEST(RadioGroup, ChoosingReportsAChange)
{
    TRadioGroup group("Source", {"Internal", "External"});
    int clicks = 0;
    QObject::connect(&group, &TRadioGroup::Click, [&] { ++clicks; });
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItemIndex(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    group.SetItemIndex(1);
    EXPECT_EQ(clicks, 1);
    group.show();
    QTest::mouseClick(group.Button(0), Qt::LeftButton, Qt::NoModifier, QPoint(8, group.Button(0)->height() / 2));
    EXPECT_EQ(group.ItemIndex(), 0);
    EXPECT_EQ(clicks, 2);
    group.SetItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
}

TEST(StringGrid, CellsOutsideTheGridAreEmptyAndIgnored)
{
    TStringGrid grid;
    grid.SetColCount(3);
    grid.SetRowCount(2);
    grid.SetCells(2, 1, "x");
    grid.SetCells(3, 0, "outside");
    grid.SetCells(0, -1, "outside");
    EXPECT_EQ(grid.Cells(2, 1), "x");
    EXPECT_EQ(grid.Cells(0, 0), "");
    EXPECT_EQ(grid.Cells(5, 5), "");
    grid.SetRowCount(1);
    EXPECT_EQ(grid.Cells(2, 1), "");
    EXPECT_TRUE(grid.IsFixed(0, 0));
    EXPECT_FALSE(grid.IsFixed(1, 1));
}

} // namespace
