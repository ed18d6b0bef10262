// The users' profiles: their folders in the machine's layout and the profile list that names them.
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "internal.h"
#include "win/registry.h"

namespace fs = std::filesystem;

namespace {

// The machine's own domain part of its users' SIDs; the first user is 1001, as Windows numbers them.
constexpr char16_t kUserSidPrefix[] = u"S-1-5-21-3457937927-2839227994-823803824-";
constexpr DWORD kFirstUserId = 1001;

bool olderLayout(const platform::MachineSettings& settings) {
    return settings.profileLayout == platform::ProfileLayout::DocumentsAndSettings;
}

const char* profilesFolderName(const platform::MachineSettings& settings) {
    return olderLayout(settings) ? "Documents and Settings" : "Users";
}

std::u16string profileListKey() { return std::u16string(u"HKEY_LOCAL_MACHINE\\") + platform::kProfileListKey; }

// "ProfileImagePath" as Windows writes it for a user of the layout.
std::u16string imagePathOf(const platform::MachineSettings& settings, std::string_view userName) {
    const std::u16string name = platform::fromUtf8(userName);
    return olderLayout(settings) ? u"%SystemDrive%\\Documents and Settings\\" + name : u"C:\\Users\\" + name;
}

bool plainName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    return true;
}

std::u16string readText(HKEY key, const char16_t* name) {
    WCHAR text[MAX_PATH] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) return {};
    return text;
}

}  // namespace

namespace platform::detail {

void layOutProfile(const fs::path& root, const MachineSettings& settings, const std::string& userName) {
    std::error_code ec;
    const fs::path profiles = root / "drives" / "c" / profilesFolderName(settings);
    const fs::path user = profiles / userName;
    if (olderLayout(settings)) {
        for (const fs::path& folder : {user / "Desktop", user / "My Documents" / "My Pictures", user / "Templates",
                                       user / "Application Data", user / "Local Settings" / "Application Data" / "Temp",
                                       profiles / "All Users" / "Application Data"})
            fs::create_directories(folder, ec);
        return;
    }
    for (const fs::path& folder : {user / "Desktop", user / "Documents", user / "Pictures",
                                   user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Templates",
                                   user / "AppData" / "Local" / "Temp"})
        fs::create_directories(folder, ec);
    // The junction older programs reach the roaming folder by.
    const fs::path junction = user / "Application Data";
    if (!fs::exists(fs::symlink_status(junction, ec)))
        fs::create_directory_symlink(user / "AppData" / "Roaming", junction, ec);
}

void writeProfileList(const MachineSettings& settings, bool replace) {
    const std::u16string list = profileListKey();
    const bool older = olderLayout(settings);
    const std::u16string profiles = older ? u"%SystemDrive%\\Documents and Settings" : u"%SystemDrive%\\Users";
    const std::u16string services = older ? profiles + u"\\" : u"%systemroot%\\ServiceProfiles\\";
    writeRegistryTexts(
        {
            {list, u"ProfilesDirectory", REG_EXPAND_SZ, profiles},
            {list + u"\\S-1-5-18", u"ProfileImagePath", REG_EXPAND_SZ,
             u"%systemroot%\\system32\\config\\systemprofile"},
            {list + u"\\S-1-5-19", u"ProfileImagePath", REG_EXPAND_SZ, services + u"LocalService"},
            {list + u"\\S-1-5-20", u"ProfileImagePath", REG_EXPAND_SZ, services + u"NetworkService"},
            {list + u"\\" + kUserSidPrefix + journalNumber(kFirstUserId), u"ProfileImagePath", REG_EXPAND_SZ,
             imagePathOf(settings, settings.userName)},
        },
        replace);
}

}  // namespace platform::detail

namespace platform {

std::u16string profileFolder(std::string_view userName) {
    const MachineSettings settings = machineSettings();
    return u"C:\\" + fromUtf8(profilesFolderName(settings)) + u"\\" + fromUtf8(userName);
}

std::string addUserProfile(std::string_view userName) {
    if (!plainName(userName)) throw std::invalid_argument("not a user name: " + std::string(userName));
    const MachineSettings settings = machineSettings();
    detail::layOutProfile(machineRoot(), settings, std::string(userName));
    // The user's entry when there is one, else the next free id of the machine's users.
    const std::u16string image = imagePathOf(settings, userName);
    DWORD next = kFirstUserId;
    HKEY list = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileListKey, 0, KEY_READ, &list) == ERROR_SUCCESS) {
        WCHAR name[MAX_PATH];
        for (DWORD index = 0; RegEnumKeyW(list, index, name, MAX_PATH) == ERROR_SUCCESS; ++index) {
            const std::u16string_view sid(name);
            if (sid.rfind(kUserSidPrefix, 0) != 0) continue;
            HKEY profile = nullptr;
            if (RegOpenKeyExW(list, name, 0, KEY_READ, &profile) != ERROR_SUCCESS) continue;
            const bool same = detail::foldCase(readText(profile, u"ProfileImagePath")) == detail::foldCase(image);
            RegCloseKey(profile);
            if (same) {
                RegCloseKey(list);
                return toUtf8(sid);
            }
            const std::string number = toUtf8(sid.substr(std::size(kUserSidPrefix) - 1));
            const DWORD id = static_cast<DWORD>(std::strtoul(number.c_str(), nullptr, 10));
            if (id >= next) next = id + 1;
        }
        RegCloseKey(list);
    }
    const std::u16string sid = kUserSidPrefix + detail::journalNumber(next);
    detail::writeRegistryTexts({{profileListKey() + u"\\" + sid, u"ProfileImagePath", REG_EXPAND_SZ, image}}, true);
    return toUtf8(sid);
}

}  // namespace platform
