// Free space of the machine's drives, as the machine says (not the host's): "disks.ini" under the root
// holds a line "<letter>=<free bytes> <total bytes>" for every drive that a test or tool has set.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "internal.h"
#include "win/files.h"

namespace fs = std::filesystem;

namespace {

// The machine's clusters: 4 KiB of 8 sectors of 512 bytes.
constexpr DWORD kBytesPerSector = 512;
constexpr DWORD kSectorsPerCluster = 8;
constexpr uint64_t kClusterBytes = uint64_t{kBytesPerSector} * kSectorsPerCluster;

std::mutex& disksMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

fs::path disksFile() { return platform::machineRoot() / "disks.ini"; }

std::map<char, platform::DiskSpace> readDisks() {
    std::map<char, platform::DiskSpace> disks;
    std::ifstream in(disksFile());
    std::string line;
    while (std::getline(in, line)) {
        unsigned long long freeBytes = 0, totalBytes = 0;
        char letter = 0;
        if (std::sscanf(line.c_str(), "%c=%llu %llu", &letter, &freeBytes, &totalBytes) == 3 && letter >= 'a' &&
            letter <= 'z')
            disks[letter] = platform::DiskSpace{freeBytes, totalBytes};
    }
    return disks;
}

char driveKey(char16_t drive) {
    char16_t upper = platform::detail::foldCase(drive);
    return upper >= u'A' && upper <= u'Z' ? static_cast<char>(upper - u'A' + 'a') : 0;
}

// The drive of an existing folder (or file) on the machine: NULL means drive C, the only working
// directory. False with the error set otherwise.
bool driveOf(LPCWSTR path, char16_t& drive) {
    std::u16string text = path ? std::u16string(path) : std::u16string(u"C:\\");
    platform::detail::Resolved resolved = platform::detail::resolvePath(text);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return false;
    }
    std::error_code ec;
    if (!fs::exists(resolved.host, ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    drive = text.size() >= 2 && text[1] == u':' ? platform::detail::foldCase(text[0]) : u'C';
    return true;
}

}  // namespace

BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR directory, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* totalBytes,
                                ULARGE_INTEGER* totalFreeBytes) {
    if (auto fault = platform::detail::takeFault("GetDiskFreeSpaceExW")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_READY);
        return FALSE;
    }
    char16_t drive = 0;
    if (!driveOf(directory, drive)) return FALSE;
    const platform::DiskSpace space = platform::diskSpace(drive);
    if (freeToCaller) freeToCaller->QuadPart = space.freeBytes;
    if (totalBytes) totalBytes->QuadPart = space.totalBytes;
    if (totalFreeBytes) totalFreeBytes->QuadPart = space.freeBytes;
    return TRUE;
}

BOOL WINAPI GetDiskFreeSpaceW(LPCWSTR rootPath, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                              LPDWORD freeClusters, LPDWORD totalClusters) {
    if (auto fault = platform::detail::takeFault("GetDiskFreeSpaceW")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_READY);
        return FALSE;
    }
    char16_t drive = 0;
    if (!driveOf(rootPath, drive)) return FALSE;
    const platform::DiskSpace space = platform::diskSpace(drive);
    auto clusters = [](uint64_t bytes) { return static_cast<DWORD>(std::min<uint64_t>(bytes / kClusterBytes, 0xFFFFFFFFu)); };
    if (sectorsPerCluster) *sectorsPerCluster = kSectorsPerCluster;
    if (bytesPerSector) *bytesPerSector = kBytesPerSector;
    if (freeClusters) *freeClusters = clusters(space.freeBytes);
    if (totalClusters) *totalClusters = clusters(space.totalBytes);
    return TRUE;
}

namespace platform {

void setDiskSpace(char16_t drive, const DiskSpace& space) {
    const char key = driveKey(drive);
    if (!key) return;
    std::lock_guard lock(disksMutex());
    auto disks = readDisks();
    disks[key] = space;
    std::ostringstream text;
    for (const auto& [letter, entry] : disks)
        text << letter << '=' << entry.freeBytes << ' ' << entry.totalBytes << '\n';
    detail::writeHostFile(disksFile(), text.str());
}

DiskSpace diskSpace(char16_t drive) {
    std::lock_guard lock(disksMutex());
    auto disks = readDisks();
    auto it = disks.find(driveKey(drive));
    return it == disks.end() ? DiskSpace{} : it->second;
}

}  // namespace platform
