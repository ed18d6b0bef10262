// The folder side of the removal on one fixture machine: the product's folders below a base and in every
// profile (in both profile layouts), with sentinels beside each target (a file beside the product folder,
// a sibling product folder, another profile's own folder, the folder where a service account's target
// would lie, an empty application-data folder), a read-only file and folder, a junction to another drive
// and a link out of the machine root. The diff lists exactly the targets and the journal the calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FolderRemoval.h"
#include "RemovalLog.h"
#include "SetupConfig.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/registry.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::Machine;
using uninstall::SetupConfig;

const std::u16string kProduct = u"C:\\Program Files\\Zandrel\\M2100";

// The journalled calls as "<call> <arguments> <result>".
std::vector<std::string> calls() {
    std::vector<std::string> out;
    for (const platform::CallRecord& record : platform::callJournal())
        out.push_back(record.call + " " + platform::toUtf8(record.arguments) + " " + platform::toUtf8(record.result));
    return out;
}

std::string configXml(const std::string& dirs) {
    return "<SERTUP_INFO><CreateFolder><Folder>" + dirs + "</Folder></CreateFolder></SERTUP_INFO>";
}

// The lines of the diff, each "- ..." or "+ ...", without file sizes and checksums.
std::vector<std::string> changes(const platform::testing::Snapshot& before) {
    std::vector<std::string> lines;
    for (std::string line : platform::testing::diff(before, platform::testing::snapshot())) {
        if (const size_t size = line.find(" size="); size != std::string::npos) line.resize(size);
        lines.push_back(line);
    }
    return lines;
}

class FolderRemoval : public ::testing::Test {
protected:
    void SetUp() override {
        uninstall::clearRemovalLog();
        machine.writeFile(kProduct + u"\\Orlith.exe", "exe");
        machine.writeFile(kProduct + u"\\Lang\\ZDkelrenus.dll", "dll");
        machine.writeFile(kProduct + u"\\Lang\\ReadOnly.dat", "ro");
        machine.writeFile(kProduct + u"\\Locked\\Inside.dat", "in");
        machine.writeFile(u"C:\\Program Files\\Zandrel\\Other\\a.txt", "other");
        machine.writeFile(u"C:\\Program Files\\Zandrel.txt", "beside");
        fs::create_directories(machine.root() / "drives" / "d");
        machine.writeFile(u"D:\\keep\\keep.txt", "keep");
        ASSERT_TRUE(SetFileAttributesW((kProduct + u"\\Lang\\ReadOnly.dat").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(SetFileAttributesW((kProduct + u"\\Locked").c_str(), FILE_ATTRIBUTE_READONLY));
        outside = fs::path(machine.root().string() + "-outside");
        fs::create_directories(outside);
        {
            std::ofstream(outside / "out.txt") << "outside";
        }
        fs::create_directory_symlink(machine.host(u"D:\\keep"), machine.host(kProduct + u"\\keep"));
        fs::create_directory_symlink(outside, machine.host(kProduct + u"\\out"));
        fs::create_symlink(machine.host(u"D:\\keep\\keep.txt"), machine.host(kProduct + u"\\keep.lnk"));
        platform::setFileCallJournal(true);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(outside, ec);
    }
    Machine machine;
    fs::path outside;
};

TEST_F(FolderRemoval, TreeDeleteTakesReadOnlyEntriesAndLinksButNoLinkTarget) {
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct), 0);
    const std::string p = "C:\\Program Files\\Zandrel\\M2100";
    EXPECT_EQ(changes(before),
              (std::vector<std::string>{"- attributes " + p + "\\Lang\\ReadOnly.dat readonly",
                                        "- attributes " + p + "\\Locked readonly",
                                        "- file " + p + "\\Lang\\ReadOnly.dat", "- file " + p + "\\Lang\\ZDkelrenus.dll",
                                        "- file " + p + "\\Locked\\Inside.dat", "- file " + p + "\\Orlith.exe",
                                        "- folder " + p, "- folder " + p + "\\Lang", "- folder " + p + "\\Locked",
                                        "- link " + p + "\\keep -> " + machine.host(u"D:\\keep").string(),
                                        "- link " + p + "\\keep.lnk -> " + machine.host(u"D:\\keep\\keep.txt").string(),
                                        "- link " + p + "\\out -> " + outside.string()}));
    // Depth first in the search's order: a read-only file goes on its second attempt, a folder is set
    // to normal before it is walked, links go as links.
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "RemoveDirectoryW " + p + "\\keep TRUE",
                           "DeleteFileW " + p + "\\keep.lnk TRUE",
                           "SetFileAttributesW " + p + "\\Lang, 80 TRUE",
                           "DeleteFileW " + p + "\\Lang\\ReadOnly.dat FALSE",
                           "SetFileAttributesW " + p + "\\Lang\\ReadOnly.dat, 80 TRUE",
                           "DeleteFileW " + p + "\\Lang\\ReadOnly.dat TRUE",
                           "DeleteFileW " + p + "\\Lang\\ZDkelrenus.dll TRUE",
                           "RemoveDirectoryW " + p + "\\Lang TRUE",
                           "SetFileAttributesW " + p + "\\Locked, 80 TRUE",
                           "DeleteFileW " + p + "\\Locked\\Inside.dat TRUE",
                           "RemoveDirectoryW " + p + "\\Locked TRUE",
                           "DeleteFileW " + p + "\\Orlith.exe TRUE",
                           "RemoveDirectoryW " + p + "\\out TRUE",
                           "RemoveDirectoryW " + p + " TRUE",
                       }));
    EXPECT_TRUE(fs::exists(outside / "out.txt"));
    EXPECT_TRUE(uninstall::removalLog().empty());
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct), 2);
}

struct Held {
    const char* name;
    const char* fault;        // the switch that holds the entry
    std::u16string entry;     // below the product folder
    std::vector<std::u16string> logged;  // below the product folder ("" the folder itself)
    std::vector<std::string> stays;      // the product's lines left in the snapshot
};

class HeldEntries : public FolderRemoval, public ::testing::WithParamInterface<Held> {};

// The entry that cannot be deleted stays with the folders that hold it; the failures are logged and
// everything else goes.
TEST_P(HeldEntries, StayWithTheFoldersAboveThemAndAreLogged) {
    const Held& held = GetParam();
    platform::setFault(held.fault, platform::Fault().failing(-1).onlyFor(platform::toUtf8(kProduct + held.entry)));
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct), 0);
    std::vector<std::string> left;
    const std::string prefix = platform::toUtf8(kProduct);
    for (const std::string& line : platform::testing::snapshot().lines) {
        const size_t space = line.find(' ');
        const std::string kind = line.substr(0, space);
        if ((kind == "file" || kind == "folder" || kind == "link" || kind == "attributes") &&
            line.compare(space + 1, prefix.size(), prefix) == 0)
            left.push_back(line.substr(0, line.find(" size=")));
    }
    EXPECT_EQ(left, held.stays);
    std::vector<std::u16string> targets;
    for (const auto& entry : uninstall::removalLog()) targets.push_back(entry.target);
    std::vector<std::u16string> expected;
    for (const std::u16string& below : held.logged) expected.push_back(kProduct + below);
    EXPECT_EQ(targets, expected);
    for (const char16_t* sentinel : {u"D:\\keep\\keep.txt", u"C:\\Program Files\\Zandrel\\Other\\a.txt",
                                     u"C:\\Program Files\\Zandrel.txt"})
        EXPECT_TRUE(machine.readFile(sentinel).has_value()) << platform::toUtf8(sentinel);
    EXPECT_TRUE(fs::exists(outside / "out.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    FolderRemoval, HeldEntries,
    ::testing::Values(
        Held{"File", "DeleteFile", u"\\Lang\\ZDkelrenus.dll", {u"\\Lang\\ZDkelrenus.dll", u"\\Lang", u""},
             {"file C:\\Program Files\\Zandrel\\M2100\\Lang\\ZDkelrenus.dll",
              "folder C:\\Program Files\\Zandrel\\M2100", "folder C:\\Program Files\\Zandrel\\M2100\\Lang"}},
        Held{"Folder", "RemoveDirectoryW", u"\\Lang", {u"\\Lang", u""},
             {"folder C:\\Program Files\\Zandrel\\M2100", "folder C:\\Program Files\\Zandrel\\M2100\\Lang"}}),
    [](const ::testing::TestParamInfo<Held>& info) { return std::string(info.param.name); });

TEST_F(FolderRemoval, TreeDeleteRefusesProtectedAndMalformedPaths) {
    const auto before = platform::testing::snapshot();
    for (const char16_t* path : {u"C:\\Program Files", u"C:\\Windows", u"C:\\", u"C:\\Program Files\\Zandrel\\M2100\\..\\..",
                                 u"C:\\Users\\User\\AppData\\Roaming"}) {
        EXPECT_EQ(uninstall::DeleteFolderTree(path), 0) << platform::toUtf8(path);
    }
    EXPECT_EQ(uninstall::DeleteFolderTree(u"C:\\Program Files\\Zandrel\\M2100\\out\\out.txt"), 2);
    // A junction on the way could lead anywhere: refused; the junction named itself is not walked.
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct + u"\\keep\\keep.txt"), 0);
    EXPECT_TRUE(machine.readFile(u"D:\\keep\\keep.txt").has_value());
    EXPECT_EQ(uninstall::RemoveEmptyFolders(kProduct + u"\\keep\\empty", kProduct), 0);
    fs::create_directories(machine.host(u"D:\\keep\\empty"));
    EXPECT_EQ(uninstall::RemoveEmptyFolders(kProduct + u"\\keep\\empty", kProduct), 0);
    EXPECT_TRUE(fs::is_directory(machine.host(u"D:\\keep\\empty")));
    fs::remove(machine.host(u"D:\\keep\\empty"));
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct + u"\\keep"), 0);
    EXPECT_TRUE(machine.readFile(u"D:\\keep\\keep.txt").has_value());
    EXPECT_EQ(GetFileAttributesW((kProduct + u"\\keep").c_str()), INVALID_FILE_ATTRIBUTES);
    fs::create_directory_symlink(machine.host(u"D:\\keep"), machine.host(kProduct + u"\\keep"));
    EXPECT_TRUE(changes(before).empty());
    EXPECT_TRUE(fs::exists(outside / "out.txt"));
}

TEST_F(FolderRemoval, EmptiedFoldersGoUpToTheBaseOnly) {
    const std::u16string base = u"C:\\Users\\User\\AppData\\Roaming";
    const std::u16string deep = base + u"\\Zandrel\\a\\b\\c\\d";
    ASSERT_TRUE(fs::create_directories(machine.host(deep)));
    machine.writeFile(base + u"\\Zandrel\\a\\b\\c\\other.txt", "x");
    auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::RemoveEmptyFolders(deep, base), 0);
    EXPECT_EQ(changes(before), (std::vector<std::string>{"- folder C:\\Users\\User\\AppData\\Roaming\\Zandrel\\a\\b\\c\\d"}));
    // Every folder above is looked at; only the empty one is removed.
    EXPECT_EQ(calls(), (std::vector<std::string>{"RemoveDirectoryW " + platform::toUtf8(deep) + " TRUE"}));

    // With every folder empty the walk stops at the base, which stays however empty it is.
    ASSERT_TRUE(DeleteFileW((base + u"\\Zandrel\\a\\b\\c\\other.txt").c_str()));
    platform::clearCallJournal();
    before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::RemoveEmptyFolders(base + u"\\Zandrel\\a\\b\\c\\", base + u"\\"), 0);
    EXPECT_EQ(changes(before).size(), 4u);
    const std::vector<std::string> climbed = calls();
    ASSERT_EQ(climbed.size(), 4u);
    EXPECT_EQ(climbed.back(), "RemoveDirectoryW C:\\Users\\User\\AppData\\Roaming\\Zandrel TRUE");
    EXPECT_TRUE(fs::is_directory(machine.host(base)));

    struct Case {
        const char16_t* path;
        const char16_t* base;
        int result;
    };
    const Case cases[] = {
        {u"", base.c_str(), 3},
        {u"C:", u"C:", 0},
        {u"Zandrel\\M2100", base.c_str(), 0},
        {u"C:\\Users\\User\\AppData\\Local", base.c_str(), 0},  // not below its base
        {base.c_str(), base.c_str(), 0},
        {u"C:\\Users\\User\\AppData\\RoamingX", base.c_str(), 0},
        {u"C:\\Users\\User\\AppData\\Roaming\\..\\Local", base.c_str(), 0},
    };
    ASSERT_TRUE(fs::create_directories(machine.host(u"C:\\Users\\User\\AppData\\RoamingX")));
    before = platform::testing::snapshot();
    for (const Case& test : cases) EXPECT_EQ(uninstall::RemoveEmptyFolders(test.path, test.base), test.result);
    EXPECT_TRUE(changes(before).empty());
}

// The machine's own profile list (the service accounts and the user) with bob and carol added, and
// damaged entries; in the newer layout and in the older one.
struct Layout {
    const char* name;
    platform::ProfileLayout layout;
    std::u16string profiles;  // the profiles root, with its backslash
    std::u16string appData;   // below a profile
};

class ProfileFolders : public ::testing::TestWithParam<Layout> {
protected:
    static platform::MachineSettings settings() {
        platform::MachineSettings settings;
        settings.profileLayout = GetParam().layout;
        return settings;
    }
    void SetUp() override {
        uninstall::clearRemovalLog();
        ASSERT_TRUE(config.parse(configXml("<Dir>\\Zandrel</Dir><Dir>\\M2100</Dir>")).ok);
        platform::addUserProfile("bob");
        platform::addUserProfile("carol");
        profile(u"S-1-5-21-9-1004", u"");
        profile(u"S-1-5-21-9-1005", u"C:\\Users\\..");
        profile(u"S-1-5-21-9-1006", nullptr);
        // The product's folder for User and bob, and where the service accounts' would lie: below the
        // profiles root under their image path's last component, and in their own profiles.
        for (const char16_t* user : {u"User", u"bob", u"S-1-5-18", u"systemprofile", u"LocalService", u"NetworkService"})
            machine.writeFile(appData(user) + u"\\Zandrel\\M2100\\settings.dat", "x");
        for (const char16_t* own : {u"C:\\Windows\\system32\\config\\systemprofile",
                                    u"C:\\Windows\\ServiceProfiles\\LocalService"})
            machine.writeFile(own + GetParam().appData + u"\\Zandrel\\M2100\\settings.dat", "x");
        machine.writeFile(appData(u"bob") + u"\\Zandrel\\Other\\keep.dat", "keep");
        machine.writeFile(appData(u"bob") + u"\\Other\\own.dat", "own");
        // carol has no product folder and an empty application-data folder.
        fs::remove_all(machine.host(appData(u"carol") + u"\\Microsoft"));
        ASSERT_TRUE(fs::is_empty(machine.host(appData(u"carol"))));
        platform::setFileCallJournal(true);
    }
    static std::u16string appData(std::u16string_view user) {
        return GetParam().profiles + std::u16string(user) + GetParam().appData;
    }
    static void profile(const std::u16string& sid, const char16_t* image) {
        HKEY key = nullptr;
        const std::u16string path = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        if (image) {
            const std::u16string value(image);
            ASSERT_EQ(RegSetValueExW(key, u"ProfileImagePath", 0, REG_EXPAND_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }
    Machine machine{settings()};
    SetupConfig config;
};

INSTANTIATE_TEST_SUITE_P(
    Layouts, ProfileFolders,
    ::testing::Values(Layout{"Users", platform::ProfileLayout::Users, u"C:\\Users\\", u"\\AppData\\Roaming"},
                      Layout{"DocumentsAndSettings", platform::ProfileLayout::DocumentsAndSettings,
                             u"C:\\Documents and Settings\\", u"\\Application Data"}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST_P(ProfileFolders, EveryUserProfileLosesTheProductsFolderOnly) {
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 0);
    const std::string user = platform::toUtf8(appData(u"User")) + "\\Zandrel";
    const std::string bob = platform::toUtf8(appData(u"bob")) + "\\Zandrel";
    EXPECT_EQ(changes(before), (std::vector<std::string>{"- file " + user + "\\M2100\\settings.dat",
                                                         "- file " + bob + "\\M2100\\settings.dat",
                                                         "- folder " + user, "- folder " + user + "\\M2100",
                                                         "- folder " + bob + "\\M2100"}));
    // In the list's order; the emptied Zandrel goes, bob's (not empty) and each base stay untouched.
    EXPECT_EQ(calls(), (std::vector<std::string>{
                           "DeleteFileW " + user + "\\M2100\\settings.dat TRUE",
                           "RemoveDirectoryW " + user + "\\M2100 TRUE",
                           "RemoveDirectoryW " + user + " TRUE",
                           "DeleteFileW " + bob + "\\M2100\\settings.dat TRUE",
                           "RemoveDirectoryW " + bob + "\\M2100 TRUE",
                       }));
    // The empty and the damaged image path are reported; the profile without one is passed over.
    std::vector<std::u16string> targets;
    for (const auto& entry : uninstall::removalLog()) targets.push_back(entry.target);
    EXPECT_EQ(targets, (std::vector<std::u16string>{u"", u"C:\\Users\\.."}));
}

TEST_P(ProfileFolders, NothingIsTouchedWithoutDirsProfileListOrApplicationDataFolder) {
    const auto before = platform::testing::snapshot();
    // No Dir elements, and traversal texts as Dir values.
    for (const char* dirs : {"", "<Dir>\\</Dir>", "<Dir>\\..</Dir><Dir>\\..</Dir>", "<Dir>\\.</Dir>",
                             "<Dir>\\\\host\\x</Dir>", "<Dir>C:\\x</Dir>", "<Dir>\\Zandrel\\*</Dir>",
                             "<Dir>\\Zandrel.</Dir>", "<Dir>\\Zandrel</Dir><Dir>\\..</Dir>"}) {
        SetupConfig texts;
        ASSERT_TRUE(texts.parse(configXml(dirs)).ok) << dirs;
        EXPECT_EQ(uninstall::DeleteUserProfileFolders(texts), 0) << dirs;
    }
    platform::setFault("SHGetFolderPath", platform::Fault().failing(-1));
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 0);
    platform::clearFaults();
    platform::setFault("RegOpenKeyExW", platform::Fault().failing(-1));
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 3);
    platform::clearFaults();
    EXPECT_TRUE(changes(before).empty());
    EXPECT_TRUE(calls().empty());
}

// An application-data folder redirected to a share gives no profiles root on a drive: every target
// would be a network path, so nothing is touched, here or anywhere.
TEST(RedirectedProfileFolders, ApplicationDataOnAShareTouchesNothing) {
    platform::MachineSettings settings;
    settings.appDataFolder = u"\\\\server\\share\\User";
    Machine machine(settings);
    uninstall::clearRemovalLog();
    platform::addUserProfile("bob");
    machine.writeFile(u"C:\\Users\\bob\\AppData\\Roaming\\Zandrel\\M2100\\settings.dat", "x");
    SetupConfig config;
    ASSERT_TRUE(config.parse(configXml("<Dir>\\Zandrel</Dir><Dir>\\M2100</Dir>")).ok);
    platform::setCallJournal(true);
    platform::setFileCallJournal(true);
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 0);
    EXPECT_TRUE(changes(before).empty());
    EXPECT_TRUE(calls().empty());
    ASSERT_EQ(uninstall::removalLog().size(), 1u);
    EXPECT_EQ(uninstall::removalLog()[0].target, u"CSIDL_APPDATA");
}

}  // namespace
