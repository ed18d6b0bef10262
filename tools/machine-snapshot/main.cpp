// machine-snapshot: prints the lines that describe a simulated machine (files, links, registry keys
// and values, printers, drivers, port monitors, services, processes, jobs, devices), sorted, one a
// line, so that two runs can be compared with diff(1).
//
//   machine-snapshot [--machine FOLDER]
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"

int main(int argc, char** argv) {
    std::optional<std::string> machine;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) {
            machine = argv[++i];
        } else {
            std::fprintf(stderr, "usage: machine-snapshot [--machine FOLDER]\n");
            return 2;
        }
    }
    try {
        if (machine) {
            if (!std::filesystem::is_directory(*machine)) {
                std::fprintf(stderr, "machine-snapshot: no machine at %s\n", machine->c_str());
                return 1;
            }
            platform::useMachineRoot(std::filesystem::absolute(*machine));
        }
        for (const std::string& line : platform::testing::snapshot().lines) std::printf("%s\n", line.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "machine-snapshot: %s\n", error.what());
        return 1;
    }
    return 0;
}
