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

// The C run-time's clock, as `time` is on Windows (an inline over _time64): seconds since 1970 of the
// same wall clock as GetLocalTime (a set local time counts as UTC: the machine has no time zones).
// Stores the result through `out` too when it is not NULL.
typedef long long __time64_t;
WINBASEAPI __time64_t _time64(__time64_t* out);
