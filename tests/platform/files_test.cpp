// Windows paths on the machine's drives, file handles, temporary files and shell folders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

namespace fs = std::filesystem;

namespace {

using platform::testing::Machine;

bool isBelow(const fs::path& path, const fs::path& folder) {
    auto [f, p] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    if (f != folder.end()) return false;
    for (; p != path.end(); ++p)
        if (*p == "..") return false;
    return true;
}

class Files : public ::testing::Test {
protected:
    Machine machine{{.codePage = 1252}};
    fs::path drive(char letter = 'c') const { return machine.root() / "drives" / std::string(1, letter); }

    static HANDLE open(std::u16string_view name, DWORD access, DWORD disposition, DWORD share = 0) {
        return CreateFileW(std::u16string(name).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    static void write(HANDLE file, std::string_view bytes) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }
    static std::string read(HANDLE file, DWORD count) {
        std::string bytes(count, '\0');
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(file, bytes.data(), count, &got, nullptr));
        bytes.resize(got);
        return bytes;
    }
};

// ---- Paths -------------------------------------------------------------------------------------

TEST_F(Files, PathsMapOntoTheDriveFolders) {
    fs::create_directories(drive('d') / "Scans");  // a second drive of the machine
    struct Case {
        std::u16string path;
        fs::path host;  // below the machine root
    };
    const Case cases[] = {
        {u"C:\\", "drives/c"},
        {u"C:\\Windows\\Temp\\a.txt", "drives/c/Windows/Temp/a.txt"},
        {u"c:/Windows/Temp/a.txt", "drives/c/Windows/Temp/a.txt"},
        {u"C:\\\\Windows\\\\\\Temp//\\a.txt", "drives/c/Windows/Temp/a.txt"},
        {u"C:\\Windows\\.\\Temp\\.\\a.txt", "drives/c/Windows/Temp/a.txt"},
        {u"C:\\Windows\\System32\\..\\Temp\\a.txt", "drives/c/Windows/Temp/a.txt"},
        {u"C:\\..\\..\\..\\Windows", "drives/c/Windows"},
        {u"C:\\Windows\\..\\..\\..\\..\\etc\\passwd", "drives/c/etc/passwd"},
        {u"\\\\?\\C:\\Windows\\Temp", "drives/c/Windows/Temp"},
        {u"C:\\WINDOWS\\temp\\New.txt", "drives/c/Windows/Temp/New.txt"},  // existing names keep their case
        {u"C:\\Windows\\Temp\\report.txt. . .", "drives/c/Windows/Temp/report.txt"},
        {u"C:\\Program Files \\x", "drives/c/Program Files/x"},
        {u"d:\\scans\\page1.png", "drives/d/Scans/page1.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.path));
        auto host = platform::hostPath(c.path);
        ASSERT_TRUE(host.has_value());
        EXPECT_EQ(*host, machine.root() / c.host);
    }
}

TEST_F(Files, PathsTheMachineRefuses) {
    struct Case {
        std::u16string path;
        DWORD error;
    };
    const Case cases[] = {
        {u"", ERROR_PATH_NOT_FOUND},
        {u"\\\\server\\share\\file.txt", ERROR_BAD_PATHNAME},
        {u"//server/share/file.txt", ERROR_BAD_PATHNAME},
        {u"E:\\file.txt", ERROR_PATH_NOT_FOUND},  // no such drive
        {u"1:\\file.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\a<b.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\a>b.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\a|b.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\a\"b.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\what?.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\*.txt", ERROR_INVALID_NAME},
        {u"C:\\Temp\\a:stream", ERROR_INVALID_NAME},
        {u"C:\\Temp\\tab\there.txt", ERROR_INVALID_NAME},
        {u"C:\\" + std::u16string(257, u'x'), ERROR_FILENAME_EXCED_RANGE},  // MAX_PATH characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.path.substr(0, 40)));
        EXPECT_FALSE(platform::hostPath(c.path).has_value());
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(open(c.path, GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    // One character less than the limit is a path.
    std::u16string longest = u"C:\\" + std::u16string(150, u'a') + u"\\" + std::u16string(105, u'b');
    ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_TRUE(platform::hostPath(longest).has_value());
}

TEST_F(Files, NothingOutsideTheMachineRootIsTouched) {
    const std::string name = "escape-" + std::to_string(getpid()) + ".txt";
    const std::u16string wide = platform::fromUtf8(name);
    const std::u16string hostile[] = {
        u"C:\\..\\" + wide,
        u"C:\\..\\..\\..\\..\\..\\..\\" + wide,
        u"C:\\Windows\\..\\..\\..\\" + wide,
        u"C:/../../" + wide,
        u"\\..\\..\\" + wide,
        u"..\\..\\" + wide,
        u"\\\\?\\C:\\..\\..\\" + wide,
        u"C:\\...\\..\\..\\" + wide,
        u"C:\\.. \\.. \\" + wide,
    };
    for (const auto& path : hostile) {
        SCOPED_TRACE(platform::toUtf8(path));
        auto host = platform::hostPath(path);
        if (host) {
            EXPECT_TRUE(isBelow(*host, machine.root() / "drives")) << *host;
        }
        HANDLE file = open(path, GENERIC_WRITE, CREATE_ALWAYS);
        if (file != INVALID_HANDLE_VALUE) {
            write(file, "x");
            CloseHandle(file);
        }
        for (fs::path outside = machine.root(); outside != outside.root_path(); outside = outside.parent_path())
            EXPECT_FALSE(fs::exists(outside / name)) << outside / name;
        EXPECT_FALSE(fs::exists(machine.root() / "drives" / name));
    }
    EXPECT_TRUE(fs::exists(drive() / name));
}

TEST_F(Files, ExistingNamesMatchWithoutRegardToCase) {
    machine.writeFile(u"C:\\Data\\Report.TXT", "first");
    machine.writeFile(u"C:\\\u00c4rger\\\u00d6lfass.txt", "second");
    HANDLE file = open(u"c:\\DATA\\report.txt", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(read(file, 64), "first");
    CloseHandle(file);
    file = open(u"C:\\\u00e4RGER\\\u00f6LFASS.TXT", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(read(file, 64), "second");
    CloseHandle(file);

    // A new file in an existing folder goes into that folder, and CREATE_NEW sees the file of
    // another case as the same file.
    file = open(u"C:\\data\\Summary.txt", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(drive() / "Data" / "Summary.txt"));
    EXPECT_FALSE(fs::exists(drive() / "data"));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(open(u"C:\\Data\\REPORT.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(machine.filesIn(u"C:\\Data"), (std::vector<std::string>{"Report.TXT", "Summary.txt"}));
}

TEST_F(Files, AnsiNamesGoThroughTheMachineCodePage) {
    HANDLE file = CreateFileA("C:\\Users\\User\\Documents\\caf\xe9.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(drive() / "Users" / "User" / "Documents" / "caf\xc3\xa9.txt"));
    EXPECT_TRUE(DeleteFileA("C:\\Users\\User\\Documents\\CAF\xc9.TXT"));  // É folds to é

    platform::setMachineSettings({.codePage = 936});
    file = CreateFileA("C:\\Users\\User\\Documents\\\xd6\xd0\xce\xc4.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                       nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(drive() / "Users" / "User" / "Documents" / "\xe4\xb8\xad\xe6\x96\x87.txt"));
}

// ---- CreateFile --------------------------------------------------------------------------------

TEST_F(Files, CreateDispositions) {
    struct Case {
        const char* what;
        DWORD disposition;
        bool existing;
        DWORD error;         // GetLastError after the call
        bool opened;
        const char* after;   // the file's bytes afterwards; nullptr: no file
    };
    const Case cases[] = {
        {"CREATE_NEW new", CREATE_NEW, false, ERROR_SUCCESS, true, ""},
        {"CREATE_NEW existing", CREATE_NEW, true, ERROR_FILE_EXISTS, false, "old bytes"},
        {"CREATE_ALWAYS new", CREATE_ALWAYS, false, ERROR_SUCCESS, true, ""},
        {"CREATE_ALWAYS existing", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, true, ""},
        {"OPEN_EXISTING new", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, false, nullptr},
        {"OPEN_EXISTING existing", OPEN_EXISTING, true, ERROR_SUCCESS, true, "old bytes"},
        {"OPEN_ALWAYS new", OPEN_ALWAYS, false, ERROR_SUCCESS, true, ""},
        {"OPEN_ALWAYS existing", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, true, "old bytes"},
        {"TRUNCATE_EXISTING new", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, false, nullptr},
        {"TRUNCATE_EXISTING existing", TRUNCATE_EXISTING, true, ERROR_SUCCESS, true, ""},
        {"bad disposition", 9, true, ERROR_INVALID_PARAMETER, false, "old bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::u16string name = u"C:\\Users\\User\\Documents\\letter.txt";
        std::error_code ec;
        fs::remove(machine.host(name), ec);
        if (c.existing) machine.writeFile(name, "old bytes");
        SetLastError(0xDEADBEEF);  // a success must not leave a stale error behind
        HANDLE file = open(u"c:\\users\\user\\documents\\LETTER.TXT", GENERIC_READ | GENERIC_WRITE, c.disposition);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opened);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
        auto bytes = machine.readFile(name);
        EXPECT_EQ(bytes.has_value(), c.after != nullptr);
        if (bytes && c.after) {
            EXPECT_EQ(*bytes, c.after);
        }
    }
    // A missing folder gives ERROR_PATH_NOT_FOUND whatever the disposition.
    for (DWORD disposition : {CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(open(u"C:\\No\\Such\\Folder\\f.txt", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << disposition;
    }
    EXPECT_FALSE(fs::exists(drive() / "No"));
    // A folder is not a file.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(open(u"C:\\Windows", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Files, ReadWriteSeekAndSize) {
    HANDLE file = open(u"C:\\Windows\\Temp\\data.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    write(file, "hello world");
    EXPECT_EQ(GetFileSize(file, nullptr), 11u);

    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    EXPECT_EQ(read(file, 100), "world");
    EXPECT_EQ(read(file, 100), "");  // at the end: success with nothing read
    EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_END), 6u);
    EXPECT_EQ(SetFilePointer(file, -6, nullptr, FILE_CURRENT), 0u);
    EXPECT_EQ(read(file, 5), "hello");

    // Before the start: refused, the position stays.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetFilePointer(file, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 5u);

    // Past the end: writing there fills the gap with zeros.
    EXPECT_EQ(SetFilePointer(file, 16, nullptr, FILE_BEGIN), 16u);
    write(file, "!");
    EXPECT_EQ(GetFileSize(file, nullptr), 17u);
    EXPECT_EQ(*machine.readFile(u"C:\\Windows\\Temp\\data.bin"), std::string("hello world\0\0\0\0\0!", 17));

    // 64-bit positions through the high part.
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(file, 0x10, &high, FILE_BEGIN), 0x10u);
    EXPECT_EQ(high, 1);
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 0x10u);
    EXPECT_EQ(high, 1);
    DWORD sizeHigh = 99;
    EXPECT_EQ(GetFileSize(file, &sizeHigh), 17u);
    EXPECT_EQ(sizeHigh, 0u);
    EXPECT_TRUE(CloseHandle(file));

    // A closed handle is gone.
    DWORD count = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReadFile(file, &count, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
}

TEST_F(Files, AccessRightsOfTheHandleAreKept) {
    machine.writeFile(u"C:\\Windows\\Temp\\a.txt", "abc");
    HANDLE reader = open(u"C:\\Windows\\Temp\\a.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
    HANDLE writer = open(u"C:\\Windows\\Temp\\b.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD done = 7;
    char byte = 'x';
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WriteFile(reader, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(done, 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(reader);
    CloseHandle(writer);
    EXPECT_EQ(*machine.readFile(u"C:\\Windows\\Temp\\a.txt"), "abc");
}

TEST_F(Files, WriteFaults) {
    struct Case {
        const char* what;
        platform::Fault fault;
        BOOL firstOk;
        DWORD firstWritten;
        DWORD firstError;
        std::string bytes;  // the file after the faulted call and one more of "0123456789"
    };
    const Case cases[] = {
        {"fail", {}, FALSE, 0, ERROR_WRITE_FAULT, "0123456789"},
        {"fail with disk full", {.error = ERROR_DISK_FULL, .detail = {}}, FALSE, 0, ERROR_DISK_FULL, "0123456789"},
        {"part then fail", {.partial = 4, .detail = {}}, FALSE, 4, ERROR_WRITE_FAULT, "01230123456789"},
        {"only part", {.partial = 4, .succeed = true, .detail = {}}, TRUE, 4, 0, "01230123456789"},
        {"part larger than the call", {.partial = 50, .succeed = true, .detail = {}}, TRUE, 10, 0, "01234567890123456789"},
        {"small writes pass", {.detail = {}, .minSize = 11}, TRUE, 10, 0, "01234567890123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE file = open(u"C:\\Windows\\Temp\\out.bin", GENERIC_WRITE, CREATE_ALWAYS);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        platform::clearFaults();
        platform::setFault("WriteFile", c.fault);
        DWORD written = 99;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(WriteFile(file, "0123456789", 10, &written, nullptr), c.firstOk);
        EXPECT_EQ(written, c.firstWritten);
        if (!c.firstOk) {  // a successful write promises no code
            EXPECT_EQ(GetLastError(), c.firstError);
        }
        EXPECT_TRUE(WriteFile(file, "0123456789", 10, &written, nullptr));
        EXPECT_EQ(written, 10u);
        CloseHandle(file);
        EXPECT_EQ(*machine.readFile(u"C:\\Windows\\Temp\\out.bin"), c.bytes);
    }
}

TEST_F(Files, DeleteHonoursTheShareModeOfOpenHandles) {
    machine.writeFile(u"C:\\Windows\\Temp\\held.txt", "x");
    HANDLE file = open(u"C:\\Windows\\Temp\\held.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\WINDOWS\\TEMP\\HELD.TXT"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(machine.readFile(u"C:\\Windows\\Temp\\held.txt").has_value());
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\Temp\\held.txt"));
    EXPECT_FALSE(machine.readFile(u"C:\\Windows\\Temp\\held.txt").has_value());

    machine.writeFile(u"C:\\Windows\\Temp\\shared.txt", "x");
    file = open(u"C:\\Windows\\Temp\\shared.txt", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\Temp\\shared.txt"));
    CloseHandle(file);
    EXPECT_FALSE(machine.readFile(u"C:\\Windows\\Temp\\shared.txt").has_value());

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\Temp\\shared.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\No\\Folder\\shared.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\Temp"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Files, DeleteOnCloseAndAttributes) {
    HANDLE file = CreateFileW(u"C:\\Windows\\Temp\\scratch.tmp", GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\scratch.tmp") & FILE_ATTRIBUTE_DIRECTORY, 0u);
    CloseHandle(file);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\scratch.tmp"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(u"c:\\windows"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    EXPECT_TRUE(CreateDirectoryW(u"C:\\Windows\\Temp\\Job", nullptr));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CreateDirectoryW(u"C:\\windows\\temp\\JOB", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CreateDirectoryW(u"C:\\Windows\\Temp\\Missing\\Job", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    machine.writeFile(u"C:\\Windows\\Temp\\Job\\page.bin", "p");
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(RemoveDirectoryW(u"C:\\Windows\\Temp\\Job"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\Temp\\Job\\page.bin"));
    EXPECT_TRUE(RemoveDirectoryW(u"C:\\Windows\\Temp\\job"));
}

// ---- Temporary files ---------------------------------------------------------------------------

TEST_F(Files, TempPathIsTheUsersLocalTempFolder) {
    const std::u16string expected = u"C:\\Users\\User\\AppData\\Local\\Temp\\";
    DWORD needed = GetTempPathW(0, nullptr);
    EXPECT_EQ(needed, expected.size() + 1);
    WCHAR small[8];
    EXPECT_EQ(GetTempPathW(8, small), expected.size() + 1);
    WCHAR buffer[MAX_PATH + 1];
    ASSERT_EQ(GetTempPathW(needed, buffer), expected.size());
    EXPECT_EQ(std::u16string(buffer), expected);
    EXPECT_TRUE(fs::is_directory(machine.host(buffer)));
    char narrow[MAX_PATH + 1];
    ASSERT_EQ(GetTempPathA(sizeof narrow, narrow), expected.size());
    EXPECT_EQ(std::string(narrow), platform::toUtf8(expected));
}

TEST_F(Files, TempFileNames) {
    WCHAR name[MAX_PATH];
    UINT number = GetTempFileNameW(u"C:\\Windows\\Temp", u"report", 0, name);
    ASSERT_NE(number, 0u);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    EXPECT_EQ(std::u16string(name), u"C:\\Windows\\Temp\\rep" + platform::fromUtf8(hex) + u".TMP");
    auto bytes = machine.readFile(name);  // unique 0: the file is made, empty
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, "");

    // Every call finds a name of its own.
    std::set<std::u16string> names{name};
    for (int i = 0; i < 20; ++i) {
        ASSERT_NE(GetTempFileNameW(u"C:\\Windows\\Temp\\", u"re", 0, name), 0u);
        EXPECT_TRUE(names.insert(name).second) << platform::toUtf8(name);
        EXPECT_EQ(std::u16string(name).find(u"C:\\Windows\\Temp\\re"), 0u);
    }

    // A given number: the name only, in upper-case hex, and no file.
    EXPECT_EQ(GetTempFileNameW(u"C:\\Windows\\Temp", u"pdf", 0xABCD, name), 0xABCDu);
    EXPECT_EQ(std::u16string(name), u"C:\\Windows\\Temp\\pdfABCD.TMP");
    EXPECT_FALSE(machine.readFile(name).has_value());
    EXPECT_EQ(GetTempFileNameW(u"C:\\Windows\\Temp", nullptr, 0x1F, name), 0x1Fu);
    EXPECT_EQ(std::u16string(name), u"C:\\Windows\\Temp\\1F.TMP");

    char narrow[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA("C:\\Windows\\Temp", "caf\xe9s", 0x12, narrow), 0x12u);
    EXPECT_EQ(std::string(narrow), "C:\\Windows\\Temp\\caf12.TMP");
    EXPECT_EQ(GetTempFileNameA("C:\\Windows\\Temp", "\xe9t\xe9s", 0x12, narrow), 0x12u);
    EXPECT_EQ(std::string(narrow), "C:\\Windows\\Temp\\\xe9t\xe9" "12.TMP");
    ASSERT_NE(GetTempFileNameA("C:\\Windows\\Temp", "abc", 0, narrow), 0u);
    EXPECT_TRUE(machine.readFile(platform::fromUtf8(narrow)).has_value());

    // Not a folder of the machine.
    machine.writeFile(u"C:\\Windows\\Temp\\plain.txt", "");
    for (const char16_t* folder : {u"C:\\No\\Such\\Folder", u"C:\\Windows\\Temp\\plain.txt", u"\\\\srv\\tmp"}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetTempFileNameW(folder, u"x", 0, name), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY)) << platform::toUtf8(folder);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetTempFileNameW(folder, u"x", 5, name), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY)) << platform::toUtf8(folder);
    }
}

// ---- Shell folders -----------------------------------------------------------------------------

TEST(ShellFolders, KnownFoldersOfTheUser) {
    Machine machine({.codePage = 1252, .userName = "Jos\xc3\xa9"});
    const std::u16string user = u"C:\\Users\\Jos\u00e9";
    struct Case {
        int csidl;
        std::u16string path;
    };
    const Case cases[] = {
        {CSIDL_DESKTOP, user + u"\\Desktop"},
        {CSIDL_DESKTOPDIRECTORY, user + u"\\Desktop"},
        {CSIDL_PERSONAL, user + u"\\Documents"},
        {CSIDL_MYPICTURES, user + u"\\Pictures"},
        {CSIDL_PROFILE, user},
        {CSIDL_APPDATA, user + u"\\AppData\\Roaming"},
        {CSIDL_LOCAL_APPDATA, user + u"\\AppData\\Local"},
        {CSIDL_TEMPLATES, user + u"\\AppData\\Roaming\\Microsoft\\Windows\\Templates"},
        {CSIDL_COMMON_APPDATA, u"C:\\ProgramData"},
        {CSIDL_WINDOWS, u"C:\\Windows"},
        {CSIDL_SYSTEM, u"C:\\Windows\\System32"},
        {CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
        {CSIDL_PROGRAM_FILESX86, u"C:\\Program Files (x86)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.csidl);
        WCHAR wide[MAX_PATH];
        ASSERT_EQ(SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, wide), S_OK);
        EXPECT_EQ(std::u16string(wide), c.path);
        EXPECT_TRUE(fs::is_directory(machine.host(wide)));
        char narrow[MAX_PATH];
        ASSERT_EQ(SHGetFolderPathA(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, narrow), S_OK);
        WCHAR back[MAX_PATH];
        ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, narrow, -1, back, MAX_PATH), 0);
        EXPECT_EQ(std::u16string(back), c.path);  // the ANSI path is in the machine's code page
    }
    WCHAR wide[MAX_PATH] = u"junk";
    EXPECT_TRUE(FAILED(SHGetFolderPathW(nullptr, 0x7E, nullptr, 0, wide)));
    EXPECT_EQ(wide[0], 0);
}

TEST(ShellFolders, MissingFolderIsMadeOnlyWhenAsked) {
    Machine machine;
    fs::remove_all(machine.host(u"C:\\Users\\User\\Pictures"));
    WCHAR path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, 0, path), E_FAIL);
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_MYPICTURES, FALSE));
    EXPECT_FALSE(fs::exists(machine.host(u"C:\\Users\\User\\Pictures")));
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES | CSIDL_FLAG_CREATE, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::u16string(path), u"C:\\Users\\User\\Pictures");
    EXPECT_TRUE(fs::is_directory(machine.host(u"C:\\Users\\User\\Pictures")));
    fs::remove_all(machine.host(u"C:\\Users\\User\\Pictures"));
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_MYPICTURES, TRUE));
    EXPECT_TRUE(fs::is_directory(machine.host(u"C:\\Users\\User\\Pictures")));
}

TEST(ShellFolders, FaultStrikesOnlyTheFolderOfItsDetail) {
    Machine machine;
    platform::setFault("SHGetFolderPath", {.times = -1, .detail = std::to_string(CSIDL_LOCAL_APPDATA)});
    WCHAR path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path), E_FAIL);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path), E_FAIL);
    char narrow[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, narrow), E_FAIL);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path), S_OK);
    // The temporary folder lives below it, so it fails too.
    EXPECT_EQ(GetTempPathW(MAX_PATH, path), 0u);
    platform::clearFaults();
    EXPECT_GT(GetTempPathW(MAX_PATH, path), 0u);
}

}  // namespace
