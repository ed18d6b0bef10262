// The registry hive: "registry.hive" under the machine root, one line a key or value, rewritten
// whole under an exclusive lock for every change.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "internal.h"
#include "win/registry.h"

namespace {

using platform::detail::foldCase;

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::string data;
};
struct Key {
    std::u16string path;  // as first created
    std::vector<Value> values;
};
using Hive = std::map<std::u16string, Key>;  // by folded path

struct KeyObject : platform::detail::KernelObject {
    bool closedByCloseHandle() const override { return false; }
    std::u16string path;
};

std::filesystem::path hiveFile() { return platform::machineRoot() / "registry.hive"; }
std::filesystem::path lockFile() { return platform::machineRoot() / "registry.lock"; }

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char n = text[++i];
            out += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string toHex(const std::string& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : data) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    auto nibble = [](char c) { return c >= 'a' ? c - 'a' + 10 : c >= 'A' ? c - 'A' + 10 : c - '0'; };
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1]));
    return out;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

// A malformed line is skipped: a damaged hive loses that entry, never the rest.
Hive loadHive() {
    Hive hive;
    std::istringstream lines(platform::detail::readHostFile(hiveFile()));
    std::string line;
    while (std::getline(lines, line)) {
        auto fields = splitTabs(line);
        if (fields.size() == 2 && fields[0] == "K") {
            std::u16string path = platform::fromUtf8(unescape(fields[1]));
            hive.emplace(foldCase(path), Key{path, {}});
        } else if (fields.size() == 5 && fields[0] == "V") {
            std::u16string path = platform::fromUtf8(unescape(fields[1]));
            auto& key = hive.try_emplace(foldCase(path), Key{path, {}}).first->second;
            char* end = nullptr;
            DWORD type = static_cast<DWORD>(std::strtoul(fields[3].c_str(), &end, 10));
            key.values.push_back(Value{platform::fromUtf8(unescape(fields[2])), type, fromHex(fields[4])});
        }
    }
    return hive;
}

void saveHive(const Hive& hive) {
    std::string text;
    for (const auto& [folded, key] : hive) {
        std::string path = escape(platform::toUtf8(key.path));
        text += "K\t" + path + "\n";
        for (const auto& value : key.values)
            text += "V\t" + path + "\t" + escape(platform::toUtf8(value.name)) + "\t" + std::to_string(value.type) +
                    "\t" + toHex(value.data) + "\n";
    }
    platform::detail::writeHostFile(hiveFile(), text);
}

bool isRootPath(const std::u16string& folded) {
    return folded == u"HKEY_LOCAL_MACHINE" || folded == u"HKEY_CURRENT_USER" || folded == u"HKEY_USERS";
}

// The full path of an open key, or nothing for a handle that is not a key.
std::optional<std::u16string> keyPath(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return u"HKEY_LOCAL_MACHINE";
    if (key == HKEY_CURRENT_USER) return u"HKEY_CURRENT_USER";
    if (key == HKEY_USERS) return u"HKEY_USERS";
    if (key == HKEY_CLASSES_ROOT) return u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";
    auto object = platform::detail::handleAs<KeyObject>(reinterpret_cast<HANDLE>(key));
    if (!object) return std::nullopt;
    return object->path;
}

// Joins a subkey path; fails on a leading backslash (a relative name never has one, and NT refuses
// it), empty components or names over 255 characters.
std::optional<std::u16string> join(const std::u16string& base, LPCWSTR subKey) {
    std::u16string path = base;
    if (!subKey) return path;
    std::u16string_view rest(subKey);
    if (!rest.empty() && rest.front() == u'\\') return std::nullopt;
    while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find(u'\\', start);
        if (end == std::u16string_view::npos) end = rest.size();
        if (end == start || end - start > 255) return std::nullopt;
        path += u'\\';
        path += rest.substr(start, end - start);
        start = end + 1;
    }
    return path;
}

bool exists(const Hive& hive, const std::u16string& path) {
    std::u16string folded = foldCase(path);
    return isRootPath(folded) || hive.count(folded) != 0;
}

// The direct subkey names of a key, sorted as the registry enumerates them.
std::vector<std::u16string> subkeys(const Hive& hive, const std::u16string& path) {
    std::u16string prefix = foldCase(path) + u"\\";
    std::vector<std::u16string> names;
    // A deeper key can sort between two direct subkeys ("A\C" after "AB"), so each name is kept once.
    std::set<std::u16string> seen;
    for (auto it = hive.lower_bound(prefix); it != hive.end() && it->first.rfind(prefix, 0) == 0; ++it) {
        std::u16string tail = it->second.path.substr(prefix.size());
        size_t slash = tail.find(u'\\');
        std::u16string name = tail.substr(0, slash);
        if (seen.insert(foldCase(name)).second) names.push_back(name);
    }
    return names;
}

HKEY newKeyHandle(const std::u16string& path) {
    auto object = std::make_shared<KeyObject>();
    object->path = path;
    return reinterpret_cast<HKEY>(platform::detail::insertHandle(object));
}

LSTATUS faultFor(const char* function, std::string_view detail = {}) {
    if (auto fault = platform::detail::takeFault(function, detail)) return fault->error ? fault->error : ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// Makes every missing key on the way down to `path`; whether one was made.
bool createKeys(Hive& hive, const std::u16string& path) {
    bool created = false;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos) end = path.size();
        const std::u16string partial = path.substr(0, end);
        const std::u16string folded = foldCase(partial);
        if (!isRootPath(folded) && !hive.count(folded)) {
            hive.emplace(folded, Key{partial, {}});
            created = true;
        }
        start = end + 1;
    }
    return created;
}

Value* findValue(Key& key, const std::u16string& name) {
    auto same = std::find_if(key.values.begin(), key.values.end(),
                             [&](const Value& v) { return foldCase(v.name) == foldCase(name); });
    return same != key.values.end() ? &*same : nullptr;
}

void setValue(Key& key, const std::u16string& name, DWORD type, std::string bytes) {
    if (Value* same = findValue(key, name)) {
        same->type = type;
        same->data = std::move(bytes);
    } else {
        key.values.push_back(Value{name, type, std::move(bytes)});
    }
}

LSTATUS copyData(const std::string& data, LPBYTE out, LPDWORD size) {
    if (!size) return out ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD room = *size;
    *size = static_cast<DWORD>(data.size());
    if (!out) return ERROR_SUCCESS;
    if (room < data.size()) return ERROR_MORE_DATA;
    std::memcpy(out, data.data(), data.size());
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (LSTATUS fault = faultFor("RegOpenKeyExW")) return fault;
    auto base = keyPath(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = join(*base, subKey);
    if (!path) return ERROR_BAD_PATHNAME;
    platform::detail::MachineLock lock(lockFile(), false);
    Hive hive = loadHive();
    if (!exists(hive, *path)) return ERROR_FILE_NOT_FOUND;
    auto found = hive.find(foldCase(*path));
    *result = newKeyHandle(found != hive.end() ? found->second.path : *path);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                               PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (LSTATUS fault = faultFor("RegCreateKeyExW")) return fault;
    auto base = keyPath(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = join(*base, subKey);
    if (!path) return ERROR_BAD_PATHNAME;
    platform::detail::MachineLock lock(lockFile(), true);
    Hive hive = loadHive();
    const bool created = createKeys(hive, *path);
    if (created) saveHive(hive);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    auto found = hive.find(foldCase(*path));
    *result = newKeyHandle(found != hive.end() ? found->second.path : *path);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    return RegCreateKeyExW(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, result, nullptr);
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_USERS || key == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    if (!platform::detail::handleAs<KeyObject>(reinterpret_cast<HANDLE>(key))) return ERROR_INVALID_HANDLE;
    platform::detail::removeHandle(reinterpret_cast<HANDLE>(key));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (LSTATUS fault = faultFor("RegQueryValueExW")) return fault;
    auto path = keyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    platform::detail::MachineLock lock(lockFile(), false);
    Hive hive = loadHive();
    if (!exists(hive, *path)) return ERROR_KEY_DELETED;
    auto found = hive.find(foldCase(*path));
    if (found == hive.end()) return ERROR_FILE_NOT_FOUND;
    std::u16string wanted = foldCase(valueName ? std::u16string_view(valueName) : std::u16string_view());
    for (const auto& value : found->second.values) {
        if (foldCase(value.name) != wanted) continue;
        if (type) *type = value.type;
        return copyData(value.data, data, dataSize);
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    if (LSTATUS fault = faultFor("RegSetValueExW")) return fault;
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    auto path = keyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    platform::detail::MachineLock lock(lockFile(), true);
    Hive hive = loadHive();
    std::u16string folded = foldCase(*path);
    if (isRootPath(folded)) return ERROR_ACCESS_DENIED;
    auto found = hive.find(folded);
    if (found == hive.end()) return ERROR_KEY_DELETED;
    setValue(found->second, valueName ? std::u16string(valueName) : std::u16string(), type,
             std::string(reinterpret_cast<const char*>(data), dataSize));
    saveHive(hive);
    return ERROR_SUCCESS;
}

namespace {

LSTATUS deleteValue(HKEY key, LPCWSTR valueName) {
    if (LSTATUS fault = faultFor("RegDeleteValueW")) return fault;
    auto path = keyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    platform::detail::MachineLock lock(lockFile(), true);
    Hive hive = loadHive();
    auto found = hive.find(foldCase(*path));
    if (found == hive.end()) return exists(hive, *path) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    std::u16string wanted = foldCase(valueName ? std::u16string_view(valueName) : std::u16string_view());
    auto& values = found->second.values;
    auto it = std::find_if(values.begin(), values.end(), [&](const Value& v) { return foldCase(v.name) == wanted; });
    if (it == values.end()) return ERROR_FILE_NOT_FOUND;
    values.erase(it);
    saveHive(hive);
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    const LSTATUS status = deleteValue(key, valueName);
    if (platform::detail::fileCallJournalOn())
        platform::detail::journalRegistryCall("RegDeleteValueW",
                                              keyPath(key).value_or(u"") + u", " + (valueName ? valueName : u""), status);
    return status;
}

namespace {

LSTATUS deleteKey(HKEY key, LPCWSTR subKey) {
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    auto base = keyPath(key);
    if (!base) return ERROR_INVALID_HANDLE;
    auto path = join(*base, subKey);
    if (!path) return ERROR_BAD_PATHNAME;
    if (LSTATUS fault = faultFor("RegDeleteKeyW", platform::toUtf8(*path))) return fault;
    platform::detail::MachineLock lock(lockFile(), true);
    Hive hive = loadHive();
    std::u16string folded = foldCase(*path);
    if (isRootPath(folded)) return ERROR_ACCESS_DENIED;
    if (!hive.count(folded)) return ERROR_FILE_NOT_FOUND;
    if (!subkeys(hive, *path).empty()) return ERROR_ACCESS_DENIED;
    hive.erase(folded);
    saveHive(hive);
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    const LSTATUS status = deleteKey(key, subKey);
    if (platform::detail::fileCallJournalOn()) {
        const std::u16string base = keyPath(key).value_or(u"");
        const std::u16string name = subKey ? std::u16string(subKey) : u"";
        platform::detail::journalRegistryCall("RegDeleteKeyW", join(base, subKey).value_or(base + u"\\" + name),
                                              status);
    }
    return status;
}

LSTATUS WINAPI RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD nameSize) {
    if (LSTATUS fault = faultFor("RegEnumKeyW")) return fault;
    auto path = keyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    platform::detail::MachineLock lock(lockFile(), false);
    Hive hive = loadHive();
    if (!exists(hive, *path)) return ERROR_KEY_DELETED;
    auto names = subkeys(hive, *path);
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    if (!platform::detail::copyOut(names[index], name, nameSize)) return ERROR_MORE_DATA;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR className, LPDWORD classLength, LPDWORD, LPDWORD subKeys,
                                 LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                                 LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptorLength,
                                 FILETIME* lastWriteTime) {
    if (LSTATUS fault = faultFor("RegQueryInfoKeyW")) return fault;
    auto path = keyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    platform::detail::MachineLock lock(lockFile(), false);
    Hive hive = loadHive();
    if (!exists(hive, *path)) return ERROR_KEY_DELETED;
    const auto names = subkeys(hive, *path);
    DWORD longestName = 0, valueCount = 0, longestValueName = 0, longestData = 0;
    for (const auto& name : names) longestName = std::max(longestName, static_cast<DWORD>(name.size()));
    if (auto found = hive.find(foldCase(*path)); found != hive.end()) {
        valueCount = static_cast<DWORD>(found->second.values.size());
        for (const auto& value : found->second.values) {
            longestValueName = std::max(longestValueName, static_cast<DWORD>(value.name.size()));
            longestData = std::max(longestData, static_cast<DWORD>(value.data.size()));
        }
    }
    if (className && classLength && *classLength) className[0] = 0;
    if (classLength) *classLength = 0;
    if (subKeys) *subKeys = static_cast<DWORD>(names.size());
    if (maxSubKeyLength) *maxSubKeyLength = longestName;
    if (maxClassLength) *maxClassLength = 0;
    if (values) *values = valueCount;
    if (maxValueNameLength) *maxValueNameLength = longestValueName;
    if (maxValueLength) *maxValueLength = longestData;
    if (securityDescriptorLength) *securityDescriptorLength = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize) {
    if (LSTATUS fault = faultFor("RegEnumValueW")) return fault;
    if (!nameSize) return ERROR_INVALID_PARAMETER;
    auto path = keyPath(key);
    if (!path) return ERROR_INVALID_HANDLE;
    platform::detail::MachineLock lock(lockFile(), false);
    Hive hive = loadHive();
    if (!exists(hive, *path)) return ERROR_KEY_DELETED;
    auto found = hive.find(foldCase(*path));
    if (found == hive.end() || index >= found->second.values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = found->second.values[index];
    if (!platform::detail::copyOut(value.name, name, *nameSize)) return ERROR_MORE_DATA;
    *nameSize = static_cast<DWORD>(value.name.size());
    if (type) *type = value.type;
    return copyData(value.data, data, dataSize);
}

// ---- The unnamed (default) value -------------------------------------------------------------------
// A NULL or empty value name is the key's default value throughout; these two older calls reach it
// through a subkey.

LSTATUS WINAPI RegQueryValueW(HKEY key, LPCWSTR subKey, LPWSTR data, PLONG dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    HKEY target = key;
    if (subKey && *subKey) {
        if (LSTATUS status = RegOpenKeyExW(key, subKey, 0, KEY_QUERY_VALUE, &target)) return status;
    }
    DWORD size = dataSize ? static_cast<DWORD>(*dataSize) : 0;
    LSTATUS status = RegQueryValueExW(target, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(data),
                                      dataSize ? &size : nullptr);
    if (status == ERROR_FILE_NOT_FOUND) {
        // A key without a default value answers an empty string.
        status = data && size < sizeof(WCHAR) ? ERROR_MORE_DATA : ERROR_SUCCESS;
        if (data && status == ERROR_SUCCESS) data[0] = 0;
        size = sizeof(WCHAR);
    }
    if (dataSize && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *dataSize = static_cast<LONG>(size);
    if (target != key) RegCloseKey(target);
    return status;
}

LSTATUS WINAPI RegSetValueW(HKEY key, LPCWSTR subKey, DWORD type, LPCWSTR data, DWORD) {
    if (type != REG_SZ || !data) return ERROR_INVALID_PARAMETER;
    HKEY target = key;
    if (subKey && *subKey) {
        if (LSTATUS status = RegCreateKeyExW(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                             &target, nullptr))
            return status;
    }
    size_t length = 0;
    while (data[length]) ++length;
    const LSTATUS status = RegSetValueExW(target, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                          static_cast<DWORD>((length + 1) * sizeof(WCHAR)));
    if (target != key) RegCloseKey(target);
    return status;
}

namespace platform::detail {

void writeRegistryTexts(const std::vector<RegistryText>& texts, bool replace) {
    MachineLock lock(lockFile(), true);
    Hive hive = loadHive();
    bool changed = false;
    for (const RegistryText& text : texts) {
        changed |= createKeys(hive, text.key);
        Key& key = hive.find(foldCase(text.key))->second;
        if (!replace && findValue(key, text.name)) continue;
        const std::u16string terminated = text.text + u'\0';
        setValue(key, text.name, text.type,
                 std::string(reinterpret_cast<const char*>(terminated.data()), terminated.size() * sizeof(char16_t)));
        changed = true;
    }
    if (changed) saveHive(hive);
}

}  // namespace platform::detail
