// Writing a seed corpus: one file per seed in the folder given on the command
// line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzseeds {

inline std::string folderFrom(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        std::exit(2);
    }
    return argv[1];
}

inline void save(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) ||
        std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

} // namespace fuzzseeds
