// The machine's services: the control manager's answers and errors, dependents, access, pending phases
// in machine time, and files a running service holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/services.h"

namespace {

using platform::testing::Machine;

struct Opened {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    Opened(const char16_t* name, DWORD access) {
        manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        service = OpenServiceW(manager, name, access);
    }
    ~Opened() {
        if (service) CloseServiceHandle(service);
        CloseServiceHandle(manager);
    }
};

TEST(Services, AFreshMachinesServicesAndTheirErrors) {
    Machine machine;
    {
        Opened spooler(u"SPOOLER", SERVICE_QUERY_STATUS);  // names in any case
        ASSERT_TRUE(spooler.service);
        SERVICE_STATUS status{};
        ASSERT_TRUE(QueryServiceStatus(spooler.service, &status));
        EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_RUNNING});
        // The handle was not opened to stop it.
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(ControlService(spooler.service, SERVICE_CONTROL_STOP, &status));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    }
    Opened missing(u"NoSuchService", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(missing.service);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SERVICE_DOES_NOT_EXIST});

    Opened still(u"stisvc", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ControlService(still.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DEPENDENT_SERVICES_RUNNING});
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(StartServiceW(still.service, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SERVICE_ALREADY_RUNNING});

    // Dependents: the size first, then the list with its strings.
    DWORD needed = 0, count = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(EnumDependentServicesW(still.service, SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MORE_DATA});
    std::vector<BYTE> buffer(needed);
    auto* list = reinterpret_cast<LPENUM_SERVICE_STATUSW>(buffer.data());
    ASSERT_TRUE(EnumDependentServicesW(still.service, SERVICE_ACTIVE, list, needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(std::u16string(list[0].lpServiceName), u"WiaRpc");
    EXPECT_EQ(list[0].ServiceStatus.dwCurrentState, DWORD{SERVICE_RUNNING});
    ASSERT_TRUE(EnumDependentServicesW(still.service, SERVICE_INACTIVE, list, needed, &needed, &count));
    EXPECT_EQ(count, 0u);

    {
        Opened events(u"wiarpc", SERVICE_STOP | SERVICE_QUERY_STATUS);
        ASSERT_TRUE(ControlService(events.service, SERVICE_CONTROL_STOP, &status));
        EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_STOPPED});
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(ControlService(events.service, SERVICE_CONTROL_STOP, &status));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_SERVICE_NOT_ACTIVE});
    }
    ASSERT_TRUE(ControlService(still.service, SERVICE_CONTROL_STOP, &status));
    // Starting a service starts what it depends on.
    Opened events(u"WiaRpc", SERVICE_START);
    ASSERT_TRUE(StartServiceW(events.service, 0, nullptr));
    EXPECT_EQ(platform::service(u"stisvc")->state, DWORD{SERVICE_RUNNING});
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(events.service)));  // CloseServiceHandle closes it
}

TEST(Services, PendingPhasesRunInMachineTime) {
    Machine machine;
    platform::installService({u"Slow", u"A slow service", SERVICE_RUNNING, {}, {2500, 1000, 1000}, {}, {}});
    Opened slow(u"Slow", SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_START);
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(slow.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
    EXPECT_EQ(status.dwWaitHint, 1000u);
    EXPECT_EQ(status.dwCheckPoint, 1u);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ControlService(slow.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL});
    Sleep(2000);
    SERVICE_STATUS_PROCESS process{};
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceStatusEx(slow.service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&process),
                                     sizeof process, &needed));
    EXPECT_EQ(process.dwCurrentState, DWORD{SERVICE_STOP_PENDING});
    EXPECT_EQ(process.dwCheckPoint, 3u);
    Sleep(500);
    ASSERT_TRUE(QueryServiceStatus(slow.service, &status));
    EXPECT_EQ(status.dwCurrentState, DWORD{SERVICE_STOPPED});
    EXPECT_EQ(status.dwCheckPoint, 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(QueryServiceStatusEx(slow.service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&process),
                                      sizeof process - 1, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(needed, DWORD{sizeof process});
}

TEST(Services, ARunningServiceHoldsItsFiles) {
    Machine machine;
    const char16_t kDriver[] = u"C:\\Windows\\System32\\ZDWiaDrv.dll";
    machine.writeFile(kDriver, "driver");
    platform::ServiceSetup still = *platform::service(u"stisvc");
    still.heldFiles = {u"c:\\windows\\system32\\zdwiadrv.dll"};
    platform::installService(still);
    platform::removeService(u"WiaRpc");
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileW(kDriver));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    Opened opened(u"stisvc", SERVICE_STOP);
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(opened.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(DeleteFileW(kDriver));
}

}  // namespace
