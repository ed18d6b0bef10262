// Text for the printing front, through the platform's font engine (platform/fonts.h): the font
// names of a page description as fonts the engine knows, and lines of text as the one-bit glyph
// pictures GDI draws for them on a device of the printer's resolution.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engine.h"
#include "rastrel_print/page_description.h"
#include "win/gdi.h"

namespace rastrel_print {

// A font as the engine takes it: a face name it knows and a style.
struct Font {
    std::u16string face;  // a DejaVu family, or the name a font file was taken in under
    LONG weight = FW_NORMAL;
    bool italic = false;

    // The font at `points` on a device of dpiY pixels an inch: the em in whole pixels of it.
    LOGFONTW logfont(double points, LONG dpiY) const;
};

// The built-in families of the format (sans, sans-bold, ..., mono-bold-oblique): DejaVu faces.
std::vector<std::string> fontFamilies();
// The font of a family name, or null for a name that is not one.
const Font* familyFont(std::string_view family);

// One line of text laid out: the glyph pictures at their positions on the page (pixels), one a
// character, a blank character's without ink; the pen's advance over the line.
struct TextLine {
    std::vector<platform::engine::Glyph> glyphs;
    LONG advance = 0;
};

// Lays out UTF-8 text (bad sequences become U+FFFD) at `points` on a device of dpiX x dpiY, its
// baseline through `at`, which is the line's left end, centre or right end. Characters the font
// lacks come from the engine's fallback faces, else are its missing-glyph box. Each glyph is
// rendered once for the line, and with a clip (the part of the page that can show) only where it
// may show: a glyph wholly outside has no picture (0 x 0). Nothing, and the reason in *why, when
// the engine cannot make the font.
std::optional<TextLine> layout(const Font& font, std::string_view utf8, double points, LONG dpiX, LONG dpiY,
                               POINTL at, Align align, std::string* why, const RECTL* clip = nullptr);

// The fonts of descriptions by the names they write: a family, else a font file (relative to the
// description's folder), taken in by the font engine once.
class FontCache {
public:
    // Null, and the reason in *why, for a file that does not open or is not a font.
    const Font* get(const std::string& name, const std::string& folder, std::string* why);

private:
    std::map<std::string, Font> files_;  // by the file's path
};

// Decodes UTF-8 into code points; a bad sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);

}  // namespace rastrel_print
