#include "page_pattern.h"

#include <algorithm>
#include <cstring>

namespace standin {

namespace {

// Digits of 3 x 5 blocks, a row a string.
const char* const kDigits[10][5] = {
    {"###", "#.#", "#.#", "#.#", "###"}, {".#.", "##.", ".#.", ".#.", "###"}, {"###", "..#", "###", "#..", "###"},
    {"###", "..#", "###", "..#", "###"}, {"#.#", "#.#", "###", "..#", "..#"}, {"###", "#..", "###", "..#", "###"},
    {"###", "#..", "###", "#.#", "###"}, {"###", "..#", ".#.", ".#.", ".#."}, {"###", "#.#", "###", "#.#", "###"},
    {"###", "#.#", "###", "..#", "###"},
};

const Rgb kBars[8] = {
    {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0}, {255, 0, 255}, {255, 0, 0}, {0, 0, 255}, {0, 0, 0},
};

bool inNumber(int page, int x, int y, int width, int height, int band) {
    char digits[12];
    int count = 0;
    for (int rest = page > 0 ? page : 0; count == 0 || rest > 0; rest /= 10) digits[count++] = static_cast<char>('0' + rest % 10);
    std::reverse(digits, digits + count);
    const int block = std::max(1, std::min(width / (4 * count + 1), (height / 2) / 7));
    const int column = x / block - 1, row = (y - band) / block - 1;
    if (x < block || y < band + block || row >= 5 || column >= 4 * count) return false;
    if (column % 4 == 3) return false;  // the gap between digits
    return kDigits[digits[column / 4] - '0'][row][column % 4] == '#';
}

}  // namespace

Rgb pagePixel(int page, int x, int y, int width, int height) {
    const int band = std::max(1, height / 16);
    if (y < band) return {0, 0, 0};
    if (y >= height - height / 4) return kBars[std::min<int64_t>(7, int64_t{x} * 8 / std::max(1, width))];
    if (inNumber(page, x, y, width, height, band)) return {0, 0, 0};
    return {255, 255, 255};
}

uint8_t greyOf(Rgb c) { return static_cast<uint8_t>((299 * c.red + 587 * c.green + 114 * c.blue) / 1000); }

bool whiteOf(Rgb c) { return greyOf(c) >= 128; }

namespace {

// Calls put(from, to, colour) for the runs of one colour that make line y, left to right: the pixels
// pagePixel gives, worked out a run at a time, as a page line is wide and made once a read.
template <class Put>
void forEachRun(int page, int y, int width, int height, Put put) {
    if (width <= 0) return;
    const int band = std::max(1, height / 16);
    if (y < band) return put(0, width, Rgb{0, 0, 0});
    if (y >= height - height / 4) {
        // Bar i holds the x with x * 8 / width == i; the last bar takes the rest.
        for (int bar = 0; bar < 8; ++bar) {
            const int from = static_cast<int>((int64_t{bar} * width + 7) / 8);
            const int to = bar == 7 ? width : static_cast<int>((int64_t{bar + 1} * width + 7) / 8);
            if (from < to) put(from, to, kBars[bar]);
        }
        return;
    }
    const Rgb white{255, 255, 255}, black{0, 0, 0};
    char digits[12];
    int count = 0;
    for (int rest = page > 0 ? page : 0; count == 0 || rest > 0; rest /= 10) digits[count++] = static_cast<char>('0' + rest % 10);
    std::reverse(digits, digits + count);
    const int block = std::max(1, std::min(width / (4 * count + 1), (height / 2) / 7));
    const int row = (y - band) / block - 1;
    if (y < band + block || row >= 5) return put(0, width, white);
    int at = 0;  // the first pixel not yet put
    for (int column = 0; column < 4 * count && at < width; ++column) {
        if (column % 4 == 3 || kDigits[digits[column / 4] - '0'][row][column % 4] != '#') continue;
        const int from = static_cast<int>(std::min<int64_t>(width, int64_t{column + 1} * block));
        const int to = static_cast<int>(std::min<int64_t>(width, int64_t{column + 2} * block));
        if (at < from) put(at, from, white);
        if (from < to) put(from, to, black);
        at = std::max(at, to);
    }
    if (at < width) put(at, width, white);
}

}  // namespace

size_t pageLineBytes(int width, int colorMode) {
    const size_t pixels = width > 0 ? static_cast<size_t>(width) : 0;
    return colorMode == 2 ? pixels * 3 : colorMode == 1 ? pixels : (pixels + 7) / 8;
}

void pageLineInto(int page, int y, int width, int height, int colorMode, uint8_t* line) {
    const size_t bytes = pageLineBytes(width, colorMode);
    if (bytes == 0) return;  // no pixels, and perhaps no buffer either
    std::memset(line, 0, bytes);
    forEachRun(page, y, width, height, [&](int from, int to, Rgb c) {
        if (colorMode == 2) {
            for (uint8_t* p = line + 3 * static_cast<size_t>(from); p < line + 3 * static_cast<size_t>(to); p += 3)
                p[0] = c.red, p[1] = c.green, p[2] = c.blue;
        } else if (colorMode == 1) {
            std::memset(line + from, greyOf(c), static_cast<size_t>(to - from));
        } else if (whiteOf(c)) {
            for (int x = from; x < to; ++x) line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    });
}

std::vector<uint8_t> pageLine(int page, int y, int width, int height, int colorMode) {
    std::vector<uint8_t> line(pageLineBytes(width, colorMode));
    pageLineInto(page, y, width, height, colorMode, line.data());
    return line;
}

}  // namespace standin
