// The uninstaller's system queries on machines set up for them: the version table, the processor width,
// the administrator check and the restart, and each call failing in turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SystemQueries.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/security.h"

namespace {

using platform::Fault;
using platform::testing::Machine;

struct VersionCase {
    DWORD platformId, major, minor;
    BYTE productType;
    int serverR2;
    bool extendedFails;
    int expected;
};

// Workstation 1, server 3; a failing extended record leaves only the basic one.
const VersionCase kVersions[] = {
    {2, 5, 1, 1, 0, false, 7},   {2, 5, 1, 3, 0, true, 7},
    {2, 5, 2, 3, 0, true, 8},    {2, 5, 2, 1, 0, false, 14},  {2, 5, 2, 3, 1, false, 12}, {2, 5, 2, 3, 0, false, 8},
    {2, 6, 0, 1, 0, true, 0},    {2, 6, 0, 1, 0, false, 9},   {2, 6, 0, 3, 0, false, 10},
    {2, 6, 1, 1, 0, false, 11},  {2, 6, 1, 3, 0, false, 13},  {2, 6, 1, 1, 0, true, 0},
    {2, 6, 2, 1, 0, false, 15},  {2, 6, 2, 2, 0, false, 16},  {2, 6, 3, 1, 0, false, 17}, {2, 6, 3, 3, 0, false, 18},
    {2, 10, 0, 1, 0, false, 19}, {2, 10, 0, 3, 0, false, 20},
    // Versions the table does not know, and systems that are not NT.
    {2, 5, 0, 1, 0, false, 0},   {2, 5, 3, 1, 0, false, 0},   {2, 6, 4, 1, 0, false, 0},  {2, 10, 1, 1, 0, false, 0},
    {2, 11, 0, 1, 0, false, 0},  {2, 4, 0, 1, 0, false, 0},   {1, 5, 1, 1, 0, false, 0},  {0, 6, 1, 1, 0, false, 0},
};

TEST(OsId, TheVersionTable) {
    for (const VersionCase& test : kVersions) {
        SCOPED_TRACE(std::to_string(test.platformId) + " " + std::to_string(test.major) + "." + std::to_string(test.minor) +
                     " type " + std::to_string(test.productType) + (test.serverR2 ? " R2" : "") +
                     (test.extendedFails ? " basic record only" : ""));
        platform::MachineSettings settings;
        settings.platformId = test.platformId;
        settings.osMajor = test.major;
        settings.osMinor = test.minor;
        settings.productType = test.productType;
        settings.serverR2 = test.serverR2;
        Machine machine(settings);
        if (test.extendedFails) platform::setFault("GetVersionExW", Fault().onlyFor("extended").failing(-1));
        int id = -1;
        EXPECT_EQ(uninstall::GetOsId(id), uninstall::kOsIdRead);
        EXPECT_EQ(id, test.expected);
    }
}

TEST(OsId, NeitherRecordAndTheDebuggerLines) {
    Machine machine;  // 10.0, a workstation
    platform::clearDebugLog();
    int id = -1;
    ASSERT_EQ(uninstall::GetOsId(id), uninstall::kOsIdRead);
    EXPECT_EQ(id, 19);
    EXPECT_EQ(platform::debugLog(),
              (std::vector<std::string>{" ======= 系统ID =======",
                                        " ==== 返回：19 ,  OS PlatformID：2, OS MaxID：10 , OS MinID：0 ====="}));

    platform::setFault("GetVersionExW", Fault().failing(-1));
    id = -1;
    EXPECT_EQ(uninstall::GetOsId(id), uninstall::kOsIdUnreadable);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(platform::callCount("GetVersionExW"), 3);  // the extended record, then the basic one
}

TEST(Is64BitSystem, ByTheNativeProcessor) {
    for (const auto& [architecture, wide] : {std::pair<WORD, bool>{9, true}, {6, true}, {0, false}, {12, false}}) {
        SCOPED_TRACE(architecture);
        platform::MachineSettings settings;
        settings.processorArchitecture = architecture;
        Machine machine(settings);
        EXPECT_EQ(uninstall::Is64BitSystem(), wide);
    }
    Machine machine;  // x64, but a system without the call
    platform::removeSystemExport("kernel32.dll", "GetNativeSystemInfo");
    EXPECT_FALSE(uninstall::Is64BitSystem());
    platform::restoreSystemExports();
}

platform::UserToken tokenWithAdministrators(DWORD attributes, bool member = true) {
    platform::UserToken token = platform::defaultUserToken();
    token.groups.clear();
    token.groups.push_back({"S-1-1-0", 0x7});
    if (member) token.groups.push_back({"S-1-5-32-544", attributes});
    token.groups.push_back({"S-1-5-32-545", 0x7});
    return token;
}

TEST(IsUserAdmin, MembersOfAdministratorsWhateverTheGroupsAttributes) {
    Machine machine;
    EXPECT_TRUE(uninstall::IsUserAdmin());  // a fresh machine's user
    platform::setUserToken(tokenWithAdministrators(0, false));
    EXPECT_FALSE(uninstall::IsUserAdmin());
    // A group kept for deny checks only (as under User Account Control) still counts.
    platform::setUserToken(tokenWithAdministrators(SE_GROUP_USE_FOR_DENY_ONLY));
    EXPECT_TRUE(uninstall::IsUserAdmin());
    // A user SID that only looks alike is no member.
    platform::UserToken alike = tokenWithAdministrators(0, false);
    alike.groups.push_back({"S-1-5-32-544-1", 0x7});
    alike.groups.push_back({"S-1-5-21-544", 0x7});
    platform::setUserToken(alike);
    EXPECT_FALSE(uninstall::IsUserAdmin());
}

TEST(IsUserAdmin, EachCallFailingGivesFalse) {
    const struct {
        const char* name;
        Fault fault;
    } cases[] = {
        {"OpenProcessToken", Fault()},
        {"GetTokenInformation", Fault()},                // the size
        {"GetTokenInformation", Fault().skipping(1)},    // the groups
        {"AllocateAndInitializeSid", Fault()},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.name) + " after " + std::to_string(test.fault.skip));
        Machine machine;
        platform::setFault(test.name, test.fault);
        EXPECT_FALSE(uninstall::IsUserAdmin());
        EXPECT_GE(platform::callCount(test.name), 1);
    }
}

TEST(RebootSystem, EnablesTheShutdownPrivilegeThenAsksForAForcedRestart) {
    Machine machine;
    platform::setCallJournal(true);
    EXPECT_TRUE(uninstall::RebootSystem());
    const std::vector<platform::CallRecord> calls = platform::callJournal();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].call, "AdjustTokenPrivileges");
    EXPECT_EQ(calls[0].arguments, u"SeShutdownPrivilege enabled");
    EXPECT_EQ(calls[0].result, u"TRUE");
    EXPECT_EQ(calls[1].call, "ExitWindowsEx");
    EXPECT_EQ(calls[1].arguments, u"6, 0");
    EXPECT_EQ(calls[1].result, u"TRUE");
    const std::vector<platform::ShutdownRequest> requests = platform::shutdownRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, UINT{EWX_REBOOT | EWX_FORCE});
    EXPECT_EQ(requests[0].processId, GetCurrentProcessId());
}

TEST(RebootSystem, FailuresOnTheWay) {
    {
        // No version, or no token: no restart is asked for.
        for (const char* name : {"GetVersionExW", "OpenProcessToken"}) {
            SCOPED_TRACE(name);
            Machine machine;
            platform::setFault(name, Fault());
            EXPECT_FALSE(uninstall::RebootSystem());
            EXPECT_EQ(platform::callCount("ExitWindowsEx"), 0);
        }
    }
    {
        // The privilege's failures are not checked: the restart is asked for and refused.
        for (const char* name : {"LookupPrivilegeValueW", "AdjustTokenPrivileges"}) {
            SCOPED_TRACE(name);
            Machine machine;
            platform::setFault(name, Fault());
            EXPECT_TRUE(uninstall::RebootSystem());
            EXPECT_EQ(platform::callCount("ExitWindowsEx"), 1);
            EXPECT_TRUE(platform::shutdownRequests().empty());
        }
    }
    {
        // A user who does not hold the privilege at all.
        Machine machine;
        platform::UserToken token = platform::defaultUserToken();
        token.privileges = {{"SeChangeNotifyPrivilege", true}};
        platform::setUserToken(token);
        platform::setCallJournal(true);
        EXPECT_TRUE(uninstall::RebootSystem());
        const std::vector<platform::CallRecord> calls = platform::callJournal();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].error, DWORD{ERROR_NOT_ALL_ASSIGNED});
        EXPECT_EQ(calls[1].result, u"FALSE");
        EXPECT_EQ(calls[1].error, DWORD{ERROR_PRIVILEGE_NOT_HELD});
        EXPECT_TRUE(platform::shutdownRequests().empty());
    }
    {
        // Not the NT platform: no token is opened.
        platform::MachineSettings settings;
        settings.platformId = 1;
        Machine machine(settings);
        EXPECT_TRUE(uninstall::RebootSystem());
        EXPECT_EQ(platform::callCount("OpenProcessToken"), 0);
        EXPECT_EQ(platform::callCount("ExitWindowsEx"), 1);
    }
}

}  // namespace
