// The key filter as a user meets it in a window: typed keys go through the
// edit's rule; text pasted (Ctrl+V, Shift+Insert, the context menu), dropped
// or typed as a control character gets in only when the rule takes every
// character of it; the editing keys work as in any edit. The same for a line
// edit, a memo and a spin edit.
#include "CSpin.h"
#include "KeyFilter.h"
#include "QtPrinters.h"
#include "StdCtrls.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace {

// Letters, digits and blanks; no comma.
bool noComma(const QString&, QChar key)
{
    return key.unicode() == 8 || key.unicode() == 13 || (key.isPrint() && key != QLatin1Char(',') && key.unicode() < 128);
}

class KeyFilterWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* w : {static_cast<QWidget*>(decimal), static_cast<QWidget*>(memo), static_cast<QWidget*>(spin),
                           static_cast<QWidget*>(after)})
            layout->addWidget(w);
        spin->SetMinValue(0);
        spin->SetMaxValue(1000);
        TKeyFilter::Install(decimal, KeyRules::Decimal);
        TKeyFilter::Install(memo, noComma);
        TKeyFilter::Install(spin, KeyRules::Digit);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
    }

    // Focus on `edit` with the caret at its end.
    void focus(QWidget* edit)
    {
        edit->setFocus();
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), edit);
    }
    void key(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window.windowHandle(), static_cast<Qt::Key>(k), modifiers);
    }
    void type(const char* text)
    {
        for (const char* c = text; *c; ++c)
            QTest::keyClick(window.windowHandle(), *c);
    }
    QString textOf(QWidget* edit) const
    {
        if (edit == memo)
            return memo->toPlainText();
        if (edit == spin)
            return spin->Text();
        return static_cast<QLineEdit*>(edit)->text();
    }
    // The context menu's Paste, chosen with the mouse. Some edits run their
    // menu in a loop of its own, so the choice is made from a timer.
    void pasteFromMenu(QWidget* edit)
    {
        bool chosen = false;
        QTimer chooser;
        QObject::connect(&chooser, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (chosen || !menu)
                return;
            chosen = true;
            for (QAction* a : menu->actions())
                if (a->text().remove(QLatin1Char('&')).startsWith(QLatin1String("Paste"))) {
                    EXPECT_TRUE(a->isEnabled());
                    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(a).center());
                    return;
                }
            ADD_FAILURE() << "no Paste in the menu";
            menu->close();
        });
        chooser.start(5);
        QWidget* target = edit == memo ? memo->viewport() : edit;
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, Qt::NoModifier,
                          target->mapTo(&window, target->rect().center()));
        EXPECT_TRUE(testPump([&] { return chosen && !QApplication::activePopupWidget(); }));
        // A menu closed before its own activation came through leaves no
        // window active: the next key would go nowhere.
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Text dropped at the end of `edit`; true when the drop was taken.
    bool drop(QWidget* edit, const QString& text)
    {
        QMimeData data;
        data.setText(text);
        QWidget* target = edit == memo ? memo->viewport() : edit == spin ? spin->findChild<QLineEdit*>() : edit;
        const QPointF at(target->width() - 2, target->height() / 2);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted() && dropped.dropAction() != Qt::IgnoreAction;
    }
    static bool testPump(const std::function<bool()>& done)
    {
        for (int i = 0; i < 200 && !done(); ++i)
            QTest::qWait(5);
        return done();
    }

    QWidget window;
    QLineEdit* decimal = new QLineEdit;
    TMemo* memo = new TMemo;
    TCSpinEdit* spin = new TCSpinEdit;
    QLineEdit* after = new QLineEdit;
};

TEST_F(KeyFilterWindow, PastedTextGetsInOnlyWhenTheRuleTakesAllOfIt)
{
    enum Way { CtrlV, ShiftInsert, Menu };
    struct Case {
        QWidget* edit;
        const char* typed;
        const char* pasted;
        const char* result;
    };
    const Case cases[] = {
        {decimal, "1", "-3.5", "1"},
        {decimal, "1", "2,5", "1"},
        {decimal, "1.5", ".2", "1.5"}, // a second point
        {decimal, "1", "\t2", "1"},
        {decimal, "1", ".25", "1.25"},
        {memo, "ab", "c,d", "ab"},
        {memo, "ab", "c\td", "ab"},
        {memo, "ab", "c\nd", "abc\nd"}, // line breaks are the memo's Enter
        {spin, "1", "-5", "1"},
        {spin, "1", "2x", "1"},
        {spin, "1", "25", "125"},
    };
    for (const Case& c : cases) {
        for (const Way way : {CtrlV, ShiftInsert, Menu}) {
            QWidget* edit = c.edit;
            SCOPED_TRACE(std::string(edit->metaObject()->className()) + " " + c.pasted + " way " +
                         std::to_string(int(way)));
            focus(edit);
            key(Qt::Key_A, Qt::ControlModifier);
            key(Qt::Key_Backspace);
            ASSERT_TRUE(textOf(edit).isEmpty());
            type(c.typed);
            ASSERT_EQ(textOf(edit), c.typed);
            QApplication::clipboard()->setText(QString::fromLatin1(c.pasted));
            if (way == CtrlV)
                key(Qt::Key_V, Qt::ControlModifier);
            else if (way == ShiftInsert)
                key(Qt::Key_Insert, Qt::ShiftModifier);
            else
                pasteFromMenu(edit);
            EXPECT_EQ(textOf(edit), c.result);
        }
    }
}

TEST_F(KeyFilterWindow, KeysWithAnyModifierGoThroughTheRule)
{
    // Meta (Super), AltGr (Ctrl with Alt) or Shift held: the key still types
    // its character, so the rule judges it. The editing shortcuts stay the
    // edit's own (EditingKeysWorkAndTabIsNoCharacter).
    const Qt::KeyboardModifiers altGr = Qt::ControlModifier | Qt::AltModifier;
    struct Case {
        QWidget* edit;
        const char* before;
        Qt::Key code;
        QString typed;
        Qt::KeyboardModifiers held;
        const char* after;
    };
    const Case cases[] = {
        {memo, "ab", Qt::Key_Comma, ",", Qt::MetaModifier, "ab"},
        {memo, "ab", Qt::Key_Eacute, QStringLiteral("\u00E9"), Qt::MetaModifier, "ab"},
        {memo, "ab", Qt::Key_Comma, ",", Qt::MetaModifier | Qt::ShiftModifier, "ab"},
        {memo, "ab", Qt::Key_Comma, ",", altGr, "ab"},
        {memo, "ab", Qt::Key_C, "c", Qt::MetaModifier, "abc"},
        {decimal, "1.5", Qt::Key_Period, ".", Qt::MetaModifier, "1.5"},
        {decimal, "1", Qt::Key_X, "x", Qt::MetaModifier, "1"},
        {decimal, "1", Qt::Key_Period, ".", Qt::MetaModifier, "1."},
        {spin, "12", Qt::Key_Minus, "-", Qt::MetaModifier, "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.edit->metaObject()->className()) + " " + c.typed.toStdString() + " held " +
                     std::to_string(int(c.held)));
        focus(c.edit);
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_Backspace);
        type(c.before);
        ASSERT_EQ(textOf(c.edit), c.before);
        QTest::sendKeyEvent(QTest::Click, window.windowHandle(), c.code, c.typed, c.held);
        EXPECT_EQ(textOf(c.edit), c.after);
    }
}

TEST_F(KeyFilterWindow, OverASelectionTypedAndPastedTextAreJudgedByTheResult)
{
    enum Way { Typed, Pasted };
    struct Case {
        QWidget* edit;
        const char* before;
        int from, count; // the selection
        const char* inserted;
        const char* after;
    };
    const Case cases[] = {
        {decimal, "1.5", 0, 3, ".", "."}, // the point selected goes
        {decimal, "12.5", 2, 2, ".", "12."},
        {decimal, "1.5", 0, 1, ".", "1.5"}, // a second point stays out
        {decimal, "1.5", 1, 1, "x", "1.5"},
    };
    for (const Case& c : cases) {
        for (const Way way : {Typed, Pasted}) {
            SCOPED_TRACE(std::string(c.before) + " with " + c.inserted + (way == Typed ? " typed" : " pasted"));
            focus(c.edit);
            key(Qt::Key_A, Qt::ControlModifier);
            key(Qt::Key_Backspace);
            type(c.before);
            ASSERT_EQ(textOf(c.edit), c.before);
            key(Qt::Key_Home);
            for (int i = 0; i < c.from; ++i)
                key(Qt::Key_Right);
            for (int i = 0; i < c.count; ++i)
                key(Qt::Key_Right, Qt::ShiftModifier);
            if (way == Typed) {
                type(c.inserted);
            } else {
                QApplication::clipboard()->setText(QString::fromLatin1(c.inserted));
                key(Qt::Key_V, Qt::ControlModifier);
            }
            EXPECT_EQ(textOf(c.edit), c.after);
        }
    }
}

TEST_F(KeyFilterWindow, DropsAreRefusedOrTakenByTheSameRule)
{
    struct Case {
        QWidget* edit;
        const char* before;
        const char* dropped;
        bool taken;
        const char* after;
    };
    const Case cases[] = {
        {decimal, "1", "-3.5", false, "1"},
        {decimal, "1", ".5", true, "1.5"},
        {memo, "ab", "x,y", false, "ab"},
        {memo, "ab", "xy", true, "abxy"},
        {spin, "7", "-1", false, "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.edit->metaObject()->className()) + " " + c.dropped);
        if (c.edit == memo)
            memo->setPlainText(c.before);
        else if (c.edit == spin)
            spin->SetText(c.before);
        else
            decimal->setText(c.before);
        EXPECT_EQ(drop(c.edit, QString::fromLatin1(c.dropped)), c.taken);
        EXPECT_EQ(textOf(c.edit), c.after);
    }
}

TEST_F(KeyFilterWindow, EditingKeysWorkAndTabIsNoCharacter)
{
    focus(decimal);
    type("12.5");
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "12.5");
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(decimal->text(), "");
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(decimal->text(), "12.5");
    key(Qt::Key_End);
    key(Qt::Key_V, Qt::ControlModifier); // a second point
    EXPECT_EQ(decimal->text(), "12.5");
    // Typed keys still follow the rule.
    decimal->clear();
    type("-1,2.3.4");
    EXPECT_EQ(decimal->text(), "12.34");

    // In the memo Tab moves on, Ctrl+Tab types nothing; Enter is a line break.
    focus(memo);
    type("a");
    key(Qt::Key_Tab, Qt::ControlModifier);
    key(Qt::Key_Return);
    type("b");
    EXPECT_EQ(memo->toPlainText(), "a\nb");
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), spin);
    EXPECT_EQ(memo->toPlainText(), "a\nb");

    // Text the program sets stands, even what the rule would not take.
    decimal->setText("-2.5");
    EXPECT_EQ(decimal->text(), "-2.5");
    focus(decimal);
    key(Qt::Key_End);
    key(Qt::Key_Backspace);
    EXPECT_EQ(decimal->text(), "-2.");
    QApplication::clipboard()->setText(",");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(decimal->text(), "-2.") << "a text set by the program does not open the edit to paste";
}

} // namespace
