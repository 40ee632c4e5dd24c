#include "IniFiles.h"

#include <QStringList>

static QString key(const QString& section, const QString& ident)
{
    return section + QLatin1Char('/') + ident;
}

// QSettings writes a new file beside the old one and renames it over it, so
// a full disk leaves the old file whole. (Writing in place, which would
// also serve a writable file in a read-only folder, cuts the file short on
// a full disk and reports no error.)
TIniFile::TIniFile(const QString& fileName) : fileName_(fileName), settings_(fileName, QSettings::IniFormat) {}

QString TIniFile::ReadString(const QString& section, const QString& ident, const QString& defaultValue) const
{
    const QVariant value = settings_.value(key(section, ident), defaultValue);
    // QSettings reads a value with commas as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    const QString k = key(section, ident);
    const QVariant previous = settings_.value(k);
    settings_.setValue(k, value);
    settings_.sync();
    if (settings_.status() == QSettings::NoError)
        return;
    // QSettings keeps unsaved changes in a cache that every later reader of
    // the same file shares; put the old value back so that nobody reads a
    // value that never reached the disk.
    if (previous.isValid())
        settings_.setValue(k, previous);
    else
        settings_.remove(k);
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(fileName_).toStdString());
}
