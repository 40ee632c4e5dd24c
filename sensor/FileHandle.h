// A stdio file that is closed on every way out of the code that opened it,
// an exception too. Code that must know whether the close succeeded (the
// last buffered bytes may fail to reach the disk) releases it and closes it
// itself.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

inline OwnedFile openFile(const std::string& name, const char* mode)
{
    return OwnedFile(std::fopen(name.c_str(), mode));
}

// The size in bytes of the file `name`, or -1 when it cannot be opened.
inline long fileSize(const std::string& name)
{
    const OwnedFile f = openFile(name, "rb");
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0)
        return -1;
    return std::ftell(f.get());
}
