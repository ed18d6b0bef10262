// rastrel-print's page description: what each command parses to, the messages for faulty lines
// (with their line numbers), how pages are split, and that no input makes the parser fall over.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "rastrel_print/page_description.h"
#include "rastrel_print/render.h"

namespace {

using namespace rastrel_print;

const std::string kSamples = std::string(MFP_SOURCE_DIR) + "/tools/rastrel-print/samples";

ParseResult parse(const std::string& text) { return parsePageDescription(text, "doc"); }

// The one command of a one-line description.
template <class T>
T only(const std::string& line) {
    ParseResult r = parse(line);
    EXPECT_TRUE(r.ok()) << line << ": " << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_EQ(r.description.pages.size(), 1u);
    if (r.description.pages.empty() || r.description.pages[0].size() != 1) {
        ADD_FAILURE() << line << ": not one command";
        return T{};
    }
    const T* c = std::get_if<T>(&r.description.pages[0][0].command);
    if (!c) {
        ADD_FAILURE() << line << ": another command";
        return T{};
    }
    return *c;
}

TEST(RastrelPrintDescription, CommandsParseToTheirValues) {
    auto fill = only<FillCommand>("fill 10 20.5 30 40 grey=128");
    EXPECT_DOUBLE_EQ(fill.at.x, 10);
    EXPECT_DOUBLE_EQ(fill.at.y, 20.5);
    EXPECT_DOUBLE_EQ(fill.w, 30);
    EXPECT_DOUBLE_EQ(fill.h, 40);
    EXPECT_EQ(fill.grey, 128);
    EXPECT_EQ(only<FillCommand>("fill 1 2 3 4").grey, 0);

    auto text = only<TextCommand>("text 105 287 \"page {page} of \\\"{pages}\\\" # not a comment\" align=center size=9");
    EXPECT_EQ(text.text, "page {page} of \"{pages}\" # not a comment");
    EXPECT_EQ(text.align, Align::kCenter);
    ASSERT_TRUE(text.points.has_value());
    EXPECT_DOUBLE_EQ(*text.points, 9);
    EXPECT_FALSE(text.font.has_value());
    EXPECT_EQ(only<TextCommand>("text 1 2 \"x\" font=\"my font.ttf\"").font.value_or(""), "my font.ttf");

    auto font = only<FontCommand>("font serif-bold 28   # the title");
    EXPECT_EQ(font.name, "serif-bold");
    EXPECT_DOUBLE_EQ(font.points, 28);

    auto line = only<LineCommand>("line 0 0 -10 +20");
    ASSERT_EQ(line.points.size(), 2u);
    EXPECT_DOUBLE_EQ(line.points[1].x, -10);
    EXPECT_DOUBLE_EQ(line.points[1].y, 20);
    EXPECT_DOUBLE_EQ(line.width, 0.25);
    EXPECT_EQ(only<LineCommand>("polyline 0 0 1 1 2 0 width=0").points.size(), 3u);
    EXPECT_DOUBLE_EQ(only<LineCommand>("polyline 0 0 1 1 2 0 width=0").width, 0);

    auto pattern = only<PatternCommand>("pattern 0 0 10 10 8000000000000001 ink=10 paper=200");
    EXPECT_EQ(pattern.rows[0], 0x80);
    EXPECT_EQ(pattern.rows[7], 0x01);
    EXPECT_EQ(pattern.ink, 10);
    EXPECT_EQ(pattern.paper, 200);
    EXPECT_EQ(only<PatternCommand>("pattern 0 0 10 10 diagonal").rows[1], 0x40);

    EXPECT_TRUE(only<PolygonCommand>("polygon 0 0 1 0 0 1 rule=evenodd").evenOdd);
    EXPECT_FALSE(only<PolygonCommand>("polygon 0 0 1 0 0 1").evenOdd);

    auto ellipse = only<EllipseCommand>("ellipse 1 2 3 4 outline=0 width=1");
    EXPECT_FALSE(ellipse.fill.has_value());
    EXPECT_EQ(ellipse.outline.value_or(-1), 0);
    EXPECT_EQ(only<EllipseCommand>("ellipse 1 2 3 4").fill.value_or(-1), 0);  // filled black by default

    auto shape = only<ShapeCommand>("shape M 0 0 L 10 0 C 10 5 5 10 0 10 Z M 20 20 L 30 30 Z");
    ASSERT_EQ(shape.steps.size(), 7u);
    EXPECT_EQ(shape.steps[2].op, 'C');
    EXPECT_DOUBLE_EQ(shape.steps[2].points[2].y, 10);
    EXPECT_EQ(shape.steps[4].op, 'M');

    auto image = only<ImageCommand>("image 30 82 150 0 \"photo one.pgm\"");
    EXPECT_EQ(image.file, "photo one.pgm");
    EXPECT_DOUBLE_EQ(image.h, 0);
    EXPECT_EQ(only<OriginCommand>("origin printable").origin, Origin::kPrintable);
}

TEST(RastrelPrintDescription, FaultyLinesAreNamedWithTheirReason) {
    struct Case {
        const char* line;
        const char* message;  // a part of the message
    };
    const Case cases[] = {
        {"frobnicate 1 2", "unknown command 'frobnicate'"},
        {"\"text\" 1 2", "must begin with a command"},
        {"grey=3", "must begin with a command"},
        {"fill 10 20 30", "fill takes X Y W H (4 values), not 3"},
        {"fill 10 20 30 40 50", "not 5"},
        {"fill 10 20 30 x", "height must be a number, not 'x'"},
        {"fill 10 20 30 1e5", "must be a number"},
        {"fill nan 20 30 40", "x must be a number"},
        {"fill 10 20 -30 40", "width '-30' is out of range"},
        {"fill 5000 20 30 40", "x '5000' is out of range"},
        {"fill 10 20 30 40 grey=256", "grey '256' is out of range"},
        {"fill 10 20 30 40 grey=12.5", "whole number"},
        {"fill 10 20 30 40 colour=3", "unknown option 'colour' for fill (known: grey)"},
        {"fill 10 20 30 40 grey=1 grey=2", "given twice"},
        {"text 10 20 \"unterminated", "not closed"},
        {"text 10 20 \"a\"b", "followed by a blank"},
        {"text 10 20 \"a\\q\"", "backslash"},
        {"text 10 20 hello", "double quotes"},
        {"text 10 20 \"\xff\xfe\"", "not valid UTF-8"},
        {"text 10 20 \"a\" align=middle", "align must be left, center or right"},
        {"text 10 20 \"a\" size=0", "size '0' is out of range"},
        {"font sans", "font takes a family or font file and a size in points"},
        {"font sans 0.5", "font size '0.5' is out of range"},
        {"origin middle", "origin must be paper or printable"},
        {"page 2", "page takes no values"},
        {"line 1 2 3", "line takes X1 Y1 X2 Y2"},
        {"polyline 1 2 3", "pairs of numbers"},
        {"polyline 1 2", "2 points at least"},
        {"polygon 1 2 3 4", "3 points at least"},
        {"polygon 0 0 1 0 0 1 rule=odd", "rule must be winding or evenodd"},
        {"pattern 0 0 10 10 zigzag", "unknown pattern 'zigzag'"},
        {"pattern 0 0 10 10 0123456789ABCDEZ", "unknown pattern"},
        {"pattern 0 0 10 10", "pattern takes X Y W H and a pattern name"},
        {"rect 0 0 10 10 width=60", "width '60' is out of range"},
        {"shape L 1 2", "must begin each figure with M"},
        {"shape Z", "Z closes nothing"},
        {"shape M 1 2 C 1 2 3", "the step C needs 6 numbers"},
        {"shape M 1 2 Q 3 4", "shape steps are"},
        {"shape grey=3", "shape takes steps"},
        {"image 0 0 0 0 a.png", "needs a width or a height"},
        {"image 0 0 10 10", "image takes X Y W H FILE"},
    };
    for (const Case& c : cases) {
        ParseResult r = parse(c.line);
        ASSERT_EQ(r.errors.size(), 1u) << c.line;
        EXPECT_EQ(r.errors[0].rfind("doc:1: ", 0), 0u) << r.errors[0];
        EXPECT_NE(r.errors[0].find(c.message), std::string::npos) << c.line << "\n  gave: " << r.errors[0];
    }
    ParseResult nul = parse(std::string("fill 1 2 3 4\0", 13));
    ASSERT_EQ(nul.errors.size(), 1u);
    EXPECT_NE(nul.errors[0].find("NUL"), std::string::npos);
}

TEST(RastrelPrintDescription, EveryFaultyLineIsReportedWithItsNumber) {
    ParseResult r = parse("font sans 12\n"
                          "text 10 10 \"fine\"\n"
                          "fill 1 2 3\n"
                          "\n"
                          "  # a comment\n"
                          "line 0 0 10 10\r\n"
                          "bogus\r\n"
                          "fill 1 2 3 4\n");
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0].rfind("doc:3: ", 0), 0u) << r.errors[0];
    EXPECT_EQ(r.errors[1].rfind("doc:7: ", 0), 0u) << r.errors[1];

    // Past the limit one line says how many more there were.
    std::string many;
    for (int i = 0; i < 30; ++i) many += "nonsense\n";
    ParseResult capped = parse(many);
    ASSERT_EQ(capped.errors.size(), kMaxErrors + 1);
    EXPECT_EQ(capped.errors[kMaxErrors - 1].rfind("doc:20: ", 0), 0u);
    EXPECT_NE(capped.errors.back().find("10 more faulty lines"), std::string::npos) << capped.errors.back();
}

TEST(RastrelPrintDescription, PagesSplitAtPageLines) {
    struct Case {
        const char* text;
        std::vector<size_t> commands;  // commands on each page
    };
    const Case cases[] = {
        {"", {0}},                                              // nothing: one blank page
        {"fill 1 1 1 1\nfill 2 2 2 2\n", {2}},                  // no page line: one page
        {"page\nfill 1 1 1 1\n", {1}},                          // a leading page line starts page 1
        {"font sans 9\npage\nfill 1 1 1 1\n", {2}},             // ... also after settings only
        {"fill 1 1 1 1\npage\nfill 1 1 1 1\n", {1, 1}},
        {"fill 1 1 1 1\npage\npage\nfill 1 1 1 1\n", {1, 0, 1}},  // a blank page between
        {"fill 1 1 1 1\npage\n", {1, 0}},                       // a trailing page line: a blank last page
        {"page\npage\nfill 1 1 1 1\n", {0, 1}},
    };
    for (const Case& c : cases) {
        ParseResult r = parse(c.text);
        ASSERT_TRUE(r.ok()) << c.text;
        std::vector<size_t> counts;
        for (const auto& page : r.description.pages) counts.push_back(page.size());
        EXPECT_EQ(counts, c.commands) << c.text;
    }
    ParseResult r = parse("fill 1 1 1 1\npage\n\ntext 1 1 \"x\"\n");
    ASSERT_EQ(r.description.pages.size(), 2u);
    EXPECT_EQ(r.description.pages[1][0].line, 4);
}

TEST(RastrelPrintDescription, MacrosExpandToPageNumbers) {
    EXPECT_EQ(expandMacros("page {page} of {pages}", 3, 12), "page 3 of 12");
    EXPECT_EQ(expandMacros("{page}{page}", 7, 9), "77");
    EXPECT_EQ(expandMacros("{Page} {pagesx} {pages {", 1, 2), "{Page} {pagesx} {pages {");
}

TEST(RastrelPrintDescription, TheBundledSampleIsSound) {
    std::ifstream in(kSamples + "/sample.page");
    std::stringstream text;
    text << in.rdbuf();
    ParseResult r = parsePageDescription(text.str(), "sample.page");
    ASSERT_TRUE(r.ok()) << r.errors[0];
    EXPECT_EQ(r.description.pages.size(), 3u);

    // Its fonts and its photograph load too.
    FontCache fonts;
    std::vector<std::string> errors;
    auto input = loadInput(kSamples + "/sample.page", fonts, &errors);
    ASSERT_TRUE(input.has_value()) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(input->pages(), 3);
    ASSERT_EQ(input->images.count("photo.pgm"), 1u);
    EXPECT_EQ(input->images.at("photo.pgm")->size.cx, 320);
}

TEST(RastrelPrintDescription, MissingFontsAndPicturesAreNamedWithTheirLine) {
    const std::string folder = ::testing::TempDir() + "/rastrel_print_missing-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/doc.page";
    std::ofstream(path) << "text 1 1 \"a\"\n"
                           "font nofont.ttf 10\n"
                           "image 0 0 10 0 nothing.png\n"
                           "image 0 0 10 0 doc.page\n";
    FontCache fonts;
    std::vector<std::string> errors;
    EXPECT_FALSE(loadInput(path, fonts, &errors).has_value());
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find("doc.page:2: font nofont.ttf"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("doc.page:3: cannot open"), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find("doc.page:4: "), std::string::npos) << errors[2];
    EXPECT_NE(errors[2].find("not a PNG, PGM or PPM picture"), std::string::npos) << errors[2];
}

// Prefixes of the sample, the sample with bytes changed, and random bytes: every one is parsed to
// an answer, a description or messages.
TEST(RastrelPrintDescription, NoInputMakesTheParserFallOver) {
    std::ifstream in(kSamples + "/sample.page");
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string sample = buffer.str();
    for (size_t n = 0; n <= sample.size(); n += 7) parse(sample.substr(0, n));

    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::string changed = sample;
        for (int k = 0; k < 20; ++k) changed[random() % changed.size()] = static_cast<char>(random() % 256);
        ParseResult r = parse(changed);
        for (const std::string& e : r.errors) EXPECT_EQ(e.rfind("doc:", 0), 0u);
        std::string noise(random() % 400, '\0');
        for (char& c : noise) c = static_cast<char>(random() % 256);
        parse(noise);
    }
    // Very long lines and numbers.
    parse("fill " + std::string(100000, '9') + " 1 1 1");
    parse("polyline" + std::string(30000, ' ') + "\n" + [] {
        std::string s = "polyline";
        for (int i = 0; i < 20001; ++i) s += " 1 1";
        return s;
    }());
    SUCCEED();
}

}  // namespace
