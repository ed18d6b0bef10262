#include "tesmar_machine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "TesmarResource.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/shell.h"
#include "win/user.h"

namespace fs = std::filesystem;

namespace tesmartest {

const char16_t kProgramFolder[] = u"C:\\Program Files\\Qelmar\\";
const char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\vrx4410App.exe";
const char16_t kSaveFolder[] = u"C:\\Users\\User\\Pictures\\Scans";
const char16_t kSettingsFolder[] = u"C:\\Users\\User\\AppData\\Roaming\\Qelmar\\TWAIN\\";

namespace {

const char kPrefix[] = "vrx4410";

void copyInto(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::vector<std::string> linesOf(const std::optional<std::string>& text) {
    std::vector<std::string> lines;
    std::istringstream in(text.value_or(""));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

platform::MachineSettings settingsFor(const Options& options) {
    platform::MachineSettings settings;
    settings.lcid = options.lcid;
    if (options.dismissDialogs) settings.dismissDialogsAfter = 1000;
    return settings;
}

}  // namespace

TesmarMachine::TesmarMachine(const Options& options_) : machine(settingsFor(options_)), options(options_) {
    const std::string prefix = kPrefix;
    const std::u16string prefix16 = platform::fromUtf8(prefix);
    machine.writeFile(u"C:\\Windows\\" + prefix16 + u".ini",
                      "[TWAIN]\r\nFile Prefix=" + prefix +
                          "\r\nSetting Folder=\\Qelmar\r\nSetting Path=\\Qelmar\\TWAIN\\\r\n"
                          "[Data Source]\r\nScannerA=Scanner A\r\nNoSuchScanner=Scanner Z\r\n");
    platform::linkProgram(kProgram, TESMAR_PROGRAM);
    platform::linkProgram(std::u16string(kProgramFolder) + prefix16 + u"mail.exe", MAIL_HELPER_PROGRAM);
    copyInto(TWAIN_MANAGER_MODULE, machine.host(std::u16string(kProgramFolder) + u"TWAINDSM.dll"));
    if (options.encoder)
        copyInto(IMAGE_ENCODER_MODULE, machine.host(std::u16string(kProgramFolder) + prefix16 + u"Brondel.dll"));
    for (const char* code : {"enus", "zhcn"})
        copyInto(fs::path(MFP_LIB_DIR) / (std::string("kelr") + code + ".dll"),
                 machine.host(std::u16string(kProgramFolder) + prefix16 + u"kelr" + platform::fromUtf8(code) + u".dll"));
    // Only boxes end by themselves: the main dialog stays for as long as the source keeps it.
    if (options.dismissDialogs) platform::keepFromDismissal({IDD_TESMAR_DIALOG});
    // The folders the installer and the source's interface make.
    fs::create_directories(machine.host(kSaveFolder));
    fs::create_directories(machine.host(kSettingsFolder));
}

void TesmarMachine::installSource(const std::string& script) const {
    std::string full = script;
    if (script.find("settings-file") == std::string::npos) full += "\nsave-settings\n";
    if (script.find("save-folder") == std::string::npos) full += "save-folder " + platform::toUtf8(kSaveFolder) + "\n";
    if (script.find("save-name") == std::string::npos) full += "save-name scan\n";
    const fs::path module = machine.host(u"C:\\Windows\\twain_32\\a\\a.ds");
    copyInto(TWAIN_SOURCE_MODULE, module);
    machine.writeFile(u"C:\\Windows\\twain_32\\a\\a.script", full);
}

TesmarMachine::Run TesmarMachine::run(const std::u16string& arguments, const std::function<void()>& whileRunning) const {
    Run result;
    const bool wasVirtual = !options.realClock;
    if (options.realClock) platform::useVirtualClock(false);
    std::u16string commandLine = u"\"" + std::u16string(kProgram) + u"\"";
    if (!arguments.empty()) commandLine += u" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(kProgram, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    if (options.realClock && wasVirtual) platform::useVirtualClock(true);
    EXPECT_TRUE(started);
    if (!started) return result;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        if (result.exitCode != STILL_ACTIVE) {
            result.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > end) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (whileRunning) whileRunning();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(result.finished) << "the program did not end";
    return result;
}

std::vector<std::string> TesmarMachine::debugLines() const {
    std::vector<std::string> lines;
    std::ifstream in(machine.root() / "debug.log");
    for (std::string line; std::getline(in, line);) {
        const size_t blank = line.find(' ');
        lines.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
    }
    return lines;
}

std::vector<std::string> TesmarMachine::temporaryFiles() const {
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(machine.host(folder), ec))
        files.push_back(entry.path().filename().string());
    return files;
}

std::vector<std::string> TesmarMachine::sourceJournal() const {
    return linesOf(machine.readFile(u"C:\\Windows\\twain_32\\a\\a.journal"));
}

bool contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace tesmartest
