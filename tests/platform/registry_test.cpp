// The registry hive: keys, values, enumeration, deletion, and sharing between processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/testing/machine.h"
#include "win/registry.h"

namespace {

using platform::testing::Machine;

const char16_t kSuite[] = u"Software\\Maker\\Suite";

class Registry : public ::testing::Test {
protected:
    Machine machine;

    static HKEY create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                  disposition),
                  ERROR_SUCCESS);
        return key;
    }
    static LSTATUS setString(HKEY key, const char16_t* name, std::u16string_view text) {
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }
    static LSTATUS setDword(HKEY key, const char16_t* name, DWORD value) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    static std::u16string queryString(HKEY key, const char16_t* name) {
        WCHAR buffer[256] = {};
        DWORD size = sizeof buffer, type = 0;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        return std::u16string(buffer);
    }
    static std::vector<std::u16string> subkeyNames(HKEY key) {
        std::vector<std::u16string> names;
        WCHAR name[256];
        LSTATUS status;
        for (DWORD i = 0; (status = RegEnumKeyW(key, i, name, 256)) == ERROR_SUCCESS; ++i) names.push_back(name);
        EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
        return names;
    }
};

TEST_F(Registry, CreateMakesTheWholePathAndThenOpensIt) {
    DWORD disposition = 0;
    HKEY key = create(HKEY_CURRENT_USER, kSuite, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    key = create(HKEY_CURRENT_USER, u"SOFTWARE\\maker\\SUITE\\", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\MAKER", 0, KEY_READ, &opened), ERROR_SUCCESS);
    ASSERT_NE(opened, nullptr);
    HKEY nested = nullptr;
    EXPECT_EQ(RegOpenKeyExW(opened, u"suite", 0, KEY_READ, &nested), ERROR_SUCCESS);
    EXPECT_EQ(subkeyNames(opened), std::vector<std::u16string>{u"Suite"});  // the case it was made with
    RegCloseKey(nested);
    RegCloseKey(opened);

    HKEY missing = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x77));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Maker\\Other", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSuite, 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);  // other root
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\\\Maker", 0, KEY_READ, &missing), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCloseKey(missing), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValuesKeepTypeAndBytesAndMatchWithoutRegardToCase) {
    HKEY key = create(HKEY_CURRENT_USER, kSuite);
    ASSERT_EQ(setString(key, u"InstallDir", u"C:\\Program Files\\Suite"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"Copies", 3), ERROR_SUCCESS);
    const std::string binary("\x00\x01\t\n\r\\\xff", 7);  // bytes the hive file must not mangle
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary.data()), 7),
              ERROR_SUCCESS);
    ASSERT_EQ(setString(key, u"", u"default"), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, u"Odd\tname\\with\nbreaks", u"odd"), ERROR_SUCCESS);

    EXPECT_EQ(queryString(key, u"INSTALLDIR"), u"C:\\Program Files\\Suite");
    EXPECT_EQ(queryString(key, nullptr), u"default");
    EXPECT_EQ(queryString(key, u"odd\tNAME\\with\nbreaks"), u"odd");
    DWORD copies = 0, size = sizeof copies, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"copies", nullptr, &type, reinterpret_cast<BYTE*>(&copies), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(copies, 3u);
    char blob[16];
    size = sizeof blob;
    EXPECT_EQ(RegQueryValueExW(key, u"Blob", nullptr, &type, reinterpret_cast<BYTE*>(blob), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(blob, size), binary);

    // Writing a name of another case replaces the value, type and all.
    ASSERT_EQ(setString(key, u"COPIES", u"three"), ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, u"Copies"), u"three");

    // A value read through another handle to the same key, and a missing one.
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSuite, 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_EQ(queryString(again, u"installdir"), u"C:\\Program Files\\Suite");
    EXPECT_EQ(RegQueryValueExW(again, u"Nothing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);
    RegCloseKey(key);
}

TEST_F(Registry, SizeQueriesAndShortBuffers) {
    HKEY key = create(HKEY_CURRENT_USER, kSuite);
    const std::u16string text = u"Office Laser 3000";
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    ASSERT_EQ(setString(key, u"Model", text), ERROR_SUCCESS);

    DWORD size = 0, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Model", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, bytes);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    std::vector<BYTE> buffer(bytes, 0xAB);
    size = bytes - 1;
    EXPECT_EQ(RegQueryValueExW(key, u"Model", nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, bytes);
    size = bytes;
    EXPECT_EQ(RegQueryValueExW(key, u"Model", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<const WCHAR*>(buffer.data())), text);
    EXPECT_EQ(RegQueryValueExW(key, u"Model", nullptr, nullptr, buffer.data(), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, u"Model", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);  // exists?

    // Enumeration: a short name buffer, then a short data buffer.
    WCHAR name[8];
    DWORD nameSize = 5;  // "Model" needs 6 with its terminator
    size = 0;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &nameSize, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
    nameSize = 6;
    size = 4;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &nameSize, nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, bytes);
    RegCloseKey(key);
}

TEST_F(Registry, EnumeratesValuesAndSubkeysOnceEach) {
    HKEY key = create(HKEY_LOCAL_MACHINE, u"SYSTEM\\Printers");
    // Names that sort around the separator: "A" < "A B" < "AB" < "A\C" once folded.
    for (const char16_t* sub : {u"AB", u"A\\C", u"A B", u"A", u"a\\D\\E", u"B"}) RegCloseKey(create(key, sub));
    EXPECT_EQ(subkeyNames(key), (std::vector<std::u16string>{u"A", u"A B", u"AB", u"B"}));
    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key, u"a", 0, KEY_READ, &a), ERROR_SUCCESS);
    EXPECT_EQ(subkeyNames(a), (std::vector<std::u16string>{u"C", u"D"}));
    RegCloseKey(a);
    WCHAR small[2];
    EXPECT_EQ(RegEnumKeyW(key, 1, small, 2), ERROR_MORE_DATA);

    ASSERT_EQ(setDword(key, u"Zeta", 1), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, u"Alpha", u"a"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"ZETA", 2), ERROR_SUCCESS);  // the same value again
    std::vector<std::pair<std::u16string, DWORD>> values;
    WCHAR name[64];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = 64, type = 0;
        LSTATUS status = RegEnumValueW(key, i, name, &nameSize, nullptr, &type, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(nameSize, static_cast<DWORD>(std::u16string(name).size()));
        values.emplace_back(name, type);
        ASSERT_LT(i, 10u);
    }
    EXPECT_EQ(values, (std::vector<std::pair<std::u16string, DWORD>>{{u"Zeta", REG_DWORD}, {u"Alpha", REG_SZ}}));
    RegCloseKey(key);
}

TEST_F(Registry, DeletingValuesAndKeys) {
    HKEY key = create(HKEY_CURRENT_USER, kSuite);
    ASSERT_EQ(setDword(key, u"Mode", 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"MODE"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueW(key, u"Mode"), ERROR_FILE_NOT_FOUND);

    RegCloseKey(create(key, u"Jobs\\Pending"));
    HKEY maker = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Maker", 0, KEY_ALL_ACCESS, &maker), ERROR_SUCCESS);
    // A key with subkeys stays.
    EXPECT_EQ(RegDeleteKeyW(maker, u"Suite"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(key, u"Jobs"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(key, u"jobs\\PENDING"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key, u"Jobs\\Pending"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(key, u"Jobs"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(maker, u"Suite"), ERROR_SUCCESS);

    // The handle of a deleted key no longer reaches anything.
    EXPECT_EQ(setDword(key, u"Mode", 2), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    WCHAR name[16];
    EXPECT_EQ(RegEnumKeyW(key, 0, name, 16), ERROR_KEY_DELETED);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSuite, 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(subkeyNames(maker).empty());
    RegCloseKey(key);
    RegCloseKey(maker);
}

TEST_F(Registry, TheDefaultValueIsTheUnnamedOne) {
    const char16_t kMail[] = u"SOFTWARE\\Clients\\Mail";
    HKEY mail = create(HKEY_CURRENT_USER, kMail);
    DWORD size = 0;
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u""}) {
        EXPECT_EQ(RegQueryValueExW(mail, name, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND) << "none set yet";
        EXPECT_EQ(RegDeleteValueW(mail, name), ERROR_FILE_NOT_FOUND);
    }
    // The older calls: an unset default value reads as an empty string; a missing subkey is an error.
    WCHAR text[128] = {u'x'};
    LONG length = sizeof text;
    EXPECT_EQ(RegQueryValueW(HKEY_CURRENT_USER, kMail, text, &length), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"");
    EXPECT_EQ(length, 2);
    length = sizeof text;
    EXPECT_EQ(RegQueryValueW(HKEY_CURRENT_USER, u"SOFTWARE\\Clients\\Missing", text, &length), ERROR_FILE_NOT_FOUND);

    // Set through one call, read through the others; the name "" and NULL are the same value.
    ASSERT_EQ(RegSetValueW(HKEY_CURRENT_USER, kMail, REG_SZ, u"Microsoft Outlook", 0), ERROR_SUCCESS);
    EXPECT_EQ(queryString(mail, nullptr), u"Microsoft Outlook");
    EXPECT_EQ(queryString(mail, u""), u"Microsoft Outlook");
    WCHAR name[8] = {u'x'};
    DWORD nameSize = 8, type = 0;
    EXPECT_EQ(RegEnumValueW(mail, 0, name, &nameSize, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"");
    ASSERT_EQ(setString(mail, nullptr, u"Foxmail"), ERROR_SUCCESS);
    length = sizeof text;
    EXPECT_EQ(RegQueryValueW(mail, nullptr, text, &length), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Foxmail");
    EXPECT_EQ(length, 16);
    length = 8;
    EXPECT_EQ(RegQueryValueW(mail, u"", text, &length), ERROR_MORE_DATA);
    EXPECT_EQ(length, 16) << "the size needed";
    EXPECT_EQ(RegSetValueW(mail, nullptr, REG_DWORD, u"x", 0), ERROR_INVALID_PARAMETER);

    // A subkey that RegSetValueW needs is made; deleting the default value leaves a key without one.
    ASSERT_EQ(RegSetValueW(mail, u"Foxmail\\shell\\open\\command", REG_SZ, u"C:\\Foxmail\\Foxmail.exe", 999),
              ERROR_SUCCESS);
    length = sizeof text;
    EXPECT_EQ(RegQueryValueW(mail, u"FOXMAIL\\shell\\open\\command", text, &length), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"C:\\Foxmail\\Foxmail.exe");
    EXPECT_EQ(RegDeleteValueW(mail, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(mail, u"", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(mail);
}

TEST_F(Registry, FaultSwitchesFailCallsWithTheirError) {
    HKEY key = create(HKEY_CURRENT_USER, kSuite);
    platform::setFault("RegSetValueExW", {.error = ERROR_ACCESS_DENIED, .detail = {}});
    EXPECT_EQ(setDword(key, u"Mode", 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(setDword(key, u"Mode", 1), ERROR_SUCCESS);
    platform::setFault("RegQueryValueExW", {.skip = 1, .error = ERROR_BADDB, .detail = {}});
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"Mode", nullptr, nullptr, nullptr, &size), ERROR_BADDB);
    platform::setFault("RegOpenKeyExW", {});
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSuite, 0, KEY_READ, &opened), ERROR_ACCESS_DENIED);
    EXPECT_EQ(opened, nullptr);
    RegCloseKey(key);
}

// Runs `child` in a forked process of this test and returns its exit status.
template <class F>
int inChildProcess(F child) {
    pid_t pid = fork();
    if (pid == 0) _exit(child());  // no test teardown in the child: the machine belongs to the parent
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(Registry, TheHiveIsSharedBetweenProcesses) {
    HKEY key = create(HKEY_CURRENT_USER, kSuite);
    ASSERT_EQ(setString(key, u"Status", u"idle"), ERROR_SUCCESS);
    int status = inChildProcess([] {
        HKEY child = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kSuite, 0, KEY_ALL_ACCESS, &child) != ERROR_SUCCESS) return 1;
        WCHAR seen[16] = {};
        DWORD size = sizeof seen;
        if (RegQueryValueExW(child, u"status", nullptr, nullptr, reinterpret_cast<BYTE*>(seen), &size) != ERROR_SUCCESS ||
            std::u16string(seen) != u"idle")
            return 2;
        return setString(child, u"Status", u"printing") == ERROR_SUCCESS ? 0 : 3;
    });
    ASSERT_EQ(status, 0);
    EXPECT_EQ(queryString(key, u"Status"), u"printing");
    RegCloseKey(key);
}

TEST_F(Registry, WritersInTwoProcessesLoseNothing) {
    HKEY key = create(HKEY_CURRENT_USER, kSuite);
    RegCloseKey(key);
    auto writeMany = [](const char16_t* prefix) {
        HKEY own = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kSuite, 0, KEY_ALL_ACCESS, &own) != ERROR_SUCCESS) return 1;
        for (DWORD i = 0; i < 60; ++i) {
            std::u16string name = prefix + platform::fromUtf8(std::to_string(i));
            if (setDword(own, name.c_str(), i) != ERROR_SUCCESS) return 2;
        }
        RegCloseKey(own);
        return 0;
    };
    pid_t pid = fork();
    if (pid == 0) _exit(writeMany(u"child"));
    EXPECT_EQ(writeMany(u"parent"), 0);
    int status = -1;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSuite, 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const char16_t* prefix : {u"child", u"parent"}) {
        for (DWORD i = 0; i < 60; ++i) {
            std::u16string name = prefix + platform::fromUtf8(std::to_string(i));
            DWORD value = 0, size = sizeof value;
            ASSERT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS)
                << platform::toUtf8(name);
            EXPECT_EQ(value, i);
        }
    }
    RegCloseKey(key);
}

TEST_F(Registry, InfoCountsDirectSubkeysAndValuesOfALiveKey) {
    HKEY key = create(HKEY_LOCAL_MACHINE, kSuite);
    RegCloseKey(create(key, u"A\\Deeper"));
    RegCloseKey(create(key, u"Longest"));
    ASSERT_EQ(setString(key, u"Name", u"abc"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, u"LongerName", 7), ERROR_SUCCESS);
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestValueName = 0, longestValue = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                               &longestValueName, &longestValue, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(longestSubkey, 7u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longestValueName, 10u);
    EXPECT_EQ(longestValue, 8u);
    // A relative name never begins with a backslash.
    HKEY refused = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\Maker\\Suite", 0, KEY_READ, &refused), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegDeleteKeyW(key, u"\\Longest"), ERROR_BAD_PATHNAME);
    HKEY gone = create(key, u"Gone");
    ASSERT_EQ(RegDeleteKeyW(key, u"Gone"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryInfoKeyW(gone, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_KEY_DELETED);
    RegCloseKey(gone);
    RegCloseKey(key);
}

}  // namespace
