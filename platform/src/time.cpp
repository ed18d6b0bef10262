// The wall clock: the host's local time, or a date and time a test set that runs on with the
// machine clock.
#include <sys/time.h>

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "internal.h"
#include "win/kernel.h"
#include "win/time.h"

namespace {

struct SetTime {
    time_t start;          // the time set, its fields read as UTC (no zone rules apply to it)
    ULONGLONG tickAtSet;   // the machine clock when it was set
    bool frozen = false;   // it stays at the time set
};

// Seconds and milliseconds since the time was set.
ULONGLONG elapsedSince(const SetTime& set) { return set.frozen ? 0 : GetTickCount64() - set.tickAtSet; }

std::mutex g_mutex;
std::optional<SetTime> g_set;

void fill(LPSYSTEMTIME out, const std::tm& t, int milliseconds) {
    out->wYear = static_cast<WORD>(t.tm_year + 1900);
    out->wMonth = static_cast<WORD>(t.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    out->wDay = static_cast<WORD>(t.tm_mday);
    out->wHour = static_cast<WORD>(t.tm_hour);
    out->wMinute = static_cast<WORD>(t.tm_min);
    out->wSecond = static_cast<WORD>(t.tm_sec);
    out->wMilliseconds = static_cast<WORD>(milliseconds);
}

// A program started by a program whose local time was set starts at that time (PLATFORM_LOCAL_TIME,
// seconds since 1970 read as UTC, then " frozen" when it stays there) and runs on from it with its
// own clock. Once per process.
void inheritSetTime() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* given = std::getenv("PLATFORM_LOCAL_TIME");
        if (!given || !*given) return;
        char* end = nullptr;
        const long long start = std::strtoll(given, &end, 10);
        if (!end || (*end && std::string_view(end) != " frozen")) return;
        std::lock_guard lock(g_mutex);
        if (!g_set) g_set = SetTime{static_cast<time_t>(start), GetTickCount64(), *end != 0};
    });
}

}  // namespace

void WINAPI GetLocalTime(LPSYSTEMTIME out) {
    if (!out) return;
    inheritSetTime();
    std::optional<SetTime> set;
    {
        std::lock_guard lock(g_mutex);
        set = g_set;
    }
    if (set) {
        const ULONGLONG elapsed = elapsedSince(*set);
        const time_t now = set->start + static_cast<time_t>(elapsed / 1000);
        std::tm t{};
        ::gmtime_r(&now, &t);
        fill(out, t, static_cast<int>(elapsed % 1000));
        return;
    }
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    fill(out, local, static_cast<int>(now.tv_usec / 1000));
}

__time64_t _time64(__time64_t* out) {
    inheritSetTime();
    __time64_t now;
    {
        std::lock_guard lock(g_mutex);
        now = g_set ? g_set->start + static_cast<__time64_t>(elapsedSince(*g_set) / 1000)
                    : static_cast<__time64_t>(::time(nullptr));
    }
    if (out) *out = now;
    return now;
}

namespace platform {

void setLocalTime(const LocalTime& time, bool frozen) {
    std::tm t{};
    t.tm_year = time.year - 1900;
    t.tm_mon = time.month - 1;
    t.tm_mday = time.day;
    t.tm_hour = time.hour;
    t.tm_min = time.minute;
    t.tm_sec = time.second;
    const time_t start = ::timegm(&t);
    std::lock_guard lock(g_mutex);
    g_set = SetTime{start, GetTickCount64(), frozen};
}

void useHostLocalTime() {
    std::lock_guard lock(g_mutex);
    g_set.reset();
}

namespace detail {
void resetLocalTime() { useHostLocalTime(); }

std::optional<std::string> setLocalTimeNow() {
    inheritSetTime();
    std::lock_guard lock(g_mutex);
    if (!g_set) return std::nullopt;
    const long long now = static_cast<long long>(g_set->start) + static_cast<long long>(elapsedSince(*g_set) / 1000);
    return std::to_string(now) + (g_set->frozen ? " frozen" : "");
}
}  // namespace detail

}  // namespace platform
