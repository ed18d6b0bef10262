// Device contexts: printer information contexts made through the printer's driver, memory DCs,
// capabilities, saved states, the world transform and the mapping modes.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "../internal.h"
#include "objects.h"
#include "platform/control.h"
#include "platform/engine.h"
#include "win/kernel.h"

namespace platform::gdi {

DeviceCaps screenCaps() {
    DeviceCaps caps;
    caps.technology = DT_RASDISPLAY;
    caps.horzRes = 1920;
    caps.vertRes = 1080;
    caps.horzSize = 508;  // 1920 pixels at 96 dpi
    caps.vertSize = 286;
    caps.bitsPixel = 32;
    caps.planes = 1;
    caps.logPixelsX = caps.logPixelsY = 96;
    caps.numColors = -1;
    caps.rasterCaps = RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    caps.colorRes = 24;
    return caps;
}

std::shared_ptr<Dc> findDc(HDC dc) { return findAs<Dc>(reinterpret_cast<HGDIOBJ>(dc)); }

std::optional<Affine> Affine::inverse() const {
    double det = a * d - b * c;
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    Affine r;
    r.a = d / det;
    r.b = -b / det;
    r.c = -c / det;
    r.d = a / det;
    r.e = -(r.a * e + r.c * f);
    r.f = -(r.b * e + r.d * f);
    return r;
}

namespace {

// Page-to-device scales of the mapping mode.
void pageScale(const Dc& dc, double& sx, double& sy) {
    const DcState& s = dc.state;
    double mm = 0;
    switch (s.mapMode) {
    case MM_LOMETRIC: mm = 0.1; break;
    case MM_HIMETRIC: mm = 0.01; break;
    case MM_LOENGLISH: mm = 0.254; break;
    case MM_HIENGLISH: mm = 0.0254; break;
    case MM_TWIPS: mm = 25.4 / 1440; break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
        sx = static_cast<double>(s.viewportExt.cx) / s.windowExt.cx;
        sy = static_cast<double>(s.viewportExt.cy) / s.windowExt.cy;
        if (s.mapMode == MM_ISOTROPIC) {
            double m = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        return;
    default:
        sx = sy = 1;
        return;
    }
    double pxPerMmX = dc.caps.horzSize > 0 ? static_cast<double>(dc.caps.horzRes) / dc.caps.horzSize
                                           : dc.caps.logPixelsX / 25.4;
    double pxPerMmY = dc.caps.vertSize > 0 ? static_cast<double>(dc.caps.vertRes) / dc.caps.vertSize
                                           : dc.caps.logPixelsY / 25.4;
    sx = pxPerMmX * mm;
    sy = -pxPerMmY * mm;
}

XFORM multiply(const XFORM& first, const XFORM& then) {
    XFORM r;
    r.eM11 = first.eM11 * then.eM11 + first.eM12 * then.eM21;
    r.eM12 = first.eM11 * then.eM12 + first.eM12 * then.eM22;
    r.eM21 = first.eM21 * then.eM11 + first.eM22 * then.eM21;
    r.eM22 = first.eM21 * then.eM12 + first.eM22 * then.eM22;
    r.eDx = first.eDx * then.eM11 + first.eDy * then.eM21 + then.eDx;
    r.eDy = first.eDx * then.eM12 + first.eDy * then.eM22 + then.eDy;
    return r;
}

bool invertible(const XFORM& x) {
    double det = static_cast<double>(x.eM11) * x.eM22 - static_cast<double>(x.eM12) * x.eM21;
    return det != 0 && std::isfinite(det) && std::isfinite(x.eDx) && std::isfinite(x.eDy);
}

bool isIdentity(const XFORM& x) {
    return x.eM11 == 1 && x.eM12 == 0 && x.eM21 == 0 && x.eM22 == 1 && x.eDx == 0 && x.eDy == 0;
}

LONG roundToLong(double v) {
    if (!(v == v)) return 0;
    double r = std::floor(v + 0.5);
    return static_cast<LONG>(std::clamp(r, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

BOOL mapPoints(HDC dcHandle, LPPOINT points, int count, bool toDevice) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (count < 0 || (count > 0 && !points)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Affine map = logicalToDevice(*dc);
    if (!toDevice) {
        auto inverse = map.inverse();
        if (!inverse) return FALSE;
        map = *inverse;
    }
    for (int i = 0; i < count; ++i) {
        double x = points[i].x, y = points[i].y;
        points[i].x = roundToLong(map.mapX(x, y));
        points[i].y = roundToLong(map.mapY(x, y));
    }
    return TRUE;
}

void selectDefaults(Dc& dc) {
    dc.state.fontHandle = stock(SYSTEM_FONT);
    dc.state.font = findAs<Font>(dc.state.fontHandle);
    dc.state.brushHandle = stock(WHITE_BRUSH);
    dc.state.brush = findAs<Brush>(dc.state.brushHandle);
}

HDC insertDc(std::shared_ptr<Dc> dc) {
    HDC handle = reinterpret_cast<HDC>(insert(dc));
    dc->handle = handle;
    return handle;
}

DeviceCaps capsFromGdiInfo(const GDIINFO& gdi) {
    DeviceCaps caps;
    caps.technology = static_cast<int>(gdi.ulTechnology);
    caps.horzRes = static_cast<int>(gdi.ulHorzRes);
    caps.vertRes = static_cast<int>(gdi.ulVertRes);
    caps.logPixelsX = static_cast<int>(gdi.ulLogPixelsX);
    caps.logPixelsY = static_cast<int>(gdi.ulLogPixelsY);
    // Sizes in millimetres; a negative value gives micrometres, zero asks GDI to work it out.
    auto size = [](ULONG value, int res, int dpi) {
        LONG v = static_cast<LONG>(value);
        if (v > 0) return static_cast<int>(v);
        if (v < 0) return static_cast<int>(std::lround(-static_cast<double>(v) / 1000));
        return dpi > 0 ? static_cast<int>(std::lround(res * 25.4 / dpi)) : 0;
    };
    caps.horzSize = size(gdi.ulHorzSize, caps.horzRes, caps.logPixelsX);
    caps.vertSize = size(gdi.ulVertSize, caps.vertRes, caps.logPixelsY);
    caps.bitsPixel = static_cast<int>(gdi.cBitsPixel);
    caps.planes = static_cast<int>(gdi.cPlanes);
    caps.physicalWidth = gdi.szlPhysSize.cx;
    caps.physicalHeight = gdi.szlPhysSize.cy;
    caps.physicalOffsetX = gdi.ptlPhysOffset.x;
    caps.physicalOffsetY = gdi.ptlPhysOffset.y;
    caps.numColors = static_cast<int>(gdi.ulNumColors);
    caps.rasterCaps = static_cast<int>(gdi.flRaster);
    caps.textCaps = static_cast<int>(gdi.flTextCaps);
    caps.aspectX = static_cast<int>(gdi.ulAspectX);
    caps.aspectY = static_cast<int>(gdi.ulAspectY);
    caps.aspectXY = static_cast<int>(gdi.ulAspectXY);
    caps.colorRes = caps.bitsPixel * caps.planes;
    caps.driverVersion = static_cast<int>(gdi.ulVersion);
    return caps;
}

using EnableDriver = BOOL (*)(ULONG, ULONG, DRVENABLEDATA*);
using EnablePdev = DHPDEV (*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*, HDEV, LPWSTR,
                              HANDLE);
using CompletePdev = void (*)(DHPDEV, HDEV);
using DisablePdev = void (*)(DHPDEV);
using DisableDriver = void (*)();

PFN ddiFunction(const DRVENABLEDATA& data, ULONG index) {
    for (ULONG i = 0; i < data.c && data.pdrvfn; ++i)
        if (data.pdrvfn[i].iFunc == index) return data.pdrvfn[i].pfn;
    return nullptr;
}
template <class F>
F ddi(const DRVENABLEDATA& data, ULONG index) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(ddiFunction(data, index)));
}

// A DEVMODE as the caller gave it (public part and the driver's bytes), or nothing when it is unusable.
std::optional<std::vector<BYTE>> copyDevmode(const DEVMODEW* devmode) {
    if (!devmode) return std::vector<BYTE>{};
    size_t size = devmode->dmSize;
    if (size < offsetof(DEVMODEW, dmFields) + sizeof(DWORD) || size > 4096)
        return std::nullopt;
    size_t total = size + devmode->dmDriverExtra;
    std::vector<BYTE> bytes(std::max(total, sizeof(DEVMODEW)), 0);
    std::memcpy(bytes.data(), devmode, total);
    return bytes;
}

// Asks the printer's driver for its GDIINFO as the system does when it makes a DC for a printer.
HDC createPrinterDc(LPCWSTR device, const DEVMODEW* devmode) {
    auto fail = [](DWORD error) -> HDC {
        SetLastError(error);
        return nullptr;
    };
    std::u16string name(device);
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name.data(), &printer, nullptr)) return nullptr;
    struct Closer {
        HANDLE printer;
        ~Closer() { ClosePrinter(printer); }
    } closer{printer};

    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W)) return fail(GetLastError() ? GetLastError() : ERROR_INVALID_DATA);
    std::vector<BYTE> infoBytes(needed);
    if (!GetPrinterW(printer, 2, infoBytes.data(), needed, &needed)) return nullptr;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(infoBytes.data());
    if (!info->pDriverName) return fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    auto modulePath = platform::driverModulePath(info->pDriverName);
    if (!modulePath) return fail(ERROR_UNKNOWN_PRINTER_DRIVER);

    auto devmodeBytes = copyDevmode(devmode ? devmode : info->pDevMode);
    if (!devmodeBytes) return fail(ERROR_INVALID_PARAMETER);

    HMODULE module = LoadLibraryW(modulePath->c_str());
    if (!module) return nullptr;
    struct Unloader {
        HMODULE module;
        ~Unloader() { FreeLibrary(module); }
    } unloader{module};
    auto enableDriver =
        reinterpret_cast<EnableDriver>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvEnableDriver")));
    if (!enableDriver) return fail(ERROR_PROC_NOT_FOUND);
    DRVENABLEDATA data{};
    SetLastError(ERROR_SUCCESS);
    if (!enableDriver(DDI_DRIVER_VERSION_NT5, sizeof data, &data))
        return fail(GetLastError() ? GetLastError() : ERROR_UNKNOWN_PRINTER_DRIVER);
    auto disableDriver = ddi<DisableDriver>(data, INDEX_DrvDisableDriver);
    struct DriverDisabler {
        DisableDriver disable;
        ~DriverDisabler() {
            if (disable) disable();
        }
    } driverDisabler{disableDriver};

    auto enablePdev = ddi<EnablePdev>(data, INDEX_DrvEnablePDEV);
    auto disablePdev = ddi<DisablePdev>(data, INDEX_DrvDisablePDEV);
    if (!enablePdev || !disablePdev) return fail(ERROR_PROC_NOT_FOUND);

    HDEV hdev = platform::engine::createDevice(data);
    HSURF patterns[HS_DDI_MAX] = {};
    GDIINFO gdi{};
    DEVINFO devInfo{};
    DEVMODEW* dm = devmodeBytes->empty() ? nullptr : reinterpret_cast<DEVMODEW*>(devmodeBytes->data());
    SetLastError(ERROR_SUCCESS);
    DHPDEV pdev = enablePdev(dm, nullptr, HS_DDI_MAX, patterns, sizeof gdi, reinterpret_cast<ULONG*>(&gdi),
                             sizeof devInfo, &devInfo, hdev, name.data(), printer);
    if (!pdev) {
        DWORD error = GetLastError();
        platform::engine::deleteDevice(hdev);
        return fail(error ? error : ERROR_INVALID_PARAMETER);
    }
    platform::engine::setDevicePdev(hdev, pdev);
    if (auto complete = ddi<CompletePdev>(data, INDEX_DrvCompletePDEV)) complete(pdev, hdev);
    disablePdev(pdev);
    platform::engine::deleteDevice(hdev);

    auto dc = std::make_shared<Dc>();
    dc->kind = Dc::Kind::printer;
    dc->gdiInfo = gdi;
    dc->caps = capsFromGdiInfo(gdi);
    dc->devmode = std::move(*devmodeBytes);
    std::lock_guard guard(lock());
    selectDefaults(*dc);
    return insertDc(dc);
}

}  // namespace

Affine logicalToDevice(const Dc& dc) {
    const DcState& s = dc.state;
    Affine world;
    if (s.graphicsMode == GM_ADVANCED) {
        world.a = s.world.eM11;
        world.b = s.world.eM12;
        world.c = s.world.eM21;
        world.d = s.world.eM22;
        world.e = s.world.eDx;
        world.f = s.world.eDy;
    }
    double sx = 1, sy = 1;
    pageScale(dc, sx, sy);
    // device = (page - windowOrg) * scale + viewportOrg
    Affine r;
    r.a = world.a * sx;
    r.b = world.b * sy;
    r.c = world.c * sx;
    r.d = world.d * sy;
    r.e = (world.e - s.windowOrg.x) * sx + s.viewportOrg.x;
    r.f = (world.f - s.windowOrg.y) * sy + s.viewportOrg.y;
    return r;
}

const Surface* drawingSurface(const Dc& dc) {
    if (dc.kind != Dc::Kind::memory || !dc.state.bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &dc.state.bitmap->surface;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HDC WINAPI CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR, const DEVMODEW* devmode) {
    if (auto fault = platform::detail::takeFault("CreateDCW")) {
        SetLastError(fault->error ? fault->error : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (driver && lstrcmpiW(driver, u"DISPLAY") == 0) {
        auto dc = std::make_shared<Dc>();
        dc->kind = Dc::Kind::display;
        dc->caps = screenCaps();
        std::lock_guard guard(lock());
        selectDefaults(*dc);
        return insertDc(dc);
    }
    if ((driver && lstrcmpiW(driver, u"WINSPOOL") != 0) || !device || !*device) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return createPrinterDc(device, devmode);
}

HDC WINAPI CreateCompatibleDC(HDC other) {
    if (auto fault = platform::detail::takeFault("CreateCompatibleDC")) {
        SetLastError(fault->error ? fault->error : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard guard(lock());
    auto dc = std::make_shared<Dc>();
    dc->kind = Dc::Kind::memory;
    dc->caps = screenCaps();
    if (other) {
        auto source = findDc(other);
        if (!source) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        dc->caps = source->caps;
    }
    HGDIOBJ bitmapHandle = stockBitmap();
    auto bitmap = findAs<Bitmap>(bitmapHandle);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    selectDefaults(*dc);
    HDC handle = insertDc(dc);
    // The stock bitmap stands in every new memory DC at once; it is never "selected" as others are.
    dc->state.bitmap = bitmap;
    dc->state.bitmapHandle = bitmapHandle;
    return handle;
}

BOOL WINAPI DeleteDC(HDC dcHandle) {
    std::lock_guard guard(lock());
    auto dc = findDc(dcHandle);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto release = [&](DcState& state) {
        if (state.bitmap && state.bitmap->selectedIn == dcHandle) state.bitmap->selectedIn = nullptr;
    };
    release(dc->state);
    for (DcState& state : dc->saved) release(state);
    dc->saved.clear();
    dc->state = DcState{};
    erase(reinterpret_cast<HGDIOBJ>(dcHandle));
    return TRUE;
}

int WINAPI GetDeviceCaps(HDC dcHandle, int index) {
    return withDc(dcHandle, 0, [&](Dc& dc) -> int {
        const DeviceCaps& c = dc.caps;
        switch (index) {
        case DRIVERVERSION: return c.driverVersion;
        case TECHNOLOGY: return c.technology;
        case HORZSIZE: return c.horzSize;
        case VERTSIZE: return c.vertSize;
        case HORZRES: return c.horzRes;
        case VERTRES: return c.vertRes;
        case BITSPIXEL: return c.bitsPixel;
        case PLANES: return c.planes;
        case NUMBRUSHES:
        case NUMPENS: return -1;
        case NUMFONTS: return 0;
        case NUMCOLORS: return c.numColors;
        case TEXTCAPS: return c.textCaps;
        case RASTERCAPS: return c.rasterCaps;
        case ASPECTX: return c.aspectX;
        case ASPECTY: return c.aspectY;
        case ASPECTXY: return c.aspectXY;
        case LOGPIXELSX: return c.logPixelsX;
        case LOGPIXELSY: return c.logPixelsY;
        case SIZEPALETTE:
        case NUMRESERVED: return 0;
        case COLORRES: return c.colorRes;
        case PHYSICALWIDTH: return c.physicalWidth;
        case PHYSICALHEIGHT: return c.physicalHeight;
        case PHYSICALOFFSETX: return c.physicalOffsetX;
        case PHYSICALOFFSETY: return c.physicalOffsetY;
        case VREFRESH: return dc.kind == Dc::Kind::printer ? 0 : 60;
        case DESKTOPHORZRES: return c.horzRes;
        case DESKTOPVERTRES: return c.vertRes;
        default: return 0;
        }
    });
}

int WINAPI SaveDC(HDC dcHandle) {
    return withDc(dcHandle, 0, [&](Dc& dc) {
        if (dc.saved.size() >= 4096) return 0;
        dc.saved.push_back(dc.state);
        return static_cast<int>(dc.saved.size());
    });
}

BOOL WINAPI RestoreDC(HDC dcHandle, int level) {
    return withDc(dcHandle, FALSE, [&](Dc& dc) -> BOOL {
        long count = static_cast<long>(dc.saved.size());
        long index = level < 0 ? count + level : static_cast<long>(level) - 1;
        if (level == 0 || index < 0 || index >= count) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DcState& target = dc.saved[static_cast<size_t>(index)];
        if (target.bitmap && target.bitmap != dc.state.bitmap && target.bitmap->selectedIn &&
            target.bitmap->selectedIn != dcHandle) {
            SetLastError(ERROR_INVALID_PARAMETER);  // its bitmap went into another DC meanwhile
            return FALSE;
        }
        if (dc.state.bitmap && dc.state.bitmap != target.bitmap && dc.state.bitmap->selectedIn == dcHandle)
            dc.state.bitmap->selectedIn = nullptr;
        if (target.bitmap && !target.bitmap->stock) target.bitmap->selectedIn = dcHandle;
        dc.state = target;
        dc.saved.resize(static_cast<size_t>(index));
        return TRUE;
    });
}

int WINAPI SetGraphicsMode(HDC dcHandle, int mode) {
    return withDc(dcHandle, 0, [&](Dc& dc) {
        if (mode != GM_COMPATIBLE && mode != GM_ADVANCED) return 0;
        if (mode == GM_COMPATIBLE && !isIdentity(dc.state.world)) return 0;
        int old = dc.state.graphicsMode;
        dc.state.graphicsMode = mode;
        return old;
    });
}

int WINAPI GetGraphicsMode(HDC dcHandle) {
    return stateOf(dcHandle, &DcState::graphicsMode, 0);
}

BOOL WINAPI SetWorldTransform(HDC dcHandle, const XFORM* xform) {
    return withDc(dcHandle, FALSE, [&](Dc& dc) -> BOOL {
        if (!xform || dc.state.graphicsMode != GM_ADVANCED || !invertible(*xform)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        dc.state.world = *xform;
        return TRUE;
    });
}

BOOL WINAPI GetWorldTransform(HDC dcHandle, LPXFORM xform) {
    return withDc(dcHandle, FALSE, [&](Dc& dc) -> BOOL {
        if (!xform) return FALSE;
        *xform = dc.state.world;
        return TRUE;
    });
}

BOOL WINAPI ModifyWorldTransform(HDC dcHandle, const XFORM* xform, DWORD mode) {
    return withDc(dcHandle, FALSE, [&](Dc& dc) -> BOOL {
        if (dc.state.graphicsMode != GM_ADVANCED) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        XFORM result;
        switch (mode) {
        case MWT_IDENTITY: result = XFORM{1, 0, 0, 1, 0, 0}; break;
        case MWT_LEFTMULTIPLY:
            if (!xform) return FALSE;
            result = multiply(*xform, dc.state.world);
            break;
        case MWT_RIGHTMULTIPLY:
            if (!xform) return FALSE;
            result = multiply(dc.state.world, *xform);
            break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
        }
        if (!invertible(result)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        dc.state.world = result;
        return TRUE;
    });
}

int WINAPI SetMapMode(HDC dcHandle, int mode) {
    return withDc(dcHandle, 0, [&](Dc& dc) {
        if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return 0;
        return std::exchange(dc.state.mapMode, mode);
    });
}

int WINAPI GetMapMode(HDC dcHandle) {
    return stateOf(dcHandle, &DcState::mapMode, 0);
}

namespace {
BOOL setPoint(HDC dcHandle, POINT DcState::*member, int x, int y, LPPOINT old, bool offset) {
    return withDc(dcHandle, FALSE, [&](Dc& dc) -> BOOL {
        POINT& p = dc.state.*member;
        if (old) *old = p;
        if (offset) {
            p.x += x;
            p.y += y;
        } else {
            p = POINT{x, y};
        }
        return TRUE;
    });
}
BOOL setExtent(HDC dcHandle, SIZE DcState::*member, int x, int y, LPSIZE old) {
    return withDc(dcHandle, FALSE, [&](Dc& dc) -> BOOL {
        SIZE& s = dc.state.*member;
        if (old) *old = s;
        if (dc.state.mapMode != MM_ISOTROPIC && dc.state.mapMode != MM_ANISOTROPIC) return TRUE;
        if (x == 0 || y == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        s = SIZE{x, y};
        return TRUE;
    });
}
}  // namespace

BOOL WINAPI SetViewportOrgEx(HDC dc, int x, int y, LPPOINT old) {
    return setPoint(dc, &DcState::viewportOrg, x, y, old, false);
}
BOOL WINAPI OffsetViewportOrgEx(HDC dc, int x, int y, LPPOINT old) {
    return setPoint(dc, &DcState::viewportOrg, x, y, old, true);
}
BOOL WINAPI GetViewportOrgEx(HDC dc, LPPOINT org) {
    if (!org) return FALSE;
    return setPoint(dc, &DcState::viewportOrg, 0, 0, org, true);
}
BOOL WINAPI SetWindowOrgEx(HDC dc, int x, int y, LPPOINT old) {
    return setPoint(dc, &DcState::windowOrg, x, y, old, false);
}
BOOL WINAPI OffsetWindowOrgEx(HDC dc, int x, int y, LPPOINT old) {
    return setPoint(dc, &DcState::windowOrg, x, y, old, true);
}
BOOL WINAPI GetWindowOrgEx(HDC dc, LPPOINT org) {
    if (!org) return FALSE;
    return setPoint(dc, &DcState::windowOrg, 0, 0, org, true);
}
BOOL WINAPI SetViewportExtEx(HDC dc, int x, int y, LPSIZE old) {
    return setExtent(dc, &DcState::viewportExt, x, y, old);
}
BOOL WINAPI SetWindowExtEx(HDC dc, int x, int y, LPSIZE old) {
    return setExtent(dc, &DcState::windowExt, x, y, old);
}

BOOL WINAPI DPtoLP(HDC dc, LPPOINT points, int count) { return mapPoints(dc, points, count, false); }
BOOL WINAPI LPtoDP(HDC dc, LPPOINT points, int count) { return mapPoints(dc, points, count, true); }
