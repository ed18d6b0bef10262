// splash-art: draws the launcher's pictures at build time, so that no picture file is kept in the tree.
//
//     splash-art FOLDER      writes FOLDER/splash.bmp (480 x 300) and FOLDER/autorun-icon.bmp (32 x 32)
//
// The splash: a night-blue to teal gradient with a soft light from the upper left, a printer in the
// middle with a page coming out of it, and a band of lighter rule lines below. The icon: the printer
// alone. Both are 24-bit BMPs.
#include <cstdio>
#include <string>

#include "canvas.h"

namespace {

using namespace art;

void drawSplash(Canvas& c) {
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            const double t = (0.7 * y / c.height()) + (0.3 * x / c.width());
            Colour base = mix(kNight, kTeal, t);
            const double light = std::hypot(x - c.width() * 0.15, y - c.height() * 0.1) / c.width();
            c.at(x, y) = mix(base, kLight, 0.35 * std::max(0.0, 1.0 - light * 1.6));
        }
    }
    for (int band = 0; band < 5; ++band) {
        const double y = c.height() * 0.80 + band * 9.0;
        c.box(c.width() * 0.12, y, c.width() * (0.88 - band * 0.08), y + 3, 1.5, kLight, 0.25);
    }
    printer(c, c.width() * 0.32, c.height() * 0.40, c.width() * 0.36, c.height() * 0.30, 0.8);
}

void drawIcon(Canvas& c) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.at(x, y) = mix(kNight, kTeal, static_cast<double>(y) / c.height());
    printer(c, 3, 14, 26, 13, 0.7);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: splash-art FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    Canvas splash(480, 300), icon(32, 32);
    drawSplash(splash);
    drawIcon(icon);
    if (!splash.writeBmp(folder + "/splash.bmp") || !icon.writeBmp(folder + "/autorun-icon.bmp")) {
        std::fprintf(stderr, "splash-art: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
