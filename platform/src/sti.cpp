// The still-image interface: StiCreateInstance of "sti.dll", launch information from the program's
// command line, and device values from the devices' registry keys (see win/sti.h).
#include <atomic>
#include <optional>
#include <string>

#include "internal.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/shell.h"
#include "win/sti.h"

// An identity of the layer's own.
const IID IID_IStillImageW = {0x4D465053, 0x5449, 0x4D47, {0x53, 0x54, 0x49, 0x4C, 0x4C, 0x49, 0x4D, 0x47}};

namespace {

// The text after "/StiDevice:" or "/StiEvent:" among the program's arguments, if one is there.
std::optional<std::u16string> launchArgument(std::u16string_view switchName) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return std::nullopt;
    std::optional<std::u16string> found;
    const int length = static_cast<int>(switchName.size());
    const std::u16string wanted(switchName);
    for (int i = 1; i < count && !found; ++i)
        if (StrCmpNIW(args[i], wanted.c_str(), length) == 0) found = std::u16string(args[i] + length);
    LocalFree(args);
    return found;
}

class StillImage final : public IStillImageW {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IStillImageW) {
            AddRef();
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetDeviceValue(LPWSTR deviceName, LPWSTR valueName, LPDWORD type, LPBYTE data, LPDWORD size) override {
        if (!deviceName || !valueName || !type || !size || (!data && *size)) return E_POINTER;
        const std::u16string name(deviceName);
        if (name.empty() || name.find(u"..") != std::u16string::npos)
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        const std::u16string keyPath = std::u16string(STI_DEVICE_CLASS_KEY) + u"\\" + name + u"\\DeviceData";
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        const LSTATUS status = RegQueryValueExW(key, valueName, nullptr, type, data, size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
    }

    HRESULT GetSTILaunchInformation(LPWSTR deviceName, LPDWORD eventCode, LPWSTR eventName) override {
        if (!deviceName || !eventCode || !eventName) return E_POINTER;
        const auto device = launchArgument(u"/StiDevice:");
        const auto event = launchArgument(u"/StiEvent:");
        if (!device || device->empty()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        const std::u16string eventText = event.value_or(u"");
        if (device->size() >= STI_MAX_INTERNAL_NAME_LENGTH || eventText.size() >= STI_MAX_INTERNAL_NAME_LENGTH)
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        platform::detail::copyOut(*device, deviceName, STI_MAX_INTERNAL_NAME_LENGTH);
        platform::detail::copyOut(eventText, eventName, STI_MAX_INTERNAL_NAME_LENGTH);
        *eventCode = 0;
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace

HRESULT WINAPI StiCreateInstance(HINSTANCE, DWORD version, IStillImageW** object, IUnknown* outer) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if ((version & ~static_cast<DWORD>(STI_VERSION_FLAG_UNICODE)) != STI_VERSION_REAL) return E_INVALIDARG;
    if (platform::detail::takeFault("StiCreateInstance")) return E_FAIL;
    *object = new StillImage;
    return S_OK;
}
