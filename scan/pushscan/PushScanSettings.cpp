// Reading and writing "pushscan_settings.dat".
#include "PushScanSettings.h"

#include <cstring>
#include <vector>

#include "ProductConfig.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

int32_t ReadInt32(const BYTE* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void WriteInt32(BYTE* p, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace

void GetDefaultPushScanSettings(PushScanSettings* pSettings) {
    pSettings->bAutoOpen = 0;
    pSettings->bOpenFolder = 1;
    if (!GetDefaultSaveFolder(pSettings->szSaveFolder)) pSettings->szSaveFolder[0] = 0;
}

bool ParsePushScanSettings(const BYTE* pData, size_t nSize, PushScanSettings* pSettings) {
    if (!pData || nSize < PUSHSCAN_SETTINGS_BYTES) return false;
    pSettings->bAutoOpen = ReadInt32(pData + PUSHSCAN_SETTINGS_AUTO_OPEN_OFFSET);
    pSettings->bOpenFolder = ReadInt32(pData + PUSHSCAN_SETTINGS_OPEN_FOLDER_OFFSET);
    const BYTE* pFolder = pData + PUSHSCAN_SETTINGS_FOLDER_OFFSET;
    for (int i = 0; i < MAX_PATH; ++i)
        pSettings->szSaveFolder[i] = static_cast<WCHAR>(pFolder[2 * i] | pFolder[2 * i + 1] << 8);
    pSettings->szSaveFolder[MAX_PATH - 1] = 0;
    return true;
}

void SerializePushScanSettings(const PushScanSettings& settings, BYTE* pData) {
    std::memset(pData, 0, PUSHSCAN_SETTINGS_BYTES);
    WriteInt32(pData + PUSHSCAN_SETTINGS_AUTO_OPEN_OFFSET, settings.bAutoOpen);
    WriteInt32(pData + PUSHSCAN_SETTINGS_OPEN_FOLDER_OFFSET, settings.bOpenFolder);
    BYTE* pFolder = pData + PUSHSCAN_SETTINGS_FOLDER_OFFSET;
    bool bEnded = false;
    for (int i = 0; i < MAX_PATH; ++i) {
        const WCHAR c = bEnded || i == MAX_PATH - 1 ? 0 : settings.szSaveFolder[i];
        bEnded = bEnded || c == 0;
        pFolder[2 * i] = static_cast<BYTE>(c & 0xFF);
        pFolder[2 * i + 1] = static_cast<BYTE>(c >> 8);
    }
}

SettingsFileState ReadPushScanSettingsFile(LPCWSTR pszPath, PushScanSettings* pSettings) {
    GetDefaultPushScanSettings(pSettings);
    if (!pszPath || !pszPath[0]) return SettingsFileState::Missing;
    HANDLE hFile = CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return SettingsFileState::Missing;
    BYTE data[PUSHSCAN_SETTINGS_BYTES];
    DWORD nRead = 0;
    const BOOL bRead = ReadFile(hFile, data, sizeof data, &nRead, nullptr);
    CloseHandle(hFile);
    PushScanSettings read;
    if (!bRead || !ParsePushScanSettings(data, nRead, &read)) {
        OutputDebugStringW(u"pushscan_settings.dat is short or unreadable: the defaults are used");
        return SettingsFileState::Unusable;
    }
    *pSettings = read;
    return SettingsFileState::Read;
}

BOOL WritePushScanSettingsFile(LPCWSTR pszPath, const PushScanSettings& settings) {
    if (!pszPath || !pszPath[0]) return FALSE;
    HANDLE hFile = CreateFileW(pszPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return FALSE;
    BYTE data[PUSHSCAN_SETTINGS_BYTES];
    SerializePushScanSettings(settings, data);
    DWORD nWritten = 0;
    const BOOL bWritten = WriteFile(hFile, data, sizeof data, &nWritten, nullptr) && nWritten == sizeof data;
    const BOOL bClosed = CloseHandle(hFile);
    return bWritten && bClosed;
}

int UpdatePushScanSettings(PushScanSettings* pSettings) {
    WCHAR szPath[MAX_PATH];
    if (!GetSettingsFilePath(szPath)) szPath[0] = 0;
    ReadPushScanSettingsFile(szPath, pSettings);
    return 1;
}
