// File handles on the machine's drives, temporary files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <system_error>

#include "devices/device_files.h"
#include "internal.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace fs = std::filesystem;
using platform::detail::KernelObject;

namespace {

struct FileObject : KernelObject {
    int fd = -1;
    fs::path host;
    DWORD access = 0;
    DWORD share = 0;
    bool deleteOnClose = false;
    ~FileObject() override {
        if (fd >= 0) ::close(fd);
        if (deleteOnClose) {
            std::error_code ec;
            fs::remove(host, ec);
        }
    }
};

// Open files of this process by host path, for the share-mode check of DeleteFile.
struct OpenFiles {
    std::mutex mutex;
    std::vector<std::weak_ptr<FileObject>> files;
};
OpenFiles& openFiles() {
    static OpenFiles* files = new OpenFiles;
    return *files;
}

bool heldWithoutDeleteShare(const fs::path& host) {
    auto& open = openFiles();
    std::lock_guard lock(open.mutex);
    std::error_code ec;
    for (auto it = open.files.begin(); it != open.files.end();) {
        auto file = it->lock();
        if (!file) {
            it = open.files.erase(it);
            continue;
        }
        if (!(file->share & FILE_SHARE_DELETE) && fs::equivalent(file->host, host, ec)) return true;
        ++it;
    }
    return false;
}

DWORD errnoToError(int err) {
    switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_ACCESS_DENIED;
    }
}

std::shared_ptr<FileObject> fileOf(HANDLE handle) {
    auto file = platform::detail::handleAs<FileObject>(handle);
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

UINT makeTempFileName(const std::u16string& path, const std::u16string& prefix, UINT unique, std::u16string& out) {
    std::u16string folder = path;
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder += u'\\';
    std::u16string head = prefix.substr(0, 3);
    auto nameFor = [&](UINT number) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", number & 0xFFFF);
        return folder + head + platform::fromUtf8(hex) + u".TMP";
    };
    if (auto fault = platform::detail::takeFault("GetTempFileName")) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return 0;
    }
    auto dir = platform::detail::resolvePath(folder.empty() ? u"." : folder);
    std::error_code ec;
    if (dir.error != ERROR_SUCCESS || !fs::is_directory(dir.host, ec)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    if (nameFor(0).size() >= MAX_PATH) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    if (unique != 0) {
        out = nameFor(unique);
        return unique & 0xFFFF;
    }
    static std::atomic<UINT> counter{static_cast<UINT>(GetTickCount())};
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        UINT number = (counter++ & 0xFFFF);
        if (number == 0) continue;
        std::u16string candidate = nameFor(number);
        auto resolved = platform::detail::resolvePath(candidate);
        if (resolved.error != ERROR_SUCCESS) break;
        int fd = ::open(resolved.host.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            out = candidate;
            return number;
        }
        if (errno != EEXIST) {
            SetLastError(errnoToError(errno));
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

// One read or write on a device handle, behind the same fault switches as a file's: a struck call
// moves at most its partial count, then fails unless the fault lets it succeed.
BOOL deviceTransfer(platform::detail::DeviceFile& device, bool reading, void* buffer, DWORD size, LPDWORD moved) {
    if (!(device.access & (reading ? (GENERIC_READ | GENERIC_ALL) : (GENERIC_WRITE | GENERIC_ALL)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD limit = size;
    std::optional<platform::Fault> fault = platform::detail::takeFault(reading ? "ReadFile" : "WriteFile", {}, size);
    if (fault) limit = fault->partial > 0 ? static_cast<DWORD>(std::min<int64_t>(fault->partial, size)) : 0;
    DWORD done = 0, error = ERROR_SUCCESS;
    bool ok = true;
    if (!fault || limit > 0)
        ok = reading ? device.read(buffer, limit, done, error) : device.write(buffer, limit, done, error);
    if (moved) *moved = done;
    if (ok && fault && !fault->succeed) {
        ok = false;
        error = fault->error ? fault->error : (reading ? ERROR_READ_FAULT : ERROR_WRITE_FAULT);
    }
    SetLastError(ok ? ERROR_SUCCESS : error);
    return ok ? TRUE : FALSE;
}

}  // namespace

int platform::detail::fileDescriptorOf(HANDLE handle, DWORD* access) {
    auto file = fileOf(handle);
    if (!file) return -1;
    if (access) *access = file->access;
    return file->fd;
}

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string text(name);
    if (auto fault = platform::detail::takeFault("CreateFile", platform::toUtf8(text))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Device names never reach the drives.
    if (auto opened = platform::detail::openDeviceName(text, access, share, flags); opened.owned) {
        if (!opened.device) {
            SetLastError(opened.error ? opened.error : ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return platform::detail::insertHandle(opened.device);
    }
    auto resolved = platform::detail::resolvePath(text);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return INVALID_HANDLE_VALUE;
    }
    std::error_code ec;
    if (!fs::is_directory(resolved.host.parent_path(), ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (fs::is_directory(resolved.host, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool existed = fs::exists(resolved.host, ec);
    int mode = (access & (GENERIC_WRITE | GENERIC_ALL)) ? ((access & (GENERIC_READ | GENERIC_ALL)) ? O_RDWR : O_WRONLY)
                                                        : O_RDONLY;
    int oflags = O_CLOEXEC;
    switch (disposition) {
    case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: oflags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
        if (mode == O_RDONLY) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        oflags |= O_TRUNC;
        break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    if ((oflags & O_TRUNC) && mode == O_RDONLY) mode = O_RDWR;  // CREATE_ALWAYS with read access only
    int fd = ::open(resolved.host.c_str(), mode | oflags, 0644);
    if (fd < 0) {
        SetLastError(errno == ENOENT && !existed ? ERROR_FILE_NOT_FOUND : errnoToError(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->fd = fd;
    file->host = resolved.host;
    file->access = access;
    file->share = share;
    file->deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    {
        auto& open = openFiles();
        std::lock_guard lock(open.mutex);
        open.files.push_back(file);
    }
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                          : ERROR_SUCCESS);
    return platform::detail::insertHandle(file);
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                          DWORD flags, HANDLE templateFile) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string wide = platform::detail::ansiToWide(name);
    return CreateFileW(wide.c_str(), access, share, sa, disposition, flags, templateFile);
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    if (read) *read = 0;
    if (auto device = platform::detail::handleAs<platform::detail::DeviceFile>(handle))
        return deviceTransfer(*device, true, buffer, toRead, read);
    auto file = fileOf(handle);
    if (!file) return FALSE;
    if (!(file->access & (GENERIC_READ | GENERIC_ALL))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD limit = toRead;
    std::optional<platform::Fault> fault = platform::detail::takeFault("ReadFile", {}, toRead);
    if (fault) limit = fault->partial > 0 ? static_cast<DWORD>(std::min<int64_t>(fault->partial, toRead)) : 0;
    DWORD done = 0;
    while (done < limit) {
        ssize_t n = ::read(file->fd, static_cast<char*>(buffer) + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetLastError(ERROR_READ_FAULT);
            if (read) *read = done;
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    if (fault && !fault->succeed) {
        SetLastError(fault->error ? fault->error : ERROR_READ_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
    if (written) *written = 0;
    if (auto device = platform::detail::handleAs<platform::detail::DeviceFile>(handle))
        return deviceTransfer(*device, false, const_cast<void*>(buffer), toWrite, written);
    auto file = fileOf(handle);
    if (!file) return FALSE;
    if (!(file->access & (GENERIC_WRITE | GENERIC_ALL))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD limit = toWrite;
    std::optional<platform::Fault> fault = platform::detail::takeFault("WriteFile", {}, toWrite);
    if (fault) limit = fault->partial > 0 ? static_cast<DWORD>(std::min<int64_t>(fault->partial, toWrite)) : 0;
    DWORD done = 0;
    while (done < limit) {
        ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(n < 0 && errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    if (fault && !fault->succeed) {
        SetLastError(fault->error ? fault->error : ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    auto file = fileOf(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t offset = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) | static_cast<uint32_t>(distance)
                                  : static_cast<int64_t>(distance);
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t current = ::lseek(file->fd, 0, SEEK_CUR);
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? current : ::lseek(file->fd, 0, SEEK_END);
    if (base + offset < 0) {
        ::lseek(file->fd, current, SEEK_SET);
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = ::lseek(file->fd, base + offset, SEEK_SET);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(position >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position & 0xFFFFFFFF);
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    auto file = fileOf(handle);
    if (!file) return INVALID_FILE_SIZE;
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(st.st_size & 0xFFFFFFFF);
}

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
    auto file = fileOf(handle);
    if (!file) return FALSE;
    return ::fsync(file->fd) == 0 ? TRUE : FALSE;
}

namespace {

BOOL deleteFile(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("DeleteFile", platform::toUtf8(name))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto resolved = platform::detail::resolvePath(name);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(resolved.host, ec))) {
        SetLastError(fs::is_directory(resolved.host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (fs::is_directory(resolved.host, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (heldWithoutDeleteShare(resolved.host)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    // A read-only file stays, as do a running program's file and a file a running service holds.
    if (platform::detail::attributesOf(resolved.host) & FILE_ATTRIBUTE_READONLY) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (const DWORD inUse = platform::detail::fileInUse(resolved.host); inUse != ERROR_SUCCESS) {
        SetLastError(inUse);
        return FALSE;
    }
    if (::unlink(resolved.host.c_str()) != 0) {
        SetLastError(errnoToError(errno));
        return FALSE;
    }
    platform::detail::forgetAttributes(resolved.host);
    return TRUE;
}

}  // namespace

BOOL WINAPI DeleteFileW(LPCWSTR name) {
    const BOOL result = deleteFile(name);
    platform::detail::journalFileCall("DeleteFileW", name ? name : u"", result);
    return result;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return DeleteFileW(platform::detail::ansiToWide(name).c_str());
}

DWORD WINAPI GetFileAttributesW(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto resolved = platform::detail::resolvePath(name);
    std::error_code ec;
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto status = fs::status(resolved.host, ec);
    if (!fs::exists(status)) {
        SetLastError(fs::is_directory(resolved.host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return platform::detail::attributesOf(resolved.host);
}

namespace {

BOOL createDirectory(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto resolved = platform::detail::resolvePath(name);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return FALSE;
    }
    if (::mkdir(resolved.host.c_str(), 0755) != 0) {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : errno == ENOENT ? ERROR_PATH_NOT_FOUND : errnoToError(errno));
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
    const BOOL result = createDirectory(name);
    platform::detail::journalFileCall("CreateDirectoryW", name ? name : u"", result);
    return result;
}

BOOL WINAPI MoveFileW(LPCWSTR existing, LPCWSTR newName) {
    if (!existing || !newName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("MoveFile", platform::toUtf8(existing))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto from = platform::detail::resolvePath(existing);
    auto to = platform::detail::resolvePath(newName);
    if (from.error != ERROR_SUCCESS || to.error != ERROR_SUCCESS) {
        SetLastError(from.error != ERROR_SUCCESS ? from.error : to.error);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(from.host, ec))) {
        SetLastError(fs::is_directory(from.host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (fs::exists(fs::symlink_status(to.host, ec))) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!fs::is_directory(to.host.parent_path(), ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (heldWithoutDeleteShare(from.host)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::rename(from.host.c_str(), to.host.c_str()) == 0) return TRUE;
    if (errno != EXDEV || fs::is_directory(from.host, ec)) {
        SetLastError(errnoToError(errno));
        return FALSE;
    }
    // Another drive on another host file system: copy, then remove the original.
    fs::copy_file(from.host, to.host, ec);
    if (ec || !fs::remove(from.host, ec)) {
        std::error_code ignored;
        fs::remove(to.host, ignored);
        SetLastError(errnoToError(ec.value() ? ec.value() : EIO));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists) {
    if (!existing || !newName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("CopyFile", platform::toUtf8(existing))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto from = platform::detail::resolvePath(existing);
    auto to = platform::detail::resolvePath(newName);
    if (from.error != ERROR_SUCCESS || to.error != ERROR_SUCCESS) {
        SetLastError(from.error != ERROR_SUCCESS ? from.error : to.error);
        return FALSE;
    }
    std::error_code ec;
    const fs::file_status source = fs::status(from.host, ec);
    if (!fs::exists(source)) {
        SetLastError(fs::is_directory(from.host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (fs::is_directory(source)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const fs::file_status target = fs::status(to.host, ec);
    if (fs::exists(target)) {
        if (failIfExists) {
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        // A copy onto itself would truncate the only copy: the source is open for reading meanwhile.
        if (fs::equivalent(from.host, to.host, ec)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        if (fs::is_directory(target) || (target.permissions() & fs::perms::owner_write) == fs::perms::none) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    } else if (!fs::is_directory(to.host.parent_path(), ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // Bytes, read-only state and the time of the last write go along, as on Windows.
    if (!fs::copy_file(from.host, to.host, fs::copy_options::overwrite_existing, ec)) {
        OutputDebugStringA(("CopyFile: " + platform::toUtf8(existing) + " -> " + platform::toUtf8(newName) + ": " +
                            ec.message()).c_str());
        SetLastError(errnoToError(ec.value() ? ec.value() : EIO));
        return FALSE;
    }
    fs::last_write_time(to.host, fs::last_write_time(from.host, ec), ec);
    return TRUE;
}

namespace {

BOOL removeDirectory(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("RemoveDirectoryW", platform::toUtf8(name))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto resolved = platform::detail::resolvePath(name);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return FALSE;
    }
    std::error_code ec;
    // A folder link or junction goes as a link; its target stays.
    if (fs::is_symlink(fs::symlink_status(resolved.host, ec))) {
        if (!fs::is_directory(resolved.host, ec)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        if (::unlink(resolved.host.c_str()) != 0) {
            SetLastError(errnoToError(errno));
            return FALSE;
        }
        return TRUE;
    }
    if (fs::is_directory(resolved.host, ec) && (platform::detail::attributesOf(resolved.host) & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::rmdir(resolved.host.c_str()) != 0) {
        SetLastError(errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY
                     : errno == ENOTDIR                     ? ERROR_DIRECTORY
                                                            : errnoToError(errno));
        return FALSE;
    }
    platform::detail::forgetAttributes(resolved.host);
    return TRUE;
}

}  // namespace

BOOL WINAPI RemoveDirectoryW(LPCWSTR name) {
    const BOOL result = removeDirectory(name);
    platform::detail::journalFileCall("RemoveDirectoryW", name ? name : u"", result);
    return result;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    // Any kernel object of the handle table: files, mutexes and what else the kernel side adds. The
    // object goes when its last reference does (a wait in progress keeps it until it returns).
    auto found = platform::detail::findHandle(object);
    if (!found || !found->closedByCloseHandle() || !platform::detail::removeHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer) {
    WCHAR local[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    std::u16string path = std::u16string(local) + u"\\Temp\\";
    if (path.size() + 1 > size || !buffer) return static_cast<DWORD>(path.size() + 1);
    platform::detail::copyOut(path, buffer, size);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
    WCHAR wide[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, wide);
    if (n == 0 || n > MAX_PATH) return 0;
    std::string narrow = platform::detail::wideToAnsi(std::u16string_view(wide, n));
    if (narrow.size() + 1 > size || !buffer) return static_cast<DWORD>(narrow.size() + 1);
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return static_cast<DWORD>(narrow.size());
}

UINT WINAPI GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName) {
    if (!path || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string out;
    UINT number = makeTempFileName(path, prefix ? std::u16string(prefix) : std::u16string(), unique, out);
    if (number) platform::detail::copyOut(out, tempFileName, MAX_PATH);
    return number;
}

UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName) {
    if (!path || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string out;
    UINT number = makeTempFileName(platform::detail::ansiToWide(path), platform::detail::ansiToWide(prefix), unique, out);
    if (number) {
        std::string narrow = platform::detail::wideToAnsi(out);
        if (narrow.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::memcpy(tempFileName, narrow.c_str(), narrow.size() + 1);
    }
    return number;
}
