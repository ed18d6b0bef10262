// The registry: one hive file under the machine root, shared by all processes and locked while it
// is read or written. Key names match without regard to case; security and volatile keys are not
// modelled. A subkey that begins with a backslash is refused with ERROR_BAD_PATHNAME, as NT does. The
// "Reg*" fault switches fail a call with the error they carry.
#pragma once

#include "win/base.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))

typedef DWORD REGSAM;
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

WINBASEAPI LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, PHKEY result);
WINBASEAPI LSTATUS WINAPI RegCreateKeyW(HKEY key, LPCWSTR subKey, PHKEY result);
WINBASEAPI LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className,
                                          DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES sa, PHKEY result,
                                          LPDWORD disposition);
WINBASEAPI LSTATUS WINAPI RegCloseKey(HKEY key);
// Strings are returned with their terminating NUL when it fits, as stored.
WINBASEAPI LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                           LPBYTE data, LPDWORD dataSize);
WINBASEAPI LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                         const BYTE* data, DWORD dataSize);
WINBASEAPI LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise, as Windows does).
WINBASEAPI LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
WINBASEAPI LSTATUS WINAPI RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD nameSize);
// The number of subkeys and values of a key and the longest subkey name, value name (in characters,
// without the NUL) and value data (in bytes); keys have no class, security descriptor or write time
// here (0 and a zero time). Any output may be NULL.
WINBASEAPI LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR className, LPDWORD classLength, LPDWORD reserved,
                                           LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                                           LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                           LPDWORD securityDescriptorLength, FILETIME* lastWriteTime);
WINBASEAPI LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD reserved,
                                        LPDWORD type, LPBYTE data, LPDWORD dataSize);
// The default (unnamed) value of a key is the value of a NULL or empty name in RegQueryValueExW,
// RegSetValueExW, RegDeleteValueW and RegEnumValueW (its name enumerates as ""); a key without one
// answers ERROR_FILE_NOT_FOUND there. The two calls below reach it through a subkey (NULL or "": the
// key itself). RegQueryValueW answers an empty string for a key without a default value; a missing
// subkey gives ERROR_FILE_NOT_FOUND, a short buffer ERROR_MORE_DATA with the size needed in bytes.
WINBASEAPI LSTATUS WINAPI RegQueryValueW(HKEY key, LPCWSTR subKey, LPWSTR data, PLONG dataSize);
// Creates the subkey when missing and sets its default value to the string (REG_SZ only, else
// ERROR_INVALID_PARAMETER); the length comes from the string, `dataSize` is ignored as on Windows.
WINBASEAPI LSTATUS WINAPI RegSetValueW(HKEY key, LPCWSTR subKey, DWORD type, LPCWSTR data, DWORD dataSize);
