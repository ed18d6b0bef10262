// rastrel-caps: installs the printer in a machine, loads the driver as the spooler does and shows
// what the device reports to the graphics engine for a set of print settings.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "devmode_builder.h"
#include "platform/control.h"
#include "platform/testing/driver_host.h"
#include "platform/testing/build_tree.h"
#include "platform/testing/machine.h"
#include "rastrel.h"

namespace fs = std::filesystem;

namespace {

struct Case {
    const char* label;
    DevmodeBuilder devmode;
};

std::vector<Case> cases() {
    std::vector<Case> list;
    auto add = [&](const char* label, DevmodeBuilder dm) { list.push_back({label, std::move(dm)}); };
    add("A4 portrait", DevmodeBuilder());
    add("A4 landscape", DevmodeBuilder().landscape());
    add("A4 1200 dpi", DevmodeBuilder().quality(1200));
    add("Letter portrait", DevmodeBuilder().paper(DMPAPER_LETTER));
    add("Legal portrait", DevmodeBuilder().paper(DMPAPER_LEGAL));
    add("A5, paper option 2", DevmodeBuilder().paper(DMPAPER_A5).paperOption(2));
    add("custom 150 x 200 mm", DevmodeBuilder().paper(300).customSize(1500, 2000));
    add("A4 zoom 50", DevmodeBuilder().zoom(50));
    add("A4 2 pages a sheet", DevmodeBuilder().pagesPerSheet(2));
    add("A4 landscape 2-up", DevmodeBuilder().landscape().pagesPerSheet(2));
    add("A4 4 pages a sheet", DevmodeBuilder().pagesPerSheet(4));
    add("A4 9 pages a sheet", DevmodeBuilder().pagesPerSheet(9));
    add("A4 poster (2 x 2)", DevmodeBuilder().pagesPerSheet(22));
    add("A4 zoom 200, scale 50", DevmodeBuilder().zoom(200).scale(50));
    return list;
}

int usage() {
    std::fprintf(stderr,
                 "usage: rastrel-caps [--machine DIR] [--driver PATH]\n"
                 "  Installs the printer \"Rastrel Printer\" in a fresh machine (or in DIR), loads the\n"
                 "  driver module as the spooler does and prints what the device reports for a set of\n"
                 "  paper, orientation, resolution, N-up and zoom settings.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<fs::path> machineDir;
    fs::path driver = platform::testing::builtModule("Rastrel.so");
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) machineDir = argv[++i];
        else if (arg == "--driver" && i + 1 < argc) driver = argv[++i];
        else return usage();
    }
    if (!fs::exists(driver)) {
        std::fprintf(stderr, "rastrel-caps: no driver module at %s\n", driver.c_str());
        return 1;
    }
    std::optional<platform::testing::Machine> fresh;
    if (machineDir)
        platform::useMachineRoot(*machineDir);
    else
        fresh.emplace();

    const std::u16string printerName = u"Rastrel Printer";
    platform::PrinterSetup setup;
    setup.name = printerName;
    setup.driverName = u"Rastrel Monochrome Laser";
    setup.driverModule = driver;
    setup.driverModuleName = u"Rastrel.dll";
    setup.defaultDevmode = DevmodeBuilder().str();
    platform::installPrinter(setup);
    std::u16string modulePath = *platform::driverModulePath(setup.driverName);

    std::printf("Machine   %s\n", platform::machineRoot().c_str());
    std::printf("Printer   \"%s\" on %s\n", platform::toUtf8(printerName).c_str(), platform::toUtf8(setup.port).c_str());
    std::printf("Driver    %s\n\n", platform::toUtf8(modulePath).c_str());

    try {
        platform::testing::DriverHost host(modulePath);
        if (!host.enableDriver()) {
            std::fprintf(stderr, "rastrel-caps: DrvEnableDriver failed (error %u)\n", GetLastError());
            return 1;
        }
        std::printf("DrvEnableDriver: version 0x%X, %u functions\n\n", host.enableData().iDriverVersion,
                    host.enableData().c);
        platform::testing::PrinterHandle printer(printerName);
        std::printf("%-24s %-11s %-11s %-11s %7s %7s %9s %s\n", "settings", "physical", "printable", "band",
                    "log.dpi", "out.dpi", "zoom %", "banding");
        for (auto& entry : cases()) {
            auto device = host.enablePdev(entry.devmode.devmode(), printer.get());
            if (!device) {
                std::printf("%-24s DrvEnablePDEV failed (error %u)\n", entry.label, GetLastError());
                continue;
            }
            host.completePdev(device->pdev, reinterpret_cast<HDEV>(static_cast<uintptr_t>(1)));
            // The record behind the handle is the driver's own; this tool is built with it.
            const auto* pdev = reinterpret_cast<const DriverPdev*>(device->pdev);
            char physical[32], printable[32], band[32];
            std::snprintf(physical, sizeof physical, "%dx%d", device->gdi.szlPhysSize.cx, device->gdi.szlPhysSize.cy);
            std::snprintf(printable, sizeof printable, "%ux%u", device->gdi.ulHorzRes, device->gdi.ulVertRes);
            std::snprintf(band, sizeof band, "%dx%d", pdev->bandWidth, pdev->bandHeight);
            std::printf("%-24s %-11s %-11s %-11s %7u %7d %9.3f %s\n", entry.label, physical, printable, band,
                        device->gdi.ulLogPixelsX, pdev->outputResolution, pdev->zoom, pdev->banding ? "yes" : "no");
            host.disablePdev(device->pdev);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rastrel-caps: %s\n", e.what());
        return 1;
    }
    return 0;
}
