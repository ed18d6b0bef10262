// The folder side of the removal on one fixture machine: the product's folders below a base and in every
// profile, with sentinels beside each target (a file beside the product folder, a sibling product
// folder, another profile's own folder, the folder where a service account's target would lie), a
// read-only file and folder, a junction to another drive and a link out of the machine root.
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
              (std::vector<std::string>{"- file " + p + "\\Lang\\ReadOnly.dat", "- file " + p + "\\Lang\\ZDkelrenus.dll",
                                        "- file " + p + "\\Locked\\Inside.dat", "- file " + p + "\\Orlith.exe",
                                        "- folder " + p, "- folder " + p + "\\Lang", "- folder " + p + "\\Locked",
                                        "- link " + p + "\\keep -> " + machine.host(u"D:\\keep").string(),
                                        "- link " + p + "\\keep.lnk -> " + machine.host(u"D:\\keep\\keep.txt").string(),
                                        "- link " + p + "\\out -> " + outside.string()}));
    EXPECT_TRUE(fs::exists(outside / "out.txt"));
    EXPECT_TRUE(uninstall::removalLog().empty());
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct), 2);
}

TEST_F(FolderRemoval, TreeDeleteLeavesWhatCannotBeDeletedAndLogsIt) {
    const std::u16string held = kProduct + u"\\Lang\\ZDkelrenus.dll";
    platform::setFault("DeleteFile", platform::Fault().failing(-1).onlyFor(platform::toUtf8(held)));
    EXPECT_EQ(uninstall::DeleteFolderTree(kProduct), 0);
    EXPECT_TRUE(machine.readFile(held).has_value());
    EXPECT_FALSE(machine.readFile(kProduct + u"\\Orlith.exe").has_value());
    std::vector<std::u16string> targets;
    for (const auto& entry : uninstall::removalLog()) targets.push_back(entry.target);
    EXPECT_EQ(targets, (std::vector<std::u16string>{held, kProduct + u"\\Lang", kProduct}));
}

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

    // With every folder empty the walk stops at the base, which stays however empty it is.
    ASSERT_TRUE(DeleteFileW((base + u"\\Zandrel\\a\\b\\c\\other.txt").c_str()));
    before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::RemoveEmptyFolders(base + u"\\Zandrel\\a\\b\\c\\", base + u"\\"), 0);
    EXPECT_EQ(changes(before).size(), 4u);
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

class ProfileFolders : public ::testing::Test {
protected:
    void SetUp() override {
        uninstall::clearRemovalLog();
        ASSERT_TRUE(config.parse(configXml("<Dir>\\Zandrel</Dir><Dir>\\M2100</Dir>")).ok);
        profile(u"S-1-5-18", u"C:\\Windows\\system32\\config\\systemprofile");
        profile(u"S-1-5-19", u"C:\\Windows\\ServiceProfiles\\LocalService");
        profile(u"S-1-5-20", u"C:\\Windows\\ServiceProfiles\\NetworkService");
        profile(u"S-1-5-21-1001", u"C:\\Users\\User");
        profile(u"S-1-5-21-1002", u"%SystemDrive%\\Users\\bob");
        profile(u"S-1-5-21-1003", u"C:\\Users\\carol");
        profile(u"S-1-5-21-1004", u"");
        profile(u"S-1-5-21-1005", u"C:\\Users\\..");
        profile(u"S-1-5-21-1006", nullptr);
        const std::u16string roaming = u"\\AppData\\Roaming\\Zandrel\\M2100\\settings.dat";
        for (const char16_t* user : {u"User", u"bob", u"S-1-5-18", u"LocalService", u"systemprofile"})
            machine.writeFile(u"C:\\Users\\" + std::u16string(user) + roaming, "x");
        machine.writeFile(u"C:\\Users\\bob\\AppData\\Roaming\\Zandrel\\Other\\keep.dat", "keep");
        machine.writeFile(u"C:\\Users\\bob\\AppData\\Roaming\\Other\\own.dat", "own");
        machine.writeFile(u"C:\\Windows\\system32\\config\\systemprofile" + roaming, "x");
        fs::create_directories(machine.host(u"C:\\Users\\carol\\AppData\\Roaming"));
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
    Machine machine;
    SetupConfig config;
};

TEST_F(ProfileFolders, EveryUserProfileLosesTheProductsFolderOnly) {
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 0);
    EXPECT_EQ(changes(before),
              (std::vector<std::string>{"- file C:\\Users\\User\\AppData\\Roaming\\Zandrel\\M2100\\settings.dat",
                                        "- file C:\\Users\\bob\\AppData\\Roaming\\Zandrel\\M2100\\settings.dat",
                                        "- folder C:\\Users\\User\\AppData\\Roaming\\Zandrel",
                                        "- folder C:\\Users\\User\\AppData\\Roaming\\Zandrel\\M2100",
                                        "- folder C:\\Users\\bob\\AppData\\Roaming\\Zandrel\\M2100"}));
    // The empty and the damaged image path are reported; the profile without one is passed over.
    std::vector<std::u16string> targets;
    for (const auto& entry : uninstall::removalLog()) targets.push_back(entry.target);
    EXPECT_EQ(targets, (std::vector<std::u16string>{u"", u"C:\\Users\\.."}));
}

TEST_F(ProfileFolders, NothingIsTouchedWithoutDirsProfileListOrApplicationDataFolder) {
    const auto before = platform::testing::snapshot();
    SetupConfig noDirs;
    ASSERT_TRUE(noDirs.parse(configXml("")).ok);
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(noDirs), 0);
    SetupConfig rootDir;
    ASSERT_TRUE(rootDir.parse(configXml("<Dir>\\</Dir>")).ok);
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(rootDir), 0);
    SetupConfig traversal;
    ASSERT_TRUE(traversal.parse(configXml("<Dir>\\..</Dir><Dir>\\..</Dir>")).ok);
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(traversal), 0);
    platform::setFault("SHGetFolderPath", platform::Fault().failing(-1));
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 0);
    platform::clearFaults();
    platform::setFault("RegOpenKeyExW", platform::Fault().failing(-1));
    EXPECT_EQ(uninstall::DeleteUserProfileFolders(config), 3);
    platform::clearFaults();
    EXPECT_TRUE(changes(before).empty());
}

}  // namespace
