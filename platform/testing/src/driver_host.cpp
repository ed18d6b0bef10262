#include "platform/testing/driver_host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/control.h"

namespace platform::testing {

namespace {
using EnableDriver = BOOL (*)(ULONG, ULONG, DRVENABLEDATA*);
using DisableDriver = void (*)();
using EnablePdev = DHPDEV (*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*, HDEV, LPWSTR,
                              HANDLE);
using CompletePdev = void (*)(DHPDEV, HDEV);
using ResetPdev = BOOL (*)(DHPDEV, DHPDEV);
using DisablePdev = void (*)(DHPDEV);
}  // namespace

DriverHost::DriverHost(const std::u16string& modulePath) {
    module_ = LoadLibraryW(modulePath.c_str());
    if (!module_)
        throw std::runtime_error("cannot load " + toUtf8(modulePath) + " (error " + std::to_string(GetLastError()) + ")");
}

DriverHost::~DriverHost() {
    disableDriver();
    if (module_) FreeLibrary(module_);
}

BOOL DriverHost::enableDriver(ULONG engineVersion, ULONG size) {
    auto enable = exported<EnableDriver>("DrvEnableDriver");
    if (!enable) return FALSE;
    data_ = DRVENABLEDATA{};
    BOOL ok = enable(engineVersion, size, &data_);
    enabled_ = enabled_ || ok;
    return ok;
}

PFN DriverHost::function(ULONG index) const {
    for (ULONG i = 0; i < data_.c && data_.pdrvfn; ++i)
        if (data_.pdrvfn[i].iFunc == index) return data_.pdrvfn[i].pfn;
    return nullptr;
}

void DriverHost::disableDriver() {
    if (!enabled_) return;
    enabled_ = false;
    if (auto disable = fn<DisableDriver>(INDEX_DrvDisableDriver)) disable();
}

std::optional<DriverHost::Device> DriverHost::enablePdev(DEVMODEW* devmode, HANDLE printer, ULONG gdiInfoSize,
                                                         ULONG devInfoSize, ULONG patternCount) {
    auto enable = fn<EnablePdev>(INDEX_DrvEnablePDEV);
    if (!enable) return std::nullopt;
    Device device;
    // Exactly the sizes given, so that a write past them shows under the address sanitizer.
    std::vector<unsigned char>& gdi = device.gdiBytes;
    std::vector<unsigned char>& dev = device.devBytes;
    gdi.assign(std::max<size_t>(gdiInfoSize, 1), 0xCC);
    dev.assign(std::max<size_t>(devInfoSize, 1), 0xCC);
    device.patterns.assign(patternCount, reinterpret_cast<HSURF>(static_cast<uintptr_t>(0xCCCC)));
    WCHAR deviceName[] = u"Printer";
    device.pdev = enable(devmode, nullptr, patternCount, device.patterns.data(), gdiInfoSize,
                         reinterpret_cast<ULONG*>(gdi.data()), devInfoSize, reinterpret_cast<DEVINFO*>(dev.data()),
                         reinterpret_cast<HDEV>(static_cast<uintptr_t>(0xDE00)), deviceName, printer);
    if (!device.pdev) return std::nullopt;
    std::memcpy(&device.gdi, gdi.data(), std::min<size_t>(gdi.size(), sizeof(GDIINFO)));
    std::memcpy(&device.dev, dev.data(), std::min<size_t>(dev.size(), sizeof(DEVINFO)));
    return device;
}

void DriverHost::completePdev(DHPDEV pdev, HDEV hdev) {
    if (auto complete = fn<CompletePdev>(INDEX_DrvCompletePDEV)) complete(pdev, hdev);
}

BOOL DriverHost::resetPdev(DHPDEV oldPdev, DHPDEV newPdev) {
    auto reset = fn<ResetPdev>(INDEX_DrvResetPDEV);
    return reset ? reset(oldPdev, newPdev) : FALSE;
}

void DriverHost::disablePdev(DHPDEV pdev) {
    if (auto disable = fn<DisablePdev>(INDEX_DrvDisablePDEV)) disable(pdev);
}

PrinterHandle::PrinterHandle(const std::u16string& name) {
    std::u16string copy = name;
    if (!OpenPrinterW(copy.data(), &handle_, nullptr))
        throw std::runtime_error("no printer " + toUtf8(name));
}

PrinterHandle::~PrinterHandle() {
    if (handle_) ClosePrinter(handle_);
}

}  // namespace platform::testing
