// Whether the scan-button program can make files in a folder, found by making one.
#pragma once

#include "win/base.h"
#include "win/time.h"

// Appends ASCII text to a wide path; false (the path unchanged up to its old end) when the result
// would not fit in MAX_PATH characters.
bool AppendAscii(WCHAR* pszPath /*[MAX_PATH]*/, const char* pszText);

// Makes a probe "YYMMDDhhmmsstemp.dat" of this local time in the folder (ending in a backslash) with an
// exclusive create and deletes it again; when that name is taken (a user's file, or another job's
// probe, which is never touched) "...temp1.dat", "...temp2.dat" and so on. False with the system error
// in *pdwError, or 0 there when no free probe name was left.
bool ProbeFolder(LPCWSTR pszFolder, const SYSTEMTIME& st, DWORD* pdwError);
