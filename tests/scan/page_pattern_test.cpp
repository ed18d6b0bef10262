// The stand-in driver's lines, made a run at a time, against its pixels one by one: every mode,
// pages of one to three digits, and geometries from a page to the narrowest and flattest.
#include <gtest/gtest.h>

#include <vector>

#include "page_pattern.h"

namespace {

// The line as the pixels say it is in the mode (0 line art, 1 grey, 2 colour).
std::vector<uint8_t> lineOfPixels(int page, int y, int width, int height, int colorMode) {
    std::vector<uint8_t> line(standin::pageLineBytes(width, colorMode));
    for (int x = 0; x < width; ++x) {
        const standin::Rgb c = standin::pagePixel(page, x, y, width, height);
        if (colorMode == 2) {
            line[3 * x] = c.red, line[3 * x + 1] = c.green, line[3 * x + 2] = c.blue;
        } else if (colorMode == 1) {
            line[x] = standin::greyOf(c);
        } else if (standin::whiteOf(c)) {
            line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return line;
}

TEST(PagePattern, LinesAreThePixelsInEveryMode) {
    struct Geometry {
        int width, height;
    };
    const Geometry geometries[] = {{1, 1}, {3, 40}, {7, 7}, {13, 200}, {100, 3}, {425, 259}, {1063, 650}, {2480, 350}};
    for (const Geometry& g : geometries)
        for (int page : {0, 1, 7, 42, 120})
            for (int mode : {0, 1, 2})
                for (int y = 0; y < g.height; ++y)
                    ASSERT_EQ(standin::pageLine(page, y, g.width, g.height, mode),
                              lineOfPixels(page, y, g.width, g.height, mode))
                        << g.width << " x " << g.height << " page " << page << " mode " << mode << " line " << y;
}

TEST(PagePattern, NoPixelsMakeAnEmptyLine) {
    EXPECT_TRUE(standin::pageLine(1, 0, 0, 10, 2).empty());
    EXPECT_TRUE(standin::pageLine(1, 0, -5, 10, 0).empty());
}

}  // namespace
