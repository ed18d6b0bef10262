// The folder of the running bench program, where the programs it runs are built beside it.
#pragma once

#include <unistd.h>

#include <filesystem>

namespace bench {

inline std::filesystem::path selfDir() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::filesystem::current_path();
    self[n] = 0;
    return std::filesystem::path(self).parent_path();
}

}  // namespace bench
