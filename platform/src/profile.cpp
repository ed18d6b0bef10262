// Profile (INI) files on the machine's drives.
#include <fstream>
#include <system_error>
#include <vector>

#include "internal.h"
#include "platform/profile.h"
#include "win/kernel.h"

namespace fs = std::filesystem;
using platform::detail::foldCase;

namespace {

enum class Encoding { Ansi, Utf8, Utf8Bom, Utf16 };

struct IniFile {
    Encoding encoding = Encoding::Ansi;
    std::vector<std::u16string> lines;
};

// Serialises readers and writers of INI files between processes (one lock for all of them).
fs::path profileLock() { return platform::machineRoot() / "profile.lock"; }

// A bare file name lives in the Windows directory, as the profile calls look it up.
std::u16string windowsName(LPCWSTR fileName) {
    std::u16string name = fileName && *fileName ? std::u16string(fileName) : std::u16string(u"win.ini");
    if (name.find_first_of(u"\\/:") == std::u16string::npos) name = platform::detail::windowsFolder() + u"\\" + name;
    return name;
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::u16string decode(const std::string& bytes, Encoding& encoding) {
    auto starts = [&](std::string_view mark) { return bytes.compare(0, mark.size(), mark) == 0; };
    if (starts("\xFF\xFE")) {
        encoding = Encoding::Utf16;
        std::u16string text((bytes.size() - 2) / 2, u'\0');  // an odd last byte is dropped
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                            (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        return text;
    }
    std::string_view body = bytes;
    encoding = Encoding::Ansi;
    if (starts("\xEF\xBB\xBF")) {
        encoding = Encoding::Utf8Bom;
        body.remove_prefix(3);
    }
    if (body.empty()) return {};
    const int length = static_cast<int>(body.size());
    bool wide = false;
    for (char c : body) wide = wide || static_cast<unsigned char>(c) >= 0x80;
    UINT codePage = CP_ACP;
    DWORD flags = 0;
    if (encoding == Encoding::Utf8Bom) {
        codePage = CP_UTF8;
    } else if (wide && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(), length, nullptr, 0) > 0) {
        codePage = CP_UTF8;
        flags = MB_ERR_INVALID_CHARS;
        encoding = Encoding::Utf8;
    }
    int needed = MultiByteToWideChar(codePage, flags, body.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::u16string text(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(codePage, flags, body.data(), length, text.data(), needed);
    return text;
}

std::string encode(const IniFile& ini) {
    std::u16string text;
    for (const auto& line : ini.lines) text += line + u"\r\n";
    switch (ini.encoding) {
    case Encoding::Utf16: {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    }
    case Encoding::Utf8Bom: return "\xEF\xBB\xBF" + platform::toUtf8(text);
    case Encoding::Utf8: return platform::toUtf8(text);
    case Encoding::Ansi: break;
    }
    return platform::detail::wideToAnsi(text);
}

std::vector<std::u16string> splitLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
        start = end + 1;
    }
    return lines;
}

// Reads the file; false (with the error) when it cannot be read.
bool load(const std::u16string& name, IniFile& ini, DWORD& error) {
    platform::detail::Resolved resolved = platform::detail::resolvePath(name);
    if (resolved.error != ERROR_SUCCESS) {
        error = resolved.error == ERROR_FILENAME_EXCED_RANGE ? resolved.error : ERROR_FILE_NOT_FOUND;
        return false;
    }
    std::error_code ec;
    if (!fs::is_regular_file(resolved.host, ec)) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    bool ok = false;
    std::string bytes = platform::detail::readHostFile(resolved.host, &ok);
    if (!ok) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    ini.lines = splitLines(decode(bytes, ini.encoding));
    return true;
}

// "[name]" (also without its closing bracket).
bool sectionOf(std::u16string_view line, std::u16string_view& name) {
    line = trim(line);
    if (line.empty() || line.front() != u'[') return false;
    line.remove_prefix(1);
    size_t close = line.find(u']');
    name = trim(line.substr(0, close));
    return true;
}

// "key = value"; comments, section lines and lines without '=' or key are none.
bool entryOf(std::u16string_view line, std::u16string_view& key, std::u16string_view& value) {
    line = trim(line);
    if (line.empty() || line.front() == u';' || line.front() == u'[') return false;
    size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return !key.empty();
}

struct Span {
    size_t header = 0;  // the section line
    size_t end = 0;     // one past its last line
};
std::vector<Span> sectionsNamed(const IniFile& ini, std::u16string_view section) {
    std::vector<Span> spans;
    const std::u16string wanted = foldCase(section);
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        std::u16string_view name;
        if (!sectionOf(ini.lines[i], name)) continue;
        if (!spans.empty() && spans.back().end == 0) spans.back().end = i;
        if (foldCase(name) == wanted) spans.push_back({i, 0});
    }
    if (!spans.empty() && spans.back().end == 0) spans.back().end = ini.lines.size();
    return spans;
}

// The index of the key's first line in a section, or npos.
size_t keyLine(const IniFile& ini, const Span& span, std::u16string_view key) {
    const std::u16string wanted = foldCase(key);
    for (size_t i = span.header + 1; i < span.end; ++i) {
        std::u16string_view name, value;
        if (entryOf(ini.lines[i], name, value) && foldCase(name) == wanted) return i;
    }
    return std::u16string::npos;
}

// Names, each NUL-terminated, into the caller's buffer with a closing NUL; cut with two NULs.
DWORD copyList(const std::vector<std::u16string>& names, LPWSTR out, DWORD size) {
    std::u16string list;
    for (const auto& name : names) {
        list += name;
        list += u'\0';
    }
    if (list.size() + 1 <= size) {
        platform::detail::copyOut(list, out, size);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        out[0] = 0;
        return 0;
    }
    list.resize(size - 2);
    platform::detail::copyOut(list, out, size - 1);
    out[size - 1] = 0;
    SetLastError(ERROR_MORE_DATA);
    return size - 2;
}

DWORD copyValue(std::u16string_view value, LPWSTR out, DWORD size) {
    if (value.size() + 1 <= size) {
        platform::detail::copyOut(value, out, size);
        return static_cast<DWORD>(value.size());
    }
    platform::detail::copyOut(value.substr(0, size - 1), out, size);
    SetLastError(ERROR_MORE_DATA);
    return size - 1;
}

bool hasLineBreak(LPCWSTR text) {
    return text && std::u16string_view(text).find_first_of(u"\r\n") != std::u16string_view::npos;
}

bool save(const fs::path& host, const IniFile& ini, DWORD& error) {
    fs::path temp = host;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        std::string bytes = encode(ini);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, host, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    return true;
}

}  // namespace

namespace platform::profile {

std::vector<ProfileLine> readProfileLines(std::string_view bytes) {
    Encoding encoding = Encoding::Ansi;
    std::vector<ProfileLine> lines;
    for (const std::u16string& text : splitLines(decode(std::string(bytes), encoding))) {
        ProfileLine line;
        std::u16string_view name, value;
        if (sectionOf(text, name)) {
            line.kind = ProfileLine::Kind::kSection;
            line.name = name;
        } else if (entryOf(text, name, value)) {
            line.kind = ProfileLine::Kind::kEntry;
            line.name = name;
            line.value = value;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace platform::profile

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR returned,
                                      DWORD size, LPCWSTR fileName) {
    if (!returned || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string name = windowsName(fileName);
    IniFile ini;
    DWORD error = ERROR_SUCCESS;
    bool loaded = false;
    if (auto fault = platform::detail::takeFault("GetPrivateProfileStringW", platform::toUtf8(fileName ? fileName : u""))) {
        error = fault->error ? fault->error : ERROR_FILE_NOT_FOUND;
    } else {
        platform::detail::MachineLock lock(profileLock(), false);
        loaded = load(name, ini, error);
    }

    if (!section) {
        std::vector<std::u16string> names, folded;
        for (const auto& line : ini.lines) {
            std::u16string_view found;
            if (!sectionOf(line, found)) continue;
            std::u16string f = foldCase(found);
            bool seen = false;
            for (const auto& other : folded) seen = seen || other == f;
            if (seen) continue;
            folded.push_back(std::move(f));
            names.emplace_back(found);
        }
        DWORD copied = copyList(names, returned, size);
        if (!loaded) SetLastError(error);
        return copied;
    }
    std::vector<Span> spans = loaded ? sectionsNamed(ini, section) : std::vector<Span>();
    if (!key) {
        std::vector<std::u16string> names, folded;
        if (!spans.empty()) {
            for (size_t i = spans.front().header + 1; i < spans.front().end; ++i) {
                std::u16string_view found, value;
                if (!entryOf(ini.lines[i], found, value)) continue;
                std::u16string f = foldCase(found);
                bool seen = false;
                for (const auto& other : folded) seen = seen || other == f;
                if (seen) continue;
                folded.push_back(std::move(f));
                names.emplace_back(found);
            }
        }
        DWORD copied = copyList(names, returned, size);
        if (spans.empty()) SetLastError(loaded ? ERROR_FILE_NOT_FOUND : error);
        return copied;
    }
    if (!spans.empty()) {
        size_t line = keyLine(ini, spans.front(), key);
        if (line != std::u16string::npos) {
            std::u16string_view found, value;
            entryOf(ini.lines[line], found, value);
            SetLastError(ERROR_SUCCESS);
            return copyValue(value, returned, size);
        }
    }
    std::u16string_view fallback = defaultValue ? defaultValue : u"";
    while (!fallback.empty() && isBlank(fallback.back())) fallback.remove_suffix(1);
    SetLastError(loaded ? ERROR_FILE_NOT_FOUND : error);
    DWORD copied = copyValue(fallback, returned, size);
    return copied;
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName) {
    if (!section && !key && !value) return TRUE;  // flushing the (absent) cache
    if (!section || !*section || (key && !*key) || hasLineBreak(section) || hasLineBreak(key) ||
        hasLineBreak(value) || (key && std::u16string_view(key).find(u'=') != std::u16string_view::npos) ||
        std::u16string_view(section).find(u']') != std::u16string_view::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::u16string name = windowsName(fileName);
    if (auto fault = platform::detail::takeFault("WritePrivateProfileStringW", platform::toUtf8(fileName ? fileName : u""))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    platform::detail::Resolved resolved = platform::detail::resolvePath(name);
    if (resolved.error != ERROR_SUCCESS) {
        SetLastError(resolved.error);
        return FALSE;
    }
    std::error_code ec;
    if (!fs::is_directory(resolved.host.parent_path(), ec)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (fs::is_directory(resolved.host, ec)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    platform::detail::MachineLock lock(profileLock(), true);
    IniFile ini;
    DWORD error = ERROR_SUCCESS;
    if (fs::exists(resolved.host, ec) && !load(name, ini, error)) {
        SetLastError(error);
        return FALSE;
    }
    std::vector<Span> spans = sectionsNamed(ini, section);
    if (!key) {  // the whole section, every copy of it
        for (auto it = spans.rbegin(); it != spans.rend(); ++it)
            ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(it->header),
                            ini.lines.begin() + static_cast<std::ptrdiff_t>(it->end));
    } else if (!value) {  // the key
        if (!spans.empty()) {
            const std::u16string wanted = foldCase(key);
            for (size_t i = spans.front().end; i-- > spans.front().header + 1;) {
                std::u16string_view found, old;
                if (entryOf(ini.lines[i], found, old) && foldCase(found) == wanted)
                    ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    } else if (spans.empty()) {
        ini.lines.push_back(u"[" + std::u16string(section) + u"]");
        ini.lines.push_back(std::u16string(key) + u"=" + value);
    } else {
        const Span& span = spans.front();
        size_t line = keyLine(ini, span, key);
        if (line != std::u16string::npos) {
            std::u16string_view found, old;
            entryOf(ini.lines[line], found, old);
            ini.lines[line] = std::u16string(found) + u"=" + value;
        } else {
            size_t at = span.end;
            while (at > span.header + 1 && trim(ini.lines[at - 1]).empty()) --at;
            ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(at), std::u16string(key) + u"=" + value);
        }
    }
    if (!save(resolved.host, ini, error)) {
        SetLastError(error);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
