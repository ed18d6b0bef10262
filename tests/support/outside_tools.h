// Running the outside programs that check our files (tiffinfo, qpdf, pdftoppm, ...) from a test.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <utility>

namespace test_support {

// Runs a shell command: its exit status (-1 when it did not exit normally) and standard output.
inline std::pair<int, std::string> shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, output};
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// A path as one shell word (the tests' paths hold no single quote).
inline std::string quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace test_support
