// tesmar-icon: draws the scan application's icon at build time, so that no picture file is kept in the tree.
//
//     tesmar-icon FILE      writes FILE, a 32 x 32 24-bit BMP
//
// A flatbed scanner seen from the front at a slant: a grey body, a blue glass with a bright scan line
// across it, on a white ground.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;

struct Rgb {
    uint8_t r, g, b;
};

void fill(std::vector<Rgb>& pixels, int left, int top, int right, int bottom, Rgb colour) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) pixels[static_cast<size_t>(y) * kSize + x] = colour;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tesmar-icon FILE\n");
        return 2;
    }
    std::vector<Rgb> pixels(kSize * kSize, Rgb{255, 255, 255});
    fill(pixels, 2, 12, 30, 26, {96, 100, 108});    // the body
    fill(pixels, 3, 13, 29, 25, {150, 154, 162});   // its face
    fill(pixels, 5, 14, 27, 19, {40, 88, 168});     // the glass
    fill(pixels, 5, 16, 27, 17, {200, 236, 255});   // the scan line
    fill(pixels, 2, 8, 30, 12, {70, 74, 82});       // the lid, raised
    fill(pixels, 22, 21, 27, 23, {60, 190, 90});    // the ready light
    fill(pixels, 4, 26, 8, 28, {60, 60, 64});       // the feet
    fill(pixels, 24, 26, 28, 28, {60, 60, 64});

    const uint32_t stride = (kSize * 3 + 3) & ~3u;
    std::string bytes = "BM";
    auto put = [&](uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(54 + stride * kSize, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(kSize, 4);
    put(kSize, 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(stride * kSize, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    for (int y = kSize - 1; y >= 0; --y) {  // bottom-up rows
        for (int x = 0; x < kSize; ++x) {
            const Rgb& p = pixels[static_cast<size_t>(y) * kSize + x];
            bytes += static_cast<char>(p.b);
            bytes += static_cast<char>(p.g);
            bytes += static_cast<char>(p.r);
        }
        bytes.append(stride - kSize * 3, '\0');
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
