// Opening a document, folder or web link with the desktop's default
// application (xdg-open), in place of the Windows shell's "open". Tests set
// a hook and see the target instead of launching anything.
#pragma once

#include <QString>

#include <functional>

namespace Shell {
using Hook = std::function<void(const QString& target)>;
void setHook(Hook hook);
} // namespace Shell

// `target` is a URL ("https://...", "mailto:...") or a file path. Returns at
// once; whether the desktop could open it is not reported.
void ShellOpen(const QString& target);
