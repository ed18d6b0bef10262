// The product INI, the language of the installation and the settings folder.
#include "ProductConfig.h"

#include <initializer_list>

#include "win/files.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/shell.h"

BOOL g_bIsPlatformC = FALSE;
int g_nLanguageIndex = 0;
int g_nProductIniTail = PUSHSCAN_INI_TAIL;

const WCHAR* const g_szLanguageName[LANGUAGE_COUNT] = {
    u"Simplified_Chinese", u"English", u"Japanese", u"Russian", u"Portuguese", u"Spanish", u"French",
    u"Polish",             u"German",  u"Italian",  u"Arabic",  u"Turkish",    u"Danish",  u"Finnish",
    u"Dutch",              u"Czech",   u"Norwegian", u"Swedish", u"Slovak",    u"Hungarian",
    u"Traditional_Chinese",
};

// Languages without a resource DLL of their own take the Simplified Chinese one.
const WCHAR* const g_szLanguageCode[LANGUAGE_COUNT] = {
    u"zhcn", u"enus", u"ja", u"ru",   u"zhcn", u"esmx", u"fr", u"zhcn", u"de", u"it",  u"ar",
    u"tr",   u"zhcn", u"zhcn", u"zhcn", u"zhcn", u"no",   u"sv", u"zhcn", u"zhcn", u"zhtw",
};

namespace {

const WCHAR kTwainSection[] = u"TWAIN";
const WCHAR kPlatformCPrefix[] = u"vrx3310";

// The "Language" values the installer writes, in the order they are tried.
struct LanguageValue {
    LPCWSTR pszName;
    int nIndex;
};
const LanguageValue kLanguageValues[] = {
    {u"Simplified_Chinese", 0}, {u"Traditional_Chinese", 20}, {u"English", 1}, {u"Russian", 3},
    {u"Italian", 9},            {u"French", 6},               {u"Arabic", 10}, {u"Spanish", 5},
    {u"Norwegian", 16},         {u"Swedish", 17},             {u"Japanese", 2}, {u"German", 8},
    {u"Turkish", 11},
};

struct LcidLanguage {
    LCID lcid;
    int nIndex;
};
const LcidLanguage kLcidLanguages[] = {
    {0x0804, 0}, {0x1004, 0},
    {0x0409, 1}, {0x0809, 1}, {0x0C09, 1}, {0x1009, 1}, {0x1409, 1}, {0x1809, 1}, {0x1C09, 1},
    {0x2009, 1}, {0x2409, 1}, {0x2809, 1}, {0x2C09, 1}, {0x3009, 1}, {0x3409, 1},
    {0x0411, 2},
    {0x0419, 3},
    {0x0416, 4}, {0x0816, 4},
    {0x040A, 5}, {0x080A, 5}, {0x0C0A, 5}, {0x100A, 5}, {0x140A, 5}, {0x180A, 5}, {0x1C0A, 5},
    {0x200A, 5}, {0x240A, 5}, {0x280A, 5}, {0x2C0A, 5}, {0x300A, 5}, {0x340A, 5}, {0x380A, 5},
    {0x3C0A, 5}, {0x400A, 5}, {0x440A, 5}, {0x480A, 5}, {0x4C0A, 5}, {0x500A, 5}, {0x540A, 5},
    {0x040C, 6}, {0x080C, 6}, {0x0C0C, 6}, {0x100C, 6}, {0x140C, 6}, {0x180C, 6},
    {0x0415, 7},
    {0x0407, 8}, {0x0807, 8}, {0x0C07, 8}, {0x1007, 8}, {0x1407, 8},
    {0x0410, 9}, {0x0810, 9},
    {0x0401, 10}, {0x0801, 10}, {0x0C01, 10}, {0x1001, 10}, {0x1401, 10}, {0x1801, 10}, {0x1C01, 10},
    {0x2001, 10}, {0x2401, 10}, {0x2801, 10}, {0x2C01, 10}, {0x3001, 10}, {0x3401, 10}, {0x3801, 10},
    {0x3C01, 10}, {0x4001, 10},
    {0x041F, 11},
    {0x0406, 12},
    {0x040B, 13},
    {0x0413, 14}, {0x0813, 14},
    {0x0405, 15},
    {0x0414, 16}, {0x0814, 16},
    {0x041D, 17}, {0x081D, 17},
    {0x041B, 18},
    {0x040E, 19},
    {0x0404, 20}, {0x0C04, 20}, {0x1404, 20},
};

BOOL IsSameText(LPCWSTR a, LPCWSTR b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Appends pszText when the whole of it fits with the terminator; a path is never cut short.
BOOL AppendText(WCHAR* pszBuffer, size_t cchBuffer, LPCWSTR pszText) {
    size_t nUsed = static_cast<size_t>(lstrlenW(pszBuffer));
    size_t nAdd = static_cast<size_t>(lstrlenW(pszText));
    if (nUsed + nAdd + 1 > cchBuffer) return FALSE;
    for (size_t i = 0; i <= nAdd; ++i) pszBuffer[nUsed + i] = pszText[i];
    return TRUE;
}

// pszBuffer = the pieces joined, or empty (FALSE) when they make MAX_PATH characters or more.
BOOL JoinPath(WCHAR* pszBuffer, std::initializer_list<LPCWSTR> pieces) {
    WCHAR szJoined[MAX_PATH] = {0};
    for (LPCWSTR pszPiece : pieces) {
        if (!AppendText(szJoined, MAX_PATH, pszPiece)) {
            pszBuffer[0] = 0;
            return FALSE;
        }
    }
    lstrcpynW(pszBuffer, szJoined, MAX_PATH);
    return TRUE;
}

// The running program's module name, only when it was read whole.
BOOL ReadModuleName(WCHAR* pszName, DWORD cchName) {
    pszName[0] = 0;
    DWORD nLength = GetModuleFileNameW(nullptr, pszName, cchName);
    if (nLength == 0 || nLength >= cchName) {
        pszName[0] = 0;
        return FALSE;
    }
    return TRUE;
}

int FindLastBackslash(LPCWSTR pszText) {
    int nLast = -1;
    for (int i = 0; pszText[i]; ++i)
        if (pszText[i] == u'\\') nLast = i;
    return nLast;
}

}  // namespace

BOOL GetProductIniPath(WCHAR* pszPath, int nTail) {
    pszPath[0] = 0;
    WCHAR szModule[MAX_PATH];
    if (!ReadModuleName(szModule, MAX_PATH)) return FALSE;
    int nSlash = FindLastBackslash(szModule);
    if (nSlash < 0) return FALSE;
    WCHAR* pszName = szModule + nSlash + 1;
    int nLength = lstrlenW(pszName);
    if (nTail < 0 || nLength <= nTail) return FALSE;  // nothing would be left of the name
    pszName[nLength - nTail] = 0;
    WCHAR szWindows[MAX_PATH];
    UINT nWindows = GetWindowsDirectoryW(szWindows, MAX_PATH);
    if (nWindows == 0 || nWindows >= MAX_PATH) return FALSE;
    return JoinPath(pszPath, {szWindows, u"\\", pszName, u".ini"});
}

void GetProductIniString(LPCWSTR pszSection, LPCWSTR pszKey, WCHAR* pszValue) {
    pszValue[0] = 0;
    WCHAR szIni[MAX_PATH];
    if (!GetProductIniPath(szIni, g_nProductIniTail)) return;
    GetPrivateProfileStringW(pszSection ? pszSection : kTwainSection, pszKey, u"", pszValue, MAX_PATH, szIni);
}

BOOL GetExecutableFolder(WCHAR* pszFolder, DWORD cchModuleName) {
    pszFolder[0] = 0;
    WCHAR szModule[MAX_PATH];
    if (cchModuleName > MAX_PATH) cchModuleName = MAX_PATH;
    if (!ReadModuleName(szModule, cchModuleName)) return FALSE;
    int nSlash = FindLastBackslash(szModule);
    if (nSlash < 0) return FALSE;
    szModule[nSlash + 1] = 0;
    lstrcpynW(pszFolder, szModule, MAX_PATH);
    return TRUE;
}

int GetLanguageIndexFromLcid() {
    LCID lcid = GetSystemDefaultLCID();
    for (const LcidLanguage& entry : kLcidLanguages)
        if (entry.lcid == lcid) return entry.nIndex;
    return 1;
}

int GetLanguageIndex(WCHAR* pszCode) {
    WCHAR szKey[MAX_PATH];
    GetProductIniString(kTwainSection, u"Registry", szKey);
    int nIndex = -1;
    HKEY hKey = nullptr;
    if (szKey[0] && RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        // 256 bytes and room for a terminator the stored value may lack.
        WCHAR szLanguage[128 + 1] = {0};
        DWORD dwType = REG_NONE;
        DWORD cbData = 256;
        LSTATUS status = RegQueryValueExW(hKey, u"Language", nullptr, &dwType, reinterpret_cast<LPBYTE>(szLanguage),
                                          &cbData);
        if (status == ERROR_SUCCESS && (dwType == REG_SZ || dwType == REG_EXPAND_SZ)) {
            szLanguage[cbData / sizeof(WCHAR) < 128 ? cbData / sizeof(WCHAR) : 128] = 0;
            for (const LanguageValue& value : kLanguageValues) {
                if (IsSameText(szLanguage, value.pszName)) {
                    nIndex = value.nIndex;
                    break;
                }
            }
        }
        RegCloseKey(hKey);
    }
    if (nIndex < 0) nIndex = GetLanguageIndexFromLcid();
    g_nLanguageIndex = nIndex;
    lstrcpynW(pszCode, GetLanguageCode(nIndex), MAX_PATH);
    return nIndex;
}

LPCWSTR GetLanguageName(int nIndex) {
    return nIndex >= 0 && nIndex < LANGUAGE_COUNT ? g_szLanguageName[nIndex] : g_szLanguageName[0];
}

LPCWSTR GetLanguageCode(int nIndex) {
    return nIndex >= 0 && nIndex < LANGUAGE_COUNT ? g_szLanguageCode[nIndex] : g_szLanguageCode[0];
}

LPCWSTR GetLanguageNameOfCurrent() { return GetLanguageName(g_nLanguageIndex); }

void GetPushUITitle(WCHAR* pszTitle) { GetProductIniString(GetLanguageNameOfCurrent(), u"Push UI Title", pszTitle); }

BOOL GetProductFilePath(WCHAR* pszPath, LPCWSTR pszName, DWORD cchModuleName) {
    pszPath[0] = 0;
    WCHAR szFolder[MAX_PATH];
    if (!GetExecutableFolder(szFolder, cchModuleName)) return FALSE;
    WCHAR szPrefix[MAX_PATH];
    GetProductIniString(kTwainSection, u"File Prefix", szPrefix);
    return JoinPath(pszPath, {szFolder, szPrefix, pszName});
}

BOOL GetResourceDllPath(WCHAR* pszPath) {
    pszPath[0] = 0;
    WCHAR szCode[MAX_PATH];
    GetLanguageIndex(szCode);
    // The code goes into the DLL's own name only, never into the folder or prefix before it.
    WCHAR szName[MAX_PATH] = {0};
    if (!JoinPath(szName, {u"kelr", szCode, u".dll"})) return FALSE;
    WCHAR szPrefix[MAX_PATH];
    GetProductIniString(kTwainSection, u"File Prefix", szPrefix);
    if (IsSameText(szPrefix, kPlatformCPrefix)) {
        g_bIsPlatformC = TRUE;
        OutputDebugStringW(u"g_bIsPlatformC = TRUE");
    }
    return GetProductFilePath(pszPath, szName);
}

BOOL GetHelpFilePath(WCHAR* pszPath) {
    pszPath[0] = 0;
    WCHAR szCode[MAX_PATH];
    GetLanguageIndex(szCode);
    WCHAR szName[MAX_PATH] = {0};
    if (!JoinPath(szName, {u"kh", szCode, u".chm"})) return FALSE;
    return GetProductFilePath(pszPath, szName);
}

BOOL GetSettingsFolder(WCHAR* pszFolder) {
    pszFolder[0] = 0;
    WCHAR szAppData[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, szAppData))) return FALSE;
    WCHAR szSettingFolder[MAX_PATH], szSettingPath[MAX_PATH];
    GetProductIniString(kTwainSection, u"Setting Folder", szSettingFolder);
    GetProductIniString(kTwainSection, u"Setting Path", szSettingPath);
    // The INI values carry their own backslashes; the texts are joined as they stand.
    WCHAR szPath[MAX_PATH];
    if (!JoinPath(szPath, {szAppData, szSettingFolder})) return FALSE;
    CreateDirectoryW(szPath, nullptr);  // an existing folder is no error
    WCHAR szSettings[MAX_PATH];
    if (!JoinPath(szSettings, {szAppData, szSettingPath})) return FALSE;
    CreateDirectoryW(szSettings, nullptr);
    // Files go inside the folder, also when "Setting Path" lacks its closing backslash.
    int nLength = lstrlenW(szSettings);
    if (nLength > 0 && szSettings[nLength - 1] != u'\\' && !AppendText(szSettings, MAX_PATH, u"\\")) return FALSE;
    lstrcpynW(pszFolder, szSettings, MAX_PATH);
    return TRUE;
}

BOOL GetSettingsFilePath(WCHAR* pszPath) {
    pszPath[0] = 0;
    WCHAR szFolder[MAX_PATH];
    if (!GetSettingsFolder(szFolder)) return FALSE;
    if (!JoinPath(pszPath, {szFolder, u"pushscan_settings.dat"})) return FALSE;
    OutputDebugStringW(pszPath);
    return TRUE;
}

BOOL GetDefaultSaveFolder(WCHAR* pszPath) {
    pszPath[0] = 0;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    int csidl = CSIDL_MYPICTURES;
    if (GetVersionExW(&version) && version.dwMajorVersion < 6) csidl = CSIDL_PERSONAL;
    return SHGetSpecialFolderPathW(nullptr, pszPath, csidl, TRUE);
}
