// Winsock over host sockets: Windows' constants and address records converted at the boundary, the
// receive time-out kept per socket and run on the machine clock.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#define PLATFORM_WINSOCK_OWN_NAMES
#include "../internal.h"
#include "win/kernel.h"
#include "win/winsock2.h"

namespace {

using platform::detail::takeFault;

// A receive in virtual time polls for a millisecond of real time and moves the clock by this much, as
// the device reads do.
constexpr DWORD kVirtualRound = 10;

std::atomic<int> startups{0};

struct HostSocket {
    int fd = -1;
    DWORD receiveTimeoutMs = 0;  // 0: no time-out
};
std::mutex socketsMutex;
std::map<SOCKET, HostSocket> sockets;

int fail(int error) {
    SetLastError(static_cast<DWORD>(error));
    return SOCKET_ERROR;
}

// The Winsock code of a host errno; the errno goes to the debugger output as well.
int wsaErrorOf(int error, const char* call) {
    int code;
    switch (error) {
    case EINTR: code = WSAEINTR; break;
    case EBADF: code = WSAENOTSOCK; break;
    case EACCES: case EPERM: code = WSAEACCES; break;
    case EFAULT: code = WSAEFAULT; break;
    case EINVAL: code = WSAEINVAL; break;
    case EMFILE: case ENFILE: code = WSAEMFILE; break;
    case EAGAIN: code = WSAEWOULDBLOCK; break;
    case EDESTADDRREQ: code = WSAEDESTADDRREQ; break;
    case EMSGSIZE: code = WSAEMSGSIZE; break;
    case EPROTOTYPE: code = WSAEPROTOTYPE; break;
    case ENOPROTOOPT: code = WSAENOPROTOOPT; break;
    case EPROTONOSUPPORT: code = WSAEPROTONOSUPPORT; break;
    case ESOCKTNOSUPPORT: code = WSAESOCKTNOSUPPORT; break;
    case EOPNOTSUPP: code = WSAEOPNOTSUPP; break;
    case EAFNOSUPPORT: code = WSAEAFNOSUPPORT; break;
    case EADDRINUSE: code = WSAEADDRINUSE; break;
    case EADDRNOTAVAIL: code = WSAEADDRNOTAVAIL; break;
    case ENETDOWN: code = WSAENETDOWN; break;
    case ENETUNREACH: code = WSAENETUNREACH; break;
    case ECONNRESET: case ECONNREFUSED: code = WSAECONNRESET; break;
    case ENOBUFS: case ENOMEM: code = WSAENOBUFS; break;
    case ETIMEDOUT: code = WSAETIMEDOUT; break;
    case EHOSTUNREACH: code = WSAEHOSTUNREACH; break;
    default: code = WSASYSCALLFAILURE; break;
    }
    OutputDebugStringA((std::string("winsock: ") + call + ": " + std::strerror(error)).c_str());
    return code;
}

int hostFamily(int family) {
    switch (family) {
    case PlatformWs_AF_UNSPEC: return AF_UNSPEC;
    case PlatformWs_AF_INET: return AF_INET;
    case PlatformWs_AF_INET6: return AF_INET6;
    default: return -1;
    }
}

int windowsFamily(int family) {
    return family == AF_INET6 ? PlatformWs_AF_INET6 : family == AF_INET ? PlatformWs_AF_INET : family;
}

// A Windows address record as the host's (the two share their layout but for the family's value).
bool toHostAddress(const PlatformSockAddr* address, int length, sockaddr_storage& host, socklen_t& hostLength) {
    if (address == nullptr || length < static_cast<int>(sizeof(USHORT))) return false;
    const int family = hostFamily(address->sa_family);
    const size_t needed = family == AF_INET6 ? sizeof(sockaddr_in6) : family == AF_INET ? sizeof(sockaddr_in) : 0;
    if (needed == 0 || static_cast<size_t>(length) < needed) return false;
    std::memset(&host, 0, sizeof host);
    std::memcpy(&host, address, needed);
    host.ss_family = static_cast<sa_family_t>(family);
    hostLength = static_cast<socklen_t>(needed);
    return true;
}

// The host's record as Windows', cut to `length`; the length it takes.
size_t fromHostAddress(const sockaddr_storage& host, socklen_t hostLength, void* out, size_t length) {
    sockaddr_storage copy = host;
    const USHORT family = static_cast<USHORT>(windowsFamily(host.ss_family));
    // The family is the record's first field, 16 bits wide on both sides.
    std::memcpy(&copy, &family, sizeof family);
    const size_t size = std::min<size_t>(hostLength, length);
    std::memcpy(out, &copy, size);
    return hostLength;
}

bool findSocket(SOCKET s, HostSocket& found) {
    std::lock_guard<std::mutex> lock(socketsMutex);
    auto it = sockets.find(s);
    if (it == sockets.end()) return false;
    found = it->second;
    return true;
}

// The common start of the socket calls: Winsock started and the socket known.
bool prepare(SOCKET s, HostSocket& found) {
    if (startups.load() <= 0) {
        SetLastError(WSANOTINITIALISED);
        return false;
    }
    if (!findSocket(s, found)) {
        SetLastError(WSAENOTSOCK);
        return false;
    }
    return true;
}

int getaddrinfoError(int code) {
    switch (code) {
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_BADFLAGS: return WSAEINVAL;
    case EAI_FAIL: return WSANO_RECOVERY;
    case EAI_FAMILY: return WSAEAFNOSUPPORT;
    case EAI_MEMORY: return WSA_NOT_ENOUGH_MEMORY;
    case EAI_SERVICE: return WSATYPE_NOT_FOUND;
    case EAI_SOCKTYPE: return WSAESOCKTNOSUPPORT;
    default: return WSAHOST_NOT_FOUND;
    }
}

}  // namespace

int WINAPI PlatformWs_WSAStartup(WORD version, PlatformWsaData* data) {
    const BYTE major = static_cast<BYTE>(version & 0xFF);
    if (major < 2) return WSAVERNOTSUPPORTED;
    if (data == nullptr) return WSAEFAULT;
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0202;
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    ++startups;
    return 0;
}

int WINAPI PlatformWs_WSACleanup() {
    int count = startups.load();
    while (count > 0 && !startups.compare_exchange_weak(count, count - 1)) {
    }
    if (count <= 0) return fail(WSANOTINITIALISED);
    return 0;
}

int WINAPI PlatformWs_WSAGetLastError() { return static_cast<int>(GetLastError()); }

int WINAPI PlatformWs_getaddrinfo(const char* node, const char* service, const PlatformAddrInfo* hints,
                                  PlatformAddrInfo** result) {
    if (result == nullptr) return WSAEFAULT;
    *result = nullptr;
    if (startups.load() <= 0) return WSANOTINITIALISED;
    if (auto fault = takeFault("getaddrinfo", node ? node : "")) {
        const int code = fault->error ? static_cast<int>(fault->error) : WSAHOST_NOT_FOUND;
        SetLastError(static_cast<DWORD>(code));
        return code;
    }
    addrinfo hostHints{};
    if (hints != nullptr) {
        hostHints.ai_family = hostFamily(hints->ai_family);
        if (hostHints.ai_family < 0) return WSAEAFNOSUPPORT;
        hostHints.ai_socktype = hints->ai_socktype;
        hostHints.ai_protocol = hints->ai_protocol;
        hostHints.ai_flags = (hints->ai_flags & PlatformWs_AI_PASSIVE ? AI_PASSIVE : 0) |
                             (hints->ai_flags & PlatformWs_AI_CANONNAME ? AI_CANONNAME : 0) |
                             (hints->ai_flags & PlatformWs_AI_NUMERICHOST ? AI_NUMERICHOST : 0);
    }
    addrinfo* host = nullptr;
    const int status = ::getaddrinfo(node, service, hints ? &hostHints : nullptr, &host);
    if (status != 0) {
        const int code = getaddrinfoError(status);
        OutputDebugStringA((std::string("winsock: getaddrinfo: ") + gai_strerror(status)).c_str());
        SetLastError(static_cast<DWORD>(code));
        return code;
    }
    PlatformAddrInfo** tail = result;
    for (const addrinfo* entry = host; entry != nullptr; entry = entry->ai_next) {
        auto* out = new PlatformAddrInfo{};
        out->ai_flags = hints ? hints->ai_flags : 0;
        out->ai_family = windowsFamily(entry->ai_family);
        out->ai_socktype = entry->ai_socktype;
        out->ai_protocol = entry->ai_protocol;
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, std::min<size_t>(entry->ai_addrlen, sizeof address));
        auto* bytes = new char[entry->ai_addrlen];
        out->ai_addrlen = fromHostAddress(address, entry->ai_addrlen, bytes, entry->ai_addrlen);
        out->ai_addr = reinterpret_cast<PlatformSockAddr*>(bytes);
        if (entry->ai_canonname != nullptr) {
            out->ai_canonname = new char[std::strlen(entry->ai_canonname) + 1];
            std::strcpy(out->ai_canonname, entry->ai_canonname);
        }
        *tail = out;
        tail = &out->ai_next;
    }
    ::freeaddrinfo(host);
    return 0;
}

void WINAPI PlatformWs_freeaddrinfo(PlatformAddrInfo* list) {
    while (list != nullptr) {
        PlatformAddrInfo* next = list->ai_next;
        delete[] reinterpret_cast<char*>(list->ai_addr);
        delete[] list->ai_canonname;
        delete list;
        list = next;
    }
}

SOCKET WINAPI PlatformWs_socket(int family, int type, int protocol) {
    if (startups.load() <= 0) {
        SetLastError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (auto fault = takeFault("socket")) {
        SetLastError(fault->error ? fault->error : WSAEMFILE);
        return INVALID_SOCKET;
    }
    const int hostFamilyValue = hostFamily(family);
    if (hostFamilyValue <= 0) {
        SetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    const int fd = ::socket(hostFamilyValue, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        SetLastError(static_cast<DWORD>(wsaErrorOf(errno, "socket")));
        return INVALID_SOCKET;
    }
    std::lock_guard<std::mutex> lock(socketsMutex);
    const SOCKET s = static_cast<SOCKET>(fd);
    sockets[s] = HostSocket{fd, 0};
    return s;
}

int WINAPI PlatformWs_sendto(SOCKET s, const char* buffer, int length, int flags, const PlatformSockAddr* to,
                             int toLength) {
    HostSocket found;
    if (!prepare(s, found)) return SOCKET_ERROR;
    if (auto fault = takeFault("sendto", {}, length > 0 ? static_cast<uint64_t>(length) : 0))
        return fail(fault->error ? static_cast<int>(fault->error) : WSAENETUNREACH);
    if (length < 0 || (buffer == nullptr && length > 0) || flags != 0) return fail(WSAEINVAL);
    sockaddr_storage address;
    socklen_t addressLength = 0;
    if (!toHostAddress(to, toLength, address, addressLength)) return fail(WSAEFAULT);
    ssize_t sent;
    do sent = ::sendto(found.fd, buffer, static_cast<size_t>(length), MSG_NOSIGNAL,
                       reinterpret_cast<const sockaddr*>(&address), addressLength);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) return fail(wsaErrorOf(errno, "sendto"));
    return static_cast<int>(sent);
}

int WINAPI PlatformWs_setsockopt(SOCKET s, int level, int option, const char* value, int length) {
    HostSocket found;
    if (!prepare(s, found)) return SOCKET_ERROR;
    if (auto fault = takeFault("setsockopt")) return fail(fault->error ? static_cast<int>(fault->error) : WSAEINVAL);
    if (level != PlatformWs_SOL_SOCKET || option != PlatformWs_SO_RCVTIMEO) return fail(WSAENOPROTOOPT);
    if (value == nullptr || length < static_cast<int>(sizeof(DWORD))) return fail(WSAEFAULT);
    DWORD milliseconds;
    std::memcpy(&milliseconds, value, sizeof milliseconds);
    std::lock_guard<std::mutex> lock(socketsMutex);
    auto it = sockets.find(s);
    if (it == sockets.end()) return fail(WSAENOTSOCK);
    it->second.receiveTimeoutMs = milliseconds;
    return 0;
}

int WINAPI PlatformWs_recvfrom(SOCKET s, char* buffer, int length, int flags, PlatformSockAddr* from, int* fromLength) {
    HostSocket found;
    if (!prepare(s, found)) return SOCKET_ERROR;
    if (auto fault = takeFault("recvfrom")) return fail(fault->error ? static_cast<int>(fault->error) : WSAECONNRESET);
    if (length < 0 || (buffer == nullptr && length > 0) || flags != 0) return fail(WSAEINVAL);
    if (from != nullptr && (fromLength == nullptr || *fromLength < 0)) return fail(WSAEFAULT);

    const DWORD timeout = found.receiveTimeoutMs;
    const ULONGLONG deadline = GetTickCount64() + timeout;
    const bool virtualTime = platform::detail::virtualClockOn();
    std::optional<platform::detail::PeerWait> grace;
    if (virtualTime && timeout != 0) grace.emplace();
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        int waitMs = 1;
        if (!virtualTime) {
            const ULONGLONG now = GetTickCount64();
            waitMs = timeout == 0 ? 50 : now >= deadline ? 0 : static_cast<int>(std::min<ULONGLONG>(deadline - now, 50));
        }
        pollfd wait{found.fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, waitMs);
        if (ready < 0 && errno != EINTR) return fail(wsaErrorOf(errno, "recvfrom"));
        if (ready > 0) {
            sockaddr_storage sender{};
            socklen_t senderLength = sizeof sender;
            const ssize_t got = ::recvfrom(found.fd, buffer, static_cast<size_t>(length), MSG_DONTWAIT | MSG_TRUNC,
                                           reinterpret_cast<sockaddr*>(&sender), &senderLength);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (got < 0) return fail(wsaErrorOf(errno, "recvfrom"));
            if (from != nullptr) {
                if (static_cast<size_t>(*fromLength) < senderLength) return fail(WSAEFAULT);
                *fromLength = static_cast<int>(fromHostAddress(sender, senderLength, from, static_cast<size_t>(*fromLength)));
            }
            if (got > length) return fail(WSAEMSGSIZE);
            return static_cast<int>(got);
        }
        if (timeout != 0) {
            if (grace && std::chrono::steady_clock::now() - start < platform::detail::PeerWait::kPeerGrace) continue;
            grace.reset();
            if (virtualTime) platform::advanceClock(kVirtualRound);
            if (GetTickCount64() >= deadline) return fail(WSAETIMEDOUT);
        }
    }
}

int WINAPI PlatformWs_closesocket(SOCKET s) {
    if (startups.load() <= 0) return fail(WSANOTINITIALISED);
    int fd;
    {
        std::lock_guard<std::mutex> lock(socketsMutex);
        auto it = sockets.find(s);
        if (it == sockets.end()) return fail(WSAENOTSOCK);
        fd = it->second.fd;
        sockets.erase(it);
    }
    ::close(fd);
    return 0;
}
