// product-install: lays the product down on a simulated machine from a "SetupCFG.xml" as its
// installer would, for the uninstaller to remove.
//
//   product-install --machine DIR [--config FILE] [--neighbours] [--scan-tool-text TEXT]
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ProductInstall.h"
#include "platform/control.h"

int main(int argc, char** argv) {
    std::string machine, config = DEFAULT_CONFIG;
    productinstall::InstallOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) machine = argv[++i];
        else if (arg == "--config" && i + 1 < argc) config = argv[++i];
        else if (arg == "--neighbours") options.neighbours = true;
        else if (arg == "--scan-tool-text" && i + 1 < argc) options.scanToolText = platform::fromUtf8(argv[++i]);
        else machine.clear(), i = argc;
    }
    if (machine.empty()) {
        std::fprintf(stderr, "usage: product-install --machine DIR [--config FILE] [--neighbours] [--scan-tool-text TEXT]\n");
        return 2;
    }
    std::ifstream in(config, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "product-install: cannot read %s\n", config.c_str());
        return 1;
    }
    options.configBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    options.driverModule = RASTREL_MODULE;
    options.difxLibrary = DIFX_LIBRARY;
    options.setupProgram = SETUP_PROGRAM;
    options.setupLibraries = SETUP_LIBRARIES;
    options.rundll32Program = RUNDLL32_PROGRAM;
    try {
        platform::useMachineRoot(std::filesystem::absolute(machine));
        std::string why;
        if (!productinstall::InstallProduct(options, why)) {
            std::fprintf(stderr, "product-install: %s\n", why.c_str());
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "product-install: %s\n", error.what());
        return 1;
    }
    return 0;
}
