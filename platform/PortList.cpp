#include "PortList.h"

#include "ComPorts.h"
#include "Forms.h"
#include "IniFiles.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {
const QString SettingsSection = QStringLiteral("Defaults");
const QString PortKey = QStringLiteral("Comport");
} // namespace

namespace PortList {

QString settingsFile()
{
    return ChangeFileExt(ExeName(), QStringLiteral(".ini"));
}

QString readSaved()
{
    const TIniFile ini(settingsFile());
    return ini.ReadString(SettingsSection, PortKey, QString());
}

void writeSaved(const QString& port)
{
    TIniFile ini(settingsFile());
    ini.WriteString(SettingsSection, PortKey, port);
}

void prepare(QComboBox* box)
{
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
}

void fill(QComboBox* box, const QString& nameFormat)
{
    const QSignalBlocker quiet(box);
    box->clear();
    for (int n = 0; n <= ComPorts::MaxPortNumber; ++n) {
        if (!ComPorts::canOpen(n))
            continue;
        box->addItem(nameFormat.arg(n));
        box->setItemData(box->count() - 1, ComPorts::devicePath(n), Qt::ToolTipRole);
    }
}

void choose(QComboBox* box, const QString& saved)
{
    const QSignalBlocker quiet(box);
    if (box->count() > 0) {
        const int index = saved.isEmpty() ? -1 : box->findText(saved, Qt::MatchFixedString);
        box->setCurrentIndex(index >= 0 ? index : 0);
    }
}

QString selected(const QComboBox* box)
{
    const int index = box->currentIndex();
    return index >= 0 ? box->itemText(index) : QString();
}

void keepTyped(QComboBox* box, const QString& text)
{
    const int cursor = box->lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(-1);
    }
    box->lineEdit()->setText(text);
    box->lineEdit()->setCursorPosition(cursor);
}

} // namespace PortList
