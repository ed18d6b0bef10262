// CImageSaver with the stand-in image-encoding library: formats from paths, every format read back
// by outside readers, and the manual-duplex page order of PDF files.
#include <gtest/gtest.h>

#include <filesystem>

#include "ImageSaver.h"
#include "support/scan_run.h"
#include "win/files.h"

using namespace twaintest;

namespace {

TEST(ImageSaverFormat, ExtensionsChooseTheFormatAndEveryPathStartsANewScan) {
    struct Case {
        const char16_t* path;
        BOOL ok;
        int format;  // after the call, starting from pdf
    };
    const Case cases[] = {
        {u"C:\\s\\a.JPEG", TRUE, CImageSaver::FormatJpg}, {u"C:\\s\\a.jpg", TRUE, CImageSaver::FormatJpg},
        {u"C:\\s\\a.Bmp", TRUE, CImageSaver::FormatBmp},  {u"C:\\s\\a.png", TRUE, CImageSaver::FormatPng},
        {u"C:\\s\\a.TIFF", TRUE, CImageSaver::FormatTif}, {u"C:\\s\\a.tif", TRUE, CImageSaver::FormatTif},
        {u"C:\\s\\a.pdf", TRUE, CImageSaver::FormatPdf},  {u"C:\\s\\noextension", FALSE, CImageSaver::FormatPdf},
        {u"C:\\s\\a.gif", FALSE, CImageSaver::FormatPdf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.path));
        CImageSaver saver;
        ASSERT_TRUE(saver.SetFormatFromPath(u"C:\\s\\first.pdf"));
        saver.SetDuplexCount(3);
        EXPECT_EQ(saver.SetFormatFromPath(c.path), c.ok);
        EXPECT_EQ(saver.Format(), c.format);
        EXPECT_EQ(saver.PageCount(), 0);
        EXPECT_EQ(saver.DuplexCount(), 0);
    }
}

std::string saved(const ScanRun& run, const char16_t* name) {
    return run.hostOf(std::u16string(kSaveFolder) + u"\\" + name);
}

TEST(ImageSaverFormat, JpegAndPngPagesReadBackThroughOutsideReaders) {
    struct Case {
        const char16_t* name;
        const char* reader;
        int tolerance;
    };
    const Case cases[] = {{u"scan.jpg", "djpeg -pnm", 12}, {u"scan.jpeg", "djpeg -pnm", 12}, {u"scan.png", "pngtopnm", 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.name));
        ScanRun run("image 64 48 8\n", c.name);
        ASSERT_TRUE(run.scan());
        const std::string file = saved(run, c.name);
        const std::string head = run.machine.machine.readFile(std::u16string(kSaveFolder) + u"\\" + c.name).value_or("").substr(0, 4);
        if (std::u16string(c.name).ends_with(u"png")) {
            EXPECT_EQ(head, "\x89PNG");  // written as JPEG first, saved again as PNG
            EXPECT_EQ(shell("pngcheck -q " + quoted(file)).first, 0);
        } else {
            EXPECT_EQ(head.substr(0, 2), "\xFF\xD8");
        }
        const Raster r = readPnm(shell(std::string(c.reader) + " " + quoted(file)).second);
        ASSERT_EQ(r.width, 64);
        ASSERT_EQ(r.height, 48);
        int largest = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                largest = std::max(largest, std::abs(r.samples[static_cast<size_t>(y * 64 + x) * r.channels] -
                                                     twainstandin::patternValue(y, x, 0)));
        EXPECT_LE(largest, c.tolerance);
        EXPECT_EQ(run.twain->m_savedFiles.GetSize(), 1);
    }
}

TEST(ImageSaverFormat, TiffPagesGoIntoOneFile) {
    ScanRun run("image 64 48 8\nimages 3\n", u"scan.tif");
    run.twain->SetTransferCount(-1);
    ASSERT_TRUE(run.scan());
    const std::string file = saved(run, u"scan.tif");
    const std::string info = shell("tiffinfo " + quoted(file) + " 2>&1").second;
    size_t directories = 0;
    for (size_t at = info.find("TIFF Directory"); at != std::string::npos; at = info.find("TIFF Directory", at + 1))
        ++directories;
    EXPECT_EQ(directories, 3u);
    const Raster r = readPnm(shell("tifftopnm " + quoted(file) + " 2>/dev/null").second);
    ASSERT_EQ(r.width, 64);
    EXPECT_EQ(r.samples[5 * 64 + 9], twainstandin::patternValue(5, 9, 0));
    EXPECT_EQ(run.twain->m_savedFiles.GetSize(), 1);  // the file once, at its first page
}

// Greys of the pages of a PDF, read by pdftoppm, as page numbers of the scan (page k has grey 20 k).
std::vector<int> pdfPageOrder(const ScanRun& run, const std::string& pdf) {
    const std::filesystem::path folder = run.machine.machine.root() / "pdf-pages";
    std::filesystem::create_directories(folder);
    shell("pdftoppm -r 300 -gray " + quoted(pdf) + " " + quoted((folder / "p").string()));
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<int> order;
    for (const auto& file : files) {
        const Raster r = readPnm(shell("cat " + quoted(file.string())).second);
        order.push_back(r.samples.empty() ? -1 : (r.samples[r.samples.size() / 2] + 10) / 20);
    }
    return order;
}

TEST(ImageSaverDuplex, PdfPagesComeInReadingOrder) {
    struct Case {
        int pages, duplex;
        std::vector<int> order;
    };
    const Case cases[] = {
        {6, 3, {1, 6, 2, 5, 3, 4}}, {5, 3, {1, 2, 5, 3, 4}}, {4, 3, {1, 2, 3, 4}},
        {5, 0, {1, 2, 3, 4, 5}},    {7, 3, {1, 6, 2, 5, 3, 4, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pages) + " pages, duplex " + std::to_string(c.duplex));
        std::string greys = "grey";
        for (int k = 1; k <= c.pages; ++k) greys += " " + std::to_string(20 * k);
        ScanRun run("image 64 48 8\nimages " + std::to_string(c.pages) + "\n" + greys + "\n", u"scan.pdf");
        run.twain->SetTransferCount(-1);
        ASSERT_TRUE(run.scan());
        run.twain->m_imageSaver.SetDuplexCount(c.duplex);
        run.twain->m_imageSaver.FinishImages();
        EXPECT_EQ(pdfPageOrder(run, saved(run, u"scan.pdf")), c.order);
        EXPECT_EQ(run.twain->m_savedFiles.GetSize(), 1);
        WCHAR folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        EXPECT_TRUE(run.machine.machine.filesIn(folder).empty());  // the library's page files are gone
    }
}

TEST(ImageSaverLibrary, LoadsTheLibraryBesideTheProgramOnce) {
    TwainMachine m;
    CImageSaver saver;
    EXPECT_FALSE(saver.LoadImageEncoder());  // not installed
    m.installEncoder();
    CImageSaver loaded;
    EXPECT_TRUE(loaded.LoadImageEncoder());
    EXPECT_TRUE(loaded.LoadImageEncoder());
}

}  // namespace
