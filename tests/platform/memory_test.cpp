// Virtual memory and file mappings over files on the machine's drives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/memory.h"

namespace {

using platform::testing::Machine;

const char16_t kFile[] = u"C:\\data.bin";

HANDLE open(DWORD access) {
    return CreateFileW(kFile, access, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(VirtualMemory, ZeroedPagesFreedOnlyByTheirBase) {
    Machine machine;
    auto* block = static_cast<BYTE*>(VirtualAlloc(nullptr, 100000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0] | block[99999], 0);
    block[99999] = 7;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(VirtualFree(block + 4096, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    platform::setFault("VirtualAlloc", platform::Fault().atLeast(1 << 20));
    EXPECT_NE(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(FileMappings, ViewsReadAndWriteTheFile) {
    Machine machine;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    machine.writeFile(kFile, bytes);
    HANDLE file = open(GENERIC_READ | GENERIC_WRITE);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    CloseHandle(file);  // the mapping keeps the file
    auto* whole = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::memcmp(whole, bytes.data(), bytes.size()), 0);
    // A view from the second allocation unit sees the same bytes.
    auto* second = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 1000));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second[0], static_cast<BYTE>(65536 * 7));
    whole[65536] = 0xAB;
    EXPECT_EQ(second[0], 0xAB);
    CloseHandle(mapping);  // views outlive their mapping
    EXPECT_TRUE(UnmapViewOfFile(second));
    EXPECT_TRUE(UnmapViewOfFile(whole));
    EXPECT_EQ(static_cast<BYTE>((*machine.readFile(kFile))[65536]), 0xAB);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(UnmapViewOfFile(whole));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST(FileMappings, RefusedMappingsAndViews) {
    Machine machine;
    machine.writeFile(kFile, std::string(1000, 'x'));
    HANDLE readOnly = open(GENERIC_READ);
    HANDLE readWrite = open(GENERIC_READ | GENERIC_WRITE);
    HANDLE mapping = CreateFileMappingW(readOnly, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    struct Case {
        const char* name;
        std::function<void*()> call;
        DWORD error;
    };
    const Case cases[] = {
        {"write mapping of a read-only handle",
         [&] { return CreateFileMappingW(readOnly, nullptr, PAGE_READWRITE, 0, 0, nullptr); }, ERROR_ACCESS_DENIED},
        {"a read-only file grown", [&] { return CreateFileMappingW(readOnly, nullptr, PAGE_READONLY, 0, 5000, nullptr); },
         ERROR_NOT_ENOUGH_MEMORY},
        {"a name", [&] { return CreateFileMappingW(readWrite, nullptr, PAGE_READWRITE, 0, 0, u"Local\\shared"); },
         ERROR_NOT_SUPPORTED},
        {"not a file", [&] { return CreateFileMappingW(mapping, nullptr, PAGE_READONLY, 0, 0, nullptr); },
         ERROR_INVALID_HANDLE},
        {"memory of no size",
         [&] { return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"an unaligned view", [&] { return MapViewOfFile(mapping, FILE_MAP_READ, 0, 100, 10); }, ERROR_MAPPED_ALIGNMENT},
        {"a view past the end", [&] { return MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1001); }, ERROR_ACCESS_DENIED},
        {"writing a read-only mapping", [&] { return MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0); },
         ERROR_ACCESS_DENIED},
        {"a mapping that fails", [&] {
             platform::setFault("CreateFileMapping", platform::Fault());
             return CreateFileMappingW(readOnly, nullptr, PAGE_READONLY, 0, 0, nullptr);
         }, ERROR_NOT_ENOUGH_MEMORY},
        {"a view that fails", [&] {
             platform::setFault("MapViewOfFile", platform::Fault());
             return MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
         }, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(c.call(), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
        platform::clearFaults();
    }
    // An empty file has nothing to map; a read-write file grows to the size asked for.
    CloseHandle(mapping);
    machine.writeFile(u"C:\\empty.bin", "");
    HANDLE empty = CreateFileW(u"C:\\empty.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateFileMappingW(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    HANDLE grown = CreateFileMappingW(empty, nullptr, PAGE_READWRITE, 0, 70000, nullptr);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(GetFileSize(empty, nullptr), 70000u);
    CloseHandle(grown);
    CloseHandle(empty);
    CloseHandle(readOnly);
    CloseHandle(readWrite);
}

TEST(FileMappings, MemoryThatBacksNoFile) {
    Machine machine;
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 131072, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* a = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    auto* b = static_cast<BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 0));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a[131071], 0);
    a[65537] = 42;
    EXPECT_EQ(b[1], 42);
    UnmapViewOfFile(a);
    UnmapViewOfFile(b);
    CloseHandle(mapping);
}

}  // namespace
