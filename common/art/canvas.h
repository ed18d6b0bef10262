// Pictures drawn at build time (the programs' splash, icons, page backgrounds and button skins), so
// that no picture file is kept in the tree: a canvas of colours with soft-edged boxes, written as a
// 24-bit BMP, and the printer that the pictures show.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace art {

struct Colour {
    double r, g, b;
};

inline Colour mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {}
    int width() const { return width_; }
    int height() const { return height_; }
    Colour& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }

    // A rectangle blended over what is there, corners rounded by `radius`.
    void box(double left, double top, double right, double bottom, double radius, Colour colour, double alpha = 1.0) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double dx = std::max({left + radius - px, 0.0, px - (right - radius)});
                const double dy = std::max({top + radius - py, 0.0, py - (bottom - radius)});
                const double outside = std::hypot(dx, dy) - radius;
                const double cover = std::clamp(0.5 - outside, 0.0, 1.0);
                if (px < left - 1 || px > right + 1 || py < top - 1 || py > bottom + 1 || cover <= 0) continue;
                at(x, y) = mix(at(x, y), colour, cover * alpha);
            }
        }
    }

    bool writeBmp(const std::string& path) const {
        const uint32_t stride = (static_cast<uint32_t>(width_) * 3 + 3) & ~3u;
        std::string bytes = "BM";
        auto put = [&](uint32_t value, int count) {
            for (int i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        };
        put(54 + stride * height_, 4);
        put(0, 4);
        put(54, 4);
        put(40, 4);
        put(static_cast<uint32_t>(width_), 4);
        put(static_cast<uint32_t>(height_), 4);
        put(1, 2);
        put(24, 2);
        put(0, 4);
        put(stride * height_, 4);
        put(2835, 4);
        put(2835, 4);
        put(0, 4);
        put(0, 4);
        for (int y = height_ - 1; y >= 0; --y) {  // bottom-up rows
            std::string row;
            for (int x = 0; x < width_; ++x) {
                const Colour& c = pixels_[static_cast<size_t>(y) * width_ + x];
                for (double channel : {c.b, c.g, c.r})
                    row += static_cast<char>(std::lround(std::clamp(channel, 0.0, 1.0) * 255));
            }
            row.resize(stride, '\0');
            bytes += row;
        }
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
    }

private:
    int width_, height_;
    std::vector<Colour> pixels_;
};

inline const Colour kNight{0.05, 0.09, 0.22}, kTeal{0.06, 0.45, 0.50}, kLight{0.55, 0.80, 0.85};
inline const Colour kBody{0.86, 0.88, 0.90}, kShade{0.55, 0.58, 0.62}, kSlot{0.18, 0.20, 0.24}, kPaper{1, 1, 1};
inline const Colour kInk{0.35, 0.38, 0.45}, kLamp{0.35, 0.90, 0.45};

// A printer whose body spans `w` x `h` from (x, y), with a page `out` (0 to 1) of the way out on top.
inline void printer(Canvas& c, double x, double y, double w, double h, double out) {
    const double page = w * 0.62, pageLeft = x + (w - page) / 2;
    const double pageTop = y - h * 0.9 * out;
    c.box(pageLeft, pageTop, pageLeft + page, y + h * 0.3, w * 0.02, kPaper);
    for (int line = 0; line < 4 && w > 60; ++line) {
        const double ly = pageTop + h * 0.12 + line * h * 0.1;
        c.box(pageLeft + page * 0.12, ly, pageLeft + page * (line == 3 ? 0.55 : 0.88), ly + std::max(1.0, h * 0.03), 0, kInk);
    }
    c.box(x, y, x + w, y + h, w * 0.06, kBody);
    c.box(x, y + h * 0.72, x + w, y + h, w * 0.06, kShade);
    c.box(x + w * 0.12, y + h * 0.18, x + w * 0.88, y + h * 0.3, h * 0.05, kSlot);
    c.box(x + w * 0.8, y + h * 0.45, x + w * 0.86, y + h * 0.55, w * 0.03, kLamp);
}

}  // namespace art
