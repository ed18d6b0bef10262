// Fonts over FreeType: the face table with the Windows names, metrics, and text laid out into
// one-bit glyph pictures.
#include "platform/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <tuple>

#include "objects.h"
#include "platform/control.h"

namespace fs = std::filesystem;

namespace platform::fonts {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr LONG kMaxSize = 16384;
constexpr size_t kMaxName = LF_FACESIZE - 1;  // units of a face name, without its terminator

// ---- The face table ------------------------------------------------------------------------------------
struct FamilyDef {
    const char16_t* name;
    const char* files[4];  // regular, bold, italic, bold italic (null: simulated from the regular one);
                           // a name in the font folders, or an absolute path
    int index;             // face in a collection
    BYTE charSet;
    BYTE pitchAndFamily;
};
// Our families are numbered first, the font files taken in by addFontFile after them.
using FamilyId = int;
enum : FamilyId { kSans, kSerif, kMono, kCondensed, kCjk, kCjkMono, kFamilyCount };
const FamilyDef kFamilies[kFamilyCount] = {
    {u"DejaVu Sans",
     {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf", "DejaVuSans-BoldOblique.ttf"},
     0, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS},
    {u"DejaVu Serif",
     {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf", "DejaVuSerif-BoldItalic.ttf"},
     0, ANSI_CHARSET, VARIABLE_PITCH | FF_ROMAN},
    {u"DejaVu Sans Mono",
     {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-BoldOblique.ttf"},
     0, ANSI_CHARSET, FIXED_PITCH | FF_MODERN},
    {u"DejaVu Sans Condensed",
     {"DejaVuSansCondensed.ttf", "DejaVuSansCondensed-Bold.ttf", "DejaVuSansCondensed-Oblique.ttf",
      "DejaVuSansCondensed-BoldOblique.ttf"},
     0, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS},
    {u"WenQuanYi Micro Hei", {"wqy-microhei.ttc", nullptr, nullptr, nullptr}, 0, GB2312_CHARSET,
     VARIABLE_PITCH | FF_SWISS},
    {u"WenQuanYi Micro Hei Mono", {"wqy-microhei.ttc", nullptr, nullptr, nullptr}, 1, GB2312_CHARSET,
     FIXED_PITCH | FF_MODERN},
};

struct Alias {
    const char16_t* name;
    FamilyId family;
    BYTE charSet;
};
const Alias kAliases[] = {
    {u"Arial", kSans, ANSI_CHARSET},
    {u"Helvetica", kSans, ANSI_CHARSET},
    {u"Tahoma", kSans, ANSI_CHARSET},
    {u"Verdana", kSans, ANSI_CHARSET},
    {u"Segoe UI", kSans, ANSI_CHARSET},
    {u"Calibri", kSans, ANSI_CHARSET},
    {u"Trebuchet MS", kSans, ANSI_CHARSET},
    {u"Lucida Sans Unicode", kSans, ANSI_CHARSET},
    {u"Microsoft Sans Serif", kSans, ANSI_CHARSET},
    {u"MS Sans Serif", kSans, ANSI_CHARSET},
    {u"MS Shell Dlg", kSans, ANSI_CHARSET},
    {u"MS Shell Dlg 2", kSans, ANSI_CHARSET},
    {u"System", kSans, ANSI_CHARSET},
    {u"Arial Black", kSans, ANSI_CHARSET},
    {u"Arial Narrow", kCondensed, ANSI_CHARSET},
    {u"Times New Roman", kSerif, ANSI_CHARSET},
    {u"Times", kSerif, ANSI_CHARSET},
    {u"Georgia", kSerif, ANSI_CHARSET},
    {u"Cambria", kSerif, ANSI_CHARSET},
    {u"Garamond", kSerif, ANSI_CHARSET},
    {u"Book Antiqua", kSerif, ANSI_CHARSET},
    {u"Palatino Linotype", kSerif, ANSI_CHARSET},
    {u"MS Serif", kSerif, ANSI_CHARSET},
    {u"Courier New", kMono, ANSI_CHARSET},
    {u"Courier", kMono, ANSI_CHARSET},
    {u"Consolas", kMono, ANSI_CHARSET},
    {u"Lucida Console", kMono, ANSI_CHARSET},
    {u"Fixedsys", kMono, ANSI_CHARSET},
    {u"Terminal", kMono, ANSI_CHARSET},
    {u"SimSun", kCjk, GB2312_CHARSET},
    {u"\u5B8B\u4F53", kCjk, GB2312_CHARSET},              // 宋体
    {u"NSimSun", kCjkMono, GB2312_CHARSET},
    {u"\u65B0\u5B8B\u4F53", kCjkMono, GB2312_CHARSET},    // 新宋体
    {u"SimHei", kCjk, GB2312_CHARSET},
    {u"\u9ED1\u4F53", kCjk, GB2312_CHARSET},              // 黑体
    {u"Microsoft YaHei", kCjk, GB2312_CHARSET},
    {u"\u5FAE\u8F6F\u96C5\u9ED1", kCjk, GB2312_CHARSET},  // 微软雅黑
    {u"KaiTi", kCjk, GB2312_CHARSET},
    {u"\u6977\u4F53", kCjk, GB2312_CHARSET},              // 楷体
    {u"FangSong", kCjk, GB2312_CHARSET},
    {u"\u4EFF\u5B8B", kCjk, GB2312_CHARSET},              // 仿宋
    {u"MingLiU", kCjkMono, CHINESEBIG5_CHARSET},
    {u"\u7D30\u660E\u9AD4", kCjkMono, CHINESEBIG5_CHARSET},          // 細明體
    {u"PMingLiU", kCjk, CHINESEBIG5_CHARSET},
    {u"\u65B0\u7D30\u660E\u9AD4", kCjk, CHINESEBIG5_CHARSET},        // 新細明體
    {u"Microsoft JhengHei", kCjk, CHINESEBIG5_CHARSET},
    {u"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4", kCjk, CHINESEBIG5_CHARSET},  // 微軟正黑體
    {u"DFKai-SB", kCjk, CHINESEBIG5_CHARSET},
    {u"MS Gothic", kCjkMono, SHIFTJIS_CHARSET},
    {u"MS PGothic", kCjk, SHIFTJIS_CHARSET},
    {u"MS Mincho", kCjkMono, SHIFTJIS_CHARSET},
    {u"MS PMincho", kCjk, SHIFTJIS_CHARSET},
    {u"MS UI Gothic", kCjk, SHIFTJIS_CHARSET},
    {u"Meiryo", kCjk, SHIFTJIS_CHARSET},
    {u"Gulim", kCjk, HANGUL_CHARSET},
    {u"\uAD74\uB9BC", kCjk, HANGUL_CHARSET},              // 굴림
    {u"Batang", kCjk, HANGUL_CHARSET},
    {u"\uBC14\uD0D5", kCjk, HANGUL_CHARSET},              // 바탕
    {u"Malgun Gothic", kCjk, HANGUL_CHARSET},
    {u"\uB9D1\uC740 \uACE0\uB515", kCjk, HANGUL_CHARSET},  // 맑은 고딕
};

bool cjkCharSet(BYTE charSet) {
    return charSet == SHIFTJIS_CHARSET || charSet == HANGUL_CHARSET || charSet == GB2312_CHARSET ||
           charSet == CHINESEBIG5_CHARSET;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// A font file taken in: a family of one face, under a name of its own.
struct FileFamily {
    std::u16string name;
    std::string path;  // absolute
    FamilyDef def;     // points into name and path
};
// Stable addresses: the definitions point into their own strings. Guarded by the GDI lock.
std::deque<FileFamily>& fileFamilies() {
    static auto* list = new std::deque<FileFamily>;
    return *list;
}

const FamilyDef& def(FamilyId id) { return id < kFamilyCount ? kFamilies[id] : fileFamilies()[id - kFamilyCount].def; }
FamilyId familyCount() { return kFamilyCount + static_cast<FamilyId>(fileFamilies().size()); }

Family familyOf(FamilyId id, std::u16string name, BYTE charSet) {
    return Family{std::move(name), def(id).name, charSet, def(id).pitchAndFamily};
}

std::optional<std::pair<FamilyId, BYTE>> lookup(std::u16string_view name) {
    for (int i = 0; i < kFamilyCount; ++i)
        if (sameName(name, kFamilies[i].name)) return std::make_pair(static_cast<FamilyId>(i), kFamilies[i].charSet);
    for (const Alias& alias : kAliases)
        if (sameName(name, alias.name)) return std::make_pair(alias.family, alias.charSet);
    for (FamilyId i = kFamilyCount; i < familyCount(); ++i)
        if (sameName(name, def(i).name)) return std::make_pair(i, def(i).charSet);
    return std::nullopt;
}

// ---- FreeType ------------------------------------------------------------------------------------------
std::vector<fs::path> fontFolders() {
    std::vector<fs::path> folders;
    if (const char* path = std::getenv("PLATFORM_FONT_PATH")) {
        std::string list = path;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) folders.emplace_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    if (folders.empty())
        folders = {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/wqy", "/usr/share/fonts/truetype"};
    return folders;
}

struct Library {
    FT_Library library = nullptr;
    std::map<std::pair<std::string, int>, FT_Face> faces;  // by file name and index; null: cannot be opened
};
Library& freetype() {
    static Library* state = [] {
        auto* s = new Library;
        if (FT_Init_FreeType(&s->library)) s->library = nullptr;
        return s;
    }();
    return *state;
}

// A scalable face of a file, with its Unicode character map chosen; FreeType's error otherwise
// (FT_Err_Invalid_File_Format for a face without outlines).
FT_Error newFace(const fs::path& path, int index, FT_Face* face) {
    *face = nullptr;
    FT_Error error = FT_New_Face(freetype().library, path.c_str(), index, face);
    if (error) {
        *face = nullptr;
        return error;
    }
    if (!FT_IS_SCALABLE(*face)) {
        FT_Done_Face(*face);
        *face = nullptr;
        return FT_Err_Invalid_File_Format;
    }
    FT_Select_Charmap(*face, FT_ENCODING_UNICODE);
    return 0;
}

FT_Face openFace(const char* file, int index) {
    Library& ft = freetype();
    if (!ft.library || !file) return nullptr;
    auto key = std::make_pair(std::string(file), index);
    if (auto it = ft.faces.find(key); it != ft.faces.end()) return it->second;
    FT_Face face = nullptr;
    std::error_code ec;
    // An absolute path is the file itself (a font file taken in), else the file is looked for.
    std::vector<fs::path> candidates;
    if (fs::path(file).is_absolute())
        candidates.emplace_back(file);
    else
        for (const fs::path& folder : fontFolders()) candidates.push_back(folder / file);
    for (const fs::path& path : candidates) {
        if (!fs::is_regular_file(path, ec)) continue;
        if (newFace(path, index, &face) == 0) break;
    }
    ft.faces.emplace(key, face);
    return face;
}

// A face of a family in a style, with what must be simulated.
struct StyledFace {
    FT_Face face = nullptr;
    bool simBold = false;
    bool simItalic = false;
};
StyledFace styledFace(FamilyId id, bool bold, bool italic) {
    const FamilyDef& family = def(id);
    int style = (bold ? 1 : 0) | (italic ? 2 : 0);
    if (FT_Face face = openFace(family.files[style], family.index)) return StyledFace{face, false, false};
    // Nearest file: keep what the family has of the style, simulate the rest.
    if (bold && italic) {
        if (FT_Face face = openFace(family.files[1], family.index)) return StyledFace{face, false, true};
        if (FT_Face face = openFace(family.files[2], family.index)) return StyledFace{face, true, false};
    }
    return StyledFace{openFace(family.files[0], family.index), bold, italic};
}

// ---- A font realised for a size -------------------------------------------------------------------------
struct Units {
    double upem = 2048;
    double winAscent = 0, winDescent = 0;
    double hheaAscent = 0, hheaDescent = 0, lineGap = 0;
    double avgWidth = 0, maxAdvance = 0;
    double underlinePosition = 0, underlineThickness = 0;
    double strikePosition = 0, strikeSize = 0;
    WCHAR firstChar = 0x20, lastChar = 0xFFFC;
};

Units unitsOf(FT_Face face) {
    Units u;
    u.upem = face->units_per_EM ? face->units_per_EM : 2048;
    u.hheaAscent = face->ascender;
    u.hheaDescent = -face->descender;
    u.lineGap = face->height - (face->ascender - face->descender);
    u.maxAdvance = face->max_advance_width;
    u.underlinePosition = face->underline_position;
    u.underlineThickness = face->underline_thickness;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF) {
        u.winAscent = os2->usWinAscent;
        u.winDescent = os2->usWinDescent;
        u.avgWidth = os2->xAvgCharWidth;
        u.strikePosition = os2->yStrikeoutPosition;
        u.strikeSize = os2->yStrikeoutSize;
        u.firstChar = static_cast<WCHAR>(std::max<FT_UShort>(os2->usFirstCharIndex, 0x20));
        u.lastChar = static_cast<WCHAR>(os2->usLastCharIndex);
    }
    if (u.winAscent + u.winDescent <= 0) {
        u.winAscent = u.hheaAscent;
        u.winDescent = u.hheaDescent;
    }
    if (u.winAscent + u.winDescent <= 0) {
        u.winAscent = u.upem * 0.8;
        u.winDescent = u.upem * 0.2;
    }
    if (u.avgWidth <= 0) u.avgWidth = u.upem / 2;
    if (u.strikeSize <= 0) {
        u.strikeSize = u.underlineThickness > 0 ? u.underlineThickness : u.upem / 20;
        u.strikePosition = u.winAscent / 3;
    }
    if (u.underlineThickness <= 0) {
        u.underlineThickness = u.upem / 20;
        u.underlinePosition = -u.upem / 10;
    }
    return u;
}

struct Realised {
    FamilyId family = kSans;
    StyledFace primary;
    Units units;
    double emY = 16, emX = 16;  // pixels
    LONG ascent = 0, descent = 0;
    TEXTMETRICW metrics{};
    double escapement = 0, orientation = 0;  // radians
    bool underline = false, strikeOut = false;
};

bool terminatedFace(const LOGFONTW& font) {
    return std::find(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'\0') != std::end(font.lfFaceName);
}

FamilyId chooseFamily(const LOGFONTW& font, BYTE* charSet) {
    std::u16string_view name(font.lfFaceName);
    auto found = lookup(name);
    if (found) {
        // As the Windows font mapper does, a far-eastern character set outweighs a Latin face name.
        if (cjkCharSet(font.lfCharSet) && !cjkCharSet(found->second)) {
            *charSet = font.lfCharSet;
            return kCjk;
        }
        *charSet = found->second;
        return found->first;
    }
    if (cjkCharSet(font.lfCharSet)) {
        *charSet = font.lfCharSet;
        return kCjk;
    }
    *charSet = ANSI_CHARSET;
    BYTE family = font.lfPitchAndFamily & 0xF0;
    if (family == FF_ROMAN) return kSerif;
    if (family == FF_MODERN || (font.lfPitchAndFamily & 0x03) == FIXED_PITCH) return kMono;
    return kSans;
}

std::optional<Realised> realise(const LOGFONTW& font, Resolution res, std::string* why = nullptr) {
    auto fail = [why](const char* reason) -> std::optional<Realised> {
        if (why) *why = reason;
        return std::nullopt;
    };
    if (!terminatedFace(font)) return fail("face name without terminator");
    if (font.lfHeight < -kMaxSize || font.lfHeight > kMaxSize || font.lfWidth < -kMaxSize || font.lfWidth > kMaxSize)
        return fail("font size out of range");
    if (res.dpiX <= 0 || res.dpiY <= 0 || res.dpiX > 100000 || res.dpiY > 100000) return fail("bad resolution");
    Realised r;
    BYTE familyCharSet = ANSI_CHARSET;
    r.family = chooseFamily(font, &familyCharSet);
    r.primary = styledFace(r.family, font.lfWeight >= FW_SEMIBOLD, font.lfItalic != 0);
    if (!r.primary.face && r.family != kSans) {
        r.family = kSans;
        r.primary = styledFace(kSans, font.lfWeight >= FW_SEMIBOLD, font.lfItalic != 0);
    }
    if (!r.primary.face) return fail("no font file can be opened");
    Units& u = r.units;
    u = unitsOf(r.primary.face);
    double cellUnits = u.winAscent + u.winDescent;
    if (font.lfHeight < 0) {
        r.emY = -font.lfHeight;
    } else if (font.lfHeight > 0) {
        r.emY = std::max(1.0, std::floor(font.lfHeight * u.upem / cellUnits + 0.5));
    } else {
        r.emY = std::floor(12.0 * res.dpiY / 72 + 0.5);
    }
    if (font.lfWidth != 0)
        r.emX = std::abs(font.lfWidth) * u.upem / u.avgWidth;
    else
        r.emX = r.emY * res.dpiX / res.dpiY;
    r.emX = std::clamp(r.emX, 1.0, 4.0 * kMaxSize);
    double sy = r.emY / u.upem, sx = r.emX / u.upem;
    if (font.lfHeight > 0) {
        r.ascent = static_cast<LONG>(std::floor(u.winAscent * font.lfHeight / cellUnits + 0.5));
        r.descent = font.lfHeight - r.ascent;
    } else {
        r.ascent = static_cast<LONG>(std::floor(u.winAscent * sy + 0.5));
        r.descent = static_cast<LONG>(std::floor(u.winDescent * sy + 0.5));
    }
    TEXTMETRICW& tm = r.metrics;
    tm.tmHeight = r.ascent + r.descent;
    tm.tmAscent = r.ascent;
    tm.tmDescent = r.descent;
    tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - static_cast<LONG>(r.emY));
    tm.tmExternalLeading = std::max<LONG>(
        0, static_cast<LONG>(std::floor((u.hheaAscent + u.hheaDescent + u.lineGap - cellUnits) * sy + 0.5)));
    tm.tmAveCharWidth = std::max<LONG>(1, static_cast<LONG>(std::floor(u.avgWidth * sx + 0.5)));
    tm.tmMaxCharWidth = std::max<LONG>(1, static_cast<LONG>(std::floor(u.maxAdvance * sx + 0.5)));
    bool bold = font.lfWeight >= FW_SEMIBOLD;
    tm.tmWeight = bold ? std::max<LONG>(font.lfWeight, FW_BOLD) : (font.lfWeight ? font.lfWeight : FW_NORMAL);
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = res.dpiX;
    tm.tmDigitizedAspectY = res.dpiY;
    tm.tmFirstChar = u.firstChar;
    tm.tmLastChar = u.lastChar;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = font.lfItalic ? 1 : 0;
    tm.tmUnderlined = font.lfUnderline ? 1 : 0;
    tm.tmStruckOut = font.lfStrikeOut ? 1 : 0;
    BYTE pitch = def(r.family).pitchAndFamily;
    // TMPF_FIXED_PITCH set means a variable-pitch font.
    tm.tmPitchAndFamily = static_cast<BYTE>((pitch & 0xF0) | ((pitch & 0x03) == FIXED_PITCH ? 0 : TMPF_FIXED_PITCH) |
                                            TMPF_VECTOR | TMPF_TRUETYPE);
    tm.tmCharSet = font.lfCharSet == DEFAULT_CHARSET ? familyCharSet : font.lfCharSet;
    r.escapement = font.lfEscapement * kPi / 1800;
    r.orientation = font.lfOrientation * kPi / 1800;
    r.underline = font.lfUnderline != 0;
    r.strikeOut = font.lfStrikeOut != 0;
    return r;
}

// The face that draws a character: the font's own, else the CJK face, else DejaVu Sans.
struct GlyphSource {
    StyledFace face;
    FT_UInt index = 0;
};
GlyphSource glyphFor(const Realised& r, char32_t cp) {
    if (FT_UInt i = FT_Get_Char_Index(r.primary.face, cp)) return GlyphSource{r.primary, i};
    for (FamilyId fallback : {kCjk, kSans}) {
        if (fallback == r.family) continue;
        StyledFace f = styledFace(fallback, false, false);
        if (!f.face) continue;
        if (FT_UInt i = FT_Get_Char_Index(f.face, cp)) {
            f.simBold = r.metrics.tmWeight >= FW_SEMIBOLD;
            f.simItalic = r.metrics.tmItalic != 0;
            return GlyphSource{f, i};
        }
    }
    return GlyphSource{r.primary, 0};
}

// Sizes a face for the font. Setting a size runs the font's own set-up program, so a face keeps
// the size it was last given and is sized again only for another one (callers hold the GDI lock).
bool setSize(FT_Face face, const Realised& r) {
    static std::map<FT_Face, std::pair<FT_F26Dot6, FT_F26Dot6>> current;
    std::pair<FT_F26Dot6, FT_F26Dot6> size{static_cast<FT_F26Dot6>(std::lround(r.emX * 64)),
                                           static_cast<FT_F26Dot6>(std::lround(r.emY * 64))};
    auto known = current.find(face);
    if (known != current.end() && known->second == size) return true;
    if (FT_Set_Char_Size(face, size.first, size.second, 72, 72) != 0) {
        current.erase(face);
        return false;
    }
    current[face] = size;
    return true;
}

FT_Pos emboldenStrength(const Realised& r) { return std::max<FT_Pos>(64, static_cast<FT_Pos>(r.emY * 64 / 24)); }

constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP;

// The hinted advance of a glyph in whole pixels.
std::optional<LONG> advanceOf(const Realised& r, const GlyphSource& g) {
    FT_Set_Transform(g.face.face, nullptr, nullptr);
    if (!setSize(g.face.face, r) || FT_Load_Glyph(g.face.face, g.index, kLoadFlags)) return std::nullopt;
    FT_Pos advance = g.face.face->glyph->advance.x;
    if (g.face.simBold) advance += emboldenStrength(r);
    return static_cast<LONG>((advance + 32) >> 6);
}

struct Character {
    char32_t cp;
    size_t unit;   // index of its first UTF-16 unit
    size_t units;  // 1 or 2
};
std::vector<Character> characters(std::u16string_view text) {
    std::vector<Character> out;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            out.push_back(Character{cp, i, 2});
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out.push_back(Character{0xFFFD, i, 1});
        } else {
            out.push_back(Character{c, i, 1});
        }
    }
    return out;
}

struct Laid {
    std::vector<Character> chars;
    std::vector<GlyphSource> glyphs;
    std::vector<LONG> pens;  // pen position of each character along the baseline
    LONG width = 0;
};
std::optional<Laid> layOut(const Realised& r, std::u16string_view text, const INT* dx) {
    Laid laid;
    laid.chars = characters(text);
    int64_t pen = 0;
    for (const Character& c : laid.chars) {
        GlyphSource g = glyphFor(r, c.cp);
        LONG advance = 0;
        if (dx) {
            int64_t sum = 0;
            for (size_t k = 0; k < c.units; ++k) sum += dx[c.unit + k];
            advance = static_cast<LONG>(std::clamp<int64_t>(sum, -kMaxSize * 64, kMaxSize * 64));
        } else {
            auto a = advanceOf(r, g);
            if (!a) return std::nullopt;
            advance = *a;
        }
        laid.glyphs.push_back(g);
        laid.pens.push_back(static_cast<LONG>(pen));
        pen += advance;
        if (pen > INT32_MAX / 2 || pen < INT32_MIN / 2) return std::nullopt;
    }
    laid.width = static_cast<LONG>(pen);
    return laid;
}

LONG roundPixel(double v) { return static_cast<LONG>(std::floor(v + 0.5)); }

// Grows the ink bounds by a glyph's inked pixels: per row only the first and the last inked byte
// are looked into.
void addInk(RECTL& bounds, bool& any, const engine::Glyph& g) {
    LONG rowBytes = (g.size.cx + 7) / 8;
    LONG left = g.position.x + g.origin.x, top = g.position.y + g.origin.y;
    for (LONG y = 0; y < g.size.cy; ++y) {
        const BYTE* row = g.bits.data() + static_cast<size_t>(y) * rowBytes;
        LONG first = 0, last = rowBytes - 1;
        while (first < rowBytes && !row[first]) ++first;
        if (first == rowBytes) continue;
        while (!row[last]) --last;
        // Within the bytes: the leftmost set bit of the first, the rightmost of the last.
        LONG x0 = first * 8, x1 = last * 8 + 7;
        while (!(row[first] & (0x80 >> (x0 & 7)))) ++x0;
        while (!(row[last] & (0x80 >> (x1 & 7)))) --x1;
        LONG px0 = left + x0, px1 = left + x1 + 1, py = top + y;
        if (!any) {
            bounds = RECTL{px0, py, px1, py + 1};
            any = true;
        } else {
            bounds.left = std::min(bounds.left, px0);
            bounds.top = std::min(bounds.top, py);
            bounds.right = std::max(bounds.right, px1);
            bounds.bottom = std::max(bounds.bottom, py + 1);
        }
    }
}

// A glyph's picture as FreeType renders it, the same wherever the glyph is placed (positions are
// whole pixels), so that a string renders each of its glyphs once.
struct GlyphPicture {
    POINTL origin{};  // of the picture's top-left corner from the glyph's position
    SIZEL size{};
    engine::GlyphBits bits;
    std::optional<RECTL> ink;  // of the inked pixels, from the glyph's position
};

// Loads a glyph into its face's slot, sized, turned by `angle` and slanted and emboldened as the
// face simulates; null when FreeType cannot.
FT_GlyphSlot loadGlyph(const Realised& r, const GlyphSource& g, double angle) {
    FT_Face face = g.face.face;
    if (!setSize(face, r)) return nullptr;
    double c = std::cos(angle), s = std::sin(angle);
    double shear = g.face.simItalic ? 0.2 : 0;
    if (angle == 0 && shear == 0) {
        FT_Set_Transform(face, nullptr, nullptr);
    } else {
        // Turned counter-clockwise (FreeType's y axis points up) after the slant.
        FT_Matrix m;
        m.xx = static_cast<FT_Fixed>(std::lround(c * 65536));
        m.xy = static_cast<FT_Fixed>(std::lround((shear * c - s) * 65536));
        m.yx = static_cast<FT_Fixed>(std::lround(s * 65536));
        m.yy = static_cast<FT_Fixed>(std::lround((shear * s + c) * 65536));
        FT_Set_Transform(face, &m, nullptr);
    }
    bool loaded = FT_Load_Glyph(face, g.index, kLoadFlags) == 0;
    FT_Set_Transform(face, nullptr, nullptr);
    if (!loaded) return nullptr;
    FT_GlyphSlot slot = face->glyph;
    if (g.face.simBold && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Pos strength = emboldenStrength(r);
        FT_Outline_EmboldenXY(&slot->outline, strength, strength);
    }
    return slot;
}

// Where a loaded glyph's picture can reach from its position, found from its outline without
// rendering it (two pixels more each way than the outline's box, for the rounding); nothing when
// the slot holds no outline.
std::optional<RECTL> reachOf(FT_GlyphSlot slot) {
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return std::nullopt;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    return RECTL{static_cast<LONG>(box.xMin >> 6) - 2, static_cast<LONG>(-((box.yMax + 63) >> 6)) - 2,
                 static_cast<LONG>((box.xMax + 63) >> 6) + 2, static_cast<LONG>(-(box.yMin >> 6)) + 2};
}

// Renders a loaded glyph into a one-bit picture; a glyph without ink is a 1 x 1 picture of none.
std::optional<GlyphPicture> renderLoaded(FT_GlyphSlot slot) {
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO)) return std::nullopt;
    const FT_Bitmap& bm = slot->bitmap;
    GlyphPicture out;
    if (bm.width == 0 || bm.rows == 0 || bm.pixel_mode != FT_PIXEL_MODE_MONO) {
        out.size = SIZEL{1, 1};
        out.bits = std::vector<BYTE>(1, 0);
        return out;
    }
    out.origin = POINTL{slot->bitmap_left, -slot->bitmap_top};
    out.size = SIZEL{static_cast<LONG>(bm.width), static_cast<LONG>(bm.rows)};
    size_t rowBytes = (bm.width + 7) / 8;
    std::vector<BYTE> bits(rowBytes * bm.rows);
    for (unsigned row = 0; row < bm.rows; ++row) {
        const unsigned char* src =
            bm.pitch >= 0 ? bm.buffer + static_cast<size_t>(row) * bm.pitch
                          : bm.buffer + static_cast<size_t>(bm.rows - 1 - row) * static_cast<size_t>(-bm.pitch);
        std::memcpy(bits.data() + row * rowBytes, src, rowBytes);
    }
    out.bits = std::move(bits);
    RECTL ink{};
    bool any = false;
    addInk(ink, any, engine::Glyph{POINTL{0, 0}, out.origin, out.size, out.bits});
    if (any) out.ink = ink;
    return out;
}

bool meets(const RECTL& a, const RECTL& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
RECTL movedBy(const RECTL& r, LONG x, LONG y) { return RECTL{r.left + x, r.top + y, r.right + x, r.bottom + y}; }

}  // namespace

std::vector<Family> families() {
    std::lock_guard guard(gdi::lock());
    std::vector<Family> out;
    for (int i = 0; i < kFamilyCount; ++i)
        out.push_back(familyOf(static_cast<FamilyId>(i), kFamilies[i].name, kFamilies[i].charSet));
    for (const Alias& alias : kAliases) out.push_back(familyOf(alias.family, alias.name, alias.charSet));
    for (FamilyId i = kFamilyCount; i < familyCount(); ++i) out.push_back(familyOf(i, def(i).name, def(i).charSet));
    return out;
}

std::optional<Family> findFamily(std::u16string_view name) {
    std::lock_guard guard(gdi::lock());
    for (int i = 0; i < kFamilyCount; ++i)
        if (sameName(name, kFamilies[i].name))
            return familyOf(static_cast<FamilyId>(i), kFamilies[i].name, kFamilies[i].charSet);
    for (const Alias& alias : kAliases)
        if (sameName(name, alias.name)) return familyOf(alias.family, alias.name, alias.charSet);
    for (FamilyId i = kFamilyCount; i < familyCount(); ++i)
        if (sameName(name, def(i).name)) return familyOf(i, def(i).name, def(i).charSet);
    return std::nullopt;
}

std::optional<Family> addFontFile(const std::string& file, std::string* why) {
    auto fail = [why](std::string reason) -> std::optional<Family> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    std::error_code ec;
    fs::path path = fs::absolute(file, ec);
    if (ec || file.empty()) return fail("cannot open the font file " + file);
    path = path.lexically_normal();
    std::lock_guard guard(gdi::lock());
    for (FamilyId i = kFamilyCount; i < familyCount(); ++i)
        if (fileFamilies()[i - kFamilyCount].path == path.string()) return familyOf(i, def(i).name, def(i).charSet);
    Library& ft = freetype();
    if (!ft.library) return fail("the font library cannot start");
    if (fs::is_directory(path, ec)) return fail(file + " is a folder, not a font file");
    if (!fs::is_regular_file(path, ec)) return fail("cannot open the font file " + file);
    FT_Face face = nullptr;
    if (FT_Error error = newFace(path, 0, &face)) {
        if (error == FT_Err_Cannot_Open_Resource) return fail("cannot open the font file " + file);
        if (error == FT_Err_Unknown_File_Format || error == FT_Err_Invalid_File_Format)
            return fail(file + " is not a scalable font file");
        return fail("cannot read the font file " + file + " (error " + std::to_string(error) + ")");
    }
    ft.faces[std::make_pair(path.string(), 0)] = face;

    // The file's family name, else its file name; with the style, then a number, when that is taken.
    std::u16string family = face->family_name ? fromUtf8(face->family_name) : std::u16string();
    if (family.empty()) family = fromUtf8(path.stem().string());
    if (family.empty()) family = u"Font";
    std::u16string style = face->style_name ? fromUtf8(face->style_name) : std::u16string();
    auto fits = [](std::u16string name, size_t room = kMaxName) {
        if (name.size() > room) name.resize(room - (name[room - 1] >= 0xD800 && name[room - 1] <= 0xDBFF ? 1 : 0));
        return name;
    };
    auto taken = [&](const std::u16string& name) { return lookup(name).has_value(); };
    std::u16string name = fits(family);
    if (taken(name) && !style.empty()) name = fits(family + u" " + style);
    for (int n = 2; taken(name); ++n) {
        std::u16string number = u" #" + fromUtf8(std::to_string(n));
        name = fits(family, kMaxName - number.size()) + number;
    }

    FileFamily& added = fileFamilies().emplace_back();
    added.name = name;
    added.path = path.string();
    bool fixed = FT_IS_FIXED_WIDTH(face);
    added.def = FamilyDef{added.name.c_str(), {added.path.c_str(), nullptr, nullptr, nullptr}, 0, ANSI_CHARSET,
                          static_cast<BYTE>(fixed ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_DONTCARE)};
    FamilyId id = familyCount() - 1;
    return familyOf(id, def(id).name, def(id).charSet);
}

bool usable(const LOGFONTW& font, std::string* why) {
    std::lock_guard guard(gdi::lock());
    return realise(font, Resolution{}, why).has_value();
}

std::optional<TEXTMETRICW> metrics(const LOGFONTW& font, Resolution resolution) {
    std::lock_guard guard(gdi::lock());
    auto r = realise(font, resolution);
    if (!r) return std::nullopt;
    return r->metrics;
}

std::optional<SIZE> extent(const LOGFONTW& font, std::u16string_view text, Resolution resolution, const INT* dx) {
    std::lock_guard guard(gdi::lock());
    auto r = realise(font, resolution);
    if (!r) return std::nullopt;
    auto laid = layOut(*r, text, dx);
    if (!laid) return std::nullopt;
    return SIZE{laid->width, r->metrics.tmHeight};
}

engine::Glyph fillPolygon(const std::vector<PointD>& corners) {
    engine::Glyph g{};
    if (corners.size() < 3) return g;
    double minX = corners[0].x, maxX = minX, minY = corners[0].y, maxY = minY;
    for (const PointD& p : corners) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return g;
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    if (maxX - minX > 4.0 * kMaxSize * 16 || maxY - minY > 4.0 * kMaxSize * 16) return g;
    LONG x0 = static_cast<LONG>(std::floor(minX)), y0 = static_cast<LONG>(std::floor(minY));
    LONG x1 = static_cast<LONG>(std::ceil(maxX)), y1 = static_cast<LONG>(std::ceil(maxY));
    if (x1 <= x0 || y1 <= y0) return g;
    // The winding of the corners, so that "inside" is on the same side of every edge.
    double area = 0;
    for (size_t i = 0; i < corners.size(); ++i) {
        const PointD& a = corners[i];
        const PointD& b = corners[(i + 1) % corners.size()];
        area += a.x * b.y - b.x * a.y;
    }
    if (area == 0) return g;
    double sign = area > 0 ? 1 : -1;
    LONG w = x1 - x0, h = y1 - y0;
    LONG rowBytes = (w + 7) / 8;
    g.position = POINTL{x0, y0};
    g.origin = POINTL{0, 0};
    g.size = SIZEL{w, h};
    std::vector<BYTE> bits(static_cast<size_t>(rowBytes) * h, 0);
    for (LONG y = 0; y < h; ++y) {
        double py = y0 + y + 0.5;
        for (LONG x = 0; x < w; ++x) {
            double px = x0 + x + 0.5;
            bool inside = true;
            for (size_t i = 0; i < corners.size() && inside; ++i) {
                const PointD& a = corners[i];
                const PointD& b = corners[(i + 1) % corners.size()];
                double cross = (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
                if (cross * sign < -1e-9) inside = false;
            }
            if (inside) bits[static_cast<size_t>(y) * rowBytes + (x >> 3)] |= static_cast<BYTE>(0x80 >> (x & 7));
        }
    }
    g.bits = std::move(bits);
    return g;
}

std::optional<Rendered> render(const LOGFONTW& font, std::u16string_view text, const Placement& placement,
                               Resolution resolution) {
    if (!std::isfinite(placement.at.x) || !std::isfinite(placement.at.y) || std::fabs(placement.at.x) > 1e8 ||
        std::fabs(placement.at.y) > 1e8)
        return std::nullopt;
    std::lock_guard guard(gdi::lock());
    auto realised = realise(font, resolution);
    if (!realised) return std::nullopt;
    const Realised& r = *realised;
    auto laid = layOut(r, text, placement.dx);
    if (!laid) return std::nullopt;

    Rendered out;
    out.metrics = r.metrics;
    out.extent = SIZE{laid->width, r.metrics.tmHeight};
    // Along the baseline (u) and down across it (d), on a y-down surface.
    const PointD u{std::cos(r.escapement), -std::sin(r.escapement)};
    const PointD d{std::sin(r.escapement), std::cos(r.escapement)};
    double along = 0, across = 0;
    UINT align = placement.align;
    if ((align & TA_CENTER) == TA_CENTER)
        along = -laid->width / 2.0;
    else if (align & TA_RIGHT)
        along = -laid->width;
    if ((align & TA_BASELINE) == TA_BASELINE)
        across = 0;
    else if (align & TA_BOTTOM)
        across = -r.descent;
    else
        across = r.ascent;
    const PointD origin{placement.at.x + along * u.x + across * d.x, placement.at.y + along * u.y + across * d.y};
    auto at = [&](double a, double c) { return PointD{origin.x + a * u.x + c * d.x, origin.y + a * u.y + c * d.y}; };

    double glyphAngle = placement.useOrientation ? r.orientation : r.escapement;
    RECTL bounds{};
    bool any = false;
    // Each glyph of the string is loaded and rendered once, and with a clip only once a place of it
    // may show: a glyph's cost is its own, not that of every character drawn with it.
    struct Made {
        std::optional<RECTL> reach;           // from the outline, when it has been loaded
        std::optional<GlyphPicture> picture;  // once rendered
    };
    std::map<std::tuple<FT_Face, FT_UInt, bool, bool>, Made> made;
    const RECTL* clip = placement.clip;
    out.glyphs.reserve(laid->glyphs.size());
    for (size_t i = 0; i < laid->glyphs.size(); ++i) {
        const GlyphSource& source = laid->glyphs[i];
        PointD p = at(laid->pens[i], 0);
        const LONG x = roundPixel(p.x), y = roundPixel(p.y);
        const engine::Glyph none{POINTL{x, y}, POINTL{0, 0}, SIZEL{0, 0}, {}};
        Made& m = made[{source.face.face, source.index, source.face.simBold, source.face.simItalic}];
        if (!m.picture) {
            if (clip && m.reach && !meets(movedBy(*m.reach, x, y), *clip)) {
                out.glyphs.push_back(none);
                continue;
            }
            FT_GlyphSlot slot = loadGlyph(r, source, glyphAngle);
            if (!slot) return std::nullopt;
            m.reach = reachOf(slot);
            if (clip && m.reach && !meets(movedBy(*m.reach, x, y), *clip)) {
                out.glyphs.push_back(none);
                continue;
            }
            m.picture = renderLoaded(slot);
            if (!m.picture) return std::nullopt;
        }
        const GlyphPicture& picture = *m.picture;
        const RECTL box{x + picture.origin.x, y + picture.origin.y, x + picture.origin.x + picture.size.cx,
                        y + picture.origin.y + picture.size.cy};
        if (clip && !meets(box, *clip)) {
            out.glyphs.push_back(none);
            continue;
        }
        if (picture.ink) {
            const RECTL ink = movedBy(*picture.ink, x, y);
            if (!any) {
                bounds = ink;
                any = true;
            } else {
                bounds = RECTL{std::min(bounds.left, ink.left), std::min(bounds.top, ink.top),
                               std::max(bounds.right, ink.right), std::max(bounds.bottom, ink.bottom)};
            }
        }
        out.glyphs.push_back(engine::Glyph{POINTL{x, y}, picture.origin, picture.size, picture.bits});
    }
    double sy = r.emY / r.units.upem;
    auto bar = [&](double top, double thickness) {
        double t0 = std::floor(top + 0.5);
        double t1 = t0 + std::max(1.0, std::floor(thickness + 0.5));
        engine::Glyph g = fillPolygon({at(0, t0), at(laid->width, t0), at(laid->width, t1), at(0, t1)});
        if (g.size.cx > 0 && g.size.cy > 0) {
            addInk(bounds, any, g);
            out.bars.push_back(std::move(g));
        }
    };
    if (laid->width > 0 && r.underline) {
        double thickness = std::max(1.0, r.units.underlineThickness * sy);
        bar(-r.units.underlinePosition * sy - thickness / 2, thickness);
    }
    if (laid->width > 0 && r.strikeOut) bar(-r.units.strikePosition * sy, std::max(1.0, r.units.strikeSize * sy));
    out.cell = {at(0, -r.ascent), at(laid->width, -r.ascent), at(laid->width, r.descent), at(0, r.descent)};
    out.bounds = any ? bounds : RECTL{};
    out.end = at(laid->width, 0);
    return out;
}

}  // namespace platform::fonts
