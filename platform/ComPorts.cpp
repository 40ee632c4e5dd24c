#include "ComPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace ComPorts {

QString mapFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/comports");
}

static QString mappedPath(const QString& folder, int number)
{
    const QString entry = folder + QStringLiteral("/com") + QString::number(number);
    const QFileInfo info(entry);
    if (info.isSymLink())
        return info.symLinkTarget();
    if (!info.isFile())
        return QString();
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    // A device path is short; a larger file is not a map entry.
    const QByteArray line = file.readLine(4096).trimmed();
    return QString::fromLocal8Bit(line);
}

QString devicePath(int number)
{
    if (number < 1 || number > MaxPortNumber)
        return QString();
    const QString folder = mapFolder();
    if (QFileInfo(folder).isDir())
        return mappedPath(folder, number);
    if (number <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(number - 1);
    if (number <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(number - 33);
    if (number <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(number - 65);
    return QString();
}

} // namespace ComPorts
