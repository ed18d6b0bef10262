// setup-art: draws the uninstaller's pictures at build time, so that no picture file is kept in the tree.
//
//     setup-art FOLDER      writes into FOLDER: setup-list.bmp (the list page's background, 600 x 400),
//                           setup-page.bmp (the progress and completion pages' background, 600 x 400),
//                           setup-skin-normal.bmp, -down, -over and -disabled (the buttons' skins,
//                           120 x 36) and setup-icon.bmp (the program's icon, 32 x 32)
//
// The backgrounds: a pale sky fading to white with a band at the top carrying a small printer; the
// skins: rounded teal buttons, darker when pressed, lighter under the mouse, grey when disabled.
#include <cstdio>
#include <string>

#include "canvas.h"

namespace {

using namespace art;

const Colour kWhite{1, 1, 1}, kSky{0.84, 0.91, 0.96}, kGrey{0.72, 0.74, 0.76};

void drawBackground(Canvas& c, bool withPrinter) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.at(x, y) = mix(kSky, kWhite, static_cast<double>(y) / c.height());
    c.box(0, 0, c.width(), c.height() * 0.1, 0, kTeal);
    if (withPrinter) printer(c, c.width() * 0.86, c.height() * 0.03, c.width() * 0.08, c.height() * 0.05, 0.5);
}

void drawSkin(Canvas& c, Colour face) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.at(x, y) = kWhite;
    c.box(1, 1, c.width() - 1, c.height() - 1, c.height() * 0.3, face);
    c.box(4, 3, c.width() - 4, c.height() * 0.45, c.height() * 0.2, kWhite, 0.18);
}

void drawIcon(Canvas& c) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.at(x, y) = mix(kTeal, kNight, static_cast<double>(y) / c.height());
    printer(c, 3, 14, 26, 13, 0.3);
    c.box(20, 4, 29, 7, 1, kLamp);  // the mark of removal
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: setup-art FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1] + std::string("/");
    Canvas list(600, 400), page(600, 400), icon(32, 32);
    drawBackground(list, true);
    drawBackground(page, false);
    drawIcon(icon);
    bool written = list.writeBmp(folder + "setup-list.bmp") && page.writeBmp(folder + "setup-page.bmp") &&
                   icon.writeBmp(folder + "setup-icon.bmp");
    const struct {
        const char* name;
        Colour face;
    } skins[] = {{"normal", kTeal}, {"down", mix(kTeal, kNight, 0.5)}, {"over", mix(kTeal, kLight, 0.4)}, {"disabled", kGrey}};
    for (const auto& s : skins) {
        Canvas skin(120, 36);
        drawSkin(skin, s.face);
        written = written && skin.writeBmp(folder + "setup-skin-" + s.name + ".bmp");
    }
    if (!written) {
        std::fprintf(stderr, "setup-art: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
