// UTF-16 text, code pages and case folding.
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "internal.h"
#include "win/kernel.h"

namespace {

const char* iconvName(UINT codePage) {
    switch (codePage) {
    case CP_UTF8: return "UTF-8";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    case 437: return "CP437";
    case 850: return "CP850";
    case 866: return "CP866";
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    default: return nullptr;
    }
}

bool isDoubleByte(UINT codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

UINT effectiveCodePage(UINT codePage) {
    if (codePage == CP_ACP) return platform::machineSettings().codePage;
    if (codePage == CP_OEMCP) {
        UINT acp = platform::machineSettings().codePage;
        return isDoubleByte(acp) ? acp : (acp == 1251 ? 866 : 437);
    }
    return codePage;
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as possible; returns false at an invalid or incomplete sequence, leaving
    // `in` at it.
    bool run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(cd_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
            out.append(buffer, sizeof buffer - outLeft);
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }
    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

// A converter between two encodings lent from the process's pool for one conversion, opened only
// when none is free (opening one loads its tables) and given back in its initial state.
class ConverterLease {
public:
    ConverterLease(const char* to, const char* from) : key_(to, from) {
        {
            std::lock_guard lock(pool().mutex);
            auto& free = pool().free[key_];
            if (!free.empty()) {
                conv_ = std::move(free.back());
                free.pop_back();
            }
        }
        if (!conv_) conv_ = std::make_unique<Converter>(to, from);
    }
    ~ConverterLease() {
        if (!conv_->ok()) return;
        conv_->reset();
        std::lock_guard lock(pool().mutex);
        pool().free[key_].push_back(std::move(conv_));
    }
    ConverterLease(const ConverterLease&) = delete;
    ConverterLease& operator=(const ConverterLease&) = delete;
    // Null when the pair cannot be converted.
    Converter* get() const { return conv_->ok() ? conv_.get() : nullptr; }

private:
    struct Pool {
        std::mutex mutex;
        std::map<std::pair<std::string, std::string>, std::vector<std::unique_ptr<Converter>>> free;
    };
    static Pool& pool() {
        static Pool* p = new Pool;  // kept to the end: conversions may run while statics go
        return *p;
    }
    std::pair<std::string, std::string> key_;
    std::unique_ptr<Converter> conv_;
};

std::u16string fromUtf16Bytes(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

// Multi-byte text to UTF-16. Invalid bytes become U+00xx on single-byte code pages (as the
// system maps the holes of 1252) and U+FFFD elsewhere; with `strict` they fail the conversion.
bool decodeCodePage(UINT codePage, std::string_view src, bool strict, std::u16string& result) {
    const char* name = iconvName(codePage);
    if (!name) return false;
    ConverterLease lease("UTF-16LE", name);
    Converter* found = lease.get();
    if (!found) return false;
    Converter& conv = *found;
    std::string out;
    const char* in = src.data();
    size_t left = src.size();
    while (!conv.run(in, left, out)) {
        if (strict) return false;
        unsigned char bad = static_cast<unsigned char>(*in);
        char16_t replacement = isDoubleByte(codePage) || codePage == CP_UTF8 ? u'\xFFFD' : char16_t(bad);
        out.append(reinterpret_cast<const char*>(&replacement), 2);
        ++in;
        --left;
        conv.reset();
    }
    result = fromUtf16Bytes(out);
    return true;
}

// UTF-16 to multi-byte text, one character at a time where the whole does not convert. `usedDefault`
// tells that something was replaced (by the default char, or by U+FFFD in UTF-8).
bool encodeCodePage(UINT codePage, std::u16string_view src, const char* defaultChar, bool& usedDefault,
                    std::string& result) {
    const char* name = iconvName(codePage);
    if (!name) return false;
    ConverterLease lease(name, "UTF-16LE");
    Converter* found = lease.get();
    if (!found) return false;
    Converter& conv = *found;
    result.clear();
    size_t i = 0;
    while (i < src.size()) {
        size_t units = 1;
        if (src[i] >= 0xD800 && src[i] < 0xDC00 && i + 1 < src.size() && src[i + 1] >= 0xDC00 && src[i + 1] < 0xE000)
            units = 2;
        const char* in = reinterpret_cast<const char*>(src.data() + i);
        size_t left = units * 2;
        std::string piece;
        if (conv.run(in, left, piece)) {
            result += piece;
        } else {
            conv.reset();
            if (codePage == CP_UTF8) {
                result += "\xEF\xBF\xBD";
                usedDefault = true;  // a lone surrogate; WC_ERR_INVALID_CHARS turns it into a failure
            } else {
                result += defaultChar ? defaultChar : "?";
                usedDefault = true;
            }
        }
        i += units;
    }
    return true;
}

locale_t utf8Locale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

UINT WINAPI GetACP() { return platform::machineSettings().codePage; }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen) {
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    std::u16string wide;
    UINT cp = effectiveCodePage(codePage);
    if (!iconvName(cp)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!decodeCodePage(cp, std::string_view(src, length), (flags & MB_ERR_INVALID_CHARS) != 0, wide)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (dstLen == 0) return static_cast<int>(wide.size());
    if (wide.size() > static_cast<size_t>(dstLen)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, wide.data(), wide.size() * sizeof(WCHAR));
    return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                               LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    UINT cp = effectiveCodePage(codePage);
    if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst) || !iconvName(cp) ||
        (cp == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = srcLen == -1 ? static_cast<size_t>(lstrlenW(src)) + 1 : static_cast<size_t>(srcLen);
    bool usedDefault = false;
    std::string narrow;
    encodeCodePage(cp, std::u16string_view(src, length), defaultChar, usedDefault, narrow);
    if (cp == CP_UTF8 && usedDefault && (flags & WC_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (dstLen == 0) return static_cast<int>(narrow.size());
    if (narrow.size() > static_cast<size_t>(dstLen)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, narrow.data(), narrow.size());
    return static_cast<int>(narrow.size());
}

int WINAPI lstrlenW(LPCWSTR s) {
    if (!s) return 0;
    int n = 0;
    while (s[n]) ++n;
    return n;
}

LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int maxChars) {
    if (!dst || maxChars <= 0) return dst;
    int i = 0;
    if (src) {
        for (; i < maxChars - 1 && src[i]; ++i) dst[i] = src[i];
    }
    dst[i] = 0;
    return dst;
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    std::u16string fa = platform::detail::foldCase(a ? std::u16string_view(a) : std::u16string_view());
    std::u16string fb = platform::detail::foldCase(b ? std::u16string_view(b) : std::u16string_view());
    return fa < fb ? -1 : (fa == fb ? 0 : 1);
}

namespace platform {

std::string toUtf8(std::u16string_view text) {
    std::string out;
    bool unused = false;
    encodeCodePage(CP_UTF8, text, nullptr, unused, out);
    return out;
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    decodeCodePage(CP_UTF8, text, false, out);
    return out;
}

namespace detail {

char16_t foldCase(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    if (c >= 0xD800 && c < 0xE000) return c;
    locale_t locale = utf8Locale();
    if (locale == static_cast<locale_t>(0)) return c;
    wint_t upper = towupper_l(static_cast<wint_t>(c), locale);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

std::u16string foldCase(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = foldCase(c);
    return out;
}

std::u16string ansiToWide(const char* text) {
    if (!text) return {};
    std::u16string out;
    UINT cp = effectiveCodePage(CP_ACP);
    if (!decodeCodePage(cp, text, false, out)) return {};
    return out;
}

std::string wideToAnsi(std::u16string_view text) {
    std::string out;
    bool used = false;
    encodeCodePage(effectiveCodePage(CP_ACP), text, nullptr, used, out);
    return out;
}

bool copyOut(std::u16string_view text, WCHAR* buffer, size_t size) {
    if (!buffer || text.size() + 1 > size) return false;
    if (!text.empty()) std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
    buffer[text.size()] = 0;
    return true;
}

}  // namespace detail
}  // namespace platform
