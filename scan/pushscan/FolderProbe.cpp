#include "FolderProbe.h"

#include <cstdio>

#include "win/files.h"
#include "win/kernel.h"

namespace {

constexpr int kProbeNames = 100;

}  // namespace

bool AppendAscii(WCHAR* pszPath, const char* pszText) {
    size_t n = 0;
    while (pszPath[n]) ++n;
    const size_t nEnd = n;
    for (; *pszText; ++pszText, ++n) {
        if (n + 1 >= MAX_PATH) {
            pszPath[nEnd] = 0;
            return false;
        }
        pszPath[n] = static_cast<WCHAR>(*pszText);
    }
    pszPath[n] = 0;
    return true;
}

bool ProbeFolder(LPCWSTR pszFolder, const SYSTEMTIME& st, DWORD* pdwError) {
    *pdwError = 0;
    for (int n = 0; n < kProbeNames; ++n) {
        char szName[64];
        if (n == 0)
            std::snprintf(szName, sizeof szName, "%02d%02d%02d%02d%02d%02dtemp.dat", st.wYear % 100, st.wMonth, st.wDay,
                          st.wHour, st.wMinute, st.wSecond);
        else
            std::snprintf(szName, sizeof szName, "%02d%02d%02d%02d%02d%02dtemp%d.dat", st.wYear % 100, st.wMonth,
                          st.wDay, st.wHour, st.wMinute, st.wSecond, n);
        WCHAR szProbe[MAX_PATH];
        lstrcpynW(szProbe, pszFolder, MAX_PATH);
        if (!AppendAscii(szProbe, szName)) {
            *pdwError = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        HANDLE hFile = CreateFileW(szProbe, GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            const DWORD dwError = GetLastError();
            if (dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS) continue;
            *pdwError = dwError;
            return false;
        }
        CloseHandle(hFile);
        DeleteFileW(szProbe);
        return true;
    }
    return false;
}
