// GetProcAddress by ordinal: a module of ours names its ordinals in its ordinal table.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/resources.h"

namespace {

TEST(ModulesOrdinals, OrdinalsResolveThroughTheModulesTable) {
    platform::testing::Machine machine;
    struct Case {
        const char* module;
        WORD ordinal;
        const char* sameAs;  // the export the ordinal names, or none
    };
    const Case cases[] = {
        {TWAIN_MANAGER_MODULE, 1, "DSM_Entry"},
        {TWAIN_MANAGER_MODULE, 2, nullptr},
        {GDI_FAKE_DRIVER_MODULE, 1, nullptr},  // no ordinal table
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + std::to_string(c.ordinal));
        const std::filesystem::path host = machine.host(u"C:\\Modules\\module.dll");
        std::filesystem::create_directories(host.parent_path());
        std::filesystem::copy_file(c.module, host, std::filesystem::copy_options::overwrite_existing);
        HMODULE module = LoadLibraryW(u"C:\\Modules\\module.dll");
        ASSERT_NE(module, nullptr);
        SetLastError(0xDEADBEEF);
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(c.ordinal));
        if (c.sameAs) {
            EXPECT_NE(byOrdinal, nullptr);
            EXPECT_EQ(byOrdinal, GetProcAddress(module, c.sameAs));
        } else {
            EXPECT_EQ(byOrdinal, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        }
        FreeLibrary(module);
        std::filesystem::remove(host);
    }
}

}  // namespace
