// standin-usb-printer: attaches a simulated printer to a machine's USB cable and serves it until it
// is stopped (SIGINT or SIGTERM). See README.md.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/control.h"
#include "usb_printer.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: standin-usb-printer [--machine ROOT] [--script FILE] [--journal FILE]\n"
                 "                           [--instance ID] [--port N] [--timeout MS|never]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    platform::UsbPrinterSetup setup;
    standin::UsbPrinterScript script;
    std::filesystem::path journal;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return usage();
        const std::string value = argv[++i];
        if (arg == "--machine") {
            platform::useMachineRoot(value);
        } else if (arg == "--script") {
            std::ifstream in(value);
            if (!in) {
                std::fprintf(stderr, "standin-usb-printer: cannot read %s\n", value.c_str());
                return 1;
            }
            std::stringstream text;
            text << in.rdbuf();
            try {
                script = standin::parseUsbPrinterScript(text.str());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "standin-usb-printer: %s\n", e.what());
                return 1;
            }
        } else if (arg == "--journal") {
            journal = value;
        } else if (arg == "--instance") {
            setup.instanceId = platform::fromUtf8(value);
        } else if (arg == "--port") {
            setup.portNumber = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (arg == "--timeout") {
            setup.readTimeout = value == "never" ? std::nullopt
                                                 : std::optional<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else {
            return usage();
        }
    }
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    try {
        const platform::AttachedUsbPrinter attached = platform::attachUsbPrinter(setup);
        standin::UsbPrinter printer(attached.endpoint, script, journal);
        std::printf("%s\n", platform::toUtf8(attached.interfacePath).c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stops, &signal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "standin-usb-printer: %s\n", e.what());
        return 1;
    }
    return 0;
}
