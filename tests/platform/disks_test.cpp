// Free disk space as the machine sets it, through both calls.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"

namespace {

using platform::testing::Machine;

TEST(DiskSpace, BothCallsReportWhatTheMachineSetsPerDrive) {
    Machine machine;
    std::filesystem::create_directories(machine.root() / "drives" / "d" / "Scans");
    platform::setDiskSpace(u'D', {5ull << 30, 20ull << 30});  // above 4 GiB: a 32-bit product would wrap
    platform::setDiskSpace(u'c', {300ull << 20, 1ull << 40});
    struct Case {
        const char16_t* folder;
        uint64_t freeBytes, totalBytes;
    };
    const Case cases[] = {
        {u"D:\\Scans", 5ull << 30, 20ull << 30},
        {u"d:\\", 5ull << 30, 20ull << 30},
        {u"C:\\Users", 300ull << 20, 1ull << 40},
        {nullptr, 300ull << 20, 1ull << 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder ? platform::toUtf8(c.folder) : "NULL");
        ULARGE_INTEGER toCaller{}, total{}, totalFree{};
        ASSERT_TRUE(GetDiskFreeSpaceExW(c.folder, &toCaller, &total, &totalFree));
        EXPECT_EQ(toCaller.QuadPart, c.freeBytes);
        EXPECT_EQ(totalFree.QuadPart, c.freeBytes);
        EXPECT_EQ(total.QuadPart, c.totalBytes);
        DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
        ASSERT_TRUE(GetDiskFreeSpaceW(c.folder, &sectors, &bytes, &freeClusters, &clusters));
        EXPECT_EQ(uint64_t{sectors} * bytes * freeClusters, c.freeBytes);
        EXPECT_EQ(uint64_t{sectors} * bytes * clusters, c.totalBytes);
    }
}

TEST(DiskSpace, DefaultsAndFailures) {
    Machine machine;
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"C:\\Windows", &freeBytes, nullptr, nullptr));
    EXPECT_EQ(freeBytes.QuadPart, platform::DiskSpace().freeBytes);
    platform::setDiskSpace(u'C', {1ull << 50, 1ull << 50});  // more clusters than 32 bits count
    DWORD sectors = 0, bytes = 0, freeClusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceW(u"C:\\", &sectors, &bytes, &freeClusters, nullptr));
    EXPECT_EQ(freeClusters, 0xFFFFFFFFu);
    struct Case {
        const char* what;
        const char16_t* folder;
        const char* fault;
        DWORD error;
    };
    const Case cases[] = {
        {"missing folder", u"C:\\Scans", nullptr, ERROR_PATH_NOT_FOUND},
        {"missing drive", u"Q:\\", nullptr, ERROR_PATH_NOT_FOUND},
        {"network path", u"\\\\server\\share\\", nullptr, ERROR_BAD_PATHNAME},
        {"fault switch", u"C:\\", "GetDiskFreeSpaceExW", ERROR_NOT_READY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::clearFaults();
        if (c.fault) {
            platform::setFault("GetDiskFreeSpaceExW", platform::Fault());
            platform::setFault("GetDiskFreeSpaceW", platform::Fault());
        }
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(GetDiskFreeSpaceExW(c.folder, &freeBytes, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(GetDiskFreeSpaceW(c.folder, &sectors, &bytes, &freeClusters, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
    }
    platform::clearFaults();
}

}  // namespace
