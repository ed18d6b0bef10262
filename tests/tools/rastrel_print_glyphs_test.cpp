// rastrel-print's text through the platform's font engine: the one-bit pictures handed to the
// printing front, their sizes at the device's resolution, placement on the baseline, the format's
// font names and font files, and UTF-8 decoding.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "rastrel_print/glyphs.h"

namespace {

using namespace rastrel_print;
using platform::engine::Glyph;

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/";

bool ink(const Glyph& g, LONG x, LONG y) {
    size_t rowBytes = (g.size.cx + 7) / 8;
    return (g.bits[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
}

// Rows of the picture that hold ink.
LONG inkRows(const Glyph& g) {
    LONG rows = 0;
    for (LONG y = 0; y < g.size.cy; ++y)
        for (LONG x = 0; x < g.size.cx; ++x)
            if (ink(g, x, y)) {
                ++rows;
                break;
            }
    return rows;
}

class RastrelPrintGlyphs : public ::testing::Test {
protected:
    void SetUp() override {
        sans_ = familyFont("sans");
        ASSERT_NE(sans_, nullptr);
    }
    TextLine line(const std::string& text, double points, LONG dpiX, LONG dpiY, POINTL at = {0, 0},
                  Align align = Align::kLeft, const Font* font = nullptr) const {
        std::string why;
        auto laid = layout(font ? *font : *sans_, text, points, dpiX, dpiY, at, align, &why);
        EXPECT_TRUE(laid) << why;
        return laid ? *laid : TextLine{};
    }
    const Font* sans_ = nullptr;
};

TEST_F(RastrelPrintGlyphs, PicturesAreRowsOfWholeBytesWithNoInkPastTheWidth) {
    TextLine laid = line("Wg@", 11, 600, 600);
    ASSERT_EQ(laid.glyphs.size(), 3u);
    for (const Glyph& g : laid.glyphs) {
        ASSERT_GT(g.size.cx, 0);
        ASSERT_GT(g.size.cy, 0);
        size_t rowBytes = (g.size.cx + 7) / 8;
        ASSERT_EQ(g.bits.size(), rowBytes * g.size.cy);
        if (g.size.cx % 8) {
            for (LONG y = 0; y < g.size.cy; ++y)
                EXPECT_EQ(g.bits[y * rowBytes + rowBytes - 1] & (0xFF >> (g.size.cx % 8)), 0) << "row " << y;
        }
        EXPECT_GT(inkRows(g), 0);
    }
}

// The cap height of DejaVu Sans is 0.729 em and the advance of its H 0.752 em: an 'H' at p points
// is p * dpiY / 72 * 0.729 pixels tall, standing on the baseline, and moves the pen by
// p * dpiX / 72 * 0.752 pixels.
TEST_F(RastrelPrintGlyphs, SizesFollowPointsAndResolution) {
    struct Case {
        double points;
        LONG dpiX, dpiY;
    };
    for (Case c : {Case{10, 600, 600}, Case{20, 600, 600}, Case{10, 1200, 1200}, Case{6, 300, 300},
                   Case{72, 600, 600}, Case{10.5, 600, 600}, Case{12, 600, 1200}, Case{12, 1200, 600}}) {
        SCOPED_TRACE(testing::Message() << c.points << " pt at " << c.dpiX << " x " << c.dpiY << " dpi");
        TextLine laid = line("H", c.points, c.dpiX, c.dpiY, POINTL{100, 500});
        ASSERT_EQ(laid.glyphs.size(), 1u);
        const Glyph& h = laid.glyphs[0];
        EXPECT_NEAR(inkRows(h), c.points * c.dpiY / 72 * 0.729, 1.5);
        EXPECT_EQ(h.origin.y + h.size.cy, 0) << "the H stands on the baseline";
        EXPECT_EQ(h.position.x, 100);
        EXPECT_EQ(h.position.y, 500);
        EXPECT_NEAR(laid.advance, c.points * c.dpiX / 72 * 0.752, 1.5);
    }
}

TEST_F(RastrelPrintGlyphs, AnIIsOneSolidBarAndALineDescends) {
    TextLine laid = line("Ip", 24, 600, 600);
    ASSERT_EQ(laid.glyphs.size(), 2u);
    const Glyph& i = laid.glyphs[0];
    for (LONG y = 0; y < i.size.cy; ++y)
        for (LONG x = 0; x < i.size.cx; ++x) EXPECT_TRUE(ink(i, x, y)) << x << "," << y;
    const Glyph& p = laid.glyphs[1];
    EXPECT_GT(p.origin.y + p.size.cy, 0) << "the p goes below the baseline";
}

TEST_F(RastrelPrintGlyphs, PenMovesByTheAdvancesAndSpacesHaveNoInk) {
    TextLine one = line("A", 12, 600, 600);
    TextLine laid = line("A A", 12, 600, 600, POINTL{1000, 2000});
    ASSERT_EQ(laid.glyphs.size(), 3u);
    EXPECT_EQ(inkRows(laid.glyphs[1]), 0) << "space";
    EXPECT_GT(laid.glyphs[2].position.x, laid.glyphs[0].position.x + one.advance);
    EXPECT_EQ(laid.glyphs[0].position.x, 1000);
    EXPECT_GT(laid.advance, 2 * one.advance);
    for (const Glyph& g : laid.glyphs) EXPECT_EQ(g.position.y, 2000);
    // The same text lays out the same.
    TextLine again = line("A A", 12, 600, 600, POINTL{1000, 2000});
    ASSERT_EQ(again.glyphs.size(), 3u);
    EXPECT_EQ(again.glyphs[2].bits, laid.glyphs[2].bits);
    EXPECT_EQ(again.glyphs[2].position.x, laid.glyphs[2].position.x);
    // Nothing to draw is no glyph.
    TextLine empty = line("", 12, 600, 600);
    EXPECT_TRUE(empty.glyphs.empty());
    EXPECT_EQ(empty.advance, 0);
}

// The point given is the line's left end, centre or right end; the pictures are the same, moved.
TEST_F(RastrelPrintGlyphs, AlignmentMovesTheLineAlongItsBaseline) {
    const POINTL at{3000, 1500};
    TextLine left = line("Centred text", 14, 600, 600, at);
    ASSERT_FALSE(left.glyphs.empty());
    struct Case {
        Align align;
        LONG shift;
    };
    for (Case c : {Case{Align::kRight, -left.advance}, Case{Align::kCenter, -left.advance / 2}}) {
        SCOPED_TRACE(c.align == Align::kRight ? "right" : "centre");
        TextLine moved = line("Centred text", 14, 600, 600, at, c.align);
        ASSERT_EQ(moved.glyphs.size(), left.glyphs.size());
        EXPECT_EQ(moved.advance, left.advance);
        for (size_t i = 0; i < moved.glyphs.size(); ++i) {
            EXPECT_EQ(moved.glyphs[i].position.x, left.glyphs[i].position.x + c.shift) << i;
            EXPECT_EQ(moved.glyphs[i].position.y, at.y) << i;
            EXPECT_EQ(moved.glyphs[i].bits, left.glyphs[i].bits) << i;
        }
    }
}

// A glyph is rendered once for a line, whatever its length; with a clip, the glyphs that may show are
// the pictures made without one, and those wholly outside have none, in their places.
TEST_F(RastrelPrintGlyphs, GlyphsAreRenderedOncePerLineAndOnlyWhereTheyMayShow) {
    const std::string text = "WAVE Wave wave, W\xC3\xA9 \xE4\xB8\xAD\xE4\xB8\xAD";  // with the CJK face twice
    const POINTL at{-300, 900};
    TextLine whole = line(text, 40, 600, 600, at);
    ASSERT_EQ(whole.glyphs.size(), 21u);
    EXPECT_TRUE(whole.glyphs[0].bits.sharedWith(whole.glyphs[16].bits)) << "W";
    EXPECT_TRUE(whole.glyphs[19].bits.sharedWith(whole.glyphs[20].bits)) << "the CJK face's glyph";
    EXPECT_FALSE(whole.glyphs[0].bits.sharedWith(whole.glyphs[1].bits));

    // Clips across the line's left part, its right part, only its descenders' rows, and away from it.
    const RECTL clips[] = {{0, 0, 800, 2000}, {1200, 0, 4000, 2000}, {-1000, 905, 4000, 2000}, {0, 2000, 4000, 3000}};
    for (const RECTL& clip : clips) {
        SCOPED_TRACE(::testing::Message() << clip.left << "," << clip.top << "," << clip.right << "," << clip.bottom);
        std::string why;
        auto clipped = layout(*sans_, text, 40, 600, 600, at, Align::kLeft, &why, &clip);
        ASSERT_TRUE(clipped) << why;
        EXPECT_EQ(clipped->advance, whole.advance);
        ASSERT_EQ(clipped->glyphs.size(), whole.glyphs.size());
        int shown = 0;
        for (size_t i = 0; i < whole.glyphs.size(); ++i) {
            const Glyph &g = whole.glyphs[i], &c = clipped->glyphs[i];
            EXPECT_EQ(c.position.x, g.position.x) << i;
            EXPECT_EQ(c.position.y, g.position.y) << i;
            const LONG left = g.position.x + g.origin.x, top = g.position.y + g.origin.y;
            const bool meets = left < clip.right && clip.left < left + g.size.cx && top < clip.bottom &&
                               clip.top < top + g.size.cy;
            if (meets) {
                ++shown;
                EXPECT_EQ(c.origin.x, g.origin.x) << i;
                EXPECT_EQ(c.origin.y, g.origin.y) << i;
                EXPECT_EQ(c.size.cx, g.size.cx) << i;
                EXPECT_EQ(c.size.cy, g.size.cy) << i;
                EXPECT_EQ(c.bits, g.bits) << i;
            } else {
                EXPECT_EQ(c.size.cx, 0) << i;
                EXPECT_EQ(c.size.cy, 0) << i;
                EXPECT_TRUE(c.bits.empty()) << i;
            }
        }
        EXPECT_EQ(shown > 0, clip.top < 2000) << shown << " glyphs show";
    }
}

TEST_F(RastrelPrintGlyphs, CharactersComeFromTheFallbackFacesElseAreTheMissingGlyphBox) {
    // U+F8FF (private use) and U+0378 (unassigned) are in none of the faces: both are the face's
    // missing-glyph box, with ink.
    TextLine missing = line("\xEF\xA3\xBF\xCD\xB8", 12, 600, 600);
    ASSERT_EQ(missing.glyphs.size(), 2u);
    EXPECT_GT(inkRows(missing.glyphs[0]), 0);
    EXPECT_EQ(missing.glyphs[1].bits, missing.glyphs[0].bits);
    EXPECT_GT(missing.advance, 0);
    // Non-ASCII text the font has: e acute, a Greek and a Cyrillic letter.
    TextLine accented = line("\xC3\xA9\xCE\xA9\xD0\x96", 12, 600, 600);
    ASSERT_EQ(accented.glyphs.size(), 3u);
    for (const Glyph& g : accented.glyphs) EXPECT_GT(inkRows(g), 0);
    // Chinese, which DejaVu Sans lacks, is drawn by the CJK face, as GDI draws it: each character
    // different from the missing-glyph box and about an em wide.
    TextLine chinese = line("\xE4\xB8\xAD\xE6\x96\x87", 12, 600, 600);  // 中文
    ASSERT_EQ(chinese.glyphs.size(), 2u);
    for (const Glyph& g : chinese.glyphs) {
        EXPECT_GT(inkRows(g), 0);
        EXPECT_NE(g.bits, missing.glyphs[0].bits);
    }
    EXPECT_NEAR(chinese.advance, 2 * 100, 10);
    // A character beyond the BMP is one glyph; a bad UTF-8 byte is U+FFFD, which DejaVu Sans has.
    EXPECT_EQ(line("\xF0\x9F\x98\x80", 12, 600, 600).glyphs.size(), 1u);
    TextLine bad = line("a\xFF" "b", 12, 600, 600);
    ASSERT_EQ(bad.glyphs.size(), 3u);
    EXPECT_GT(inkRows(bad.glyphs[1]), 0);
}

TEST(RastrelPrintUtf8, DecodesAndReplacesBadSequences) {
    struct Case {
        std::string text;
        std::u32string code;
    };
    const Case cases[] = {
        {"ab", U"ab"},
        {"\xC3\xA9", U"\u00E9"},
        {"\xE2\x82\xAC", U"\u20AC"},
        {"\xF0\x9F\x98\x80", U"\U0001F600"},
        {"\xC3", U"\uFFFD"},                      // cut short
        {"\xE2\x82", U"\uFFFD\uFFFD"},
        {"\xC0\xAF", U"\uFFFD\uFFFD"},            // overlong
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // a surrogate
        {"\xFF" "a", U"\uFFFDa"},
        {"\x80", U"\uFFFD"},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeUtf8(c.text), c.code) << c.text;
}

// Each family draws as its DejaVu file does when that file is given as the font.
TEST(RastrelPrintFonts, FamiliesDrawAsTheirFiles) {
    struct Case {
        const char* family;
        const char* file;
    };
    const Case cases[] = {
        {"sans", "DejaVuSans.ttf"},
        {"sans-bold", "DejaVuSans-Bold.ttf"},
        {"sans-oblique", "DejaVuSans-Oblique.ttf"},
        {"sans-bold-oblique", "DejaVuSans-BoldOblique.ttf"},
        {"sans-condensed", "DejaVuSansCondensed.ttf"},
        {"serif", "DejaVuSerif.ttf"},
        {"serif-bold", "DejaVuSerif-Bold.ttf"},
        {"serif-italic", "DejaVuSerif-Italic.ttf"},
        {"serif-bold-italic", "DejaVuSerif-BoldItalic.ttf"},
        {"mono", "DejaVuSansMono.ttf"},
        {"mono-bold", "DejaVuSansMono-Bold.ttf"},
        {"mono-oblique", "DejaVuSansMono-Oblique.ttf"},
        {"mono-bold-oblique", "DejaVuSansMono-BoldOblique.ttf"},
    };
    ASSERT_EQ(fontFamilies().size(), std::size(cases)) << "every family is checked";
    FontCache cache;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        std::string why;
        const Font* family = cache.get(c.family, "/nowhere", &why);
        ASSERT_NE(family, nullptr) << why;
        EXPECT_EQ(family, familyFont(c.family));
        const Font* file = cache.get(c.file, kDejaVu, &why);
        ASSERT_NE(file, nullptr) << why;
        auto a = layout(*family, "Rastrel 42 gjy", 11, 600, 600, POINTL{0, 0}, Align::kLeft, &why);
        auto b = layout(*file, "Rastrel 42 gjy", 11, 600, 600, POINTL{0, 0}, Align::kLeft, &why);
        ASSERT_TRUE(a && b) << why;
        EXPECT_EQ(a->advance, b->advance);
        ASSERT_EQ(a->glyphs.size(), b->glyphs.size());
        for (size_t i = 0; i < a->glyphs.size(); ++i) {
            EXPECT_EQ(a->glyphs[i].bits, b->glyphs[i].bits) << i;
            EXPECT_EQ(a->glyphs[i].position.x, b->glyphs[i].position.x) << i;
            EXPECT_EQ(a->glyphs[i].origin.y, b->glyphs[i].origin.y) << i;
        }
    }
}

TEST(RastrelPrintFonts, FontFilesAreTakenInOnceAndFilesThatAreNoFontsAreRefusedWithAReason) {
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / ("rastrel_print_fonts-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "a-folder.ttf");
    std::ofstream(folder / "not-a-font.ttf") << "this is text, not a font";
    std::ofstream(folder / "empty.ttf");
    std::filesystem::copy_file(kDejaVu + "DejaVuSerif.ttf", folder / "serif copy.ttf",
                               std::filesystem::copy_options::overwrite_existing);
    struct Case {
        std::string name;
        std::string reason;
    };
    const Case cases[] = {
        {"/nonexistent/font.ttf", "cannot open the font file /nonexistent/font.ttf"},
        {"missing.ttf", "cannot open the font file " + (folder / "missing.ttf").string()},
        {"not-a-font.ttf", "not a scalable font file"},
        {"empty.ttf", "not a scalable font file"},
        {"a-folder.ttf", "is a folder"},
    };
    FontCache cache;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        EXPECT_EQ(cache.get(c.name, folder.string(), &why), nullptr);
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
    // A file relative to the description's folder, or by its full path: opened once, under a name
    // of its own beside the family it holds, and drawn as that family.
    std::string why;
    const Font* copy = cache.get("serif copy.ttf", folder.string(), &why);
    ASSERT_NE(copy, nullptr) << why;
    EXPECT_EQ(cache.get("serif copy.ttf", folder.string(), &why), copy);
    const Font* full = cache.get((folder / "serif copy.ttf").string(), "/elsewhere", &why);
    ASSERT_NE(full, nullptr) << why;
    EXPECT_EQ(full->face, copy->face);
    EXPECT_NE(copy->face, u"DejaVu Serif");
    EXPECT_EQ(copy->face.rfind(u"DejaVu Serif", 0), 0u);
    auto fromFile = layout(*copy, "Serif", 12, 600, 600, POINTL{0, 0}, Align::kLeft, &why);
    auto fromFamily = layout(*familyFont("serif"), "Serif", 12, 600, 600, POINTL{0, 0}, Align::kLeft, &why);
    ASSERT_TRUE(fromFile && fromFamily) << why;
    ASSERT_EQ(fromFile->glyphs.size(), fromFamily->glyphs.size());
    for (size_t i = 0; i < fromFile->glyphs.size(); ++i) EXPECT_EQ(fromFile->glyphs[i].bits, fromFamily->glyphs[i].bits);
}

}  // namespace
