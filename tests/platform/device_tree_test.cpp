// The machine's device tree through the device set-up interface, and StringFromGUID2.
#include <gtest/gtest.h>

#include "platform/testing/machine.h"
#include "win/registry.h"
#include "win/setupapi.h"

namespace {

platform::UsbPrinterSetup usbPrinter(const char16_t* id, bool present = true) {
    platform::UsbPrinterSetup setup;
    setup.instanceId = id;
    setup.present = present;
    return setup;
}

}  // namespace

TEST(DeviceTree, SetsHoldThePresentDevicesOfAnInterfaceClass) {
    platform::testing::Machine machine;
    platform::attachUsbPrinter(usbPrinter(u"USB\\VID_0001&PID_0001\\GONE", false));
    platform::UsbPrinterSetup twoInterfaces = usbPrinter(u"USB\\VID_0001&PID_0002\\HERE");
    twoInterfaces.dot4 = platform::UsbPrinterSetup::Dot4::Second;
    auto attached = platform::attachUsbPrinter(twoInterfaces);
    platform::addDevice({u"ROOT\\OTHER\\0000", true, {}});

    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::liveDeviceInfoSets(), 1u);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &device));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 1, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    WCHAR id[8];
    DWORD required = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(set, &device, id, 8, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 27u);
    WCHAR full[64];
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdW(set, &device, full, 64, nullptr));
    EXPECT_EQ(std::u16string(full), u"USB\\VID_0001&PID_0002\\HERE");

    // Interfaces of the device, then of the whole set.
    SP_DEVICE_INTERFACE_DATA face{};
    face.cbSize = sizeof face;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, &device, &GUID_DEVINTERFACE_USBPRINT, 1, &face));
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 0, &face));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USBPRINT, 2, &face));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &face, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 4 + (attached.interfacePath.size() + 1) * 2);
    std::vector<BYTE> bytes(required);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(bytes.data());
    for (DWORD size : {6u, 8u}) {
        detail->cbSize = size;
        ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &face, detail, required, nullptr, nullptr));
        EXPECT_EQ(std::u16string(detail->DevicePath), attached.interfacePath);
    }
    for (DWORD size : {5u, 7u, static_cast<DWORD>(required)}) {
        detail->cbSize = size;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &face, detail, required, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);

    HDEVINFO all = SetupDiGetClassDevsW(nullptr, u"USB", nullptr, DIGCF_ALLCLASSES);
    ASSERT_NE(all, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetupDiEnumDeviceInfo(all, 1, &device));   // the absent one counts here
    EXPECT_FALSE(SetupDiEnumDeviceInfo(all, 2, &device));  // ROOT\ is not below USB
    SetupDiDestroyDeviceInfoList(all);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    platform::setFault("SetupDiGetClassDevsW", platform::Fault());
    EXPECT_EQ(SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, 0x12), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

TEST(DeviceTree, AttachingAPrinterWritesItsPortWhereTheUsbPrintDriverKeepsIt) {
    platform::testing::Machine machine;
    platform::UsbPrinterSetup setup = usbPrinter(u"USB\\VID_1A2B&PID_3C4D\\SN9");
    setup.portNumber = 12;
    auto attached = platform::attachUsbPrinter(setup);
    EXPECT_EQ(attached.interfacePath, u"\\\\?\\usb#vid_1a2b&pid_3c4d#sn9#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}\\"
                            u"##?#usb#vid_1a2b&pid_3c4d#sn9#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\#\\Device Parameters",
                            0, KEY_QUERY_VALUE, &key),
              ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, u"Port Number", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 12u);
    RegCloseKey(key);
    ASSERT_EQ(platform::devices().size(), 1u);
    EXPECT_EQ(platform::devices()[0].interfaces[0].endpoint, attached.endpoint);
}

TEST(StringFromGuid, WritesTheBracedUpperCaseForm) {
    WCHAR text[60];
    EXPECT_EQ(StringFromGUID2(GUID_DEVINTERFACE_USBPRINT, text, 60), 39);
    EXPECT_EQ(std::u16string(text), u"{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}");
    EXPECT_EQ(StringFromGUID2(GUID_DEVINTERFACE_USBPRINT, text, 38), 0);
}

TEST(DeviceTree, SnapshotsShowDevicesAndTheirInterfaces) {
    platform::testing::Machine machine;
    const auto before = platform::testing::snapshot();
    platform::attachUsbPrinter({});
    std::vector<std::string> devices;
    for (const std::string& line : platform::testing::diff(before, platform::testing::snapshot()))
        if (line.rfind("+ device", 0) == 0 || line.rfind("+ interface", 0) == 0) devices.push_back(line);
    EXPECT_EQ(devices, (std::vector<std::string>{
                           "+ device USB\\VID_1A2B&PID_3C4D\\SN0001 present",
                           "+ interface USB\\VID_1A2B&PID_3C4D\\SN0001 {28D78FAD-5A12-11D1-AE5B-0000F803A8C2} "
                           "\\\\?\\usb#vid_1a2b&pid_3c4d#sn0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"}));
}
