// Opening a document, folder or web link with the desktop's default
// application (xdg-open), and starting a program of our own. Tests set hooks and see the target, or the program
// with its arguments, instead of launching anything.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace Shell {
using Hook = std::function<void(const QString& target)>;
void setHook(Hook hook);

// Sees every StartProgram call; its result is StartProgram's.
using ProgramHook =
    std::function<bool(const QString& program, const QStringList& arguments, const QString& workingFolder)>;
void setProgramHook(ProgramHook hook);
} // namespace Shell

// `target` is a URL ("https://...", "mailto:...") or a file path; an
// absolute path is taken as it is (no part of it read as a URL). Returns at
// once; whether the desktop could open it is not reported.
void ShellOpen(const QString& target);

// Starts `program` (a path) with `arguments`, each handed over as one
// argument, never through a shell, in `workingFolder`, without waiting for
// it. False when it could not be started.
bool StartProgram(const QString& program, const QStringList& arguments, const QString& workingFolder);
