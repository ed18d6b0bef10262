// The wireless set-up utility's start-up helpers: the language of its texts and the loading of its
// language library, "wifi.ini" (the supported printers' hardware-id prefixes and the title line) and
// the wizard's record of the chosen network and the outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "win/base.h"

// Set to 1 when the chosen language is Hebrew or Arabic; either one makes the wizard right-to-left.
struct RtlLanguageFlagPair {
    int hebrew = 0;
    int arabic = 0;
};
extern RtlLanguageFlagPair RtlLanguageFlags;

// The full path of the language library that start-up tried to load, kept when the load failed.
extern std::u16string LanguageDllPath;

// The two-token lines of "wifi.ini" in file order: (hardware-id prefix, value).
using IniTable = std::vector<std::pair<std::u16string, std::u16string>>;
IniTable& GetIniTable();
// Appends the pairs of the file at `path` (nothing when it cannot be read).
void ReadIniTable(IniTable& table, const WCHAR* path);

// What "wifi.ini" holds, as 8-bit text: the two-token lines and the first four-token line less its
// first 8 characters (empty when the line is shorter).
struct WifiIniContent {
    std::vector<std::pair<std::string, std::string>> pairs;
    bool hasTitle = false;
    std::string title;
};
// Reads the file's bytes: lines end at LF (a CR just before it, or ending the last line, is dropped),
// tokens are runs of characters other than the space (0x20).
WifiIniContent ParseWifiIni(const uint8_t* bytes, size_t length);

// Where start-up reads "wifi.ini": the program's module path cut after its last "\" or "/", then
// "wifi.ini".
std::u16string WifiIniPath();
// The title line of "wifi.ini" beside the program (found through the last "\" of its module path),
// else "Torvane Wi-Fi Configuration Tool".
std::u16string LoadWizardTitle();

// The chosen network and the outcome of the last set-up, shared by the wizard's pages and the set-up
// threads.
struct WizardData {
    std::u16string ssid;
    int ssidChanged = 0;   // the case-insensitive comparison of the last SetSsid's new and old names
    int securityMode = 0;  // 0 none, 1 WEP, 2 WPA/WPA2, 3 WPA family from the network list
    std::u16string password;
    // 0 accepted and reachable, 1 accepted but not reachable, 2 failed (also before any set-up),
    // 3 no printer on a USB port.
    int result = 2;

    void SetSsid(const std::u16string& text);
    std::u16string GetSsid() const { return ssid; }
    void SetPassword(const std::u16string& text) { password = text; }
    std::u16string GetPassword() const { return password; }
};
WizardData& GetWizardData();

// The language index (0..22) of the user's interface language; sets the Arabic or Hebrew flag for
// their ids. Ids in no row give 1 (English).
int GetUiLanguageIndex();
// Fills `code` (260 characters) with the language code of a language name ("Hebrew" gives "he");
// an absent, empty or unknown name takes the user's interface language. May set RtlLanguageFlags.
void GetLanguageCode(const WCHAR* languageName, WCHAR* code);
// Loads "Velrin<code>.dll" from the program's folder, records LanguageDllPath and, when it loaded,
// makes it the framework's resource handle. Returns the library or NULL.
HMODULE LoadLanguageResourceDll(const WCHAR* languageName);
