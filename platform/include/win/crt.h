// The C run-time's wide file calls over the machine's files: _wfopen maps the Windows path and opens
// the host file with the C library, so fwrite, fread, ftell, fseek and fclose are the C library's own.
// Modes as fopen's ("r", "w", "a", with "+" and "b"; "t" is the same as binary: no line-end
// translation). Left out: "ccs=", share flags, _wfsopen.
#pragma once

#include <cstdio>

#include "win/base.h"

// NULL with errno set (ENOENT for a missing file or folder, EINVAL for a bad path or mode, EACCES for
// a fault). Fault switch "_wfopen" (detail: the file name).
WINBASEAPI FILE* _wfopen(const WCHAR* fileName, const WCHAR* mode);

typedef int errno_t;
// Upper-cases a wide string in place (the layer's case folding); EINVAL (and the buffer emptied) when
// it has no terminator within `size` characters, EINVAL for NULL.
WINBASEAPI errno_t _wcsupr_s(WCHAR* text, size_t size);

// Compares two wide strings without regard to case, as the run-time does in the "C" locale: letters
// are taken in lower case (so '_' sorts before the letters). Below, at or above 0.
WINBASEAPI int _wcsicmp(const WCHAR* first, const WCHAR* second);
