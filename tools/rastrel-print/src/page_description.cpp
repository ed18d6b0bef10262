// Parser of the page description: a tokenizer for one line (words, quoted strings, name=value
// options, comments) and one checker a command.
#include "rastrel_print/page_description.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

namespace rastrel_print {

namespace {

constexpr double kMaxCoordinate = 2000;  // mm, either way from the origin
constexpr double kMaxSize = 2000;        // mm
constexpr double kMaxLineWidth = 50;     // mm
constexpr double kMinPoints = 1, kMaxPoints = 300;
constexpr size_t kMaxPointsInLine = 10000;

// Patterns: row 0 first, 1 = ink.
const std::map<std::string, std::array<unsigned char, 8>, std::less<>>& patterns() {
    static const std::map<std::string, std::array<unsigned char, 8>, std::less<>> table = {
        {"dots", {0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}},
        {"dense-dots", {0x88, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00}},
        {"checker", {0xF0, 0xF0, 0xF0, 0xF0, 0x0F, 0x0F, 0x0F, 0x0F}},
        {"fine-checker", {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55}},
        {"horizontal", {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00}},
        {"vertical", {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88}},
        {"grid", {0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}},
        {"diagonal", {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}},
        {"back-diagonal", {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}},
        {"cross-diagonal", {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}},
        {"bricks", {0xFF, 0x80, 0x80, 0x80, 0xFF, 0x08, 0x08, 0x08}},
    };
    return table;
}

// A word of a line. An option is an unquoted word "name=value" (the value may be quoted).
struct Token {
    std::string text;
    bool quoted = false;  // the whole word was one quoted string
    bool option = false;
    std::string key;      // options: the name; text holds the value
};

// Shows a word in a message: at most 40 characters, control and non-ASCII bytes as \xNN.
std::string shown(std::string_view text) {
    std::string out = "'";
    size_t n = 0;
    for (unsigned char c : text) {
        if (++n > 40) {
            out += "...";
            break;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static const char* hex = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out + "'";
}

bool validUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// Splits a line into words; false with a reason for an unterminated string or a bad escape.
bool tokenize(std::string_view line, std::vector<Token>* tokens, std::string* why) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token token;
        std::string text;
        bool sawQuote = false, sawPlain = false;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#') {
            if (line[i] == '"') {
                sawQuote = true;
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    char q = line[i++];
                    if (q == '"') {
                        closed = true;
                        break;
                    }
                    if (q == '\\') {
                        if (i >= line.size() || (line[i] != '"' && line[i] != '\\')) {
                            *why = "a backslash in a string must be followed by \" or \\";
                            return false;
                        }
                        q = line[i++];
                    }
                    text += q;
                }
                if (!closed) {
                    *why = "the string is not closed with \"";
                    return false;
                }
            } else {
                if (sawQuote && (text.empty() || text.back() != '=')) {
                    // Characters straight after a closing quote: a word like "abc"def.
                    *why = "a string must be followed by a blank";
                    return false;
                }
                sawPlain = true;
                text += line[i++];
            }
        }
        token.quoted = sawQuote && !sawPlain;
        size_t eq = sawPlain ? text.find('=') : std::string::npos;
        if (eq != std::string::npos && eq > 0) {
            token.option = true;
            token.key = text.substr(0, eq);
            token.text = text.substr(eq + 1);
        } else {
            token.text = std::move(text);
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

class LineError {
public:
    explicit LineError(std::string what) : what_(std::move(what)) {}
    const std::string& what() const { return what_; }

private:
    std::string what_;
};

[[noreturn]] void error(std::string what) { throw LineError(std::move(what)); }

double number(const Token& token, const char* what) {
    std::string_view s = token.text;
    if (token.quoted || s.empty()) error(std::string(what) + " must be a number, not " + shown(token.text));
    if (s.front() == '+') s.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        error(std::string(what) + " must be a number, not " + shown(token.text));
    return value;
}

double ranged(const Token& token, const char* what, double low, double high) {
    double v = number(token, what);
    if (v < low || v > high) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "%s %s is out of range (%g to %g)", what, shown(token.text).c_str(), low,
                      high);
        error(buffer);
    }
    return v;
}

int grey(const Token& token, const char* what) {
    double v = ranged(token, what, 0, 255);
    if (v != std::floor(v)) error(std::string(what) + " must be a whole number from 0 (black) to 255 (white)");
    return static_cast<int>(v);
}

PointMm point(const Token& x, const Token& y) {
    return PointMm{ranged(x, "x", -kMaxCoordinate, kMaxCoordinate), ranged(y, "y", -kMaxCoordinate, kMaxCoordinate)};
}

// The words of one command: positional ones and options, each option known to the command.
class Args {
public:
    Args(std::string command, std::vector<Token> tokens, std::set<std::string> known)
        : command_(std::move(command)) {
        for (Token& t : tokens) {
            if (t.option) {
                if (!known.count(t.key)) {
                    std::string list;
                    for (const std::string& k : known) list += (list.empty() ? "" : ", ") + k;
                    error("unknown option " + shown(t.key) + " for " + command_ +
                          (list.empty() ? " (it takes none)" : " (known: " + list + ")"));
                }
                if (options_.count(t.key)) error("option " + shown(t.key) + " is given twice");
                options_[t.key] = t;
            } else {
                positional_.push_back(std::move(t));
            }
        }
    }
    const std::vector<Token>& positional() const { return positional_; }
    size_t count() const { return positional_.size(); }
    const Token& operator[](size_t i) const { return positional_[i]; }
    const Token* option(const std::string& key) const {
        auto it = options_.find(key);
        return it == options_.end() ? nullptr : &it->second;
    }
    void expect(size_t n, const char* form) const {
        if (positional_.size() != n)
            error(command_ + " takes " + form + " (" + std::to_string(n) + " values), not " +
                  std::to_string(positional_.size()));
    }
    int greyOption(const char* key, int fallback) const {
        const Token* t = option(key);
        return t ? grey(*t, key) : fallback;
    }
    double widthOption(double fallback) const {
        const Token* t = option("width");
        return t ? ranged(*t, "width", 0, kMaxLineWidth) : fallback;
    }
    bool evenOdd() const {
        const Token* t = option("rule");
        if (!t) return false;
        if (t->text == "winding") return false;
        if (t->text == "evenodd") return true;
        error("rule must be winding or evenodd, not " + shown(t->text));
    }

private:
    std::string command_;
    std::vector<Token> positional_;
    std::map<std::string, Token> options_;
};

void box(const Args& a, PointMm* at, double* w, double* h) {
    *at = point(a[0], a[1]);
    *w = ranged(a[2], "width", 0, kMaxSize);
    *h = ranged(a[3], "height", 0, kMaxSize);
}

std::vector<PointMm> points(const Args& a, size_t minimum, const std::string& command) {
    if (a.count() % 2 != 0) error(command + " takes pairs of numbers (X Y), not " + std::to_string(a.count()) + " values");
    if (a.count() / 2 < minimum)
        error(command + " takes " + std::to_string(minimum) + " points at least, not " + std::to_string(a.count() / 2));
    if (a.count() / 2 > kMaxPointsInLine) error(command + " takes at most " + std::to_string(kMaxPointsInLine) + " points");
    std::vector<PointMm> list;
    for (size_t i = 0; i < a.count(); i += 2) list.push_back(point(a[i], a[i + 1]));
    return list;
}

bool hexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

Command parseCommand(const std::string& name, std::vector<Token> tokens) {
    if (name == "origin") {
        Args a(name, std::move(tokens), {});
        a.expect(1, "paper or printable");
        if (a[0].text == "paper") return OriginCommand{Origin::kPaper};
        if (a[0].text == "printable") return OriginCommand{Origin::kPrintable};
        error("origin must be paper or printable, not " + shown(a[0].text));
    }
    if (name == "font") {
        Args a(name, std::move(tokens), {});
        a.expect(2, "a family or font file and a size in points");
        FontCommand f;
        f.name = a[0].text;
        if (f.name.empty()) error("the font name is empty");
        f.points = ranged(a[1], "font size", kMinPoints, kMaxPoints);
        return f;
    }
    if (name == "text") {
        Args a(name, std::move(tokens), {"align", "grey", "font", "size"});
        a.expect(3, "X Y \"TEXT\"");
        TextCommand t;
        t.at = point(a[0], a[1]);
        if (!a[2].quoted) error("the text must be in double quotes, as in text 20 30 \"Hello\"");
        if (!validUtf8(a[2].text)) error("the text is not valid UTF-8");
        t.text = a[2].text;
        if (const Token* o = a.option("align")) {
            if (o->text == "left") t.align = Align::kLeft;
            else if (o->text == "center" || o->text == "centre") t.align = Align::kCenter;
            else if (o->text == "right") t.align = Align::kRight;
            else error("align must be left, center or right, not " + shown(o->text));
        }
        t.grey = a.greyOption("grey", 0);
        if (const Token* o = a.option("font")) {
            if (o->text.empty()) error("the font name is empty");
            t.font = o->text;
        }
        if (const Token* o = a.option("size")) t.points = ranged(*o, "size", kMinPoints, kMaxPoints);
        return t;
    }
    if (name == "line" || name == "polyline") {
        Args a(name, std::move(tokens), {"width", "grey"});
        if (name == "line") a.expect(4, "X1 Y1 X2 Y2");
        LineCommand l;
        l.points = points(a, 2, name);
        l.width = a.widthOption(0.25);
        l.grey = a.greyOption("grey", 0);
        return l;
    }
    if (name == "rect") {
        Args a(name, std::move(tokens), {"width", "grey"});
        a.expect(4, "X Y W H");
        RectCommand r;
        box(a, &r.at, &r.w, &r.h);
        r.width = a.widthOption(0.25);
        r.grey = a.greyOption("grey", 0);
        return r;
    }
    if (name == "fill") {
        Args a(name, std::move(tokens), {"grey"});
        a.expect(4, "X Y W H");
        FillCommand f;
        box(a, &f.at, &f.w, &f.h);
        f.grey = a.greyOption("grey", 0);
        return f;
    }
    if (name == "pattern") {
        Args a(name, std::move(tokens), {"ink", "paper"});
        a.expect(5, "X Y W H and a pattern name or 16 hex digits");
        PatternCommand p;
        box(a, &p.at, &p.w, &p.h);
        const std::string& shape = a[4].text;
        auto named = patterns().find(shape);
        if (named != patterns().end()) {
            std::copy(named->second.begin(), named->second.end(), p.rows);
        } else if (shape.size() == 16 && std::all_of(shape.begin(), shape.end(), hexDigit)) {
            for (int i = 0; i < 8; ++i) p.rows[i] = static_cast<unsigned char>(std::stoi(shape.substr(2 * i, 2), nullptr, 16));
        } else {
            std::string list;
            for (const std::string& n : patternNames()) list += (list.empty() ? "" : ", ") + n;
            error("unknown pattern " + shown(shape) + " (known: " + list + "; or 16 hex digits, row 0 first)");
        }
        p.ink = a.greyOption("ink", 0);
        p.paper = a.greyOption("paper", 255);
        return p;
    }
    if (name == "polygon") {
        Args a(name, std::move(tokens), {"grey", "rule"});
        PolygonCommand p;
        p.points = points(a, 3, name);
        p.grey = a.greyOption("grey", 0);
        p.evenOdd = a.evenOdd();
        return p;
    }
    if (name == "ellipse") {
        Args a(name, std::move(tokens), {"fill", "outline", "width"});
        a.expect(4, "X Y W H");
        EllipseCommand e;
        box(a, &e.at, &e.w, &e.h);
        if (a.option("fill")) e.fill = a.greyOption("fill", 0);
        if (a.option("outline")) e.outline = a.greyOption("outline", 0);
        if (!e.fill && !e.outline) e.fill = 0;
        e.width = a.widthOption(0.25);
        return e;
    }
    if (name == "shape") {
        Args a(name, std::move(tokens), {"grey", "rule"});
        ShapeCommand s;
        size_t i = 0;
        bool open = false;
        while (i < a.count()) {
            const std::string& op = a[i].text;
            int n;
            char code;
            if (op == "M" || op == "m") code = 'M', n = 1;
            else if (op == "L" || op == "l") code = 'L', n = 1;
            else if (op == "C" || op == "c") code = 'C', n = 3;
            else if (op == "Z" || op == "z") code = 'Z', n = 0;
            else error("shape steps are M X Y, L X Y, C X1 Y1 X2 Y2 X Y and Z, not " + shown(op));
            if (code != 'M' && !open && code != 'Z') error("a shape must begin each figure with M X Y");
            if (code == 'Z' && !open) error("Z closes nothing: begin a figure with M X Y first");
            if (i + 1 + 2 * n > a.count()) error(std::string("the step ") + code + " needs " + std::to_string(2 * n) + " numbers");
            ShapeCommand::Step step;
            step.op = code;
            for (int k = 0; k < n; ++k) step.points[k] = point(a[i + 1 + 2 * k], a[i + 2 + 2 * k]);
            s.steps.push_back(step);
            open = code != 'Z';
            i += 1 + 2 * n;
            if (s.steps.size() > kMaxPointsInLine) error("a shape takes at most " + std::to_string(kMaxPointsInLine) + " steps");
        }
        if (s.steps.empty()) error("shape takes steps: M X Y, then L X Y or C X1 Y1 X2 Y2 X Y, and Z");
        if (s.steps.front().op != 'M') error("a shape must begin with M X Y");
        s.grey = a.greyOption("grey", 0);
        s.evenOdd = a.evenOdd();
        return s;
    }
    if (name == "image") {
        Args a(name, std::move(tokens), {});
        a.expect(5, "X Y W H FILE");
        ImageCommand im;
        box(a, &im.at, &im.w, &im.h);
        if (im.w == 0 && im.h == 0) error("an image needs a width or a height (0 for one of them keeps the proportions)");
        im.file = a[4].text;
        if (im.file.empty()) error("the image file name is empty");
        return im;
    }
    error("unknown command " + shown(name) +
          " (commands: page, origin, font, text, line, polyline, rect, fill, pattern, polygon, ellipse, shape, image)");
}

bool drawing(const Command& c) {
    return !std::holds_alternative<OriginCommand>(c) && !std::holds_alternative<FontCommand>(c);
}

}  // namespace

ParseResult parsePageDescription(std::string_view text, const std::string& name) {
    ParseResult result;
    result.description.pages.emplace_back();
    bool drawn = false, firstPageLine = true;
    size_t errorsSeen = 0;
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        try {
            std::vector<Token> tokens;
            std::string why;
            if (line.find('\0') != std::string_view::npos) error("the line holds a NUL byte (is this a text file?)");
            if (!tokenize(line, &tokens, &why)) error(why);
            if (!tokens.empty()) {
                if (tokens[0].quoted || tokens[0].option) error("a line must begin with a command, not " + shown(tokens[0].text));
                std::string command = tokens[0].text;
                tokens.erase(tokens.begin());
                if (command == "page") {
                    if (!tokens.empty()) error("page takes no values");
                    if (!(firstPageLine && !drawn)) result.description.pages.emplace_back();
                    firstPageLine = false;
                } else {
                    Command c = parseCommand(command, std::move(tokens));
                    drawn = drawn || drawing(c);
                    result.description.pages.back().push_back(Located{lineNumber, std::move(c)});
                }
            }
        } catch (const LineError& e) {
            if (++errorsSeen <= kMaxErrors)
                result.errors.push_back(name + ":" + std::to_string(lineNumber) + ": " + e.what());
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    if (errorsSeen > kMaxErrors)
        result.errors.push_back(name + ": " + std::to_string(errorsSeen - kMaxErrors) + " more faulty lines left out");
    return result;
}

std::vector<std::string> patternNames() {
    std::vector<std::string> names;
    for (const auto& [pattern, rows] : patterns()) names.push_back(pattern);
    return names;
}

std::string expandMacros(std::string_view text, int page, int pages) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, 6) == "{page}") {
            out += std::to_string(page);
            i += 6;
        } else if (text.substr(i, 7) == "{pages}") {
            out += std::to_string(pages);
            i += 7;
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace rastrel_print
