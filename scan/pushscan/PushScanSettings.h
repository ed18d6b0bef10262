// "pushscan_settings.dat": what the scan-button program does with a finished job and where it saves
// the pages, kept per user in the settings folder.
#pragma once

#include <cstddef>

#include "win/base.h"

// 528 bytes, little-endian, no header: auto-open flag (int32), open-folder flag (int32), save folder
// (260 UTF-16 units, NUL-terminated).
#define PUSHSCAN_SETTINGS_FILE u"pushscan_settings.dat"
#define PUSHSCAN_SETTINGS_BYTES 528
#define PUSHSCAN_SETTINGS_AUTO_OPEN_OFFSET 0
#define PUSHSCAN_SETTINGS_OPEN_FOLDER_OFFSET 4
#define PUSHSCAN_SETTINGS_FOLDER_OFFSET 8

struct PushScanSettings {
    int bAutoOpen;    // open the image after a single-page job
    int bOpenFolder;  // open the save folder after the job
    WCHAR szSaveFolder[MAX_PATH];
};

// Auto-open off, open-folder on, the default save folder (My Pictures, or My Documents before
// version 6; empty when it cannot be found).
void GetDefaultPushScanSettings(PushScanSettings* pSettings);

// The settings of a file's bytes: false (and *pSettings untouched) when there are fewer than
// PUSHSCAN_SETTINGS_BYTES; bytes beyond them are ignored. A folder without its terminator is cut at
// MAX_PATH - 1 units.
bool ParsePushScanSettings(const BYTE* pData, size_t nSize, PushScanSettings* pSettings);
// The file's bytes of the settings.
void SerializePushScanSettings(const PushScanSettings& settings, BYTE* pData /*[PUSHSCAN_SETTINGS_BYTES]*/);

enum class SettingsFileState {
    Read,      // the file was read whole
    Missing,   // the file cannot be opened (or its path not made)
    Unusable,  // the file is there but short or unreadable
};
// Reads a settings file; anything but Read leaves the defaults in *pSettings.
SettingsFileState ReadPushScanSettingsFile(LPCWSTR pszPath, PushScanSettings* pSettings);
// Creates or truncates the file and writes the three fields; FALSE when any step fails.
BOOL WritePushScanSettingsFile(LPCWSTR pszPath, const PushScanSettings& settings);

// The settings at the start of a scan job: the file's, or the defaults when it cannot be read (the
// file is not written). Returns 1.
int UpdatePushScanSettings(PushScanSettings* pSettings);
