// The machine behind the layer, as tools and tests set it up and look at it. This is not a Windows
// interface: the system's own code never includes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "win/base.h"

namespace platform {

// ---- The machine root --------------------------------------------------------------------------
// The folder that holds everything a program can see: drives, registry hive, spooler, debug log.
// Chosen by PLATFORM_MACHINE (else $XDG_DATA_HOME/platform-machine or ~/.local/share/...), laid out
// on first use with the standard folders of a Windows machine.
std::filesystem::path machineRoot();
// The host path of a Windows path on the machine, or nothing when the path is not valid there.
std::optional<std::filesystem::path> hostPath(std::u16string_view windowsPath);

// Where the users' profiles live: "C:\Users\<name>" with "AppData\Roaming" (and an "Application Data"
// junction to it), or the older "C:\Documents and Settings\<name>" with "Application Data".
enum class ProfileLayout { Users, DocumentsAndSettings };

// Machine settings kept in "machine.ini" under the root.
struct MachineSettings {
    UINT codePage = 1252;
    std::string userName = "User";
    std::string computerName = "PC";
    DWORD lcid = 0x0409;     // system and user locale (GetSystemDefaultLCID)
    DWORD osMajor = 10;      // GetVersionExW
    DWORD osMinor = 0;
    DWORD osBuild = 19045;
    // The native processor architecture (GetNativeSystemInfo): 0 x86, 6 IA-64, 9 x64, 12 ARM64.
    WORD processorArchitecture = 9;
    // GetVersionExW's platform id (2: VER_PLATFORM_WIN32_NT) and, in the extended record, the product
    // type (1 workstation, 2 domain controller, 3 server); GetSystemMetrics(SM_SERVERR2).
    DWORD platformId = 2;
    BYTE productType = 1;
    int serverR2 = 0;
    // The Windows folder (GetWindowsDirectoryW; its System32 is the system folder). The whole layer
    // follows it: the machine's layout, system modules, program search, INI files, the spooler's folders.
    std::u16string windowsFolder = u"C:\\Windows";
    // Modal dialogs of every program of the machine that nobody scripts are ended with IDCANCEL after
    // this many milliseconds of machine time and journalled (dismissedDialogs); 0 leaves them open,
    // as a person using the programs wants. For whole-program runs, so an error box never hangs one.
    DWORD dismissDialogsAfter = 0;
    // GetUserDefaultUILanguage ("uilanguage"): the language the user's interface shows; 0 follows the
    // locale's language.
    WORD uiLanguage = 0;
    // The profiles' layout ("profiles": "users" or "xp").
    ProfileLayout profileLayout = ProfileLayout::Users;
    // The user's application-data folder when it is redirected ("appdata"), to another folder or a
    // network share ("\\server\share\User"); empty: the profile's own.
    std::u16string appDataFolder = {};
};
MachineSettings machineSettings();
void setMachineSettings(const MachineSettings& settings);
// Switches this process to another machine root, laying it out when it is new (with `newRootSettings`
// when given, else the defaults). Closes nothing.
void useMachineRoot(const std::filesystem::path& root,
                    const std::optional<MachineSettings>& newRootSettings = std::nullopt);

// ---- User profiles -------------------------------------------------------------------------------
// The machine's profile list, HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList, as
// Windows keeps it: the local system, local service and network service accounts ("S-1-5-18",
// "S-1-5-19", "S-1-5-20") and the machine's user, each a subkey with its "ProfileImagePath"; written
// for the profile layout when the machine is laid out and when its settings change.
inline constexpr char16_t kProfileListKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// The profile folder of a user in the machine's layout ("C:\Users\bob").
std::u16string profileFolder(std::string_view userName);
// Adds another user's profile: its folders in the machine's layout and its entry in the profile list.
// Answers the profile's SID. Throws std::invalid_argument for a name that is not one plain file name.
std::string addUserProfile(std::string_view userName);

// ---- The running program -----------------------------------------------------------------------
// The program's own Windows path, as GetModuleFileNameW(NULL) answers it. Set by tests and by the
// program stand-ins; the default comes from PLATFORM_PROGRAM, else "C:\Program Files\<host
// executable name>.exe". Kept per process, not per machine.
void setProgramPath(std::u16string path);
std::u16string programPath();
// The command line GetCommandLineW answers (the program path in quotes until one is set).
void setCommandLine(std::u16string commandLine);

// ---- System modules -----------------------------------------------------------------------------
// Removes an export of a system module that the layer answers ("kernel32.dll", "GetNativeSystemInfo")
// for every process of this machine: GetProcAddress then fails with ERROR_PROC_NOT_FOUND, as on a
// Windows version without the function. Throws std::invalid_argument for an export the layer lacks.
void removeSystemExport(std::string_view module, std::string_view exportName);
// Puts every removed export back.
void restoreSystemExports();

// ---- Message filter -------------------------------------------------------------------------------
// The messages this process admitted through ChangeWindowMessageFilter (MSGFLT_ADD and not removed
// again), in the order first admitted; clearing forgets them.
std::vector<UINT> admittedMessages();
void clearAdmittedMessages();

// ---- Restart registration ----------------------------------------------------------------------------
// What this process gave RegisterApplicationRestart last, if it registered.
struct ApplicationRestart {
    std::u16string commandLine;
    DWORD flags = 0;
};
std::optional<ApplicationRestart> applicationRestart();
void clearApplicationRestart();

// ---- Programs -------------------------------------------------------------------------------------
// Makes the Windows path a program of the machine: a program link naming the host binary to run
// (see win/processes.h). Throws std::invalid_argument for a path the machine refuses.
void linkProgram(std::u16string_view windowsPath, const std::filesystem::path& hostBinary);
// One start of a program by CreateProcessW or WinExec, by any process of the machine.
struct ProgramStart {
    DWORD processId = 0;
    DWORD parentId = 0;
    std::u16string program;  // its Windows path
    std::u16string commandLine;
    std::u16string currentDirectory;
    DWORD startupFlags = 0;  // STARTUPINFOW's dwFlags as given (STARTF_USESHOWWINDOW reaches the child)
    WORD showWindow = 0;     // and its wShowWindow
};
// Every start on this machine, oldest first.
std::vector<ProgramStart> programStarts();

// ---- Security ------------------------------------------------------------------------------------
// The user token every process of the machine starts from ("security/token" under the root).
struct TokenGroup {
    std::string sid;         // "S-1-5-32-544"
    DWORD attributes = 0x7;  // SE_GROUP_* (mandatory, enabled by default, enabled)
};
struct TokenPrivilege {
    std::string name;  // "SeShutdownPrivilege"
    bool enabled = false;
};
struct UserToken {
    std::vector<TokenGroup> groups;
    std::vector<TokenPrivilege> privileges;
};
// An administrator's token as a fresh machine has it: Everyone, BUILTIN\Administrators, BUILTIN\Users;
// SeShutdownPrivilege held but disabled, SeChangeNotifyPrivilege enabled.
UserToken defaultUserToken();
UserToken userToken();
// For every process of the machine from their next OpenProcessToken on (this process: at once).
void setUserToken(const UserToken& token);
// ExitWindowsEx requests by any process of the machine, oldest first ("system/shutdowns"); none is
// ever carried out.
struct ShutdownRequest {
    DWORD processId = 0;
    UINT flags = 0;
    DWORD reason = 0;
};
std::vector<ShutdownRequest> shutdownRequests();

// ---- The call journal -------------------------------------------------------------------------------
// Off unless turned on (for every process of the machine: "calls/on" under the root). While on, every
// mutating call of the security, process and service pieces records who called it, with what and how it
// ended ("calls/journal").
void setCallJournal(bool on);
// The file and registry removals (DeleteFileW, RemoveDirectoryW, CreateDirectoryW, SetFileAttributesW,
// RegDeleteKeyW, RegDeleteValueW) go to the same journal, in call order with the others, while this
// switch is on ("calls/files"): the path or full key path and its arguments, "TRUE"/"FALSE" or the
// status, and the error.
void setFileCallJournal(bool on);
struct CallRecord {
    DWORD processId = 0;
    std::string call;          // "TerminateProcess"
    std::u16string arguments;  // the call's arguments as text, separated by ", "
    std::u16string result;     // "TRUE", "FALSE" or a number
    DWORD error = 0;           // the last error the call left
};
std::vector<CallRecord> callJournal();
void clearCallJournal();

// ---- The process table ----------------------------------------------------------------------------
// The machine's processes: each process of the layer (listed when it first asks for processes or is
// started by CreateProcessW) and resident processes that tests and tools place, which run nothing.
struct ProcessEntry {
    DWORD processId = 0;
    DWORD parentId = 0;
    std::u16string program;  // its Windows path
    bool resident = false;
    bool openable = true;    // OpenProcess of a resident process that is not: ERROR_ACCESS_DENIED
};
// Places a resident process running `program`; its id. Throws std::invalid_argument for a path the
// machine refuses.
DWORD placeProcess(std::u16string_view program, bool openable = true);
// The live processes, by id.
std::vector<ProcessEntry> processTable();

// ---- Services ------------------------------------------------------------------------------------
// One pending phase of a service (stopping or starting) in machine time: it lasts `lasts` ms, reports
// `waitHint`, and its check point grows by one every `checkPointEvery` ms (0: stays 0). A phase that
// lasts 0xFFFFFFFF never ends.
struct ServicePhase {
    DWORD lasts = 0;
    DWORD waitHint = 0;
    DWORD checkPointEvery = 0;
};
// A service of the machine ("services/<name>" under the root). Its state is a SERVICE_* state: 1
// stopped, 2 start pending, 3 stop pending, 4 running.
struct ServiceSetup {
    std::u16string name;
    std::u16string displayName;
    DWORD state = 4;
    std::vector<std::u16string> dependencies;  // services it needs running
    ServicePhase stopping;
    ServicePhase starting;
    // Files it holds open while it is not stopped: DeleteFileW gives ERROR_SHARING_VIOLATION.
    std::vector<std::u16string> heldFiles;
};
// Installs or replaces a service. A fresh machine has "Spooler" and "stisvc" running, and "WiaRpc"
// running, which depends on "stisvc".
void installService(const ServiceSetup& service);
void removeService(std::u16string_view name);
// A service as it stands now (its phase worked out in this process's machine time); names in any case.
std::optional<ServiceSetup> service(std::u16string_view name);
std::vector<ServiceSetup> services();

// ---- Text --------------------------------------------------------------------------------------
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// ---- Fault switches ----------------------------------------------------------------------------
// Every layer function that can fail on Windows consults the switch of its own name.
struct Fault {
    int skip = 0;           // matching calls that pass before the fault strikes
    int times = 1;          // matching calls that then fail; -1 for every call
    DWORD error = 0;        // the error reported (0: the function's usual error)
    int64_t partial = -1;   // I/O: bytes moved before the call ends (-1: none)
    bool succeed = false;   // I/O with a partial count: report success after the partial move
    LONG result = -1;       // functions that return a value instead of an error code
    std::string detail;     // only calls with this detail (see the function's comment); empty: all
    uint64_t minSize = 0;   // only calls for at least this many bytes

    Fault& skipping(int calls) { skip = calls; return *this; }
    Fault& failing(int calls) { times = calls; return *this; }
    Fault& withError(DWORD code) { error = code; return *this; }
    Fault& moving(int64_t bytes, bool thenSucceed) { partial = bytes; succeed = thenSucceed; return *this; }
    Fault& returning(LONG value) { result = value; return *this; }
    Fault& onlyFor(std::string text) { detail = std::move(text); return *this; }
    Fault& atLeast(uint64_t bytes) { minSize = bytes; return *this; }
};
// Throws std::invalid_argument for a name that is not a switch of the layer (see faultSwitches()),
// so a misspelt switch fails the test that sets it.
void setFault(std::string_view function, const Fault& fault);
struct FaultSwitch {
    std::string_view name;
    std::string_view effect;  // what a struck call does
};
// Every switch of the layer, in the order of its table.
std::span<const FaultSwitch> faultSwitches();
void clearFaults();
// Calls that consulted the switch of this name since the last clearFaults() (throws as setFault
// does for a name that is not a switch).
int callCount(std::string_view function);

// ---- Clock -------------------------------------------------------------------------------------
// Virtual time (also chosen by PLATFORM_CLOCK=virtual): Sleep only advances the clock.
void useVirtualClock(bool on);
void advanceClock(uint64_t milliseconds);
// Sleeps since the last clearFaults() or clearSleepLog(), in milliseconds.
std::vector<DWORD> sleepLog();
void clearSleepLog();

// ---- Date and time of day ---------------------------------------------------------------------------
// The machine's local date and time (GetLocalTime): the host's, until a test sets it; from then on it
// runs on from the time set with the machine clock (so with a virtual clock it moves only as the clock
// is moved). Kept per process; a new machine root goes back to the host's.
struct LocalTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};
// `frozen`: it stays at the time set (for whole-program runs whose file names carry the time).
void setLocalTime(const LocalTime& time, bool frozen = false);
void useHostLocalTime();

// ---- Threads -----------------------------------------------------------------------------------
// The stack size a thread made by CreateThread runs with, or nothing when the handle is not a thread.
std::optional<SIZE_T> threadStackSize(HANDLE thread);

// ---- Disks -------------------------------------------------------------------------------------
// The space a drive of the machine reports (GetDiskFreeSpaceExW, GetDiskFreeSpaceW); kept in
// "disks.ini" under the root. Drives not set report 64 GiB free of 256 GiB.
struct DiskSpace {
    uint64_t freeBytes = 64ull << 30;
    uint64_t totalBytes = 256ull << 30;
};
void setDiskSpace(char16_t drive, const DiskSpace& space);
DiskSpace diskSpace(char16_t drive);

// ---- Shell ---------------------------------------------------------------------------------------
// What the shell was asked to open, by any process of the machine (kept under the root in
// "shell/actions"): ShellExecuteW, ShellExecuteExW, HtmlHelpW and SHOpenFolderAndSelectItems. Nothing
// is ever run on the host.
struct ShellAction {
    DWORD processId = 0;
    std::string call;        // "ShellExecuteW", "ShellExecuteExW", "HtmlHelpW" or "SHOpenFolderAndSelectItems"
    std::u16string verb;     // the verb ("" for the default), or the help command ("HH_DISPLAY_TOPIC")
    std::u16string file;     // the file or folder, or the help file, or the folder shown
    std::u16string parameters;
    std::u16string directory;
    int show = 0;            // SW_* (the help viewer: 0; the folder view: its OFASI_* flags)
    std::vector<std::u16string> selected;  // the folder view: each item to select ("" for an empty one)
};
std::vector<ShellAction> shellActions();
void clearShellActions();

// The folder browser's answers, taken in order by SHBrowseForFolderW of any process of the machine
// ("shell/browse-answers" under the root, one a line: "choose <path>" or "cancel", which a person's
// script may write too): a folder to choose, or nothing to cancel.
void queueFolderBrowserAnswer(std::optional<std::u16string> folder);
// One SHBrowseForFolderW call as the machine answered it.
struct FolderBrowse {
    DWORD processId = 0;
    UINT flags = 0;
    std::u16string selected;            // what the callback selected (BFFM_SETSELECTIONW), if anything
    std::vector<UINT> callbackMessages; // BFFM_* messages given to the callback, in order
    std::optional<std::u16string> chosen;
};
std::vector<FolderBrowse> folderBrowses();
void clearFolderBrowses();

// Task-memory blocks (CoTaskMemAlloc) of this process not yet freed.
size_t liveTaskMemoryBlocks();

// ---- Dismissed dialogs ----------------------------------------------------------------------------
// Modal dialogs that the machine ended because nobody answered them (MachineSettings::
// dismissDialogsAfter), by any process of the machine, oldest first ("dialogs/dismissed" under the root).
struct DismissedDialog {
    DWORD processId = 0;
    std::u16string program;  // the program's Windows path
    std::u16string title;
    UINT templateId = 0;     // 0 for a message box
    bool messageBox = false;
    std::u16string text;     // a message box's text
};
std::vector<DismissedDialog> dismissedDialogs();
// Dialog templates (ids) that the machine never dismisses, such as a progress dialog that must stay up
// while the job it shows runs in a whole-program run ("dialogs/never-dismissed" under the root, one id a
// line, read by every program of the machine). Replaces the list.
void keepFromDismissal(const std::vector<UINT>& templateIds);
std::vector<UINT> keptFromDismissal();

// ---- A person's answers ----------------------------------------------------------------------------
// Answers queued in the machine for whichever program shows the dialog ("dialogs/answers" under the
// root, one a line, which a person's script may write too): "press <template> <control>" clicks a
// control of the dialog made from that template once the dialog is shown and enabled and the control
// is too; "select <template> <list control> <row>" clicks that row of a list view the same way; "box
// <button id>" answers the next message box with that button (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7).
// A modal loop of any program looks at the head of the queue while it runs (when anything was queued
// as it started); the head waits until its dialog is up, so answers are taken strictly in order. Each
// taken line is journalled ("dialogs/answered"); a malformed one is taken as not carried out.
struct DialogAnswer {
    enum Kind { Press, Select, Box } kind = Press;
    UINT templateId = 0;
    int controlId = 0;
    int row = 0;
    int button = 0;
};
// Reads one line of the queue; nothing for a malformed one.
std::optional<DialogAnswer> parseDialogAnswer(std::string_view line);
std::string formatDialogAnswer(const DialogAnswer& answer);
void queueDialogAnswers(const std::vector<DialogAnswer>& answers);
// The lines still waiting, in order.
std::vector<std::string> queuedDialogAnswers();
struct AnsweredDialog {
    DWORD processId = 0;
    std::u16string program;  // the program's Windows path
    std::string answer;      // the queued line as taken
    std::u16string title;    // the dialog's or the box's title
    bool carriedOut = false; // false for a malformed line
    std::u16string text;     // a message box's text
};
std::vector<AnsweredDialog> answeredDialogs();
// Empties the queue and its journal.
void clearDialogAnswers();

// ---- Debugger output ---------------------------------------------------------------------------
// Lines written by OutputDebugString in this process (UTF-8), oldest first.
std::vector<std::string> debugLog();
void clearDebugLog();

// ---- Spooler -----------------------------------------------------------------------------------
struct PrinterSetup {
    std::u16string name;
    std::u16string port = u"USB001";
    std::u16string driverName;
    // The rendering module to install, a host file copied into the machine's driver folder
    // ("C:\Windows\System32\spool\drivers\x64\3") under its Windows name.
    std::filesystem::path driverModule;
    std::u16string driverModuleName;  // e.g. u"Rastrel.dll"
    std::string defaultDevmode;       // bytes of the printer's default DEVMODE
    bool refusesAllAccess = false;    // OpenPrinterW refuses administer and delete access to it
};
// Installs (or replaces) a printer, with its registry key, and its driver in the machine. A driver
// already recorded keeps its record (environment and files); only its rendering module is set.
void installPrinter(const PrinterSetup& setup);
// The machine path of an installed driver's rendering module, by driver name.
std::optional<std::u16string> driverModulePath(std::u16string_view driverName);
// A printer driver as the spooler keeps it ("spooler/drivers/<name>.ini"): its machine paths are the
// files it lists, which the running spooler holds (DeleteFileW: ERROR_SHARING_VIOLATION).
struct DriverSetup {
    std::u16string name;
    std::u16string environment = u"Windows x64";
    std::u16string driverPath;          // the rendering module
    std::vector<std::u16string> files;  // the other files it lists
};
void installPrinterDriver(const DriverSetup& driver);
std::vector<DriverSetup> printerDrivers();
// A port monitor ("spooler/monitors/<name>.ini"): its module, a file name in the system folder that
// the running spooler holds, and the ports it serves.
struct MonitorSetup {
    std::u16string name;
    std::u16string module;
    std::vector<std::u16string> ports;
};
void installPrintMonitor(const MonitorSetup& monitor);
std::vector<MonitorSetup> printMonitors();

struct JobRecord {
    DWORD id = 0;
    std::u16string printer;
    std::u16string document;
    bool complete = false;
    std::string bytes;
};
std::vector<JobRecord> printJobs();

// ---- Devices ---------------------------------------------------------------------------------------
// The machine's device tree ("devices/tree" under the root, read by every process): devices in the
// order they were added, each with its device interfaces. SetupDi* (win/setupapi.h) answers from it.
struct DeviceInterfaceEntry {
    std::u16string classGuid;  // braced upper-case text, as StringFromGUID2 writes it
    std::u16string path;       // the interface path CreateFileW opens ("\\?\usb#...")
    // The socket (AF_UNIX, SOCK_SEQPACKET) the device serves the interface on, if it is opened as a
    // file: one packet a WriteFile or ReadFile. Empty: the interface cannot be opened.
    std::filesystem::path endpoint;
    // How long a ReadFile waits for a packet on the machine clock before it gives 0 bytes; nothing:
    // it waits as long as the device is there.
    std::optional<DWORD> readTimeout = 5000;
};
struct DeviceEntry {
    std::u16string instanceId;  // "USB\VID_1A2B&PID_3C4D\SN0001"
    bool present = true;
    std::vector<DeviceInterfaceEntry> interfaces;
    std::u16string classGuid = {};        // the device's setup class, braced upper case; empty: none
    std::optional<DWORD> configFlags = std::nullopt;  // SPDRP_CONFIGFLAGS; nothing: the device has no such property
};
// Adds a device, replacing one of the same instance id (compared without regard to case).
void addDevice(const DeviceEntry& device);
// The OEM INF files the machine installed ("devices/oem-infs"): the "oemN.inf" name in the Windows
// INF folder and the INF it was copied from. installOemInf copies the bytes to the next free name with
// a ".PNF" beside it and records it; SetupUninstallOEMInfW drops the record with the files.
struct OemInfRecord {
    std::u16string name;      // "oem3.inf"
    std::u16string original;  // "zandrel.inf"
};
OemInfRecord installOemInf(std::u16string_view original, std::string_view bytes);
std::vector<OemInfRecord> oemInfs();
std::vector<DeviceEntry> devices();
// Device information sets of this process not yet destroyed (SetupDiDestroyDeviceInfoList).
size_t liveDeviceInfoSets();
// Device handles of this process not yet closed (CreateFileW on a device name).
size_t liveDeviceFiles();

// A printer on a USB cable as the USB print driver installs it: the device, its USB printing
// interface (GUID_DEVINTERFACE_USBPRINT) served on an endpoint, optionally an IEEE 1284.4 ("dot4")
// interface of the same class, and the port number under the interface's "Device Parameters" key in
// HKLM\SYSTEM\CurrentControlSet\Control\DeviceClasses.
struct UsbPrinterSetup {
    std::u16string instanceId = u"USB\\VID_1A2B&PID_3C4D\\SN0001";  // made-up ids
    bool present = true;
    enum class Dot4 { None, First, Second };
    Dot4 dot4 = Dot4::None;                 // where a dot4 interface comes in the device's list
    std::optional<DWORD> portNumber = 1;    // nothing: no "Port Number" value
    DWORD portValueType = 4;                // REG_DWORD; REG_SZ writes the number as text, REG_BINARY 2 bytes
    std::filesystem::path endpoint;         // empty: a socket file of its own below "devices/usb/"
    std::optional<DWORD> readTimeout = 5000;
};
struct AttachedUsbPrinter {
    std::u16string interfacePath;  // the printing interface ("\\?\usb#vid_1a2b&pid_3c4d#sn0001#{28d78fad-...}")
    std::u16string dot4Path;       // the dot4 interface, if any
    std::filesystem::path endpoint;  // where the printer must listen (see tools/standins/usb-printer)
};
AttachedUsbPrinter attachUsbPrinter(const UsbPrinterSetup& setup);

// ---- Engine objects ----------------------------------------------------------------------------
// The colours of a live engine palette, or nothing when the handle is not one.
std::optional<std::vector<ULONG>> paletteColors(HPALETTE palette);
size_t livePaletteCount();

}  // namespace platform
