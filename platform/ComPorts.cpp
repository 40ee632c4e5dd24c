#include "ComPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace ComPorts {

QString mapFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/comports");
}

QString deviceFromText(const QString& text)
{
    const QString path = text.trimmed();
    if (path.isEmpty())
        return QString();
    return QDir::cleanPath(QDir(QStringLiteral("/dev")).filePath(path));
}

// Guards the built-in device folder and the map folders seen.
static std::mutex stateLock;
static QString builtInFolder = QStringLiteral("/dev");

QString builtInDeviceFolder()
{
    const std::lock_guard<std::mutex> guard(stateLock);
    return builtInFolder;
}

void setBuiltInDeviceFolder(const QString& folder)
{
    const std::lock_guard<std::mutex> guard(stateLock);
    builtInFolder = folder;
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
    return deviceFromText(QString::fromLocal8Bit(file.readLine(4096)));
}

enum class MapKind { BuiltIn, Folder, Empty };

// Whether the map folder applies. Once the program has seen something at the
// folder's path, it keeps to the user's map for as long as it runs (an empty
// one while nothing usable is there), so that a map that vanishes or is
// replaced by a file never makes the program open the built-in devices.
static MapKind mapKind(const QString& folder)
{
    static QSet<QString> seen;
    const QFileInfo info(folder);
    const std::lock_guard<std::mutex> guard(stateLock);
    if (info.isDir()) {
        seen.insert(folder);
        return MapKind::Folder;
    }
    if (info.exists() || info.isSymLink()) {
        seen.insert(folder);
        return MapKind::Empty;
    }
    return seen.contains(folder) ? MapKind::Empty : MapKind::BuiltIn;
}

QString devicePath(int number)
{
    if (number < 1 || number > MaxPortNumber)
        return QString();
    const QString folder = mapFolder();
    switch (mapKind(folder)) {
    case MapKind::Folder:
        return mappedPath(folder, number);
    case MapKind::Empty:
        return QString();
    case MapKind::BuiltIn:
        break;
    }
    if (number <= 32)
        return builtInDeviceFolder() + QStringLiteral("/ttyS%1").arg(number - 1);
    if (number <= 64)
        return builtInDeviceFolder() + QStringLiteral("/ttyUSB%1").arg(number - 33);
    if (number <= 96)
        return builtInDeviceFolder() + QStringLiteral("/ttyACM%1").arg(number - 65);
    return QString();
}

// The lock file folders QSerialPort looks in, in its order; a serial program
// leaves "LCK.." followed by the device name (without "/dev/", '/' as '_')
// in one of them, holding its process ID on the first line.
static bool heldByLockFile(const QString& path)
{
    QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString folders[] = {
        QStringLiteral("/var/lock"),       QStringLiteral("/etc/locks"),         QStringLiteral("/var/spool/locks"),
        QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"),               QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation),
    };
    for (const QString& folder : folders) {
        QFile lock(folder + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
            return true;
    }
    return false;
}

bool canOpen(int number)
{
    const QString path = devicePath(number);
    if (path.isEmpty() || heldByLockFile(path))
        return false;
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool free = ::isatty(fd) == 1 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (free)
        ::flock(fd, LOCK_UN);
    ::close(fd);
    return free;
}

} // namespace ComPorts
