// Settings files in the INI format (sections of key=value lines), kept by
// QSettings. A write goes to disk at once; when the file cannot be written it
// raises EIniFileException with the text "Unable to write to <file>". A file
// with lines that are no settings (a byte-order mark, garbage) is no error:
// the settings in it are read, and a write stores it back without those
// lines.
#pragma once

#include <QSettings>
#include <QString>

#include <stdexcept>

class EIniFileException : public std::runtime_error {
public:
    explicit EIniFileException(const std::string& msg) : std::runtime_error(msg) {}
};

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    QString FileName() const { return fileName_; }

    // The value of `ident` in `section`; `defaultValue` when the file, the
    // section or the key is missing.
    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& ident, const QString& value);

private:
    QString fileName_;
    mutable QSettings settings_;
};
