#include "Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QUrl>

namespace {
Shell::Hook& hookRef()
{
    static Shell::Hook h;
    return h;
}
Shell::ProgramHook& programHookRef()
{
    static Shell::ProgramHook h;
    return h;
}
} // namespace

namespace Shell {
void setHook(Hook hook)
{
    hookRef() = std::move(hook);
}
void setProgramHook(ProgramHook hook)
{
    programHookRef() = std::move(hook);
}
} // namespace Shell

void ShellOpen(const QString& target)
{
    if (const auto& h = hookRef()) {
        h(target);
        return;
    }
    // A file name may hold '#', '?' or blanks at its ends: as a local path it
    // names exactly that file.
    const QUrl url = QDir::isAbsolutePath(target)
                         ? QUrl::fromLocalFile(target)
                         : QUrl::fromUserInput(target, QDir::currentPath(), QUrl::AssumeLocalFile);
    QDesktopServices::openUrl(url);
}

bool StartProgram(const QString& program, const QStringList& arguments, const QString& workingFolder)
{
    if (const auto& h = programHookRef())
        return h(program, arguments, workingFolder);
    return QProcess::startDetached(program, arguments, workingFolder);
}
