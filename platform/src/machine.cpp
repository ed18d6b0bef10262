// The machine root: its layout, settings and the mapping of Windows paths onto it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "internal.h"

namespace fs = std::filesystem;

namespace {

struct MachineState {
    std::mutex mutex;
    fs::path root;
    bool settingsLoaded = false;
    platform::MachineSettings settings;
};
MachineState& machine() {
    static MachineState* state = new MachineState;
    return *state;
}

fs::path defaultRoot() {
    if (const char* chosen = std::getenv("PLATFORM_MACHINE"); chosen && *chosen) return fs::path(chosen);
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return fs::path(data) / "platform-machine";
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".local" / "share" / "platform-machine";
    return fs::temp_directory_path() / "platform-machine";
}

std::string readSettingsFile(const fs::path& root) {
    std::ifstream in(root / "machine.ini", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

platform::MachineSettings parseSettings(const std::string& text) {
    platform::MachineSettings settings;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codepage") {
            char* end = nullptr;
            unsigned long cp = std::strtoul(value.c_str(), &end, 10);
            if (end && *end == 0 && cp > 0 && cp < 70000) settings.codePage = static_cast<UINT>(cp);
        } else if (key == "user" && !value.empty()) {
            settings.userName = value;
        } else if (key == "computer" && !value.empty()) {
            settings.computerName = value;
        } else if (key == "profiles") {
            if (value == "xp") settings.profileLayout = platform::ProfileLayout::DocumentsAndSettings;
        } else if (key == "appdata") {
            settings.appDataFolder = platform::fromUtf8(value);
        } else if (key == "windows") {
            // A plain absolute folder below a drive's root ("C:\\Windows"); anything else keeps the default.
            const std::u16string folder = platform::fromUtf8(value);
            const bool plain = folder.size() > 3 && folder[1] == u':' && folder[2] == u'\\' &&
                               std::isalpha(static_cast<unsigned char>(value[0])) && folder.back() != u'\\' &&
                               folder.find_first_of(u"/:*?\"<>|", 2) == std::u16string::npos &&
                               folder.find(u"\\\\") == std::u16string::npos;
            if (plain) settings.windowsFolder = folder;
        } else if (key == "lcid" || key == "osmajor" || key == "osminor" || key == "osbuild" || key == "processor" ||
                   key == "dismissdialogs" || key == "uilanguage" || key == "platformid" || key == "producttype" ||
                   key == "serverr2") {
            char* end = nullptr;
            unsigned long number = std::strtoul(value.c_str(), &end, 0);
            if (value.empty() || value[0] == '-' || !end || *end != 0 || number > 0xFFFFFFFFul) continue;
            DWORD field = static_cast<DWORD>(number);
            if (key == "lcid") settings.lcid = field;
            else if (key == "osmajor") settings.osMajor = field;
            else if (key == "osminor") settings.osMinor = field;
            else if (key == "osbuild") settings.osBuild = field;
            else if (key == "dismissdialogs") settings.dismissDialogsAfter = field;
            else if (key == "uilanguage") settings.uiLanguage = field <= 0xFFFF ? static_cast<WORD>(field) : 0;
            else if (key == "platformid") settings.platformId = field;
            else if (key == "producttype") { if (field <= 0xFF) settings.productType = static_cast<BYTE>(field); }
            else if (key == "serverr2") settings.serverR2 = static_cast<int>(field);
            else if (field <= 0xFFFF) settings.processorArchitecture = static_cast<WORD>(field);
        }
    }
    return settings;
}

void writeSettings(const fs::path& root, const platform::MachineSettings& settings) {
    std::ostringstream text;
    char lcid[16];
    std::snprintf(lcid, sizeof lcid, "0x%04X", static_cast<unsigned>(settings.lcid));
    text << "codepage=" << settings.codePage << "\nuser=" << settings.userName << "\ncomputer="
         << settings.computerName << "\nlcid=" << lcid << "\nosmajor=" << settings.osMajor
         << "\nosminor=" << settings.osMinor << "\nosbuild=" << settings.osBuild
         << "\nprocessor=" << settings.processorArchitecture << "\nplatformid=" << settings.platformId
         << "\nproducttype=" << static_cast<unsigned>(settings.productType) << "\nserverr2=" << settings.serverR2
         << "\nwindows=" << platform::toUtf8(settings.windowsFolder) << "\n";
    if (settings.dismissDialogsAfter) text << "dismissdialogs=" << settings.dismissDialogsAfter << "\n";
    if (settings.uiLanguage) text << "uilanguage=" << settings.uiLanguage << "\n";
    if (settings.profileLayout == platform::ProfileLayout::DocumentsAndSettings) text << "profiles=xp\n";
    if (!settings.appDataFolder.empty()) text << "appdata=" << platform::toUtf8(settings.appDataFolder) << "\n";
    platform::detail::writeHostFile(root / "machine.ini", text.str());
}

// The standard folders of a fresh machine, below drive C.
void layOut(const fs::path& root, const platform::MachineSettings& settings) {
    std::error_code ec;
    const fs::path c = root / "drives" / "c";
    const std::string windowsUtf8 = platform::toUtf8(settings.windowsFolder);
    fs::path windows = root / "drives" / std::string(1, static_cast<char>(std::tolower(windowsUtf8[0])));
    for (size_t start = 3, end; start < windowsUtf8.size(); start = end + 1) {
        end = windowsUtf8.find('\\', start);
        if (end == std::string::npos) end = windowsUtf8.size();
        windows /= windowsUtf8.substr(start, end - start);
    }
    for (const fs::path& folder : {
             windows / "System32" / "spool" / "drivers" / "x64" / "3",
             windows / "System32" / "spool" / "drivers" / "W32X86" / "3",
             windows / "SysWOW64",
             windows / "Temp",
             c / "Program Files",
             c / "Program Files (x86)",
             root / "spooler" / "printers",
             root / "spooler" / "drivers",
             root / "spooler" / "jobs",
         }) {
        fs::create_directories(folder, ec);
    }
    // The shared application data: "ProgramData" in the newer layout; the older one keeps it below
    // "All Users" with the profiles.
    if (settings.profileLayout == platform::ProfileLayout::Users) fs::create_directories(c / "ProgramData", ec);
    platform::detail::layOutProfile(root, settings, settings.userName);
}

bool invalidNameChar(char16_t c) {
    return c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

}  // namespace

namespace platform {

fs::path machineRoot() {
    auto& state = machine();
    MachineSettings laidOut;
    fs::path root;
    {
        std::lock_guard lock(state.mutex);
        if (!state.root.empty()) return state.root;
        state.root = defaultRoot();
        bool fresh = !fs::exists(state.root / "machine.ini");
        fs::create_directories(state.root);
        state.settings = parseSettings(readSettingsFile(state.root));
        state.settingsLoaded = true;
        if (fresh) writeSettings(state.root, state.settings);
        layOut(state.root, state.settings);
        laidOut = state.settings;
        root = state.root;
    }
    // The registry calls this makes come back here with the root set.
    detail::writeProfileList(laidOut, false);
    return root;
}

void useMachineRoot(const fs::path& root, const std::optional<MachineSettings>& newRootSettings) {
    MachineSettings laidOut;
    {
        auto& state = machine();
        std::lock_guard lock(state.mutex);
        state.root = root;
        bool fresh = !fs::exists(root / "machine.ini");
        fs::create_directories(root);
        state.settings = fresh && newRootSettings ? *newRootSettings : parseSettings(readSettingsFile(root));
        state.settingsLoaded = true;
        if (fresh) writeSettings(root, state.settings);
        layOut(root, state.settings);
        laidOut = state.settings;
    }
    detail::writeProfileList(laidOut, false);
    detail::onMachineChanged();
}

MachineSettings machineSettings() {
    machineRoot();
    auto& state = machine();
    std::lock_guard lock(state.mutex);
    return state.settings;
}

void setMachineSettings(const MachineSettings& settings) {
    fs::path root = machineRoot();
    {
        auto& state = machine();
        std::lock_guard lock(state.mutex);
        state.settings = settings;
        writeSettings(root, settings);
        layOut(root, settings);
    }
    detail::writeProfileList(settings, true);
}

std::optional<fs::path> hostPath(std::u16string_view windowsPath) {
    detail::Resolved resolved = detail::resolvePath(windowsPath);
    if (resolved.error != ERROR_SUCCESS) return std::nullopt;
    return resolved.host;
}

namespace detail {

Resolved resolvePath(std::u16string_view path) {
    Resolved result;
    if (path.empty()) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    if (path.size() >= MAX_PATH) {
        result.error = ERROR_FILENAME_EXCED_RANGE;
        return result;
    }
    std::u16string text(path);
    for (auto& c : text)
        if (c == u'/') c = u'\\';
    if (text.rfind(u"\\\\?\\", 0) == 0) text.erase(0, 4);
    if (text.rfind(u"\\\\", 0) == 0) {  // network paths are not part of the machine
        result.error = ERROR_BAD_PATHNAME;
        return result;
    }
    text = absolutePath(text);  // relative paths start at the process's current directory
    char16_t drive = u'C';
    std::u16string_view rest = text;
    if (text.size() >= 2 && text[1] == u':') {
        drive = foldCase(text[0]);
        if (drive < u'A' || drive > u'Z') {
            result.error = ERROR_INVALID_NAME;
            return result;
        }
        rest = std::u16string_view(text).substr(2);
    }
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find(u'\\', start);
        if (end == std::u16string_view::npos) end = rest.size();
        std::u16string part(rest.substr(start, end - start));
        // Windows drops trailing dots and spaces of a name.
        while (!part.empty() && part != u"." && part != u".." && (part.back() == u'.' || part.back() == u' '))
            part.pop_back();
        if (part.empty() || part == u".") {
        } else if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            for (char16_t c : part) {
                if (invalidNameChar(c)) {
                    result.error = ERROR_INVALID_NAME;
                    return result;
                }
            }
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    fs::path host = machineRoot() / "drives" / std::string(1, static_cast<char>(drive - u'A' + 'a'));
    std::error_code ec;
    if (!fs::is_directory(host, ec)) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    bool matching = true;
    bool linkOnTheWay = false;  // a link or junction before the last component
    // A path that ends in a separator goes into its last component, as a search of a folder does.
    const bool into = !rest.empty() && rest.back() == u'\\';
    for (size_t index = 0; index < parts.size(); ++index) {
        const auto& part = parts[index];
        const bool last = index + 1 == parts.size() && !into;
        std::string name = toUtf8(part);
        if (matching) {
            fs::path exact = host / name;
            const fs::file_status status = fs::symlink_status(exact, ec);
            if (fs::exists(status)) {
                if (!last && fs::is_symlink(status)) linkOnTheWay = true;
                host = exact;
                continue;
            }
            matching = false;
            if (fs::is_directory(host, ec)) {
                std::u16string folded = foldCase(part);
                for (const auto& entry : fs::directory_iterator(host, ec)) {
                    if (foldCase(fromUtf8(entry.path().filename().string())) == folded) {
                        name = entry.path().filename().string();
                        matching = true;
                        if (!last && entry.is_symlink(ec)) linkOnTheWay = true;
                        break;
                    }
                }
            }
        }
        host /= name;
    }
    // A link on the way may lead anywhere on the host: what lies outside the machine's drives is not
    // there. The last component may itself be a link; it answers for itself and goes as a link.
    if (linkOnTheWay) {
        const fs::path drives = fs::weakly_canonical(machineRoot() / "drives", ec);
        const fs::path reached = fs::weakly_canonical(into ? host : host.parent_path(), ec);
        const fs::path inside = reached.lexically_relative(drives);
        if (ec || inside.empty() || *inside.begin() == "..") {
            result.error = ERROR_PATH_NOT_FOUND;
            return result;
        }
    }
    result.host = host;
    return result;
}

std::u16string windowsPathOf(const fs::path& host) {
    fs::path drives = machineRoot() / "drives";
    fs::path relative = host.lexically_relative(drives);
    std::u16string out;
    bool first = true;
    for (const auto& part : relative) {
        std::u16string name = fromUtf8(part.string());
        if (first) {
            out += foldCase(name);
            out += u":";
            first = false;
        } else {
            out += u"\\";
            out += name;
        }
    }
    if (out.size() == 2) out += u"\\";
    return out;
}

std::string readHostFile(const fs::path& path, bool* ok) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (ok) *ok = static_cast<bool>(in);
    if (!in) return {};
    // Read in one piece at the size the file has, with no growing buffer copied at the end: a finished
    // print job can be hundreds of megabytes.
    std::string bytes;
    const std::streamoff size = in.tellg();
    in.seekg(0);
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        in.read(bytes.data(), size);
        bytes.resize(static_cast<size_t>(in.gcount()));
    }
    // Whatever lies past that size: a file that grew meanwhile, or one that tells no size (/proc).
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) bytes.append(chunk, static_cast<size_t>(in.gcount()));
    return bytes;
}

void writeHostFile(const fs::path& path, std::string_view bytes) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    fs::path temp = path;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    fs::rename(temp, path, ec);
}

void onMachineChanged() {
    resetCurrentDirectory();
    resetLocalTime();
    resetStartupShow();
}

MachineLock::MachineLock(const fs::path& lockFile, bool exclusive) {
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
}

MachineLock::~MachineLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

}  // namespace detail
}  // namespace platform
