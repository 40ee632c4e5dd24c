// Takes the comms-mode utility's screenshots in docs/: the connect page, the
// baud-rate search, the settings page after a real connection to the
// stand-in sensor, the information and wiring pages, and the about box. Run
// by scripts/screenshots.sh under a virtual X server.
//
//   portmode-screenshots OUTPUT_FOLDER
#include "ABOUT.h"
#include "BootCode.h"
#include "ComPorts.h"
#include "Dialogs.h"
#include "Forms.h"
#include "IniFiles.h"
#include "MainFormUnit.h"
#include "PortModeControls.h"
#include "ScreenshotSupport.h"
#include "Standin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>

// Takes all the utility's shots into `out`; false when one could not be written.
static bool takeShots(QTemporaryDir& home, const QString& out)
{
    // The program's folder with its information file and pictures.
    const QString programDir = home.filePath("program");
    QDir().mkpath(programDir);
    for (const char* name : {"Information.rtf", "RS232.jpg", "RS422_HD.jpg", "RS485_HD.jpg", "Wiring Table.jpg"})
        QFile::copy(QStringLiteral(PORTMODE_DIR "/") + name, programDir + "/" + name);
    setExeName(programDir + "/PortModeTool");

    // A sensor already in its boot code, set to 9600 baud, RS422/485 with
    // Modbus RTU and address 23, on COM3.
    standin::Standin line, other;
    standin::BootCode sensor(line, standin::SerialOptions{4, 3, 23});
    sensor.startInBootCode();
    const QString map = ComPorts::mapFolder();
    QDir().mkpath(map);
    QFile::link(QString::fromStdString(line.slavePath()), map + "/com3");
    QFile::link(QString::fromStdString(other.slavePath()), map + "/com7");
    TIniFile(TMainForm::IniFileName()).WriteString("Defaults", "Comport", "Com3");

    TMainForm form;
    form.show();
    bool ok = save(&form, out + "/portmode-connect.png");

    form.PageControl1->setCurrentWidget(form.TabSheet3);
    form.ProgressLabel->SetCaption("Trying Com3 at 9600");
    form.ProgressBar1->setRange(0, 20);
    form.ProgressBar1->setValue(6);
    form.StatusTxt->SetCaption("9600");
    ok = save(&form, out + "/portmode-search.png") && ok;

    // The power-cycle connect's prompt is answered with OK; the sensor
    // answers at once from its boot code.
    Dialogs::setHook([](const ShownMessage&) { return int(mrOk); });
    form.StatusTxt->SetCaption(QString());
    form.ConnectPCBtnClick();
    Dialogs::setHook(nullptr);
    if (form.PageControl1->currentWidget() != form.TabSheet2)
        std::fprintf(stderr, "the connection to the stand-in failed\n");
    form.StatusTxt->SetCaption("Sensor connected, bootcode loaded");
    ok = save(&form, out + "/portmode-settings.png") && ok;

    form.StatusTxt->SetCaption(QString());
    form.HelpBtnClick();
    ok = save(&form, out + "/portmode-information.png") && ok;
    form.PageControl2->setCurrentIndex(1);
    ok = save(&form, out + "/portmode-wiring-table.png") && ok;
    form.PageControl2->setCurrentIndex(4);
    ok = save(&form, out + "/portmode-rs485.png") && ok;

    TAboutBox about(&form);
    about.show();
    ok = save(&about, out + "/portmode-about-box.png") && ok;
    return ok;
}

int main(int argc, char** argv)
{
    return runScreenshots(argc, argv, takeShots);
}
