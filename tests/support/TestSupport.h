// Small helpers shared by the tests.
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include <sys/resource.h>

class QComboBox;
class QListWidget;

namespace testsupport {

// Makes COM `number` the device `devicePath` in the user's port map (which
// then holds only the ports mapped this way).
void mapComPort(int number, const std::string& devicePath);
// Removes the port map. Whether the built-in map then applies depends on
// whether the program has seen a map there; either way the test programs
// reach no device of the machine (their built-in devices are in an empty
// folder).
void clearComPortMap();

// Pumps events until `done` is true or `timeoutMs` passes; returns `done()`.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs);

// Seconds of CPU time this process has used so far.
double processCpuSeconds();

double secondsSince(std::chrono::steady_clock::time_point start);

// The texts of the items, in order.
QStringList items(const QComboBox* box);
QStringList items(const QListWidget* list);

// A pseudo-terminal whose slave side serves as a COM port device.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    std::string path_;
};

// While it lives, files this process writes can hold at most `bytes` bytes,
// as on a full disk (the signal for a write past the limit is ignored, so the
// write fails instead).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace testsupport
