// The still-image library is a system module of the layer, loaded by name.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing/machine.h"
#include "win/kernel.h"

namespace {

using platform::testing::Machine;

TEST(SystemModules, StiIsLoadedByName) {
    Machine machine;
    EXPECT_EQ(GetModuleHandleW(u"sti.dll"), nullptr);  // not in every process
    HMODULE sti = LoadLibraryW(u"STI");
    ASSERT_NE(sti, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"sti.dll"), sti);
    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(GetModuleFileNameW(sti, path, MAX_PATH), 27u);
    EXPECT_EQ(std::u16string(path), u"C:\\Windows\\System32\\sti.dll");
    EXPECT_TRUE(FreeLibrary(sti));
    EXPECT_EQ(GetModuleHandleW(u"sti.dll"), nullptr);
}

}  // namespace
