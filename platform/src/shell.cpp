// Known folders of the machine's user.
#include <cstring>
#include <system_error>

#include "internal.h"
#include "win/shell.h"

namespace {

std::u16string folderOf(int csidl) {
    const platform::MachineSettings settings = platform::machineSettings();
    const std::u16string user = platform::profileFolder(settings.userName);
    const bool older = settings.profileLayout == platform::ProfileLayout::DocumentsAndSettings;
    switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return user + u"\\Desktop";
    case CSIDL_PERSONAL: return user + (older ? u"\\My Documents" : u"\\Documents");
    case CSIDL_MYPICTURES: return user + (older ? u"\\My Documents\\My Pictures" : u"\\Pictures");
    case CSIDL_PROFILE: return user;
    case CSIDL_APPDATA:
        if (!settings.appDataFolder.empty()) return settings.appDataFolder;
        return user + (older ? u"\\Application Data" : u"\\AppData\\Roaming");
    case CSIDL_LOCAL_APPDATA: return user + (older ? u"\\Local Settings\\Application Data" : u"\\AppData\\Local");
    case CSIDL_TEMPLATES: return user + (older ? u"\\Templates" : u"\\AppData\\Roaming\\Microsoft\\Windows\\Templates");
    case CSIDL_COMMON_APPDATA:
        return older ? u"C:\\Documents and Settings\\All Users\\Application Data" : u"C:\\ProgramData";
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
    // A folder redirected to a network share is answered as it is: the machine cannot reach it.
    if (path.rfind(u"\\\\", 0) == 0) return S_OK;
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
