// scan-button: presses the scan button of the scanner on a simulated machine, as a person at the
// device would. It installs the scan-button program there when it is missing (the program, its
// language library, the stand-in scanner driver, the product INI, the installed language and the
// user's settings naming the save folder), writes the push command of the digits into the scanner's
// still-image values, starts the program as the still-image service does ("/StiDevice:... /StiEvent:
// ...") and waits for it; then it prints the host paths of the files the scan saved and, with --png,
// writes the first saved JPEG page as a PNG picture.
//
//   scan-button [--machine FOLDER] [--png FILE] [DIGITS]
//
// DIGITS are those of a "-PUSH_PARAM" command (default 116100: 150 dpi, grey, card size, JPEG,
// flatbed): resolution 0-3 (75/150/300/600 dpi), colour 0-2 (line art, grey, colour), paper 0-10,
// file type 0-2 (TIFF, JPEG, PDF), source 0-1 (flatbed, feeder), multi-page 0-1.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "DialogResources.h"
#include "PictureWriter.h"
#include "PushScanSettings.h"
#include "machine_files.h"
#include "platform/control.h"
#include "win/files.h"
#include "win/gdiplus.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/registry.h"
#include "win/sti.h"

namespace fs = std::filesystem;

namespace {

using tools::copyOnto;
using tools::writeOnto;

const char16_t kFolder[] = u"C:\\Program Files\\Qelmar\\";
const char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe";
const char16_t kSaveFolder[] = u"C:\\Users\\User\\Pictures\\Scans";
const char16_t kSettings[] = u"C:\\Users\\User\\AppData\\Roaming\\Qelmar\\PushScan\\pushscan_settings.dat";
const char16_t kDevice[] = u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
const char16_t kEvent[] = u"{A6C5A715-8C6E-11D2-977A-0000F87A926F}";
const char16_t kDevicePath[] = u"\\\\?\\usb#vid_3a1f&pid_4410#5&1c0#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
// Machine time an error box waits before the machine ends it (nobody can click it here).
const DWORD kDismissAfterMs = 10000;

int fail(const std::string& message) {
    std::fprintf(stderr, "scan-button: %s\n", message.c_str());
    return 1;
}

std::string readHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool setValue(HKEY key, const char16_t* name, DWORD type, const void* data, size_t size) {
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

// What the installer leaves on the machine for the scan-button program.
bool install() {
    platform::linkProgram(kProgram, ORLITH_PROGRAM);
    if (!copyOnto(std::u16string(kFolder) + u"vrx4410kelrenus.dll", fs::path(SCAN_LIBRARY_DIR) / "kelrenus.dll") ||
        !copyOnto(std::u16string(kFolder) + u"vrx4410vqm.dll", VQM_STANDIN))
        return false;
    if (!writeOnto(u"C:\\Windows\\vrx4410.ini", readHost(PRODUCT_INI))) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Qelmar\\vrx4410", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::u16string language = u"English";
    setValue(key, u"Language", REG_SZ, language.c_str(), (language.size() + 1) * sizeof(WCHAR));
    RegCloseKey(key);
    CreateDirectoryW(kSaveFolder, nullptr);
    PushScanSettings settings{0, 0, {}};
    lstrcpynW(settings.szSaveFolder, kSaveFolder, MAX_PATH);
    BYTE bytes[PUSHSCAN_SETTINGS_BYTES];
    SerializePushScanSettings(settings, bytes);
    if (!writeOnto(kSettings, std::string(reinterpret_cast<const char*>(bytes), sizeof bytes))) return false;
    platform::MachineSettings machine = platform::machineSettings();
    if (!machine.dismissDialogsAfter) machine.dismissDialogsAfter = kDismissAfterMs;
    platform::setMachineSettings(machine);
    platform::keepFromDismissal({IDD_PROGRESS_DIALOG});
    return true;
}

// The scanner's driver leaves the push command and its device path in the device's values.
bool press(const std::string& digits) {
    std::string command(1, '\x56');
    for (char digit : digits) command += static_cast<char>(digit - '0');
    const std::u16string path = std::u16string(STI_DEVICE_CLASS_KEY) + u"\\" + kDevice + u"\\DeviceData";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const std::u16string device = kDevicePath;
    const bool ok = setValue(key, u"EventData", REG_BINARY, command.data(), command.size()) &&
                    setValue(key, u"DevicePath", REG_SZ, device.c_str(), (device.size() + 1) * sizeof(WCHAR));
    RegCloseKey(key);
    return ok;
}

// Starts the program as the still-image service does and waits for its end; its exit code.
std::optional<DWORD> launch() {
    std::u16string line = std::u16string(u"\"") + kProgram + u"\" /StiDevice:" + kDevice + u" /StiEvent:" + kEvent;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return std::nullopt;
    CloseHandle(info.hThread);
    DWORD code = STILL_ACTIVE;
    while (GetExitCodeProcess(info.hProcess, &code) && code == STILL_ACTIVE)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CloseHandle(info.hProcess);
    return code;
}

std::set<std::string> savedNow() {
    std::set<std::string> names;
    std::error_code ec;
    if (auto folder = platform::hostPath(kSaveFolder))
        for (const auto& entry : fs::directory_iterator(*folder, ec)) names.insert(entry.path().filename().string());
    return names;
}

// A JPEG page of the save folder as a PNG picture, through the machine's picture library.
bool writePng(const std::string& saved, const fs::path& png) {
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (GdiplusStartup(&token, &input, nullptr) != Ok) return false;
    const std::u16string source = std::u16string(kSaveFolder) + u"\\" + platform::fromUtf8(saved);
    GpImage* image = nullptr;
    bool ok = false;
    CLSID encoder{};
    if (GdipLoadImageFromFile(source.c_str(), &image) == Ok && GetEncoderClsid(u"image/png", &encoder) >= 0) {
        // Written on the machine first, then copied out to the host file asked for.
        const std::u16string target = std::u16string(kSaveFolder) + u"\\..\\first-page.png";
        ok = GdipSaveImageToFile(image, target.c_str(), &encoder, nullptr) == Ok;
        if (ok) {
            std::error_code ec;
            if (png.has_parent_path()) fs::create_directories(png.parent_path(), ec);
            ok = fs::copy_file(*platform::hostPath(target), png, fs::copy_options::overwrite_existing, ec);
        }
    }
    if (image) GdipDisposeImage(image);
    GdiplusShutdown(token);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string digits = "116100";
    std::optional<fs::path> machine, png;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) machine = argv[++i];
        else if (arg == "--png" && i + 1 < argc) png = argv[++i];
        else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos && arg.size() <= 7) digits = arg;
        else return fail("usage: scan-button [--machine FOLDER] [--png FILE] [DIGITS]");
    }
    if (machine) platform::useMachineRoot(fs::absolute(*machine));
    if (!install()) return fail("cannot install the scan-button program on the machine at " + platform::machineRoot().string());
    if (!press(digits)) return fail("cannot write the scanner's values");
    const std::set<std::string> before = savedNow();
    const auto dismissedBefore = platform::dismissedDialogs().size();
    const auto code = launch();
    if (!code) return fail("cannot start the program");
    std::vector<std::string> made;
    for (const std::string& name : savedNow())
        if (!before.count(name)) made.push_back(name);
    const auto dismissed = platform::dismissedDialogs();
    for (size_t i = dismissedBefore; i < dismissed.size(); ++i)
        std::printf("The program showed \"%s\" (dialog %u), which nobody answered.\n",
                    platform::toUtf8(dismissed[i].title).c_str(), dismissed[i].templateId);
    if (made.empty()) return fail("the scan saved no file (exit code " + std::to_string(*code) + ")");
    std::printf("The scan saved in %s (%s):\n", platform::toUtf8(kSaveFolder).c_str(),
                platform::hostPath(kSaveFolder)->string().c_str());
    for (const std::string& name : made)
        std::printf("  %s\n", (*platform::hostPath(kSaveFolder) / name).string().c_str());
    if (png) {
        const auto jpeg = std::find_if(made.begin(), made.end(), [](const std::string& n) {
            return n.size() > 4 && n.substr(n.size() - 4) == ".jpg";
        });
        if (jpeg == made.end()) return fail("--png needs a JPEG page (file type 1)");
        if (!writePng(*jpeg, *png)) return fail("cannot write " + png->string());
        std::printf("Its first page as a picture: %s\n", png->string().c_str());
    }
    return 0;
}
