// The wall clock: the host's local time, or the date and time a test set (platform::setLocalTime),
// which then runs on with the machine clock of Sleep and GetTickCount.
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
