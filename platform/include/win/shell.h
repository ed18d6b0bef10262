// Shell folder lookups: the known folders of the machine's current user.
#pragma once

#include "win/base.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PERSONAL 0x0005
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_TEMPLATES 0x0015
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_MYPICTURES 0x0027
#define CSIDL_PROFILE 0x0028
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_FLAG_CREATE 0x8000
#define SHGFP_TYPE_CURRENT 0

// The folder's path (up to MAX_PATH characters, no closing backslash). Unknown folders give E_INVALIDARG;
// with CSIDL_FLAG_CREATE a missing folder is made. Fault switch "SHGetFolderPath" (with the CSIDL
// number as its detail) fails a lookup with E_FAIL.
WINBASEAPI HRESULT WINAPI SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path);
WINBASEAPI HRESULT WINAPI SHGetFolderPathA(HWND owner, int csidl, HANDLE token, DWORD flags, LPSTR path);
WINBASEAPI BOOL WINAPI SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);

// Path helpers (paths.cpp).
// TRUE when a file or folder exists at the path (relative paths against the current directory).
WINBASEAPI BOOL WINAPI PathFileExistsW(LPCWSTR path);
