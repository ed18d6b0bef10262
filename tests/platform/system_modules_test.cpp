// System modules answered by the layer: kernel32.dll by its names, its exports, exports a test removes,
// and the processor architecture that GetNativeSystemInfo reports.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

using SystemInfoFunction = void(WINAPI*)(LPSYSTEM_INFO);

SystemInfoFunction lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<SystemInfoFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(SystemModules, Kernel32IsOneModuleByEveryName) {
    Machine machine;
    HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    for (const char16_t* name : {u"KERNEL32", u"Kernel32.DLL", u"C:\\Windows\\System32\\kernel32.dll"})
        EXPECT_EQ(GetModuleHandleW(name), kernel) << platform::toUtf8(name);
    EXPECT_NE(kernel, GetModuleHandleW(nullptr));

    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(GetModuleFileNameW(kernel, path, MAX_PATH), 32u);
    EXPECT_EQ(std::u16string(path), u"C:\\Windows\\System32\\kernel32.dll");

    // Loading and freeing it counts, but never unloads it.
    EXPECT_EQ(LoadLibraryW(u"kernel32"), kernel);
    EXPECT_TRUE(FreeLibrary(kernel));
    EXPECT_TRUE(FreeLibrary(kernel));
    EXPECT_EQ(GetModuleHandleW(u"kernel32.dll"), kernel);
    EXPECT_NE(lookUp(kernel, "GetNativeSystemInfo"), nullptr);
}

TEST(SystemModules, ExportsAnswerTheMachinesProcessor) {
    for (WORD architecture : {PROCESSOR_ARCHITECTURE_INTEL, PROCESSOR_ARCHITECTURE_IA64, PROCESSOR_ARCHITECTURE_AMD64,
                              PROCESSOR_ARCHITECTURE_ARM64}) {
        platform::MachineSettings settings;
        settings.processorArchitecture = architecture;
        Machine machine(settings);
        HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
        for (const char* name : {"GetNativeSystemInfo", "GetSystemInfo"}) {
            SystemInfoFunction function = lookUp(kernel, name);
            ASSERT_NE(function, nullptr) << name;
            SYSTEM_INFO info;
            std::memset(&info, 0xCC, sizeof info);
            function(&info);
            EXPECT_EQ(info.wProcessorArchitecture, architecture) << name;
            EXPECT_EQ(info.dwAllocationGranularity, 65536u) << name;
            EXPECT_GE(info.dwNumberOfProcessors, 1u) << name;
        }
    }
}

TEST(SystemModules, ARemovedExportIsMissingUntilRestored) {
    Machine machine;
    HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
    platform::removeSystemExport("KERNEL32.DLL", "GetNativeSystemInfo");

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(lookUp(kernel, "GetNativeSystemInfo"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_NE(lookUp(kernel, "GetSystemInfo"), nullptr) << "only the one export goes";

    platform::restoreSystemExports();
    EXPECT_NE(lookUp(kernel, "GetNativeSystemInfo"), nullptr);
}

TEST(SystemModules, WhatTheLayerDoesNotExportIsNotFound) {
    Machine machine;
    HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
    for (const char* name : {"NoSuchFunction", "getnativesysteminfo", static_cast<const char*>(nullptr),
                             reinterpret_cast<const char*>(static_cast<uintptr_t>(1))}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GetProcAddress(kernel, name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
    EXPECT_THROW(platform::removeSystemExport("kernel32.dll", "NoSuchFunction"), std::invalid_argument);
    EXPECT_THROW(platform::removeSystemExport("nosuch.dll", "GetNativeSystemInfo"), std::invalid_argument);
}

}  // namespace

namespace {

TEST(SystemModules, User32sMessageFilterKeepsTheAdmittedMessagesAndCanBeRemoved) {
    Machine machine;
    platform::clearAdmittedMessages();
    HMODULE user32 = LoadLibraryW(u"user32.dll");
    ASSERT_NE(user32, nullptr);
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    auto filter = reinterpret_cast<Filter>(reinterpret_cast<void (*)()>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(filter(1051, MSGFLT_ADD));
    EXPECT_TRUE(filter(1051, MSGFLT_ADD));
    EXPECT_TRUE(filter(1200, MSGFLT_ADD));
    EXPECT_TRUE(filter(1200, MSGFLT_REMOVE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(filter(1300, 7));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(platform::admittedMessages(), std::vector<UINT>{1051});

    platform::removeSystemExport("user32.dll", "ChangeWindowMessageFilter");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetProcAddress(user32, "ChangeWindowMessageFilter"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    platform::restoreSystemExports();
    EXPECT_TRUE(FreeLibrary(user32));
    platform::clearAdmittedMessages();
}

}  // namespace
