#include "orlith_machine.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "DialogResources.h"
#include "PushScanSettings.h"
#include "scan_machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/sti.h"

namespace fs = std::filesystem;

namespace scantest {

const char16_t kOrlithProgram[] = u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe";
const char kOrlithProgramUtf8[] = "C:\\Program Files\\Qelmar\\vrx4410PushScan.exe";
const char16_t kStiDevice[] = u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
const char16_t kStiEvent[] = u"{A6C5A715-8C6E-11D2-977A-0000F87A926F}";

namespace {

const std::u16string kFolder = u"C:\\Program Files\\Qelmar\\";
const char16_t kSettings[] = u"C:\\Users\\User\\AppData\\Roaming\\Qelmar\\PushScan\\pushscan_settings.dat";

std::string readHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

platform::MachineSettings settingsOf(const OrlithMachine::Options& options) {
    platform::MachineSettings settings;
    settings.dismissDialogsAfter = options.dismissAfterMs;
    settings.osMajor = options.osMajor;
    settings.osMinor = options.osMinor;
    settings.osBuild = options.osBuild;
    return settings;
}

void copyOnto(const platform::testing::Machine& machine, std::u16string_view windowsPath, const fs::path& host) {
    const fs::path target = machine.host(windowsPath);
    fs::create_directories(target.parent_path());
    fs::copy_file(host, target, fs::copy_options::overwrite_existing);
}

}  // namespace

OrlithMachine::OrlithMachine() : OrlithMachine(Options{}) {}

OrlithMachine::OrlithMachine(const Options& options) : machine(settingsOf(options)), prefix_(options.prefix) {
    if (options.realClock) platform::useVirtualClock(false);
    platform::keepFromDismissal({IDD_PROGRESS_DIALOG});
    platform::setProgramPath(program());
    std::string ini = readHost(fs::path(MFP_SOURCE_DIR) / "scan" / "res" / "product.ini");
    const std::string prefixLine = "File Prefix=vrx4410";
    ini.replace(ini.find(prefixLine), prefixLine.size(), "File Prefix=" + platform::toUtf8(prefix_));
    machine.writeFile(u"C:\\Windows\\" + prefix_ + u".ini", ini);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Qelmar\\vrx4410", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const std::u16string language = u"English";
    RegSetValueExW(key, u"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(language.c_str()),
                   static_cast<DWORD>((language.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    platform::linkProgram(program(), ORLITH_PROGRAM);
    if (options.languageLibrary)
        copyOnto(machine, kFolder + prefix_ + u"kelrenus.dll", fs::path(MFP_LIB_DIR) / "kelrenus.dll");
    copyOnto(machine, kFolder + prefix_ + u"vqm.dll", VQM_STANDIN);
    EXPECT_TRUE(CreateDirectoryW(kSaveFolder, nullptr));
    PushScanSettings settings{options.autoOpen, options.openFolder, {}};
    lstrcpynW(settings.szSaveFolder, kSaveFolder, MAX_PATH);
    BYTE bytes[PUSHSCAN_SETTINGS_BYTES];
    SerializePushScanSettings(settings, bytes);
    machine.writeFile(kSettings, std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

OrlithMachine::~OrlithMachine() { platform::useVirtualClock(true); }

void OrlithMachine::installRegistrationLibrary(const char* hostModule) const {
    copyOnto(machine, kFolder + prefix_ + u"Sivmar.dll", hostModule);
}

std::string OrlithMachine::registrationJournal() const {
    return machine.readFile(kFolder + prefix_ + u"Sivmar.journal").value_or("");
}

void OrlithMachine::script(const std::string& text) const { machine.writeFile(kFolder + prefix_ + u"vqm.script", text); }

std::vector<std::string> OrlithMachine::driverJournal() const {
    std::vector<std::string> lines;
    std::istringstream text(machine.readFile(kFolder + prefix_ + u"vqm.journal").value_or(""));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

void OrlithMachine::pressButton(const std::string& eventData) const {
    const std::u16string path = std::u16string(STI_DEVICE_CLASS_KEY) + u"\\" + kStiDevice + u"\\DeviceData";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, u"EventData", 0, REG_BINARY, reinterpret_cast<const BYTE*>(eventData.data()),
                   static_cast<DWORD>(eventData.size()));
    const std::u16string device = platform::fromUtf8(kDevicePath);
    RegSetValueExW(key, u"DevicePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(device.c_str()),
                   static_cast<DWORD>((device.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

OrlithRun OrlithMachine::start(const std::u16string& arguments) const {
    std::u16string line = u"\"" + program() + u"\"";
    if (!arguments.empty()) line += u" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    OrlithRun run;
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        << GetLastError();
    CloseHandle(info.hThread);
    run.processId = info.dwProcessId;
    run.process = info.hProcess;
    return run;
}

DWORD OrlithMachine::wait(OrlithRun& run) const {
    if (!run.process) return run.exitCode;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    DWORD code = STILL_ACTIVE;
    while (GetExitCodeProcess(run.process, &code) && code == STILL_ACTIVE && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (code == STILL_ACTIVE) {
        ADD_FAILURE() << "the program did not end";
        ::kill(static_cast<pid_t>(run.processId), SIGKILL);
        while (GetExitCodeProcess(run.process, &code) && code == STILL_ACTIVE)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    CloseHandle(run.process);
    run.process = nullptr;
    run.exitCode = code;
    return code;
}

OrlithRun OrlithMachine::run(const std::u16string& arguments) const {
    OrlithRun run = start(arguments);
    wait(run);
    return run;
}

std::vector<std::string> OrlithMachine::debugLines(const OrlithRun& run) const {
    std::vector<std::string> lines;
    std::istringstream text(readHost(machine.root() / "debug.log"));
    const std::string prefix = std::to_string(run.processId) + " ";
    for (std::string line; std::getline(text, line);)
        if (line.rfind(prefix, 0) == 0) lines.push_back(line.substr(prefix.size()));
    return lines;
}

std::vector<std::string> OrlithMachine::savedFiles() const { return machine.filesIn(kSaveFolder); }

fs::path OrlithMachine::savedFile(const std::string& name) const {
    return machine.host(std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(name));
}

std::vector<std::string> OrlithMachine::temporaryFiles() const {
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return machine.filesIn(folder);
}

std::u16string OrlithMachine::program() const { return kFolder + prefix_ + u"PushScan.exe"; }

}  // namespace scantest
