// The device namespaces behind CreateFileW, and DeviceIoControl.
#include "device_files.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "win/files.h"
#include "win/kernel.h"

namespace platform::detail {
namespace {

struct Namespaces {
    std::mutex mutex;
    std::vector<DeviceNamespace> spaces;
};
Namespaces& namespaces() {
    static Namespaces* all = new Namespaces;
    return *all;
}

std::atomic<size_t> g_liveDeviceFiles{0};

}  // namespace

DeviceFile::DeviceFile() { ++g_liveDeviceFiles; }
DeviceFile::~DeviceFile() { --g_liveDeviceFiles; }

bool DeviceFile::read(void*, DWORD, DWORD& done, DWORD& error) {
    done = 0;
    error = ERROR_INVALID_FUNCTION;
    return false;
}

bool DeviceFile::write(const void*, DWORD, DWORD& done, DWORD& error) {
    done = 0;
    error = ERROR_INVALID_FUNCTION;
    return false;
}

bool DeviceFile::control(DWORD, const void*, DWORD, void*, DWORD, DWORD& returned, DWORD& error) {
    returned = 0;
    error = ERROR_INVALID_FUNCTION;
    return false;
}

void addDeviceNamespace(DeviceNamespace space) {
    auto& all = namespaces();
    std::lock_guard lock(all.mutex);
    all.spaces.push_back(space);
}

DeviceOpen openDeviceName(const std::u16string& name, DWORD access, DWORD share, DWORD flags) {
    std::vector<DeviceNamespace> spaces;
    {
        auto& all = namespaces();
        std::lock_guard lock(all.mutex);
        spaces = all.spaces;
    }
    for (DeviceNamespace space : spaces) {
        DeviceOpen opened = space(name, access, share, flags);
        if (opened.owned) {
            if (opened.device) opened.device->access = access;
            return opened;
        }
    }
    return {};
}

}  // namespace platform::detail

size_t platform::liveDeviceFiles() { return platform::detail::g_liveDeviceFiles; }

BOOL WINAPI DeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                            LPDWORD returned, LPOVERLAPPED) {
    if (returned) *returned = 0;
    auto device = platform::detail::handleAs<platform::detail::DeviceFile>(handle);
    if (!device) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto fault = platform::detail::takeFault("DeviceIoControl")) {
        SetLastError(fault->error ? fault->error : ERROR_GEN_FAILURE);
        return FALSE;
    }
    DWORD count = 0, error = ERROR_SUCCESS;
    bool ok = device->control(code, in, inSize, out, outSize, count, error);
    if (returned) *returned = count;
    SetLastError(ok ? ERROR_SUCCESS : error);
    return ok ? TRUE : FALSE;
}
