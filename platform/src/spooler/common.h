// What the spooler's areas (printers and jobs, drivers and monitors) share: its folder below the machine
// root, the file names it keeps records under, its small INI records and the packer of returned records.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../internal.h"
#include "platform/control.h"
#include "win/registry.h"
#include "win/services.h"
#include "win/spooler.h"

namespace platform::detail::spool {

namespace fs = std::filesystem;

// The 64-bit driver directory below the machine's system folder.
inline std::u16string driverDirectory() { return platform::detail::systemFolder() + u"\\spool\\drivers\\x64"; }

inline fs::path spoolerDir() { return platform::machineRoot() / "spooler"; }

// Printer and driver names become folder names: anything but letters and digits is %XX-escaped.
inline std::string encodeName(std::u16string_view name) {
    std::string utf8 = platform::toUtf8(platform::detail::foldCase(name));
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

inline std::map<std::string, std::string> readIni(const fs::path& file, bool* ok = nullptr) {
    std::map<std::string, std::string> values;
    std::istringstream lines(platform::detail::readHostFile(file, ok));
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

inline void writeIni(const fs::path& file, const std::map<std::string, std::string>& values) {
    std::string text;
    for (const auto& [key, value] : values) text += key + "=" + value + "\n";
    platform::detail::writeHostFile(file, text);
}

// The spooler's calls reach it through its service: none works while "Spooler" is not running
// (RPC_S_SERVER_UNAVAILABLE then, as the error of the call).
inline bool spoolerUnavailable() {
    auto spooler = platform::service(u"Spooler");
    if (spooler && spooler->state == SERVICE_RUNNING) return false;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return true;
}

// The registry keys the spooler keeps beside each printer and driver record, below HKLM; a backslash
// of a name (a connection's "\\server\name") becomes a comma, as a key name cannot hold one.
inline std::u16string keyName(std::u16string_view name) {
    std::u16string out(name);
    std::replace(out.begin(), out.end(), u'\\', u',');
    return out;
}
inline std::u16string printerKey(std::u16string_view printer) {
    return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + keyName(printer);
}
inline std::u16string driverKey(std::u16string_view environment, std::u16string_view driver) {
    return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" +
           keyName(environment.empty() ? u"Windows x64" : environment) + u"\\Drivers\\Version-3\\" +
           keyName(driver);
}
// Writes the key with string values (replacing those of the same names).
inline void writeKey(const std::u16string& path, const std::map<std::u16string, std::u16string>& values) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const auto& [name, value] : values)
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}
// Deletes a key of the spooler's with everything below it (a printer's "PrinterDriverData"), as the
// spooler does; RegDeleteKeyW alone refuses a key with subkeys.
inline void deleteKey(const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        std::vector<std::u16string> children;
        for (DWORD i = 0;; ++i) {
            WCHAR name[256] = {};
            if (RegEnumKeyW(key, i, name, 256) != ERROR_SUCCESS) break;
            children.emplace_back(name);
        }
        RegCloseKey(key);
        for (const std::u16string& child : children) deleteKey(path + u"\\" + child);
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
}

// A spooler call's result and error, journalled.
inline BOOL answer(const char* call, const std::u16string& arguments, BOOL result, DWORD error) {
    SetLastError(error);
    platform::detail::journalCall(call, arguments, result ? u"TRUE" : u"FALSE", error);
    return result;
}

// Bump allocator over the caller's buffer for records followed by their strings.
class Packer {
public:
    Packer(LPBYTE buffer, DWORD size, size_t fixed) : buffer_(buffer), size_(size), used_(fixed) {}
    LPWSTR string(const std::u16string& text) {
        used_ = (used_ + 1) & ~size_t(1);
        size_t bytes = (text.size() + 1) * sizeof(WCHAR);
        LPWSTR out = fits(bytes) ? reinterpret_cast<LPWSTR>(buffer_ + used_) : nullptr;
        if (out) platform::detail::copyOut(text, out, text.size() + 1);
        used_ += bytes;
        return out;
    }
    LPBYTE bytes(const std::string& data) {
        used_ = (used_ + 7) & ~size_t(7);
        LPBYTE out = fits(data.size()) ? buffer_ + used_ : nullptr;
        if (out) std::memcpy(out, data.data(), data.size());
        used_ += data.size();
        return out;
    }
    size_t used() const { return used_; }

private:
    bool fits(size_t bytes) const { return buffer_ && used_ + bytes <= size_; }
    LPBYTE buffer_;
    DWORD size_;
    size_t used_;
};

}  // namespace platform::detail::spool
