// Reading the files the tools are given: scripts, the pictures they name and resource libraries.
// Only regular files are read, and only up to a size, so that a device or a pipe named by mistake
// ("/dev/zero", a FIFO) is an error rather than a hang or an exhausted memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace rescomp {

inline constexpr size_t kMaxScriptBytes = size_t{16} << 20;    // a script is text: 16 MiB is far more than any
inline constexpr size_t kMaxPictureBytes = size_t{64} << 20;   // a 4096 x 4096 picture of 32 bits a pixel
inline constexpr size_t kMaxLibraryBytes = size_t{256} << 20;  // four such pictures and every text

struct FileBytes {
    std::optional<std::string> bytes;  // set when the file was read whole
    std::string error;                 // else why not: "is not a regular file", "is larger than 16 MiB", ...
};

// The whole content of a regular file of at most `limit` bytes.
FileBytes readRegularFile(const std::filesystem::path& path, size_t limit);

}  // namespace rescomp
