// Known folders of the machine's user.
#include <cstring>
#include <system_error>

#include "internal.h"
#include "win/shell.h"

namespace {

std::u16string folderOf(int csidl) {
    std::u16string user = u"C:\\Users\\" + platform::fromUtf8(platform::machineSettings().userName);
    switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return user + u"\\Desktop";
    case CSIDL_PERSONAL: return user + u"\\Documents";
    case CSIDL_MYPICTURES: return user + u"\\Pictures";
    case CSIDL_PROFILE: return user;
    case CSIDL_APPDATA: return user + u"\\AppData\\Roaming";
    case CSIDL_LOCAL_APPDATA: return user + u"\\AppData\\Local";
    case CSIDL_TEMPLATES: return user + u"\\AppData\\Roaming\\Microsoft\\Windows\\Templates";
    case CSIDL_COMMON_APPDATA: return u"C:\\ProgramData";
    case CSIDL_WINDOWS: return platform::detail::windowsFolder();
    case CSIDL_SYSTEM: return platform::detail::systemFolder();
    case CSIDL_PROGRAM_FILES: return u"C:\\Program Files";
    case CSIDL_PROGRAM_FILESX86: return u"C:\\Program Files (x86)";
    default: return {};
    }
}

HRESULT lookUp(int csidlAndFlags, std::u16string& path) {
    int csidl = csidlAndFlags & 0xFF;
    if (platform::detail::takeFault("SHGetFolderPath", std::to_string(csidl))) return E_FAIL;
    path = folderOf(csidl);
    if (path.empty()) return E_INVALIDARG;
    auto host = platform::hostPath(path);
    if (!host) return E_FAIL;
    std::error_code ec;
    if (!std::filesystem::is_directory(*host, ec)) {
        if (!(csidlAndFlags & CSIDL_FLAG_CREATE)) return E_FAIL;
        std::filesystem::create_directories(*host, ec);
        if (ec) return E_FAIL;
    }
    return S_OK;
}

}  // namespace

HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
    if (!path) return E_INVALIDARG;
    path[0] = 0;
    std::u16string found;
    HRESULT hr = lookUp(csidl, found);
    if (SUCCEEDED(hr)) platform::detail::copyOut(found, path, MAX_PATH);
    return hr;
}

HRESULT WINAPI SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, LPSTR path) {
    if (!path) return E_INVALIDARG;
    path[0] = 0;
    std::u16string found;
    HRESULT hr = lookUp(csidl, found);
    if (SUCCEEDED(hr)) {
        std::string narrow = platform::detail::wideToAnsi(found);
        if (narrow.size() >= MAX_PATH) return E_FAIL;
        std::memcpy(path, narrow.c_str(), narrow.size() + 1);
    }
    return hr;
}

BOOL WINAPI SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create) {
    return SUCCEEDED(SHGetFolderPathW(owner, csidl | (create ? CSIDL_FLAG_CREATE : 0), nullptr, 0, path)) ? TRUE
                                                                                                           : FALSE;
}
