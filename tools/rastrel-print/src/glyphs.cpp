// FreeType glyphs as GLYPHBITS pictures: hinted for one-bit output and rendered in mono mode.
#include "rastrel_print/glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rastrel_print {

namespace {

FT_Library library() {
    // One library for the program; FreeType frees it at exit with the process.
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

struct Rendered {
    POINTL origin{};
    SIZEL size{};
    std::vector<BYTE> bits;
    FT_Pos advance = 0;  // 26.6 pixels
};

}  // namespace

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

struct FontFace::Impl {
    FT_Face face = nullptr;
    FT_F26Dot6 size = 0;
    unsigned dpiX = 0, dpiY = 0;
    std::map<std::pair<FT_UInt, long>, Rendered> cache;  // (glyph, size key)

    ~Impl() {
        if (face) FT_Done_Face(face);
    }

    const Rendered* glyph(FT_UInt index, long key) {
        auto it = cache.find({index, key});
        if (it != cache.end()) return &it->second;
        Rendered r;
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return nullptr;
        FT_GlyphSlot slot = face->glyph;
        r.advance = slot->advance.x;
        if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return nullptr;
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.width > 0 && bm.rows > 0) {
            if (bm.pixel_mode != FT_PIXEL_MODE_MONO) return nullptr;
            r.size = SIZEL{static_cast<LONG>(bm.width), static_cast<LONG>(bm.rows)};
            r.origin = POINTL{slot->bitmap_left, -slot->bitmap_top};
            size_t rowBytes = (bm.width + 7) / 8;
            r.bits.resize(rowBytes * bm.rows);
            int pitch = bm.pitch;
            for (unsigned y = 0; y < bm.rows; ++y) {
                // A negative pitch means the rows run upwards in memory.
                const unsigned char* src = pitch >= 0 ? bm.buffer + size_t(y) * pitch
                                                      : bm.buffer + size_t(bm.rows - 1 - y) * size_t(-pitch);
                std::memcpy(r.bits.data() + y * rowBytes, src, rowBytes);
                // Bits past the width are not ink.
                if (bm.width % 8) r.bits[y * rowBytes + rowBytes - 1] &= static_cast<BYTE>(0xFF00 >> (bm.width % 8));
            }
            // A picture without ink (a space) is no picture.
            if (std::all_of(r.bits.begin(), r.bits.end(), [](BYTE b) { return b == 0; })) {
                r.bits.clear();
                r.size = SIZEL{0, 0};
                r.origin = POINTL{0, 0};
            }
        }
        return &cache.emplace(std::make_pair(index, key), std::move(r)).first->second;
    }
};

FontFace::FontFace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FontFace::~FontFace() = default;

std::unique_ptr<FontFace> FontFace::open(const std::string& path, std::string* why) {
    FT_Library lib = library();
    if (!lib) {
        *why = "FreeType cannot start";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    FT_Error e = FT_New_Face(lib, path.c_str(), 0, &impl->face);
    if (e != 0) {
        impl->face = nullptr;
        *why = e == FT_Err_Cannot_Open_Resource ? "cannot open the font file " + path
               : e == FT_Err_Unknown_File_Format ? path + " is not a font file FreeType knows"
                                                 : "FreeType cannot read the font " + path + " (error " + std::to_string(e) + ")";
        return nullptr;
    }
    if (!FT_IS_SCALABLE(impl->face)) {
        *why = path + " is not a scalable font";
        return nullptr;
    }
    FT_Select_Charmap(impl->face, FT_ENCODING_UNICODE);
    return std::unique_ptr<FontFace>(new FontFace(std::move(impl)));
}

std::string FontFace::name() const {
    std::string n = impl_->face->family_name ? impl_->face->family_name : "?";
    if (impl_->face->style_name) n += std::string(" ") + impl_->face->style_name;
    return n;
}

TextLine FontFace::layout(std::string_view utf8, double points, unsigned dpiX, unsigned dpiY, POINTL pen) {
    TextLine line;
    FT_Face face = impl_->face;
    FT_F26Dot6 size = static_cast<FT_F26Dot6>(std::lround(points * 64));
    if (size != impl_->size || dpiX != impl_->dpiX || dpiY != impl_->dpiY) {
        if (FT_Set_Char_Size(face, 0, size, dpiX, dpiY) != 0) return line;
        impl_->size = size;
        impl_->dpiX = dpiX;
        impl_->dpiY = dpiY;
    }
    long key = static_cast<long>(size) * 100000 + dpiX * 10 + (dpiY != dpiX);
    const bool kerning = FT_HAS_KERNING(face);
    FT_Pos x = 0;  // 26.6 from the pen's start
    FT_UInt previous = 0;
    for (char32_t c : decodeUtf8(utf8)) {
        FT_UInt index = FT_Get_Char_Index(face, c);
        if (kerning && previous && index) {
            FT_Vector delta{};
            if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &delta) == 0) x += delta.x;
        }
        const Rendered* r = impl_->glyph(index, key);
        if (!r) r = impl_->glyph(0, key);
        if (!r) continue;
        platform::engine::Glyph g;
        g.position = POINTL{pen.x + static_cast<LONG>((x + 32) >> 6), pen.y};
        g.origin = r->origin;
        g.size = r->size;
        g.bits = r->bits;
        line.glyphs.push_back(std::move(g));
        x += r->advance;
        previous = index;
    }
    line.advance = static_cast<LONG>((x + 32) >> 6);
    return line;
}

FontFace* FontCache::get(const std::string& path, std::string* why) {
    auto it = faces_.find(path);
    if (it != faces_.end()) return it->second.get();
    auto face = FontFace::open(path, why);
    if (!face) return nullptr;
    return faces_.emplace(path, std::move(face)).first->second.get();
}

}  // namespace rastrel_print
