// Removing the product's device nodes and USB devices and marking its printer devices for
// reinstallation: the prefix rule, the identifier buffers, neighbours that match, the library and
// entry point that may be missing, and devices of other vendors left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DeviceRemoval.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/setupapi.h"

namespace {

using platform::Fault;
using platform::testing::Machine;

const std::u16string kPrinterClass = u"{4D36E979-E325-11CE-BFC1-08002BE10318}";

constexpr char kConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<SERTUP_INFO>
  <USB>
    <USB_Info ID="family">USB\VID_1A2B</USB_Info>
    <USB_Info ID="m2100">usb\vid_1a2b&amp;pid_3c4d</USB_Info>
    <USB_Info ID="none"></USB_Info>
  </USB>
  <ScannerHID><ScannerInfo ID="scan">USB\VID_1A2B&amp;PID_3C4D&amp;MI_01</ScannerInfo></ScannerHID>
  <DEVICEFLAG>
    <Flag ID="Zandrel M2100">USBPRINT\ZANDRELM2100A1B2</Flag>
    <Flag ID="Zandrel M1000"></Flag>
  </DEVICEFLAG>
</SERTUP_INFO>)";

uninstall::SetupConfig config(const std::string& text = kConfig) {
    uninstall::SetupConfig parsed;
    EXPECT_TRUE(parsed.parse(text).ok);
    return parsed;
}

void addDevice(const std::u16string& id, std::optional<DWORD> flags = std::nullopt, bool present = true) {
    platform::DeviceEntry device;
    device.instanceId = id;
    device.present = present;
    device.classGuid = kPrinterClass;
    device.configFlags = flags;
    platform::addDevice(device);
}

// The product's composite USB device (two scanner interfaces side by side), its print device with the
// fax variant, an instance that is not present and one without ConfigFlags, and other vendors' devices.
void installDevices() {
    addDevice(u"USB\\VID_1A2B&PID_3C4D\\SN01", 0);
    addDevice(u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1A", 0);
    addDevice(u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1B", 0);
    addDevice(u"USB\\VID_9999&PID_0001\\OTHER", 0);
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&AA", 0);
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&BB");
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2\\7&CC", 4, false);
    addDevice(u"USBPRINT\\ZANDRELM2100A1B2_FAX\\7&DD", 0);
    addDevice(u"USBPRINT\\OTHERLASER\\7&EE", 0);
}

std::vector<std::u16string> deviceIds() {
    std::vector<std::u16string> ids;
    for (const auto& device : platform::devices()) ids.push_back(device.instanceId);
    return ids;
}

std::vector<std::u16string> without(std::vector<std::u16string> ids, const std::vector<std::u16string>& gone) {
    std::erase_if(ids, [&](const auto& id) { return std::find(gone.begin(), gone.end(), id) != gone.end(); });
    return ids;
}

// The calls of this name in the journal, their arguments in order.
std::vector<std::u16string> calls(const char* name) {
    std::vector<std::u16string> out;
    for (const auto& record : platform::callJournal())
        if (record.call == name) out.push_back(record.arguments);
    return out;
}

bool logged(const std::string& line) {
    const auto log = platform::debugLog();
    return std::find(log.begin(), log.end(), line) != log.end();
}

TEST(DeviceRemoval, ScannerAndPrintDevicesGoByPrefixWithTheirNeighbours) {
    Machine machine;
    installDevices();
    const auto before = deviceIds();
    platform::setCallJournal(true);
    const auto parsed = config();
    EXPECT_EQ(uninstall::DeleteScannerDevices(u"", parsed), uninstall::kDevicesWalked);
    // Both interfaces go (the second is not skipped after the first's removal); the parent stays.
    EXPECT_EQ(calls("SetupDiCallClassInstaller"),
              (std::vector<std::u16string>{u"DIF_REMOVE, USB\\VID_1A2B&PID_3C4D&MI_01\\7&1A",
                                           u"DIF_REMOVE, USB\\VID_1A2B&PID_3C4D&MI_01\\7&1B"}));
    EXPECT_TRUE(logged("DeleteDevices: deleted successfully : USB\\VID_1A2B&PID_3C4D&MI_01\\7&1B"));
    EXPECT_TRUE(logged("USB\\VID_9999&PID_0001\\OTHER"));  // every identifier is written
    platform::clearCallJournal();
    EXPECT_EQ(uninstall::DeletePrintDevices(u"", parsed), uninstall::kDevicesWalked);
    // Every instance and the fax variant, present or not; the other vendor's stays.
    const std::vector<std::u16string> printGone = {
        u"USBPRINT\\ZANDRELM2100A1B2\\7&AA", u"USBPRINT\\ZANDRELM2100A1B2\\7&BB",
        u"USBPRINT\\ZANDRELM2100A1B2\\7&CC", u"USBPRINT\\ZANDRELM2100A1B2_FAX\\7&DD"};
    EXPECT_EQ(calls("SetupDiCallClassInstaller").size(), printGone.size());
    auto expected = without(before, printGone);
    expected = without(expected, {u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1A", u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1B"});
    EXPECT_EQ(deviceIds(), expected);
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

TEST(DeviceRemoval, PrintDeviceKeysAndMissingSets) {
    struct Case {
        const char* name;
        const char16_t* key;
        bool loaded;
        const char* fault;
        int result;
        size_t removed;
    };
    const Case cases[] = {
        {"model key", u"Zandrel M2100", true, nullptr, uninstall::kDevicesWalked, 4},
        {"key naming no model", u"Zandrel M9999", true, nullptr, uninstall::kDevicesNotWalked, 0},
        {"empty Flag", u"Zandrel M1000", true, nullptr, uninstall::kDevicesNotWalked, 0},
        {"no configuration", u"Zandrel M2100", false, nullptr, uninstall::kDevicesNotWalked, 0},
        {"no device set", u"", true, "SetupDiGetClassDevsExW", uninstall::kDevicesNotWalked, 0},
        // A failing removal does not end the walk.
        {"one removal fails", u"", true, "SetupDiCallClassInstaller", uninstall::kDevicesWalked, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        installDevices();
        const size_t before = platform::devices().size();
        if (c.fault) platform::setFault(c.fault, Fault());
        const auto parsed = c.loaded ? config() : uninstall::SetupConfig();
        EXPECT_EQ(uninstall::DeletePrintDevices(c.key, parsed), c.result);
        EXPECT_EQ(before - platform::devices().size(), c.removed);
        EXPECT_EQ(logged("atchDrvHID is NULL_CONTEXT"),
                  c.result == uninstall::kDevicesNotWalked && c.fault == nullptr);
    }
}

TEST(DeviceRemoval, IdentifiersThatDoNotFitTheirBufferMatchNothing) {
    // The scanner walk reads 200 characters with the NUL, the USB walk 1024.
    struct Case {
        size_t length;
        bool scannerRemoved;
        bool usbRemoved;
    };
    const std::u16string scannerPrefix = u"USB\\VID_1A2B&PID_3C4D&MI_01\\";
    for (const Case& c : {Case{199, true, true}, Case{200, false, true}, Case{1023, false, true},
                          Case{1024, false, false}}) {
        SCOPED_TRACE(c.length);
        const std::u16string id = scannerPrefix + std::u16string(c.length - scannerPrefix.size(), u'A');
        for (bool usb : {false, true}) {
            Machine machine;
            addDevice(id, 0);
            if (usb) uninstall::UninstallUsbDevices(config());
            else uninstall::DeleteScannerDevices(u"", config());
            EXPECT_EQ(platform::devices().empty(), usb ? c.usbRemoved : c.scannerRemoved) << usb;
        }
    }
}

TEST(DeviceRemoval, UsbInfoTakesTheLastMatchOfTheFirstThirtyEntries) {
    Machine machine;
    std::u16string id;
    const auto parsed = config();
    EXPECT_TRUE(uninstall::FindUsbInfoForDevice(u"USB\\VID_1A2B&PID_3C4D\\SN01", id, parsed));
    EXPECT_EQ(id, u"m2100");  // lower-case text, the later of two matches
    id = u"kept";
    EXPECT_TRUE(uninstall::FindUsbInfoForDevice(u"USB\\VID_1A2B&PID_9\\1", id, parsed));
    EXPECT_EQ(id, u"family");
    id = u"kept";
    EXPECT_FALSE(uninstall::FindUsbInfoForDevice(u"USB\\VID_1A2", id, parsed));  // shorter than the text
    EXPECT_EQ(id, u"kept");

    std::string many = "<SERTUP_INFO><USB>";
    for (int i = 0; i < 30; ++i) many += "<USB_Info ID=\"n\">USB\\VID_0000</USB_Info>";
    many += "<USB_Info ID=\"late\">USB\\VID_1A2B</USB_Info>";
    const std::string longText(140, 'X');
    many += "</USB></SERTUP_INFO>";
    EXPECT_FALSE(uninstall::FindUsbInfoForDevice(u"USB\\VID_1A2B&PID_3C4D\\SN01", id, config(many)));
    // A text longer than 129 characters is compared over its first 129; the "ID" is cut there too.
    const std::string cut = "<SERTUP_INFO><USB><USB_Info ID=\"" + std::string(140, 'I') + "\">" + longText +
                            "</USB_Info></USB></SERTUP_INFO>";
    EXPECT_TRUE(uninstall::FindUsbInfoForDevice(std::u16string(129, u'x'), id, config(cut)));
    EXPECT_EQ(id, std::u16string(129, u'I'));
}

TEST(DeviceRemoval, UsbDevicesGoThroughTheInstallationLibrary) {
    struct Case {
        const char* name;
        unsigned osMinor;
        const char* missingExport;
        const char* fault;
        int result;
        std::vector<std::u16string> left;  // the product's USB devices still installed
        const char* line;
    };
    const std::vector<std::u16string> all = {u"USB\\VID_1A2B&PID_3C4D\\SN01", u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1A",
                                             u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1B"};
    const Case cases[] = {
        {"uninstalled", 2, nullptr, nullptr, uninstall::kUsbWalked, {}, nullptr},
        {"no library before 6.1", 0, nullptr, nullptr, uninstall::kUsbNotWalked, all, nullptr},
        {"no entry point", 2, "DiUninstallDevice", nullptr, uninstall::kUsbNotWalked, all, "GetProcAddress fail"},
        {"no device set", 2, nullptr, "SetupDiGetClassDevsW", uninstall::kUsbNotWalked, all, "SetupDiGetClassDevs fail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::MachineSettings settings;
        settings.osMajor = 6;
        settings.osMinor = c.osMinor;
        settings.dismissDialogsAfter = 1000;
        Machine machine(settings);
        installDevices();
        if (c.missingExport) platform::removeSystemExport("newdev.dll", c.missingExport);
        if (c.fault) platform::setFault(c.fault, Fault());
        EXPECT_EQ(uninstall::UninstallUsbDevices(config()), c.result);
        std::vector<std::u16string> left;
        for (const auto& id : deviceIds())
            if (std::find(all.begin(), all.end(), id) != all.end()) left.push_back(id);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(platform::devices().size(), 9 - all.size() + c.left.size());
        if (c.line) {
            EXPECT_TRUE(logged(c.line));
        }
        const auto boxes = platform::dismissedDialogs();
        ASSERT_EQ(boxes.size(), c.osMinor == 0 ? 1u : 0u);
        if (!boxes.empty()) {
            EXPECT_EQ(boxes[0].text, u"LoadLibrary fail");
        }
    }
}

TEST(DeviceRemoval, AFailingUninstallationLeavesTheDevicesAfterIt) {
    Machine machine;
    installDevices();
    Fault fault;
    fault.detail = "USB\\VID_1A2B&PID_3C4D&MI_01\\7&1A";
    fault.error = ERROR_ACCESS_DENIED;
    platform::setFault("DiUninstallDevice", fault);
    EXPECT_EQ(uninstall::UninstallUsbDevices(config()), uninstall::kUsbWalked);
    const auto ids = deviceIds();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), u"USB\\VID_1A2B&PID_3C4D\\SN01"), 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), u"USB\\VID_1A2B&PID_3C4D&MI_01\\7&1B"), 1);
    EXPECT_TRUE(logged("faile error 5"));
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

TEST(DeviceRemoval, ReinstallFlagsOnEveryDeviceTheArgumentSelects) {
    Machine machine;
    installDevices();
    platform::setCallJournal(true);
    uninstall::SetDeviceProperty(u"");
    EXPECT_TRUE(calls("SetupDiSetDeviceRegistryPropertyW").empty());
    uninstall::SetDeviceProperty(u"USBPRINT\\ZANDRELM2100A1B2");
    // The instance without ConfigFlags is passed over, the one after it is still marked; the fax
    // variant and other devices are not selected.
    std::vector<std::pair<std::u16string, std::optional<DWORD>>> flags;
    for (const auto& device : platform::devices())
        if (device.instanceId.rfind(u"USBPRINT\\", 0) == 0) flags.emplace_back(device.instanceId, device.configFlags);
    const std::vector<std::pair<std::u16string, std::optional<DWORD>>> expected = {
        {u"USBPRINT\\ZANDRELM2100A1B2\\7&AA", 0x20},
        {u"USBPRINT\\ZANDRELM2100A1B2\\7&BB", std::nullopt},
        {u"USBPRINT\\ZANDRELM2100A1B2\\7&CC", 0x24},
        {u"USBPRINT\\ZANDRELM2100A1B2_FAX\\7&DD", 0},
        {u"USBPRINT\\OTHERLASER\\7&EE", 0},
    };
    EXPECT_EQ(flags, expected);
    uninstall::SetDeviceProperty(u"USBPRINT\\ZANDRELM2100A1B2_Fax");
    EXPECT_EQ(platform::devices()[7].configFlags, std::optional<DWORD>(0x20));

    // A failing write ends the walk.
    Fault fault;
    fault.detail = "USBPRINT\\OTHERLASER\\7&EE";
    platform::setFault("SetupDiSetDeviceRegistryPropertyW", fault);
    addDevice(u"USBPRINT\\OTHERLASER\\7&FF", 0);
    uninstall::SetDeviceProperty(u"USBPRINT\\OTHERLASER");
    EXPECT_EQ(platform::devices().back().configFlags, std::optional<DWORD>(0));
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

}  // namespace
