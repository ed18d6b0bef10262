// Plays the graphics engine towards a printer graphics driver: loads the module by its Windows name
// and drives the enable, complete, reset and disable calls as the engine makes them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/kernel.h"
#include "win/winddi.h"

namespace platform::testing {

class DriverHost {
public:
    // Loads the module (LoadLibraryW, which also runs its DllEntryPoint).
    explicit DriverHost(const std::u16string& modulePath);
    ~DriverHost();
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    HMODULE module() const { return module_; }
    template <class F>
    F exported(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

    // DrvEnableDriver with the given engine version and DRVENABLEDATA size.
    BOOL enableDriver(ULONG engineVersion = DDI_DRIVER_VERSION_NT5, ULONG size = sizeof(DRVENABLEDATA));
    const DRVENABLEDATA& enableData() const { return data_; }
    // The driver's function for a DDI index, or null when its table has none.
    PFN function(ULONG index) const;
    template <class F>
    F fn(ULONG index) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(function(index)));
    }
    void disableDriver();

    struct Device {
        DHPDEV pdev = nullptr;
        GDIINFO gdi{};
        DEVINFO dev{};
        std::vector<HSURF> patterns;
        std::vector<unsigned char> gdiBytes, devBytes;  // the buffers as the driver left them
    };
    // DrvEnablePDEV; the engine's buffers are filled with 0xCC first so unwritten bytes show, and the
    // records above hold what fits of them (the rest zero).
    std::optional<Device> enablePdev(DEVMODEW* devmode, HANDLE printer, ULONG gdiInfoSize = sizeof(GDIINFO),
                                     ULONG devInfoSize = sizeof(DEVINFO), ULONG patternCount = 6);
    void completePdev(DHPDEV pdev, HDEV hdev);
    BOOL resetPdev(DHPDEV oldPdev, DHPDEV newPdev);
    void disablePdev(DHPDEV pdev);

private:
    HMODULE module_ = nullptr;
    bool enabled_ = false;
    DRVENABLEDATA data_{};
};

// A printer handle opened with OpenPrinterW, closed when it goes.
class PrinterHandle {
public:
    explicit PrinterHandle(const std::u16string& name);
    ~PrinterHandle();
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace platform::testing
