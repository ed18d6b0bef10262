// A picture of the list page as a person sees it, in English and in Arabic (whose library carries the
// page bitmaps itself): the background painted from the list bitmap, the buttons skinned.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/setup_machine.h"

namespace {

using namespace setup_test;

TEST_F(SetupMachine, TheListPageIsPaintedFromItsBitmapsInEnglishAndArabic) {
    const struct {
        const char* language;
        const char* file;
    } languages[] = {{"<source_dll ID=\"English\">ZDUnsenus.dll</source_dll>", "setup-list-english.png"},
                     {"<source_dll ID=\"Arabic\">ZDUnsar.dll</source_dll>", "setup-list-arabic.png"}};
    for (const auto& l : languages) {
        Product product;
        product.languages = l.language;
        writeConfig(product);
        installPrinter(u"A office", u"Zandrel M2100 PCL");
        std::optional<platform::dialogs::Picture> picture;
        runSetup({}, [&](HWND page) {
            picture = platform::dialogs::windowPicture(GetParent(page));
            platform::queueDialogAnswers({{DialogAnswer::Box, 0, 0, 0, IDOK}});
            PostMessageW(GetParent(page), WM_CLOSE, 0, 0);
        });
        ASSERT_TRUE(picture) << l.file;
        EXPECT_TRUE(platform::dialogs::writePng(*picture, l.file));
        // The band across the top of the list bitmap is coloured, not the grey dialog face.
        const uint32_t top = picture->at(picture->width / 2, 3);
        const int r = (top >> 16) & 0xFF, g = (top >> 8) & 0xFF, b = top & 0xFF;
        EXPECT_GT(std::max({r, g, b}) - std::min({r, g, b}), 40) << l.file << " " << std::hex << top;
    }
}

}  // namespace
