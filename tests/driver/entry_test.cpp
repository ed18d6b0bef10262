// The module's exports, DrvEnableDriver and its function table, DrvQueryDriverInfo.
#include <cstdio>
#include <set>
#include <string>

#include "support/driver_fixture.h"

namespace {

using EnableDriver = BOOL (*)(ULONG, ULONG, DRVENABLEDATA*);
using QueryDriverInfo = BOOL (*)(DWORD, PVOID, DWORD, PDWORD);

class EntryTest : public ::testing::Test {
protected:
    platform::testing::Machine machine_;
    std::u16string modulePath_ = InstallTestPrinter();
};

TEST_F(EntryTest, ModuleExportsExactlyTheFourEntryPoints) {
    std::string command = std::string("nm -D --defined-only ") + RASTREL_MODULE;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char type = 0, name[256] = {0};
        if (std::sscanf(line, "%*s %c %255s", &type, name) == 2) names.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"DllEntryPoint", "DrvDisableDriver", "DrvEnableDriver",
                                            "DrvQueryDriverInfo"}));

    platform::testing::DriverHost host(modulePath_);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetProcAddress(host.module(), "DrvEnablePDEV"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    using EntryPoint = BOOL (*)(HINSTANCE, DWORD, LPVOID);
    auto entry = host.exported<EntryPoint>("DllEntryPoint");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry(reinterpret_cast<HINSTANCE>(host.module()), DLL_THREAD_ATTACH, nullptr));
}

TEST_F(EntryTest, EnableDriverChecksVersionAndSize) {
    platform::testing::DriverHost host(modulePath_);
    auto enable = host.exported<EnableDriver>("DrvEnableDriver");
    struct Case {
        ULONG version;
        ULONG size;
        BOOL ok;
        DWORD error;
    } cases[] = {
        {0x1FFFF, 16, FALSE, ERROR_BAD_DRIVER_LEVEL},
        {0x20000, 15, FALSE, ERROR_INVALID_PARAMETER},
        {0x20000, 0, FALSE, ERROR_INVALID_PARAMETER},
        {0x20000, 16, TRUE, 0},
        {DDI_DRIVER_VERSION_NT5_01, 64, TRUE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << std::hex << c.version << " size " << std::dec << c.size);
        DRVENABLEDATA data{0xAAAA, 0xBBBB, nullptr};
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(enable(c.version, c.size, &data), c.ok);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), c.error);
            EXPECT_EQ(data.c, 0xBBBBu);  // nothing written on failure
        } else {
            EXPECT_EQ(data.iDriverVersion, 0x20000u);
            EXPECT_EQ(data.c, 31u);
        }
    }
    host.exported<void (*)()>("DrvDisableDriver")();
}

TEST_F(EntryTest, FunctionTableHoldsEachDdiFunctionOnce) {
    platform::testing::DriverHost host(modulePath_);
    ASSERT_TRUE(host.enableDriver());
    const std::set<ULONG> expected = {8,  0,  7,  1,  2,  3,  4,  31, 14, 16, 15, 12, 13, 18, 20, 19,
                                      70, 71, 68, 74, 17, 37, 23, 32, 33, 35, 34, 57, 58, 75, 24};
    std::set<ULONG> seen;
    const DRVENABLEDATA& data = host.enableData();
    for (ULONG i = 0; i < data.c; ++i) {
        EXPECT_TRUE(seen.insert(data.pdrvfn[i].iFunc).second) << "index " << data.pdrvfn[i].iFunc << " twice";
        EXPECT_NE(data.pdrvfn[i].pfn, nullptr);
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(EntryTest, FailedCriticalSectionFailsEnableAndReleasesTheOthers) {
    platform::testing::DriverHost host(modulePath_);
    platform::setFault("InitializeCriticalSectionAndSpinCount", platform::Fault().skipping(2));
    EXPECT_FALSE(host.enableDriver());
    EXPECT_EQ(platform::callCount("InitializeCriticalSectionAndSpinCount"), 3);
    // The two sections made before are gone again: a new attempt makes all three afresh.
    EXPECT_TRUE(host.enableDriver());
    EXPECT_EQ(platform::callCount("InitializeCriticalSectionAndSpinCount"), 6);
}

TEST_F(EntryTest, AFailingEnableKeepsTheSectionsOfAnEarlierOne) {
    platform::testing::DriverHost host(modulePath_);
    auto enable = host.exported<EnableDriver>("DrvEnableDriver");
    DRVENABLEDATA data{};
    ASSERT_TRUE(enable(0x20000, sizeof data, &data));
    ASSERT_EQ(platform::callCount("InitializeCriticalSectionAndSpinCount"), 3);
    struct Case {
        ULONG version, size;
        DWORD error;
    } cases[] = {{0x1FFFF, sizeof data, ERROR_BAD_DRIVER_LEVEL}, {0x20000, 15, ERROR_INVALID_PARAMETER}};
    for (const auto& c : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(enable(c.version, c.size, &data));
        EXPECT_EQ(GetLastError(), c.error);
    }
    // The sections the first call made are still there: a good call makes none afresh.
    EXPECT_TRUE(enable(0x20000, sizeof data, &data));
    EXPECT_EQ(platform::callCount("InitializeCriticalSectionAndSpinCount"), 3);
    host.exported<void (*)()>("DrvDisableDriver")();
    EXPECT_TRUE(enable(0x20000, sizeof data, &data));
    EXPECT_EQ(platform::callCount("InitializeCriticalSectionAndSpinCount"), 6);
    host.exported<void (*)()>("DrvDisableDriver")();
}

TEST_F(EntryTest, QueryDriverInfoAnswersOnlyTheUserModeQuery) {
    platform::testing::DriverHost host(modulePath_);
    auto query = host.exported<QueryDriverInfo>("DrvQueryDriverInfo");
    unsigned char small[3] = {};
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(query(DRVQUERY_USERMODE, small, sizeof small, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    DWORD value = 0;
    needed = 0;
    EXPECT_TRUE(query(DRVQUERY_USERMODE, &value, sizeof value, &needed));
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(needed, 4u);
    EXPECT_TRUE(query(DRVQUERY_USERMODE, &value, sizeof value, nullptr));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(query(2, &value, sizeof value, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
