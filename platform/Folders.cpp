#include "Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

static QString q(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<int>(s.size()));
}

std::string Latin1ToPath(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<int>(text.size())).toLocal8Bit().toStdString();
}

std::string GetAppDataFolder()
{
    QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    // The folder is the user's to have; on a fresh account it does not exist
    // yet, and the programs create only their own folders inside it.
    if (!path.isEmpty())
        QDir().mkpath(path);
    return path.toLocal8Bit().toStdString();
}

bool DirectoryExists(const std::string& path)
{
    return QFileInfo(q(path)).isDir();
}

bool FileExists(const std::string& path)
{
    const QFileInfo info(q(path));
    return info.exists() && !info.isDir();
}

bool CreateDir(const std::string& path)
{
    return QDir().mkdir(q(path));
}

bool DeleteFile(const std::string& path)
{
    return QFile::remove(q(path));
}
