// The resource script compiler. A script is read line by line: each line is cut into tokens
// (numbers, words, quoted texts, '|', '{' and '}'; commas only separate), then taken as a statement
// of the block it stands in. An error names its line and the compiler goes on with the next one, so
// that one run reports every mistake.
#include "rescomp/script.h"

#include <cctype>
#include <map>

#include "platform/control.h"
#include "rescomp/files.h"
#include "rescomp/pictures.h"
#include "rescomp/writer.h"

namespace rescomp {

namespace fs = std::filesystem;
namespace res = platform::resources;

namespace {

constexpr size_t kMaxErrors = 50;

// Style names a script may use (combined with '|').
const std::map<std::string, uint32_t, std::less<>>& constants() {
    static const std::map<std::string, uint32_t, std::less<>> table = {
        {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000},
        {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000}, {"WS_CLIPSIBLINGS", 0x04000000},
        {"WS_CLIPCHILDREN", 0x02000000}, {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000},
        {"WS_DLGFRAME", 0x00400000}, {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000},
        {"WS_SYSMENU", 0x00080000}, {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000},
        {"WS_TABSTOP", 0x00010000}, {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000},
        {"WS_EX_DLGMODALFRAME", 0x00000001}, {"WS_EX_TOPMOST", 0x00000008}, {"WS_EX_TRANSPARENT", 0x00000020},
        {"WS_EX_TOOLWINDOW", 0x00000080}, {"WS_EX_WINDOWEDGE", 0x00000100}, {"WS_EX_CLIENTEDGE", 0x00000200},
        {"WS_EX_RIGHT", 0x00001000}, {"WS_EX_RTLREADING", 0x00002000}, {"WS_EX_LEFTSCROLLBAR", 0x00004000},
        {"WS_EX_STATICEDGE", 0x00020000}, {"WS_EX_APPWINDOW", 0x00040000}, {"WS_EX_LAYOUTRTL", 0x00400000},
        {"DS_ABSALIGN", 0x01}, {"DS_SYSMODAL", 0x02}, {"DS_3DLOOK", 0x04}, {"DS_FIXEDSYS", 0x08},
        {"DS_SETFONT", 0x40}, {"DS_MODALFRAME", 0x80}, {"DS_SETFOREGROUND", 0x200}, {"DS_CONTROL", 0x400},
        {"DS_CENTER", 0x800}, {"DS_SHELLFONT", 0x48},
        {"BS_PUSHBUTTON", 0x0}, {"BS_DEFPUSHBUTTON", 0x1}, {"BS_CHECKBOX", 0x2}, {"BS_AUTOCHECKBOX", 0x3},
        {"BS_RADIOBUTTON", 0x4}, {"BS_3STATE", 0x5}, {"BS_AUTO3STATE", 0x6}, {"BS_GROUPBOX", 0x7},
        {"BS_AUTORADIOBUTTON", 0x9}, {"BS_OWNERDRAW", 0xB}, {"BS_LEFTTEXT", 0x20}, {"BS_ICON", 0x40},
        {"BS_BITMAP", 0x80}, {"BS_LEFT", 0x100}, {"BS_RIGHT", 0x200}, {"BS_CENTER", 0x300},
        {"BS_MULTILINE", 0x2000}, {"BS_NOTIFY", 0x4000}, {"BS_FLAT", 0x8000},
        {"SS_LEFT", 0x0}, {"SS_CENTER", 0x1}, {"SS_RIGHT", 0x2}, {"SS_ICON", 0x3}, {"SS_BLACKRECT", 0x4},
        {"SS_WHITERECT", 0x6}, {"SS_BLACKFRAME", 0x7}, {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_OWNERDRAW", 0xD},
        {"SS_BITMAP", 0xE}, {"SS_ETCHEDHORZ", 0x10}, {"SS_NOPREFIX", 0x80}, {"SS_NOTIFY", 0x100},
        {"SS_CENTERIMAGE", 0x200}, {"SS_SUNKEN", 0x1000},
        {"ES_LEFT", 0x0}, {"ES_CENTER", 0x1}, {"ES_RIGHT", 0x2}, {"ES_MULTILINE", 0x4}, {"ES_PASSWORD", 0x20},
        {"ES_AUTOVSCROLL", 0x40}, {"ES_AUTOHSCROLL", 0x80}, {"ES_READONLY", 0x800}, {"ES_WANTRETURN", 0x1000},
        {"ES_NUMBER", 0x2000},
        {"CBS_SIMPLE", 0x1}, {"CBS_DROPDOWN", 0x2}, {"CBS_DROPDOWNLIST", 0x3}, {"CBS_AUTOHSCROLL", 0x40},
        {"CBS_SORT", 0x100}, {"CBS_HASSTRINGS", 0x200},
        {"LVS_ICON", 0x0}, {"LVS_REPORT", 0x1}, {"LVS_SMALLICON", 0x2}, {"LVS_LIST", 0x3},
        {"LVS_SINGLESEL", 0x4}, {"LVS_SHOWSELALWAYS", 0x8}, {"LVS_NOCOLUMNHEADER", 0x4000},
        {"LVS_NOSORTHEADER", 0x8000},
        {"PBS_SMOOTH", 0x1}, {"PBS_VERTICAL", 0x4}, {"PBS_MARQUEE", 0x8},
    };
    return table;
}

struct Token {
    enum Kind { Number, Word, Text, Pipe, Open, Close } kind;
    std::string word;     // Word: the word as written
    int64_t number = 0;   // Number
    std::u16string text;  // Text
};

struct Line {
    int number = 0;
    std::vector<Token> tokens;
};

// UTF-8 to UTF-16, refusing malformed sequences, overlong forms and surrogates.
bool utf8ToUtf16(std::string_view in, std::u16string& out) {
    for (size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        uint32_t cp = 0;
        size_t n = 0;
        if (c < 0x80) cp = c, n = 1;
        else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, n = 2;
        else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, n = 3;
        else if ((c & 0xF8) == 0xF0) cp = c & 0x07, n = 4;
        else return false;
        if (in.size() - i < n) return false;
        for (size_t k = 1; k < n; ++k) {
            unsigned char d = static_cast<unsigned char>(in[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return true;
}

class Compiler {
public:
    Compiler(std::string name, fs::path folder) : name_(std::move(name)), folder_(std::move(folder)) {}

    CompileResult run(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        std::vector<Line> lines;
        int number = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view raw = text.substr(start, end - start);
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            ++number;
            Line line;
            line.number = number;
            if (tokenize(raw, line)) split(line, lines);
            start = end + 1;
        }
        for (const Line& line : lines) {
            if (result_.errors.size() >= kMaxErrors) break;
            statement(line);
        }
        if (state_ != State::Top && result_.errors.size() < kMaxErrors)
            error(blockLine_, std::string(state_ == State::Strings || state_ == State::StringsOpen ? "STRINGTABLE"
                                                                                                  : "DIALOG") +
                                  " block is not closed (END missing)");
        if (result_.errors.size() >= kMaxErrors) result_.errors.push_back(name_ + ": too many errors, stopping");
        if (result_.errors.empty()) result_.file = std::move(file_);
        result_.name = name_;
        for (const auto& [key, line] : defined_) result_.lines[{key.first, static_cast<UINT>(key.second)}] = line;
        return std::move(result_);
    }

private:
    enum class State { Top, StringsOpen, Strings, DialogHead, Dialog };

    void error(int line, const std::string& message) {
        result_.errors.push_back(name_ + ":" + std::to_string(line) + ": " + message);
    }

    // ---- Tokens ----
    bool tokenize(std::string_view s, Line& line) {
        size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (c == ' ' || c == '\t' || c == ',') {
                ++i;
            } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
                break;
            } else if (c == '|' || c == '{' || c == '}') {
                line.tokens.push_back({c == '|' ? Token::Pipe : c == '{' ? Token::Open : Token::Close, {}, 0, {}});
                ++i;
            } else if (c == '"') {
                Token t{Token::Text, {}, 0, {}};
                std::string utf8;
                size_t j = i + 1;
                bool closed = false;
                while (j < s.size()) {
                    char d = s[j];
                    if (d == '"') {
                        closed = true;
                        ++j;
                        break;
                    }
                    if (d == '\\') {
                        if (j + 1 >= s.size()) break;
                        char e = s[j + 1];
                        j += 2;
                        switch (e) {
                        case 'n': utf8 += '\n'; break;
                        case 't': utf8 += '\t'; break;
                        case '\\': utf8 += '\\'; break;
                        case '"': utf8 += '"'; break;
                        case 'u': {
                            if (j + 4 > s.size() || !flush(utf8, t.text, line.number)) {
                                error(line.number, "\\u needs four hexadecimal digits");
                                return false;
                            }
                            uint32_t unit = 0;
                            for (int k = 0; k < 4; ++k) {
                                char h = s[j + k];
                                int v = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                                                      : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
                                if (v < 0) {
                                    error(line.number, "\\u needs four hexadecimal digits");
                                    return false;
                                }
                                unit = unit << 4 | static_cast<uint32_t>(v);
                            }
                            t.text += static_cast<char16_t>(unit);
                            j += 4;
                            break;
                        }
                        default:
                            error(line.number, std::string("unknown escape \\") + e + " in a text");
                            return false;
                        }
                    } else {
                        utf8 += d;
                        ++j;
                    }
                }
                if (!closed) {
                    error(line.number, "a text is not closed (missing \")");
                    return false;
                }
                if (!flush(utf8, t.text, line.number)) return false;
                line.tokens.push_back(std::move(t));
                i = j;
            } else if (c == '-' || (c >= '0' && c <= '9')) {
                size_t j = i + (c == '-' ? 1 : 0);
                bool hex = j + 1 < s.size() && s[j] == '0' && (s[j + 1] == 'x' || s[j + 1] == 'X');
                if (hex) j += 2;
                size_t digits = j;
                int64_t value = 0;
                while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j])) &&
                       (hex || std::isdigit(static_cast<unsigned char>(s[j])))) {
                    int v = std::isdigit(static_cast<unsigned char>(s[j])) ? s[j] - '0'
                                                                           : std::tolower(s[j]) - 'a' + 10;
                    value = value * (hex ? 16 : 10) + v;
                    if (value > 0xFFFFFFFFLL) {
                        error(line.number, "number '" + std::string(s.substr(i, tokenEnd(s, i) - i)) + "' is too large");
                        return false;
                    }
                    ++j;
                }
                bool wordAfter = j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_');
                if (j == digits || wordAfter) {
                    error(line.number, "'" + std::string(s.substr(i, tokenEnd(s, i) - i)) + "' is not a number");
                    return false;
                }
                line.tokens.push_back({Token::Number, {}, c == '-' ? -value : value, {}});
                i = j;
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t j = i;
                while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
                line.tokens.push_back({Token::Word, std::string(s.substr(i, j - i)), 0, {}});
                i = j;
            } else if (c == '#') {
                error(line.number, "preprocessor lines (#include, #define) are not supported");
                return false;
            } else {
                error(line.number, std::string("unexpected character '") + c + "'");
                return false;
            }
        }
        return true;
    }

    static size_t tokenEnd(std::string_view s, size_t from) {
        size_t k = from;
        while (k < s.size() && !std::isspace(static_cast<unsigned char>(s[k])) && s[k] != ',' && s[k] != '|') ++k;
        return k;
    }

    bool flush(std::string& utf8, std::u16string& text, int line) {
        if (!utf8ToUtf16(utf8, text)) {
            error(line, "a text is not valid UTF-8");
            return false;
        }
        utf8.clear();
        return true;
    }

    static bool isWord(const Token& t, std::string_view w) { return t.kind == Token::Word && t.word == w; }
    static bool opens(const Token& t) { return t.kind == Token::Open || isWord(t, "BEGIN"); }
    static bool closes(const Token& t) { return t.kind == Token::Close || isWord(t, "END"); }

    // A BEGIN or '{' at the end of a header line becomes a line of its own.
    static void split(Line& line, std::vector<Line>& out) {
        if (line.tokens.empty()) return;
        if (line.tokens.size() > 1 && opens(line.tokens.back())) {
            Line open{line.number, {line.tokens.back()}};
            line.tokens.pop_back();
            out.push_back(std::move(line));
            out.push_back(std::move(open));
            return;
        }
        out.push_back(std::move(line));
    }

    // ---- Values ----
    // A cursor over one line's tokens.
    struct Cursor {
        const Line& line;
        size_t at = 0;
        bool done() const { return at >= line.tokens.size(); }
        const Token* peek() const { return done() ? nullptr : &line.tokens[at]; }
    };

    std::optional<int64_t> number(Cursor& c, const std::string& what, int64_t low, int64_t high) {
        const Token* t = c.peek();
        if (!t || t->kind != Token::Number) {
            error(c.line.number, "expected " + what + " (a number)");
            return std::nullopt;
        }
        ++c.at;
        if (t->number < low || t->number > high) {
            error(c.line.number, what + " " + std::to_string(t->number) + " is out of range (" + std::to_string(low) +
                                     " to " + std::to_string(high) + ")");
            return std::nullopt;
        }
        return t->number;
    }

    // Numbers and style names joined by '|'.
    std::optional<uint32_t> flags(Cursor& c, const std::string& what) {
        uint32_t value = 0;
        for (;;) {
            const Token* t = c.peek();
            if (t && t->kind == Token::Number) {
                if (t->number < 0) {
                    error(c.line.number, what + " cannot be negative");
                    return std::nullopt;
                }
                value |= static_cast<uint32_t>(t->number);
            } else if (t && t->kind == Token::Word) {
                auto it = constants().find(t->word);
                if (it == constants().end()) {
                    error(c.line.number, "unknown style name '" + t->word + "' in " + what);
                    return std::nullopt;
                }
                value |= it->second;
            } else {
                error(c.line.number, "expected " + what + " (numbers or style names joined by |)");
                return std::nullopt;
            }
            ++c.at;
            if (c.peek() && c.peek()->kind == Token::Pipe) {
                ++c.at;
                continue;
            }
            return value;
        }
    }

    std::optional<std::u16string> text(Cursor& c, const std::string& what) {
        const Token* t = c.peek();
        if (!t || t->kind != Token::Text) {
            error(c.line.number, "expected " + what + " (a quoted text)");
            return std::nullopt;
        }
        ++c.at;
        if (t->text.size() > res::kMaxText) {
            error(c.line.number, what + " is longer than 65535 UTF-16 units");
            return std::nullopt;
        }
        return t->text;
    }

    bool end(Cursor& c) {
        if (c.done()) return true;
        error(c.line.number, "unexpected " + describe(*c.peek()) + " at the end of the line");
        return false;
    }

    static std::string describe(const Token& t) {
        switch (t.kind) {
        case Token::Number: return "number " + std::to_string(t.number);
        case Token::Word: return "'" + t.word + "'";
        case Token::Text: return "text";
        case Token::Pipe: return "'|'";
        case Token::Open: return "'{'";
        case Token::Close: return "'}'";
        }
        return "token";
    }

    // Records an id of a kind once, or says where it was first defined.
    bool claim(const std::string& kind, int64_t id, int line) {
        auto [it, added] = defined_.emplace(std::make_pair(kind, id), line);
        if (!added)
            error(line, kind + " " + std::to_string(id) + " is defined twice (first on line " +
                            std::to_string(it->second) + ")");
        return added;
    }

    std::optional<std::string> picture(const std::u16string& name16, bool icon, int line) {
        std::string name = platform::toUtf8(name16);
        fs::path path = fs::path(name).is_absolute() ? fs::path(name) : folder_ / name;
        FileBytes read = readRegularFile(path, kMaxPictureBytes);
        if (!read.bytes) {
            error(line, "cannot read \"" + name + "\" (" + path.string() + "): it " + read.error);
            return std::nullopt;
        }
        result_.inputs.push_back(path);
        std::string data = std::move(*read.bytes);
        std::string why = icon ? checkIcon(data) : checkBmp(data);
        if (!why.empty()) {
            error(line, "\"" + name + "\": " + why);
            return std::nullopt;
        }
        return data;
    }

    // ---- Statements ----
    void statement(const Line& line) {
        Cursor c{line};
        const Token& first = line.tokens.front();
        switch (state_) {
        case State::Top: top(c); return;
        case State::StringsOpen:
        case State::DialogHead:
            if (opens(first) && line.tokens.size() == 1) {
                state_ = state_ == State::StringsOpen ? State::Strings : State::Dialog;
                return;
            }
            if (state_ == State::StringsOpen) {
                error(line.number, "expected BEGIN after STRINGTABLE");
                return;
            }
            dialogProperty(c);
            return;
        case State::Strings:
            if (closes(first)) return close(c);
            stringEntry(c);
            return;
        case State::Dialog:
            if (closes(first)) {
                close(c);
                return;
            }
            control(c);
            return;
        }
    }

    void close(Cursor& c) {
        ++c.at;
        end(c);
        if (state_ == State::Dialog && dialogOk_) {
            if (fontGiven_) dialog_.style |= 0x40;  // DS_SETFONT, whatever STYLE said
            file_.dialogs.emplace(dialogId_, std::move(dialog_));
            result_.controlLines[dialogId_] = std::move(controlLines_);
        }
        controlLines_.clear();
        state_ = State::Top;
    }

    void top(Cursor& c) {
        const Token& t = *c.peek();
        if (t.kind != Token::Word) {
            error(c.line.number, "expected a statement (STRINGTABLE, DIALOG, BITMAP, ICON or RTL), found " + describe(t));
            return;
        }
        ++c.at;
        if (t.word == "RTL") {
            if (end(c)) file_.rightToLeft = true;
        } else if (t.word == "STRINGTABLE") {
            end(c);
            state_ = State::StringsOpen;
            blockLine_ = c.line.number;
        } else if (t.word == "DIALOG" || t.word == "DIALOGEX") {
            state_ = State::DialogHead;
            blockLine_ = c.line.number;
            dialog_ = res::DialogTemplate{};
            dialog_.style = 0x80C80080;  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
            dialog_.fontFace = u"MS Shell Dlg";
            dialog_.pointSize = 8;
            dialogOk_ = false;
            fontGiven_ = false;
            controlLines_.clear();
            auto id = number(c, "the dialog id", 1, res::kMaxId);
            if (!id) return;
            auto x = number(c, "the dialog's x", INT16_MIN, INT16_MAX);
            auto y = x ? number(c, "the dialog's y", INT16_MIN, INT16_MAX) : std::nullopt;
            auto cx = y ? number(c, "the dialog's width", 0, INT16_MAX) : std::nullopt;
            auto cy = cx ? number(c, "the dialog's height", 0, INT16_MAX) : std::nullopt;
            if (!cy || !end(c)) return;
            dialogId_ = static_cast<UINT>(*id);
            dialog_.x = static_cast<int16_t>(*x);
            dialog_.y = static_cast<int16_t>(*y);
            dialog_.cx = static_cast<int16_t>(*cx);
            dialog_.cy = static_cast<int16_t>(*cy);
            dialogOk_ = claim("dialog", *id, c.line.number);
        } else if (t.word == "BITMAP" || t.word == "ICON") {
            bool icon = t.word == "ICON";
            std::string kind = icon ? "icon" : "bitmap";
            auto id = number(c, "the " + kind + " id", 1, res::kMaxId);
            if (!id) return;
            auto name = text(c, "the file name");
            if (!name || !end(c) || !claim(kind, *id, c.line.number)) return;
            auto bytes = picture(*name, icon, c.line.number);
            if (!bytes) return;
            (icon ? file_.icons : file_.bitmaps).emplace(static_cast<UINT>(*id), std::move(*bytes));
        } else if (t.word == "BEGIN" || t.word == "END") {
            error(c.line.number, t.word + " outside a STRINGTABLE or DIALOG block");
        } else {
            error(c.line.number, "unknown statement '" + t.word + "' (expected STRINGTABLE, DIALOG, BITMAP, ICON or RTL)");
        }
    }

    void stringEntry(Cursor& c) {
        auto id = number(c, "a string id", 0, res::kMaxId);
        if (!id) return;
        auto value = text(c, "the string's text");
        if (!value || !end(c) || !claim("string", *id, c.line.number)) return;
        file_.strings.emplace(static_cast<UINT>(*id), std::move(*value));
    }

    void dialogProperty(Cursor& c) {
        const Token& t = *c.peek();
        if (t.kind != Token::Word) {
            error(c.line.number, "expected a dialog property (TITLE, FONT, STYLE, EXSTYLE, RTL, CLASS) or BEGIN");
            return;
        }
        ++c.at;
        if (t.word == "TITLE" || t.word == "CAPTION") {
            if (auto v = text(c, "the dialog's title"); v && end(c)) dialog_.title = std::move(*v);
        } else if (t.word == "FONT") {
            auto size = number(c, "the font's point size", 1, 0xFFFF);
            auto face = size ? text(c, "the font's face name") : std::nullopt;
            if (!face || !end(c)) return;
            dialog_.pointSize = static_cast<uint16_t>(*size);
            dialog_.fontFace = std::move(*face);
            fontGiven_ = true;
        } else if (t.word == "STYLE") {
            if (auto v = flags(c, "the dialog's style"); v && end(c)) dialog_.style = *v;
        } else if (t.word == "EXSTYLE") {
            if (auto v = flags(c, "the dialog's extended style"); v && end(c))
                dialog_.exStyle = (dialog_.exStyle & res::kLayoutRightToLeft) | *v;
        } else if (t.word == "RTL") {
            if (end(c)) dialog_.exStyle |= res::kLayoutRightToLeft;
        } else if (t.word == "CLASS") {
            auto v = text(c, "the dialog's window class");
            if (!v || !end(c)) return;
            if (v->empty() || v->size() > res::kMaxClassName)
                error(c.line.number, "a dialog's window class has 1 to 256 characters");
            else
                dialog_.className = std::move(*v);
        } else if (t.word == "CONTROL") {
            error(c.line.number, "CONTROL before the dialog's BEGIN");
        } else {
            error(c.line.number, "unknown dialog property '" + t.word + "' (expected TITLE, FONT, STYLE, EXSTYLE, RTL, CLASS or BEGIN)");
        }
    }

    // CONTROL "text" id class style x y cx cy [exstyle]
    void control(Cursor& c) {
        const Token& t = *c.peek();
        if (!isWord(t, "CONTROL")) {
            error(c.line.number, "expected CONTROL or END in a DIALOG block, found " + describe(t));
            return;
        }
        ++c.at;
        res::DialogControl control;
        auto caption = text(c, "the control's text");
        if (!caption) return;
        control.text = std::move(*caption);
        auto id = number(c, "the control id", INT32_MIN, INT32_MAX);
        if (!id) return;
        control.id = static_cast<int32_t>(*id);
        const Token* cls = c.peek();
        if (cls && cls->kind == Token::Word) {
            control.className = platform::fromUtf8(cls->word);
        } else if (cls && cls->kind == Token::Text && !cls->text.empty()) {
            control.className = cls->text;
        } else {
            error(c.line.number, "expected the control's window class (BUTTON, STATIC, EDIT, ... or a quoted name)");
            return;
        }
        ++c.at;
        auto style = flags(c, "the control's style");
        if (!style) return;
        control.style = *style;
        int64_t coords[4];
        const char* names[4] = {"the control's x", "the control's y", "the control's width", "the control's height"};
        for (int i = 0; i < 4; ++i) {
            auto v = number(c, names[i], i < 2 ? INT16_MIN : 0, INT16_MAX);
            if (!v) return;
            coords[i] = *v;
        }
        control.x = static_cast<int16_t>(coords[0]);
        control.y = static_cast<int16_t>(coords[1]);
        control.cx = static_cast<int16_t>(coords[2]);
        control.cy = static_cast<int16_t>(coords[3]);
        if (!c.done()) {
            auto ex = flags(c, "the control's extended style");
            if (!ex) return;
            control.exStyle = *ex;
        }
        if (!end(c)) return;
        if (dialog_.controls.size() >= 0xFFFF) {
            error(c.line.number, "a dialog holds at most 65535 controls");
            return;
        }
        dialog_.controls.push_back(std::move(control));
        controlLines_.push_back(c.line.number);
    }

    std::string name_;
    fs::path folder_;
    CompileResult result_;
    res::ResourceFile file_;
    State state_ = State::Top;
    int blockLine_ = 0;
    res::DialogTemplate dialog_;
    UINT dialogId_ = 0;
    bool dialogOk_ = false;
    bool fontGiven_ = false;
    std::vector<int> controlLines_;
    std::map<std::pair<std::string, int64_t>, int> defined_;
};

}  // namespace

CompileResult compileScript(std::string_view text, const std::string& name, const fs::path& folder) {
    return Compiler(name, folder).run(text);
}

CompileResult compileFile(const fs::path& script) {
    FileBytes text = readRegularFile(script, kMaxScriptBytes);
    if (!text.bytes) {
        CompileResult result;
        result.name = script.string();
        result.errors.push_back(script.string() + ": cannot read the script: it " + text.error);
        return result;
    }
    CompileResult result = compileScript(*text.bytes, script.string(), script.parent_path());
    result.inputs.insert(result.inputs.begin(), script);
    return result;
}

std::optional<std::string> writeCompiled(const CompileResult& result, std::string& error) {
    if (!result.file) {
        error = result.errors.empty() ? result.name + ": the script did not compile" : result.errors.front();
        return std::nullopt;
    }
    try {
        return writeResourceFile(*result.file);
    } catch (const WriteError& e) {
        int line = 0;
        if (auto it = result.lines.find({e.kind, e.id}); it != result.lines.end()) line = it->second;
        if (auto it = result.controlLines.find(e.id); e.kind == "dialog" && e.control >= 0 &&
                                                        it != result.controlLines.end() &&
                                                        static_cast<size_t>(e.control) < it->second.size())
            line = it->second[static_cast<size_t>(e.control)];
        error = result.name + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + e.what();
    } catch (const std::invalid_argument& e) {
        error = result.name + ": " + e.what();
    }
    return std::nullopt;
}

}  // namespace rescomp
