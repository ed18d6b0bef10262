#include "platform/testing/machine.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace platform::testing {

namespace {

fs::path makeTempRoot() {
    std::string pattern = (fs::temp_directory_path() / "machine-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a machine folder");
    return pattern;
}

std::string checksum(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash ^= static_cast<unsigned char>(buffer[i]);
            hash *= 1099511628211ull;
        }
    }
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace

Machine::Machine(const MachineSettings& settings) : root_(makeTempRoot()) {
    useMachineRoot(root_);
    setMachineSettings(settings);
    useVirtualClock(true);
    clearFaults();
    clearDebugLog();
}

Machine::~Machine() {
    clearFaults();
    const char* keep = std::getenv("PLATFORM_KEEP_MACHINE");
    if (keep && *keep == '1') return;
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path Machine::host(std::u16string_view windowsPath) const {
    auto path = hostPath(windowsPath);
    if (!path) throw std::invalid_argument("not a path of the machine: " + toUtf8(windowsPath));
    return *path;
}

void Machine::writeFile(std::u16string_view windowsPath, std::string_view bytes) const {
    fs::path file = host(windowsPath);
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> Machine::readFile(std::u16string_view windowsPath) const {
    std::ifstream in(host(windowsPath), std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Machine::filesIn(std::u16string_view folder) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(host(folder), ec))
        if (entry.is_regular_file(ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Snapshot snapshot() {
    Snapshot shot;
    fs::path root = machineRoot();
    std::error_code ec;
    fs::path drives = root / "drives";
    for (auto it = fs::recursive_directory_iterator(drives, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string name = "C:";
        fs::path relative = it->path().lexically_relative(drives);
        auto part = relative.begin();
        name = std::string(1, static_cast<char>(std::toupper(part->string()[0]))) + ":";
        for (++part; part != relative.end(); ++part) name += "\\" + part->string();
        if (it->is_symlink(ec))
            shot.lines.push_back("link " + name + " -> " + fs::read_symlink(it->path(), ec).string());
        else if (it->is_directory(ec))
            shot.lines.push_back("folder " + name);
        else
            shot.lines.push_back("file " + name + " size=" + std::to_string(it->file_size(ec)) + " sum=" +
                                 checksum(it->path()));
    }
    std::ifstream hive(root / "registry.hive");
    for (std::string line; std::getline(hive, line);) {
        if (line.rfind("K\t", 0) == 0) shot.lines.push_back("key " + line.substr(2));
        if (line.rfind("V\t", 0) == 0) shot.lines.push_back("value " + line.substr(2));
    }
    for (const std::string kind : {"printers", "drivers", "monitors"}) {
        for (auto it = fs::recursive_directory_iterator(root / "spooler" / kind, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_regular_file(ec) || it->path().extension() != ".ini") continue;
            std::ifstream in(it->path());
            std::string text, line;
            while (std::getline(in, line)) text += " " + line;
            shot.lines.push_back(kind.substr(0, kind.size() - 1) + text);
        }
    }
    for (const ServiceSetup& service : services())
        shot.lines.push_back("service " + toUtf8(service.name) + " state=" + std::to_string(service.state));
    for (const ProcessEntry& process : processTable())
        shot.lines.push_back(std::string(process.resident ? "resident process " : "process ") + toUtf8(process.program));
    for (const auto& job : printJobs())
        shot.lines.push_back("job " + std::to_string(job.id) + " printer=" + toUtf8(job.printer) +
                             " bytes=" + std::to_string(job.bytes.size()) + (job.complete ? " complete" : ""));
    for (const DeviceEntry& device : devices()) {
        shot.lines.push_back("device " + toUtf8(device.instanceId) + (device.present ? " present" : " absent"));
        if (!device.classGuid.empty())
            shot.lines.push_back("device-class " + toUtf8(device.instanceId) + " " + toUtf8(device.classGuid));
        if (device.configFlags)
            shot.lines.push_back("device-flags " + toUtf8(device.instanceId) + " " + std::to_string(*device.configFlags));
        for (const DeviceInterfaceEntry& face : device.interfaces)
            shot.lines.push_back("interface " + toUtf8(device.instanceId) + " " + toUtf8(face.classGuid) + " " +
                                 toUtf8(face.path));
    }
    for (const OemInfRecord& inf : oemInfs())
        shot.lines.push_back("oem-inf " + toUtf8(inf.name) + " from=" + toUtf8(inf.original));
    std::sort(shot.lines.begin(), shot.lines.end());
    return shot;
}

std::vector<std::string> diff(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> changes;
    std::vector<std::string> removed, added;
    std::set_difference(before.lines.begin(), before.lines.end(), after.lines.begin(), after.lines.end(),
                        std::back_inserter(removed));
    std::set_difference(after.lines.begin(), after.lines.end(), before.lines.begin(), before.lines.end(),
                        std::back_inserter(added));
    for (auto& line : removed) changes.push_back("- " + line);
    for (auto& line : added) changes.push_back("+ " + line);
    return changes;
}

}  // namespace platform::testing
