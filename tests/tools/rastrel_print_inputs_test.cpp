// rastrel-print's other inputs and settings: PNG and netpbm pictures (sound and damaged), PDF pages
// rasterised with Poppler, the command-line print settings and the DEVMODE they end up in.

#include <gtest/gtest.h>
#include <png.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "devmode_builder.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "rastrel_print/pdf.h"
#include "rastrel_print/pictures.h"
#include "rastrel_print/render.h"
#include "rastrel_print/settings.h"

namespace rastrel_print_test {

// A PDF of pages (width and height in points, content stream), with a correct cross-reference
// table. Also used by the end-to-end tests.
std::string makePdf(const std::vector<std::tuple<double, double, std::string>>& pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>"};
    std::string kids;
    for (size_t i = 0; i < pages.size(); ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    for (size_t i = 0; i < pages.size(); ++i) {
        const auto& [w, h, content] = pages[i];
        char page[256];
        std::snprintf(page, sizeof page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.3f %.3f] /Contents %zu 0 R >>", w,
                      h, 4 + 2 * i);
        objects.push_back(page);
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    }
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t o : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

}  // namespace rastrel_print_test

namespace {

using namespace rastrel_print;
using platform::printing::Picture;
using rastrel_print_test::makePdf;

std::string writeTemp(const std::string& name, const std::string& bytes) {
    std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string png(png_uint_32 w, png_uint_32 h, png_uint_32 format, const std::vector<unsigned char>& pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = format;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::string out(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr));
    out.resize(size);
    return out;
}

TEST(RastrelPrintPictures, NetpbmAndPngBecomeGreyOrColourPictures) {
    std::string why;
    // P5 with a comment, maximum 15: values scale to 0..255.
    auto p5 = decodeNetpbm(std::string("P5\n# comment\n3 2\n15\n") + std::string("\x00\x0F\x08\x01\x02\x03", 6), &why);
    ASSERT_TRUE(p5) << why;
    EXPECT_EQ(p5->format, static_cast<ULONG>(BMF_8BPP));
    EXPECT_EQ(p5->size.cx, 3);
    EXPECT_EQ(p5->stride, 4);
    EXPECT_EQ(p5->palette.size(), 256u);
    EXPECT_EQ(p5->row(0)[1], 255);
    EXPECT_EQ(p5->row(0)[2], 136);
    EXPECT_EQ(p5->row(1)[0], 17);
    // 16-bit samples, big-endian.
    auto p5wide = decodeNetpbm(std::string("P5 1 1 65535\n", 13) + std::string("\x80\x00", 2), &why);
    ASSERT_TRUE(p5wide) << why;
    EXPECT_EQ(p5wide->row(0)[0], 128);
    // P2 (text) and P6 (colour, turned to blue, green, red).
    auto p2 = decodeNetpbm("P2 2 1 255 7 200\n", &why);
    ASSERT_TRUE(p2) << why;
    EXPECT_EQ(p2->row(0)[1], 200);
    auto p6 = decodeNetpbm(std::string("P6 1 1 255\n") + "\x10\x20\x30", &why);
    ASSERT_TRUE(p6) << why;
    EXPECT_EQ(p6->format, static_cast<ULONG>(BMF_24BPP));
    EXPECT_EQ(p6->row(0)[0], 0x30);
    EXPECT_EQ(p6->row(0)[2], 0x10);

    auto grey = decodePng(png(2, 1, PNG_FORMAT_GRAY, {0, 77}), &why);
    ASSERT_TRUE(grey) << why;
    EXPECT_EQ(grey->format, static_cast<ULONG>(BMF_8BPP));
    EXPECT_EQ(grey->row(0)[1], 77);
    auto colour = decodePng(png(1, 1, PNG_FORMAT_RGB, {10, 20, 30}), &why);
    ASSERT_TRUE(colour) << why;
    EXPECT_EQ(colour->format, static_cast<ULONG>(BMF_24BPP));
    EXPECT_EQ(colour->row(0)[0], 30);
    // Transparency lies over white paper.
    auto clear = decodePng(png(1, 1, PNG_FORMAT_GA, {0, 0}), &why);
    ASSERT_TRUE(clear) << why;
    EXPECT_EQ(clear->row(0)[0], 255);
}

TEST(RastrelPrintPictures, DamagedPicturesAreRefusedWithAReason) {
    const std::string good = png(4, 4, PNG_FORMAT_GRAY, std::vector<unsigned char>(16, 9));
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"P5\n3 2\n255\n\x01\x02", "raster is short"},
        {"P5\n3\n", "header is incomplete"},
        {"P5\n0 2 255\n", "no pixels"},
        {"P5\n40000 2 255\n", "too large"},
        {"P5\n20000 20000 255\n", "too large"},
        {"P5\n2 2 0\n", "maximum value 0"},
        {"P5\n2 2 70000\n", "maximum value 70000"},
        {"P5\n1 1 255", "does not end with a blank"},
        {"P2 2 1 255 7", "ends early"},
        {"P2 2 1 100 7 200", "above the maximum"},
        {"P2 2 1 255 7 x", "non-number"},
        {"P5\n99999999999999999999 2 255\n", "header is incomplete"},
        {good.substr(0, 40), "PNG"},
        {good.substr(0, 8) + std::string(40, 'x'), "PNG"},
    };
    for (const Case& c : cases) {
        std::string why;
        auto picture = sniff(c.bytes) == FileKind::kPng ? decodePng(c.bytes, &why) : decodeNetpbm(c.bytes, &why);
        EXPECT_FALSE(picture) << c.message;
        EXPECT_NE(why.find(c.message), std::string::npos) << "wanted '" << c.message << "', got: " << why;
    }
    // A PNG cut at every length, and random damage: an answer every time, never a fall.
    for (size_t n = 0; n < good.size(); ++n) {
        std::string why;
        decodePng(good.substr(0, n), &why);
    }
    std::mt19937 random(99);
    for (int round = 0; round < 200; ++round) {
        std::string bad = good;
        bad[8 + random() % (bad.size() - 8)] = static_cast<char>(random());
        std::string why;
        decodePng(bad, &why);
    }
    std::string why;
    EXPECT_FALSE(readPicture("/nonexistent/picture.png", &why));
    EXPECT_NE(why.find("cannot open"), std::string::npos);
    EXPECT_FALSE(readPicture(writeTemp("text.png", "hello"), &why));
    EXPECT_NE(why.find("not a PNG, PGM or PPM picture"), std::string::npos);
}

// A PNG signature and IHDR chunk for a picture of the size, with nothing after them but the bytes
// given (a grey picture of 8 bits a sample).
std::string pngHeader(uint32_t w, uint32_t h, const std::string& rest) {
    auto word = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    std::string ihdr = "IHDR" + word(w) + word(h) + std::string("\x08\x00\x00\x00\x00", 5);
    uint32_t crc = 0xFFFFFFFFu;  // the chunk's CRC-32, bit by bit
    for (char c : ihdr) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    return std::string("\x89PNG\r\n\x1a\n", 8) + word(13) + ihdr + word(crc) + rest;
}

// The growth of the peak resident size of a child process that decodes the bytes, in MiB.
long decodingGrowthMiB(const std::string& bytes) {
    const pid_t pid = fork();
    if (pid == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        std::string why;
        const bool decoded = sniff(bytes) == FileKind::kPng ? decodePng(bytes, &why).has_value()
                                                            : decodeNetpbm(bytes, &why).has_value();
        getrusage(RUSAGE_SELF, &after);
        if (decoded) _exit(255);
        _exit(static_cast<int>(std::min<long>((after.ru_maxrss - before.ru_maxrss) / 1024, 254)));
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(RastrelPrintPictures, AShortPictureIsRefusedBeforeItsPixelsAreMade) {
    // Headers that name 14142 x 14142 pixels (200 million bytes in grey, 600 million in colour)
    // over a few bytes of data (the PPM is 119 bytes in all): refused as short, without the memory
    // the size names.
    struct Case {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {"P6\n14142 14142\n255\n" + std::string(100, '\x7f'), "raster is short"},
        {"P5\n14142 14142\n255\n" + std::string(100, '\x7f'), "raster is short"},
        {"P2\n14142 14142\n255\n" + std::string(100, '7'), "ends early"},
        {pngHeader(14142, 14142, std::string("\0\0\0\x10IDAT", 8) + std::string(16, 'x')), "PNG is short"},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_FALSE(sniff(c.bytes) == FileKind::kPng ? decodePng(c.bytes, &why) : decodeNetpbm(c.bytes, &why));
        EXPECT_NE(why.find(c.message), std::string::npos) << why;
        const long growth = decodingGrowthMiB(c.bytes);
        EXPECT_GE(growth, 0) << c.message << ": the child decoded it or fell over";
        EXPECT_LT(growth, 64) << c.message << ": " << growth << " MiB taken before the picture was refused";
    }
}

// A file cut short by another program while it is mapped: the part past its new end reads as
// zeros instead of ending the process with SIGBUS, and the file is marked changed. A fault outside
// such a mapping still ends the process.
TEST(RastrelPrintPictures, AFileCutShortWhileMappedIsMarkedChangedNotAFault) {
    // Over 1 MiB: a file whose pages are mapped as they are read, not all when it is opened.
    const std::string raster(1024 * 1032, '\x40');
    const std::string bytes = "P5\n1024 1032\n255\n" + raster;
    const std::string cutPath = writeTemp("cut.pgm", bytes), keptPath = writeTemp("kept.pgm", bytes);
    std::string why;
    auto cut = FileBytes::open(cutPath, &why, pictureBound);
    auto kept = FileBytes::open(keptPath, &why, pictureBound);
    ASSERT_TRUE(cut && kept) << why;
    ASSERT_EQ(::truncate(cutPath.c_str(), 20), 0);
    auto picture = decodeNetpbm(cut->view(), &why);  // reads every byte of the mapping
    EXPECT_TRUE(cut->changed());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->row(1031)[1023], 0) << "the lost part reads as zeros";
    EXPECT_FALSE(kept->changed());
    EXPECT_EQ(decodeNetpbm(kept->view(), &why)->row(1031)[1023], 0x40);

    // A file cut short after it was mapped and before it is checked is refused by the check.
    {
        std::ofstream(cutPath, std::ios::binary | std::ios::trunc) << bytes;
        auto checked = FileBytes::open(cutPath, &why, pictureBound);
        ASSERT_TRUE(checked);
        ASSERT_EQ(::truncate(cutPath.c_str(), 20), 0);
        std::optional<Picture> plain;
        EXPECT_FALSE(checkNetpbm(std::move(*checked), &plain, &why));
        EXPECT_EQ(why, kFileChanged);
    }
    // A file cut short after it was checked: refused when its page prints, whether its picture is
    // made on another thread (a copy) or is the file's own raster; one cut once its page was drawn
    // from the raster is told by intact().
    const struct {
        std::string header;
        bool fileRows;
    } kinds[] = {{"P5\n1024 1032\n255\n", true}, {"P5\n1024 1032\n254\n", false}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.header);
        for (bool cutAfterGet : {false, true}) {
            if (cutAfterGet && !kind.fileRows) continue;  // a copy, once made, no longer needs the file
            std::ofstream(cutPath, std::ios::binary | std::ios::trunc) << kind.header + raster;
            auto checked = FileBytes::open(cutPath, &why, pictureBound);
            ASSERT_TRUE(checked);
            std::optional<Picture> plain;
            auto pending = checkNetpbm(std::move(*checked), &plain, &why);
            ASSERT_TRUE(pending) << why;
            if (cutAfterGet) {
                auto picture = pending->get(&why);
                ASSERT_TRUE(picture) << why;
                EXPECT_NE(picture->outside, nullptr) << "the rows are read from the file itself";
                EXPECT_EQ(picture->row(1031)[1023], 0x40);
                EXPECT_TRUE(pending->intact());
            }
            ASSERT_EQ(::truncate(cutPath.c_str(), 20), 0);
            if (cutAfterGet) {
                EXPECT_FALSE(pending->intact());
                continue;
            }
            EXPECT_FALSE(pending->get(&why));
            EXPECT_EQ(why, kFileChanged);
        }
    }

    EXPECT_DEATH(
        {
            const std::string other = writeTemp("unguarded.bin", std::string(3 * 4096, 'x'));
            const int fd = ::open(other.c_str(), O_RDONLY);
            auto* data = static_cast<volatile const char*>(mmap(nullptr, 3 * 4096, PROT_READ, MAP_SHARED, fd, 0));
            (void)::truncate(other.c_str(), 0);
            std::printf("%d\n", data[2 * 4096]);
        },
        "");
}

TEST(RastrelPrintPictures, FilesAreToldByTheirFirstBytes) {
    EXPECT_EQ(sniff("\x89PNG\r\n\x1a\n...."), FileKind::kPng);
    EXPECT_EQ(sniff("%PDF-1.7\n"), FileKind::kPdf);
    EXPECT_EQ(sniff("P5\n1 1 255\n"), FileKind::kNetpbm);
    EXPECT_EQ(sniff("P2 "), FileKind::kNetpbm);
    EXPECT_EQ(sniff("Pattern 0 0 1 1 dots"), FileKind::kPageDescription);
    EXPECT_EQ(sniff("# a page\nfill 1 1 1 1\n"), FileKind::kPageDescription);
    EXPECT_EQ(sniff(""), FileKind::kPageDescription);
}

// A4 in points; a black 72-point square whose top-left corner is one inch from the page's corner.
const double kA4W = 595.276, kA4H = 841.89;
const std::string kSquare = "0 g 72 697.89 72 72 re f";

TEST(RastrelPrintPdf, PagesRenderAtTheAskedResolutionOnWhite) {
    std::string why;
    auto pdf = PdfDocument::open(writeTemp("square.pdf", makePdf({{kA4W, kA4H, kSquare}, {kA4H, kA4W, ""}})), &why);
    ASSERT_TRUE(pdf) << why;
    ASSERT_EQ(pdf->pages(), 2);
    EXPECT_NEAR(pdf->pageWidth(0), kA4W, 0.01);
    EXPECT_NEAR(pdf->pageWidth(1), kA4H, 0.01);

    // At 600 dpi the square covers pixels 600..1199 both ways. Render a part around its corner.
    auto part = pdf->render(0, 600, 600, RECTL{590, 580, 620, 610}, &why);
    ASSERT_TRUE(part) << why;
    ASSERT_EQ(part->format, static_cast<ULONG>(BMF_8BPP));
    ASSERT_EQ(part->size.cx, 30);
    ASSERT_EQ(part->size.cy, 30);
    auto grey = [&](LONG x, LONG y) { return part->row(y)[x]; };
    EXPECT_EQ(grey(5, 25), 255) << "left of the square";
    EXPECT_EQ(grey(15, 15), 255) << "above the square";
    EXPECT_EQ(grey(15, 25), 0) << "inside";
    EXPECT_EQ(grey(29, 29), 0);

    // The same square at 300 dpi is half as far; a part past the page's edge stays white.
    auto half = pdf->render(0, 300, 300, RECTL{299, 299, 301, 301}, &why);
    ASSERT_TRUE(half) << why;
    EXPECT_EQ(half->row(0)[0], 255);
    EXPECT_EQ(half->row(1)[1], 0);
    auto outside = pdf->render(0, 600, 600, RECTL{4950, 7000, 5000, 7050}, &why);
    ASSERT_TRUE(outside) << why;
    for (LONG y = 0; y < outside->size.cy; ++y)
        for (LONG x = 0; x < outside->size.cx; ++x) ASSERT_EQ(outside->row(y)[x], 255);
}

// A small grey picture drawn inline, scaled up and turned, and a slanted smoothed line: what the
// renderer decodes, scales and smooths.
const std::string kPictureAndLine =
    " q 150 40 -30 120 300 200 cm BI /W 4 /H 3 /CS /G /BPC 8 ID \x10\x30\x50\x70\x90\xB0\xD0\xF0\x20\x60"
    "\xA0\xE0\nEI Q 0.3 G 2.5 w 100 100 m 480 300 l S";

// Four pages, each with its square somewhere else and in another grey, and the picture and line.
std::string fourPages() {
    std::vector<std::tuple<double, double, std::string>> pages;
    for (int i = 0; i < 4; ++i)
        pages.emplace_back(kA4W, kA4H, std::to_string(0.2 * i) + " g " + std::to_string(72 + 40 * i) + " " +
                                           std::to_string(600 - 90 * i) + " 72 72 re f" + kPictureAndLine);
    return makePdf(pages);
}

// The four pages as the job's one input (none when they do not load).
std::vector<Input> fourPageInputs(const std::string& name) {
    FontCache fonts;
    std::vector<std::string> errors;
    auto input = loadInput(writeTemp(name, fourPages()), fonts, &errors);
    EXPECT_TRUE(input) << (errors.empty() ? "" : errors[0]);
    return input ? std::vector<Input>{*input} : std::vector<Input>{};
}

void expectSameRows(const Picture& got, const Picture& expected, const std::string& what) {
    ASSERT_EQ(got.size.cx, expected.size.cx) << what;
    ASSERT_EQ(got.size.cy, expected.size.cy) << what;
    for (LONG y = 0; y < got.size.cy; ++y)
        ASSERT_EQ(std::memcmp(got.row(y), expected.row(y), static_cast<size_t>(got.size.cx)), 0)
            << what << ", row " << y;
}

// A device of the resolution whose printable area lies at the offset on the paper.
platform::printing::DeviceCaps deviceAt(ULONG dpi, POINTL offset, SIZEL printable) {
    platform::printing::DeviceCaps caps;
    caps.dpiX = caps.dpiY = dpi;
    caps.printableOffset = offset;
    caps.printable = printable;
    return caps;
}

TEST(RastrelPrintPdf, PagesRenderedAheadAreThePagesAsRenderedWhenPrinted) {
    const std::vector<Input> inputs = fourPageInputs("ahead.pdf");
    ASSERT_EQ(inputs.size(), 1u);
    const auto caps = deviceAt(150, POINTL{25, 30}, SIZEL{1180, 1700});
    // What the printing thread renders itself: the page from the printable area's corner on.
    auto own = [&](int index, const Picture& like) {
        std::string why;
        auto p = inputs[0].pdf->render(index, 150, 150,
                                       RECTL{25, 30, 25 + like.size.cx, 30 + like.size.cy}, &why);
        EXPECT_TRUE(p) << why;
        return p;
    };
    PagesAhead ahead(inputs, caps, DrawOptions{}, 2, 2);
    // Taken in order, with page 1 passed over (as a page that lands off the paper is).
    for (int index : {0, 2, 3}) {
        auto page = ahead.take(inputs[0], index);
        ASSERT_TRUE(page) << "page " << index;
        ASSERT_EQ(page->format, static_cast<ULONG>(BMF_8BPP));
        auto expected = own(index, *page);
        ASSERT_TRUE(expected);
        expectSameRows(*page, *expected, "page " + std::to_string(index));
    }
    EXPECT_FALSE(ahead.take(inputs[0], 1)) << "a page passed over is gone";
}

// A thread renders its pages into one bitmap: the next page goes where the last lay once its picture
// is let go, and a picture still held outlives the renderers.
TEST(RastrelPrintPdf, PagesRenderedAheadReuseOneBitmapAndOutliveTheRenderers) {
    const std::vector<Input> inputs = fourPageInputs("reuse.pdf");
    ASSERT_EQ(inputs.size(), 1u);
    const auto caps = deviceAt(100, POINTL{0, 0}, SIZEL{800, 1150});
    std::shared_ptr<const Picture> held;
    std::optional<Picture> expected;
    {
        PagesAhead ahead(inputs, caps, DrawOptions{}, 1, 1);
        auto first = ahead.take(inputs[0], 0);
        ASSERT_TRUE(first);
        const BYTE* where = first->pixels();
        first.reset();
        held = ahead.take(inputs[0], 1);
        ASSERT_TRUE(held);
        EXPECT_EQ(held->pixels(), where) << "page 2 is rendered where page 1 lay";
        std::string why;
        expected = inputs[0].pdf->render(1, 100, 100, RECTL{0, 0, 800, 1150}, &why);
        ASSERT_TRUE(expected) << why;
    }
    // The renderers' thread has ended; the page it rendered last is still whole.
    expectSameRows(*held, *expected, "page 2");
}

// A page rendered ahead is drawn whole, in one copy; a page rendered as it prints is drawn in
// strips. Both give the same job stream, for a page of many strips.
TEST(RastrelPrintPdf, APageDrawnWholeGivesTheStreamOfOneDrawnInStrips) {
    platform::testing::Machine machine;
    platform::PrinterSetup setup;
    setup.name = u"Rastrel Printer";
    setup.driverName = u"Rastrel Monochrome Laser";
    setup.driverModule = std::string(MFP_LIB_DIR) + "/Rastrel.so";
    setup.driverModuleName = u"Rastrel.dll";
    setup.defaultDevmode = DevmodeBuilder().str();
    platform::installPrinter(setup);
    // Greys and bars whose edges fall on and between the strips' rows.
    const std::string path = writeTemp(
        "strips.pdf", makePdf({{kA4W, kA4H, "0.6 g 36 36 500 700 re f 0 g 72 61.44 144 614.4 re f 0.3 g 300 122.88 200 "
                                            "61.44 re f 1 g 320 400 100 100 re f"}}));
    FontCache fonts;
    std::vector<std::string> errors;
    auto input = loadInput(path, fonts, &errors);
    ASSERT_TRUE(input) << (errors.empty() ? "" : errors[0]);
    std::vector<Input> inputs{std::move(*input)};
    auto print = [&](bool whole) {
        platform::printing::PrinterDevice device(setup.name, DevmodeBuilder().devmode());
        PagesAhead ahead(inputs, device.caps(), DrawOptions{}, whole ? 1 : 0, 1);
        DrawOptions options;
        options.ahead = &ahead;
        std::string why;
        EXPECT_TRUE(device.startDoc(u"strips") && device.startPage()) << device.lastError();
        EXPECT_TRUE(drawPage(device, inputs[0], 0, 1, 1, fonts, options, &why)) << why;
        EXPECT_TRUE(device.endPage() && device.endDoc()) << device.lastError();
        for (const platform::JobRecord& job : platform::printJobs())
            if (job.id == device.jobId()) return job.bytes;
        return std::string();
    };
    const std::string strips = print(false);
    ASSERT_GT(strips.size(), 1000u);
    EXPECT_TRUE(strips == print(true));
}

TEST(RastrelPrintPdf, FilesPopplerCannotUseAreRefusedWithAReason) {
    std::string why;
    EXPECT_FALSE(PdfDocument::open("/nonexistent/file.pdf", &why));
    EXPECT_NE(why.find("cannot load it as a PDF"), std::string::npos) << why;
    EXPECT_FALSE(PdfDocument::open(writeTemp("junk.pdf", "%PDF-1.4\nthis is not a PDF at all\n"), &why));
    EXPECT_FALSE(why.empty());
    const std::string good = makePdf({{kA4W, kA4H, kSquare}});
    // Cut short, and with a zero-sized page.
    for (size_t n : {size_t(20), good.size() / 2, good.size() - 10}) {
        why.clear();
        auto pdf = PdfDocument::open(writeTemp("cut.pdf", good.substr(0, n)), &why);
        if (pdf) {
            std::string renderWhy;
            pdf->render(0, 72, 72, RECTL{0, 0, 10, 10}, &renderWhy);
        } else {
            EXPECT_FALSE(why.empty());
        }
    }
    EXPECT_FALSE(PdfDocument::open(writeTemp("flat.pdf", makePdf({{20000, 300, ""}})), &why));
    EXPECT_NE(why.find("unusable size"), std::string::npos) << why;
}

TEST(RastrelPrintSettings, OptionsLandInTheDevmode) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> options;
        size_t offset;  // a 16-bit field of the DEVMODE
        int16_t value;
    };
    const Case cases[] = {
        {{{"--paper", "letter"}}, 78, DMPAPER_LETTER},
        {{{"--paper", "A5"}}, 78, DMPAPER_A5},
        {{{"--paper", "150x200"}}, 78, kCustomPaper},
        {{{"--paper", "150x200"}}, 82, 1500},
        {{{"--paper", "150x200.5"}}, 80, 2005},
        {{{"--landscape", nullptr}}, 76, DMORIENT_LANDSCAPE},
        {{{"--landscape", nullptr}, {"--portrait", nullptr}}, 76, DMORIENT_PORTRAIT},
        {{{"--resolution", "1200"}}, 90, 1200},
        {{{"--copies", "3"}}, 86, 3},
        {{{"--collate", nullptr}}, 100, 1},
        {{{"--collate", nullptr}, {"--no-collate", nullptr}}, 100, 0},
        {{{"--duplex", "long"}}, 94, DMDUP_VERTICAL},
        {{{"--duplex", "short"}}, 94, DMDUP_HORIZONTAL},
        {{{"--duplex", "none"}}, 94, DMDUP_SIMPLEX},
        {{{"--reverse", nullptr}}, 230, 1},
        {{{"--zoom", "150"}}, 2176, 150},
        {{{"--poster", nullptr}}, 500, 22},
        {{{"--pages-per-sheet", "4"}}, 500, 4},
        {{{"--negative", nullptr}}, 2174, 1},
        {{{"--rotate180", nullptr}}, 2168, 1},
        {{{"--mirror", nullptr}}, 2170, 1},
        {{{"--density", "0"}}, 2172, 0},
    };
    for (const Case& c : cases) {
        PrintSettings settings;
        std::string label;
        for (const auto& [name, value] : c.options) {
            std::string why;
            ASSERT_TRUE(takeSetting(name, value ? std::optional<std::string_view>(value) : std::nullopt, &settings, &why))
                << name << ": " << why;
            label += std::string(name) + " " + (value ? value : "") + " ";
        }
        DevmodeBuilder dm;
        applySettings(settings, dm);
        EXPECT_EQ(dm.get16(c.offset), c.value) << label;
    }
    // Settings not given leave the DEVMODE as it was.
    DevmodeBuilder before, after;
    before.copies(5).landscape();
    after = before;
    applySettings(PrintSettings{}, after);
    EXPECT_EQ(before.bytes(), after.bytes());
}

TEST(RastrelPrintSettings, BadValuesAreRefused) {
    struct Case {
        const char* name;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"--paper", "a3", "unknown paper"},
        {"--paper", "50x200", "75 to 216 mm wide"},
        {"--paper", "150x400", "148 to 356 mm long"},
        {"--paper", "150x", "WIDTHxLENGTH"},
        {"--resolution", "300", "600 or 1200"},
        {"--resolution", "600dpi", "600 or 1200"},
        {"--copies", "0", "1 to 999"},
        {"--copies", "1000", "1 to 999"},
        {"--copies", "-1", "1 to 999"},
        {"--duplex", "both", "none, long or short"},
        {"--zoom", "24", "25 to 400"},
        {"--zoom", "401", "25 to 400"},
        {"--pages-per-sheet", "3", "1, 2, 4 or 9"},
        {"--density", "3", "0 (light)"},
        {"--paper", nullptr, "needs a value"},
        {"--landscape", "yes", "takes no value"},
        {"--colour", nullptr, "unknown option"},
    };
    for (const Case& c : cases) {
        PrintSettings settings;
        std::string why;
        EXPECT_FALSE(takeSetting(c.name, c.value ? std::optional<std::string_view>(c.value) : std::nullopt, &settings,
                                 &why))
            << c.name;
        EXPECT_NE(why.find(c.message), std::string::npos) << c.name << " " << (c.value ? c.value : "") << ": " << why;
    }
}

TEST(RastrelPrintSettings, JobsPastTheSpoolLimitAreRefusedBeforePrinting) {
    // A job the driver spools holds 3000 sheets at most; one that goes straight out has no limit.
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        int pages;
        bool refused;
    } cases[] = {
        {"straight out", DevmodeBuilder(), 5000, false},
        {"reverse, 3000 sheets", DevmodeBuilder().reverse(true), 3000, false},
        {"reverse, 3001 sheets", DevmodeBuilder().reverse(true), 3001, true},
        {"two-sided", DevmodeBuilder().duplex(DMDUP_HORIZONTAL), 3001, true},
        {"collated copies", DevmodeBuilder().copies(2).collate(true), 3001, true},
        {"uncollated copies go straight out", DevmodeBuilder().copies(2), 3001, false},
        {"one collated copy goes straight out", DevmodeBuilder().collate(true), 3001, false},
        {"2 a sheet, reverse: 3000 sheets", DevmodeBuilder().pagesPerSheet(2).reverse(true), 6000, false},
        {"2 a sheet, reverse: 3001 sheets", DevmodeBuilder().pagesPerSheet(2).reverse(true), 6001, true},
        {"9 a sheet, reverse", DevmodeBuilder().pagesPerSheet(9).reverse(true), 27000, false},
        {"poster, reverse: 4 sheets a page", DevmodeBuilder().pagesPerSheet(22).reverse(true), 751, true},
        {"poster, reverse: 3000 sheets", DevmodeBuilder().pagesPerSheet(22).reverse(true), 750, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto problem = spoolLimitProblem(c.settings, c.pages);
        EXPECT_EQ(problem.has_value(), c.refused);
        if (problem) {
            EXPECT_NE(problem->find("3000 sheets at most"), std::string::npos) << *problem;
        }
    }
}

TEST(RastrelPrintSettings, OptionsTheDriverWouldQuietlyDropAreConflicts) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> options;
        const char* conflict;  // null: none
    } cases[] = {
        {{{"--poster", nullptr}, {"--pages-per-sheet", "4"}}, "--poster and --pages-per-sheet"},
        {{{"--pages-per-sheet", "1"}, {"--poster", nullptr}}, "--poster and --pages-per-sheet"},
        {{{"--watermark", "DRAFT"}, {"--watermark-image", "a.bmp"}}, "--watermark and --watermark-image"},
        {{{"--zoom", "150"}, {"--poster", nullptr}}, "--poster and --zoom"},
        {{{"--zoom", "50"}, {"--pages-per-sheet", "9"}}, "--zoom and --pages-per-sheet 9"},
        {{{"--zoom", "50"}, {"--pages-per-sheet", "1"}}, nullptr},
        {{{"--landscape", nullptr}, {"--portrait", nullptr}}, nullptr},  // the last one counts, as usual
        {{{"--watermark", "DRAFT"}, {"--watermark-angle", "30"}}, nullptr},
    };
    for (const auto& c : cases) {
        PrintSettings settings;
        std::string why;
        for (const auto& [name, value] : c.options)
            ASSERT_TRUE(takeSetting(name, value ? std::optional<std::string_view>(value) : std::nullopt, &settings, &why))
                << why;
        auto conflict = settingsConflict(settings);
        SCOPED_TRACE(c.options[0].first);
        ASSERT_EQ(conflict.has_value(), c.conflict != nullptr) << conflict.value_or("");
        if (conflict) {
            EXPECT_NE(conflict->find(c.conflict), std::string::npos) << *conflict;
        }
    }
}

TEST(RastrelPrintSettings, ADevmodeReadBackKeepsItsBytes) {
    DevmodeBuilder original;
    original.paper(DMPAPER_LETTER).copies(4).zoom(150).mirror(true);
    DevmodeBuilder copy(original.str());
    EXPECT_EQ(copy.bytes(), original.bytes());

    // A public-only DEVMODE keeps its public fields and gains the private defaults at full size.
    std::string shortOne = original.str().substr(0, 220);
    uint16_t extra = 0;
    std::memcpy(shortOne.data() + 70, &extra, 2);
    DevmodeBuilder completed(shortOne);
    EXPECT_EQ(completed.bytes().size(), DevmodeBuilder::kFullSize);
    EXPECT_EQ(completed.get16(78), DMPAPER_LETTER);
    EXPECT_EQ(completed.get16(86), 4);
    EXPECT_EQ(completed.get16(2176), 100) << "the private part is the default one";
    EXPECT_EQ(completed.get16(70), static_cast<int16_t>(DevmodeBuilder::kFullSize - 220));
    EXPECT_EQ(completed.get32(220), 0x56495250u);

    EXPECT_THROW(DevmodeBuilder(std::string(71, '\0')), std::invalid_argument);
}

}  // namespace
