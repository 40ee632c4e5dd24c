// The comms-mode utility's window as the user meets it: the port list and
// its settings file, the Modbus address input, the lamps, the information
// and wiring pages, About, the single-instance start; and the pieces the
// boot-code dialogue reads with (prompt values, the settings page's
// selections, the information file's rich text).
#include "ABOUT.h"
#include "IniFiles.h"
#include "PortListFixture.h"
#include "PortModeFixture.h"
#include "PortModeTool.h"
#include "RtfReader.h"
#include "Shell.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QProcess>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

using namespace testsupport;

namespace {

class Window : public PortModeFixture {
protected:
    QString iniPath() const { return dir.filePath("PortModeTool.ini"); }
    QString savedPort() const { return savedPortIn(iniPath()); }

    void typeInto(QWidget* control, const QString& keys)
    {
        click(control);
        for (const QChar c : keys)
            QTest::keyClick(control->window()->windowHandle(), c.toLatin1());
    }
};

} // namespace

TEST_F(Window, StartsOnTheConnectPage)
{
    EXPECT_EQ(form->windowTitle(), "Corvane KT Sensor CommsMode Utility Version 1.0");
    EXPECT_EQ(page(), form->TabSheet1);
    EXPECT_EQ(form->centralWidget()->size(), QSize(649, 395));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form->Sensor, nullptr);
    EXPECT_FALSE(form->inBootCode);
    // The settings page before any reading.
    EXPECT_EQ(form->BaudRateCB->currentIndex(), -1);
    EXPECT_EQ(form->BaudRateCB->currentText(), "BaudRateCB");
    EXPECT_EQ(form->CommsModeGB->ItemIndex(), -1);
    EXPECT_EQ(form->ModBusRG->ItemIndex(), -1);
    EXPECT_EQ(form->ModbusAddressEB->text(), "1");
    EXPECT_EQ(form->ModbusAddressEB->maxLength(), 3);
}

TEST_F(Window, PortListAndSettingsFile)
{
    struct Case {
        const char* saved; // nullptr: no settings file
        const char* selected;
    };
    const Case cases[] = {{"Com7", "Com7"}, {"COM7", "Com7"}, {"Com9", "Com3"}, {"", "Com3"}, {nullptr, "Com3"}};
    Pty seven;
    mapComPort(7, seven.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saved ? c.saved : "(no file)");
        QFile::remove(iniPath());
        if (c.saved)
            TIniFile(iniPath()).WriteString("Defaults", "Comport", c.saved);
        click(form->RefreshComportList);
        EXPECT_EQ(items(form->AvailComportComboBox), QStringList({"Com3", "Com7"}));
        EXPECT_EQ(form->AvailComportComboBox->currentText(), c.selected);
        EXPECT_EQ(QFile::exists(iniPath()), c.saved != nullptr) << "listing saves nothing";
    }
    EXPECT_EQ(form->AvailComportComboBox->itemData(0, Qt::ToolTipRole).toString(),
              QString::fromStdString(line.slavePath()));

    // Choosing a port writes it at once, before any connection.
    QFile::remove(iniPath());
    click(form->RefreshComportList);
    click(form->AvailComportComboBox);
    QTest::keyClick(form->windowHandle(), Qt::Key_Escape); // close the list the click opened
    form->AvailComportComboBox->setFocus();
    QTest::keyClick(form->windowHandle(), Qt::Key_Down);
    EXPECT_EQ(form->AvailComportComboBox->currentText(), "Com7");
    EXPECT_EQ(savedPort(), "Com7");
    EXPECT_EQ(form->SavedPort, "Com7");
}

TEST_F(Window, NoPortsListedSelectsNothing)
{
    clearComPortMap();
    QDir().mkpath(ComPorts::mapFolder());
    click(form->RefreshComportList);
    EXPECT_EQ(form->AvailComportComboBox->count(), 0);
    EXPECT_EQ(form->AvailComportComboBox->currentIndex(), -1);
}

TEST_F(Window, ModbusAddressInput)
{
    const QString tooLarge = "Invalid value entered for modbus address, enter a value in the range of 1 to 247";
    const QString empty = "Modbus address can not be empty... Please enter a value between 1 and 247";
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    QLineEdit* edit = form->ModbusAddressEB;
    struct Case {
        const char* typed;
        const char* text;
        int messages;
    };
    const Case cases[] = {
        {"300", "1", 1},  // the message as the third digit passes 247
        {"0", "1", 1},    // zero alone
        {"247", "247", 0},
        {"2a-b.4\r", "24", 0}, // letters, minus, point and Enter are discarded
        {"12345", "123", 0},   // at most three characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        edit->clear();
        shown.clear();
        typeInto(edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit->text(), c.text);
        EXPECT_EQ(shown.size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(shown.first(), tooLarge);
        }
    }

    // Pasted text is held to the same rule.
    edit->clear();
    shown.clear();
    click(edit);
    for (const char* pasted : {"2a", "-2", "2\r", "24"}) {
        QApplication::clipboard()->setText(QString::fromLatin1(pasted));
        QTest::keyClick(form->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    }
    EXPECT_EQ(edit->text(), "24");
    EXPECT_TRUE(shown.isEmpty());

    // Clearing the field says nothing until the focus leaves it; then the
    // message shows and the focus comes back.
    edit->setText("5");
    shown.clear();
    click(edit);
    edit->end(false);
    QTest::keyClick(form->windowHandle(), Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "");
    EXPECT_TRUE(shown.isEmpty());
    click(form->BaudRateCB);
    QTest::keyClick(form->windowHandle(), Qt::Key_Escape);
    ASSERT_TRUE(pumpUntil([&] { return !shown.isEmpty(); }, 2000));
    EXPECT_EQ(shown, QStringList({empty}));
    EXPECT_TRUE(pumpUntil([&] { return edit->hasFocus(); }, 2000));
}

TEST_F(Window, SettingsPageSelections)
{
    struct Case {
        int line, modbus, index;
    };
    const Case cases[] = {{0, 0, cmRs232Rtu}, {0, 1, cmRs232Ascii}, {1, 0, cmRs422_485Rtu}, {1, 1, cmRs422_485Ascii}};
    for (const Case& c : cases) {
        form->SetCommsModeIndex(c.index);
        EXPECT_EQ(form->CommsModeGB->ItemIndex(), c.line);
        EXPECT_EQ(form->ModBusRG->ItemIndex(), c.modbus);
        EXPECT_EQ(form->CommsModeIndex(), c.index);
    }
    // Other values change nothing.
    form->SetCommsModeIndex(4);
    form->SetCommsModeIndex(-1);
    EXPECT_EQ(form->CommsModeIndex(), cmRs422_485Ascii);
    // A group without a selection counts as RS232 with Modbus RTU.
    form->ModBusRG->SetItemIndex(-1);
    EXPECT_EQ(form->CommsModeIndex(), cmRs232Rtu);

    // A rate typed into the baud-rate box selects its item.
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    const struct {
        const char* typed;
        int index;
    } typed[] = {{"9600", 3}, {"19200", 4}, {"19200 (default)", 4}, {"14400", -1}, {"", -1}};
    for (const auto& t : typed) {
        SCOPED_TRACE(t.typed);
        form->BaudRateCB->setCurrentIndex(0);
        form->BaudRateCB->lineEdit()->selectAll();
        click(form->BaudRateCB->lineEdit());
        form->BaudRateCB->lineEdit()->selectAll();
        QTest::keyClick(form->windowHandle(), Qt::Key_Backspace);
        for (const char* k = t.typed; *k; ++k)
            QTest::keyClick(form->windowHandle(), *k);
        EXPECT_EQ(form->BaudRateCB->currentIndex(), t.index);
        EXPECT_EQ(form->BaudRateCB->currentText(), t.typed);
    }
}

TEST_F(Window, Lamps)
{
    form->LedTimer->stop();
    for (int i = 0; i < 3; ++i)
        form->RxActivityEvent(nullptr);
    form->LedTimerTimer();
    EXPECT_EQ(form->RxLed->BrushColor(), QColor(Qt::red));
    EXPECT_EQ(form->TxLed->BrushColor(), QColor(Qt::green));
    form->LedTimerTimer();
    EXPECT_EQ(form->RxLed->BrushColor(), QColor(Qt::green)) << "red for exactly one tick";

    form->TxActivityEvent(nullptr);
    form->LedTimerTimer();
    EXPECT_EQ(form->TxLed->BrushColor(), QColor(Qt::red));
    EXPECT_EQ(form->RxLed->BrushColor(), QColor(Qt::green));

    // The link's debug texts go to the status line.
    form->DebugTextEvent(nullptr, "Port closed: gone");
    EXPECT_EQ(form->StatusTxt->Caption(), "Port closed: gone");
    // A file they name is shown as the file system names it.
    form->DebugTextEvent(nullptr, "Cannot read /tmp/Caf\xC3\xA9.hex: No such file or directory");
    EXPECT_EQ(form->StatusTxt->Caption(), QStringLiteral("Cannot read /tmp/Caf\u00E9.hex: No such file or directory"));
}

TEST_F(Window, LampsMoveDuringAConnection)
{
    bootCode.startInBootCode();
    int txRed = 0, rxRed = 0;
    QObject::connect(form->LedTimer, &QTimer::timeout, [&] {
        txRed += form->TxLed->BrushColor() == QColor(Qt::red);
        rxRed += form->RxLed->BrushColor() == QColor(Qt::red);
    });
    click(form->ConnectPCBtn);
    ASSERT_EQ(page(), form->TabSheet2);
    // The lamp timer ran inside the waits and showed both directions.
    EXPECT_GT(txRed, 0);
    EXPECT_GT(rxRed, 0);
}

TEST_F(Window, InformationPage)
{
    click(form->HelpBtn);
    EXPECT_EQ(page(), form->TabSheet4);
    EXPECT_EQ(form->PageControl2->count(), 5);
    EXPECT_EQ(form->PageControl3->count(), 3);
    // Without the information file beside the program, the page says so.
    EXPECT_TRUE(form->RichEdit1->toPlainText().contains("\"Information.rtf\" was not found"));
    EXPECT_TRUE(form->RichEdit1->isReadOnly());
    click(form->HelpOkBtn);
    EXPECT_EQ(page(), form->TabSheet1);

    QFile rtf(dir.filePath("Information.rtf"));
    ASSERT_TRUE(rtf.open(QIODevice::WriteOnly));
    rtf.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\b Wiring\\b0\\par Use the \\'93RS232\\'94 cable.\\par}");
    rtf.close();
    TMainForm withFile;
    EXPECT_EQ(withFile.RichEdit1->toPlainText(), QString::fromUtf8("Wiring\nUse the \u201CRS232\u201D cable.\n"));
    EXPECT_TRUE(withFile.RichEdit1->document()->firstBlock().charFormat().fontWeight() == QFont::Bold ||
                withFile.RichEdit1->document()->firstBlock().begin().fragment().charFormat().fontWeight() ==
                    QFont::Bold);
}

TEST_F(Window, WiringPicturesOpenTheirFiles)
{
    QStringList opened;
    Shell::setHook([&](const QString& target) { opened << target; });
    struct Case {
        TImage* image;
        int tab;       // of PageControl2
        int wiringTab; // of PageControl3, or -1
        const char* file;
    };
    const Case cases[] = {
        {form->Image2, 2, -1, "RS232.jpg"},        {form->Image1, 3, -1, "RS422_HD.jpg"},
        {form->Image4, 4, -1, "RS485_HD.jpg"},     {form->Image3, 1, 0, "Wiring Table.jpg"},
        {form->Image5, 1, 1, "Wiring Table.jpg"},  {form->Image6, 1, 2, "Wiring Table.jpg"},
    };
    click(form->HelpBtn);
    for (const bool present : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.file) + (present ? " present" : " absent"));
            const QString path = dir.filePath(c.file);
            if (present) {
                QFile f(path);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            }
            opened.clear();
            form->StatusTxt->SetCaption(QString());
            form->PageControl2->setCurrentIndex(c.tab);
            if (c.wiringTab >= 0)
                form->PageControl3->setCurrentIndex(c.wiringTab);
            QTest::qWait(10);
            EXPECT_FALSE(c.image->Picture().isNull()) << "the window holds its own picture";
            QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                               c.image->mapTo(form.get(), c.image->rect().center()));
            if (present) {
                EXPECT_EQ(opened, QStringList({path}));
                EXPECT_EQ(form->StatusTxt->Caption(), "");
            } else {
                EXPECT_TRUE(opened.isEmpty());
                EXPECT_TRUE(form->StatusTxt->Caption().contains(QString("\"%1\" was not found").arg(c.file)))
                    << form->StatusTxt->Caption().toStdString();
            }
        }
    }
    Shell::setHook(nullptr);
}

TEST_F(Window, AboutBox)
{
    {
        TAboutBox about(form.get());
        EXPECT_EQ(about.windowTitle(), "About");
        EXPECT_EQ(about.ProductName->text(), "Corvane KT Sensor CommsMode Utility");
        EXPECT_EQ(about.Version->text(), "Version 1.0");
        EXPECT_TRUE(about.ProductName->font().bold());
    }

    // From the menu: shown modally, deleted afterwards.
    bool met = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        met = qobject_cast<TAboutBox*>(modal) != nullptr;
        modal->done(mrOk);
    });
    timer.start(5);
    form->About1->trigger();
    EXPECT_TRUE(met);
    EXPECT_TRUE(form->findChildren<TAboutBox*>().isEmpty());
}

TEST_F(Window, SecondInstanceIsRefused)
{
    const TSingleInstance running("PortModeTool");
    ASSERT_FALSE(running.AlreadyRunning());
    const int before = static_cast<int>(QApplication::topLevelWidgets().size());
    EXPECT_EQ(WinMain(), 0);
    EXPECT_EQ(shown, QStringList({"Application is already running"}));
    EXPECT_EQ(static_cast<int>(QApplication::topLevelWidgets().size()), before);
}

TEST_F(Window, ProgramStartsItsWindowAndEnds)
{
    form.reset();
    bool checked = false;
    QTimer::singleShot(0, [&] {
        TMainForm* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TMainForm*>(w); f && f->isVisible())
                window = f;
        ASSERT_NE(window, nullptr);
        checked = true;
        EXPECT_EQ(QApplication::applicationName(), "Corvane KT Sensor CommsMode Utility");
        EXPECT_EQ(window->windowTitle(), "Corvane KT Sensor CommsMode Utility Version 1.0");
        EXPECT_TRUE(TSingleInstance("PortModeTool").AlreadyRunning());
        window->Exit1->trigger();
    });
    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(TSingleInstance("PortModeTool").AlreadyRunning());
}

TEST_F(Window, ProgramFileRuns)
{
    // The program itself holds its lock while it runs, beside its own
    // information file.
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(PORTMODE_EXE, {});
    ASSERT_TRUE(program.waitForStarted(5000));
    QLockFile lock(TSingleInstance::LockFilePath("PortModeTool"));
    qint64 pid = 0;
    QString host, app;
    EXPECT_TRUE(pumpUntil([&] { return lock.getLockInfo(&pid, &host, &app) && pid == program.processId(); }, 20000));
    program.kill();
    program.waitForFinished(5000);
    EXPECT_TRUE(QFile::exists(QFileInfo(PORTMODE_EXE).absolutePath() + "/Information.rtf"));
}

TEST(PromptValue, ReadsWhatFollowsTheEqualsSign)
{
    struct Case {
        std::string received;
        std::string value;
    };
    const Case cases[] = {
        {"\r\nCurrent selection = 4\r\nNew selection (1-5): ", "4"},
        {"Current modbus address = 23\r", "23"},
        {"Current selection = 4", "4"},                // no carriage return: to the end
        {"Current selection =\t 12 \x01\r\n", "12"},   // blanks and control characters go
        {"Current selection = x\r\n a = 5\r\n", "x"},  // the first "=" counts
        {"no equals sign\r\n", ""},
        {"Current selection =\r\n", ""},
        {std::string("Current selection = 3\0\r", 23), "3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PromptValue(c.received), c.value) << c.received;
}

TEST(RtfReader, ShowsTheTextAndItsLook)
{
    struct Case {
        const char* rtf;
        const char* text;
    };
    const Case cases[] = {
        {"{\\rtf1 Hello\\par World}", "Hello\u2029World"},
        {"{\\rtf1{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;}\\f0 Text}", "Text"},
        {"{\\rtf1{\\*\\generator Writer;}{\\info{\\title T}}Body}", "Body"},
        {"{\\rtf1 a\\tab b\\line c}", "a\tb\u2028c"},
        {"{\\rtf1 caf\\'e9 \\'80 \\{x\\} \\\\}", "caf\u00e9 \u20ac {x} \\"},
        {"{\\rtf1\\uc1 \\u8364?5 and \\u-3850?}", "\u20ac5 and \uf0f6"},
        {"{\\rtf1 \\bullet\\~\\ldblquote q\\rdblquote\\emdash}", "\u2022\u00a0\u201cq\u201d\u2014"},
        {"{\\rtf1 line\r\nbreaks\r\nin the source}", "linebreaksin the source"},
        {"plain text, not RTF", "plain text, not RTF"},
        {"{\\rtf1 unclosed {\\b group", "unclosed group"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rtf);
        QTextDocument doc;
        LoadRtf(QByteArray(c.rtf), &doc);
        // Paragraphs end with U+2029 in the raw text.
        EXPECT_EQ(doc.toRawText(), QString::fromUtf8(c.text));
    }

    QTextDocument doc;
    LoadRtf("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}\\pard\\qc\\b\\fs32 Title\\par\\pard\\b0\\fs20 plain "
            "\\i italic\\i0  \\cf1 red\\cf0  \\ul under\\ulnone\\par}",
            &doc);
    const QTextBlock title = doc.firstBlock();
    EXPECT_EQ(title.text(), "Title");
    EXPECT_EQ(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(title.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(title.begin().fragment().charFormat().fontPointSize(), 16.0);
    const QTextBlock body = title.next();
    EXPECT_EQ(body.text(), "plain italic red under");
    QStringList looks;
    for (auto it = body.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        looks << it.fragment().text() + (f.fontWeight() == QFont::Bold ? "+b" : "") + (f.fontItalic() ? "+i" : "") +
                     (f.fontUnderline() ? "+u" : "") + (f.foreground().color() == QColor(200, 0, 0) ? "+red" : "");
    }
    EXPECT_EQ(looks, QStringList({"plain ", "italic+i", " ", "red+red", " ", "under+u"}));
    EXPECT_NE(body.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter) << "\\pard resets";
}
