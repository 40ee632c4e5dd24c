// Takes the screenshots in docs/: the start-up window listing two stand-in
// sensors' ports, the about box, and the set-up dialog's pages with the
// register map. Run by scripts/screenshots.sh under a virtual X server.
//
//   brindlecot-screenshots OUTPUT_FOLDER
#include "ABOUT.h"
#include "Brindlecot.h"
#include "ComPorts.h"
#include "Forms.h"
#include "ComCtrls.h"
#include "HvSensor_Quarn.h"
#include "ModbusRegistersForm.h"
#include "SensorSetupUnit.h"
#include "IniFiles.h"
#include "Standin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidgetItem>

#include <cstring>
#include <memory>

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

// The set-up dialog on the stand-in's images, with some channels in other
// units so that every family page has a channel to show it.
static bool setupDialogShots(const QString& out)
{
    namespace ch = standin::channels;
    TSensor_Quarn sensor(nullptr);
    standin::SensorImages images = standin::defaultImages();
    auto unit = [&](int c, uint8_t code, const char* text) {
        images.cal.Channels[c].UnitsCode = code;
        SetImageText(images.cal.Channels[c].UnitsText, text);
    };
    unit(ch::Cond, ucTdsMgL, "mg/l");
    SetImageText(images.cal.Channels[ch::Cond].Name, "TDS");
    unit(ch::Salinity, ucTssMgL, "mg/l");
    SetImageText(images.cal.Channels[ch::Salinity].Name, "TSS");
    unit(ch::OdoSat, ucDoPpm, "DO ppm");
    SetImageText(images.cal.Channels[ch::OdoSat].Name, "ODO ppm");
    images.cal.CompensationTable[images.cal.Channels[ch::Depth].CompensationNumbers[2]].Coeffs[1] = 0.8f;
    sensor.ConfData = images.conf;
    sensor.CalData = images.cal;
    sensor.Status.MemoryCapacity = 2097152;
    sensor.Status.MemoryUsed = 524288;
    std::memcpy(sensor.Status.FirmwareVersion, "2.31", 5);

    TSensorSetupForm form(nullptr, &sensor.ConfData, &sensor.CalData, &sensor.Status, &sensor);
    form.show();
    bool ok = save(&form, out + "/setup-sensor-info.png");
    const auto show = [&](QTreeWidgetItem* node, const char* file) {
        form.Treeview->setCurrentItem(node);
        return save(&form, out + "/" + file);
    };
    const auto channel = [&](const char* name) -> QTreeWidgetItem* {
        for (int i = 0; i < form.ChannelsNode->childCount(); ++i)
            if (form.ChannelsNode->child(i)->text(0) == QLatin1String(name))
                return form.ChannelsNode->child(i);
        return form.ChannelsNode;
    };
    const std::pair<const char*, const char*> channels[] = {
        {"Battery", "setup-channel-battery.png"},     {"Depth", "setup-channel-pressure.png"},
        {"Temperature", "setup-channel-plain.png"},   {"ODO mg/l", "setup-channel-do-mgl.png"},
        {"ODO ppm", "setup-channel-do-ppm.png"},      {"TDS", "setup-channel-tds.png"},
        {"TSS", "setup-channel-tss.png"},             {"Turbidity", "setup-channel-turbidity.png"},
    };
    for (const auto& [name, file] : channels)
        ok = show(channel(name), file) && ok;
    ok = show(form.ChannelsNode, "setup-monitor.png") && ok;
    ok = show(form.ModbusNode, "setup-modbus.png") && ok;

    TModbusRegistersForm1 registers(&form);
    registers.show();
    ok = save(&registers, out + "/modbus-register-map.png") && ok;
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
    about.hide();
    form.hide();
    ok = setupDialogShots(out) && ok;
    return ok ? 0 : 1;
}
