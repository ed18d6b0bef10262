// Handles opened on device names instead of files: a device interface's path ("\\?\usb#...") or a
// name of the "\\.\" namespace. CreateFileW offers every name to the device namespaces before it maps
// the name to a file on a drive; ReadFile, WriteFile and DeviceIoControl hand a device handle's
// transfers to the device.
#pragma once

#include <memory>
#include <string>

#include "../internal.h"

namespace platform::detail {

// An open device. Each call is one transfer (a packet, a control request); on failure it returns
// false with the Win32 error in `error`.
struct DeviceFile : KernelObject {
    DeviceFile();
    ~DeviceFile() override;
    DWORD access = 0;  // the rights CreateFileW was given
    virtual bool read(void* buffer, DWORD size, DWORD& done, DWORD& error);
    virtual bool write(const void* buffer, DWORD size, DWORD& done, DWORD& error);
    virtual bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD& returned,
                         DWORD& error);
};

// What a namespace answers for a name: not its own (`owned` false, the next namespace or the file
// layer takes it), opened (`device`), or its own but refused (`error`).
struct DeviceOpen {
    bool owned = false;
    std::shared_ptr<DeviceFile> device;
    DWORD error = ERROR_SUCCESS;
};
using DeviceNamespace = DeviceOpen (*)(const std::u16string& name, DWORD access, DWORD share, DWORD flags);

// Adds a namespace; each source that serves devices registers its own at load time.
void addDeviceNamespace(DeviceNamespace space);
struct DeviceNamespaceRegistration {
    explicit DeviceNamespaceRegistration(DeviceNamespace space) { addDeviceNamespace(space); }
};

// The first namespace that owns the name answers; `owned` false when none does.
DeviceOpen openDeviceName(const std::u16string& name, DWORD access, DWORD share, DWORD flags);

}  // namespace platform::detail
