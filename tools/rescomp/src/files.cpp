// Reading regular files of bounded size.
#include "rescomp/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rescomp {

namespace {

std::string sizeText(size_t bytes) {
    if (bytes % (size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

FileBytes readRegularFile(const std::filesystem::path& path, size_t limit) {
    FileBytes result;
    // Not blocking: opening a FIFO with no writer would otherwise wait for one.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) {
        result.error = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return result;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        result.error = std::string("cannot be examined (") + std::strerror(errno) + ")";
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = S_ISDIR(info.st_mode) ? "is a folder, not a file" : "is not a regular file";
        return result;
    }
    if (static_cast<uintmax_t>(info.st_size) > limit) {
        result.error = "is larger than " + sizeText(limit);
        return result;
    }
    // Read until the end, never past the limit (the file may grow while it is read).
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() > limit) {
                result.error = "is larger than " + sizeText(limit);
                return result;
            }
            bytes.resize(std::min(limit + 1, bytes.size() + 65536));
        }
        ssize_t n = ::read(file.fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = std::string("cannot be read (") + std::strerror(errno) + ")";
            return result;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    result.bytes = std::move(bytes);
    return result;
}

}  // namespace rescomp
