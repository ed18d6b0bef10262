// Services: the machine's services in files under the root, their pending phases worked out in
// machine time whenever one is looked at, and the service control manager's calls over them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <sstream>

#include "internal.h"
#include "win/kernel.h"
#include "win/services.h"

namespace fs = std::filesystem;

namespace {

using platform::ServicePhase;
using platform::ServiceSetup;
using platform::detail::journalCall;
using platform::detail::journalNumber;

constexpr DWORD kForever = 0xFFFFFFFF;

// A service as kept: its setup and, while pending, when the phase began (this machine's tick count).
struct Kept {
    ServiceSetup setup;
    ULONGLONG phaseStart = 0;
};

fs::path folder() { return platform::machineRoot() / "services"; }
fs::path lockFile() { return platform::machineRoot() / "services.lock"; }

std::string keyOf(std::u16string_view name) { return platform::toUtf8(platform::detail::foldCase(name)); }

std::string joined(const std::vector<std::u16string>& names) {
    std::string text;
    for (const std::u16string& name : names) text += (text.empty() ? "" : "|") + platform::toUtf8(name);
    return text;
}

std::vector<std::u16string> split(const std::string& text) {
    std::vector<std::u16string> names;
    std::istringstream parts(text);
    for (std::string part; std::getline(parts, part, '|');)
        if (!part.empty()) names.push_back(platform::fromUtf8(part));
    return names;
}

std::string phaseText(const ServicePhase& phase) {
    return std::to_string(phase.lasts) + " " + std::to_string(phase.waitHint) + " " + std::to_string(phase.checkPointEvery);
}

ServicePhase parsePhase(const std::string& text) {
    ServicePhase phase;
    std::istringstream fields(text);
    fields >> phase.lasts >> phase.waitHint >> phase.checkPointEvery;
    return phase;
}

std::string serialised(const Kept& kept) {
    const ServiceSetup& s = kept.setup;
    std::ostringstream text;
    text << "name=" << platform::toUtf8(s.name) << "\ndisplay=" << platform::toUtf8(s.displayName)
         << "\nstate=" << s.state << "\ndepends=" << joined(s.dependencies) << "\nstopping=" << phaseText(s.stopping)
         << "\nstarting=" << phaseText(s.starting) << "\nheld=" << joined(s.heldFiles)
         << "\nphasestart=" << kept.phaseStart << "\n";
    return text.str();
}

std::optional<Kept> parsed(const std::string& text) {
    Kept kept;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "name") kept.setup.name = platform::fromUtf8(value);
        else if (key == "display") kept.setup.displayName = platform::fromUtf8(value);
        else if (key == "state") kept.setup.state = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "depends") kept.setup.dependencies = split(value);
        else if (key == "stopping") kept.setup.stopping = parsePhase(value);
        else if (key == "starting") kept.setup.starting = parsePhase(value);
        else if (key == "held") kept.setup.heldFiles = split(value);
        else if (key == "phasestart") kept.phaseStart = std::strtoull(value.c_str(), nullptr, 10);
    }
    if (kept.setup.name.empty() || kept.setup.state < SERVICE_STOPPED || kept.setup.state > SERVICE_RUNNING)
        return std::nullopt;
    return kept;
}

void write(const Kept& kept) {
    std::error_code ec;
    fs::create_directories(folder(), ec);
    platform::detail::writeHostFile(folder() / keyOf(kept.setup.name), serialised(kept));
}

// A fresh machine's services.
void ensureDefaults() {
    std::error_code ec;
    if (fs::exists(folder(), ec)) return;
    fs::create_directories(folder(), ec);
    ServiceSetup spooler{u"Spooler", u"Print Spooler", SERVICE_RUNNING, {}, {}, {}, {}};
    ServiceSetup still{u"stisvc", u"Windows Image Acquisition (WIA)", SERVICE_RUNNING, {}, {}, {}, {}};
    ServiceSetup events{u"WiaRpc", u"Still Image Acquisition Events", SERVICE_RUNNING, {u"stisvc"}, {}, {}, {}};
    for (const ServiceSetup* setup : {&spooler, &still, &events}) write({*setup, 0});
}

// The phase of a pending service worked out for now: a phase that has run its length ends.
void advance(Kept& kept) {
    ServiceSetup& s = kept.setup;
    if (s.state != SERVICE_STOP_PENDING && s.state != SERVICE_START_PENDING) return;
    const ServicePhase& phase = s.state == SERVICE_STOP_PENDING ? s.stopping : s.starting;
    if (phase.lasts != kForever && GetTickCount64() - kept.phaseStart >= phase.lasts)
        s.state = s.state == SERVICE_STOP_PENDING ? SERVICE_STOPPED : SERVICE_RUNNING;
}

std::optional<Kept> load(std::u16string_view name) {
    ensureDefaults();
    bool ok = false;
    const std::string text = platform::detail::readHostFile(folder() / keyOf(name), &ok);
    if (!ok) return std::nullopt;
    std::optional<Kept> kept = parsed(text);
    if (kept) advance(*kept);
    return kept;
}

std::vector<Kept> loadAll() {
    ensureDefaults();
    std::vector<Kept> all;
    std::error_code ec;
    for (const auto& file : fs::directory_iterator(folder(), ec)) {
        bool ok = false;
        const std::string text = platform::detail::readHostFile(file.path(), &ok);
        if (std::optional<Kept> kept = ok ? parsed(text) : std::nullopt) {
            advance(*kept);
            all.push_back(*kept);
        }
    }
    std::sort(all.begin(), all.end(), [](const Kept& a, const Kept& b) { return keyOf(a.setup.name) < keyOf(b.setup.name); });
    return all;
}

SERVICE_STATUS statusOf(const Kept& kept) {
    const ServiceSetup& s = kept.setup;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = s.state;
    status.dwControlsAccepted = s.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    if (s.state == SERVICE_STOP_PENDING || s.state == SERVICE_START_PENDING) {
        const ServicePhase& phase = s.state == SERVICE_STOP_PENDING ? s.stopping : s.starting;
        status.dwWaitHint = phase.waitHint;
        if (phase.checkPointEvery)
            status.dwCheckPoint = static_cast<DWORD>(1 + (GetTickCount64() - kept.phaseStart) / phase.checkPointEvery);
    }
    return status;
}

struct ManagerObject : platform::detail::KernelObject {
    DWORD access = 0;
    bool closedByCloseHandle() const override { return false; }
};
struct ServiceObject : platform::detail::KernelObject {
    std::u16string name;
    DWORD access = 0;
    bool closedByCloseHandle() const override { return false; }
};

// The service a handle names when the handle has `needed`; else the error is set.
std::shared_ptr<ServiceObject> serviceOf(SC_HANDLE handle, DWORD needed) {
    auto object = platform::detail::handleAs<ServiceObject>(reinterpret_cast<HANDLE>(handle));
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((object->access & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return object;
}

// The services that depend on `name`, those further away first.
std::vector<Kept> dependentsOf(const std::u16string& name, const std::vector<Kept>& all) {
    std::vector<Kept> found;
    std::vector<std::string> seen = {keyOf(name)};
    std::function<void(const std::string&)> visit = [&](const std::string& key) {
        for (const Kept& kept : all) {
            const bool depends = std::any_of(kept.setup.dependencies.begin(), kept.setup.dependencies.end(),
                                             [&](const std::u16string& d) { return keyOf(d) == key; });
            const std::string own = keyOf(kept.setup.name);
            if (!depends || std::find(seen.begin(), seen.end(), own) != seen.end()) continue;
            seen.push_back(own);
            visit(own);
            found.push_back(kept);
        }
    };
    visit(keyOf(name));
    return found;
}

BOOL failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

namespace platform::detail {
DWORD fileHeldByService(const fs::path& host) {
    std::error_code ec;
    for (const Kept& kept : loadAll()) {
        if (kept.setup.state == SERVICE_STOPPED) continue;
        if (platform::detail::foldCase(kept.setup.name) == u"SPOOLER" && platform::detail::spoolerHolds(host))
            return ERROR_SHARING_VIOLATION;
        for (const std::u16string& file : kept.setup.heldFiles) {
            const Resolved held = resolvePath(file);
            if (held.error == ERROR_SUCCESS && fs::equivalent(held.host, host, ec)) return ERROR_SHARING_VIOLATION;
        }
    }
    return ERROR_SUCCESS;
}
}  // namespace platform::detail

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR, DWORD access) {
    if (auto fault = platform::detail::takeFault("OpenSCManagerW")) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (machineName && *machineName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<ManagerObject>();
    object->access = access;
    return reinterpret_cast<SC_HANDLE>(platform::detail::insertHandle(object));
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD access) {
    if (!platform::detail::handleAs<ManagerObject>(reinterpret_cast<HANDLE>(manager))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!serviceName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto fault = platform::detail::takeFault("OpenServiceW", platform::toUtf8(serviceName))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    platform::detail::MachineLock lock(lockFile(), false);
    const std::optional<Kept> kept = load(serviceName);
    if (!kept) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    auto object = std::make_shared<ServiceObject>();
    object->name = kept->setup.name;
    object->access = access;
    return reinterpret_cast<SC_HANDLE>(platform::detail::insertHandle(object));
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
    const HANDLE raw = reinterpret_cast<HANDLE>(handle);
    if (!platform::detail::handleAs<ManagerObject>(raw) && !platform::detail::handleAs<ServiceObject>(raw))
        return failWith(ERROR_INVALID_HANDLE);
    platform::detail::removeHandle(raw);
    return TRUE;
}

namespace {
// The status of a service handle's service now, for the two query calls.
std::optional<Kept> queried(SC_HANDLE service) {
    auto object = serviceOf(service, SERVICE_QUERY_STATUS);
    if (!object) return std::nullopt;
    if (auto fault = platform::detail::takeFault("QueryServiceStatus", platform::toUtf8(object->name))) {
        SetLastError(fault->error ? fault->error : ERROR_ACCESS_DENIED);
        return std::nullopt;
    }
    platform::detail::MachineLock lock(lockFile(), false);
    std::optional<Kept> kept = load(object->name);
    if (!kept) SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return kept;
}
}  // namespace

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    if (!status) return failWith(ERROR_INVALID_PARAMETER);
    const std::optional<Kept> kept = queried(service);
    if (!kept) return FALSE;
    *status = statusOf(*kept);
    return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD size, LPDWORD needed) {
    if (infoLevel != SC_STATUS_PROCESS_INFO || !needed) return failWith(ERROR_INVALID_PARAMETER);
    *needed = sizeof(SERVICE_STATUS_PROCESS);
    if (!buffer || size < sizeof(SERVICE_STATUS_PROCESS)) return failWith(ERROR_INSUFFICIENT_BUFFER);
    const std::optional<Kept> kept = queried(service);
    if (!kept) return FALSE;
    const SERVICE_STATUS status = statusOf(*kept);
    SERVICE_STATUS_PROCESS full{};
    std::memcpy(&full, &status, sizeof status);
    std::memcpy(buffer, &full, sizeof full);
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    auto object = platform::detail::handleAs<ServiceObject>(reinterpret_cast<HANDLE>(service));
    const std::u16string arguments = (object ? object->name : u"?") + u", " + journalNumber(control);
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        journalCall("ControlService", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    const DWORD needed = control == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_INTERROGATE;
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE)
        return answer(FALSE, object ? ERROR_INVALID_SERVICE_CONTROL : ERROR_INVALID_HANDLE);
    if (!serviceOf(service, needed)) return answer(FALSE, GetLastError());
    if (!status) return answer(FALSE, ERROR_INVALID_PARAMETER);
    if (auto fault = platform::detail::takeFault("ControlService", platform::toUtf8(object->name)))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    platform::detail::MachineLock lock(lockFile(), true);
    std::optional<Kept> kept = load(object->name);
    if (!kept) return answer(FALSE, ERROR_SERVICE_DOES_NOT_EXIST);
    if (control == SERVICE_CONTROL_STOP) {
        const DWORD state = kept->setup.state;
        if (state == SERVICE_STOPPED) return answer(FALSE, ERROR_SERVICE_NOT_ACTIVE);
        if (state != SERVICE_RUNNING) {
            *status = statusOf(*kept);
            return answer(FALSE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        }
        for (const Kept& dependent : dependentsOf(kept->setup.name, loadAll()))
            if (dependent.setup.state != SERVICE_STOPPED) return answer(FALSE, ERROR_DEPENDENT_SERVICES_RUNNING);
        kept->setup.state = kept->setup.stopping.lasts == 0 ? SERVICE_STOPPED : SERVICE_STOP_PENDING;
        kept->phaseStart = GetTickCount64();
        write(*kept);
    }
    *status = statusOf(*kept);
    return answer(TRUE, ERROR_SUCCESS);
}

BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*) {
    auto object = platform::detail::handleAs<ServiceObject>(reinterpret_cast<HANDLE>(service));
    const std::u16string arguments = object ? object->name : u"?";
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        journalCall("StartServiceW", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    if (!serviceOf(service, SERVICE_START)) return answer(FALSE, GetLastError());
    if (auto fault = platform::detail::takeFault("StartServiceW", platform::toUtf8(object->name)))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    platform::detail::MachineLock lock(lockFile(), true);
    std::optional<Kept> kept = load(object->name);
    if (!kept) return answer(FALSE, ERROR_SERVICE_DOES_NOT_EXIST);
    if (kept->setup.state != SERVICE_STOPPED) return answer(FALSE, ERROR_SERVICE_ALREADY_RUNNING);
    for (const std::u16string& dependency : kept->setup.dependencies) {
        std::optional<Kept> needed = load(dependency);
        if (needed && needed->setup.state == SERVICE_STOPPED) {
            needed->setup.state = SERVICE_RUNNING;
            write(*needed);
        }
    }
    kept->setup.state = kept->setup.starting.lasts == 0 ? SERVICE_RUNNING : SERVICE_START_PENDING;
    kept->phaseStart = GetTickCount64();
    write(*kept);
    return answer(TRUE, ERROR_SUCCESS);
}

BOOL WINAPI EnumDependentServicesW(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSW services, DWORD size,
                                   LPDWORD needed, LPDWORD returned) {
    auto object = serviceOf(service, SERVICE_ENUMERATE_DEPENDENTS);
    if (!object) return FALSE;
    if (!needed || !returned || serviceState < SERVICE_ACTIVE || serviceState > SERVICE_STATE_ALL)
        return failWith(ERROR_INVALID_PARAMETER);
    if (auto fault = platform::detail::takeFault("EnumDependentServicesW", platform::toUtf8(object->name)))
        return failWith(fault->error ? fault->error : ERROR_ACCESS_DENIED);
    std::vector<Kept> chosen;
    {
        platform::detail::MachineLock lock(lockFile(), false);
        for (const Kept& kept : dependentsOf(object->name, loadAll())) {
            const bool active = kept.setup.state != SERVICE_STOPPED;
            if ((active && (serviceState & SERVICE_ACTIVE)) || (!active && (serviceState & SERVICE_INACTIVE)))
                chosen.push_back(kept);
        }
    }
    size_t bytes = chosen.size() * sizeof(ENUM_SERVICE_STATUSW);
    for (const Kept& kept : chosen)
        bytes += (kept.setup.name.size() + kept.setup.displayName.size() + 2) * sizeof(WCHAR);
    *returned = 0;
    *needed = static_cast<DWORD>(bytes);
    if (!services || size < bytes) return failWith(ERROR_MORE_DATA);
    auto* text = reinterpret_cast<WCHAR*>(reinterpret_cast<BYTE*>(services) + chosen.size() * sizeof(ENUM_SERVICE_STATUSW));
    for (size_t i = 0; i < chosen.size(); ++i) {
        for (const std::u16string* value : {&chosen[i].setup.name, &chosen[i].setup.displayName}) {
            std::copy(value->begin(), value->end(), text);
            text[value->size()] = 0;
            (value == &chosen[i].setup.name ? services[i].lpServiceName : services[i].lpDisplayName) = text;
            text += value->size() + 1;
        }
        services[i].ServiceStatus = statusOf(chosen[i]);
    }
    *returned = static_cast<DWORD>(chosen.size());
    return TRUE;
}

namespace platform {

void installService(const ServiceSetup& service) {
    if (service.name.empty() || service.state < SERVICE_STOPPED || service.state > SERVICE_RUNNING)
        throw std::invalid_argument("installService: a service needs a name and a SERVICE_* state");
    detail::MachineLock lock(lockFile(), true);
    ensureDefaults();
    write({service, GetTickCount64()});
}

void removeService(std::u16string_view name) {
    detail::MachineLock lock(lockFile(), true);
    ensureDefaults();
    std::error_code ec;
    fs::remove(folder() / keyOf(name), ec);
}

std::optional<ServiceSetup> service(std::u16string_view name) {
    detail::MachineLock lock(lockFile(), false);
    std::optional<Kept> kept = load(name);
    if (!kept) return std::nullopt;
    return kept->setup;
}

std::vector<ServiceSetup> services() {
    detail::MachineLock lock(lockFile(), false);
    std::vector<ServiceSetup> all;
    for (const Kept& kept : loadAll()) all.push_back(kept.setup);
    return all;
}

}  // namespace platform
