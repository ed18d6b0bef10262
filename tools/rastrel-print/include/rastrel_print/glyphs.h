// Glyph pictures for the printing front, rendered by FreeType one bit a pixel: a font file at a
// size in points on a device of a given resolution.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engine.h"

namespace rastrel_print {

// One line of text laid out: the glyph pictures at their positions (pixels), the pen's advance.
struct TextLine {
    std::vector<platform::engine::Glyph> glyphs;  // spaces included, with empty pictures
    LONG advance = 0;
};

class FontFace {
public:
    // Opens a font file; nothing (and the reason in *why) when FreeType cannot read it.
    static std::unique_ptr<FontFace> open(const std::string& path, std::string* why);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // Lays out UTF-8 text (bad sequences become U+FFFD) at `points` on a device of dpiX x dpiY,
    // the pen starting on the baseline at `pen`. Characters the font lacks get its missing-glyph box.
    TextLine layout(std::string_view utf8, double points, unsigned dpiX, unsigned dpiY, POINTL pen);
    // The family and style names the file gives.
    std::string name() const;

private:
    struct Impl;
    explicit FontFace(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Fonts by file, opened once.
class FontCache {
public:
    FontFace* get(const std::string& path, std::string* why);

private:
    std::map<std::string, std::unique_ptr<FontFace>> faces_;
};

// Decodes UTF-8 into code points; a bad sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);

}  // namespace rastrel_print
