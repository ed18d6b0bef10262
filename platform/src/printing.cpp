// The printing front of the graphics engine: one printer device context, from OpenPrinterW to
// ClosePrinter, with the page's drawing recorded and played per band.
#include "platform/printing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/control.h"

namespace platform::printing {

namespace {

using EnableDriverFn = BOOL(APIENTRY*)(ULONG, ULONG, DRVENABLEDATA*);
using DisableDriverFn = void(APIENTRY*)();
using EnablePdevFn = DHPDEV(APIENTRY*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*, HDEV, LPWSTR,
                                       HANDLE);
using CompletePdevFn = void(APIENTRY*)(DHPDEV, HDEV);
using DisablePdevFn = void(APIENTRY*)(DHPDEV);
using EnableSurfaceFn = HSURF(APIENTRY*)(DHPDEV);
using DisableSurfaceFn = void(APIENTRY*)(DHPDEV);
using StartDocFn = BOOL(APIENTRY*)(SURFOBJ*, LPWSTR, DWORD);
using SurfaceFn = BOOL(APIENTRY*)(SURFOBJ*);
using EndDocFn = BOOL(APIENTRY*)(SURFOBJ*, FLONG);
using BandFn = BOOL(APIENTRY*)(SURFOBJ*, POINTL*);
using BitBltFn = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*,
                                 BRUSHOBJ*, POINTL*, ROP4);
using CopyBitsFn = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
using StretchBltFn = BOOL(APIENTRY*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                                     RECTL*, RECTL*, POINTL*, ULONG);
using StrokePathFn = BOOL(APIENTRY*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
using FillPathFn = BOOL(APIENTRY*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
using LineToFn = BOOL(APIENTRY*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX);
using TextOutFn = BOOL(APIENTRY*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                  POINTL*, MIX);
using GlyphModeFn = ULONG(APIENTRY*)(DHPDEV, FONTOBJ*);
using EscapeFn = ULONG(APIENTRY*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);

constexpr ROP4 kPatCopy = 0xF0F0;
constexpr MIX kCopyPen = R2_COPYPEN | (R2_COPYPEN << 8);
constexpr int kMaxBands = 256;
// Coordinates beyond this many pixels are pinned, so that 28.4 fixed point cannot overflow.
constexpr double kCoordinateLimit = 1 << 24;

std::string errorText(const std::string& what, DWORD error) {
    return what + " failed (error " + std::to_string(error) + ")";
}

bool failWith(std::string* why, std::string text) {
    *why = std::move(text);
    return false;
}

bool emptyRect(const RECTL& r) { return r.right <= r.left || r.bottom <= r.top; }

RECTL intersect(const RECTL& a, const RECTL& b) {
    RECTL r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (emptyRect(r)) r = RECTL{0, 0, 0, 0};
    return r;
}

bool inside(const RECTL& inner, const RECTL& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

RECTL moved(RECTL r, POINTL by) { return RECTL{r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y}; }

double pinned(double v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); }

FIX toFix(double v) { return static_cast<FIX>(std::lround(pinned(v) * 16.0)); }

LONG toPixel(double v) { return static_cast<LONG>(std::lround(pinned(v))); }

POINTFIX toPointFix(PointD p, POINTL shift) { return POINTFIX{toFix(p.x + shift.x), toFix(p.y + shift.y)}; }

// The engine objects of one call, released when it is done.
struct Clip {
    CLIPOBJ* clip = nullptr;
    ~Clip() {
        if (clip) EngDeleteClip(clip);
    }
};
struct Brush {
    BRUSHOBJ* brush = nullptr;
    ~Brush() {
        if (brush) engine::deleteBrush(brush);
    }
};
struct Xlate {
    XLATEOBJ* xlate = nullptr;
    ~Xlate() {
        if (xlate) engine::deleteXlate(xlate);
    }
};
struct PathObj {
    PATHOBJ* path = nullptr;
    ~PathObj() {
        if (path) EngDeletePath(path);
    }
};
// An engine bitmap over bits the caller keeps, locked for the call.
struct SourceBitmap {
    HBITMAP bitmap = nullptr;
    SURFOBJ* surface = nullptr;
    SourceBitmap(SIZEL size, LONG stride, ULONG format, void* bits) {
        bitmap = EngCreateBitmap(size, stride, format, BMF_TOPDOWN, bits);
        if (bitmap) surface = EngLockSurface(reinterpret_cast<HSURF>(bitmap));
    }
    ~SourceBitmap() {
        if (surface) EngUnlockSurface(surface);
        if (bitmap) EngDeleteSurface(reinterpret_cast<HSURF>(bitmap));
    }
    SourceBitmap(const SourceBitmap&) = delete;
    SourceBitmap& operator=(const SourceBitmap&) = delete;
};

// The clip GDI hands with a call whose drawing covers `bounds`: DC_TRIVIAL (bounds as they are)
// when it lies on the surface, else one rectangle, the surface.
CLIPOBJ* clipFor(const RECTL& bounds, const RECTL& surface) {
    if (inside(bounds, surface)) {
        CLIPOBJ* clip = engine::createClip({}, bounds);
        if (clip) {
            clip->iDComplexity = DC_TRIVIAL;
            clip->rclBounds = bounds;
        }
        return clip;
    }
    return engine::createClip({surface}, surface);
}

std::vector<ULONG> greyRamp() {
    std::vector<ULONG> ramp(256);
    for (ULONG i = 0; i < 256; ++i) ramp[i] = i * 0x010101u;
    return ramp;
}

ULONG bytesPerPixel(ULONG format) {
    switch (format) {
    case BMF_8BPP: return 1;
    case BMF_24BPP: return 3;
    case BMF_32BPP: return 4;
    default: return 0;
    }
}

PATHOBJ* buildPath(const Path& path, POINTL shift) {
    PATHOBJ* po = EngCreatePath();
    if (!po) return nullptr;
    bool ok = true;
    for (const Path::Figure& figure : path.figures()) {
        ok = ok && PATHOBJ_bMoveTo(po, toPointFix(figure.start, shift));
        size_t i = 0;
        while (ok && i < figure.segments.size()) {
            std::vector<POINTFIX> points;
            bool bezier = figure.segments[i].bezier;
            for (; i < figure.segments.size() && figure.segments[i].bezier == bezier; ++i) {
                const Path::Segment& s = figure.segments[i];
                if (bezier)
                    for (const PointD& p : s.points) points.push_back(toPointFix(p, shift));
                else
                    points.push_back(toPointFix(s.points[0], shift));
            }
            ULONG count = static_cast<ULONG>(points.size());
            ok = bezier ? PATHOBJ_bPolyBezierTo(po, points.data(), count) : PATHOBJ_bPolyLineTo(po, points.data(), count);
        }
        if (ok && figure.closed) ok = PATHOBJ_bCloseFigure(po);
    }
    if (!ok) {
        EngDeletePath(po);
        return nullptr;
    }
    return po;
}

}  // namespace

// ---- Path --------------------------------------------------------------------------------------------

Path& Path::moveTo(PointD p) {
    figures_.push_back(Figure{p, {}, false});
    return *this;
}

Path& Path::lineTo(PointD p) {
    if (figures_.empty() || figures_.back().closed) moveTo(figures_.empty() ? p : figures_.back().start);
    Segment s;
    s.points[0] = p;
    figures_.back().segments.push_back(s);
    return *this;
}

Path& Path::bezierTo(PointD c1, PointD c2, PointD p) {
    if (figures_.empty() || figures_.back().closed) moveTo(figures_.empty() ? c1 : figures_.back().start);
    Segment s;
    s.bezier = true;
    s.points = {c1, c2, p};
    figures_.back().segments.push_back(s);
    return *this;
}

Path& Path::close() {
    if (!figures_.empty()) figures_.back().closed = true;
    return *this;
}

Path& Path::rectangle(double left, double top, double right, double bottom) {
    return moveTo({left, top}).lineTo({right, top}).lineTo({right, bottom}).lineTo({left, bottom}).close();
}

Path& Path::ellipse(double left, double top, double right, double bottom) {
    // Four quarter curves; 0.5523 is the control distance that keeps each within 0.03% of a circle.
    const double k = 0.5522847498;
    double cx = (left + right) / 2, cy = (top + bottom) / 2;
    double rx = (right - left) / 2, ry = (bottom - top) / 2;
    moveTo({right, cy});
    bezierTo({right, cy + k * ry}, {cx + k * rx, bottom}, {cx, bottom});
    bezierTo({cx - k * rx, bottom}, {left, cy + k * ry}, {left, cy});
    bezierTo({left, cy - k * ry}, {cx - k * rx, top}, {cx, top});
    bezierTo({cx + k * rx, top}, {right, cy - k * ry}, {right, cy});
    return close();
}

bool Path::hasBeziers() const {
    for (const Figure& f : figures_)
        for (const Segment& s : f.segments)
            if (s.bezier) return true;
    return false;
}

std::optional<RECTL> Path::bounds() const {
    if (figures_.empty()) return std::nullopt;
    double x0 = figures_[0].start.x, y0 = figures_[0].start.y, x1 = x0, y1 = y0;
    auto add = [&](PointD p) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    };
    for (const Figure& f : figures_) {
        add(f.start);
        for (const Segment& s : f.segments) {
            add(s.points[0]);
            if (s.bezier) {
                add(s.points[1]);
                add(s.points[2]);
            }
        }
    }
    return RECTL{static_cast<LONG>(std::floor(pinned(x0))), static_cast<LONG>(std::floor(pinned(y0))),
                 static_cast<LONG>(std::ceil(pinned(x1))) + 1, static_cast<LONG>(std::ceil(pinned(y1))) + 1};
}

// ---- Picture -------------------------------------------------------------------------------------------

Picture Picture::blank(LONG width, LONG height, ULONG format) {
    Picture p;
    p.size = SIZEL{std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
    p.format = format;
    ULONG bpp = bytesPerPixel(format);
    p.stride = static_cast<LONG>((static_cast<size_t>(p.size.cx) * bpp + 3) / 4 * 4);
    p.bits.assign(static_cast<size_t>(p.stride) * p.size.cy, 0xFF);
    if (format == BMF_8BPP) p.palette = greyRamp();
    return p;
}

bool Picture::valid() const {
    ULONG bpp = bytesPerPixel(format);
    if (bpp == 0 || size.cx <= 0 || size.cy <= 0 || stride % 4 != 0) return false;
    if (static_cast<size_t>(stride) < static_cast<size_t>(size.cx) * bpp) return false;
    if (pixelBytes() < static_cast<size_t>(stride) * size.cy || (outside && !bits.empty())) return false;
    if (format == BMF_8BPP && (palette.empty() || palette.size() > 256)) return false;
    return true;
}

// ---- Enabling ------------------------------------------------------------------------------------------

PrinterDevice::PrinterDevice(const std::u16string& printerName, const DEVMODEW* devmode) {
    try {
        enable(printerName, devmode);
    } catch (...) {
        teardown();
        throw;
    }
}

PrinterDevice::~PrinterDevice() { teardown(); }

void PrinterDevice::enable(const std::u16string& printerName, const DEVMODEW* devmode) {
    auto failed = [](const std::string& what) { throw std::runtime_error(errorText(what, GetLastError())); };
    std::u16string name = printerName;
    if (!OpenPrinterW(name.data(), &printer_, nullptr)) {
        printer_ = nullptr;
        failed("OpenPrinterW(\"" + toUtf8(printerName) + "\")");
    }

    DWORD needed = 0;
    GetPrinterW(printer_, 2, nullptr, 0, &needed);
    if (needed < sizeof(PRINTER_INFO_2W)) failed("GetPrinterW (level 2, size)");
    std::vector<BYTE> info(needed);
    if (!GetPrinterW(printer_, 2, info.data(), needed, &needed)) failed("GetPrinterW (level 2)");
    const auto* printerInfo = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    if (!printerInfo->pDriverName) throw std::runtime_error("the printer names no driver");
    std::u16string driverName = printerInfo->pDriverName;
    auto modulePath = driverModulePath(driverName);
    if (!modulePath) throw std::runtime_error("driver \"" + toUtf8(driverName) + "\" is not installed");

    const DEVMODEW* chosen = devmode ? devmode : printerInfo->pDevMode;
    if (chosen) {
        size_t size = size_t(chosen->dmSize) + chosen->dmDriverExtra;
        if (size < sizeof(DEVMODEW)) size = sizeof(DEVMODEW);
        devmode_.assign(size, 0);
        std::memcpy(devmode_.data(), chosen, size_t(chosen->dmSize) + chosen->dmDriverExtra);
    }

    module_ = LoadLibraryW(modulePath->c_str());
    if (!module_) failed("LoadLibraryW(\"" + toUtf8(*modulePath) + "\")");
    auto enableDriver = reinterpret_cast<EnableDriverFn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DrvEnableDriver")));
    if (!enableDriver) failed("GetProcAddress(DrvEnableDriver)");
    SetLastError(ERROR_SUCCESS);
    if (!enableDriver(DDI_DRIVER_VERSION_NT5, sizeof(DRVENABLEDATA), &driverData_)) failed("DrvEnableDriver");
    driverEnabled_ = true;

    hdev_ = engine::createDevice(driverData_);
    if (!hdev_) throw std::runtime_error("the engine made no device for the driver");
    auto enablePdev = driverFunction<EnablePdevFn>(INDEX_DrvEnablePDEV);
    auto completePdev = driverFunction<CompletePdevFn>(INDEX_DrvCompletePDEV);
    auto enableSurface = driverFunction<EnableSurfaceFn>(INDEX_DrvEnableSurface);
    if (!enablePdev || !enableSurface) throw std::runtime_error("the driver has no DrvEnablePDEV or DrvEnableSurface");

    patterns_.assign(HS_DDI_MAX, nullptr);
    std::u16string deviceName = printerName;
    SetLastError(ERROR_SUCCESS);
    pdev_ = enablePdev(devmode_.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(devmode_.data()), nullptr,
                       HS_DDI_MAX, patterns_.data(), sizeof(GDIINFO), reinterpret_cast<ULONG*>(&gdi_),
                       sizeof(DEVINFO), &devInfo_, hdev_, deviceName.data(), printer_);
    if (!pdev_) failed("DrvEnablePDEV");
    engine::setDevicePdev(hdev_, pdev_);
    if (completePdev) completePdev(pdev_, hdev_);

    SetLastError(ERROR_SUCCESS);
    surface_ = enableSurface(pdev_);
    if (!surface_) failed("DrvEnableSurface");
    auto surfaceInfo = engine::surfaceInfo(surface_);
    if (!surfaceInfo) throw std::runtime_error("DrvEnableSurface returned a handle the engine does not know");

    caps_.printable = SIZEL{static_cast<LONG>(gdi_.ulHorzRes), static_cast<LONG>(gdi_.ulVertRes)};
    caps_.physical = gdi_.szlPhysSize;
    caps_.printableOffset = gdi_.ptlPhysOffset;
    caps_.dpiX = gdi_.ulLogPixelsX;
    caps_.dpiY = gdi_.ulLogPixelsY;
    caps_.surface = surfaceInfo->size;
    caps_.banded = surfaceInfo->banding;
    caps_.hooks = surfaceInfo->device ? surfaceInfo->hooks : 0;
}

void PrinterDevice::teardown() {
    if (inDoc_) endDoc(true);
    if (surface_)
        if (auto disable = driverFunction<DisableSurfaceFn>(INDEX_DrvDisableSurface)) disable(pdev_);
    surface_ = nullptr;
    if (pdev_)
        if (auto disable = driverFunction<DisablePdevFn>(INDEX_DrvDisablePDEV)) disable(pdev_);
    pdev_ = nullptr;
    if (hdev_) engine::deleteDevice(hdev_);
    hdev_ = nullptr;
    if (driverEnabled_) {
        for (ULONG i = 0; i < driverData_.c && driverData_.pdrvfn; ++i)
            if (driverData_.pdrvfn[i].iFunc == INDEX_DrvDisableDriver)
                reinterpret_cast<DisableDriverFn>(reinterpret_cast<void (*)()>(driverData_.pdrvfn[i].pfn))();
        driverEnabled_ = false;
    }
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
}

bool PrinterDevice::fail(std::string what, DWORD error) {
    lastError_ = errorText(what, error);
    return false;
}

// ---- The job ---------------------------------------------------------------------------------------------

bool PrinterDevice::startDoc(const std::u16string& documentName) {
    if (inDoc_) {
        lastError_ = "a document is already started";
        return false;
    }
    std::u16string docName = documentName;
    DOC_INFO_1W doc{docName.data(), nullptr, nullptr};
    DWORD job = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&doc));
    if (job == 0) return fail("StartDocPrinterW", GetLastError());
    jobId_ = job;
    auto startDocFn = driverFunction<StartDocFn>(INDEX_DrvStartDoc);
    SURFOBJ* so = engine::lockForDriver(surface_);
    SetLastError(ERROR_SUCCESS);
    BOOL ok = startDocFn ? startDocFn(so, docName.data(), job) : TRUE;
    DWORD error = GetLastError();
    EngUnlockSurface(so);
    if (!ok) {
        EndDocPrinter(printer_);
        return fail("DrvStartDoc", error);
    }
    inDoc_ = true;
    pagesSent_ = 0;
    return true;
}

bool PrinterDevice::startPage() {
    if (!inDoc_ || inPage_) {
        lastError_ = inPage_ ? "a page is already started" : "no document is started";
        return false;
    }
    page_.clear();
    auto startPageFn = driverFunction<SurfaceFn>(INDEX_DrvStartPage);
    SURFOBJ* so = engine::lockForDriver(surface_);
    SetLastError(ERROR_SUCCESS);
    BOOL ok = startPageFn ? startPageFn(so) : TRUE;
    DWORD error = GetLastError();
    EngUnlockSurface(so);
    if (!ok) return fail("DrvStartPage", error);
    inPage_ = true;
    return true;
}

bool PrinterDevice::play(POINTL shift) {
    bool ok = true;
    std::string firstError;
    for (size_t i = 0; i < page_.size(); ++i) {
        SURFOBJ* so = engine::lockForDriver(surface_);
        if (!so) {
            lastError_ = "the engine cannot lock the device surface";
            return false;
        }
        std::string why;
        bool done = page_[i](so, shift, &why);
        EngUnlockSurface(so);
        if (!done && ok) {
            ok = false;
            firstError = "drawing " + std::to_string(i + 1) + " of the page: " + why;
        }
    }
    if (!ok) lastError_ = firstError;
    return ok;
}

bool PrinterDevice::endPage() {
    if (!inPage_) {
        lastError_ = "no page is started";
        return false;
    }
    inPage_ = false;
    lastBands_ = 0;
    bool drawn = true;
    std::string drawError;
    auto noteDrawing = [&](bool ok) {
        if (!ok && drawn) {
            drawn = false;
            drawError = lastError_;
        }
    };
    if (!caps_.banded) {
        noteDrawing(play(POINTL{0, 0}));
        // What was drawn is let go before the driver sends the page, so that a picture made for this
        // page (one rendered ahead) can be used again for the next while this one is encoded.
        page_.clear();
        lastBands_ = 1;
        auto sendPage = driverFunction<SurfaceFn>(INDEX_DrvSendPage);
        SURFOBJ* so = engine::lockForDriver(surface_);
        SetLastError(ERROR_SUCCESS);
        BOOL sent = sendPage ? sendPage(so) : FALSE;
        DWORD error = GetLastError();
        EngUnlockSurface(so);
        page_.clear();
        if (!sent) return fail("DrvSendPage", error);
    } else {
        auto startBanding = driverFunction<BandFn>(INDEX_DrvStartBanding);
        auto nextBand = driverFunction<BandFn>(INDEX_DrvNextBand);
        if (!startBanding || !nextBand) {
            page_.clear();
            lastError_ = "the surface is banded but the driver has no DrvStartBanding or DrvNextBand";
            return false;
        }
        POINTL origin{0, 0};
        SURFOBJ* so = engine::lockForDriver(surface_);
        SetLastError(ERROR_SUCCESS);
        BOOL ok = startBanding(so, &origin);
        DWORD error = GetLastError();
        EngUnlockSurface(so);
        if (!ok) {
            page_.clear();
            return fail("DrvStartBanding", error);
        }
        while (!(origin.x == -1 && origin.y == -1)) {
            if (lastBands_ == kMaxBands) {
                page_.clear();
                lastError_ = "the driver gave more than " + std::to_string(kMaxBands) + " bands for one page";
                return false;
            }
            ++lastBands_;
            noteDrawing(play(POINTL{-origin.x, -origin.y}));
            so = engine::lockForDriver(surface_);
            SetLastError(ERROR_SUCCESS);
            ok = nextBand(so, &origin);
            error = GetLastError();
            EngUnlockSurface(so);
            if (!ok) {
                page_.clear();
                return fail("DrvNextBand (band " + std::to_string(lastBands_) + ")", error);
            }
        }
    }
    page_.clear();
    ++pagesSent_;
    if (!drawn) {
        lastError_ = drawError;
        return false;
    }
    return true;
}

bool PrinterDevice::endDoc(bool abort) {
    if (!inDoc_) {
        lastError_ = "no document is started";
        return false;
    }
    bool ok = true;
    std::string error;
    if (inPage_) {
        if (abort) {
            inPage_ = false;
            page_.clear();
        } else if (!endPage()) {
            ok = false;
            error = lastError_;
        }
    }
    inDoc_ = false;
    auto endDocFn = driverFunction<EndDocFn>(INDEX_DrvEndDoc);
    SURFOBJ* so = engine::lockForDriver(surface_);
    SetLastError(ERROR_SUCCESS);
    BOOL ended = endDocFn ? endDocFn(so, abort ? ED_ABORTDOC : 0) : TRUE;
    DWORD code = GetLastError();
    EngUnlockSurface(so);
    if (!ended && ok) {
        ok = false;
        error = errorText("DrvEndDoc", code);
    }
    if (!EndDocPrinter(printer_) && ok) {
        ok = false;
        error = errorText("EndDocPrinter", GetLastError());
    }
    if (!ok) lastError_ = error;
    return ok;
}

// ---- Drawing -------------------------------------------------------------------------------------------

bool PrinterDevice::record(Operation op) {
    if (!inPage_) {
        lastError_ = "no page is started";
        return false;
    }
    page_.push_back(std::move(op));
    return true;
}

bool PrinterDevice::nothingToDraw() {
    if (!inPage_) lastError_ = "no page is started";
    return inPage_;
}

bool PrinterDevice::fillRect(const RECTL& rect, BYTE grey, const std::vector<RECTL>& clipRects) {
    if (emptyRect(rect)) return nothingToDraw();
    auto bitBlt = drawingFunction<BitBltFn>(HOOK_BITBLT, INDEX_DrvBitBlt, &EngBitBlt);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL target = intersect(moved(rect, shift), surfaceRect);
        if (emptyRect(target)) return true;
        Clip clip;
        if (clipRects.empty()) {
            clip.clip = clipFor(target, surfaceRect);
        } else {
            std::vector<RECTL> visible;
            for (const RECTL& r : clipRects) {
                RECTL v = intersect(intersect(moved(r, shift), surfaceRect), target);
                if (!emptyRect(v)) visible.push_back(v);
            }
            if (visible.empty()) return true;
            clip.clip = engine::createClip(visible, surfaceRect);
        }
        Brush brush{engine::createSolidBrush(grey)};
        if (!clip.clip || !brush.brush) return failWith(why, "the engine cannot make the clip or brush");
        POINTL brushOrigin{0, 0};
        SetLastError(ERROR_SUCCESS);
        if (bitBlt(so, nullptr, nullptr, clip.clip, nullptr, &target, nullptr, nullptr, brush.brush, &brushOrigin,
                   kPatCopy))
            return true;
        return failWith(why, errorText("DrvBitBlt (solid)", GetLastError()));
    });
}

bool PrinterDevice::patternRect(const RECTL& rect, const Pattern& pattern) {
    if (emptyRect(rect)) return nothingToDraw();
    auto bitBlt = drawingFunction<BitBltFn>(HOOK_BITBLT, INDEX_DrvBitBlt, &EngBitBlt);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    HDEV hdev = hdev_;
    HSURF surface = surface_;
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL whole = moved(rect, shift);
        RECTL target = intersect(whole, surfaceRect);
        if (emptyRect(target)) return true;
        // Black ink on white paper is a one-bit pattern, as GDI makes of a monochrome brush bitmap
        // (bit 0 takes the palette's first colour); other greys an 8-bit one.
        const bool mono = pattern.ink == 0 && pattern.paper == 255;
        std::array<BYTE, 64> bits{};
        std::vector<ULONG> palette;
        ULONG format;
        LONG stride;
        if (mono) {
            format = BMF_1BPP;
            stride = 4;
            for (int y = 0; y < 8; ++y) bits[y * 4] = static_cast<BYTE>(~pattern.rows[y]);
            palette = {0x000000, 0xFFFFFF};
        } else {
            format = BMF_8BPP;
            stride = 8;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    bits[y * 8 + x] = (pattern.rows[y] >> (7 - x)) & 1 ? pattern.ink : pattern.paper;
            palette = greyRamp();
        }
        HBITMAP bitmap = EngCreateBitmap(SIZEL{8, 8}, stride, format, BMF_TOPDOWN, bits.data());
        if (!bitmap) return failWith(why, "the engine cannot make the pattern bitmap");
        bool ok = false;
        {
            Xlate xlate{engine::createXlate(palette, format)};
            Brush brush{engine::createPatternBrush(reinterpret_cast<HSURF>(bitmap), xlate.xlate, HS_DDI_MAX, hdev,
                                                   surface)};
            // A trivial clip with the rectangle as its bounds: the case the driver fills itself.
            Clip clip{engine::createClip({}, target)};
            if (clip.clip) {
                clip.clip->iDComplexity = DC_TRIVIAL;
                clip.clip->rclBounds = target;
            }
            if (!xlate.xlate || !brush.brush || !clip.clip) {
                *why = "the engine cannot make the pattern brush";
            } else {
                POINTL brushOrigin{whole.left, whole.top};
                SetLastError(ERROR_SUCCESS);
                ok = bitBlt(so, nullptr, nullptr, clip.clip, nullptr, &target, nullptr, nullptr, brush.brush,
                            &brushOrigin, kPatCopy);
                if (!ok) *why = errorText("DrvBitBlt (pattern)", GetLastError());
            }
        }
        EngDeleteSurface(reinterpret_cast<HSURF>(bitmap));
        return ok;
    });
}

bool PrinterDevice::line(PointD from, PointD to, const Pen& pen) {
    if (pen.width > 1) return polyline({from, to}, pen, false);
    auto lineTo = drawingFunction<LineToFn>(HOOK_LINETO, INDEX_DrvLineTo, &EngLineTo);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        LONG x1 = toPixel(from.x) + shift.x, y1 = toPixel(from.y) + shift.y;
        LONG x2 = toPixel(to.x) + shift.x, y2 = toPixel(to.y) + shift.y;
        RECTL bounds{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
        if (emptyRect(intersect(bounds, surfaceRect))) return true;
        Clip clip{clipFor(bounds, surfaceRect)};
        Brush brush{engine::createSolidBrush(pen.grey)};
        if (!clip.clip || !brush.brush) return failWith(why, "the engine cannot make the clip or brush");
        SetLastError(ERROR_SUCCESS);
        if (lineTo(so, clip.clip, brush.brush, x1, y1, x2, y2, &bounds, kCopyPen)) return true;
        return failWith(why, errorText("DrvLineTo", GetLastError()));
    });
}

bool PrinterDevice::polyline(const std::vector<PointD>& points, const Pen& pen, bool closed) {
    if (points.size() < 2) {
        lastError_ = "a line needs two points at least";
        return false;
    }
    Path path;
    path.moveTo(points[0]);
    for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
    if (closed) path.close();
    return strokePath(path, pen);
}

bool PrinterDevice::strokePath(const Path& path, const Pen& pen) {
    auto bounds = path.bounds();
    if (!bounds) return nothingToDraw();
    auto strokeFn = drawingFunction<StrokePathFn>(HOOK_STROKEPATH, INDEX_DrvStrokePath, &EngStrokePath);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    LONG grow = static_cast<LONG>(std::ceil(std::max(pen.width, 1.0) / 2)) + 1;
    RECTL area{bounds->left - grow, bounds->top - grow, bounds->right + grow, bounds->bottom + grow};
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL drawn = moved(area, shift);
        if (emptyRect(intersect(drawn, surfaceRect))) return true;
        PathObj po{buildPath(path, shift)};
        Clip clip{clipFor(drawn, surfaceRect)};
        Brush brush{engine::createSolidBrush(pen.grey)};
        if (!po.path || !clip.clip || !brush.brush) return failWith(why, "the engine cannot make the path, clip or brush");
        LINEATTRS line{};
        line.iJoin = pen.join;
        line.iEndCap = pen.cap;
        line.eMiterLimit = 10.0f;
        if (pen.width > 1) {
            line.fl = LA_GEOMETRIC;
            line.elWidth.e = static_cast<FLOATL>(pen.width);
        } else {
            line.elWidth.l = 1;
        }
        POINTL brushOrigin{0, 0};
        SetLastError(ERROR_SUCCESS);
        if (strokeFn(so, po.path, clip.clip, nullptr, brush.brush, &brushOrigin, &line, kCopyPen)) return true;
        return failWith(why, errorText("DrvStrokePath", GetLastError()));
    });
}

bool PrinterDevice::fillPath(const Path& path, BYTE grey, bool winding) {
    auto bounds = path.bounds();
    if (!bounds) return nothingToDraw();
    auto fillFn = drawingFunction<FillPathFn>(HOOK_FILLPATH, INDEX_DrvFillPath, &EngFillPath);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    RECTL area = *bounds;
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL drawn = moved(area, shift);
        if (emptyRect(intersect(drawn, surfaceRect))) return true;
        PathObj po{buildPath(path, shift)};
        Clip clip{clipFor(drawn, surfaceRect)};
        Brush brush{engine::createSolidBrush(grey)};
        if (!po.path || !clip.clip || !brush.brush) return failWith(why, "the engine cannot make the path, clip or brush");
        POINTL brushOrigin{0, 0};
        SetLastError(ERROR_SUCCESS);
        if (fillFn(so, po.path, clip.clip, brush.brush, &brushOrigin, kCopyPen,
                   winding ? FP_WINDINGMODE : FP_ALTERNATEMODE))
            return true;
        return failWith(why, errorText("DrvFillPath", GetLastError()));
    });
}

bool PrinterDevice::text(const std::vector<engine::Glyph>& glyphs, BYTE grey, FLONG fontType) {
    // Glyphs without a picture (spaces) only move the pen; the text object gets the others.
    std::vector<engine::Glyph> inked;
    for (const engine::Glyph& g : glyphs) {
        if (g.size.cx <= 0 || g.size.cy <= 0) continue;
        size_t need = static_cast<size_t>((g.size.cx + 7) / 8) * g.size.cy;
        if (g.bits.size() < need) {
            lastError_ = "a glyph picture is shorter than its size";
            return false;
        }
        inked.push_back(g);
    }
    if (inked.empty()) return nothingToDraw();
    RECTL box{inked[0].position.x + inked[0].origin.x, inked[0].position.y + inked[0].origin.y, 0, 0};
    box.right = box.left;
    box.bottom = box.top;
    for (const engine::Glyph& g : inked) {
        LONG left = g.position.x + g.origin.x, top = g.position.y + g.origin.y;
        box.left = std::min(box.left, left);
        box.top = std::min(box.top, top);
        box.right = std::max(box.right, left + g.size.cx);
        box.bottom = std::max(box.bottom, top + g.size.cy);
    }
    auto textOut = drawingFunction<TextOutFn>(HOOK_TEXTOUT, INDEX_DrvTextOut, &EngTextOut);
    auto glyphMode = driverFunction<GlyphModeFn>(INDEX_DrvGetGlyphMode);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    DHPDEV pdev = pdev_;
    auto shared = std::make_shared<const std::vector<engine::Glyph>>(std::move(inked));
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL background = moved(box, shift);
        if (emptyRect(intersect(background, surfaceRect))) return true;
        std::vector<engine::Glyph> placed = *shared;
        for (engine::Glyph& g : placed) {
            g.position.x += shift.x;
            g.position.y += shift.y;
        }
        engine::TextObjects objects = engine::createText(placed, fontType, background);
        if (!objects.text || !objects.font) {
            engine::deleteText(objects);
            return failWith(why, "the engine cannot make the text object");
        }
        bool ok = false;
        ULONG mode = glyphMode ? glyphMode(pdev, objects.font) : FO_GLYPHBITS;
        if (mode != FO_GLYPHBITS) {
            *why = "the driver asks for glyphs as " + std::string(mode == FO_PATHOBJ ? "paths" : "mode " + std::to_string(mode)) +
                   "; only glyph pictures are made";
        } else {
            Clip clip{clipFor(background, surfaceRect)};
            Brush brush{engine::createSolidBrush(grey)};
            if (!clip.clip || !brush.brush) {
                *why = "the engine cannot make the clip or brush";
            } else {
                POINTL brushOrigin{0, 0};
                SetLastError(ERROR_SUCCESS);
                ok = textOut(so, objects.text, objects.font, clip.clip, nullptr, nullptr, brush.brush, nullptr,
                             &brushOrigin, kCopyPen);
                if (!ok) *why = errorText("DrvTextOut", GetLastError());
            }
        }
        engine::deleteText(objects);
        return ok;
    });
}

bool PrinterDevice::picture(const RECTL& dest, std::shared_ptr<const Picture> source, ULONG stretchMode) {
    if (!source || !source->valid()) {
        lastError_ = "the picture is empty or malformed";
        return false;
    }
    if (emptyRect(dest)) return nothingToDraw();
    const bool sameSize = dest.right - dest.left == source->size.cx && dest.bottom - dest.top == source->size.cy;
    auto copyBits = drawingFunction<CopyBitsFn>(HOOK_COPYBITS, INDEX_DrvCopyBits, &EngCopyBits);
    auto stretchBlt = drawingFunction<StretchBltFn>(HOOK_STRETCHBLT, INDEX_DrvStretchBlt, &EngStretchBlt);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL whole = moved(dest, shift);
        RECTL visible = intersect(whole, surfaceRect);
        if (emptyRect(visible)) return true;
        // The engine only reads the bits; it takes them as a plain pointer.
        SourceBitmap bitmap(source->size, source->stride, source->format, const_cast<BYTE*>(source->pixels()));
        Xlate xlate{engine::createXlate(source->format == BMF_8BPP ? source->palette : std::vector<ULONG>{},
                                        source->format)};
        if (!bitmap.surface || !xlate.xlate) return failWith(why, "the engine cannot make the source bitmap");
        SetLastError(ERROR_SUCCESS);
        if (sameSize) {
            Clip clip{clipFor(visible, surfaceRect)};
            if (!clip.clip) return failWith(why, "the engine cannot make the clip");
            POINTL from{visible.left - whole.left, visible.top - whole.top};
            if (copyBits(so, bitmap.surface, clip.clip, xlate.xlate, &visible, &from)) return true;
            return failWith(why, errorText("DrvCopyBits", GetLastError()));
        }
        Clip clip{clipFor(whole, surfaceRect)};
        if (!clip.clip) return failWith(why, "the engine cannot make the clip");
        RECTL sourceRect{0, 0, source->size.cx, source->size.cy};
        POINTL halftoneOrigin{0, 0};
        if (stretchBlt(so, bitmap.surface, nullptr, clip.clip, xlate.xlate, nullptr, &halftoneOrigin, &whole,
                       &sourceRect, nullptr, stretchMode))
            return true;
        return failWith(why, errorText("DrvStretchBlt", GetLastError()));
    });
}

bool PrinterDevice::renderedPicture(const RECTL& dest, PictureSource source, LONG stripRows) {
    if (!source) {
        lastError_ = "no picture source";
        return false;
    }
    if (emptyRect(dest)) return nothingToDraw();
    stripRows = std::max<LONG>(stripRows, 1);
    auto copyBits = drawingFunction<CopyBitsFn>(HOOK_COPYBITS, INDEX_DrvCopyBits, &EngCopyBits);
    RECTL surfaceRect{0, 0, caps_.surface.cx, caps_.surface.cy};
    return record([=](SURFOBJ* so, POINTL shift, std::string* why) {
        RECTL whole = moved(dest, shift);
        RECTL visible = intersect(whole, surfaceRect);
        for (LONG top = visible.top; top < visible.bottom; top += stripRows) {
            RECTL target{visible.left, top, visible.right, std::min(visible.bottom, top + stripRows)};
            RECTL part{target.left - whole.left, target.top - whole.top, target.right - whole.left,
                       target.bottom - whole.top};
            std::string reason;
            std::optional<Picture> strip = source(part, &reason);
            if (!strip)
                return failWith(why, "the picture's rows " + std::to_string(part.top) + " to " +
                                         std::to_string(part.bottom) + " could not be made" +
                                         (reason.empty() ? "" : ": " + reason));
            if (!strip->valid() || strip->size.cx != part.right - part.left || strip->size.cy != part.bottom - part.top)
                return failWith(why, "the picture source gave a malformed strip for rows " + std::to_string(part.top) +
                                         " to " + std::to_string(part.bottom));
            SourceBitmap bitmap(strip->size, strip->stride, strip->format, const_cast<BYTE*>(strip->pixels()));
            Xlate xlate{engine::createXlate(strip->format == BMF_8BPP ? strip->palette : std::vector<ULONG>{},
                                            strip->format)};
            Clip clip{clipFor(target, surfaceRect)};
            if (!bitmap.surface || !xlate.xlate || !clip.clip)
                return failWith(why, "the engine cannot make the source bitmap");
            POINTL from{0, 0};
            SetLastError(ERROR_SUCCESS);
            if (!copyBits(so, bitmap.surface, clip.clip, xlate.xlate, &target, &from))
                return failWith(why, errorText("DrvCopyBits", GetLastError()));
        }
        return true;
    });
}

ULONG PrinterDevice::escape(ULONG code, const void* in, ULONG inSize, void* out, ULONG outSize) {
    auto escapeFn = driverFunction<EscapeFn>(INDEX_DrvEscape);
    if (!escapeFn) {
        lastError_ = "the driver has no DrvEscape";
        return 0;
    }
    SURFOBJ* so = engine::lockForDriver(surface_);
    SetLastError(ERROR_SUCCESS);
    ULONG result = escapeFn(so, code, inSize, const_cast<void*>(in), outSize, out);
    DWORD error = GetLastError();
    EngUnlockSurface(so);
    if (result == 0 && error != ERROR_SUCCESS) lastError_ = errorText("DrvEscape", error);
    return result;
}

}  // namespace platform::printing
