// rastrel-print's FreeType glyphs: the one-bit pictures handed to the printing front, their sizes
// at the device's resolution, placement on the baseline, and UTF-8 decoding.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "rastrel_print/glyphs.h"
#include "rastrel_print/page_description.h"

namespace {

using namespace rastrel_print;
using platform::engine::Glyph;

std::string sans() { return *familyFile("sans"); }

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
        std::string why;
        face_ = FontFace::open(sans(), &why);
        ASSERT_TRUE(face_) << why;
    }
    std::unique_ptr<FontFace> face_;
};

TEST_F(RastrelPrintGlyphs, PicturesAreRowsOfWholeBytesWithNoInkPastTheWidth) {
    TextLine line = face_->layout("Wg@", 11, 600, 600, POINTL{0, 0});
    ASSERT_EQ(line.glyphs.size(), 3u);
    for (const Glyph& g : line.glyphs) {
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

// The cap height of DejaVu Sans is 0.729 em: an 'H' at p points on d dpi is p * d / 72 * 0.729 pixels
// tall, standing on the baseline.
TEST_F(RastrelPrintGlyphs, SizesFollowPointsAndResolution) {
    struct Case {
        double points;
        unsigned dpi;
    };
    for (Case c : {Case{10, 600}, Case{20, 600}, Case{10, 1200}, Case{6, 300}, Case{72, 600}}) {
        TextLine line = face_->layout("H", c.points, c.dpi, c.dpi, POINTL{100, 500});
        ASSERT_EQ(line.glyphs.size(), 1u);
        const Glyph& h = line.glyphs[0];
        double expected = c.points * c.dpi / 72 * 0.729;
        EXPECT_NEAR(h.size.cy, expected, 1.5) << c.points << " pt at " << c.dpi << " dpi";
        EXPECT_EQ(h.origin.y + h.size.cy, 0) << "the H stands on the baseline";
        EXPECT_EQ(h.position.x, 100);
        EXPECT_EQ(h.position.y, 500);
        // Advance of H is 0.752 em.
        EXPECT_NEAR(line.advance, c.points * c.dpi / 72 * 0.752, 1.5);
    }
}

TEST_F(RastrelPrintGlyphs, AnIIsOneSolidBarAndALineDescends) {
    TextLine line = face_->layout("Ip", 24, 600, 600, POINTL{0, 0});
    ASSERT_EQ(line.glyphs.size(), 2u);
    const Glyph& i = line.glyphs[0];
    for (LONG y = 0; y < i.size.cy; ++y)
        for (LONG x = 0; x < i.size.cx; ++x) EXPECT_TRUE(ink(i, x, y)) << x << "," << y;
    const Glyph& p = line.glyphs[1];
    EXPECT_GT(p.origin.y + p.size.cy, 0) << "the p goes below the baseline";
}

TEST_F(RastrelPrintGlyphs, PenMovesByTheAdvancesAndSpacesHaveNoPicture) {
    TextLine one = face_->layout("A", 12, 600, 600, POINTL{0, 0});
    TextLine line = face_->layout("A A", 12, 600, 600, POINTL{1000, 2000});
    ASSERT_EQ(line.glyphs.size(), 3u);
    EXPECT_EQ(line.glyphs[1].size.cx * line.glyphs[1].size.cy, 0) << "space";
    EXPECT_GT(line.glyphs[2].position.x, line.glyphs[0].position.x + one.advance);
    EXPECT_EQ(line.glyphs[0].position.x, 1000);
    EXPECT_GT(line.advance, 2 * one.advance);
    for (const Glyph& g : line.glyphs) EXPECT_EQ(g.position.y, 2000);
    // The same text lays out the same, from the cache or not.
    TextLine again = face_->layout("A A", 12, 600, 600, POINTL{1000, 2000});
    ASSERT_EQ(again.glyphs.size(), 3u);
    EXPECT_EQ(again.glyphs[2].bits, line.glyphs[2].bits);
    EXPECT_EQ(again.glyphs[2].position.x, line.glyphs[2].position.x);
}

TEST_F(RastrelPrintGlyphs, CharactersTheFontLacksGetItsMissingGlyphBox) {
    TextLine line = face_->layout("\xEE\x80\x80", 12, 600, 600, POINTL{0, 0});  // U+E000, private use
    ASSERT_EQ(line.glyphs.size(), 1u);
    EXPECT_GT(inkRows(line.glyphs[0]), 0);
    // Non-ASCII text the font has: e acute, a Greek and a Cyrillic letter.
    TextLine accented = face_->layout("\xC3\xA9\xCE\xA9\xD0\x96", 12, 600, 600, POINTL{0, 0});
    EXPECT_EQ(accented.glyphs.size(), 3u);
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

TEST(RastrelPrintFonts, FilesThatAreNoFontsAreRefusedWithAReason) {
    std::string why;
    EXPECT_FALSE(FontFace::open("/nonexistent/font.ttf", &why));
    EXPECT_NE(why.find("cannot open"), std::string::npos) << why;
    const std::string notFont = ::testing::TempDir() + "/not-a-font.ttf";
    std::ofstream(notFont) << "this is text, not a font";
    why.clear();
    EXPECT_FALSE(FontFace::open(notFont, &why));
    EXPECT_FALSE(why.empty());

    FontCache cache;
    EXPECT_EQ(cache.get("/nonexistent/font.ttf", &why), nullptr);
    FontFace* a = cache.get(sans(), &why);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(cache.get(sans(), &why), a) << "opened once";
    EXPECT_EQ(a->name(), "DejaVu Sans Book");
    // Every family name maps to a font that opens.
    for (const std::string& family : fontFamilies()) EXPECT_NE(cache.get(*familyFile(family), &why), nullptr) << family;
}

}  // namespace
