// The wall clock: the host's local time. (The machine clock of Sleep and GetTickCount is separate and
// may be virtual; the date and time of day are always the host's.)
#pragma once

#include "win/base.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

WINBASEAPI void WINAPI GetLocalTime(LPSYSTEMTIME time);
