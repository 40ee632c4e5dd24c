// The five small dialogs: their buttons and modal results, the about box's
// texts and link, the note limits, the channel check list, the message
// form's bar and the query's key filter.
#include "ABOUT.h"
#include "AddNoteFormUnit.h"
#include "ChannelSelectionUnit.h"
#include "MessageFormUnit.h"
#include "Shell.h"
#include "QtPrinters.h"
#include "StdCtrls.h"
#include "StringQueryForm.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace testsupport;

namespace {

// Sends one key press and release that types `text` (or nothing).
void typeKey(QWidget* widget, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

void typeText(QWidget* widget, const QString& text)
{
    for (QChar c : text)
        typeKey(widget, 0, QString(c));
}

TEST(SmallDialogs, CloseWithTheModalResultOfWhatTheUserDid)
{
    struct Case {
        const char* name;
        std::function<TForm*()> make;
        // Acts on the shown form; runs inside its modal loop.
        std::function<void(TForm*)> act;
        int result;
    };
    auto click = [](const char* button) {
        return [button](TForm* f) { QTest::mouseClick(f->findChild<QPushButton*>(button), Qt::LeftButton); };
    };
    auto enterIn = [](std::function<QWidget*(TForm*)> widget) {
        return [widget](TForm* f) {
            typeKey(widget(f), Qt::Key_Return, "\r");
            // Still open when Enter did not close it: leave by the close box.
            if (f->isVisible())
                f->close();
        };
    };
    const Case cases[] = {
        {"about OK", [] { return new TAboutBox(nullptr); }, click("OKButton"), mrOk},
        {"about Enter (OK is the default button)", [] { return new TAboutBox(nullptr); },
         enterIn([](TForm* f) { return static_cast<QWidget*>(static_cast<TAboutBox*>(f)->OKButton); }), mrOk},
        {"note Ok", [] { return new TAddNoteForm(nullptr); }, click("OkBtn"), mrOk},
        {"note Cancel", [] { return new TAddNoteForm(nullptr); }, click("CancelBtn"), mrCancel},
        {"note close box", [] { return new TAddNoteForm(nullptr); }, [](TForm* f) { f->close(); }, mrCancel},
        {"note Enter in the initials (no default button)", [] { return new TAddNoteForm(nullptr); },
         enterIn([](TForm* f) { return static_cast<QWidget*>(static_cast<TAddNoteForm*>(f)->InitialsEditBox); }),
         mrCancel},
        {"note Escape does nothing", [] { return new TAddNoteForm(nullptr); },
         [](TForm* f) {
             typeKey(f, Qt::Key_Escape, QString(QChar(27)));
             EXPECT_TRUE(f->isVisible());
             QTest::mouseClick(static_cast<TAddNoteForm*>(f)->OkBtn, Qt::LeftButton);
         },
         mrOk},
        {"channels OK", [] { return new TChannelSelectionForm(nullptr); }, click("OkBtn"), mrOk},
        {"query Ok", [] { return new TStringQuery(nullptr); }, click("OkBtn"), mrOk},
        {"query Cancel", [] { return new TStringQuery(nullptr); }, click("CancelBtn"), mrCancel},
        {"query Enter with an empty edit", [] { return new TStringQuery(nullptr); },
         enterIn([](TForm* f) { return static_cast<QWidget*>(static_cast<TStringQuery*>(f)->Edit); }), mrOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TForm> form(c.make());
        QTimer::singleShot(0, form.get(), [&] { c.act(form.get()); });
        EXPECT_EQ(form->ShowModal(), c.result);
    }
}

TEST(AboutBox, ShowsTheProductAndOpensTheLinkWithTheDesktop)
{
    QStringList opened;
    Shell::setHook([&](const QString& target) { opened << target; });
    TAboutBox box(nullptr);
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.ProductName->text(), "Brindlecot");
    EXPECT_TRUE(box.ProductName->font().bold());
    EXPECT_EQ(box.Version->text(), "Version 2.2");
    EXPECT_TRUE(box.OKButton->isDefault());
    EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
    ASSERT_TRUE(box.LinkLabel1->text().contains("href=\"https://www.halvorine.example/\""));

    emit box.LinkLabel1->linkActivated("https://www.halvorine.example/");
    emit box.LinkLabel1->linkActivated(QString());
    Shell::setHook(nullptr);
    EXPECT_EQ(opened, QStringList({"https://www.halvorine.example/", ""}));
}

TEST(AddNote, FieldsKeepTheirLimits)
{
    TAddNoteForm form(nullptr);
    EXPECT_EQ(form.windowTitle(), "Add Note");
    QTest::keyClicks(form.InitialsEditBox, "ABCDEFGHIJ");
    EXPECT_EQ(form.InitialsEditBox->text(), "ABCDEFG");

    // Typing stops at 200 characters.
    QTest::keyClicks(form.CommentsMemo, QString(205, QChar('a')));
    EXPECT_EQ(form.CommentsMemo->toPlainText(), QString(200, QChar('a')));
    // A paste into the middle keeps only what fits, and the text around it.
    form.CommentsMemo->setPlainText(QString(190, QChar('a')) + "END");
    QTextCursor cursor = form.CommentsMemo->textCursor();
    cursor.setPosition(10);
    form.CommentsMemo->setTextCursor(cursor);
    form.CommentsMemo->insertPlainText(QString(50, QChar('b')));
    const QString text = form.CommentsMemo->toPlainText();
    EXPECT_EQ(text.size(), 200);
    EXPECT_EQ(text.left(17), QString(10, QChar('a')) + QString(7, QChar('b')));
    EXPECT_TRUE(text.endsWith("END"));
}

TEST(AddNote, EditsTakeWhatTheLoggingCommentTakes)
{
    // Both end in the log: no comma, no tab, nothing beyond ASCII, whatever
    // modifier is held.
    struct Case {
        Qt::Key code;
        QString typed;
        Qt::KeyboardModifiers held;
        bool passes;
    };
    const Case cases[] = {
        {Qt::Key_A, "a", Qt::NoModifier, true},
        {Qt::Key_Comma, ",", Qt::NoModifier, false},
        {Qt::Key_QuoteLeft, "`", Qt::NoModifier, false},
        {Qt::Key_AsciiTilde, "~", Qt::ShiftModifier, false},
        {Qt::Key_Eacute, QStringLiteral("\u00E9"), Qt::NoModifier, false},
        {Qt::Key_Comma, ",", Qt::MetaModifier, false},
        {Qt::Key_BraceLeft, "{", Qt::ShiftModifier, true},
        {Qt::Key_7, "7", Qt::NoModifier, true},
    };
    TAddNoteForm form(nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (QWidget* edit : {static_cast<QWidget*>(form.InitialsEditBox), static_cast<QWidget*>(form.CommentsMemo)}) {
        edit->setFocus();
        const auto text = [&] {
            return edit == form.CommentsMemo ? form.CommentsMemo->toPlainText() : form.InitialsEditBox->text();
        };
        QString expected;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(edit->objectName().toStdString()) + " " + c.typed.toStdString());
            QTest::sendKeyEvent(QTest::Click, form.windowHandle(), c.code, c.typed, c.held);
            if (c.passes)
                expected += c.typed;
            EXPECT_EQ(text(), expected);
        }
        // Pasted text goes in only when every character would.
        for (const char* pasted : {"x,y", "x\ty", "xy"}) {
            QApplication::clipboard()->setText(QString::fromLatin1(pasted));
            QTest::keyClick(form.windowHandle(), Qt::Key_V, Qt::ControlModifier);
        }
        EXPECT_EQ(text(), expected + "xy");
    }
}

TEST(AddNote, CommentCountsALineBreakAsTheCrLfItIsSentAs)
{
    TAddNoteForm form(nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.CommentsMemo->setFocus();
    const auto key = [&](int k, Qt::KeyboardModifiers held = Qt::NoModifier) {
        QTest::keyClick(form.windowHandle(), static_cast<Qt::Key>(k), held);
    };
    // 60 typed lines of two letters: 50 fill the 200 characters.
    for (int line = 0; line < 60; ++line) {
        key(Qt::Key_A);
        key(Qt::Key_B);
        key(Qt::Key_Return);
    }
    EXPECT_EQ(form.CommentsMemo->toPlainText(), QString("ab\n").repeated(50));
    // At the limit a key typed over a selection takes its place.
    key(Qt::Key_Left, Qt::ShiftModifier);
    key(Qt::Key_Left, Qt::ShiftModifier);
    key(Qt::Key_C);
    EXPECT_EQ(form.CommentsMemo->toPlainText(), QString("ab\n").repeated(49) + "ac");

    // A paste over everything keeps what fits, the line breaks counted.
    struct Case {
        QString pasted;
        QString kept;
    };
    const Case cases[] = {
        {QString("x\n").repeated(100), QString("x\n").repeated(66) + "x"},
        {QString(199, QChar('y')) + "\n", QString(199, QChar('y'))},
        {QString(198, QChar('y')) + "\n", QString(198, QChar('y')) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pasted.size());
        key(Qt::Key_A, Qt::ControlModifier);
        QApplication::clipboard()->setText(c.pasted);
        key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(form.CommentsMemo->toPlainText(), c.kept);
    }
}

TEST(ChannelSelection, NamesCanBeCheckedByTheUser)
{
    TChannelSelectionForm form(nullptr);
    EXPECT_EQ(form.windowTitle(), "ChannelSelectionForm");
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    for (const char* name : {"Temperature", "Depth", "pH"})
        form.ChannelListBox->AddItem(name);
    form.show();
    form.ChannelListBox->setCurrentRow(1);
    QTest::keyClick(form.ChannelListBox, Qt::Key_Space);
    form.ChannelListBox->SetChecked(2, true);
    EXPECT_FALSE(form.ChannelListBox->Checked(0));
    EXPECT_TRUE(form.ChannelListBox->Checked(1));
    EXPECT_TRUE(form.ChannelListBox->Checked(2));
    EXPECT_FALSE(form.ChannelListBox->Checked(3)); // no such item
}

TEST(MessageForm, BarFillsInTwentyStepsAndStaysFull)
{
    TMessageForm form(nullptr);
    EXPECT_EQ(form.ProgressLabel->text(), "Progress");
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 500);
    form.show();
    // The timer steps the bar by itself.
    EXPECT_TRUE(pumpUntil([&] { return form.ProgressBar->value() >= 1; }, 3000));
    form.Timer1->stop();
    form.ProgressBar->setValue(0);
    for (int i = 0; i < 19; ++i)
        form.Timer1Timer();
    EXPECT_EQ(form.ProgressBar->value(), 19);
    form.Timer1Timer();
    EXPECT_EQ(form.ProgressBar->value(), 20);
    // Left open longer, it stays full rather than starting over.
    for (int i = 0; i < 10; ++i)
        form.Timer1Timer();
    EXPECT_EQ(form.ProgressBar->value(), 20);
}

TEST(StringQuery, KeyFilterPassesNameCharactersOnly)
{
    struct Case {
        QString typed;
        bool passes;
    };
    const Case cases[] = {
        {"a", true},  {" ", true},  {"b", true},  {"-", true},         {"1", true},
        {"_", true},  {".", false}, {",", false}, {"/", false},        {"\u00E9", true}, // a letter beyond ASCII
        {"\u20AC", false}, {"Z", true}, {"#", false},
        {"\u0142", false}, // a letter with no Latin-1 byte for the 8-bit name
    };
    TStringQuery query(nullptr);
    query.Label->setText("Name");
    query.show();
    EXPECT_EQ(query.focusWidget(), query.Edit);
    QString expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        typeText(query.Edit, c.typed);
        if (c.passes)
            expected += c.typed;
        EXPECT_EQ(query.Edit->text(), expected);
    }
    // Backspace and the cursor keys still edit.
    QTest::keyClick(query.Edit, Qt::Key_Backspace);
    expected.chop(1);
    EXPECT_EQ(query.Edit->text(), expected);
    // Pasted text goes in only when every character would.
    for (const char* pasted : {"x.y", "x\ty", "xy"}) {
        QApplication::clipboard()->setText(QString::fromLatin1(pasted));
        QTest::keyClick(query.windowHandle(), Qt::Key_V, Qt::ControlModifier);
    }
    expected += "xy";
    EXPECT_EQ(query.Edit->text(), expected);
    QTest::keyClick(query.Edit, Qt::Key_Home);
    EXPECT_EQ(query.Edit->cursorPosition(), 0);
    EXPECT_TRUE(query.isVisible());
}

} // namespace
