// What the tests of both programs' port lists share: pseudo-terminals that
// serve as COM port devices, the list's item names, and the port the
// settings file remembers.
#pragma once

#include "IniFiles.h"

#include <QComboBox>
#include <QString>
#include <QStringList>

#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A pseudo-terminal whose slave side serves as a COM port device.
class Pty {
public:
    Pty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            char name[64];
            if (ptsname_r(master_, name, sizeof name) == 0)
                path_ = name;
        }
    }
    ~Pty()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

inline QStringList items(const QComboBox* box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

// The port the settings file at `iniPath` remembers, or "<none>".
inline QString savedPortIn(const QString& iniPath)
{
    return TIniFile(iniPath).ReadString("Defaults", "Comport", "<none>");
}
