// Profile (INI) files and the system information the programs read: the Windows directory, the
// running program's path, the locale and the OS version.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

const char16_t kIni[] = u"C:\\Windows\\product.ini";

std::string utf16File(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

struct Read {
    DWORD result;
    std::u16string text;  // the whole buffer up to the result and its terminators
    DWORD error;
};

Read read(LPCWSTR section, LPCWSTR key, LPCWSTR fallback, DWORD size, LPCWSTR file = kIni) {
    std::vector<WCHAR> buffer(size + 4, u'#');
    SetLastError(12345);
    DWORD result = GetPrivateProfileStringW(section, key, fallback, buffer.data(), size, file);
    DWORD error = GetLastError();
    return {result, std::u16string(buffer.data(), std::min<size_t>(result + 2, size)), error};
}

std::u16string value(LPCWSTR section, LPCWSTR key, LPCWSTR file = kIni) {
    WCHAR buffer[MAX_PATH];
    GetPrivateProfileStringW(section, key, u"<none>", buffer, MAX_PATH, file);
    return buffer;
}

const char kProduct[] =
    "; written by the installer\r\n"
    "[TWAIN]\r\n"
    "File Prefix=vrx4410\r\n"
    "  Registry  =  SOFTWARE\\Qelmar\\VRX4410  \r\n"
    "Quoted=\"  spaced  \"\r\n"
    "Single='x'\r\n"
    "Unbalanced=\"open\r\n"
    "Empty=\r\n"
    "no equals sign\r\n"
    "=no key\r\n"
    ";Commented=1\r\n"
    "File Prefix=second\r\n"
    "\r\n"
    "[English]\n"
    "Push UI Title=Push Scan\n"
    "[twain]\r"
    "Later=ignored\r"
    "[Unclosed\r\n"
    "Key=kept\r\n";

TEST(Profile, ReadsKeysOfSectionsWithoutRegardToCase) {
    Machine machine;
    machine.writeFile(kIni, kProduct);
    struct Case {
        LPCWSTR section, key;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"TWAIN", u"File Prefix", u"vrx4410"},  // the first of two keys counts
        {u"twain", u"FILE PREFIX", u"vrx4410"},
        {u"TWAIN", u"Registry", u"SOFTWARE\\Qelmar\\VRX4410"},
        {u"TWAIN", u"Quoted", u"  spaced  "},
        {u"TWAIN", u"Single", u"x"},
        {u"TWAIN", u"Unbalanced", u"\"open"},
        {u"TWAIN", u"Empty", u""},
        {u"TWAIN", u"Later", u"<none>"},  // a second [twain] section is not read
        {u"TWAIN", u";Commented", u"<none>"},
        {u"TWAIN", u"no equals sign", u"<none>"},
        {u"English", u"push ui title", u"Push Scan"},
        {u"Unclosed", u"Key", u"kept"},
        {u"Missing", u"Key", u"<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.section) + "/" + platform::toUtf8(c.key));
        EXPECT_EQ(value(c.section, c.key), c.expected);
    }
}

TEST(Profile, FoundMissingAndDefaultValuesSetTheLastError) {
    Machine machine;
    machine.writeFile(kIni, kProduct);
    struct Case {
        const char* what;
        LPCWSTR section, key, fallback, file;
        Read expected;
    };
    const Case cases[] = {
        {"found", u"TWAIN", u"File Prefix", u"d", kIni, {7, std::u16string(u"vrx4410\0#", 9), ERROR_SUCCESS}},
        {"missing key", u"TWAIN", u"Nope", u"dflt", kIni, {4, std::u16string(u"dflt\0#", 6), ERROR_FILE_NOT_FOUND}},
        {"blanks of the default go", u"TWAIN", u"Nope", u"d f  \t", kIni, {3, std::u16string(u"d f\0#", 5), ERROR_FILE_NOT_FOUND}},
        {"no default", u"TWAIN", u"Nope", nullptr, kIni, {0, std::u16string(u"\0#", 2), ERROR_FILE_NOT_FOUND}},
        {"missing file", u"TWAIN", u"File Prefix", u"d", u"C:\\Windows\\none.ini", {1, std::u16string(u"d\0#", 3), ERROR_FILE_NOT_FOUND}},
        {"bare name in the Windows folder", u"TWAIN", u"File Prefix", u"d", u"PRODUCT.INI", {7, std::u16string(u"vrx4410\0#", 9), ERROR_SUCCESS}},
        {"a folder is no file", u"TWAIN", u"File Prefix", u"d", u"C:\\Windows", {1, std::u16string(u"d\0#", 3), ERROR_FILE_NOT_FOUND}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read got = read(c.section, c.key, c.fallback, 20, c.file);
        EXPECT_EQ(got.result, c.expected.result);
        EXPECT_EQ(got.text, c.expected.text);
        EXPECT_EQ(got.error, c.expected.error);
    }
}

TEST(Profile, CutsValuesAndListsToTheBuffer) {
    Machine machine;
    machine.writeFile(kIni, "[One]\r\nalpha=ABCDEFGH\r\nBeta=2\r\nALPHA=dup\r\n[Two]\r\n[one]\r\ngamma=3\r\n");
    struct Case {
        const char* what;
        LPCWSTR section, key, fallback;
        DWORD size;
        DWORD result;
        std::u16string text;
    };
    const Case cases[] = {
        {"value fits", u"One", u"alpha", nullptr, 9, 8, std::u16string(u"ABCDEFGH\0", 9)},
        {"value cut", u"One", u"alpha", nullptr, 5, 4, std::u16string(u"ABCD\0", 5)},
        {"value into one", u"One", u"alpha", nullptr, 1, 0, std::u16string(u"\0", 1)},
        {"default cut", u"One", u"none", u"default", 4, 3, std::u16string(u"def\0", 4)},
        {"keys listed once", u"one", nullptr, nullptr, 20, 11, std::u16string(u"alpha\0Beta\0\0", 12)},
        {"keys cut", u"One", nullptr, nullptr, 8, 6, std::u16string(u"alpha\0\0\0", 8)},
        {"keys cut in a name", u"One", nullptr, nullptr, 5, 3, std::u16string(u"alp\0\0", 5)},
        {"empty section", u"Two", nullptr, nullptr, 20, 0, std::u16string(u"\0#", 2)},
        {"sections listed once", nullptr, nullptr, nullptr, 20, 8, std::u16string(u"One\0Two\0\0#", 10)},
        {"sections cut", nullptr, nullptr, nullptr, 6, 4, std::u16string(u"One\0\0\0", 6)},
        {"list into two", nullptr, nullptr, nullptr, 2, 0, std::u16string(u"\0\0", 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<WCHAR> buffer(c.size + 8, u'#');
        DWORD result = GetPrivateProfileStringW(c.section, c.key, c.fallback, buffer.data(), c.size, kIni);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(std::u16string(buffer.data(), c.text.size()), c.text);
        EXPECT_EQ(buffer[c.size], u'#') << "wrote past the buffer";
    }
    WCHAR untouched[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(GetPrivateProfileStringW(u"One", u"alpha", u"d", untouched, 0, kIni), 0u);
    EXPECT_EQ(untouched[0], u'#');
    EXPECT_EQ(GetPrivateProfileStringW(u"One", u"alpha", u"d", nullptr, 10, kIni), 0u);
}

TEST(Profile, ReadsTheEncodingsOfIniFiles) {
    struct Case {
        const char* what;
        UINT codePage;
        std::string bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {"UTF-16LE with BOM", 936, utf16File(u"[Simplified_Chinese]\r\nPush UI Title=\u626B\u63CF\r\n"),
         u"\u626B\u63CF"},
        {"UTF-16LE, odd last byte", 1252, utf16File(u"[Simplified_Chinese]\nPush UI Title=ok\n") + "\x41",
         u"ok"},
        {"UTF-8 with BOM", 1252, "\xEF\xBB\xBF[Simplified_Chinese]\nPush UI Title=\xE6\x89\xAB\n", u"\u626B"},
        {"UTF-8 without BOM", 1252, "[Simplified_Chinese]\nPush UI Title=caf\xC3\xA9\n", u"caf\u00E9"},
        {"ANSI 1252", 1252, "[Simplified_Chinese]\nPush UI Title=caf\xE9\n", u"caf\u00E9"},
        {"ANSI 936", 936, "[Simplified_Chinese]\nPush UI Title=\xC9\xA8\xC3\xE8\n", u"\u626B\u63CF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::MachineSettings settings;
        settings.codePage = c.codePage;
        Machine machine(settings);
        machine.writeFile(kIni, c.bytes);
        EXPECT_EQ(value(u"simplified_chinese", u"Push UI Title"), c.expected);
        // The reader over the bytes sees the file as the calls do.
        using Kind = platform::profile::ProfileLine::Kind;
        const auto lines = platform::profile::readProfileLines(c.bytes);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0].kind, Kind::kSection);
        EXPECT_EQ(lines[0].name, u"Simplified_Chinese");
        EXPECT_EQ(lines[1].kind, Kind::kEntry);
        EXPECT_EQ(lines[1].name, u"Push UI Title");
        EXPECT_EQ(lines[1].value, c.expected);
    }
}

TEST(Profile, BadFilesGiveTheDefault) {
    const std::string junk[] = {
        std::string("\0\0\0[\x01\xFF=\0", 9),
        "\xFF\xFE",
        "\xFF\xFE\x5B",
        "[",
        "[]\n=\n==\n[TWAIN\n",
        std::string(100000, '['),
        "[TWAIN]\n" + std::string(70000, 'k') + "\n",
    };
    for (const std::string& bytes : junk) {
        Machine machine;
        machine.writeFile(kIni, bytes);
        EXPECT_EQ(value(u"TWAIN", u"File Prefix"), u"<none>");
        WCHAR list[64];
        GetPrivateProfileStringW(nullptr, nullptr, nullptr, list, 64, kIni);
    }
}

TEST(Profile, WritesCreateUpdateAndDelete) {
    Machine machine;
    EXPECT_TRUE(WritePrivateProfileStringW(u"TWAIN", u"File Prefix", u"vrx4410", kIni));
    EXPECT_TRUE(WritePrivateProfileStringW(u"TWAIN", u"Registry", u"SOFTWARE\\Qelmar", kIni));
    EXPECT_TRUE(WritePrivateProfileStringW(u"English", u"Push UI Title", u"Push Scan", kIni));
    EXPECT_TRUE(WritePrivateProfileStringW(u"twain", u"FILE PREFIX", u"vrx3310", kIni));  // updates in place
    EXPECT_EQ(*machine.readFile(kIni),
              "[TWAIN]\r\nFile Prefix=vrx3310\r\nRegistry=SOFTWARE\\Qelmar\r\n[English]\r\nPush UI Title=Push Scan\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"TWAIN", u"Registry", nullptr, kIni));
    EXPECT_EQ(value(u"TWAIN", u"Registry"), u"<none>");
    EXPECT_TRUE(WritePrivateProfileStringW(u"English", nullptr, nullptr, kIni));
    EXPECT_EQ(*machine.readFile(kIni), "[TWAIN]\r\nFile Prefix=vrx3310\r\n");
    // Deleting what is not there is no error.
    EXPECT_TRUE(WritePrivateProfileStringW(u"Nope", u"Key", nullptr, kIni));
    EXPECT_TRUE(WritePrivateProfileStringW(u"Nope", nullptr, nullptr, kIni));

    // A key joins the end of its section, before blank lines.
    machine.writeFile(kIni, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"a", u"z", u"3", kIni));
    EXPECT_EQ(*machine.readFile(kIni), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
}

TEST(Profile, WritesKeepTheFileEncoding) {
    platform::MachineSettings settings;
    settings.codePage = 936;
    Machine machine(settings);
    // A new file is in the machine code page.
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"\u626B\u63CF", kIni));
    EXPECT_EQ(*machine.readFile(kIni), "[S]\r\nK=\xC9\xA8\xC3\xE8\r\n");
    // A UTF-16 file stays UTF-16, a UTF-8 one UTF-8.
    machine.writeFile(kIni, utf16File(u"[S]\r\nK=old\r\n"));
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"\u626B", kIni));
    EXPECT_EQ(*machine.readFile(kIni), utf16File(u"[S]\r\nK=\u626B\r\n"));
    machine.writeFile(kIni, "\xEF\xBB\xBF[S]\r\nK=old\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"K", u"\u626B", kIni));
    EXPECT_EQ(*machine.readFile(kIni), "\xEF\xBB\xBF[S]\r\nK=\xE6\x89\xAB\r\n");
    EXPECT_EQ(value(u"S", u"K"), u"\u626B");
}

TEST(Profile, WritesRefuseBadArgumentsAndMissingFolders) {
    Machine machine;
    struct Case {
        const char* what;
        LPCWSTR section, key, value, file;
        DWORD error;
    };
    const Case cases[] = {
        {"no section", nullptr, u"K", u"V", kIni, ERROR_INVALID_PARAMETER},
        {"line break in a value", u"S", u"K", u"a\r\n[Evil]", kIni, ERROR_INVALID_PARAMETER},
        {"'=' in a key", u"S", u"K=", u"V", kIni, ERROR_INVALID_PARAMETER},
        {"']' in a section", u"S]", u"K", u"V", kIni, ERROR_INVALID_PARAMETER},
        {"missing folder", u"S", u"K", u"V", u"C:\\Nowhere\\x.ini", ERROR_PATH_NOT_FOUND},
        {"a folder", u"S", u"K", u"V", u"C:\\Windows\\Temp", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(WritePrivateProfileStringW(c.section, c.key, c.value, c.file));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(machine.host(kIni)));
    EXPECT_TRUE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, kIni));  // a flush
}

TEST(Profile, FaultSwitches) {
    Machine machine;
    machine.writeFile(kIni, kProduct);
    platform::setFault("GetPrivateProfileStringW", platform::Fault().onlyFor(platform::toUtf8(kIni)));
    Read got = read(u"TWAIN", u"File Prefix", u"d", 10);
    EXPECT_EQ(got.text, std::u16string(u"d\0#", 3));
    EXPECT_EQ(got.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(value(u"TWAIN", u"File Prefix"), u"vrx4410");  // only the next call

    platform::setFault("WritePrivateProfileStringW", platform::Fault().withError(ERROR_DISK_FULL));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WritePrivateProfileStringW(u"TWAIN", u"File Prefix", u"x", kIni));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(value(u"TWAIN", u"File Prefix"), u"vrx4410");
    EXPECT_EQ(platform::callCount("WritePrivateProfileStringW"), 1);
}

// ---- System information ------------------------------------------------------------------------

TEST(SystemInfo, WindowsDirectory) {
    Machine machine;
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryW(buffer, MAX_PATH), 10u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\Windows");
    EXPECT_EQ(GetWindowsDirectoryW(buffer, 10), 11u);  // too small: the size needed
    EXPECT_EQ(GetWindowsDirectoryW(buffer, 11), 10u);
}

TEST(SystemInfo, TheWindowsFolderIsASettingTheLayerFollows) {
    platform::MachineSettings settings;
    settings.windowsFolder = u"D:\\WINNT";
    Machine machine(settings);
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryW(buffer, MAX_PATH), 8u);
    EXPECT_EQ(std::u16string(buffer), u"D:\\WINNT");
    EXPECT_EQ(GetSystemDirectoryW(buffer, MAX_PATH), 17u);
    EXPECT_EQ(std::u16string(buffer), u"D:\\WINNT\\System32");
    EXPECT_EQ(GetSystemDirectoryW(buffer, 17), 18u);  // too small: the size needed
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, 0, buffer), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"D:\\WINNT\\System32");
    // The machine is laid out there, bare INI names live there, system modules answer from there.
    EXPECT_EQ(GetFileAttributesW(u"D:\\WINNT\\System32\\spool\\drivers\\x64\\3"), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    ASSERT_TRUE(WritePrivateProfileStringW(u"s", u"k", u"v", u"bare.ini"));
    EXPECT_TRUE(machine.readFile(u"D:\\WINNT\\bare.ini"));
    ASSERT_EQ(GetModuleFileNameW(GetModuleHandleW(u"kernel32.dll"), buffer, MAX_PATH), 30u);
    EXPECT_EQ(std::u16string(buffer), u"D:\\WINNT\\System32\\kernel32.dll");
}

TEST(SystemInfo, ServerVersionsAndOneRecordFailing) {
    platform::MachineSettings settings;
    settings.osMajor = 5;
    settings.osMinor = 2;
    settings.productType = 3;
    settings.serverR2 = 1;
    settings.platformId = 2;
    Machine machine(settings);
    EXPECT_EQ(GetSystemMetrics(SM_SERVERR2), 1);
    OSVERSIONINFOEXW ex = {};
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
    EXPECT_EQ(ex.wProductType, 3);
    platform::setFault("GetVersionExW", platform::Fault().onlyFor("extended").failing(-1));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    OSVERSIONINFOW basic = {};
    basic.dwOSVersionInfoSize = sizeof basic;
    EXPECT_TRUE(GetVersionExW(&basic));
    EXPECT_EQ(basic.dwPlatformId, 2u);
}

TEST(SystemInfo, ProgramPathAnswersModuleFileNameOfNull) {
    Machine machine;
    platform::setProgramPath(u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe");
    struct Case {
        DWORD size;
        DWORD result;
        std::u16string text;
        DWORD error;
    };
    const std::u16string path = u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe";
    const DWORD length = static_cast<DWORD>(path.size());
    const Case cases[] = {
        {MAX_PATH, length, path, 0},
        {length + 1, length, path, 0},
        {length, length, path.substr(0, length - 1), ERROR_INSUFFICIENT_BUFFER},
        {4, 4, u"C:\\", ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<WCHAR> buffer(c.size + 1, u'#');
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), c.size), c.result);
        EXPECT_EQ(std::u16string(buffer.data()), c.text);
        if (c.error) {  // a full answer promises no code
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    platform::setFault("GetModuleFileNameW", platform::Fault());
    WCHAR buffer[MAX_PATH];
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(platform::programPath(), path);
}

TEST(SystemInfo, LocaleAndVersionComeFromTheMachine) {
    {
        Machine machine;  // the defaults
        EXPECT_EQ(GetSystemDefaultLCID(), 0x0409u);
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExW(&info));
        EXPECT_EQ(info.dwMajorVersion, 10u);
        EXPECT_EQ(info.dwMinorVersion, 0u);
        EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    }
    platform::MachineSettings settings;
    settings.lcid = 0x0C04;
    settings.osMajor = 5;
    settings.osMinor = 1;
    settings.osBuild = 2600;
    Machine machine(settings);
    EXPECT_EQ(GetSystemDefaultLCID(), 0x0C04u);
    EXPECT_EQ(GetUserDefaultLCID(), 0x0C04u);
    EXPECT_EQ(GetSystemDefaultUILanguage(), 0x0C04);
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0C04);  // the locale's language until the machine sets its own
    settings.uiLanguage = 0x040D;
    platform::setMachineSettings(settings);
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x040D);
    EXPECT_EQ(GetUserDefaultLCID(), 0x0C04u);
    EXPECT_EQ(platform::machineSettings().uiLanguage, 0x040D);
    OSVERSIONINFOEXW ex = {};
    ex.dwOSVersionInfoSize = sizeof ex;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 5u);
    EXPECT_EQ(ex.dwMinorVersion, 1u);
    EXPECT_EQ(ex.dwBuildNumber, 2600u);
    EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(GetVersion(), 5u | (1u << 8) | (2600u << 16));
    OSVERSIONINFOW wrong = {};
    wrong.dwOSVersionInfoSize = sizeof wrong - 4;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetVersionExW(&wrong));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SystemInfo, OlderMachineFilesKeepWorking) {
    Machine machine;
    // A machine made before the locale and version settings, and ones with bad or partial values.
    struct Case {
        std::string text;
        UINT codePage;
        DWORD lcid, osMajor, osMinor, osBuild;
    };
    const Case cases[] = {
        {"codepage=936\nuser=Ann\ncomputer=Box\n", 936, 0x0409, 10, 0, 19045},
        {"codepage=1252\nlcid=banana\nosmajor=-3\nosminor=\nosbuild=99999999999\n", 1252, 0x0409, 10, 0, 19045},
        {"lcid=1041\nosmajor=6\nosminor=0x1\n", 1252, 0x0411, 6, 1, 19045},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::filesystem::path root = machine.root() / "older";
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        std::ofstream(root / "machine.ini") << c.text;
        platform::useMachineRoot(root);
        platform::MachineSettings loaded = platform::machineSettings();
        EXPECT_EQ(loaded.codePage, c.codePage);
        EXPECT_EQ(loaded.lcid, c.lcid);
        EXPECT_EQ(loaded.osMajor, c.osMajor);
        EXPECT_EQ(loaded.osMinor, c.osMinor);
        EXPECT_EQ(loaded.osBuild, c.osBuild);
    }
    // The new fields survive a round trip through the file.
    platform::MachineSettings settings;
    settings.lcid = 0x0816;
    settings.osMajor = 6;
    settings.osMinor = 1;
    platform::setMachineSettings(settings);
    platform::useMachineRoot(machine.root() / "older");
    EXPECT_EQ(platform::machineSettings().lcid, 0x0816u);
    EXPECT_EQ(platform::machineSettings().osMinor, 1u);
    platform::useMachineRoot(machine.root());
}

}  // namespace
