// The still-image library is a system module of the layer, loaded by name; its interface answers the
// launch information from the command line and device values from the devices' registry keys.
#include <gtest/gtest.h>

#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/sti.h"

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

typedef HRESULT(WINAPI* CreateProc)(HINSTANCE, DWORD, IStillImageW**, IUnknown*);

const char16_t kDevice[] = u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";

// The device's values as a scanner's driver leaves them when its button is pressed.
void pressButton(const std::string& eventData, const std::u16string& devicePath) {
    HKEY key = nullptr;
    const std::u16string path = std::u16string(STI_DEVICE_CLASS_KEY) + u"\\" + kDevice + u"\\DeviceData";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, u"EventData", 0, REG_BINARY, reinterpret_cast<const BYTE*>(eventData.data()),
                   static_cast<DWORD>(eventData.size()));
    RegSetValueExW(key, u"DevicePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(devicePath.c_str()),
                   static_cast<DWORD>((devicePath.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

TEST(StillImage, LaunchInformationAndDeviceValues) {
    Machine machine;
    HMODULE sti = LoadLibraryW(u"sti.dll");
    ASSERT_NE(sti, nullptr);
    auto create = reinterpret_cast<CreateProc>(reinterpret_cast<void (*)()>(GetProcAddress(sti, "StiCreateInstance")));
    ASSERT_NE(create, nullptr);
    IStillImageW* still = nullptr;
    EXPECT_EQ(create(nullptr, STI_VERSION, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(create(nullptr, 0x01000003, &still, nullptr), E_INVALIDARG);
    EXPECT_EQ(create(nullptr, STI_VERSION, &still, reinterpret_cast<IUnknown*>(1)), CLASS_E_NOAGGREGATION);
    ASSERT_EQ(create(nullptr, STI_VERSION, &still, nullptr), S_OK);

    WCHAR device[STI_MAX_INTERNAL_NAME_LENGTH] = {};
    WCHAR event[STI_MAX_INTERNAL_NAME_LENGTH] = {};
    DWORD code = 99;
    platform::setCommandLine(u"PushScan.exe -ins");  // not started for an event
    EXPECT_EQ(still->GetSTILaunchInformation(device, &code, event), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
    platform::setCommandLine(std::u16string(u"\"C:\\Program Files\\PushScan.exe\" /stidevice:") + kDevice +
                             u" /StiEvent:{A6C5A715-8C6E-11D2-977A-0000F87A926F}");
    ASSERT_EQ(still->GetSTILaunchInformation(device, &code, event), S_OK);
    EXPECT_EQ(std::u16string(device), kDevice);
    EXPECT_EQ(std::u16string(event), u"{A6C5A715-8C6E-11D2-977A-0000F87A926F}");
    EXPECT_EQ(code, 0u);

    const std::string command("\x56\x03\x02\x00\x02\x00\x00", 7);
    pressButton(command, u"\\\\?\\usb#vid_3a1f&pid_4410");
    BYTE data[64] = {};
    DWORD type = REG_BINARY, size = sizeof data;
    ASSERT_EQ(still->GetDeviceValue(device, const_cast<LPWSTR>(u"EventData"), &type, data, &size), S_OK);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), command);
    WCHAR path[MAX_PATH] = {};
    size = sizeof path;
    ASSERT_EQ(still->GetDeviceValue(device, const_cast<LPWSTR>(u"DevicePath"), &type, reinterpret_cast<BYTE*>(path), &size),
              S_OK);
    EXPECT_EQ(std::u16string(path), u"\\\\?\\usb#vid_3a1f&pid_4410");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    // What is not there, and a buffer too small for the value.
    size = 4;
    EXPECT_EQ(still->GetDeviceValue(device, const_cast<LPWSTR>(u"EventData"), &type, data, &size),
              HRESULT_FROM_WIN32(ERROR_MORE_DATA));
    EXPECT_EQ(size, 7u);
    size = sizeof data;
    EXPECT_EQ(still->GetDeviceValue(device, const_cast<LPWSTR>(u"Missing"), &type, data, &size),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(still->GetDeviceValue(const_cast<LPWSTR>(u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0001"),
                                    const_cast<LPWSTR>(u"EventData"), &type, data, &size),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(still->Release(), 0u);

    platform::setFault("StiCreateInstance", platform::Fault());
    EXPECT_EQ(create(nullptr, STI_VERSION, &still, nullptr), E_FAIL);
    EXPECT_EQ(still, nullptr);
    platform::removeSystemExport("sti.dll", "StiCreateInstance");
    EXPECT_EQ(GetProcAddress(sti, "StiCreateInstance"), nullptr);
    platform::restoreSystemExports();
    EXPECT_TRUE(FreeLibrary(sti));
}

TEST(SystemModules, RestartRegistrationIsKeptAndChecked) {
    Machine machine;
    platform::clearApplicationRestart();
    typedef HRESULT(WINAPI * RegisterProc)(LPCWSTR, DWORD);
    HMODULE kernel = LoadLibraryW(u"KERNEL32.DLL");
    auto reg = reinterpret_cast<RegisterProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "RegisterApplicationRestart")));
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg(u"/RESTART", 16), E_INVALIDARG);
    EXPECT_EQ(reg(std::u16string(RESTART_MAX_CMD_LINE, u'x').c_str(), 0), E_INVALIDARG);
    EXPECT_FALSE(platform::applicationRestart());
    EXPECT_EQ(reg(u"/RESTART", RESTART_NO_PATCH), S_OK);
    ASSERT_TRUE(platform::applicationRestart());
    EXPECT_EQ(platform::applicationRestart()->commandLine, u"/RESTART");
    EXPECT_EQ(platform::applicationRestart()->flags, static_cast<DWORD>(RESTART_NO_PATCH));
    platform::clearApplicationRestart();
    FreeLibrary(kernel);
}

}  // namespace
