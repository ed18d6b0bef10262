// The SLP check. It sees only the layer's Winsock, never the host's socket headers.
#include <cstring>
#include <string>
#include <string_view>

#include "NetworkChecks.h"
#include "win/kernel.h"
#include "win/winsock2.h"

namespace {

// The value of an attribute ends at its ')' within this many bytes after the key.
constexpr size_t kValueWindow = 32;
constexpr size_t kValueSize = 256;
// A datagram is read with room for a terminator.
constexpr int kDatagramSize = 1024;
// Time for the printer to join the network before it is asked, and the wait for each reply.
constexpr DWORD kJoinWaitMs = 7000;
constexpr DWORD kReplyTimeoutMs = 5000;

// Frees the address list and closes the socket on every way out.
struct SlpSession {
    bool started = false;
    addrinfo* addresses = nullptr;
    SOCKET socket = INVALID_SOCKET;
    ~SlpSession() {
        if (socket != INVALID_SOCKET) closesocket(socket);
        if (addresses != nullptr) freeaddrinfo(addresses);
        if (started) WSACleanup();
    }
};

}  // namespace

const SlpAttributeRequest& SlpPrinterAttributeRequest() {
    static const SlpAttributeRequest request = [] {
        SlpAttributeRequest r{};
        size_t at = 0;
        auto put = [&](std::initializer_list<uint8_t> bytes) {
            for (uint8_t b : bytes) r[at++] = b;
        };
        auto text = [&](std::string_view s) {
            put({static_cast<uint8_t>(s.size() >> 8), static_cast<uint8_t>(s.size())});
            for (char c : s) r[at++] = static_cast<uint8_t>(c);
        };
        put({0x02, 0x06});            // version 2, attribute request
        put({0x00, 0x00, 0x38});      // length 56
        put({0x20, 0x00});            // request multicast
        put({0x00, 0x00, 0x00});      // no extension
        put({0x31, 0xCC});            // XID
        text("en");                   // language tag
        text("");                     // previous responders
        text("service:printer:raw-tcp");
        text("DEFAULT");              // scopes
        text("");                     // tags: all attributes
        text("");                     // SLP SPI
        return r;
    }();
    return request;
}

bool ExtractSlpAttribute(const uint8_t* reply, size_t length, const char* key, char* value) {
    value[0] = '\0';
    if (reply == nullptr || key == nullptr || key[0] == '\0') return false;
    // The key is looked for in all the bytes received: a reply's header holds NUL bytes (its length
    // field among them), so text that ended at the first NUL would never reach the attributes.
    const std::string_view bytes(reinterpret_cast<const char*>(reply), length);
    const size_t keyAt = bytes.find(key);
    if (keyAt == std::string_view::npos) return false;
    std::string_view window = bytes.substr(keyAt + std::strlen(key), kValueWindow);
    window = window.substr(0, window.find('\0'));
    const size_t close = window.find(')');
    if (close == std::string_view::npos) return false;
    const size_t size = std::min(close, kValueSize - 1);
    std::memcpy(value, window.data(), size);
    value[size] = '\0';
    return true;
}

int SlpFindPrinter(const char* address) {
    // An empty text would match a reply whose value is empty: nothing to look for.
    if (address == nullptr || address[0] == '\0') return 1;

    SlpSession session;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    session.started = true;

    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    if (getaddrinfo("FF02::116", "427", &hints, &session.addresses) != 0 || session.addresses == nullptr) return 1;
    const addrinfo* first = session.addresses;
    session.socket = socket(first->ai_family, first->ai_socktype, first->ai_protocol);
    if (session.socket == INVALID_SOCKET) return 1;

    Sleep(kJoinWaitMs);
    const SlpAttributeRequest& request = SlpPrinterAttributeRequest();
    if (sendto(session.socket, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0,
               first->ai_addr, static_cast<int>(first->ai_addrlen)) == SOCKET_ERROR)
        OutputDebugStringA(("SLP: the request was not sent, error " + std::to_string(WSAGetLastError())).c_str());

    const DWORD timeout = kReplyTimeoutMs;
    if (setsockopt(session.socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout) != 0)
        return 1;

    char datagram[kDatagramSize + 1];
    for (;;) {
        sockaddr_in6 from{};
        int fromLength = sizeof from;
        const int got = recvfrom(session.socket, datagram, kDatagramSize, 0, reinterpret_cast<sockaddr*>(&from),
                                 &fromLength);
        if (got == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            OutputDebugStringA(("SLP: no matching reply, error " + std::to_string(error)).c_str());
            Sleep(1);
            return 1;
        }
        if (got < 1) continue;
        datagram[got] = '\0';
        char value[kValueSize];
        if (ExtractSlpAttribute(reinterpret_cast<const uint8_t*>(datagram), static_cast<size_t>(got), "x-ip-addr=",
                                value) &&
            std::strcmp(value, address) == 0)
            return 0;
    }
}
