#include "ProductInstall.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "RegistryRemoval.h"
#include "platform/control.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/shell.h"
#include "win/spooler.h"

namespace productinstall {
namespace {

using uninstall::ConfigEntry;
using uninstall::ConfigList;
using uninstall::SetupConfig;

constexpr char16_t kPrinterClass[] = u"{4D36E979-E325-11CE-BFC1-08002BE10318}";
constexpr char16_t kImagingClass[] = u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr char16_t kUsbPrintInterface[] = u"{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}";
constexpr char16_t kBitmapLibrary[] = u"ZDUnsbmp.dll";

std::u16string folder(int csidl) {
    WCHAR buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer);
    return buffer;
}

std::u16string windowsFolder() {
    WCHAR buffer[MAX_PATH] = {};
    GetWindowsDirectoryW(buffer, MAX_PATH);
    return buffer;
}

std::u16string systemFolder() {
    WCHAR buffer[MAX_PATH] = {};
    GetSystemDirectoryW(buffer, MAX_PATH);
    return buffer;
}

std::u16string driverDirectory() {
    WCHAR buffer[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed);
    return buffer;
}

std::u16string namePart(std::u16string_view text) {
    const size_t slash = text.rfind(u'\\');
    return std::u16string(slash == std::u16string_view::npos ? text : text.substr(slash + 1));
}

std::u16string lower(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Writes a file of the machine, making the folders on its way.
void writeFile(const std::u16string& path, std::string_view bytes) {
    for (size_t at = path.find(u'\\', 3); at != std::u16string::npos; at = path.find(u'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void copyHostFile(const std::filesystem::path& host, const std::u16string& path) {
    std::ifstream in(host, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    writeFile(path, bytes);
}

HKEY makeKey(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    return key;
}

void setText(HKEY root, const std::u16string& path, const std::u16string& name, const std::u16string& value) {
    if (HKEY key = makeKey(root, path)) {
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
        RegCloseKey(key);
    }
}

void addKey(HKEY root, const std::u16string& path) {
    if (HKEY key = makeKey(root, path)) RegCloseKey(key);
}

// A package: its INF in the product folder and the INF the system published (with the model line the
// device removal looks for); where the system has a driver store, also its copy there.
void installPackage(const std::u16string& productFolder, const std::u16string& relative, const std::u16string& modelLine,
                    bool driverStore) {
    const std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Zandrel]\r\n" + platform::toUtf8(modelLine) + "\r\n";
    writeFile(productFolder + relative, inf);
    const std::u16string name = namePart(relative);
    const platform::OemInfRecord published = platform::installOemInf(name, inf);
    if (!driverStore) return;
    const std::u16string store =
        systemFolder() + u"\\DriverStore\\FileRepository\\" + lower(name) + u"_amd64_5e1f0c2a\\";
    writeFile(store + name, inf);
    writeFile(store + u"published.txt", platform::toUtf8(published.name));
}

// The start-menu programs folder of all users in the machine's profile layout.
std::u16string commonProgramsFolder() {
    return platform::machineSettings().profileLayout == platform::ProfileLayout::DocumentsAndSettings
               ? u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs"
               : u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
}

// The application-data folders of the machine's users: the running user's first, then, in the same
// layout, that of every other user of the profile list (not the service accounts) whose profile
// folder is there.
std::vector<std::u16string> userAppDataFolders() {
    const std::u16string appData = folder(CSIDL_APPDATA);
    std::vector<std::u16string> folders = {appData};
    const std::string user = platform::machineSettings().userName;
    const std::u16string own = platform::profileFolder(user);
    if (appData.rfind(own + u"\\", 0) != 0) return folders;
    const std::u16string below = appData.substr(own.size());
    HKEY list = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::kProfileListKey, 0, KEY_READ, &list) != ERROR_SUCCESS) return folders;
    WCHAR sid[260];
    for (DWORD index = 0; RegEnumKeyW(list, index, sid, 260) == ERROR_SUCCESS; ++index) {
        const std::u16string name = sid;
        if (name == u"S-1-5-18" || name == u"S-1-5-19" || name == u"S-1-5-20") continue;
        HKEY profileKey = nullptr;
        if (RegOpenKeyExW(list, sid, 0, KEY_READ, &profileKey) != ERROR_SUCCESS) continue;
        std::u16string image;
        const bool read = uninstall::ReadRegistryText(profileKey, u"ProfileImagePath", MAX_PATH * sizeof(WCHAR), image);
        RegCloseKey(profileKey);
        if (!read) continue;
        const std::string other = platform::toUtf8(namePart(image));
        if (other.empty() || other == user) continue;
        const std::u16string profile = platform::profileFolder(other);
        if (GetFileAttributesW(profile.c_str()) != INVALID_FILE_ATTRIBUTES) folders.push_back(profile + below);
    }
    RegCloseKey(list);
    return folders;
}

std::u16string text(const SetupConfig& config, std::u16string_view query) {
    std::u16string value;
    config.ReadConfigText(query, value);
    return value;
}

std::u16string byAttr(const SetupConfig& config, std::u16string_view query, std::u16string_view key) {
    std::u16string value;
    config.ReadConfigTextByAttr(query, key, value);
    return value;
}

ConfigList list(const SetupConfig& config, std::u16string_view path, std::u16string_view attribute) {
    ConfigList entries;
    config.ReadConfigList(path, attribute, entries);
    return entries;
}

void installNeighbours(const std::filesystem::path& driverModule) {
    const std::u16string drivers = driverDirectory() + u"\\3\\";
    writeFile(drivers + u"vlm40.dll", "neighbour");
    writeFile(drivers + u"zdps.dll", "neighbour");
    writeFile(systemFolder() + u"\\vlmlang.dll", "neighbour");
    platform::installPrinter({kOtherPrinter, u"USB002", kOtherPrinter, driverModule, driverModule.empty() ? u"" : u"vlm40r.dll", {}});
    platform::installPrinter({kNeighbourPrinter, u"WSD-5d2c", kNeighbourDriver, {}, {}, {}});
    platform::installPrinterDriver({kOtherPrinter, u"Windows x64", drivers + u"vlm40.dll", {}});
    platform::installPrinterDriver({kNeighbourDriver, u"Windows x64", drivers + u"zdps.dll", {}});
    platform::installPrintMonitor({u"Velmor Port Monitor", u"vlmlang.dll", {}});
    const std::u16string version3 = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\";
    const std::u16string printers = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
    for (const char16_t* name : {kOtherPrinter, kNeighbourPrinter}) {
        addKey(HKEY_LOCAL_MACHINE, version3 + name);
        addKey(HKEY_LOCAL_MACHINE, printers + name + u"\\PrinterDriverData");
    }
    setText(HKEY_LOCAL_MACHINE, u"Software\\Velmor\\Printer", u"Path", u"C:\\Program Files\\Velmor");
    setText(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"VelmorMonitor", u"vlm.exe");
    setText(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmor Laser 40",
            u"DisplayName", u"Velmor Laser 40");
    setText(HKEY_LOCAL_MACHINE, u"System\\CurrentControlSet\\Control\\Class\\" + std::u16string(kPrinterClass) + u"\\0009",
            u"DriverDesc", kOtherPrinter);
    addKey(HKEY_CURRENT_USER, u"Software\\Velmor");
    writeFile(folder(CSIDL_PROGRAM_FILES) + u"\\Velmor\\vlm.exe", "neighbour");
    for (const std::u16string& userData : userAppDataFolders()) writeFile(userData + u"\\Velmor\\settings.ini", "neighbour");
    writeFile(folder(CSIDL_DESKTOPDIRECTORY) + u"\\Velmor Laser 40.lnk", "neighbour");
    writeFile(windowsFolder() + u"\\twain_32\\Velmor\\vlm.ds", "neighbour");
    platform::installOemInf(u"vlm40.inf", "[Version]\r\n[Velmor]\r\nVelmor Laser 40=VLM40.Install,USBPRINT\\VELMORLASER40\r\n");
    platform::addDevice({u"USBPRINT\\VELMORLASER40\\7&2B&0&USB002", true,
                         {{kUsbPrintInterface, u"\\\\?\\usb#vid_0b0b&pid_0040#vl1#" + std::u16string(kUsbPrintInterface), {}, {}}},
                         kPrinterClass, 0});
    platform::addDevice({u"USB\\VID_0B0B&PID_0040\\VL1", true, {}, u"{36FC9E60-C465-11CF-8056-444553540000}", 0});
}

// The uninstaller's language libraries (the name part of each one the configuration lists) and its
// bitmap library, beside "setup.exe", as the program looks for them in its own folder.
void installSetupLibraries(const SetupConfig& config, const std::filesystem::path& from, const std::u16string& drivers) {
    if (from.empty()) return;
    std::vector<std::u16string> names;
    for (const ConfigEntry& library : list(config, u"/SERTUP_INFO/DLL_UNSETUP/source_dll", u"ID"))
        names.push_back(namePart(library.text));
    names.push_back(kBitmapLibrary);
    for (const std::u16string& name : names) {
        const std::filesystem::path host = from / platform::toUtf8(name);
        if (!name.empty() && std::filesystem::is_regular_file(host)) copyHostFile(host, drivers + u"\\" + name);
    }
}

}  // namespace

bool InstallProduct(const InstallOptions& options, std::string& why) {
    SetupConfig config;
    const auto parsed = config.parse(options.configBytes);
    if (!parsed.ok) {
        why = "the configuration cannot be read: " + parsed.reason;
        return false;
    }
    const ConfigList models = uninstall::ReadModelList(config);
    const bool multifunction = text(config, u"/SERTUP_INFO/MultiFunc/Type") == u"1";
    std::u16string productPath;
    uninstall::ProductFolderPath(u"", 512, productPath, config);
    const std::u16string programFiles = folder(CSIDL_PROGRAM_FILES);
    const std::u16string windows = windowsFolder();
    const std::u16string system = systemFolder();
    const std::u16string drivers = driverDirectory();
    const std::u16string drive = windows.substr(0, 2);
    const std::u16string productFolder = programFiles + productPath + u"\\";
    const std::u16string faxModel = text(config, u"/SERTUP_INFO/FaxName/FaxModel");

    // The printers on the product's drivers: the first model on USB, the others on WSD ports, the fax.
    for (size_t i = 0; i < models.size(); ++i)
        platform::installPrinter({models[i].text, i == 0 ? u"USB001" : u"WSD-" + platform::fromUtf8(std::to_string(i)),
                                  models[i].text, options.driverModule,
                                  options.driverModule.empty() ? u"" : u"Rastrel.dll", {}});
    if (!faxModel.empty()) platform::installPrinter({faxModel, u"SHRFAX:", faxModel, {}, {}, {}});

    // Driver, common and scan-interface files, and the drivers listing them.
    std::vector<std::u16string> driverFiles;
    ConfigList copyFiles;
    config.ReadConfigNodeList(u"/SERTUP_INFO/COPYFILES/sourcefile", u"grp", copyFiles);
    for (const ConfigEntry& file : copyFiles) {
        const std::u16string name = namePart(file.text);
        if (file.attribute.find(u"COM") != std::u16string::npos) {
            writeFile(system + u"\\" + name, "common");
        } else {
            // The rendering module the printers were installed on is already there: it stays.
            const std::u16string path = drivers + u"\\3\\" + name;
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) writeFile(path, "driver");
            driverFiles.push_back(path);
        }
    }
    const std::u16string renderer = driverFiles.empty() ? drivers + u"\\3\\Rastrel.dll" : driverFiles.front();
    for (const ConfigEntry& model : models) {
        platform::installPrinterDriver({model.text, u"Windows x64", renderer,
                                        std::vector<std::u16string>(driverFiles.begin() + (driverFiles.empty() ? 0 : 1), driverFiles.end())});
        const std::u16string fax = byAttr(config, u"/SERTUP_INFO/FaxName/FaxModel", model.text);
        if (!fax.empty()) platform::installPrinterDriver({fax, u"Windows x64", renderer, {}});
    }
    const std::u16string lm = text(config, u"/SERTUP_INFO/PONEMENT/lmmonitor");
    const std::u16string tcp = text(config, u"/SERTUP_INFO/PONEMENT/tcpmonitor");
    if (!lm.empty()) platform::installPrintMonitor({lm, u"ZDLangMon.dll", {}});
    if (!tcp.empty()) platform::installPrintMonitor({tcp, u"ZDTcpMon.dll", {u"ZD_TCP_1"}});
    writeFile(system + u"\\ZDTcpMon.dll", "monitor");
    if (multifunction) {
        const std::u16string twain = drive + text(config, u"/SERTUP_INFO/TwainFile/DstName");
        for (const ConfigEntry& file : list(config, u"/SERTUP_INFO/TwainFile/sourcefile", u""))
            writeFile(twain + (twain.empty() || twain.back() == u'\\' ? u"" : u"\\") + namePart(file.text), "twain");
    }

    // Program files, the driver-package library and the packages with their store copies.
    ConfigList destinations;
    config.ReadConfigNodeList(u"/SERTUP_INFO/Program/Dst/x64", u"ID", destinations);
    for (const ConfigEntry& destination : destinations) {
        ConfigList files;
        config.ReadConfigListByAttr(u"/SERTUP_INFO/Program/sourcefile", destination.attribute, files);
        for (const ConfigEntry& file : files) writeFile(programFiles + destination.text + u"\\" + namePart(file.text), "program");
    }
    std::u16string difx = byAttr(config, u"/SERTUP_INFO/DLL_NORMAL/source_dll", u"DIFX");
    replaceAll(difx, u"%Systembit%", u"x64");
    if (!options.difxLibrary.empty() && !difx.empty()) copyHostFile(options.difxLibrary, productFolder + difx);
    const std::u16string infData = text(config, u"/SERTUP_INFO/InfInfo/Inf_Data");
    const std::u16string faxInfData = text(config, u"/SERTUP_INFO/FaxInfData/Inf_Data");
    const std::u16string firstModel = models.empty() ? u"" : models.front().text;
    // The driver store came with version 6: before it the packages are only published INFs.
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const bool driverStore = !GetVersionExW(&version) || version.dwMajorVersion >= 6;
    for (const ConfigEntry& package : list(config, u"/SERTUP_INFO/INF/Infinpackage", u"type")) {
        const bool fax = package.attribute == u"FAX";
        installPackage(productFolder, package.text, fax ? faxModel + u"=" + faxInfData : firstModel + u"=" + infData,
                       driverStore);
    }
    if (multifunction) {
        std::u16string scannerLine;
        for (const ConfigEntry& oem : list(config, u"/SERTUP_INFO/ScannerOem/oem_data", u"ID"))
            scannerLine = oem.attribute + u"=" + oem.text;
        std::vector<std::u16string> done;
        for (const ConfigEntry& inf : list(config, u"/SERTUP_INFO/SCINF/InfPath", u"ID")) {
            std::u16string path = inf.text;
            replaceAll(path, u"%Systembit%", u"x64");
            if (std::find(done.begin(), done.end(), path) != done.end()) continue;
            done.push_back(path);
            installPackage(productFolder, path, scannerLine, driverStore);
        }
    }

    // Data files and the product folders below the shared folders.
    const std::u16string uidat = text(config, u"/SERTUP_INFO/CreateFolder/uidat");
    const std::u16string faxdat = text(config, u"/SERTUP_INFO/CreateFolder/faxdat");
    // Each user who used the product has its folder and the two interfaces' data files in the user's
    // application data.
    for (const std::u16string& userData : userAppDataFolders()) {
        if (!uidat.empty()) writeFile(userData + u"\\" + uidat, "ui");
        if (!faxdat.empty()) writeFile(userData + u"\\" + faxdat, "fax");
        if (!productPath.empty()) writeFile(userData + productPath + u"\\settings.ini", "settings");
    }
    if (!productPath.empty()) {
        writeFile(windows + productPath + u"\\ZDStatus.dat", "status");
        writeFile(system + productPath + u"\\ZDScanCfg.dat", "scan");
    }
    for (const ConfigEntry& store : list(config, u"/SERTUP_INFO/STOREXP/Store_Info", u"ID"))
        if (!store.text.empty()) writeFile(drivers + store.text + u"\\ZDM2100.gpd", "store");

    // The start-menu folder (on the Windows drive, whatever drive the value names) and the shortcuts.
    const std::u16string commonPrograms = commonProgramsFolder();
    setText(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
            u"Common Programs", commonPrograms);
    const std::u16string firstDir = text(config, u"/SERTUP_INFO/CreateFolder/Folder/Dir");
    const std::u16string startMenu = drive + commonPrograms.substr(2) + firstDir;
    for (const ConfigEntry& model : models) {
        writeFile(startMenu + u"\\" + model.text + u"\\" + options.scanToolText + u".lnk", "link");
        if (multifunction)
            writeFile(folder(CSIDL_DESKTOPDIRECTORY) + u"\\" + options.scanToolText + u" " + model.text + u".lnk", "link");
    }

    // Keys.
    const std::u16string version3 = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\";
    const std::u16string printers = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
    int classIndex = 1;
    for (const ConfigEntry& model : models) {
        addKey(HKEY_LOCAL_MACHINE, version3 + model.text);
        addKey(HKEY_LOCAL_MACHINE, printers + model.text + u"\\PrinterDriverData");
        const std::u16string software = u"Software\\" + model.text;
        setText(HKEY_LOCAL_MACHINE, software + u"\\Printer", u"Driver", model.text);
        if (multifunction) {
            setText(HKEY_LOCAL_MACHINE, software + u"\\Scanner", u"Device", model.text);
            setText(HKEY_LOCAL_MACHINE, software, u"Scantool", u"Orlith.exe");
            addKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\" + model.text);
        }
        setText(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + model.text,
                u"DisplayName", model.text);
        std::u16string index = platform::fromUtf8(std::to_string(classIndex++));
        index.insert(0, 4 - std::min<size_t>(4, index.size()), u'0');
        setText(HKEY_LOCAL_MACHINE, u"System\\CurrentControlSet\\Control\\Class\\" + std::u16string(kPrinterClass) + u"\\" + index,
                u"DriverDesc", model.text);
        const std::u16string scanner = byAttr(config, u"/SERTUP_INFO/SCANNERMENT/Element", model.text);
        if (multifunction && !scanner.empty())
            for (const char16_t* set : {u"ControlSet001", u"ControlSet002", u"CurrentControlSet"})
                setText(HKEY_LOCAL_MACHINE, u"SYSTEM\\" + std::u16string(set) + u"\\Control\\Class\\" + kImagingClass + u"\\0000",
                        u"DriverDesc", scanner);
    }
    if (!faxModel.empty()) {
        addKey(HKEY_LOCAL_MACHINE, version3 + faxModel);
        addKey(HKEY_LOCAL_MACHINE, printers + faxModel + u"\\PrinterDriverData");
        setText(HKEY_LOCAL_MACHINE, u"Software\\" + faxModel + u"\\Printer", u"Driver", faxModel);
    }
    if (firstDir.size() > 1) {
        addKey(HKEY_CURRENT_USER, u"Software" + firstDir);
        if (multifunction) {
            ConfigList dirs = list(config, u"/SERTUP_INFO/CreateFolder/Folder/Dir", u"");
            addKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node" + firstDir + (dirs.size() > 1 ? dirs[1].text : u""));
        }
    }
    const std::u16string monitorKey = text(config, u"/SERTUP_INFO/CreateFolder/monitorkey");
    if (!monitorKey.empty())
        setText(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", monitorKey, u"ZDStatusMon.exe");

    // Devices: the printers' USB print devices (with the printing interface) and the scanner's USB device.
    ConfigList flags = list(config, u"/SERTUP_INFO/DEVICEFLAG/Flag", u"ID");
    for (size_t i = 0; i < flags.size(); ++i) {
        const std::u16string serial = platform::fromUtf8(std::to_string(i + 1));
        platform::addDevice({flags[i].text + u"\\7&1A&0&USB00" + serial, true,
                             {{kUsbPrintInterface, u"\\\\?\\usbprint#zd" + serial + u"#" + std::u16string(kUsbPrintInterface), {}, {}}},
                             kPrinterClass, 0});
    }
    for (const ConfigEntry& usb : list(config, u"/SERTUP_INFO/USB/USB_Info", u"ID"))
        platform::addDevice({usb.text + u"\\ZD0001", true,
                             {{kUsbPrintInterface, u"\\\\?\\usb#zd0001#" + std::u16string(kUsbPrintInterface), {}, {}}},
                             u"{36FC9E60-C465-11CF-8056-444553540000}", 0});
    if (multifunction)
        for (const ConfigEntry& scanner : list(config, u"/SERTUP_INFO/ScannerHID/ScannerInfo", u"ID"))
            platform::addDevice({scanner.text + u"\\6&2C&0&0001", true, {}, kImagingClass, 0});

    // The uninstaller in the driver directory with its configuration, and the system's rundll32.
    if (!options.setupProgram.empty() && std::filesystem::exists(options.setupProgram)) {
        platform::linkProgram(drivers + u"\\setup.exe", options.setupProgram);
        writeFile(drivers + u"\\SetupCFG.xml", options.configBytes);
        installSetupLibraries(config, options.setupLibraries, drivers);
    }
    if (!options.rundll32Program.empty()) platform::linkProgram(system + u"\\rundll32.exe", options.rundll32Program);

    if (options.neighbours) installNeighbours(options.driverModule);
    return true;
}

}  // namespace productinstall
