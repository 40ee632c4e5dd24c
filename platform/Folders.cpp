#include "Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

static QString q(const std::string& s)
{
    return PathText(s);
}

std::string Latin1ToPath(const std::string& text)
{
    QString name = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return name.toLocal8Bit().toStdString();
}

QString PathText(const std::string& path)
{
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
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
