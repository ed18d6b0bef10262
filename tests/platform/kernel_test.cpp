// Kernel services of the layer: last error, heaps and their fault switches, critical sections, the
// virtual clock, debugger output, missing modules and engine palettes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/winddi.h"

namespace {

using platform::testing::Machine;

TEST(LastError, BelongsToTheThreadThatSetIt) {
    Machine machine;
    SetLastError(ERROR_INVALID_PARAMETER);
    DWORD seenByWorker = 12345, afterFailure = 0;
    std::thread worker([&] {
        seenByWorker = GetLastError();
        HANDLE file = CreateFileW(u"C:\\missing.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE);
        afterFailure = GetLastError();
    });
    worker.join();
    EXPECT_EQ(seenByWorker, 0u);
    EXPECT_EQ(afterFailure, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// ---- Heaps -------------------------------------------------------------------------------------

TEST(Heap, ZeroFlagsClearTheBlock) {
    Machine machine;
    auto* heapBlock = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 4096));
    auto* localBlock = static_cast<unsigned char*>(LocalAlloc(LPTR, 4096));
    ASSERT_NE(heapBlock, nullptr);
    ASSERT_NE(localBlock, nullptr);
    for (int i = 0; i < 4096; ++i) {
        ASSERT_EQ(heapBlock[i], 0) << i;
        ASSERT_EQ(localBlock[i], 0) << i;
    }
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, heapBlock));
    EXPECT_EQ(LocalFree(localBlock), nullptr);
}

TEST(Heap, FaultSwitchesFollowSkipTimesAndMinimumSize) {
    struct Call {
        SIZE_T bytes;
        bool fails;
    };
    struct Case {
        const char* what;
        platform::Fault fault;
        std::vector<Call> calls;
    };
    const Case cases[] = {
        {"next call", {}, {{16, true}, {16, false}}},
        {"skip one then two", {.skip = 1, .times = 2, .detail = {}}, {{16, false}, {16, true}, {16, true}, {16, false}}},
        {"every call", {.times = -1, .detail = {}}, {{1, true}, {1, true}, {1, true}}},
        // Calls below the size neither fail nor use up the skip.
        {"large only",
         {.skip = 1, .times = -1, .detail = {}, .minSize = 1000},
         {{10, false}, {2000, false}, {10, false}, {1000, true}, {999, false}, {5000, true}}},
    };
    for (const std::string function : {"HeapAlloc", "LocalAlloc"}) {
        const bool heap = function == "HeapAlloc";
        for (const Case& c : cases) {
            SCOPED_TRACE(function + ": " + c.what);
            Machine machine;
            platform::setFault(function, c.fault);
            for (size_t i = 0; i < c.calls.size(); ++i) {
                SetLastError(0xDEADBEEF);
                void* block = heap ? HeapAlloc(GetProcessHeap(), 0, c.calls[i].bytes)
                                   : LocalAlloc(LMEM_FIXED, c.calls[i].bytes);
                EXPECT_EQ(block == nullptr, c.calls[i].fails) << "call " << i;
                if (!block) {
                    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << "call " << i;
                } else if (heap) {
                    HeapFree(GetProcessHeap(), 0, block);
                } else {
                    LocalFree(block);
                }
            }
            EXPECT_EQ(platform::callCount(function), static_cast<int>(c.calls.size()));
        }
    }
}

TEST(Heap, SwitchOfOneFunctionLeavesTheOtherAloneAndCarriesItsError) {
    Machine machine;
    platform::setFault("HeapAlloc", {.times = -1, .error = ERROR_OUTOFMEMORY, .detail = {}});
    void* local = LocalAlloc(LMEM_FIXED, 64);
    EXPECT_NE(local, nullptr);
    LocalFree(local);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 64), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
    platform::clearFaults();
    void* heap = HeapAlloc(GetProcessHeap(), 0, 64);
    EXPECT_NE(heap, nullptr);
    HeapFree(GetProcessHeap(), 0, heap);
}

// ---- Critical sections -------------------------------------------------------------------------

TEST(CriticalSection, ExcludesOtherThreadsAndNests) {
    Machine machine;
    CRITICAL_SECTION cs;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 4000));
    EXPECT_EQ(cs.spinCount, 4000u);
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&cs);
            EnterCriticalSection(&cs);  // the owner may enter again
            long seen = counter;
            if (i % 64 == 0) std::this_thread::yield();  // widen the window a lost update needs
            counter = seen + 1;
            LeaveCriticalSection(&cs);
            LeaveCriticalSection(&cs);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(work);
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 4 * 20000);
    DeleteCriticalSection(&cs);

    platform::setFault("InitializeCriticalSectionAndSpinCount", {});
    CRITICAL_SECTION failed{};
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(InitializeCriticalSectionAndSpinCount(&failed, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

// ---- Clock -------------------------------------------------------------------------------------

TEST(VirtualClock, SleepAdvancesTheTickCountAndIsLogged) {
    Machine machine;
    EXPECT_TRUE(platform::sleepLog().empty());
    DWORD start = GetTickCount();
    ULONGLONG start64 = GetTickCount64();
    Sleep(250);
    Sleep(0);
    std::thread([] { Sleep(120000); }).join();  // a two-minute watchdog costs nothing
    EXPECT_EQ(GetTickCount() - start, 120250u);
    EXPECT_EQ(GetTickCount64() - start64, 120250u);
    EXPECT_EQ(platform::sleepLog(), (std::vector<DWORD>{250, 0, 120000}));

    platform::advanceClock(5000);  // moves the clock without a sleep
    EXPECT_EQ(GetTickCount() - start, 125250u);
    EXPECT_EQ(platform::sleepLog().size(), 3u);
    platform::clearSleepLog();
    EXPECT_TRUE(platform::sleepLog().empty());
}

// ---- Debugger output ---------------------------------------------------------------------------

TEST(DebugOutput, LinesReachTheLogAsUtf8WithoutTheirLineEnd) {
    Machine machine({.codePage = 1252});
    OutputDebugStringW(u"Rastrel: enable \u00e9t\u00e9 \u4e2d\r\n");
    OutputDebugStringA("caf\xe9 open\n");
    OutputDebugStringW(nullptr);
    platform::setMachineSettings({.codePage = 936});
    OutputDebugStringA("\xd6\xd0\xce\xc4");
    EXPECT_EQ(platform::debugLog(), (std::vector<std::string>{"Rastrel: enable \xc3\xa9t\xc3\xa9 \xe4\xb8\xad",
                                                              "caf\xc3\xa9 open", "", "\xe4\xb8\xad\xe6\x96\x87"}));

    // The same lines are kept in the machine for whole-program runs.
    std::ifstream file(machine.root() / "debug.log");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find(" caf\xc3\xa9 open\n"), std::string::npos) << text.str();

    platform::clearDebugLog();
    EXPECT_TRUE(platform::debugLog().empty());
}

// ---- Modules -----------------------------------------------------------------------------------

TEST(Modules, MissingModuleIsNotFound) {
    Machine machine;
    for (const char16_t* name : {u"NoSuchModule.dll", u"NoSuchModule", u"C:\\Windows\\System32\\Missing.dll"}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(LoadLibraryW(name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
}

TEST(Modules, TheProgramsOwnHandleAndCommandLine) {
    Machine machine;
    platform::setProgramPath(u"C:\\Program Files\\Scan Button\\Orlith.exe");
    platform::setCommandLine({});
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_NE(self, nullptr);
    EXPECT_EQ(GetModuleHandleW(nullptr), self);
    WCHAR path[MAX_PATH] = {};
    EXPECT_GT(GetModuleFileNameW(self, path, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(path), u"C:\\Program Files\\Scan Button\\Orlith.exe");
    EXPECT_EQ(std::u16string(GetCommandLineW()), u"\"C:\\Program Files\\Scan Button\\Orlith.exe\"");
    platform::setCommandLine(u"Orlith.exe /push 1");
    EXPECT_EQ(std::u16string(GetCommandLineW()), u"Orlith.exe /push 1");
    platform::setCommandLine({});
}

// ---- Engine palettes ---------------------------------------------------------------------------

TEST(EnginePalette, KeepsACopyOfItsColoursUntilDeleted) {
    Machine machine;
    size_t live = platform::livePaletteCount();
    ULONG colors[] = {0x00000000, 0x00FFFFFF, 0x00808080};
    HPALETTE indexed = EngCreatePalette(PAL_INDEXED, 3, colors, 0, 0, 0);
    ASSERT_NE(indexed, nullptr);
    colors[0] = 0x12345678;  // the palette holds its own copy
    HPALETTE fields = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, 0xFF0000, 0x00FF00, 0x0000FF);
    ASSERT_NE(fields, nullptr);
    EXPECT_NE(indexed, fields);
    EXPECT_EQ(platform::livePaletteCount(), live + 2);
    EXPECT_EQ(platform::paletteColors(indexed), (std::vector<ULONG>{0x00000000, 0x00FFFFFF, 0x00808080}));
    EXPECT_EQ(platform::paletteColors(fields), (std::vector<ULONG>{0xFF0000, 0x00FF00, 0x0000FF}));

    EXPECT_TRUE(EngDeletePalette(indexed));
    EXPECT_FALSE(platform::paletteColors(indexed).has_value());
    EXPECT_FALSE(EngDeletePalette(indexed));
    EXPECT_TRUE(EngDeletePalette(fields));
    EXPECT_EQ(platform::livePaletteCount(), live);
}

TEST(EnginePalette, RefusesBadRequestsAndFaults) {
    Machine machine;
    size_t live = platform::livePaletteCount();
    ULONG colors[] = {0, 0xFFFFFF};
    EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 0, colors, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 2, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(EngCreatePalette(0x80, 2, colors, 0, 0, 0), nullptr);
    platform::setFault("EngCreatePalette", {});
    EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0), nullptr);
    HPALETTE after = EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0);
    EXPECT_NE(after, nullptr);
    EngDeletePalette(after);
    EXPECT_EQ(platform::livePaletteCount(), live);
    EXPECT_FALSE(platform::paletteColors(nullptr).has_value());
}

}  // namespace
