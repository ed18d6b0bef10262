// A machine with the simulated printer on its USB cable, and the "wifi.ini" keys that support it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "startup.h"
#include "usb_printer.h"

namespace wifitest {

inline const char16_t kPrinterId[] = u"USB\\VID_1A2B&PID_3C4D\\SN0001";
inline const char16_t kPrinterKey[] = u"USB\\VID_1A2B&PID_3C4D";

struct PrinterOnCable {
    explicit PrinterOnCable(const platform::MachineSettings& settings = {}) : machine(settings) {}
    // Attaches a printer and serves it with the script.
    void attach(const platform::UsbPrinterSetup& setup = {}, const standin::UsbPrinterScript& script = {}) {
        attached = platform::attachUsbPrinter(setup);
        printer = std::make_unique<standin::UsbPrinter>(attached.endpoint, script);
    }
    platform::testing::Machine machine;
    IniTable keys{{kPrinterKey, u"Model"}};
    platform::AttachedUsbPrinter attached;
    std::unique_ptr<standin::UsbPrinter> printer;
};

// Bytes typed from the frame layout: Universal Exit Language, the PJL line, and the exit again.
inline const std::string kPrefix = std::string("\x1B%-12345X@PJL ENTER LANGUAGE=ACL\r\n");
inline const std::string kTrailer = std::string("\x1B%-12345X");
inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

}  // namespace wifitest
