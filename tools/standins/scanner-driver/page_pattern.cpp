#include "page_pattern.h"

#include <algorithm>

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

std::vector<uint8_t> pageLine(int page, int y, int width, int height, int colorMode) {
    std::vector<uint8_t> line;
    if (colorMode == 2) line.resize(static_cast<size_t>(width) * 3);
    else if (colorMode == 1) line.resize(static_cast<size_t>(width));
    else line.resize((static_cast<size_t>(width) + 7) / 8);
    for (int x = 0; x < width; ++x) {
        const Rgb c = pagePixel(page, x, y, width, height);
        if (colorMode == 2) {
            line[3 * static_cast<size_t>(x)] = c.red;
            line[3 * static_cast<size_t>(x) + 1] = c.green;
            line[3 * static_cast<size_t>(x) + 2] = c.blue;
        } else if (colorMode == 1) {
            line[static_cast<size_t>(x)] = greyOf(c);
        } else if (whiteOf(c)) {
            line[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return line;
}

}  // namespace standin
