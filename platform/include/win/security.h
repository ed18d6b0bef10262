// Security: the process token's groups and privileges, security identifiers, and the restart request.
//
// The machine keeps one user token (platform::UserToken: groups with their attributes, privileges held
// and whether each is enabled); every process starts from it, and AdjustTokenPrivileges changes only
// the calling process's copy. Left out: access checks on objects, impersonation, token users, owners,
// DACLs, restricted tokens.
#pragma once

#include "win/base.h"

typedef void* PSID;
struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};
typedef SID_IDENTIFIER_AUTHORITY* PSID_IDENTIFIER_AUTHORITY;
#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220
#define DOMAIN_ALIAS_RID_USERS 0x00000221

struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};
#define ANYSIZE_ARRAY 1
struct TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[ANYSIZE_ARRAY];
};
typedef TOKEN_GROUPS* PTOKEN_GROUPS;
#define SE_GROUP_MANDATORY 0x00000001
#define SE_GROUP_ENABLED_BY_DEFAULT 0x00000002
#define SE_GROUP_ENABLED 0x00000004
#define SE_GROUP_OWNER 0x00000008
#define SE_GROUP_USE_FOR_DENY_ONLY 0x00000010

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
typedef LUID* PLUID;
struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[ANYSIZE_ARRAY];
};
typedef TOKEN_PRIVILEGES* PTOKEN_PRIVILEGES;
#define SE_PRIVILEGE_ENABLED_BY_DEFAULT 0x00000001
#define SE_PRIVILEGE_ENABLED 0x00000002
#define SE_SHUTDOWN_NAME u"SeShutdownPrivilege"

enum TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups = 2,
    TokenPrivileges = 3,
};

#define TOKEN_QUERY 0x0008
#define TOKEN_ADJUST_PRIVILEGES 0x0020

#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_NO_SUCH_PRIVILEGE 1313L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_NO_TOKEN 1008L

// A token of this process (GetCurrentProcess() or a handle of this process's own id) with the access
// asked for; closed by CloseHandle. Fault switch "OpenProcessToken" (ERROR_ACCESS_DENIED by default).
WINBASEAPI BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
// TokenGroups (a TOKEN_GROUPS with the SIDs after it) and TokenPrivileges; needs TOKEN_QUERY. A buffer
// too small gives ERROR_INSUFFICIENT_BUFFER with the size needed. Fault switch "GetTokenInformation".
WINBASEAPI BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                                          DWORD length, PDWORD returnLength);
// A SID of up to eight sub-authorities, freed by FreeSid. Fault switch "AllocateAndInitializeSid"
// (ERROR_NOT_ENOUGH_MEMORY by default).
WINBASEAPI BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0,
                                               DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                                               DWORD sub6, DWORD sub7, PSID* sid);
WINBASEAPI BOOL WINAPI EqualSid(PSID a, PSID b);
// NULL on success.
WINBASEAPI PVOID WINAPI FreeSid(PSID sid);
// The local identifier of a privilege by its name ("SeShutdownPrivilege"); ERROR_NO_SUCH_PRIVILEGE for
// an unknown name; only the local system (NULL or ""). Fault switch "LookupPrivilegeValueW".
WINBASEAPI BOOL WINAPI LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid);
// Enables or disables privileges the token holds (needs TOKEN_ADJUST_PRIVILEGES); TRUE with
// ERROR_NOT_ALL_ASSIGNED when one is not held, else TRUE with ERROR_SUCCESS. The previous state is
// given back when asked for. Fault switch "AdjustTokenPrivileges".
WINBASEAPI BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                            DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                                            PDWORD returnLength);

// ---- Ending the session --------------------------------------------------------------------------------
#define EWX_LOGOFF 0x00000000
#define EWX_SHUTDOWN 0x00000001
#define EWX_REBOOT 0x00000002
#define EWX_FORCE 0x00000004
#define EWX_POWEROFF 0x00000008

// Journalled (platform::shutdownRequests) and never carried out. Shutting down or restarting needs
// SeShutdownPrivilege enabled in this process (ERROR_PRIVILEGE_NOT_HELD). Fault switch "ExitWindowsEx".
WINBASEAPI BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason);
