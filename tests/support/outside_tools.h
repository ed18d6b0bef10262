// Running the outside programs that check our files (tiffinfo, qpdf, pdftoppm, ...) from a test.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

// A picture that an outside decoder wrote as PNM: grey (1 channel) or red, green, blue (3).
struct Raster {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> samples;
};

// Reads a P5 or P6 picture of maximum value 255; an empty raster for anything else.
inline Raster readPnm(const std::string& bytes) {
    Raster r;
    std::istringstream in(bytes);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> r.width >> r.height >> maxval) || maxval != 255 || (magic != "P5" && magic != "P6")) return {};
    in.get();
    r.channels = magic == "P5" ? 1 : 3;
    r.samples.resize(static_cast<size_t>(r.width) * r.height * r.channels);
    if (!in.read(reinterpret_cast<char*>(r.samples.data()), static_cast<std::streamsize>(r.samples.size()))) return {};
    return r;
}

}  // namespace test_support
