#include "Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace {
Shell::Hook& hookRef()
{
    static Shell::Hook h;
    return h;
}
} // namespace

namespace Shell {
void setHook(Hook hook)
{
    hookRef() = std::move(hook);
}
} // namespace Shell

void ShellOpen(const QString& target)
{
    if (const auto& h = hookRef()) {
        h(target);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(target, QDir::currentPath(), QUrl::AssumeLocalFile));
}
