// What the tests of both programs' port lists share besides the test
// support library's pseudo-terminals and item lists: the port the settings
// file remembers.
#pragma once

#include "IniFiles.h"

#include <QString>

// The port the settings file at `iniPath` remembers, or "<none>".
inline QString savedPortIn(const QString& iniPath)
{
    return TIniFile(iniPath).ReadString("Defaults", "Comport", "<none>");
}
