#include "ComPorts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

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
