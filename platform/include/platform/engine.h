// The graphics engine's own side of the driver interface: what the engine (GDI) keeps about devices
// and surfaces, and the objects it makes for the drawing calls it hands to a driver. Not a Windows
// interface; the printing front (platform/printing.h) and tests use it.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "win/winddi.h"

namespace platform::engine {

// ---- Devices ---------------------------------------------------------------------------------------
// The engine's record of a device of a loaded driver: its DDI table and, once enabled, its DHPDEV.
HDEV createDevice(const DRVENABLEDATA& driver);
void deleteDevice(HDEV hdev);
void setDevicePdev(HDEV hdev, DHPDEV pdev);
DHPDEV devicePdev(HDEV hdev);
// The driver's function for a DDI index, or null.
PFN driverFunction(HDEV hdev, ULONG index);

// ---- Surfaces --------------------------------------------------------------------------------------
struct SurfaceInfo {
    HDEV hdev = nullptr;      // from EngAssociateSurface
    FLONG hooks = 0;          // from EngAssociateSurface (device surfaces)
    bool device = false;      // made by EngCreateDeviceSurface
    bool banding = false;     // marked by EngMarkBandingSurface
    DHSURF dhsurf = nullptr;
    SIZEL size{};
    ULONG format = 0;
};
std::optional<SurfaceInfo> surfaceInfo(HSURF surface);
size_t liveSurfaceCount();
// A SURFOBJ for a surface for the length of one drawing call, with dhpdev and hdev filled in as
// the engine hands it to the driver (EngLockSurface underneath: give it back with EngUnlockSurface).
// Engine bitmaps made for brushes (their copies of patterns) are not counted as live surfaces.
SURFOBJ* lockForDriver(HSURF surface);

// ---- Drawing objects -----------------------------------------------------------------------------------
// Brushes. A solid brush carries the destination's colour index (for an 8-bit grey surface, the
// grey level). A pattern brush carries its pattern surface (1 or 8 bits a pixel), the colour
// translation of the pattern and the hatch style; BRUSHOBJ_pvGetRbrush asks the device's
// DrvRealizeBrush for its realisation, and the engine draws such a brush itself from the pattern.
// The brush keeps its own copies of the pattern (an 8 x 8 hatch when pattern is null and hatch is
// below HS_DDI_MAX) and of the translation, so the caller may delete both; hdev may be null when
// the target surface is associated with the device. Null for a pattern that is not an engine bitmap.
BRUSHOBJ* createSolidBrush(ULONG colorIndex);
BRUSHOBJ* createPatternBrush(HSURF pattern, XLATEOBJ* xlate, ULONG hatch, HDEV hdev, HSURF target);
void deleteBrush(BRUSHOBJ* brush);

// Clips: the whole surface (no rectangles: DC_TRIVIAL), one rectangle (DC_RECT), or a set of
// rectangles (DC_COMPLEX), all cut to the surface; overlapping rectangles are merged into their
// union in bands. Delete with EngDeleteClip.
CLIPOBJ* createClip(const std::vector<RECTL>& rects, const RECTL& surfaceBounds);

// Colour translation from a source palette (RGB entries 0x00BBGGRR, red in the low byte, or none
// for a true-colour source of the given format) to the 256 greys of an 8-bit grey destination:
// grey = (77 R + 151 G + 28 B) >> 8. Trivial for the 256 greys in order. A true-colour source
// translates its pixels as read from their B, G, R bytes, that is 0x00RRGGBB (iSrcType PAL_BGR).
// With no palette, a 1-bit source is black and white and an 8-bit one is taken as grey.
XLATEOBJ* createXlate(const std::vector<ULONG>& sourcePalette, ULONG sourceFormat);
void deleteXlate(XLATEOBJ* xlate);

// A glyph picture's bytes, read-only once made and shared by the copies of a glyph (the same
// character drawn again in a line, the printing front's recorded drawing), so that a copy costs no
// picture. Compared by the bytes; assigning gives a glyph bytes of its own.
class GlyphBits {
public:
    using const_iterator = const BYTE*;
    GlyphBits() = default;
    GlyphBits(std::vector<BYTE> bytes) : bytes_(std::make_shared<const std::vector<BYTE>>(std::move(bytes))) {}
    GlyphBits(std::initializer_list<BYTE> bytes) : GlyphBits(std::vector<BYTE>(bytes)) {}
    const BYTE* data() const { return bytes_ ? bytes_->data() : nullptr; }
    size_t size() const { return bytes_ ? bytes_->size() : 0; }
    bool empty() const { return size() == 0; }
    const BYTE& operator[](size_t i) const { return (*bytes_)[i]; }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size(); }
    void assign(size_t count, BYTE value) { *this = GlyphBits(std::vector<BYTE>(count, value)); }
    // Whether the two hold the very same bytes (made once), not only equal ones.
    bool sharedWith(const GlyphBits& other) const { return bytes_ && bytes_ == other.bytes_; }
    friend bool operator==(const GlyphBits& a, const GlyphBits& b) {
        return a.bytes_ == b.bytes_ || std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    std::shared_ptr<const std::vector<BYTE>> bytes_;
};

// Text: glyph pictures at positions (the engine's text object), in a font of the given type flags.
struct Glyph {
    POINTL position;            // of the glyph's origin on the surface
    POINTL origin;              // offset of the picture's top-left corner from the position
    SIZEL size;                 // picture size in pixels
    GlyphBits bits;             // rows of (cx + 7) / 8 bytes, most significant bit first, 1 = ink
};
struct TextObjects {
    STROBJ* text;
    FONTOBJ* font;
};
// STROBJ_bEnum hands out all glyphs in one batch (and pgp points at them too).
TextObjects createText(const std::vector<Glyph>& glyphs, FLONG fontType, const RECTL& background);
void deleteText(const TextObjects& objects);

}  // namespace platform::engine
