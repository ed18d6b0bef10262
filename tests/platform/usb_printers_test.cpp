// Device files of printers on the USB cable: packets, the read time-out on the machine clock, and
// names that are no device.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/testing/machine.h"
#include "usb_printer.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

const std::string kUel = "\x1B%-12345X";

// A query frame, which the simulated printer answers with a 16-byte header and a 240-byte body.
std::string queryFrame() {
    std::string header(16, '\0');
    header[1] = '\xAC';
    header[2] = '\xFF';
    header[3] = '\x0F';
    header[5] = '\x02';
    return kUel + "@PJL ENTER LANGUAGE=ACL\r\n" + header + kUel;
}

HANDLE openDevice(const std::u16string& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(UsbPrinterFiles, AWriteIsAPacketAndAReadTakesOnePacketOrTimesOut) {
    platform::testing::Machine machine;
    auto attached = platform::attachUsbPrinter({});
    standin::UsbPrinter printer(attached.endpoint, {});
    HANDLE device = openDevice(attached.interfacePath);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::liveDeviceFiles(), 1u);

    const std::string frame = queryFrame();
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(device, frame.data(), static_cast<DWORD>(frame.size()), &done, nullptr));
    EXPECT_EQ(done, 59u);
    char buffer[300];
    ASSERT_TRUE(ReadFile(device, buffer, 4, &done, nullptr));  // the header packet, cut to 4 bytes
    EXPECT_EQ(done, 4u);
    ASSERT_TRUE(ReadFile(device, buffer, sizeof buffer, &done, nullptr));  // the body packet whole
    EXPECT_EQ(done, 240u);

    const ULONGLONG before = GetTickCount64();
    ASSERT_TRUE(ReadFile(device, buffer, sizeof buffer, &done, nullptr));  // nothing more: the time-out
    EXPECT_EQ(done, 0u);
    EXPECT_GE(GetTickCount64() - before, 5000u);
    EXPECT_LT(GetTickCount64() - before, 5100u);
    EXPECT_EQ(printer.received("query").size(), 1u);

    CloseHandle(device);
    EXPECT_EQ(platform::liveDeviceFiles(), 0u);
}

TEST(UsbPrinterFiles, NamesOfNoServedDeviceOpenNothing) {
    platform::testing::Machine machine;
    platform::UsbPrinterSetup absent;
    absent.instanceId = u"USB\\VID_0001&PID_0001\\GONE";
    absent.present = false;
    auto gone = platform::attachUsbPrinter(absent);
    auto unserved = platform::attachUsbPrinter({});
    struct Row {
        std::u16string name;
        DWORD error;
    };
    const Row rows[] = {
        {u"\\\\?\\usb#vid_ffff&pid_ffff#x#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}", ERROR_FILE_NOT_FOUND},
        {gone.interfacePath, ERROR_FILE_NOT_FOUND},
        {unserved.interfacePath, ERROR_GEN_FAILURE},
        {unserved.dot4Path.empty() ? u"\\\\?\\usb#dot4" : unserved.dot4Path, ERROR_FILE_NOT_FOUND},
    };
    const auto before = platform::testing::snapshot();
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::toUtf8(row.name));
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(openDevice(row.name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_TRUE(platform::testing::diff(before, platform::testing::snapshot()).empty());
    EXPECT_EQ(platform::liveDeviceFiles(), 0u);
}

TEST(UsbPrinterFiles, AReadWithoutTimeOutWaitsForThePacket) {
    platform::testing::Machine machine;
    platform::UsbPrinterSetup setup;
    setup.readTimeout = std::nullopt;
    auto attached = platform::attachUsbPrinter(setup);
    standin::UsbPrinterScript script;
    script.delayMs = 60000;  // a minute of machine time, which only the host's own clock moves
    standin::UsbPrinter printer(attached.endpoint, script);
    HANDLE device = openDevice(attached.interfacePath);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const std::string frame = queryFrame();
    DWORD done = 0;
    // Read before the packet goes: the printer's minute begins once it has the packet, which may be
    // before or after the clock below has started to move.
    const DWORD before = GetTickCount();
    ASSERT_TRUE(WriteFile(device, frame.data(), static_cast<DWORD>(frame.size()), &done, nullptr));
    // Machine time moves until the answer is in: the printer's minute may begin only after the clock
    // has already moved a while (a busy host runs its thread late).
    std::atomic<bool> answered{false};
    std::thread clock([&answered] {
        for (int i = 0; i < 600000 && !answered; ++i) {
            platform::advanceClock(1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    char buffer[16];
    EXPECT_TRUE(ReadFile(device, buffer, sizeof buffer, &done, nullptr));
    answered = true;
    EXPECT_EQ(done, 16u);
    EXPECT_GE(GetTickCount() - before, 60000u);
    clock.join();
    CloseHandle(device);
}
