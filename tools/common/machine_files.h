// Files put onto a simulated machine by the tools that install programs there, through the host path
// of a Windows path (folders made on the way).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/control.h"

namespace tools {

// Copies a host file to the Windows path; false when it cannot.
inline bool copyOnto(std::u16string_view windowsPath, const std::filesystem::path& host) {
    const auto target = platform::hostPath(windowsPath);
    std::error_code ec;
    if (!target) return false;
    std::filesystem::create_directories(target->parent_path(), ec);
    return std::filesystem::copy_file(host, *target, std::filesystem::copy_options::overwrite_existing, ec);
}

// Writes the bytes to the Windows path; false when it cannot.
inline bool writeOnto(std::u16string_view windowsPath, const std::string& bytes) {
    const auto target = platform::hostPath(windowsPath);
    if (!target) return false;
    std::error_code ec;
    std::filesystem::create_directories(target->parent_path(), ec);
    std::ofstream out(*target, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace tools
