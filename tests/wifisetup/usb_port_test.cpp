// The printer's USB print port: the lookup from "wifi.ini" keys, the way back from a port name to
// the interface path, and the busy test on the print queue.
#include <gtest/gtest.h>

#include <functional>

#include "platform/testing/machine.h"
#include "usb_port.h"
#include "wifisetup/support/printer_on_cable.h"
#include "win/registry.h"
#include "win/spooler.h"

using platform::UsbPrinterSetup;
using wifitest::kPrinterId;
using wifitest::PrinterOnCable;

namespace {

void installQueue(const char16_t* name, const char16_t* port) {
    platform::PrinterSetup setup;
    setup.name = name;
    setup.port = port;
    setup.driverName = u"Torvane driver";
    platform::installPrinter(setup);
}

UsbPrinterSetup printer(const char16_t* id, std::optional<DWORD> port) {
    UsbPrinterSetup setup;
    setup.instanceId = id;
    setup.portNumber = port;
    return setup;
}

}  // namespace

TEST(FindPrinterUsbPort, FirstMatchingDeviceOfTheFirstSixDecidesWithoutTouchingTheRegistry) {
    struct Row {
        const char* what;
        std::function<void()> setUp;
        IniTable keys;
        std::u16string port;
    };
    const IniTable keys{{u"USB\\VID_1A2B&PID_3C4D", u"Model"}};
    const Row rows[] = {
        {"no device", [] {}, keys, u""},
        {"a match with port 7", [] { platform::attachUsbPrinter(printer(kPrinterId, 7)); }, keys, u"USB007"},
        {"a 7th matching device",
         [] {
             for (int i = 0; i < 6; ++i) {
                 std::u16string id = u"USB\\VID_9999&PID_000" + std::u16string(1, char16_t(u'0' + i)) + u"\\X";
                 platform::attachUsbPrinter(printer(id.c_str(), 1));
             }
             platform::attachUsbPrinter(printer(kPrinterId, 2));
         },
         keys, u""},
        {"two matches, the first without a port",
         [] {
             platform::attachUsbPrinter(printer(u"USB\\VID_1A2B&PID_3C4D\\A", std::nullopt));
             platform::attachUsbPrinter(printer(u"USB\\VID_1A2B&PID_3C4D\\B", 2));
         },
         keys, u""},
        {"a dot4 interface first",
         [] {
             UsbPrinterSetup setup = printer(kPrinterId, 3);
             setup.dot4 = UsbPrinterSetup::Dot4::First;
             platform::attachUsbPrinter(setup);
         },
         keys, u""},
        {"a dot4 interface second",
         [] {
             UsbPrinterSetup setup = printer(kPrinterId, 3);
             setup.dot4 = UsbPrinterSetup::Dot4::Second;
             platform::attachUsbPrinter(setup);
         },
         keys, u"USB003"},
        {"the port as REG_SZ",
         [] {
             UsbPrinterSetup setup = printer(kPrinterId, 4);
             setup.portValueType = REG_SZ;
             platform::attachUsbPrinter(setup);
         },
         keys, u""},
        {"the port as 2 binary bytes",
         [] {
             UsbPrinterSetup setup = printer(kPrinterId, 4);
             setup.portValueType = REG_BINARY;
             platform::attachUsbPrinter(setup);
         },
         keys, u""},
        {"no registry key at all",
         [] {
             platform::addDevice({kPrinterId, true, {{u"{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}", u"\\\\?\\usb#x#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", {}, 5000}}});
         },
         keys, u""},
        {"key and id in other case", [] { platform::attachUsbPrinter(printer(u"usb\\vid_1a2b&pid_3c4d\\s", 5)); },
         {{u"USB\\Vid_1A2B&Pid_3C4D", u"M"}}, u"USB005"},
        {"a key longer than the id", [] { platform::attachUsbPrinter(printer(u"USB\\VID_1A2B", 5)); },
         {{u"USB\\VID_1A2B&PID_3C4D\\SN0001\\MORE", u"M"}}, u""},
        {"a later key matches", [] { platform::attachUsbPrinter(printer(kPrinterId, 12)); },
         {{u"USB\\VID_0000", u"A"}, {u"USB\\VID_1A2B", u"B"}}, u"USB012"},
        {"an absent device is passed over",
         [] {
             UsbPrinterSetup gone = printer(u"USB\\VID_1A2B&PID_3C4D\\OLD", 1);
             gone.present = false;
             platform::attachUsbPrinter(gone);
             platform::attachUsbPrinter(printer(kPrinterId, 2));
         },
         keys, u"USB002"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::testing::Machine machine;
        row.setUp();
        auto before = platform::testing::snapshot();
        EXPECT_EQ(FindPrinterUsbPort(row.keys), row.port);
        EXPECT_TRUE(platform::testing::diff(before, platform::testing::snapshot()).empty());
        EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
    }
}

TEST(FindPrinterUsbPort, UsesTheKeysReadFromWifiIniAndFailedQueriesGiveEmptyText) {
    PrinterOnCable cable;
    platform::attachUsbPrinter(printer(kPrinterId, 1));
    GetIniTable().clear();
    EXPECT_EQ(FindPrinterUsbPort(), u"");
    GetIniTable() = cable.keys;
    EXPECT_EQ(FindPrinterUsbPort(), u"USB001");
    for (const char* query : {"SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW"}) {
        SCOPED_TRACE(query);
        platform::clearFaults();
        platform::setFault(query, platform::Fault());
        EXPECT_EQ(FindPrinterUsbPort(), u"");
        EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
    }
    GetIniTable().clear();
}

TEST(GetUsbPortDevicePath, FindsThePathAsReportedComparingThePortWithoutCase) {
    platform::testing::Machine machine;
    UsbPrinterSetup dot4 = printer(u"USB\\VID_0001&PID_0001\\A", 1);
    dot4.dot4 = UsbPrinterSetup::Dot4::First;  // skipped, then its printing interface
    platform::attachUsbPrinter(printer(u"USB\\VID_0001&PID_0002\\NOPORT", std::nullopt));
    auto first = platform::attachUsbPrinter(dot4);
    auto second = platform::attachUsbPrinter(printer(u"USB\\VID_0001&PID_0003\\B", 2));
    WCHAR path[MAX_PATH];
    for (auto [port, expected] : {std::pair{u"USB001", first.interfacePath}, std::pair{u"usb002", second.interfacePath}}) {
        std::fill(std::begin(path), std::end(path), u'?');
        EXPECT_TRUE(GetUsbPortDevicePath(path, port));
        EXPECT_EQ(std::u16string(path), expected);
    }
    std::fill(std::begin(path), std::end(path), u'?');
    EXPECT_FALSE(GetUsbPortDevicePath(path, u"USB003"));
    EXPECT_EQ(path[0], 0);
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

TEST(GetUsbPortDevicePath, PassesOverFailingInterfacesButNotForEver) {
    platform::testing::Machine machine;
    platform::AttachedUsbPrinter attached;
    for (DWORD port = 1; port <= 4; ++port) {
        std::u16string id = u"USB\\VID_1A2B&PID_3C4D\\N" + std::u16string(1, char16_t(u'0' + port));
        attached = platform::attachUsbPrinter(printer(id.c_str(), port));
    }
    WCHAR path[MAX_PATH] = u"junk";
    // The first three interfaces fail with another error than "no more": they are passed over.
    platform::setFault("SetupDiEnumDeviceInterfaces", platform::Fault().failing(3).withError(ERROR_GEN_FAILURE));
    EXPECT_TRUE(GetUsbPortDevicePath(path, u"USB004"));
    EXPECT_EQ(std::u16string(path), attached.interfacePath);
    platform::clearFaults();
    platform::setFault("SetupDiEnumDeviceInterfaces", platform::Fault().failing(3).withError(ERROR_GEN_FAILURE));
    EXPECT_FALSE(GetUsbPortDevicePath(path, u"USB001"));

    platform::clearFaults();
    platform::setFault("SetupDiEnumDeviceInterfaces", platform::Fault().failing(-1).withError(ERROR_GEN_FAILURE));
    EXPECT_FALSE(GetUsbPortDevicePath(path, u"USB001"));
    EXPECT_EQ(path[0], 0);
    EXPECT_EQ(platform::callCount("SetupDiEnumDeviceInterfaces"), 64);
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);

    platform::clearFaults();
    platform::setFault("SetupDiGetDeviceInterfaceDetailW", platform::Fault());
    std::fill(std::begin(path), std::end(path), u'?');
    EXPECT_FALSE(GetUsbPortDevicePath(path, u"USB001"));
    EXPECT_EQ(path[0], 0);
    EXPECT_EQ(platform::liveDeviceInfoSets(), 0u);
}

TEST(IsPrintPortBusy, OnlyTheFirstQueueOnThePortAndItsOpenJobsCount) {
    struct Queue {
        const char16_t* name;
        const char16_t* port;
        int openJobs;
    };
    struct Row {
        const char* what;
        bool attached;
        std::vector<Queue> queues;
        bool busy;
    };
    const Row rows[] = {
        {"no queue on the port", true, {{u"Other", u"USB002", 1}}, false},
        {"no jobs", true, {{u"Torvane", u"USB001", 0}}, false},
        {"a job held open", true, {{u"Torvane", u"USB001", 1}}, true},
        {"a second queue on the port has jobs", true, {{u"A queue", u"USB001", 0}, {u"B queue", u"USB001", 2}}, false},
        {"the port's case differs", true, {{u"Torvane", u"usb001", 1}}, false},
        {"no printer: an empty port", false, {{u"Torvane", u"", 1}}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::testing::Machine machine;
        if (row.attached) platform::attachUsbPrinter(printer(kPrinterId, 1));
        std::vector<HANDLE> handles;
        for (const Queue& queue : row.queues) {
            installQueue(queue.name, queue.port);
            for (int j = 0; j < queue.openJobs; ++j) {
                HANDLE handle = nullptr;
                ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(queue.name), &handle, nullptr));
                DOC_INFO_1W doc{const_cast<LPWSTR>(u"page"), nullptr, nullptr};
                ASSERT_NE(StartDocPrinterW(handle, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
                handles.push_back(handle);
            }
        }
        EXPECT_EQ(IsPrintPortBusy({{wifitest::kPrinterKey, u"M"}}), row.busy);
        for (HANDLE handle : handles) {
            EndDocPrinter(handle);
            ClosePrinter(handle);
        }
        EXPECT_FALSE(IsPrintPortBusy({{wifitest::kPrinterKey, u"M"}}));
    }
}

TEST(IsPrintPortBusy, IsNotBusyWhenThePrintersCannotBeListed) {
    platform::testing::Machine machine;
    platform::attachUsbPrinter(printer(kPrinterId, 1));
    installQueue(u"Torvane", u"USB001");
    HANDLE handle = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Torvane"), &handle, nullptr));
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"page"), nullptr, nullptr};
    ASSERT_NE(StartDocPrinterW(handle, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    const IniTable keys{{wifitest::kPrinterKey, u"M"}};
    EXPECT_TRUE(IsPrintPortBusy(keys));
    platform::setFault("EnumPrintersW", platform::Fault());
    EXPECT_FALSE(IsPrintPortBusy(keys));
    platform::setFault("EnumPrintersW", platform::Fault().skipping(1));  // the size query passes
    EXPECT_FALSE(IsPrintPortBusy(keys));
    platform::setFault("LocalAlloc", platform::Fault());
    EXPECT_FALSE(IsPrintPortBusy(keys));
    ClosePrinter(handle);
}
