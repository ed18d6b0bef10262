// The page description's fonts and text over the platform's font engine.
#include "rastrel_print/glyphs.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/fonts.h"

namespace rastrel_print {

namespace {

struct NamedFont {
    const char* name;
    Font font;
};
const std::vector<NamedFont>& families() {
    static const std::vector<NamedFont> table = {
        {"sans", {u"DejaVu Sans", FW_NORMAL, false}},
        {"sans-bold", {u"DejaVu Sans", FW_BOLD, false}},
        {"sans-oblique", {u"DejaVu Sans", FW_NORMAL, true}},
        {"sans-bold-oblique", {u"DejaVu Sans", FW_BOLD, true}},
        {"sans-condensed", {u"DejaVu Sans Condensed", FW_NORMAL, false}},
        {"serif", {u"DejaVu Serif", FW_NORMAL, false}},
        {"serif-bold", {u"DejaVu Serif", FW_BOLD, false}},
        {"serif-italic", {u"DejaVu Serif", FW_NORMAL, true}},
        {"serif-bold-italic", {u"DejaVu Serif", FW_BOLD, true}},
        {"mono", {u"DejaVu Sans Mono", FW_NORMAL, false}},
        {"mono-bold", {u"DejaVu Sans Mono", FW_BOLD, false}},
        {"mono-oblique", {u"DejaVu Sans Mono", FW_NORMAL, true}},
        {"mono-bold-oblique", {u"DejaVu Sans Mono", FW_BOLD, true}},
    };
    return table;
}

std::u16string utf16(std::u32string_view text) {
    std::u16string out;
    for (char32_t c : text) {
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
    }
    return out;
}

}  // namespace

LOGFONTW Font::logfont(double points, LONG dpiY) const {
    LOGFONTW lf{};
    // A negative height asks for the em, as an application asks for a size in points.
    lf.lfHeight = -std::max<LONG>(1, static_cast<LONG>(std::lround(points * dpiY / 72)));
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = NONANTIALIASED_QUALITY;
    std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), lf.lfFaceName);
    return lf;
}

std::vector<std::string> fontFamilies() {
    std::vector<std::string> names;
    for (const NamedFont& f : families()) names.push_back(f.name);
    return names;
}

const Font* familyFont(std::string_view family) {
    for (const NamedFont& f : families())
        if (family == f.name) return &f.font;
    return nullptr;
}

std::optional<TextLine> layout(const Font& font, std::string_view utf8, double points, LONG dpiX, LONG dpiY,
                               POINTL at, Align align, std::string* why, const RECTL* clip) {
    const LOGFONTW lf = font.logfont(points, dpiY);
    platform::fonts::Placement placement;
    placement.at = platform::fonts::PointD{static_cast<double>(at.x), static_cast<double>(at.y)};
    placement.align = TA_BASELINE | (align == Align::kRight ? TA_RIGHT : align == Align::kCenter ? TA_CENTER : TA_LEFT);
    placement.clip = clip;
    auto rendered = platform::fonts::render(lf, utf16(decodeUtf8(utf8)), placement, {dpiX, dpiY});
    if (!rendered) {
        if (why && platform::fonts::usable(lf, why)) *why = "the text cannot be laid out in its font at this size";
        return std::nullopt;
    }
    return TextLine{std::move(rendered->glyphs), rendered->extent.cx};
}

const Font* FontCache::get(const std::string& name, const std::string& folder, std::string* why) {
    if (const Font* family = familyFont(name)) return platform::fonts::usable(family->logfont(12, 72), why) ? family : nullptr;
    std::filesystem::path file(name);
    std::string path = file.is_absolute() || folder.empty() ? name : (std::filesystem::path(folder) / file).string();
    if (auto it = files_.find(path); it != files_.end()) return &it->second;
    auto family = platform::fonts::addFontFile(path, why);
    if (!family) return nullptr;
    return &files_.emplace(path, Font{family->name, FW_NORMAL, false}).first->second;
}

std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (extra == 9 || i + extra >= s.size()) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        bool good = true;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) {
                good = false;
                break;
            }
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!good || (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += cp;
        i += extra + 1;
    }
    return out;
}

}  // namespace rastrel_print
