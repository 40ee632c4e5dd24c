#include "SingleInstance.h"

#include <QDir>

QString TSingleInstance::LockFilePath(const QString& programFileName)
{
    return QDir::tempPath() + QLatin1Char('/') + programFileName + QStringLiteral(".lock");
}

TSingleInstance::TSingleInstance(const QString& programFileName) : lock_(LockFilePath(programFileName))
{
    // The program runs for days: a lock must never go stale by age, only by
    // its process having gone.
    lock_.setStaleLockTime(0);
    alreadyRunning_ = !lock_.tryLock(0) && lock_.error() == QLockFile::LockFailedError;
}
