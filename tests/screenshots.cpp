// Takes the screenshots in docs/: the start-up window listing two stand-in
// sensors' ports, the about box, and the set-up dialog's schedule pages. Run by scripts/screenshots.sh under a
// virtual X server.
//
//   brindlecot-screenshots OUTPUT_FOLDER
#include "ABOUT.h"
#include "Brindlecot.h"
#include "ComCtrls.h"
#include "ComPorts.h"
#include "Forms.h"
#include "HvSensor_Quarn.h"
#include "IniFiles.h"
#include "SensorSetupUnit.h"
#include "Standin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>
#include <QTreeWidgetItem>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>

static void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

static bool save(QWidget* window, const QString& path)
{
    settle();
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The set-up dialog on the stand-in's images: a schedule's logging
// settings, a trigger start, and the schedule overview.
static bool saveSchedulePages(const QString& out)
{
    TSensor_Quarn device(nullptr);
    const standin::SensorImages images = standin::defaultImages();
    device.ConfData = images.conf;
    device.CalData = images.cal;
    device.Status.MemoryCapacity = 2097152;
    device.Status.MemoryUsed = 524288;
    TSensorSetupForm form(nullptr, &device.ConfData, &device.CalData, &device.Status, &device);
    form.show();
    const auto select = [&form](QTreeWidgetItem* node) {
        form.Treeview->setCurrentItem(node);
        settle();
    };
    select(form.SchedulesNode->child(0));
    bool ok = save(&form, out + "/setup-schedule.png");
    select(form.SchedulesNode->child(1));
    form.SchedulePageControl->setCurrentWidget(form.StartMethodTab);
    ok = save(&form, out + "/setup-trigger.png") && ok;
    select(form.SchedulesNode);
    ok = save(&form, out + "/setup-schedule-overview.png") && ok;
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    // A private home, so the user's port map and settings stay untouched.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.filePath("config")), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);
    TApplication app(argc, argv);
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();

    standin::Standin first, second;
    const QString map = ComPorts::mapFolder();
    QDir().mkpath(map);
    QFile::link(QString::fromStdString(first.slavePath()), map + "/com3");
    QFile::link(QString::fromStdString(second.slavePath()), map + "/com9");
    setExeName(home.filePath("BrindlecotProject"));
    TIniFile(TStartUpForm::IniFileName()).WriteString("Defaults", "Comport", "COM9");

    TStartUpForm form;
    form.show();
    bool ok = save(&form, out + "/startup-window.png");
    TAboutBox about(&form);
    about.show();
    ok = save(&about, out + "/about-box.png") && ok;
    ok = saveSchedulePages(out) && ok;
    return ok ? 0 : 1;
}
