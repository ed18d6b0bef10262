// The printing front of the graphics engine: what GDI does for one printer device context. It opens
// the printer, loads its driver module, enables the device and its surface, runs the job calls and
// turns drawing in device pixels into the DDI objects and the driver's hooked Drv* calls. Not a
// Windows interface; tools and tests use it to print through a driver as an application would.
//
// Each page's drawing is recorded and played back when the page ends: once, followed by DrvSendPage,
// for a plain surface; once per band, moved by the band's origin, for a banded one (DrvStartBanding,
// DrvNextBand until the origin is (-1, -1)). What is left out: device contexts, mapping modes, fonts
// of the engine (text arrives as glyph pictures), ROPs other than copying, regions as objects.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/engine.h"
#include "win/kernel.h"
#include "win/spooler.h"
#include "win/winddi.h"

#ifndef ED_ABORTDOC
#define ED_ABORTDOC 1  // DrvEndDoc: the document is being cancelled
#endif

namespace platform::printing {

// A point in device pixels with a fractional part (paths keep 1/16 pixel).
struct PointD {
    double x = 0;
    double y = 0;
};

// A pen: its grey (0 black .. 255 white), width in device pixels (1 or less: the one-pixel cosmetic
// line) and, for wider lines, the joins and ends (JOIN_*, ENDCAP_*).
struct Pen {
    BYTE grey = 0;
    double width = 0;
    ULONG join = JOIN_ROUND;
    ULONG cap = ENDCAP_ROUND;
};

// Figures of straight and Bezier segments, as a PATHOBJ is built from them.
class Path {
public:
    Path& moveTo(PointD p);
    Path& lineTo(PointD p);
    // A cubic Bezier from the current point through control points c1 and c2 to p.
    Path& bezierTo(PointD c1, PointD c2, PointD p);
    Path& close();
    // Helpers: a closed rectangle figure; a closed ellipse of four Bezier curves inside the box.
    Path& rectangle(double left, double top, double right, double bottom);
    Path& ellipse(double left, double top, double right, double bottom);

    bool empty() const { return figures_.empty(); }
    bool hasBeziers() const;
    // Bounds of all points (control points included), or nothing for an empty path.
    std::optional<RECTL> bounds() const;

    struct Segment {
        bool bezier = false;
        std::array<PointD, 3> points{};  // a line uses points[0]
    };
    struct Figure {
        PointD start;
        std::vector<Segment> segments;
        bool closed = false;
    };
    const std::vector<Figure>& figures() const { return figures_; }

private:
    std::vector<Figure> figures_;
};

// A source picture: top-down rows of BMF_8BPP (with a palette of up to 256 entries 0x00BBGGRR),
// BMF_24BPP (blue, green, red) or BMF_32BPP (blue, green, red, unused) pixels.
struct Picture {
    SIZEL size{};
    ULONG format = BMF_8BPP;
    LONG stride = 0;  // bytes a row, at least the pixels' bytes, a multiple of 4
    std::vector<BYTE> bits;
    std::vector<ULONG> palette;
    // Rows kept outside `bits` (a mapped file, read only): `outside` points at `outsideBytes` bytes
    // that `keeper` keeps alive, and `bits` is left empty.
    const BYTE* outside = nullptr;
    size_t outsideBytes = 0;
    std::shared_ptr<const void> keeper;

    // A white picture of the size and format, rows padded to 4 bytes; an 8-bit picture gets the grey
    // ramp as its palette.
    static Picture blank(LONG width, LONG height, ULONG format);
    const BYTE* pixels() const { return outside ? outside : bits.data(); }
    size_t pixelBytes() const { return outside ? outsideBytes : bits.size(); }
    BYTE* row(LONG y) { return bits.data() + static_cast<size_t>(y) * stride; }  // rows in bits only
    const BYTE* row(LONG y) const { return pixels() + static_cast<size_t>(y) * stride; }
    bool valid() const;
};

// Renders the part of a picture that is needed, on demand: `part` is relative to the picture's
// top-left corner and the answer must be exactly part's size (nothing, with the reason in *why:
// the picture cannot be made).
using PictureSource = std::function<std::optional<Picture>(const RECTL& part, std::string* why)>;

// An 8 x 8 pattern: row 0 first, most significant bit leftmost, 1 = ink; ink and paper greys.
struct Pattern {
    std::array<BYTE, 8> rows{};
    BYTE ink = 0;
    BYTE paper = 255;
};

// What the device reported when it was enabled.
struct DeviceCaps {
    SIZEL printable{};      // GDIINFO ulHorzRes x ulVertRes: the page in device pixels
    SIZEL physical{};       // GDIINFO szlPhysSize
    POINTL printableOffset{};  // GDIINFO ptlPhysOffset: printable area's corner on the paper
    ULONG dpiX = 0, dpiY = 0;  // GDIINFO ulLogPixelsX / Y
    SIZEL surface{};        // the device surface (a band when banded)
    bool banded = false;
    FLONG hooks = 0;        // the driver's hooks on its device surface
};

class PrinterDevice {
public:
    // Opens the printer and enables its device with this DEVMODE (the printer's own when null; the
    // bytes are copied, as the driver may repair them in place). Throws std::runtime_error naming
    // the step that failed and its error code.
    explicit PrinterDevice(const std::u16string& printerName, const DEVMODEW* devmode = nullptr);
    ~PrinterDevice();
    PrinterDevice(const PrinterDevice&) = delete;
    PrinterDevice& operator=(const PrinterDevice&) = delete;

    const DeviceCaps& caps() const { return caps_; }
    const GDIINFO& gdiInfo() const { return gdi_; }
    const DEVINFO& devInfo() const { return devInfo_; }
    HANDLE printer() const { return printer_; }
    HDEV hdev() const { return hdev_; }
    DHPDEV pdev() const { return pdev_; }
    HSURF surface() const { return surface_; }
    const DRVENABLEDATA& driverData() const { return driverData_; }
    DWORD jobId() const { return jobId_; }

    // The job. Each returns false on failure; lastError() then says what failed and why.
    bool startDoc(const std::u16string& documentName);
    bool startPage();
    // Plays the page's drawing (per band on a banded surface) and sends it.
    bool endPage();
    // Ends the job; with abort a page still open is dropped and DrvEndDoc gets ED_ABORTDOC.
    bool endDoc(bool abort = false);
    bool inDocument() const { return inDoc_; }
    bool inPage() const { return inPage_; }
    // Pages ended in this document and bands played for the last one.
    int pagesSent() const { return pagesSent_; }
    int lastPageBands() const { return lastBands_; }

    // Drawing on the open page, in device pixels of the page (recorded, played at endPage). Each
    // returns false when there is no open page or the arguments are unusable.
    // A solid rectangle: DrvBitBlt PATCOPY with a solid brush (clip: the rectangles given, else none).
    bool fillRect(const RECTL& rect, BYTE grey, const std::vector<RECTL>& clip = {});
    // A rectangle of an 8 x 8 pattern: DrvBitBlt PATCOPY with a pattern brush and a trivial clip
    // whose bounds are the rectangle.
    bool patternRect(const RECTL& rect, const Pattern& pattern);
    // DrvLineTo for a cosmetic pen, else a geometric DrvStrokePath.
    bool line(PointD from, PointD to, const Pen& pen);
    bool polyline(const std::vector<PointD>& points, const Pen& pen, bool closed = false);
    bool strokePath(const Path& path, const Pen& pen);
    // DrvFillPath; winding or alternate (even-odd) fill.
    bool fillPath(const Path& path, BYTE grey, bool winding = true);
    // DrvTextOut of glyph pictures (positions on the page), after DrvGetGlyphMode.
    bool text(const std::vector<engine::Glyph>& glyphs, BYTE grey, FLONG fontType = FO_TYPE_TRUETYPE);
    // A picture into a rectangle: DrvCopyBits when the sizes agree, else DrvStretchBlt (HALFTONE or
    // COLORONCOLOR).
    bool picture(const RECTL& dest, std::shared_ptr<const Picture> picture, ULONG stretchMode = HALFTONE);
    // A picture of the rectangle's own size made on demand, in strips of at most stripRows rows, each
    // drawn with DrvCopyBits: only the parts that fall on the surface (the band) are asked for.
    bool renderedPicture(const RECTL& dest, PictureSource source, LONG stripRows = 512);

    // DrvEscape on the device surface, straight away; the driver's answer (0 also when it has none).
    ULONG escape(ULONG code, const void* in, ULONG inSize, void* out = nullptr, ULONG outSize = 0);

    const std::string& lastError() const { return lastError_; }

private:
    using Operation = std::function<bool(SURFOBJ* surface, POINTL shift, std::string* why)>;

    void enable(const std::u16string& printerName, const DEVMODEW* devmode);
    void teardown();
    bool fail(std::string what, DWORD error);
    bool record(Operation op);
    bool play(POINTL shift);
    template <class F>
    F driverFunction(ULONG index) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(engine::driverFunction(hdev_, index)));
    }
    bool hooked(FLONG hook) const { return (caps_.hooks & hook) != 0; }
    // The driver's function when it hooks the call on its surface, else the engine's own.
    template <class F>
    F drawingFunction(FLONG hook, ULONG index, F engineFunction) const {
        F driver = hooked(hook) ? driverFunction<F>(index) : nullptr;
        return driver ? driver : engineFunction;
    }
    bool nothingToDraw();

    HANDLE printer_ = nullptr;
    HMODULE module_ = nullptr;
    bool driverEnabled_ = false;
    DRVENABLEDATA driverData_{};
    HDEV hdev_ = nullptr;
    DHPDEV pdev_ = nullptr;
    HSURF surface_ = nullptr;
    std::vector<BYTE> devmode_;
    GDIINFO gdi_{};
    DEVINFO devInfo_{};
    std::vector<HSURF> patterns_;
    DeviceCaps caps_;

    bool inDoc_ = false;
    bool inPage_ = false;
    bool spoolerJob_ = false;
    DWORD jobId_ = 0;
    int pagesSent_ = 0;
    int lastBands_ = 0;
    std::vector<Operation> page_;
    std::string lastError_;
};

}  // namespace platform::printing
