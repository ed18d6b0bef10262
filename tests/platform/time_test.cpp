// The machine's local date and time: the host's, or a time a test set running on with the machine clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/time.h"

namespace {

using platform::testing::Machine;

struct Fields {
    int year, month, day, dayOfWeek, hour, minute, second, milliseconds;
    bool operator==(const Fields&) const = default;
};
Fields now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

TEST(LocalTime, ASetTimeRunsOnWithTheMachineClock) {
    Machine machine;  // virtual clock
    platform::setLocalTime({2026, 12, 31, 23, 59, 58});
    EXPECT_EQ(now(), (Fields{2026, 12, 31, 4, 23, 59, 58, 0}));
    struct Step {
        DWORD sleep;
        Fields expected;
    };
    const Step steps[] = {
        {999, {2026, 12, 31, 4, 23, 59, 58, 999}},
        {1, {2026, 12, 31, 4, 23, 59, 59, 0}},
        {1500, {2027, 1, 1, 5, 0, 0, 0, 500}},  // into the new year
    };
    for (const Step& s : steps) {
        Sleep(s.sleep);
        EXPECT_EQ(now(), s.expected);
    }
    platform::setLocalTime({2024, 2, 29, 12, 0, 0});
    EXPECT_EQ(now(), (Fields{2024, 2, 29, 4, 12, 0, 0, 0}));
    // The run-time's seconds follow the same clock: 2024-02-29 12:00:00 is 1709208000.
    __time64_t stored = 0;
    EXPECT_EQ(_time64(&stored), 1709208000);
    EXPECT_EQ(stored, 1709208000);
    Sleep(2500);
    EXPECT_EQ(_time64(nullptr), 1709208002);
}

TEST(LocalTime, IsTheHostsUntilSetAndAgainOnANewMachine) {
    auto hostNear = [] {
        const Fields f = now();
        const time_t host = std::time(nullptr);
        std::tm local{};
        localtime_r(&host, &local);
        return f.year == local.tm_year + 1900 && f.month == local.tm_mon + 1 && f.day == local.tm_mday;
    };
    {
        Machine machine;
        EXPECT_TRUE(hostNear());
        EXPECT_LE(std::abs(_time64(nullptr) - static_cast<__time64_t>(std::time(nullptr))), 1);
        platform::setLocalTime({1999, 1, 1, 0, 0, 0});
        EXPECT_EQ(now().year, 1999);
        platform::useHostLocalTime();
        EXPECT_TRUE(hostNear());
        EXPECT_LE(std::abs(_time64(nullptr) - static_cast<__time64_t>(std::time(nullptr))), 1);
        platform::setLocalTime({1999, 1, 1, 0, 0, 0});
    }
    Machine next;
    EXPECT_TRUE(hostNear());
}

}  // namespace
