// A fresh simulated machine for one test, and snapshots of what a run changed on it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control.h"

namespace platform::testing {

// Makes a new machine root in a temporary folder and switches this process to it, with the virtual
// clock on and no fault switches set. The folder is removed again when the object goes (kept when
// PLATFORM_KEEP_MACHINE=1, for looking at a failed test's machine).
class Machine {
public:
    explicit Machine(const MachineSettings& settings = {});
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // The host path of a Windows path on this machine; throws for a path the machine refuses.
    std::filesystem::path host(std::u16string_view windowsPath) const;
    void writeFile(std::u16string_view windowsPath, std::string_view bytes) const;
    std::optional<std::string> readFile(std::u16string_view windowsPath) const;
    // Names of the files in a folder, sorted.
    std::vector<std::string> filesIn(std::u16string_view folder) const;

private:
    std::filesystem::path root_;
};

// Sorted lines that describe the machine: files (with size and a checksum), links and junctions (with
// their host target), the read-only, hidden and system attributes of files and folders that have one
// ("attributes C:\... readonly hidden"), registry keys and values, printers, drivers, port monitors, services (with their
// states), processes (by program), jobs, and devices with their interfaces.
struct Snapshot {
    std::vector<std::string> lines;
};
Snapshot snapshot();
// "+ line" for what `after` has that `before` lacks, "- line" for the reverse.
std::vector<std::string> diff(const Snapshot& before, const Snapshot& after);

}  // namespace platform::testing
