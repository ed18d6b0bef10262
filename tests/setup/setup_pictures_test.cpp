// Pictures of the pages as a person sees them, in English and in Arabic (whose library carries the
// page bitmaps itself): the backgrounds painted from their bitmaps, the buttons skinned.
#include <gtest/gtest.h>

#include <algorithm>

#include "RemovalContext.h"
#include "support/setup_machine.h"

namespace {

using namespace setup_test;

struct Language {
    const char* library;
    const char* name;
};
const Language kLanguages[] = {{"<source_dll ID=\"English\">ZDUnsenus.dll</source_dll>", "english"},
                               {"<source_dll ID=\"Arabic\">ZDUnsar.dll</source_dll>", "arabic"}};

// The band across the top of the page bitmaps is coloured, not the grey dialog face.
void expectColouredTop(const platform::dialogs::Picture& picture, const std::string& file) {
    const uint32_t top = picture.at(picture.width / 2, 3);
    const int r = (top >> 16) & 0xFF, g = (top >> 8) & 0xFF, b = top & 0xFF;
    EXPECT_GT(std::max({r, g, b}) - std::min({r, g, b}), 40) << file << " " << std::hex << top;
}

TEST_F(SetupMachine, TheListPageIsPaintedFromItsBitmapsInEnglishAndArabic) {
    for (const Language& l : kLanguages) {
        const std::string file = std::string("setup-list-") + l.name + ".png";
        Product product;
        product.languages = l.library;
        writeConfig(product);
        installPrinter(u"A office", u"Zandrel M2100 PCL");
        std::optional<platform::dialogs::Picture> picture;
        runSetup({}, [&](HWND page) {
            picture = platform::dialogs::windowPicture(GetParent(page));
            platform::queueDialogAnswers({{DialogAnswer::Box, 0, 0, 0, IDOK}});
            PostMessageW(GetParent(page), WM_CLOSE, 0, 0);
        });
        ASSERT_TRUE(picture) << file;
        EXPECT_TRUE(platform::dialogs::writePng(*picture, file));
        expectColouredTop(*picture, file);
    }
}

// The progress page halfway and the completion page, driven by the worker's messages (the worker
// itself cannot start here, so the pages stand still for their pictures).
TEST_F(SetupMachine, TheProgressAndCompletionPagesArePaintedFromTheirBitmapsInEnglishAndArabic) {
    for (const Language& l : kLanguages) {
        Product product;
        product.languages = l.library;
        writeConfig(product);
        installPrinter(u"A office", u"Zandrel M2100 PCL");
        std::optional<platform::dialogs::Picture> doing, complete;
        runSetup({}, [&](HWND list) {
            HWND main = GetParent(list);
            HWND page = progressPageWithoutWorker(list);
            ASSERT_NE(page, nullptr);
            SendMessageW(page, uninstall::WM_UNINSTALL_PROGRESS, uninstall::kProgressPercent, 50);
            doing = platform::dialogs::windowPicture(main);
            SendMessageW(page, uninstall::WM_UNINSTALL_PROGRESS, uninstall::kProgressFinished, 0);
            if (waitForPage(IDC_COMPLETE_LABEL)) complete = platform::dialogs::windowPicture(main);
            PostMessageW(main, WM_CLOSE, 0, 0);
        });
        for (const auto& [picture, page] : {std::pair{&doing, "progress"}, std::pair{&complete, "complete"}}) {
            const std::string file = std::string("setup-") + page + "-" + l.name + ".png";
            ASSERT_TRUE(*picture) << file;
            EXPECT_TRUE(platform::dialogs::writePng(**picture, file));
            expectColouredTop(**picture, file);
        }
        EXPECT_TRUE(unanswered.empty());
    }
}

}  // namespace
