// The rastrel-print program from the outside: it prints page descriptions, pictures and PDFs, and
// the marks land on the sheets where they were drawn (millimetres to pixels at the device's
// resolution, less the printable area's offset); faults give messages and exit codes.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "rastrel_dump/stream.h"

namespace rastrel_print_test {
std::string makePdf(const std::vector<std::tuple<double, double, std::string>>& pages);  // inputs test
}

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(MFP_BIN_DIR) + "/rastrel-print";
const std::string kSamples = std::string(MFP_SOURCE_DIR) + "/tools/rastrel-print/samples";

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class RastrelPrintProgram : public ::testing::Test {
protected:
    void SetUp() override {
        // The process id keeps the folder apart from that of the same test run elsewhere at the same time.
        folder_ = fs::path(::testing::TempDir()) /
                  ("rastrel_print_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                   "_" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(folder_);
    }

    std::string file(const std::string& name, const std::string& bytes) const {
        std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Runs the program in a machine of this test's own; `before` is shell put ahead of it.
    Outcome run(const std::string& args, const std::string& before = "") const {
        const std::string out = (folder_ / "stdout").string(), err = (folder_ / "stderr").string();
        const std::string command = before + "'" + kTool + "' --machine '" + (folder_ / "machine").string() + "' " +
                                    args + " >'" + out + "' 2>'" + err + "'";
        const int rc = std::system(command.c_str());
        return Outcome{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(out), slurp(err)};
    }

    // Prints and reads the job stream back.
    rastrel_dump::Result print(const std::string& args) const {
        const std::string stream = (folder_ / "job.prn").string();
        Outcome o = run("-q -o '" + stream + "' " + args);
        EXPECT_EQ(o.status, 0) << o.err;
        std::string bytes = slurp(stream);
        rastrel_dump::Result result =
            rastrel_dump::parse(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        EXPECT_TRUE(result.ok()) << (result.error ? rastrel_dump::describe(*result.error) : "stopped");
        return result;
    }

    fs::path folder_;
};

// Shell that holds the program run after it to 2 GB and a minute: by address space, or in a build
// with AddressSanitizer (whose shadow memory takes terabytes of address space) by the sanitizer's
// own limit on resident memory.
std::string limited() {
#if defined(__SANITIZE_ADDRESS__)
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string before = options && *options ? std::string(options) + ":" : "";
    return "ASAN_OPTIONS='" + before + "hard_rss_limit_mb=2000' timeout 60 ";
#else
    return "ulimit -v 2000000; timeout 60 ";
#endif
}

// A BMP file of 2 x 2 pixels, 24 bits a pixel.
std::string smallBmp() {
    std::string bmp(54 + 16, '\0');
    const uint32_t fields[][2] = {{2, 70}, {10, 54}, {14, 40}, {18, 2}, {22, 2}};
    for (const auto& [at, value] : fields) std::memcpy(&bmp[at], &value, 4);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[26] = 1;
    bmp[28] = 24;
    return bmp;
}

// Toner at a pixel of a 1- or 2-bit sheet (any level above none).
bool toner(const rastrel_dump::Sheet& s, uint32_t x, uint32_t y) {
    const uint8_t* row = s.bits.data() + size_t(y) * s.row_bytes();
    if (s.bits_per_pixel == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
    return (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
}

struct Box {
    long left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}

Box inked(const rastrel_dump::Sheet& s) {
    Box b{long(s.width_pixels), long(s.height), 0, 0};
    for (uint32_t y = 0; y < s.height; ++y)
        for (uint32_t x = 0; x < s.width_pixels; ++x)
            if (toner(s, x, y)) {
                b.left = std::min<long>(b.left, x);
                b.top = std::min<long>(b.top, y);
                b.right = std::max<long>(b.right, x + 1);
                b.bottom = std::max<long>(b.bottom, y + 1);
            }
    return b.right == 0 ? Box{} : b;
}

// Millimetres to device pixels as the program maps them: mm x dpi / 25.4, rounded.
long px(double mm, double dpi = 600) { return std::lround(mm * dpi / 25.4); }

// A4 at 600 dpi: the printable area (4736 x 6784 after rounding) starts 112 and 115 pixels from
// the paper's corner.
constexpr long kOffsetX = 112, kOffsetY = 115;

TEST_F(RastrelPrintProgram, FilledRectanglesLandWhereTheyWereDrawn) {
    struct Case {
        const char* settings;
        const char* page;
        Box expected;
    };
    const Case cases[] = {
        {"", "fill 30 40 20 10\n",
         Box{px(30) - kOffsetX, px(40) - kOffsetY, px(50) - kOffsetX, px(50) - kOffsetY}},
        {"", "origin printable\nfill 10 10 5 5\n", Box{px(10), px(10), px(15), px(15)}},
        {"", "pattern 30 40 20 10 fine-checker\n",
         Box{px(30) - kOffsetX, px(40) - kOffsetY, px(50) - kOffsetX, px(50) - kOffsetY}},
        // 1200 dpi output: two bits a pixel, the same places.
        {"--resolution 1200", "fill 30 40 20 10\n",
         Box{px(30) - kOffsetX, px(40) - kOffsetY, px(50) - kOffsetX, px(50) - kOffsetY}},
        // Letter paper: 5100 x 6600 physical, 4864 x 6368 printable after rounding.
        {"--paper letter", "fill 30 40 20 10\n",
         Box{px(30) - 118, px(40) - 116, px(50) - 118, px(50) - 116}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + " / " + c.page);
        auto result = print(std::string(c.settings) + " '" + file("page.page", c.page) + "'");
        ASSERT_EQ(result.sheets.size(), 1u);
        EXPECT_EQ(inked(result.sheets[0]), c.expected);
    }
    // A filled path of the same rectangle: the engine's edge rule may take the last column and row.
    auto result = print("'" + file("page.page", "polygon 30 40 50 40 50 50 30 50\n") + "'");
    ASSERT_EQ(result.sheets.size(), 1u);
    Box path = inked(result.sheets[0]);
    EXPECT_EQ(path.left, px(30) - kOffsetX);
    EXPECT_EQ(path.top, px(40) - kOffsetY);
    EXPECT_NEAR(path.right, px(50) - kOffsetX, 1);
    EXPECT_NEAR(path.bottom, px(50) - kOffsetY, 1);
}

TEST_F(RastrelPrintProgram, TextAndLinesLandOnTheirBaselineAndCentre) {
    auto result = print("'" + file("page.page",
                                   "font sans 20\n"
                                   "text 50 100 \"H\"\n"
                                   "page\n"
                                   "line 20 150 100 150 width=1\n"
                                   "page\n"
                                   "text 105 200 \"HH\" align=center size=20\n") +
                        "'");
    ASSERT_EQ(result.sheets.size(), 3u);
    // An H of 20 points: 121 pixels tall, standing on the baseline, a little right of the pen.
    Box h = inked(result.sheets[0]);
    EXPECT_EQ(h.bottom, px(100) - kOffsetY);
    EXPECT_NEAR(h.bottom - h.top, 20 * 600 / 72.0 * 0.729, 2);
    EXPECT_GE(h.left, px(50) - kOffsetX);
    EXPECT_LE(h.left, px(50) - kOffsetX + 20);
    // A 1 mm line centred on its row.
    Box line = inked(result.sheets[1]);
    EXPECT_NEAR((line.top + line.bottom) / 2.0, px(150) - kOffsetY, 1.5);
    EXPECT_NEAR(line.bottom - line.top, px(1), 1.5);
    EXPECT_NEAR(line.left, px(20) - kOffsetX - px(1) / 2.0, 1.5) << "a round end half the width out";
    // Centred text is centred on its x.
    Box centred = inked(result.sheets[2]);
    EXPECT_NEAR((centred.left + centred.right) / 2.0, px(105) - kOffsetX, 4);
}

// A poster page is drawn at 1200 dpi over four sheets: a mark in the page's bottom-right quarter
// lands on the fourth sheet only, moved by the band's origin (half the printable area).
TEST_F(RastrelPrintProgram, PosterMarksLandOnTheirQuarter) {
    auto result = print("--poster '" + file("page.page", "fill 150 250 10 10\n") + "'");
    ASSERT_EQ(result.sheets.size(), 4u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(inked(result.sheets[i]), Box{}) << "sheet " << i + 1;
    // 1200 dpi: printable 9472 x 13568, paper 9920 x 14030, so the offset is 224 x 231.
    const long dx = -224 - 4736, dy = -231 - 6784;
    EXPECT_EQ(inked(result.sheets[3]),
              (Box{px(150, 1200) + dx, px(250, 1200) + dy, px(160, 1200) + dx, px(260, 1200) + dy}));
}

TEST_F(RastrelPrintProgram, PdfPagesAndPicturesArePrinted) {
    // A black square one inch in from the page's corner, one inch a side: at 600 dpi pixels
    // 600..1199 of the paper.
    const std::string pdf = file("doc.pdf", rastrel_print_test::makePdf({{595.276, 841.89, "0 g 72 697.89 72 72 re f"},
                                                                         {595.276, 841.89, ""}}));
    // A picture half black, half white, fitted to the printable area: 4736 wide, so 2368 tall,
    // centred from row (6784 - 2368) / 2.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_GRAY;
    const unsigned char pixels[2] = {0, 255};
    const std::string picture = (folder_ / "half.png").string();
    ASSERT_TRUE(png_image_write_to_file(&image, picture.c_str(), 0, pixels, 0, nullptr));

    // The same picture as PGM and PPM, whose pixels are made while the job starts.
    const std::string pgm = file("half.pgm", std::string("P5 2 1 255\n\x00\xff", 13));
    const std::string ppm = file("half.ppm", std::string("P6 2 1 255\n\x00\x00\x00\xff\xff\xff", 17));

    auto result = print("'" + pdf + "' '" + picture + "' '" + pgm + "' '" + ppm + "'");
    ASSERT_EQ(result.sheets.size(), 5u);
    EXPECT_EQ(inked(result.sheets[0]), (Box{600 - kOffsetX, 600 - kOffsetY, 1200 - kOffsetX, 1200 - kOffsetY}));
    EXPECT_EQ(inked(result.sheets[1]), Box{}) << "a blank PDF page";
    Box half = inked(result.sheets[2]);
    EXPECT_EQ(half.left, 0);
    EXPECT_NEAR(half.right, 2368, 2);
    EXPECT_NEAR(half.top, 2208, 1);
    EXPECT_NEAR(half.bottom, 2208 + 2368, 1);
    EXPECT_EQ(inked(result.sheets[3]), half) << "PGM";
    EXPECT_EQ(inked(result.sheets[4]), half) << "PPM";
}

TEST_F(RastrelPrintProgram, TheSampleDocumentPrintsWithProgressAndSheetPictures) {
    const std::string stream = (folder_ / "sample.prn").string(), sheets = (folder_ / "sheets").string();
    Outcome o = run("-o '" + stream + "' --png '" + sheets + "' '" + kSamples + "/sample.page'");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("(installed)"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("page 3/3"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("job stream -> "), std::string::npos) << o.out;
    for (const char* name : {"sheet-001.png", "sheet-002.png", "sheet-003.png"}) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, (fs::path(sheets) / name).c_str())) << name;
        EXPECT_EQ(image.width, 4736u);
        EXPECT_EQ(image.height, 6784u);
        png_image_free(&image);
    }
    // Once installed, the printer is used as it is.
    Outcome again = run("-q '" + kSamples + "/sample.page'");
    EXPECT_EQ(again.status, 0) << again.err;
    Outcome chatty = run("'" + kSamples + "/sample.page'");
    EXPECT_EQ(chatty.out.find("(installed)"), std::string::npos) << chatty.out;
}

TEST_F(RastrelPrintProgram, FaultsGiveMessagesAndExitCodes) {
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const std::string bad = file("bad.page", "fill 1 1 1 1\nfill 1 1\ntext 1 1 \"ok\"\nwhat\n");
    const std::string fontless = file("fontless.page", "font missing.ttf 10\n");
    const std::string junk = file("junk.pdf", "%PDF-1.4\nnothing else\n");
    const std::string broken = file("broken.png", std::string("\x89PNG\r\n\x1a\n", 8) + "garbage");
    const std::string png = file("mark.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, 'x'));
    const std::string empty = file("empty.page", "");
    const std::string one = file("one.page", "fill 10 10 10 10\n");
    std::string pages;
    for (int i = 0; i < 3000; ++i) pages += "fill 10 10 10 10\npage\n";
    const std::string many = file("many.page", pages + "fill 10 10 10 10\n");  // 3001 pages
    // A BMP of 2 x 2 pixels, then the same with its pixels cut off.
    const std::string bmp = smallBmp();
    std::string cut = bmp.substr(0, 60);
    const uint32_t cutSize = 60;
    std::memcpy(&cut[2], &cutSize, 4);
    const std::string goodMark = file("mark.bmp", bmp), cutMark = file("cut.bmp", cut);
    const Case cases[] = {
        {"", 2, "no input to print"},
        {"--frobnicate x.page", 2, "unknown option --frobnicate"},
        {"--zoom 5 x.page", 2, "--zoom 5: a percentage from 25 to 400"},
        {"--paper", 2, "--paper needs a value"},
        {"--duplex=sideways x.page", 2, "none, long or short"},
        {"-", 2, "standard input"},
        {"'" + bad + "'", 1, bad + ":2: fill takes X Y W H"},
        {"'" + bad + "'", 1, bad + ":4: unknown command 'what'"},
        {"'" + fontless + "'", 1, fontless + ":1: font missing.ttf"},
        {"'" + (folder_ / "none.page").string() + "'", 1, "cannot open"},
        {"'" + folder_.string() + "'", 1, "is a folder"},
        {"'" + junk + "'", 1, "cannot load it as a PDF"},
        {"'" + broken + "'", 1, "not a readable PNG"},
        {"--driver /nonexistent.so '" + kSamples + "/sample.page'", 1, "no driver module"},
        {"'" + empty + "'", 1, empty + ": the file is empty"},
        {"--watermark-image '" + png + "' '" + one + "'", 1,
         "the watermark picture " + png + " is not a sound BMP file: it does not begin with \"BM\""},
        {"--watermark-image '" + cutMark + "' '" + one + "'", 1,
         "is not a sound BMP file: its pixels run past the end of the file"},
        {"--watermark-image '" + (folder_ / "none.bmp").string() + "' '" + one + "'", 1, "cannot read the watermark"},
        {"--poster --pages-per-sheet 4 '" + one + "'", 2, "--poster and --pages-per-sheet cannot be used together"},
        {"--pages-per-sheet 1 --poster '" + one + "'", 2, "--poster and --pages-per-sheet cannot be used together"},
        {"--watermark DRAFT --watermark-image '" + goodMark + "' '" + one + "'", 2,
         "--watermark and --watermark-image cannot be used together"},
        {"--zoom 150 --poster '" + one + "'", 2, "--poster and --zoom cannot be used together"},
        {"--pages-per-sheet 4 --zoom 50 '" + one + "'", 2, "--zoom and --pages-per-sheet 4 cannot be used together"},
        {"--reverse '" + many + "'", 1, "the job makes 3001 sheets"},
        {"--duplex long '" + many + "'", 1, "3000 sheets at most"},
    };
    for (const Case& c : cases) {
        Outcome o = run("-o '" + (folder_ / "never.prn").string() + "' " + c.args);
        EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << "\n  wanted: " << c.message << "\n  got: " << o.err;
        EXPECT_FALSE(fs::exists(folder_ / "never.prn")) << c.args;
    }
    Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: rastrel-print", 0), 0u) << help.out;
}

// A device or a pipe is read only as far as an input of its kind can go: endless ones are refused
// at once, without the memory they would fill (the runs are held to 2 GB and a minute), and pipes
// that end print as the files they carry do.
TEST_F(RastrelPrintProgram, EndlessInputsAreRefusedAndPipesThatEndPrint) {
    const std::string one = file("one.page", "fill 10 10 10 10\n");
    const std::string zeroImage = file("zero.page", "fill 10 10 10 10\nimage 20 20 30 0 /dev/zero\n");
    const struct {
        std::string args, message;
    } endless[] = {
        {"/dev/zero", "/dev/zero: it goes on past 64 MiB, more than any page description can hold"},
        {"'" + zeroImage + "'", zeroImage + ":2: /dev/zero: not a PNG, PGM or PPM picture"},
        {"--watermark-image /dev/zero '" + one + "'",
         "the watermark picture /dev/zero is not a sound BMP file: it does not begin with \"BM\""},
    };
    for (const auto& c : endless) {
        Outcome o = run("-q -o '" + (folder_ / "never.prn").string() + "' " + c.args, limited());
        EXPECT_EQ(o.status, 1) << c.args << "\n" << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << "\n  wanted: " << c.message << "\n  got: " << o.err;
        EXPECT_FALSE(fs::exists(folder_ / "never.prn")) << c.args;
    }

    // The description, its picture and the watermark each come through a pipe of their own, fed by
    // writers that give up after a minute if the program never opens theirs.
    const std::string photo = kSamples + "/photo.pgm", mark = file("mark.bmp", smallBmp());
    const std::string page = file("page.page", "fill 10 10 10 10\nimage 20 20 30 0 photo.fifo\n");
    const std::string fromFiles = file("files.page", "fill 10 10 10 10\nimage 20 20 30 0 " + photo + "\n");
    std::string feed;
    for (const auto& [name, from] : {std::pair{"page.fifo", page}, {"photo.fifo", photo}, {"mark.fifo", mark}}) {
        const std::string fifo = (folder_ / name).string();
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << fifo;
        feed += "timeout 60 dd status=none if='" + from + "' of='" + fifo + "' </dev/null >/dev/null 2>&1 & ";
    }
    const std::string piped = (folder_ / "piped.prn").string(), filed = (folder_ / "filed.prn").string();
    Outcome o = run("-q --title t -o '" + piped + "' --watermark-image '" + (folder_ / "mark.fifo").string() + "' '" +
                        (folder_ / "page.fifo").string() + "'",
                    feed + limited());
    ASSERT_EQ(o.status, 0) << o.err;
    o = run("-q --title t -o '" + filed + "' --watermark-image '" + mark + "' '" + fromFiles + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(slurp(piped), slurp(filed));
    EXPECT_GT(slurp(piped).size(), 0u);
}

// Text costs what can show of it: a line of 6,000 capitals at 300 points, along the page and far
// below it, prints in a run held to 2 GB, as the few of its letters that reach the paper print.
TEST_F(RastrelPrintProgram, ALongLineCostsWhatCanShowOfIt) {
    auto page = [](size_t letters) {
        const std::string text(letters, 'W');
        return "font sans 300\ntext 10 150 \"" + text + "\"\nfill 10 200 10 10\npage\nfill 10 10 10 10\n"
               "text 10 1900 \"" + text + "\"\n";
    };
    const std::string endless = (folder_ / "long.prn").string(), few = (folder_ / "few.prn").string();
    Outcome o = run("-q --title t -o '" + endless + "' '" + file("long.page", page(6000)) + "'",
                    limited());
    ASSERT_EQ(o.status, 0) << o.err;
    o = run("-q --title t -o '" + few + "' '" + file("few.page", page(12)) + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(slurp(endless), slurp(few));
}

}  // namespace
