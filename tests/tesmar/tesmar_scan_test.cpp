// Scans with the real program on a machine with the stand-in data source and image-encoding library:
// each format with one page and several, the product chosen by the key, manual-duplex PDFs, pages that
// cannot be saved, and the settings file read whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "TesmarApp.h"
#include "TesmarDlg.h"
#include "support/tesmar_machine.h"
#include "win/user.h"

namespace {

using namespace tesmartest;
namespace fs = std::filesystem;

std::string scanScript(const std::string& extension, int images, const std::string& more = "") {
    std::string greys = "grey";
    for (int k = 1; k <= images; ++k) greys += " " + std::to_string(20 * k);
    return "product Scanner A\nimage 64 48 8\nimages " + std::to_string(images) + "\n" + greys +
           "\ncheckstatus -1\nclose-request\nsave-ext " + extension + "\n" + more;
}

// The page number of a picture of the scan from its grey (page k has grey 20 k), read by an outside reader.
int pageOf(const std::string& command) {
    const Raster r = readPnm(shell(command + " 2>/dev/null").second);
    return r.samples.empty() ? -1 : (r.samples[r.samples.size() / 2] + 10) / 20;
}

// The pages of a PDF in order, as page numbers of the scan.
std::vector<int> pdfPageOrder(const TesmarMachine& m, const std::string& pdf) {
    const fs::path folder = m.machine.root() / "pdf-pages";
    fs::remove_all(folder);
    fs::create_directories(folder);
    shell("pdftoppm -r 72 -gray " + quoted(pdf) + " " + quoted((folder / "p").string()));
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<int> order;
    for (const auto& file : files) order.push_back(pageOf("cat " + quoted(file.string())));
    return order;
}

int tiffDirectories(const std::string& file) {
    const std::string info = shell("tiffinfo " + quoted(file) + " 2>&1").second;
    int directories = 0;
    for (size_t at = info.find("TIFF Directory"); at != std::string::npos; at = info.find("TIFF Directory", at + 1))
        ++directories;
    return directories;
}

TEST(TesmarScan, EachFormatWithOnePageAndSeveral) {
    struct Case {
        const char* extension;
        int pages;
        std::vector<std::string> files;  // the save folder's files afterwards
        const char* reader;              // turns a file into a PNM picture (its first page)
    };
    const Case cases[] = {
        {"bmp", 1, {"scan.bmp"}, "bmptopnm"},
        {"bmp", 3, {"scan.bmp", "scan_2.bmp", "scan_3.bmp"}, "bmptopnm"},
        {"png", 2, {"scan.png", "scan_2.png"}, "pngtopnm"},
        {"jpg", 2, {"scan.jpg", "scan_2.jpg"}, "djpeg -pnm"},
        {"JPEG", 1, {"scan.JPEG"}, "djpeg -pnm"},
        {"tif", 1, {"scan.tif"}, "tifftopnm"},
        {"tif", 3, {"scan.tif"}, "tifftopnm"},
        {"pdf", 1, {"scan.pdf"}, nullptr},
        {"pdf", 3, {"scan.pdf"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + ", " + std::to_string(c.pages) + " pages");
        TesmarMachine m;
        m.installSource(scanScript(c.extension, c.pages));
        const TesmarMachine::Run run = m.run(u"ScannerA");
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_EQ(m.savedFiles(), c.files);
        const std::string first = m.hostOf(std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(c.files[0]));
        if (c.reader) {
            // A file per page: page k is the k-th image, named as the settings read after page k - 1 said.
            for (size_t k = 0; k < c.files.size(); ++k) {
                const std::string file = m.hostOf(std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(c.files[k]));
                EXPECT_EQ(pageOf(std::string(c.reader) + " " + quoted(file)), static_cast<int>(k) + 1) << c.files[k];
            }
        }
        if (std::string(c.extension) == "tif") {
            EXPECT_EQ(tiffDirectories(first), c.pages);
        }
        if (std::string(c.extension) == "pdf") {
            std::vector<int> order;
            for (int k = 1; k <= c.pages; ++k) order.push_back(k);
            EXPECT_EQ(pdfPageOrder(m, first), order);
        }
        EXPECT_EQ(m.temporaryFiles(), std::vector<std::string>{});
        EXPECT_TRUE(platform::dismissedDialogs().empty());
    }
}

TEST(TesmarScan, TheKeyChoosesTheProductAndAnUnknownKeyTheDefaultOne) {
    struct Case {
        const char* what;
        const char16_t* arguments;
        const char* product;  // of the installed source
        bool scans;
    };
    const Case cases[] = {
        {"key of [Data Source]", u"ScannerA", "Scanner A", true},
        {"quoted key", u"\"ScannerA\"", "Scanner A", true},
        {"unknown key, default product installed", u"Unknown", TESMAR_DEFAULT_PRODUCT, true},
        {"no key at all, default product installed", u"", TESMAR_DEFAULT_PRODUCT, true},
        {"unknown key, another product installed", u"Unknown", "Scanner A", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesmarMachine m(Options{.dismissDialogs = !c.scans});  // the refusal box ends by itself
        m.installSource("product " + std::string(c.product) + "\nclose-request\nsave-ext bmp\n");
        EXPECT_TRUE(m.run(c.arguments).finished);
        EXPECT_EQ(m.savedFiles(), c.scans ? std::vector<std::string>{"scan.bmp"} : std::vector<std::string>{});
        EXPECT_EQ(platform::dismissedDialogs().size(), c.scans ? 0u : 1u);
    }
}

TEST(TesmarScan, ManualDuplexPdfPagesComeInReadingOrder) {
    struct Case {
        const char* what;
        const char* more;
        std::vector<int> order;
        bool eventSeen;
    };
    const Case cases[] = {
        {"the source makes the event after the fronts", "duplex 3\n", {1, 6, 2, 5, 3, 4}, true},
        {"no event: the duplex count stays 0", "", {1, 2, 3, 4, 5, 6}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesmarMachine m;
        m.installSource(scanScript("pdf", 6, c.more));
        EXPECT_TRUE(m.run(u"ScannerA").finished);
        ASSERT_EQ(m.savedFiles(), std::vector<std::string>{"scan.pdf"});
        EXPECT_EQ(pdfPageOrder(m, m.hostOf(std::u16string(kSaveFolder) + u"\\scan.pdf")), c.order);
        EXPECT_EQ(contains(m.debugLines(), "CTesmarDlg::TransferImage, hEvent not NULL"), c.eventSeen);
        EXPECT_EQ(m.temporaryFiles(), std::vector<std::string>{});
    }
}

// Without a settings file there is no save folder: the source's interface is told so (message 0xA41 with
// 10), nothing is saved and nothing opened, and what still pends is reset; the program ends when its
// dialog (with the caption of the source's interface) is closed, disabling and closing the source.
TEST(TesmarScan, NoSettingsFileSavesNothing) {
    TesmarMachine m;
    m.installSource(scanScript("bmp", 2, "settings-file C:\\Users\\User\\elsewhere.dat\n"));
    bool closed = false;
    const TesmarMachine::Run run = m.run(u"ScannerA", [&] {
        if (closed || !contains(m.sourceJournal(), "ui message 0xA41 10 0")) return;
        HWND dialog = FindWindowW(WC_DIALOG, nullptr);
        if (!dialog) return;
        // The dialog has taken the caption of the source's interface.
        WCHAR caption[64] = {};
        GetWindowTextW(dialog, caption, 64);
        EXPECT_EQ(std::u16string(caption), u"Scanner");
        closed = PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(m.savedFiles(), std::vector<std::string>{});
    EXPECT_EQ(m.temporaryFiles(), std::vector<std::string>{});
    EXPECT_TRUE(platform::shellActions().empty());
    const std::vector<std::string> journal = m.sourceJournal();
    for (const char* line : {"CONTROL/PENDINGXFERS/RESET -> 0 state 5", "CONTROL/USERINTERFACE/DISABLEDS -> 0 state 4",
                             "CONTROL/IDENTITY/CLOSEDS -> 0 state 3"})
        EXPECT_TRUE(contains(journal, line)) << line;
    EXPECT_TRUE(platform::dismissedDialogs().empty());
}

// A page that cannot be saved ends the scan: nothing of it is left, the pages saved before it stay whole
// and are opened as asked, and the user is told once with string 8019 of the language library (a text
// of the program's own without the library).
TEST(TesmarScan, APageThatCannotBeSavedIsToldOnceAndThePagesBeforeStay) {
    struct Case {
        const char* what;
        const char* more;        // of the script
        const char* occupied;    // a folder of the save folder that takes a file's name
        std::vector<std::string> files;  // the save folder's files afterwards
        const char* opened;      // the file opened after the scan, if any
        bool languageLibrary = true;
    };
    const std::u16string ownText = TESMAR_SAVE_FAILED_TEXT;
    const std::u16string libraryText = u"The scanned file could not be saved. Check that there is enough free disk space.";
    const Case cases[] = {
        {"page 2 of 2 cannot be written", "save-ext bmp\nimages 2\n", "scan_2.bmp", {"scan.bmp"},
         "scan.bmp"},
        {"a name Windows refuses", "save-ext bmp\nsave-name scan?\n", nullptr, {}, nullptr},
        {"a PDF that cannot be written", "save-ext pdf\nimages 2\n", "scan.pdf", {}, nullptr},
        {"no language library", "save-ext bmp\nsave-name scan?\n", nullptr, {}, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesmarMachine m(Options{.dismissDialogs = true});
        if (c.occupied) {
            ASSERT_TRUE(fs::create_directory(m.machine.host(std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(c.occupied))));
        }
        if (!c.languageLibrary) {
            for (const char16_t* code : {u"enus", u"zhcn"})
                ASSERT_TRUE(fs::remove(m.machine.host(std::u16string(kProgramFolder) + u"vrx4410kelr" + code + u".dll")));
        }
        m.installSource(std::string("product Scanner A\ngrey 20 40\ncheckstatus -1\nclose-request\nsave-flags 1 0 0\n") + c.more);
        EXPECT_TRUE(m.run(u"ScannerA").finished);
        EXPECT_EQ(m.savedFiles(), c.files);
        if (c.opened) {
            // The first page, whole.
            const std::string first = m.hostOf(std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(c.opened));
            const Raster page = readPnm(shell("bmptopnm " + quoted(first) + " 2>/dev/null").second);
            EXPECT_EQ(page.width, 64);
            EXPECT_EQ(page.height, 48);
            EXPECT_EQ(pageOf("bmptopnm " + quoted(first)), 1);
        }
        const std::vector<platform::DismissedDialog> boxes = platform::dismissedDialogs();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].messageBox);
        EXPECT_EQ(boxes[0].text, c.languageLibrary ? libraryText : ownText);
        const std::vector<platform::ShellAction> actions = platform::shellActions();
        ASSERT_EQ(actions.size(), c.opened ? 1u : 0u);
        if (c.opened) {
            EXPECT_EQ(actions[0].file, std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(c.opened));
        }
        EXPECT_EQ(m.temporaryFiles(), std::vector<std::string>{});
        EXPECT_TRUE(contains(m.sourceJournal(), "CONTROL/IDENTITY/CLOSEDS -> 0 state 3"));
    }
}

// ---- The settings file as bytes --------------------------------------------------------------------

std::string settingsBytes(const std::u16string& folder, const std::u16string& name, const std::u16string& extension) {
    std::string bytes(2100, '\0');
    auto put = [&](size_t offset, const std::u16string& text) {
        for (size_t i = 0; i < text.size() && i < 260; ++i) {
            bytes[offset + 2 * i] = static_cast<char>(text[i] & 0xFF);
            bytes[offset + 2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
    };
    put(0, folder);
    put(520, name);
    put(1040, extension);
    bytes[1560] = 1;     // open the file
    bytes[1569] = 0x01;  // mail flag 0x100
    put(1572, u"C:\\mail.exe");
    return bytes;
}

TEST(TesmarSettings, OnlyAWholeRecordIsTakenAndEachTextEndsWithinItsField) {
    platform::testing::Machine machine;
    const std::string whole = settingsBytes(u"C:\\Scans", u"page", u"png");
    ImgSaveSettings settings{};
    settings.nOpenFolder = 7;
    for (size_t size : {size_t{0}, size_t{1}, size_t{2099}}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(ParseSaveSettings(reinterpret_cast<const BYTE*>(whole.data()), size, settings));
        EXPECT_EQ(settings.nOpenFolder, 7);  // untouched
    }
    EXPECT_FALSE(ParseSaveSettings(nullptr, 2100, settings));
    ASSERT_TRUE(ParseSaveSettings(reinterpret_cast<const BYTE*>(whole.data()), whole.size(), settings));
    EXPECT_EQ(std::u16string(settings.szFolder), u"C:\\Scans");
    EXPECT_EQ(std::u16string(settings.szExtension), u"png");
    EXPECT_EQ(settings.nOpenFile, 1);
    EXPECT_EQ(settings.nOpenFolder, 0);
    EXPECT_EQ(settings.nSendMail, 0x100);
    EXPECT_EQ(std::u16string(settings.szMailProgram), u"C:\\mail.exe");

    // Fields without a terminator: each ends at its 260th character, never running into the next.
    const std::string full = settingsBytes(std::u16string(300, u'f'), std::u16string(300, u'n'), std::u16string(300, u'e'));
    ASSERT_TRUE(ParseSaveSettings(reinterpret_cast<const BYTE*>(full.data()), full.size(), settings));
    EXPECT_EQ(std::u16string(settings.szFolder), std::u16string(259, u'f'));
    EXPECT_EQ(std::u16string(settings.szFileName), std::u16string(259, u'n'));
    EXPECT_EQ(std::u16string(settings.szExtension), std::u16string(259, u'e'));
}

TEST(TesmarSettings, TheOutputPathIsJoinedOnlyWhenItFits) {
    platform::testing::Machine machine;  // the debugger output of a refusal goes to it
    struct Case {
        std::u16string folder, name, extension;
        const char16_t* path;  // nullptr: no path
    };
    const Case cases[] = {
        {u"C:\\Scans", u"page", u"bmp", u"C:\\Scans\\page.bmp"},
        {u"C:\\Scans\\", u"page", u"pdf", u"C:\\Scans\\page.pdf"},
        {u"", u"page", u"bmp", nullptr},
        {u"C:\\" + std::u16string(240, u'd'), u"page_name_l", u"tiff", nullptr},  // 260 characters
        {u"C:\\" + std::u16string(240, u'd'), u"page_name_", u"tiff", u""},       // 259: fits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.folder.substr(0, 20)) + " " + platform::toUtf8(c.name));
        ImgSaveSettings settings{};
        std::copy(c.folder.begin(), c.folder.end(), settings.szFolder);
        std::copy(c.name.begin(), c.name.end(), settings.szFileName);
        std::copy(c.extension.begin(), c.extension.end(), settings.szExtension);
        WCHAR path[MAX_PATH] = {u'x'};
        const BOOL built = BuildOutputPath(settings, path);
        EXPECT_EQ(built != FALSE, c.path != nullptr);
        if (!c.path) EXPECT_EQ(path[0], 0);
        else if (*c.path) EXPECT_EQ(std::u16string(path), c.path);
        else EXPECT_EQ(std::u16string(path), c.folder + u"\\" + c.name + u"." + c.extension);
    }
}

}  // namespace
