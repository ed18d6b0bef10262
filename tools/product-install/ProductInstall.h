// Lays the product down on a simulated machine from a "SetupCFG.xml" as its installer would, so that
// the uninstaller has a whole product to remove; and, beside each item, another vendor's (the
// neighbours, which a removal must leave).
#pragma once
#include <filesystem>
#include <string>

#include "SetupConfig.h"

namespace productinstall {

struct InstallOptions {
    // The rendering module the product's printers use (the built Rastrel.dll); empty: a placeholder.
    std::filesystem::path driverModule;
    // The stand-in driver-package library copied to "<product folder>\x64\DIFxAPI.dll"; empty: none.
    std::filesystem::path difxLibrary;
    // The uninstaller program linked as "setup.exe" in the driver directory; empty or missing: none.
    std::filesystem::path setupProgram;
    // The host folder holding the uninstaller's language libraries and its bitmap library, copied
    // beside "setup.exe" (those the configuration names and that exist there); empty: none.
    std::filesystem::path setupLibraries;
    // The stand-in linked as the system's rundll32; empty: none.
    std::filesystem::path rundll32Program;
    // The configuration's bytes, also copied beside "setup.exe".
    std::string configBytes;
    // The scan tool's name in the installer's language (the uninstaller's text 243), which names the
    // shortcuts of the start-menu folder and the desktop.
    std::u16string scanToolText = u"Printer scan tool";
    bool neighbours = false;
};

// Installs the product the configuration describes on the current machine. False, with the reason,
// when the configuration cannot be read.
bool InstallProduct(const InstallOptions& options, std::string& why);

// The neighbours' names, for tests that check they stay.
inline constexpr char16_t kNeighbourPrinter[] = u"Zandrel M2100 PS";
inline constexpr char16_t kNeighbourDriver[] = u"Zandrel M2100 PS";
inline constexpr char16_t kOtherPrinter[] = u"Velmor Laser 40";

}  // namespace productinstall
