// The machine's process table: resident processes, this process, opening, naming and ending them,
// waits on their handles.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"

namespace {

using platform::testing::Machine;

std::vector<DWORD> processIds() {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    EXPECT_TRUE(EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    ids.resize(bytes / sizeof(DWORD));
    return ids;
}

TEST(ProcessTable, ResidentsAndThisProcess) {
    Machine machine;
    platform::setProgramPath(u"C:\\Program Files\\Zandrel\\setup.exe");
    const DWORD resident = platform::placeProcess(u"C:\\Program Files\\Zandrel\\M2100\\Orlith.exe");
    const DWORD closed = platform::placeProcess(u"C:\\Windows\\System32\\csrss.exe", false);
    const std::vector<DWORD> ids = processIds();
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    for (DWORD id : {GetCurrentProcessId(), resident, closed}) EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end());
    // Too small a buffer gets as many as fit.
    DWORD one = 0, bytes = 0;
    ASSERT_TRUE(EnumProcesses(&one, sizeof one, &bytes));
    EXPECT_EQ(bytes, DWORD{sizeof one});

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, closed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});

    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId());
    ASSERT_TRUE(self);
    HMODULE module = nullptr;
    DWORD needed = 0;
    ASSERT_TRUE(EnumProcessModules(self, &module, sizeof module, &needed));
    EXPECT_EQ(module, GetModuleHandleW(nullptr));
    WCHAR name[6];
    EXPECT_EQ(GetModuleBaseNameW(self, module, name, 6), 5u);  // cut to the buffer
    EXPECT_EQ(std::u16string(name), u"setup");
    CloseHandle(self);

    HANDLE handle = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, resident);
    ASSERT_TRUE(handle);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(TerminateProcess(handle, 1));  // not opened to end it
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetModuleBaseNameW(handle, nullptr, name, 6), 0u);  // nor to read it
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    CloseHandle(handle);
}

TEST(ProcessTable, EndingAResidentSignalsItsHandles) {
    Machine machine;
    const DWORD resident = platform::placeProcess(u"C:\\Program Files\\Zandrel\\M2100\\Tesmar.exe");
    HANDLE watcher = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, resident);
    HANDLE ender = OpenProcess(PROCESS_TERMINATE, FALSE, resident);
    ASSERT_TRUE(watcher && ender);
    EXPECT_EQ(WaitForSingleObject(watcher, 0), DWORD{WAIT_TIMEOUT});
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(watcher, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    platform::setCallJournal(true);
    ASSERT_TRUE(TerminateProcess(ender, 42));
    EXPECT_EQ(WaitForSingleObject(watcher, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(watcher, &code));
    EXPECT_EQ(code, 42u);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(TerminateProcess(ender, 0));  // it has ended
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    const std::vector<platform::CallRecord> calls = platform::callJournal();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].arguments, platform::fromUtf8(std::to_string(resident)) + u", 42");
    EXPECT_EQ(calls[0].result, u"TRUE");
    EXPECT_EQ(calls[1].result, u"FALSE");
    CloseHandle(watcher);
    CloseHandle(ender);
    const std::vector<platform::ProcessEntry> table = platform::processTable();
    EXPECT_TRUE(std::none_of(table.begin(), table.end(), [&](const auto& entry) { return entry.processId == resident; }));
}

}  // namespace
