// Devices and surfaces of the graphics engine: engine bitmaps, device surfaces and their locks.
#include <cstring>
#include <map>
#include <new>

#include "../internal.h"
#include "objects.h"

namespace platform::engine {

namespace detail {

std::mutex& tableMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

BOOL invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace detail

namespace {

using detail::Surface;

struct Device {
    std::vector<DRVFN> functions;
    DHPDEV pdev = nullptr;
};

struct Tables {
    std::map<HDEV, Device> devices;
    std::map<HSURF, std::unique_ptr<Surface>> surfaces;
    std::map<const SURFOBJ*, Surface*> locked;  // every SURFOBJ handed out, deleted or not
    uintptr_t nextDevice = 0x44000;
    uintptr_t nextSurface = 0x55000;
    ULONG nextUniq = 1;
};
Tables& tables() {
    static Tables* state = new Tables;
    return *state;
}

DHPDEV pdevLocked(HDEV hdev) {
    auto& t = tables();
    auto it = t.devices.find(hdev);
    return it == t.devices.end() ? nullptr : it->second.pdev;
}

HSURF insertSurface(std::unique_ptr<Surface> surface) {
    auto& t = tables();
    HSURF handle = reinterpret_cast<HSURF>(t.nextSurface);
    t.nextSurface += 16;
    surface->so.hsurf = handle;
    surface->so.iUniq = t.nextUniq++;
    t.surfaces.emplace(handle, std::move(surface));
    return handle;
}

}  // namespace

namespace detail {

LONG bitsPerPixel(ULONG format) {
    switch (format) {
    case BMF_1BPP: return 1;
    case BMF_8BPP: return 8;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
    }
}

LONG alignedRowBytes(LONG width, ULONG format) {
    int64_t bits = int64_t(width) * bitsPerPixel(format);
    return static_cast<LONG>(((bits + 31) / 32) * 4);
}

Surface* findSurfaceLocked(HSURF handle) {
    auto& t = tables();
    auto it = t.surfaces.find(handle);
    return it == t.surfaces.end() ? nullptr : it->second.get();
}

HSURF createBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits, bool internal) {
    LONG bpp = bitsPerPixel(format);
    // Up to 64k pixels a side and 2 GB of bits: anything beyond is a caller's mistake.
    if (bpp == 0 || size.cx <= 0 || size.cy <= 0 || size.cx > 65536 || size.cy > 65536) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int64_t minimal = (int64_t(size.cx) * bpp + 7) / 8;
    int64_t stride = width < 0 ? -int64_t(width) : int64_t(width);
    if (!bits && stride < minimal) stride = alignedRowBytes(size.cx, format);
    if (stride < minimal || stride * size.cy > (int64_t(1) << 31)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto surface = std::make_unique<Surface>();
    size_t bytes = static_cast<size_t>(stride * size.cy);
    if (!bits) {
        surface->own.reset(new (std::nothrow) BYTE[bytes]);
        if (!surface->own) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        std::memset(surface->own.get(), 0, bytes);
        bits = surface->own.get();
    }
    SURFOBJ& so = surface->so;
    so.sizlBitmap = size;
    so.cjBits = static_cast<ULONG>(bytes);
    so.pvBits = bits;
    so.iBitmapFormat = format;
    so.iType = STYPE_BITMAP;
    if (flags & BMF_TOPDOWN) {
        so.fjBitmap = BMF_TOPDOWN;
        so.pvScan0 = bits;
        so.lDelta = static_cast<LONG>(stride);
    } else {
        so.pvScan0 = static_cast<BYTE*>(bits) + (size.cy - 1) * stride;
        so.lDelta = -static_cast<LONG>(stride);
    }
    surface->info.size = size;
    surface->info.format = format;
    surface->internal = internal;
    std::lock_guard lock(tableMutex());
    return insertSurface(std::move(surface));
}

}  // namespace detail

// ---- Devices ---------------------------------------------------------------------------------------

HDEV createDevice(const DRVENABLEDATA& driver) {
    Device device;
    if (driver.pdrvfn) device.functions.assign(driver.pdrvfn, driver.pdrvfn + driver.c);
    std::lock_guard lock(detail::tableMutex());
    auto& t = tables();
    HDEV hdev = reinterpret_cast<HDEV>(t.nextDevice);
    t.nextDevice += 16;
    t.devices.emplace(hdev, std::move(device));
    return hdev;
}

void deleteDevice(HDEV hdev) {
    std::lock_guard lock(detail::tableMutex());
    tables().devices.erase(hdev);
}

void setDevicePdev(HDEV hdev, DHPDEV pdev) {
    std::lock_guard lock(detail::tableMutex());
    auto& t = tables();
    auto it = t.devices.find(hdev);
    if (it == t.devices.end()) return;
    it->second.pdev = pdev;
    for (auto& [handle, surface] : t.surfaces)
        if (surface->info.hdev == hdev) surface->so.dhpdev = pdev;
}

DHPDEV devicePdev(HDEV hdev) {
    std::lock_guard lock(detail::tableMutex());
    return pdevLocked(hdev);
}

PFN driverFunction(HDEV hdev, ULONG index) {
    std::lock_guard lock(detail::tableMutex());
    auto& t = tables();
    auto it = t.devices.find(hdev);
    if (it == t.devices.end()) return nullptr;
    for (const DRVFN& fn : it->second.functions)
        if (fn.iFunc == index) return fn.pfn;
    return nullptr;
}

// ---- Surfaces --------------------------------------------------------------------------------------

std::optional<SurfaceInfo> surfaceInfo(HSURF surface) {
    std::lock_guard lock(detail::tableMutex());
    Surface* s = detail::findSurfaceLocked(surface);
    if (!s) return std::nullopt;
    return s->info;
}

size_t liveSurfaceCount() {
    std::lock_guard lock(detail::tableMutex());
    size_t count = 0;
    for (auto& [handle, surface] : tables().surfaces)
        if (!surface->internal) ++count;
    return count;
}

SURFOBJ* lockForDriver(HSURF surface) { return EngLockSurface(surface); }

}  // namespace platform::engine

using platform::engine::detail::Surface;
using platform::engine::detail::tableMutex;

// An engine bitmap over the caller's bits or zeroed bits of its own (1, 8, 24, 32 bits a pixel);
// fault switch "EngCreateBitmap". Leaves out 4 and 16 bits a pixel and compressed formats.
HBITMAP APIENTRY EngCreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits) {
    if (auto fault = platform::detail::takeFault("EngCreateBitmap")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(platform::engine::detail::createBitmap(size, width, format, flags, bits, false));
}

// A surface without bits that the driver draws itself (STYPE_DEVICE); fault switch
// "EngCreateDeviceSurface".
HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL size, ULONG format) {
    if (auto fault = platform::detail::takeFault("EngCreateDeviceSurface")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (size.cx <= 0 || size.cy <= 0 || platform::engine::detail::bitsPerPixel(format) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto surface = std::make_unique<Surface>();
    surface->so.dhsurf = dhsurf;
    surface->so.sizlBitmap = size;
    surface->so.iBitmapFormat = format;
    surface->so.iType = STYPE_DEVICE;
    surface->info.device = true;
    surface->info.dhsurf = dhsurf;
    surface->info.size = size;
    surface->info.format = format;
    std::lock_guard lock(tableMutex());
    return platform::engine::insertSurface(std::move(surface));
}

// Ties a surface to a device and records the drawing calls the driver hooks on it.
BOOL APIENTRY EngAssociateSurface(HSURF surface, HDEV hdev, FLONG hooks) {
    std::lock_guard lock(tableMutex());
    Surface* s = platform::engine::detail::findSurfaceLocked(surface);
    if (!s || !hdev) return platform::engine::detail::invalid();
    s->info.hdev = hdev;
    s->info.hooks = hooks;
    s->so.hdev = hdev;
    s->so.dhpdev = platform::engine::pdevLocked(hdev);
    return TRUE;
}

// Marks a device surface as drawn in bands (the engine then plays DrvStartBanding/DrvNextBand).
BOOL APIENTRY EngMarkBandingSurface(HSURF surface) {
    std::lock_guard lock(tableMutex());
    Surface* s = platform::engine::detail::findSurfaceLocked(surface);
    if (!s) return platform::engine::detail::invalid();
    s->info.banding = true;
    return TRUE;
}

// The surface's SURFOBJ (the same one for every lock of a surface), with its device filled in.
SURFOBJ* APIENTRY EngLockSurface(HSURF surface) {
    std::lock_guard lock(tableMutex());
    Surface* s = platform::engine::detail::findSurfaceLocked(surface);
    if (!s) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    s->so.hdev = s->info.hdev;
    s->so.dhpdev = platform::engine::pdevLocked(s->info.hdev);
    ++s->locks;
    platform::engine::tables().locked[&s->so] = s;
    return &s->so;
}

// Ends one lock; a surface deleted while locked goes with its last unlock.
void APIENTRY EngUnlockSurface(SURFOBJ* surface) {
    std::lock_guard lock(tableMutex());
    auto& t = platform::engine::tables();
    auto it = t.locked.find(surface);
    if (it == t.locked.end()) return;
    Surface* s = it->second;
    if (--s->locks > 0) return;
    t.locked.erase(it);
    if (s->deleted) delete s;
}

// Deletes an engine bitmap or device surface (the caller's bits stay the caller's).
BOOL APIENTRY EngDeleteSurface(HSURF surface) {
    std::lock_guard lock(tableMutex());
    auto& t = platform::engine::tables();
    auto it = t.surfaces.find(surface);
    if (it == t.surfaces.end()) return platform::engine::detail::invalid();
    Surface* s = it->second.release();
    t.surfaces.erase(it);
    if (s->locks > 0)
        s->deleted = true;
    else
        delete s;
    return TRUE;
}
