// Printers on the machine's USB cable: the interface paths of the device tree ("\\?\usb#...") opened
// by CreateFileW, each handle a connection to the socket the printer serves (AF_UNIX,
// SOCK_SEQPACKET) where one WriteFile is one packet and one ReadFile takes one packet, and
// attachUsbPrinter, which puts such a printer into the tree and the registry as the USB print driver
// would.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "../internal.h"
#include "device_files.h"
#include "device_tree.h"
#include "win/kernel.h"
#include "win/registry.h"
#include "win/setupapi.h"

namespace fs = std::filesystem;

namespace platform::detail {
namespace {

// How far the virtual clock moves while a read waits one round (1 ms of real time) for a packet.
constexpr DWORD kVirtualRound = 10;

struct UsbPrinterFile : DeviceFile {
    int fd = -1;
    std::optional<DWORD> readTimeout;
    ~UsbPrinterFile() override {
        if (fd >= 0) ::close(fd);
    }

    bool write(const void* buffer, DWORD size, DWORD& done, DWORD& error) override {
        done = 0;
        if (size == 0) return true;
        ssize_t sent;
        do sent = ::send(fd, buffer, size, MSG_NOSIGNAL);
        while (sent < 0 && errno == EINTR);
        if (sent < 0) {
            OutputDebugStringA(("usb printer: send failed: " + std::string(std::strerror(errno))).c_str());
            error = ERROR_GEN_FAILURE;
            return false;
        }
        done = static_cast<DWORD>(sent);
        return true;
    }

    // One packet, cut to the buffer (the rest of it is lost, as with a USB transfer), or 0 bytes once
    // the read time-out has passed on the machine clock. A packet that arrives after the time-out
    // stays queued for the next read.
    bool read(void* buffer, DWORD size, DWORD& done, DWORD& error) override {
        done = 0;
        const ULONGLONG deadline = readTimeout ? GetTickCount64() + *readTimeout : 0;
        const bool virtualTime = virtualClockOn();
        std::optional<PeerWait> grace;
        if (virtualTime && readTimeout) grace.emplace();
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            pollfd wait{fd, POLLIN, 0};
            int timeoutMs = 1;
            if (!virtualTime && readTimeout) {
                const ULONGLONG now = GetTickCount64();
                timeoutMs = now >= deadline ? 0 : static_cast<int>(std::min<ULONGLONG>(deadline - now, 50));
            } else if (!virtualTime) {
                timeoutMs = 50;
            }
            const int ready = ::poll(&wait, 1, timeoutMs);
            if (ready < 0 && errno != EINTR) {
                error = ERROR_GEN_FAILURE;
                return false;
            }
            if (ready > 0 && (wait.revents & POLLIN)) {
                if (readTimeout && GetTickCount64() > deadline) return true;
                const ssize_t got = ::recv(fd, buffer, size, MSG_TRUNC | MSG_DONTWAIT);
                if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                if (got < 0 || (got == 0 && (wait.revents & POLLHUP))) {
                    error = ERROR_GEN_FAILURE;  // the printer went away
                    return false;
                }
                done = static_cast<DWORD>(std::min<ssize_t>(got, size));
                return true;
            }
            if (ready > 0 && (wait.revents & (POLLHUP | POLLERR))) {
                error = ERROR_GEN_FAILURE;
                return false;
            }
            if (readTimeout) {
                if (grace && std::chrono::steady_clock::now() - start < PeerWait::kPeerGrace) continue;
                grace.reset();
                if (virtualTime) advanceClock(kVirtualRound);
                if (GetTickCount64() >= deadline) return true;
            }
        }
    }
};

// Connects to a socket file by way of its folder's descriptor, so a long machine root does not
// overflow sun_path.
int connectEndpoint(const fs::path& endpoint) {
    const int folder = ::open(endpoint.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string shortName = "/proc/self/fd/" + std::to_string(folder) + "/" + endpoint.filename().string();
    int fd = -1;
    if (shortName.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, shortName.c_str(), shortName.size() + 1);
        fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::close(folder);
    return fd;
}

bool isDrivePath(std::u16string_view rest) { return rest.size() >= 2 && rest[1] == u':'; }

// "\\?\" names other than long drive and network paths are device interfaces.
DeviceOpen openInterface(const std::u16string& name, DWORD, DWORD, DWORD) {
    if (name.rfind(u"\\\\?\\", 0) != 0) return {};
    const std::u16string_view rest = std::u16string_view(name).substr(4);
    if (isDrivePath(rest) || foldCase(rest.substr(0, 4)) == u"UNC\\") return {};
    DeviceOpen opened;
    opened.owned = true;
    auto face = findInterface(name);
    if (!face || face->endpoint.empty()) {
        opened.error = ERROR_FILE_NOT_FOUND;
        return opened;
    }
    const int fd = connectEndpoint(face->endpoint);
    if (fd < 0) {
        OutputDebugStringA(("usb printer: nobody serves " + face->endpoint.string()).c_str());
        opened.error = ERROR_GEN_FAILURE;
        return opened;
    }
    auto file = std::make_shared<UsbPrinterFile>();
    file->fd = fd;
    file->readTimeout = face->readTimeout;
    opened.device = file;
    return opened;
}

const DeviceNamespaceRegistration kUsbInterfaces(openInterface);

// The interface path the USB print driver gives a device: its instance id in lower case with '#'
// for '\', then the class GUID (lower case), behind "\\?\".
std::u16string interfacePathOf(const std::u16string& instanceId, std::u16string_view between) {
    std::u16string path = u"\\\\?\\";
    for (char16_t c : instanceId) path += c == u'\\' ? u'#' : (c >= u'A' && c <= u'Z' ? c + 32 : c);
    path += between;
    for (char16_t c : guidText(GUID_DEVINTERFACE_USBPRINT)) path += c >= u'A' && c <= u'Z' ? c + 32 : c;
    return path;
}

void writePortNumber(const UsbPrinterSetup& setup, const std::u16string& interfacePath) {
    std::u16string hashed = interfacePath;
    for (char16_t& c : hashed)
        if (c == u'\\') c = u'#';
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" +
                               guidText(GUID_DEVINTERFACE_USBPRINT) + u"\\" + hashed + u"\\#\\Device Parameters";
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("attachUsbPrinter: cannot make the device's registry key");
    if (setup.portNumber) {
        const DWORD number = *setup.portNumber;
        if (setup.portValueType == REG_SZ) {
            const std::u16string text = fromUtf8(std::to_string(number));
            RegSetValueExW(opened, u"Port Number", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
        } else {
            const DWORD bytes = setup.portValueType == REG_BINARY ? 2 : sizeof number;
            RegSetValueExW(opened, u"Port Number", 0, setup.portValueType, reinterpret_cast<const BYTE*>(&number),
                           bytes);
        }
    }
    RegCloseKey(opened);
}

}  // namespace
}  // namespace platform::detail

namespace platform {

AttachedUsbPrinter attachUsbPrinter(const UsbPrinterSetup& setup) {
    AttachedUsbPrinter attached;
    attached.interfacePath = detail::interfacePathOf(setup.instanceId, u"#");
    attached.endpoint = setup.endpoint;
    if (attached.endpoint.empty()) {
        // The first socket name below "devices/usb/" that no device of the tree uses yet.
        const fs::path folder = machineRoot() / "devices" / "usb";
        std::error_code ec;
        fs::create_directories(folder, ec);
        std::vector<fs::path> used;
        for (const DeviceEntry& other : devices())
            for (const DeviceInterfaceEntry& face : other.interfaces) used.push_back(face.endpoint);
        for (int n = 1; attached.endpoint.empty(); ++n) {
            fs::path candidate = folder / ("p" + std::to_string(n) + ".sock");
            if (std::find(used.begin(), used.end(), candidate) == used.end()) attached.endpoint = candidate;
        }
    }
    const std::u16string guid = detail::guidText(GUID_DEVINTERFACE_USBPRINT);
    DeviceEntry device{setup.instanceId, setup.present, {}};
    DeviceInterfaceEntry printing{guid, attached.interfacePath, attached.endpoint, setup.readTimeout};
    if (setup.dot4 != UsbPrinterSetup::Dot4::None) {
        attached.dot4Path = detail::interfacePathOf(setup.instanceId, u"#dot4#");
        DeviceInterfaceEntry dot4{guid, attached.dot4Path, {}, setup.readTimeout};
        if (setup.dot4 == UsbPrinterSetup::Dot4::First) device.interfaces = {dot4, printing};
        else device.interfaces = {printing, dot4};
    } else {
        device.interfaces = {printing};
    }
    detail::writePortNumber(setup, attached.interfacePath);
    addDevice(device);
    return attached;
}

}  // namespace platform
