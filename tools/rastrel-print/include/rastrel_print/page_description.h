// The page description of rastrel-print: a text file of drawing commands, one a line, positions and
// sizes in millimetres (see tools/rastrel-print/README.md for the format). The parser checks the
// syntax and the ranges of every value; it never reads the files a description names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rastrel_print {

struct PointMm {
    double x = 0;
    double y = 0;
};

enum class Origin { kPaper, kPrintable };
enum class Align { kLeft, kCenter, kRight };

// `origin paper|printable`: where positions count from, for the commands after it.
struct OriginCommand {
    Origin origin = Origin::kPaper;
};
// `font NAME|FILE SIZE`: the font of the text after it.
struct FontCommand {
    std::string name;  // a family name (see fontFamilies() in glyphs.h) or a font file
    double points = 0;
};
// `text X Y "TEXT" [align=] [grey=] [font=] [size=]`.
struct TextCommand {
    PointMm at;
    std::string text;  // UTF-8, with the {page} and {pages} macros still in it
    Align align = Align::kLeft;
    int grey = 0;
    std::optional<std::string> font;
    std::optional<double> points;
};
// `line X1 Y1 X2 Y2` and `polyline X1 Y1 X2 Y2 ...` [width=] [grey=].
struct LineCommand {
    std::vector<PointMm> points;
    double width = 0.25;  // mm; 0 is the printer's thinnest line
    int grey = 0;
};
// `rect X Y W H [width=] [grey=]`: an outline.
struct RectCommand {
    PointMm at;
    double w = 0, h = 0;
    double width = 0.25;
    int grey = 0;
};
// `fill X Y W H [grey=]`: a solid rectangle.
struct FillCommand {
    PointMm at;
    double w = 0, h = 0;
    int grey = 0;
};
// `pattern X Y W H NAME|HEX [ink=] [paper=]`.
struct PatternCommand {
    PointMm at;
    double w = 0, h = 0;
    unsigned char rows[8] = {};  // row 0 first, bit 7 leftmost, 1 = ink
    int ink = 0;
    int paper = 255;
};
// `polygon X1 Y1 X2 Y2 X3 Y3 ... [grey=] [rule=]`: a filled polygon.
struct PolygonCommand {
    std::vector<PointMm> points;
    int grey = 0;
    bool evenOdd = false;
};
// `ellipse X Y W H [fill=] [outline=] [width=]`.
struct EllipseCommand {
    PointMm at;
    double w = 0, h = 0;
    std::optional<int> fill;
    std::optional<int> outline;
    double width = 0.25;
};
// `shape M X Y L X Y C X1 Y1 X2 Y2 X Y Z ... [grey=] [rule=]`: a filled path of lines and curves.
struct ShapeCommand {
    struct Step {
        char op = 'M';  // M move, L line, C curve (three points), Z close
        PointMm points[3];
    };
    std::vector<Step> steps;
    int grey = 0;
    bool evenOdd = false;
};
// `image X Y W H FILE`: a PNG or PGM picture; one of W and H may be 0 to keep the proportions.
struct ImageCommand {
    PointMm at;
    double w = 0, h = 0;
    std::string file;
};

using Command = std::variant<OriginCommand, FontCommand, TextCommand, LineCommand, RectCommand, FillCommand,
                             PatternCommand, PolygonCommand, EllipseCommand, ShapeCommand, ImageCommand>;

struct Located {
    int line = 0;  // 1-based line of the description
    Command command;
};

struct PageDescription {
    std::vector<std::vector<Located>> pages;
};

struct ParseResult {
    PageDescription description;
    std::vector<std::string> errors;  // "NAME:LINE: what is wrong", in line order
    bool ok() const { return errors.empty(); }
};

// Parses a whole description; `name` prefixes the messages. Reports every faulty line (up to
// kMaxErrors, then one line saying more were left out).
inline constexpr size_t kMaxErrors = 20;
ParseResult parsePageDescription(std::string_view text, const std::string& name);

// Names of the built-in patterns, for messages and the format's documentation (the font families
// are in glyphs.h).
std::vector<std::string> patternNames();

// Replaces {page} and {pages} in a text.
std::string expandMacros(std::string_view text, int page, int pages);

}  // namespace rastrel_print
