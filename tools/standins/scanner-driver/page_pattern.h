// The pages the stand-in scanner driver delivers: a black band at the top edge, the page number in
// large blocks and colour bars below, in large flat areas that survive JPEG and show which page it
// is, which way up and whether red and blue were swapped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace standin {

struct Rgb {
    uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

// The colour of pixel (x, y) of page `page` (from 1) whose driver geometry is width x height.
Rgb pagePixel(int page, int x, int y, int width, int height);
// Grey as the driver delivers it in grey mode, and the bit of line art (true: white).
uint8_t greyOf(Rgb colour);
bool whiteOf(Rgb colour);

// One raw line (0 line art, 1 grey, 2 colour): R, G, B bytes; grey bytes; or bits from the most
// significant one, 1 for white.
std::vector<uint8_t> pageLine(int page, int y, int width, int height, int colorMode);
// The same line written at `line`, which holds pageLineBytes(width, colorMode) bytes.
void pageLineInto(int page, int y, int width, int height, int colorMode, uint8_t* line);
size_t pageLineBytes(int width, int colorMode);

}  // namespace standin
