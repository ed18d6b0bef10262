// The process token: groups and privileges as the machine sets them, buffer sizes, enabling a privilege
// for this process only, and the restart request that is journalled and never carried out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/security.h"

namespace {

using platform::testing::Machine;

TEST(Tokens, GroupsAndPrivilegesOfTheMachinesUser) {
    Machine machine;
    platform::UserToken user;
    user.groups = {{"S-1-5-32-544", SE_GROUP_USE_FOR_DENY_ONLY}, {"S-1-5-21-1-2-3-1001", 0x7}};
    user.privileges = {{"SeShutdownPrivilege", false}};
    platform::setUserToken(user);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    std::vector<BYTE> buffer(size);
    ASSERT_TRUE(GetTokenInformation(token, TokenGroups, buffer.data(), size, &size));
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    ASSERT_EQ(groups->GroupCount, 2u);
    EXPECT_EQ(groups->Groups[0].Attributes, DWORD{SE_GROUP_USE_FOR_DENY_ONLY});
    PSID administrators = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                         &administrators));
    EXPECT_TRUE(EqualSid(groups->Groups[0].Sid, administrators));
    EXPECT_FALSE(EqualSid(groups->Groups[1].Sid, administrators));
    EXPECT_EQ(FreeSid(administrators), nullptr);
    // A token opened only to query cannot change privileges.
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
    EXPECT_EQ(privileges.Privileges[0].Luid.LowPart, 19u);
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    CloseHandle(token);
    LUID luid{};
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, u"SeNoSuchPrivilege", &luid));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_SUCH_PRIVILEGE});
}

TEST(Tokens, TheRestartNeedsTheShutdownPrivilegeAndIsOnlyJournalled) {
    Machine machine;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PRIVILEGE_NOT_HELD});
    EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF, 0));  // logging off needs no privilege
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES before[4] = {};
    DWORD length = 0;
    SetLastError(0xDEADBEEF);
    ASSERT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, sizeof before, before, &length));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(before[0].Privileges[0].Attributes, 0u);  // it was disabled
    CloseHandle(token);
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0x80020002));
    const std::vector<platform::ShutdownRequest> requests = platform::shutdownRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].flags, UINT{EWX_REBOOT | EWX_FORCE});
    EXPECT_EQ(requests[1].reason, 0x80020002u);
    // The machine's token is unchanged: the privilege was enabled for this process only.
    EXPECT_FALSE(platform::userToken().privileges[0].enabled);
}

}  // namespace
