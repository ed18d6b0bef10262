// The users' profiles of the machine in both layouts: the profile list with the service accounts, the
// known folders that follow the layout, more profiles from tests, and a redirected application-data
// folder; and the snapshot's attribute lines and the journal of file and registry removals.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/registry.h"
#include "win/shell.h"

namespace {

namespace fs = std::filesystem;
using platform::ProfileLayout;
using platform::testing::Machine;

platform::MachineSettings layout(ProfileLayout profiles) {
    platform::MachineSettings settings;
    settings.profileLayout = profiles;
    return settings;
}

// Each profile of the list as "<SID> <ProfileImagePath>", in the order RegEnumKeyW gives them.
std::vector<std::string> profileList() {
    std::vector<std::string> profiles;
    HKEY list = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0, KEY_READ,
                      &list) != ERROR_SUCCESS)
        return profiles;
    WCHAR name[MAX_PATH];
    for (DWORD index = 0; RegEnumKeyW(list, index, name, MAX_PATH) == ERROR_SUCCESS; ++index) {
        HKEY profile = nullptr;
        WCHAR image[MAX_PATH] = {};
        DWORD size = sizeof image, type = 0;
        if (RegOpenKeyExW(list, name, 0, KEY_READ, &profile) == ERROR_SUCCESS) {
            RegQueryValueExW(profile, u"ProfileImagePath", nullptr, &type, reinterpret_cast<BYTE*>(image), &size);
            RegCloseKey(profile);
        }
        EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
        profiles.push_back(platform::toUtf8(name) + " " + platform::toUtf8(image));
    }
    RegCloseKey(list);
    return profiles;
}

std::u16string folder(int csidl) {
    WCHAR path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path))) return u"failed";
    return path;
}

const std::string kUser = "S-1-5-21-3457937927-2839227994-823803824-";

TEST(Profiles, TheListHoldsTheServiceAccountsAndTheUserInEitherLayout) {
    struct Case {
        ProfileLayout layout;
        std::vector<std::string> list;
        std::u16string profile, appData, localAppData, documents, commonAppData;
    };
    const Case cases[] = {
        {ProfileLayout::Users,
         {"S-1-5-18 %systemroot%\\system32\\config\\systemprofile", "S-1-5-19 %systemroot%\\ServiceProfiles\\LocalService",
          "S-1-5-20 %systemroot%\\ServiceProfiles\\NetworkService", kUser + "1001 C:\\Users\\User",
          kUser + "1002 C:\\Users\\bob"},
         u"C:\\Users\\User", u"C:\\Users\\User\\AppData\\Roaming", u"C:\\Users\\User\\AppData\\Local",
         u"C:\\Users\\User\\Documents", u"C:\\ProgramData"},
        {ProfileLayout::DocumentsAndSettings,
         {"S-1-5-18 %systemroot%\\system32\\config\\systemprofile",
          "S-1-5-19 %SystemDrive%\\Documents and Settings\\LocalService",
          "S-1-5-20 %SystemDrive%\\Documents and Settings\\NetworkService",
          kUser + "1001 %SystemDrive%\\Documents and Settings\\User",
          kUser + "1002 %SystemDrive%\\Documents and Settings\\bob"},
         u"C:\\Documents and Settings\\User", u"C:\\Documents and Settings\\User\\Application Data",
         u"C:\\Documents and Settings\\User\\Local Settings\\Application Data",
         u"C:\\Documents and Settings\\User\\My Documents", u"C:\\Documents and Settings\\All Users\\Application Data"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(static_cast<int>(test.layout));
        Machine machine(layout(test.layout));
        EXPECT_EQ(platform::addUserProfile("bob"), kUser + "1002");
        EXPECT_EQ(platform::addUserProfile("bob"), kUser + "1002");  // one entry a user
        EXPECT_EQ(platform::addUserProfile("User"), kUser + "1001");
        EXPECT_EQ(profileList(), test.list);
        EXPECT_EQ(folder(CSIDL_PROFILE), test.profile);
        EXPECT_EQ(folder(CSIDL_APPDATA), test.appData);
        EXPECT_EQ(folder(CSIDL_LOCAL_APPDATA), test.localAppData);
        EXPECT_EQ(folder(CSIDL_PERSONAL), test.documents);
        EXPECT_EQ(folder(CSIDL_COMMON_APPDATA), test.commonAppData);
        EXPECT_EQ(platform::profileFolder("bob"), test.profile.substr(0, test.profile.rfind(u'\\')) + u"\\bob");
        const std::u16string bobAppData = platform::profileFolder("bob") + test.appData.substr(test.profile.size());
        EXPECT_EQ(GetFileAttributesW(bobAppData.c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
        // The newer layout's "Application Data" junction leads to the roaming folder.
        const DWORD junction = GetFileAttributesW((platform::profileFolder("bob") + u"\\Application Data").c_str());
        EXPECT_EQ(junction, test.layout == ProfileLayout::Users
                                ? DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT}
                                : DWORD{FILE_ATTRIBUTE_DIRECTORY});
        // The layout is kept in machine.ini, so another process of the machine finds it.
        platform::useMachineRoot(machine.root());
        EXPECT_EQ(platform::machineSettings().profileLayout, test.layout);
    }
}

TEST(Profiles, ABadUserNameIsRefusedAndAChangedLayoutRewritesTheList) {
    Machine machine;
    for (const char* name : {"", ".", "..", "a\\b", "a/b", "bob.", "c:", "x*"})
        EXPECT_THROW(platform::addUserProfile(name), std::invalid_argument) << name;
    platform::MachineSettings settings = platform::machineSettings();
    settings.profileLayout = ProfileLayout::DocumentsAndSettings;
    platform::setMachineSettings(settings);
    EXPECT_EQ(profileList()[3], kUser + "1001 %SystemDrive%\\Documents and Settings\\User");
}

TEST(Profiles, ARedirectedApplicationDataFolderIsAnsweredAsItIs) {
    platform::MachineSettings settings;
    settings.appDataFolder = u"\\\\server\\share\\User";
    Machine machine(settings);
    EXPECT_EQ(folder(CSIDL_APPDATA), u"\\\\server\\share\\User");
    EXPECT_EQ(folder(CSIDL_LOCAL_APPDATA), u"C:\\Users\\User\\AppData\\Local");
    platform::useMachineRoot(machine.root());
    EXPECT_EQ(platform::machineSettings().appDataFolder, u"\\\\server\\share\\User");
}

TEST(Snapshot, ShowsAttributesSoDiffsShowTheirChanges) {
    Machine machine;
    machine.writeFile(u"C:\\Data\\a.txt", "a");
    const auto before = platform::testing::snapshot();
    ASSERT_TRUE(SetFileAttributesW(u"C:\\Data\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"C:\\Data", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_EQ(platform::testing::diff(before, platform::testing::snapshot()),
              (std::vector<std::string>{"+ attributes C:\\Data readonly system",
                                        "+ attributes C:\\Data\\a.txt readonly hidden"}));
    const auto marked = platform::testing::snapshot();
    ASSERT_TRUE(SetFileAttributesW(u"C:\\Data\\a.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(platform::testing::diff(marked, platform::testing::snapshot()),
              (std::vector<std::string>{"- attributes C:\\Data\\a.txt readonly hidden"}));
}

TEST(CallJournal, FileAndRegistryRemovalsAreJournalledInOrderWhileTheirSwitchIsOn) {
    Machine machine;
    machine.writeFile(u"C:\\Data\\a.txt", "a");
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zandrel\\M2100", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    platform::setCallJournal(true);
    DeleteFileW(u"C:\\Data\\b.txt");  // not journalled while the file switch is off
    platform::setFileCallJournal(true);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\Data\\b.txt"));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});  // the journal keeps the call's error
    EXPECT_TRUE(SetFileAttributesW(u"C:\\Data\\a.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileW(u"C:\\Data\\a.txt"));
    EXPECT_TRUE(CreateDirectoryW(u"C:\\Data\\New", nullptr));
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\Data\\New"));
    EXPECT_EQ(RegDeleteValueW(key, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zandrel"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\Zandrel"), ERROR_BAD_PATHNAME);
    RegCloseKey(key);
    std::vector<std::string> calls;
    for (const platform::CallRecord& record : platform::callJournal())
        calls.push_back(record.call + " " + platform::toUtf8(record.arguments) + " " + platform::toUtf8(record.result) +
                        " " + std::to_string(record.error));
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "DeleteFileW C:\\Data\\b.txt FALSE 2",
                         "SetFileAttributesW C:\\Data\\a.txt, 1 TRUE 0",
                         "DeleteFileW C:\\Data\\a.txt FALSE 5",
                         "CreateDirectoryW C:\\Data\\New TRUE 0",
                         "RemoveDirectoryW C:\\Data\\New TRUE 0",
                         "RegDeleteValueW HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel\\M2100, Missing 2 2",
                         "RegDeleteKeyW HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel 5 5",
                         "RegDeleteKeyW HKEY_LOCAL_MACHINE\\\\SOFTWARE\\Zandrel 161 161",
                     }));
}

}  // namespace
