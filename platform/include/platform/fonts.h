// The fonts behind the user-mode GDI: our FreeType faces under the Windows names, their metrics, and
// text laid out into positioned one-bit glyph pictures. Not a Windows interface: GDI's text calls use
// it, and so does the printing front of the engine to build its text objects for a printer's DrvTextOut.
//
// Faces are looked for in the folders of PLATFORM_FONT_PATH (colon-separated), else in
// /usr/share/fonts/truetype/dejavu, /usr/share/fonts/truetype/wqy and /usr/share/fonts/truetype.
// Windows names map to families: Arial, Tahoma, Verdana, Segoe UI, MS Sans Serif, ... to DejaVu Sans;
// Times New Roman, Georgia, ... to DejaVu Serif; Courier New, Consolas, ... to DejaVu Sans Mono;
// Arial Narrow to DejaVu Sans Condensed; SimSun, 宋体, SimHei, 黑体, Microsoft YaHei, 微软雅黑, KaiTi,
// MingLiU, PMingLiU, MS Gothic, MS Mincho, Gulim, Batang, ... to WenQuanYi Micro Hei. Characters a
// face lacks come from WenQuanYi Micro Hei, then from DejaVu Sans; what none has is the face's
// missing-glyph picture. Font files can be added under names of their own (addFontFile). Everything
// is rendered without anti-aliasing, hinted for one-bit output.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engine.h"
#include "win/gdi.h"

namespace platform::fonts {

// Device pixels per inch; lfHeight and lfWidth are pixels of this resolution. The resolution sets
// the default size (lfHeight 0: 12 points) and the natural width on devices whose pixels are not
// square (a face's proportions are kept in inches).
struct Resolution {
    LONG dpiX = 96;
    LONG dpiY = 96;
};

// A family as GDI enumerates it under one name.
struct Family {
    std::u16string name;          // the name it goes by (a Windows name or our family's own)
    std::u16string face;          // our family that draws it, e.g. u"DejaVu Sans"
    BYTE charSet = ANSI_CHARSET;
    BYTE pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
};
// Every name we answer to, our families first.
std::vector<Family> families();
// The family for a face name (without regard to case), or nothing for a name we do not know.
std::optional<Family> findFamily(std::u16string_view name);

// Takes in a font file for this process, as a private font resource: its face draws under the
// name given back, in every weight and slant (bold and italic simulated), with characters it lacks
// coming from the fallback faces. The name is the file's family name, or with its style name (then
// a number) when that is taken, within the 31 units of a face name; the family enumerates and is
// found like ours. The same file again gives the same family. Nothing, and the reason in `why`, for
// a file that does not open or holds no scalable font.
std::optional<Family> addFontFile(const std::string& path, std::string* why = nullptr);

// Whether a font can be made for the LOGFONTW (a terminated face name, sizes within 16384, a face
// file that opens); the reason in `why` when not.
bool usable(const LOGFONTW& font, std::string* why = nullptr);

// Metrics as GetTextMetricsW gives them for the font in device pixels.
std::optional<TEXTMETRICW> metrics(const LOGFONTW& font, Resolution resolution = {});
// The unrotated extent: the sum of the characters' advances (or of dx when given, one per UTF-16
// unit) by the cell height.
std::optional<SIZE> extent(const LOGFONTW& font, std::u16string_view text, Resolution resolution = {},
                           const INT* dx = nullptr);

struct PointD {
    double x = 0;
    double y = 0;
};

// Where the text goes, in device pixels.
struct Placement {
    PointD at;                        // the reference point
    UINT align = TA_LEFT | TA_TOP;    // TA_LEFT, TA_RIGHT, TA_CENTER with TA_TOP, TA_BASELINE, TA_BOTTOM
    const INT* dx = nullptr;          // advances, one per UTF-16 unit (ExtTextOutW's lpDx), or null
    bool useOrientation = false;      // glyphs turn by lfOrientation (GDI's advanced mode), else with
                                      // the escapement
    const RECTL* clip = nullptr;      // when given, what can show: a glyph whose picture lies wholly
                                      // outside is not rendered and has no picture (0 x 0)
};

// A string rendered: the baseline runs from the reference point (moved for the alignment) at the
// font's escapement, counter-clockwise in tenths of a degree on a y-down surface.
struct Rendered {
    // One picture per character (surrogate pairs are one character), positions on the surface; a blank
    // character has a 1 x 1 picture without ink. The same glyph drawn again shares its picture's bytes.
    std::vector<engine::Glyph> glyphs;
    // Underline and strike-out bars as pictures, when the font asks for them.
    std::vector<engine::Glyph> bars;
    // Corners of the text's cell (the unrotated extent turned with the baseline): top-left, top-right,
    // bottom-right, bottom-left as the text reads.
    std::array<PointD, 4> cell{};
    RECTL bounds{};      // of the ink of glyphs and bars (empty when there is none; with a clip, of the
                         // glyphs that have pictures)
    SIZE extent{};       // as extent() gives it
    PointD end;          // the baseline point after the last advance (where TA_UPDATECP would go on)
    TEXTMETRICW metrics{};
};
std::optional<Rendered> render(const LOGFONTW& font, std::u16string_view text, const Placement& placement,
                               Resolution resolution = {});

// A filled convex polygon as a one-bit picture (a pixel is inked when its centre is inside), for the
// bars and backgrounds of text.
engine::Glyph fillPolygon(const std::vector<PointD>& corners);

// ---- GDI objects, for tests ------------------------------------------------------------------------
// Live DCs, bitmaps, fonts and brushes made by this process (stock objects not counted).
size_t liveGdiObjects();

}  // namespace platform::fonts
