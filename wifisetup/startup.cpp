// Start-up helpers of the wireless set-up utility: languages, "wifi.ini" and the wizard's record.
#include "startup.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "afx/afxres.h"
#include "win/files.h"
#include "win/kernel.h"

RtlLanguageFlagPair RtlLanguageFlags;
std::u16string LanguageDllPath;

namespace {

const char16_t kDefaultTitle[] = u"Torvane Wi-Fi Configuration Tool";

// The languages by index with the user-interface language ids that map to them; the ids of no row
// give index 1 (English). Rows without a code of their own use "enus".
struct LanguageRow {
    const char16_t* code;
    std::vector<LANGID> ids;
};
const LanguageRow kLanguages[23] = {
    {u"zhcn", {2052}},
    {u"enus", {1033, 3081, 10249, 4105, 9225, 6153, 8201, 5129, 13321, 7177, 11273, 2057, 12297}},
    {u"ja", {1041}},
    {u"ru", {1049}},
    {u"enus", {1046, 2070}},
    {u"esmx", {1034, 2058, 3082, 4106, 5130, 6154, 7178, 8202, 9226, 10250, 11274, 12298, 13322, 14346, 15370,
               16394, 17418, 18442, 19466, 20490, 21514}},
    {u"fr", {1036, 2060, 3084, 4108, 5132, 6156}},
    {u"pl", {1045}},
    {u"enus", {}},
    {u"it", {1040, 2064}},
    {u"ar", {1025, 2049, 3073, 4097, 5121, 6145, 7169, 8193, 9217, 10241, 11265, 12289, 13313, 14337, 15361, 16385}},
    {u"tr", {1055}},
    {u"enus", {1030}},
    {u"enus", {1035}},
    {u"enus", {1043, 2067}},
    {u"enus", {1029}},
    {u"no", {1044, 2068}},
    {u"sv", {1053, 2077}},
    {u"enus", {1051}},
    {u"enus", {1038}},
    {u"he", {1037}},
    {u"zhtw", {1028, 3076, 4100, 5124}},
    {u"de", {1031, 2055, 3079, 4103, 5127}},
};
constexpr int kArabicIndex = 10;
constexpr int kHebrewIndex = 20;

// Language names in the order they are compared (not the index order), with their indexes.
const std::pair<const char16_t*, int> kLanguageNames[] = {
    {u"Simplified_Chinese", 0}, {u"English", 1},   {u"Russian", 3},     {u"Italian", 9},
    {u"French", 6},             {u"Arabic", 10},   {u"Spanish", 5},     {u"Norwegian", 16},
    {u"Swedish", 17},           {u"Japanese", 2},  {u"Hebrew", 20},     {u"Traditional_Chinese", 21},
    {u"German", 22},            {u"Turkish", 11},  {u"Polish", 7},
};

void copyBounded(const std::u16string& text, WCHAR* out, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n * sizeof(WCHAR));
    out[n] = 0;
}

std::u16string moduleFileName() {
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length ? std::u16string(path) : std::u16string();
}

std::u16string fromAnsi(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::u16string wide(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// The whole file, or nothing when it cannot be opened.
std::optional<std::string> readWholeFile(const WCHAR* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

WifiIniContent parseFile(const std::string& bytes) {
    return ParseWifiIni(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

WifiIniContent ParseWifiIni(const uint8_t* bytes, size_t length) {
    WifiIniContent content;
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && bytes[end] != '\n') ++end;
        // Text mode drops the CR of a CRLF; a CR ending the last line goes too.
        size_t lineEnd = end;
        if (lineEnd > start && bytes[lineEnd - 1] == '\r') --lineEnd;
        std::string line(reinterpret_cast<const char*>(bytes) + start, lineEnd - start);
        std::vector<std::string> tokens;
        for (size_t i = 0; i < line.size();) {
            if (line[i] == ' ') {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < line.size() && line[j] != ' ') ++j;
            tokens.push_back(line.substr(i, j - i));
            i = j;
        }
        if (tokens.size() == 2) {
            content.pairs.emplace_back(tokens[0], tokens[1]);
        } else if (tokens.size() == 4 && !content.hasTitle) {
            // The title is the line less its first 8 characters (the keyword and its space).
            content.hasTitle = true;
            content.title = line.size() > 8 ? line.substr(8) : std::string();
        }
        start = end + 1;
    }
    return content;
}

IniTable& GetIniTable() {
    static IniTable table;
    return table;
}

void ReadIniTable(IniTable& table, const WCHAR* path) {
    auto bytes = readWholeFile(path);
    if (!bytes) return;
    for (const auto& [key, value] : parseFile(*bytes).pairs) table.emplace_back(fromAnsi(key), fromAnsi(value));
}

std::u16string WifiIniPath() {
    std::u16string module = moduleFileName();
    const size_t cut = module.find_last_of(u"\\/");
    std::u16string path = (cut == std::u16string::npos ? std::u16string() : module.substr(0, cut + 1)) + u"wifi.ini";
    if (path.size() >= MAX_PATH) path.resize(MAX_PATH - 1);
    return path;
}

std::u16string LoadWizardTitle() {
    const std::u16string module = moduleFileName();
    const size_t cut = module.rfind(u'\\');
    if (cut == std::u16string::npos) return kDefaultTitle;
    const std::u16string path = module.substr(0, cut) + u"\\wifi.ini";
    auto bytes = readWholeFile(path.c_str());
    if (!bytes) return kDefaultTitle;
    WifiIniContent content = parseFile(*bytes);
    return content.hasTitle ? fromAnsi(content.title) : kDefaultTitle;
}

void WizardData::SetSsid(const std::u16string& text) {
    ssidChanged = lstrcmpiW(text.c_str(), ssid.c_str());
    ssid = text;
}

WizardData& GetWizardData() {
    static WizardData data;
    return data;
}

int GetUiLanguageIndex() {
    const LANGID id = GetUserDefaultUILanguage();
    for (int index = 0; index < 23; ++index) {
        for (LANGID listed : kLanguages[index].ids) {
            if (listed != id) continue;
            if (index == kArabicIndex) RtlLanguageFlags.arabic = 1;
            if (index == kHebrewIndex) RtlLanguageFlags.hebrew = 1;
            return index;
        }
    }
    return 1;
}

void GetLanguageCode(const WCHAR* languageName, WCHAR* code) {
    WCHAR name[MAX_PATH] = {};
    if (languageName) copyBounded(languageName, name, MAX_PATH);
    int index = -1;
    if (name[0]) {
        for (const auto& [listed, listedIndex] : kLanguageNames) {
            if (std::u16string_view(name) != listed) continue;
            index = listedIndex;
            if (index == kArabicIndex) RtlLanguageFlags.arabic = 1;
            if (index == kHebrewIndex) RtlLanguageFlags.hebrew = 1;
            break;
        }
    }
    if (index < 0) index = GetUiLanguageIndex();
    copyBounded(kLanguages[index].code, code, MAX_PATH);
}

HMODULE LoadLanguageResourceDll(const WCHAR* languageName) {
    WCHAR code[MAX_PATH] = {};
    GetLanguageCode(languageName, code);
    // The code replaces "XXXX" in the library's own name, never in the program's folder.
    const std::u16string module = moduleFileName();
    const size_t cut = module.rfind(u'\\');
    std::u16string fileName = u"VelrinXXXX.dll";
    fileName.replace(fileName.find(u"XXXX"), 4, code);
    std::u16string path = (cut == std::u16string::npos ? std::u16string() : module.substr(0, cut + 1)) + fileName;
    if (path.size() >= MAX_PATH) path.resize(MAX_PATH - 1);
    HMODULE library = LoadLibraryW(path.c_str());
    LanguageDllPath = path;
    if (library) AfxSetResourceHandle(library);
    return library;
}
