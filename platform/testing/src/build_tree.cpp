#include "platform/testing/build_tree.h"

#include <unistd.h>

namespace platform::testing {

std::filesystem::path builtModule(const char* file) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return file;
    self[n] = 0;
    return std::filesystem::path(self).parent_path().parent_path() / "lib" / file;
}

}  // namespace platform::testing
