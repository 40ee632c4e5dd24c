// One running copy per program file name, in place of a named system mutex:
// a lock file in the temporary folder named after the program file. A copy
// of the program under another file name runs beside the first; a lock left
// behind by a program that died is taken over.
#pragma once

#include <QLockFile>
#include <QString>

class TSingleInstance {
public:
    // `programFileName` is the program file's name without its folder.
    explicit TSingleInstance(const QString& programFileName);
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // True when a live process holds the lock. When the lock cannot be
    // created at all (no writable temporary folder) the program runs
    // unguarded rather than claiming another copy runs.
    bool AlreadyRunning() const { return alreadyRunning_; }

    static QString LockFilePath(const QString& programFileName);

private:
    QLockFile lock_;
    bool alreadyRunning_ = false;
};
