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
    // QSettings reports a line it cannot parse (a byte-order mark, garbage)
    // as the status of the next write, and keeps only the first status of an
    // object: a write that worked would look failed, and one that failed
    // behind it would go unseen. So the whole file is parsed through the
    // reading object first, and the write goes through an object of its own
    // (both share the parsed file), whose status then tells only how the
    // write went. The file is written back without the lines it could not
    // parse.
    settings_.allKeys();
    QSettings writer(fileName_, QSettings::IniFormat);
    const QVariant previous = writer.value(k);
    writer.setValue(k, value);
    writer.sync();
    if (writer.status() == QSettings::NoError)
        return;
    // QSettings keeps unsaved changes in a cache that every later reader of
    // the same file shares; put the old value back so that nobody reads a
    // value that never reached the disk.
    if (previous.isValid())
        writer.setValue(k, previous);
    else
        writer.remove(k);
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(fileName_).toStdString());
}
