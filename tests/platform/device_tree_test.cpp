// The machine's device tree through the device set-up interface, and StringFromGUID2.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/machine.h"
#include "win/files.h"
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

namespace {

const std::u16string kPrinterClass = u"{4D36E979-E325-11CE-BFC1-08002BE10318}";

void addDevice(const char16_t* id, bool present, const std::u16string& classGuid, std::optional<DWORD> flags) {
    platform::DeviceEntry device;
    device.instanceId = id;
    device.present = present;
    device.classGuid = classGuid;
    device.configFlags = flags;
    platform::addDevice(device);
}

// The instance ids a selection gives, or the error that refused it.
std::vector<std::u16string> select(const GUID* classGuid, const char16_t* enumerator, DWORD flags, DWORD* error) {
    std::vector<std::u16string> ids;
    SetLastError(0xDEADBEEF);
    HDEVINFO set = SetupDiGetClassDevsW(classGuid, enumerator, nullptr, flags);
    *error = set == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (set == INVALID_HANDLE_VALUE) return ids;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        WCHAR id[200];
        EXPECT_EQ(CM_Get_Device_ID_ExW(device.DevInst, id, 200, 0, nullptr), static_cast<CONFIGRET>(CR_SUCCESS));
        ids.push_back(id);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

}  // namespace

TEST(DeviceTree, SelectionsByEnumeratorClassAndPresence) {
    platform::testing::Machine machine;
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&1", true, kPrinterClass, 0);
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&2", false, kPrinterClass, std::nullopt);
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2_FAX\\7&3", true, kPrinterClass, 0);
    addDevice(u"USB\\VID_1A2B&PID_3C4D\\SN1", true, u"{36FC9E60-C465-11CF-8056-444553540000}", std::nullopt);
    using Ids = std::vector<std::u16string>;
    struct Case {
        const char* name;
        const GUID* classGuid;
        const char16_t* enumerator;
        DWORD flags;
        Ids ids;
        DWORD error;
    };
    const Case cases[] = {
        {"enumerator alone", nullptr, u"usbprint", DIGCF_ALLCLASSES,
         {u"USBPRINT\\ZANDRELM2100A1B2\\7&1", u"USBPRINT\\ZANDRELM2100A1B2\\7&2", u"USBPRINT\\ZANDRELM2100A1B2_FAX\\7&3"},
         ERROR_SUCCESS},
        {"device id: all its instances", nullptr, u"USBPRINT\\ZANDRELM2100A1B2", DIGCF_ALLCLASSES,
         {u"USBPRINT\\ZANDRELM2100A1B2\\7&1", u"USBPRINT\\ZANDRELM2100A1B2\\7&2"}, ERROR_SUCCESS},
        {"full instance id", nullptr, u"USBPRINT\\ZANDRELM2100A1B2\\7&2", DIGCF_ALLCLASSES,
         {u"USBPRINT\\ZANDRELM2100A1B2\\7&2"}, ERROR_SUCCESS},
        {"present only", nullptr, u"USBPRINT\\ZANDRELM2100A1B2", DIGCF_ALLCLASSES | DIGCF_PRESENT,
         {u"USBPRINT\\ZANDRELM2100A1B2\\7&1"}, ERROR_SUCCESS},
        {"the class alone", &GUID_DEVCLASS_PRINTER, u"USB", 0, {}, ERROR_SUCCESS},
        {"all classes ignore the class", &GUID_DEVCLASS_PRINTER, u"USB", DIGCF_ALLCLASSES,
         {u"USB\\VID_1A2B&PID_3C4D\\SN1"}, ERROR_SUCCESS},
        {"no enumerator", &GUID_DEVCLASS_PRINTER, nullptr, 0,
         {u"USBPRINT\\ZANDRELM2100A1B2\\7&1", u"USBPRINT\\ZANDRELM2100A1B2\\7&2", u"USBPRINT\\ZANDRELM2100A1B2_FAX\\7&3"},
         ERROR_SUCCESS},
        {"no match", nullptr, u"USBPRINT\\ZANDRELM2100", DIGCF_ALLCLASSES, {}, ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD error = 0;
        EXPECT_EQ(select(c.classGuid, c.enumerator, c.flags, &error), c.ids);
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

TEST(DeviceTree, NodesPropertiesAndRemoval) {
    platform::testing::Machine machine;
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&1", true, kPrinterClass, 4);
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&2", false, kPrinterClass, std::nullopt);
    platform::setCallJournal(true);
    const auto before = platform::testing::snapshot();
    HDEVINFO set = SetupDiGetClassDevsExW(&GUID_DEVCLASS_PRINTER, u"USBPRINT", nullptr, DIGCF_ALLCLASSES, nullptr,
                                          nullptr, nullptr);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_LIST_DETAIL_DATA_W detail{};
    detail.cbSize = sizeof detail;
    ASSERT_TRUE(SetupDiGetDeviceInfoListDetailW(set, &detail));
    EXPECT_EQ(detail.RemoteMachineHandle, nullptr);
    SP_DEVINFO_DATA first{}, second{};
    first.cbSize = second.cbSize = sizeof first;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &first));
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &second));
    EXPECT_EQ(std::memcmp(&first.ClassGuid, &GUID_DEVCLASS_PRINTER, sizeof(GUID)), 0);

    // The id with its NUL must fit.
    const DWORD length = static_cast<DWORD>(std::u16string(u"USBPRINT\\ZANDRELM2100A1B2\\7&1").size());
    WCHAR id[64];
    EXPECT_EQ(CM_Get_Device_ID_ExW(first.DevInst, id, length, 0, nullptr), static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(CM_Get_Device_ID_ExW(first.DevInst, id, length + 1, 0, nullptr), static_cast<CONFIGRET>(CR_SUCCESS));

    DWORD flags = 0, size = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &first, SPDRP_CONFIGFLAGS, nullptr, nullptr, 0, &size));
    EXPECT_EQ(size, 4u);
    SetLastError(0xDEADBEEF);
    size = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &second, SPDRP_CONFIGFLAGS, nullptr, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(size, 0u);
    flags = 0x24;
    EXPECT_TRUE(SetupDiSetDeviceRegistryPropertyW(set, &first, SPDRP_CONFIGFLAGS, reinterpret_cast<BYTE*>(&flags), 4));
    flags = 0;
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyW(set, &first, SPDRP_CONFIGFLAGS, nullptr,
                                                  reinterpret_cast<BYTE*>(&flags), 4, nullptr));
    EXPECT_EQ(flags, 0x24u);

    DEVINST node = 0;
    EXPECT_EQ(CM_Locate_DevNodeW(&node, const_cast<LPWSTR>(u"USBPRINT\\ZANDRELM2100A1B2\\7&2"), CM_LOCATE_DEVNODE_NORMAL),
              static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    EXPECT_EQ(CM_Locate_DevNodeW(&node, const_cast<LPWSTR>(u"USBPRINT\\ZANDRELM2100A1B2\\7&2"), CM_LOCATE_DEVNODE_PHANTOM),
              static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(node, second.DevInst);
    EXPECT_EQ(CM_Locate_DevNodeW(&node, nullptr, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(CM_Reenumerate_DevNode(node, CM_REENUMERATE_NORMAL), static_cast<CONFIGRET>(CR_SUCCESS));

    EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &second));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set, &second));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    EXPECT_EQ(CM_Get_Device_ID_ExW(second.DevInst, id, 64, 0, nullptr), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    // The set keeps its picture: the walk still reaches the devices after a removed one.
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, 1, &second));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));

    EXPECT_EQ(platform::testing::diff(before, platform::testing::snapshot()),
              (std::vector<std::string>{"- device USBPRINT\\ZANDRELM2100A1B2\\7&2 absent",
                                        "- device-class USBPRINT\\ZANDRELM2100A1B2\\7&2 " + platform::toUtf8(kPrinterClass),
                                        "- device-flags USBPRINT\\ZANDRELM2100A1B2\\7&1 4",
                                        "+ device-flags USBPRINT\\ZANDRELM2100A1B2\\7&1 36"}));
    std::vector<std::string> calls;
    for (const auto& record : platform::callJournal()) calls.push_back(record.call + " " + platform::toUtf8(record.arguments));
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "SetupDiSetDeviceRegistryPropertyW USBPRINT\\ZANDRELM2100A1B2\\7&1, 10, 36",
                         "CM_Locate_DevNodeW USBPRINT\\ZANDRELM2100A1B2\\7&2, 0",
                         "CM_Locate_DevNodeW USBPRINT\\ZANDRELM2100A1B2\\7&2, 1", "CM_Locate_DevNodeW , 0",
                         "CM_Reenumerate_DevNode HTREE\\ROOT\\0, 0",
                         "SetupDiCallClassInstaller DIF_REMOVE, USBPRINT\\ZANDRELM2100A1B2\\7&2",
                         "SetupDiCallClassInstaller DIF_REMOVE, USBPRINT\\ZANDRELM2100A1B2\\7&2"}));
}

TEST(DeviceTree, OemInfRecordsGoWithTheirFiles) {
    platform::testing::Machine machine;
    const auto before = platform::testing::snapshot();
    EXPECT_EQ(platform::installOemInf(u"zandrel.inf", "[Version]\r\n").name, u"oem0.inf");
    EXPECT_EQ(platform::installOemInf(u"other.inf", "[Version]\r\n").name, u"oem1.inf");
    auto changes = platform::testing::diff(before, platform::testing::snapshot());
    EXPECT_NE(std::find(changes.begin(), changes.end(), "+ oem-inf oem0.inf from=zandrel.inf"), changes.end());
    EXPECT_TRUE(SetupUninstallOEMInfW(u"oem0.inf", SUOI_FORCEDELETE, nullptr));
    ASSERT_EQ(platform::oemInfs().size(), 1u);
    EXPECT_EQ(platform::oemInfs()[0].original, u"other.inf");
    EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\inf\\oem0.PNF"), INVALID_FILE_ATTRIBUTES);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetupUninstallOEMInfW(u"oem0.inf", SUOI_FORCEDELETE, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
