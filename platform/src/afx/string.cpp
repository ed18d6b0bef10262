// CString and CStringArray: the framework's strings over std::u16string, with our own
// printf-style formatter for wide format strings (the host's wchar_t is 4 bytes, so vswprintf is no use).
#include "afx/afxstr.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <wctype.h>

#include "win/resources.h"

namespace {

constexpr int kMaxWidth = 1000000;

std::u16string_view viewOf(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

std::u16string fromAnsi(const char* text, size_t bytes) {
    if (!text || bytes == 0 || bytes > static_cast<size_t>(INT_MAX)) return {};
    int n = static_cast<int>(bytes);
    int units = MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
    if (units <= 0) return {};
    std::u16string out(static_cast<size_t>(units), u'\0');
    int written = MultiByteToWideChar(CP_ACP, 0, text, n, out.data(), units);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

std::u16string fromAnsi(const char* text) { return text ? fromAnsi(text, std::strlen(text)) : std::u16string(); }

// Clamps an index or count given as a wide integer into [0, limit].
size_t clampTo(long long value, size_t limit) {
    if (value < 0) return 0;
    return static_cast<unsigned long long>(value) > limit ? limit : static_cast<size_t>(value);
}

bool isSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

locale_t caseLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

char16_t mapCase(char16_t c, bool upper) {
    if (c < 0x80) {
        if (upper) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    }
    if (c >= 0xD800 && c < 0xE000) return c;
    locale_t locale = caseLocale();
    if (locale == static_cast<locale_t>(0)) return c;
    wint_t mapped = upper ? towupper_l(static_cast<wint_t>(c), locale) : towlower_l(static_cast<wint_t>(c), locale);
    return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : c;
}

// ---- The formatter ------------------------------------------------------------------------------

struct Args {
    va_list list;
};

struct Field {
    bool left = false, plus = false, space = false, alternate = false, zero = false;
    int width = 0;
    int precision = -1;  // -1: none
    enum class Size { Default, Char, Short, Long32, Long64, Pointer, IntMax, PtrDiff } size = Size::Default;
    bool wide = false, narrow = false;  // text width forced by l/w or h
};

void appendAscii(std::u16string& out, const std::string& text) {
    for (char c : text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

// Pads `text` to the field's width with spaces (or zeros with '0') on the left, or spaces on the right.
void appendPadded(std::u16string& out, std::u16string_view text, const Field& field) {
    size_t pad = field.width > 0 && static_cast<size_t>(field.width) > text.size() ? field.width - text.size() : 0;
    if (!field.left) out.append(pad, field.zero ? u'0' : u' ');
    out.append(text);
    if (field.left) out.append(pad, u' ');
}

std::string narrowFormat(const Field& field, const char* length, char conversion) {
    std::string f = "%";
    if (field.left) f += '-';
    if (field.plus) f += '+';
    if (field.space) f += ' ';
    if (field.alternate) f += '#';
    if (field.zero) f += '0';
    if (field.width > 0) f += std::to_string(field.width);
    if (field.precision >= 0) f += '.' + std::to_string(field.precision);
    f += length;
    f += conversion;
    return f;
}

template <typename T>
std::string printNarrow(const std::string& format, T value) {
    char small[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(small, sizeof small, format.c_str(), value);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), format.c_str(), value);
#pragma GCC diagnostic pop
    big.resize(static_cast<size_t>(n));
    return big;
}

long long signedArg(Args& args, Field::Size size) {
    switch (size) {
        case Field::Size::Char: return static_cast<signed char>(va_arg(args.list, int));
        case Field::Size::Short: return static_cast<short>(va_arg(args.list, int));
        case Field::Size::Long64: return va_arg(args.list, int64_t);
        case Field::Size::Pointer: return va_arg(args.list, intptr_t);
        case Field::Size::IntMax: return va_arg(args.list, intmax_t);
        case Field::Size::PtrDiff: return va_arg(args.list, ptrdiff_t);
        case Field::Size::Default:
        case Field::Size::Long32: break;
    }
    return va_arg(args.list, int);
}

unsigned long long unsignedArg(Args& args, Field::Size size) {
    switch (size) {
        case Field::Size::Char: return static_cast<unsigned char>(va_arg(args.list, unsigned int));
        case Field::Size::Short: return static_cast<unsigned short>(va_arg(args.list, unsigned int));
        case Field::Size::Long64: return va_arg(args.list, uint64_t);
        case Field::Size::Pointer: return va_arg(args.list, uintptr_t);
        case Field::Size::IntMax: return va_arg(args.list, uintmax_t);
        case Field::Size::PtrDiff: return va_arg(args.list, size_t);
        case Field::Size::Default:
        case Field::Size::Long32: break;
    }
    return va_arg(args.list, unsigned int);
}

// Reads a run of decimal digits, saturating at kMaxWidth.
int readNumber(std::u16string_view format, size_t& i) {
    long long value = 0;
    while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') {
        value = std::min<long long>(value * 10 + (format[i] - u'0'), kMaxWidth);
        ++i;
    }
    return static_cast<int>(value);
}

int starArg(Args& args) { return va_arg(args.list, int); }

void formatInto(std::u16string& out, std::u16string_view format, Args& args) {
    size_t i = 0;
    while (i < format.size()) {
        char16_t c = format[i];
        if (c != u'%') {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t start = i++;
        Field field;
        for (; i < format.size(); ++i) {
            char16_t f = format[i];
            if (f == u'-') field.left = true;
            else if (f == u'+') field.plus = true;
            else if (f == u' ') field.space = true;
            else if (f == u'#') field.alternate = true;
            else if (f == u'0') field.zero = true;
            else break;
        }
        if (i < format.size() && format[i] == u'*') {
            ++i;
            long long w = starArg(args);
            if (w < 0) {
                field.left = true;
                w = -w;
            }
            field.width = static_cast<int>(std::min<long long>(w, kMaxWidth));
        } else {
            field.width = readNumber(format, i);
        }
        if (i < format.size() && format[i] == u'.') {
            ++i;
            if (i < format.size() && format[i] == u'*') {
                ++i;
                int p = starArg(args);
                field.precision = p < 0 ? -1 : std::min(p, kMaxWidth);
            } else {
                field.precision = readNumber(format, i);
            }
        }
        if (field.left) field.zero = false;
        // Length modifiers.
        if (i < format.size()) {
            std::u16string_view rest = format.substr(i);
            if (rest.starts_with(u"hh")) field.size = Field::Size::Char, field.narrow = true, i += 2;
            else if (rest.starts_with(u"h")) field.size = Field::Size::Short, field.narrow = true, i += 1;
            else if (rest.starts_with(u"ll")) field.size = Field::Size::Long64, i += 2;
            else if (rest.starts_with(u"l")) field.size = Field::Size::Long32, field.wide = true, i += 1;
            else if (rest.starts_with(u"w")) field.size = Field::Size::Long32, field.wide = true, i += 1;
            else if (rest.starts_with(u"L")) i += 1;
            else if (rest.starts_with(u"I64")) field.size = Field::Size::Long64, i += 3;
            else if (rest.starts_with(u"I32")) field.size = Field::Size::Long32, i += 3;
            else if (rest.starts_with(u"I")) field.size = Field::Size::Pointer, i += 1;
            else if (rest.starts_with(u"z")) field.size = Field::Size::Pointer, i += 1;
            else if (rest.starts_with(u"j")) field.size = Field::Size::IntMax, i += 1;
            else if (rest.starts_with(u"t")) field.size = Field::Size::PtrDiff, i += 1;
        }
        if (i >= format.size()) {
            out.append(format.substr(start));  // a conversion cut off by the end of the format
            break;
        }
        char16_t conversion = format[i++];
        switch (conversion) {
            case u'd':
            case u'i': {
                long long v = signedArg(args, field.size);
                appendAscii(out, printNarrow(narrowFormat(field, "ll", 'd'), v));
                break;
            }
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                unsigned long long v = unsignedArg(args, field.size);
                appendAscii(out, printNarrow(narrowFormat(field, "ll", static_cast<char>(conversion)), v));
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G':
            case u'a':
            case u'A': {
                double v = va_arg(args.list, double);
                appendAscii(out, printNarrow(narrowFormat(field, "", static_cast<char>(conversion)), v));
                break;
            }
            case u'c':
            case u'C': {
                bool narrow = field.narrow || (conversion == u'C' && !field.wide);
                int v = va_arg(args.list, int);
                std::u16string ch;
                if (narrow) {
                    char byte = static_cast<char>(v);
                    ch = byte == '\0' ? std::u16string(1, u'\0') : fromAnsi(&byte, 1);
                    if (ch.empty()) ch = u"?";
                } else {
                    ch.assign(1, static_cast<char16_t>(v));
                }
                appendPadded(out, ch, field);
                break;
            }
            case u's':
            case u'S': {
                bool narrow = field.narrow || (conversion == u'S' && !field.wide);
                std::u16string text;
                if (narrow) {
                    const char* p = va_arg(args.list, const char*);
                    if (!p) {
                        text = u"(null)";
                    } else {
                        size_t bytes = field.precision >= 0 ? strnlen(p, static_cast<size_t>(field.precision))
                                                           : std::strlen(p);
                        text = fromAnsi(p, bytes);
                    }
                } else {
                    const WCHAR* p = va_arg(args.list, const WCHAR*);
                    if (!p) p = u"(null)";
                    size_t n = 0;
                    while ((field.precision < 0 || n < static_cast<size_t>(field.precision)) && p[n]) ++n;
                    text.assign(p, n);
                }
                if (field.precision >= 0 && text.size() > static_cast<size_t>(field.precision))
                    text.resize(static_cast<size_t>(field.precision));
                appendPadded(out, text, field);
                break;
            }
            case u'p': {
                const void* p = va_arg(args.list, const void*);
                std::string digits = printNarrow("%016llX", static_cast<unsigned long long>(
                                                                reinterpret_cast<uintptr_t>(p)));
                std::u16string text;
                appendAscii(text, digits);
                field.zero = false;
                appendPadded(out, text, field);
                break;
            }
            case u'%': out.push_back(u'%'); break;
            default: out.append(format.substr(start, i - start)); break;
        }
    }
}

}  // namespace

// ---- CString ------------------------------------------------------------------------------------

CString::CString(LPCWSTR text) : text_(viewOf(text)) {}

CString::CString(const char* text) : text_(fromAnsi(text)) {}

CString::CString(LPCWSTR text, int length) {
    if (text && length > 0) text_.assign(text, static_cast<size_t>(length));
}

CString::CString(WCHAR ch, int repeat) {
    if (repeat > 0) text_.assign(static_cast<size_t>(repeat), ch);
}

CString::CString(std::u16string_view text) : text_(text) {}

CString::CString(CString&& other) noexcept : text_(std::move(other.text_)) { other.text_.clear(); }

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        text_ = std::move(other.text_);
        other.text_.clear();
    }
    return *this;
}

CString& CString::operator=(LPCWSTR text) {
    text_.assign(viewOf(text));  // assign copes with text inside this string
    return *this;
}

CString& CString::operator=(const char* text) {
    text_ = fromAnsi(text);
    return *this;
}

CString& CString::operator=(WCHAR ch) {
    text_.assign(1, ch);
    return *this;
}

CString& CString::operator=(std::u16string_view text) {
    text_ = std::u16string(text);
    return *this;
}

WCHAR CString::GetAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < text_.size() ? text_[static_cast<size_t>(index)] : u'\0';
}

void CString::SetAt(int index, WCHAR ch) {
    if (index >= 0 && static_cast<size_t>(index) < text_.size()) text_[static_cast<size_t>(index)] = ch;
}

LPWSTR CString::GetBuffer(int minLength) {
    if (minLength > 0 && static_cast<size_t>(minLength) > text_.size())
        text_.resize(static_cast<size_t>(minLength), u'\0');
    return text_.data();
}

LPWSTR CString::GetBufferSetLength(int length) {
    text_.resize(length > 0 ? static_cast<size_t>(length) : 0, u'\0');
    return text_.data();
}

void CString::ReleaseBuffer(int newLength) {
    size_t length = newLength < 0 ? std::min(text_.find(u'\0'), text_.size())
                                  : std::min(static_cast<size_t>(newLength), text_.size());
    text_.resize(length);
}

CString& CString::operator+=(const CString& other) {
    text_.append(other.text_);
    return *this;
}

CString& CString::operator+=(LPCWSTR text) {
    text_.append(viewOf(text));
    return *this;
}

CString& CString::operator+=(const char* text) {
    text_.append(fromAnsi(text));
    return *this;
}

CString& CString::operator+=(WCHAR ch) {
    text_.push_back(ch);
    return *this;
}

void CString::Append(LPCWSTR text, int length) {
    if (!text || length <= 0) return;
    size_t n = 0;
    while (n < static_cast<size_t>(length) && text[n]) ++n;
    text_.append(text, n);
}

int CString::Compare(LPCWSTR other) const {
    int r = std::u16string_view(text_).compare(viewOf(other));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::Compare(const CString& other) const {
    int r = text_.compare(other.text_);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(LPCWSTR other) const { return lstrcmpiW(text_.c_str(), other); }

CString CString::Left(int count) const {
    return CString(std::u16string_view(text_).substr(0, clampTo(count, text_.size())));
}

CString CString::Right(int count) const {
    size_t n = clampTo(count, text_.size());
    return CString(std::u16string_view(text_).substr(text_.size() - n));
}

CString CString::Mid(int first) const { return Mid(first, INT_MAX); }

CString CString::Mid(int first, int count) const {
    size_t from = clampTo(first, text_.size());
    size_t n = clampTo(count, text_.size() - from);
    return CString(std::u16string_view(text_).substr(from, n));
}

CString CString::SpanIncluding(LPCWSTR set) const {
    std::u16string_view chars = viewOf(set);
    size_t n = 0;
    while (n < text_.size() && chars.find(text_[n]) != std::u16string_view::npos) ++n;
    return Left(static_cast<int>(n));
}

CString CString::SpanExcluding(LPCWSTR set) const {
    std::u16string_view chars = viewOf(set);
    size_t n = 0;
    while (n < text_.size() && chars.find(text_[n]) == std::u16string_view::npos) ++n;
    return Left(static_cast<int>(n));
}

CString CString::Tokenize(LPCWSTR tokens, int& start) const {
    std::u16string_view delimiters = viewOf(tokens);
    if (start < 0 || static_cast<size_t>(start) >= text_.size()) {
        start = -1;
        return CString();
    }
    size_t from = static_cast<size_t>(start);
    if (delimiters.empty()) {
        start = GetLength() + 1;
        return CString(std::u16string_view(text_).substr(from));
    }
    while (from < text_.size() && delimiters.find(text_[from]) != std::u16string_view::npos) ++from;
    if (from >= text_.size()) {
        start = -1;
        return CString();
    }
    size_t to = from;
    while (to < text_.size() && delimiters.find(text_[to]) == std::u16string_view::npos) ++to;
    start = static_cast<int>(to + 1);
    return CString(std::u16string_view(text_).substr(from, to - from));
}

int CString::Find(WCHAR ch, int start) const {
    if (start < 0 || static_cast<size_t>(start) >= text_.size()) return -1;
    size_t at = text_.find(ch, static_cast<size_t>(start));
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCWSTR sub, int start) const {
    if (!sub || start < 0 || static_cast<size_t>(start) > text_.size()) return -1;
    size_t at = text_.find(sub, static_cast<size_t>(start));
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(WCHAR ch) const {
    size_t at = text_.rfind(ch);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(LPCWSTR set) const {
    std::u16string_view chars = viewOf(set);
    if (chars.empty()) return -1;
    size_t at = text_.find_first_of(chars);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(WCHAR from, WCHAR to) {
    if (from == to) return 0;
    int count = 0;
    for (auto& c : text_) {
        if (c == from) {
            c = to;
            ++count;
        }
    }
    return count;
}

int CString::Replace(LPCWSTR from, LPCWSTR to) {
    // Copies first: either argument may point into this string.
    std::u16string old(viewOf(from));
    std::u16string replacement(viewOf(to));
    if (old.empty()) return 0;
    std::u16string out;
    int count = 0;
    size_t pos = 0;
    for (size_t at; (at = text_.find(old, pos)) != std::u16string::npos; pos = at + old.size()) {
        out.append(text_, pos, at - pos);
        out.append(replacement);
        ++count;
    }
    if (count == 0) return 0;
    out.append(text_, pos, std::u16string::npos);
    text_ = std::move(out);
    return count;
}

int CString::Remove(WCHAR ch) {
    size_t before = text_.size();
    std::erase(text_, ch);
    return static_cast<int>(before - text_.size());
}

int CString::Insert(int index, WCHAR ch) {
    text_.insert(clampTo(index, text_.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, LPCWSTR text) {
    std::u16string inserted(viewOf(text));
    text_.insert(clampTo(index, text_.size()), inserted);
    return GetLength();
}

int CString::Delete(int index, int count) {
    size_t from = clampTo(index, text_.size());
    size_t n = clampTo(count, text_.size() - from);
    text_.erase(from, n);
    return GetLength();
}

CString& CString::MakeUpper() {
    for (auto& c : text_) c = mapCase(c, true);
    return *this;
}

CString& CString::MakeLower() {
    for (auto& c : text_) c = mapCase(c, false);
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(text_.begin(), text_.end());
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(WCHAR target) { return TrimRight(target).TrimLeft(target); }
CString& CString::Trim(LPCWSTR targets) { return TrimRight(targets).TrimLeft(targets); }

CString& CString::TrimLeft() {
    size_t n = 0;
    while (n < text_.size() && isSpace(text_[n])) ++n;
    text_.erase(0, n);
    return *this;
}

CString& CString::TrimLeft(WCHAR target) {
    size_t n = 0;
    while (n < text_.size() && text_[n] == target) ++n;
    text_.erase(0, n);
    return *this;
}

CString& CString::TrimLeft(LPCWSTR targets) {
    std::u16string_view set = viewOf(targets);
    size_t n = 0;
    while (n < text_.size() && set.find(text_[n]) != std::u16string_view::npos) ++n;
    text_.erase(0, n);
    return *this;
}

CString& CString::TrimRight() {
    size_t n = text_.size();
    while (n > 0 && isSpace(text_[n - 1])) --n;
    text_.resize(n);
    return *this;
}

CString& CString::TrimRight(WCHAR target) {
    size_t n = text_.size();
    while (n > 0 && text_[n - 1] == target) --n;
    text_.resize(n);
    return *this;
}

CString& CString::TrimRight(LPCWSTR targets) {
    std::u16string_view set = viewOf(targets);
    size_t n = text_.size();
    while (n > 0 && set.find(text_[n - 1]) != std::u16string_view::npos) --n;
    text_.resize(n);
    return *this;
}

void CString::FormatV(LPCWSTR format, va_list args) {
    CString out;  // the format or an argument may be this string
    out.AppendFormatV(format, args);
    text_ = std::move(out.text_);
}

void CString::AppendFormatV(LPCWSTR format, va_list args) {
    Args copy;
    va_copy(copy.list, args);
    std::u16string out;
    formatInto(out, viewOf(format), copy);
    va_end(copy.list);
    text_.append(out);
}

void CString::Format(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::Format(UINT formatId, ...) {
    CString format;
    format.LoadString(formatId);
    va_list args;
    va_start(args, formatId);
    FormatV(format.GetString(), args);
    va_end(args);
}

void CString::AppendFormat(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

BOOL CString::LoadString(UINT id) { return LoadString(AfxGetResourceHandle(), id); }

BOOL CString::LoadString(HINSTANCE module, UINT id) {
    LPCWSTR text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) {
        text_.clear();
        return FALSE;
    }
    text_.assign(text, static_cast<size_t>(length));
    return TRUE;
}

CString operator+(const CString& a, const CString& b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(const CString& a, LPCWSTR b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(LPCWSTR a, const CString& b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(const CString& a, WCHAR b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(WCHAR a, const CString& b) {
    CString out(a);
    out += b;
    return out;
}

// ---- CStringArray -------------------------------------------------------------------------------

namespace {
const CString& sharedEmpty() {
    static const CString empty;
    return empty;
}

CString& scratch() {
    thread_local CString spare;
    spare.Empty();
    return spare;
}

bool inRange(INT_PTR index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }
}  // namespace

void CStringArray::SetSize(INT_PTR newSize, INT_PTR) {
    if (newSize >= 0) items_.resize(static_cast<size_t>(newSize));
}

const CString& CStringArray::GetAt(INT_PTR index) const {
    return inRange(index, items_.size()) ? items_[static_cast<size_t>(index)] : sharedEmpty();
}

void CStringArray::SetAt(INT_PTR index, const CString& item) {
    if (inRange(index, items_.size())) items_[static_cast<size_t>(index)] = item;
}

CString& CStringArray::ElementAt(INT_PTR index) {
    return inRange(index, items_.size()) ? items_[static_cast<size_t>(index)] : scratch();
}

INT_PTR CStringArray::Add(const CString& item) {
    items_.push_back(item);
    return GetUpperBound();
}

INT_PTR CStringArray::Append(const CStringArray& other) {
    INT_PTR first = GetSize();
    std::vector<CString> copy(other.items_);  // other may be this array
    items_.insert(items_.end(), copy.begin(), copy.end());
    return first;
}

void CStringArray::Copy(const CStringArray& other) {
    if (this != &other) items_ = other.items_;
}

void CStringArray::SetAtGrow(INT_PTR index, const CString& item) {
    if (index < 0) return;
    CString value(item);  // item may be an element that the growth moves
    if (static_cast<size_t>(index) >= items_.size()) items_.resize(static_cast<size_t>(index) + 1);
    items_[static_cast<size_t>(index)] = std::move(value);
}

void CStringArray::InsertAt(INT_PTR index, const CString& item, INT_PTR count) {
    if (index < 0 || count < 1) return;
    CString value(item);
    if (static_cast<size_t>(index) > items_.size()) items_.resize(static_cast<size_t>(index));
    items_.insert(items_.begin() + index, static_cast<size_t>(count), value);
}

void CStringArray::RemoveAt(INT_PTR index, INT_PTR count) {
    if (index < 0 || count < 0 || static_cast<size_t>(index) > items_.size() ||
        static_cast<size_t>(count) > items_.size() - static_cast<size_t>(index))
        return;
    items_.erase(items_.begin() + index, items_.begin() + index + count);
}
