// The SLP responder stand-in.
#include "slp_responder.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace standin {

namespace {

constexpr uint16_t kSlpPort = 427;
constexpr uint8_t kAttributeReply = 7;

[[noreturn]] void failed(const char* call) {
    throw std::runtime_error(std::string("slp responder: ") + call + ": " + std::strerror(errno));
}

void putWord(std::string& out, size_t value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

}  // namespace

std::string slpAttributeReply(uint16_t xid, const std::string& attributes) {
    std::string body;
    putWord(body, 0);  // error code
    putWord(body, attributes.size());
    body += attributes;
    body += '\0';  // no authentication blocks
    const std::string language = "en";
    const size_t length = 14 + language.size() + body.size();
    std::string out;
    out += '\x02';
    out += static_cast<char>(kAttributeReply);
    out += static_cast<char>((length >> 16) & 0xFF);
    putWord(out, length & 0xFFFF);
    putWord(out, 0);         // flags
    out.append(3, '\0');     // next extension offset
    putWord(out, xid);
    putWord(out, language.size());
    out += language;
    return out + body;
}

SlpResponder::SlpResponder(const std::string& interfaceName, std::vector<SlpReply> script)
    : script_(std::move(script)) {
    const unsigned index = if_nametoindex(interfaceName.c_str());
    if (index == 0) failed("if_nametoindex");
    fd_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0) failed("socket");
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(kSlpPort);
    any.sin6_addr = in6addr_any;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        ::close(fd_);
        failed("bind");
    }
    ipv6_mreq group{};
    inet_pton(AF_INET6, "ff02::116", &group.ipv6mr_multiaddr);
    group.ipv6mr_interface = index;
    if (setsockopt(fd_, IPPROTO_IPV6, IPV6_JOIN_GROUP, &group, sizeof group) != 0) {
        ::close(fd_);
        failed("IPV6_JOIN_GROUP");
    }
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) {
        ::close(fd_);
        failed("pipe2");
    }
    thread_ = std::thread([this] { serve(); });
}

SlpResponder::~SlpResponder() {
    const char stop = 's';
    (void)::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(fd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void SlpResponder::setScript(std::vector<SlpReply> script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

std::vector<std::string> SlpResponder::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void SlpResponder::serve() {
    for (;;) {
        pollfd waits[2] = {{stopPipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[0].revents) return;
        char buffer[2048];
        sockaddr_in6 from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) continue;
        std::vector<SlpReply> script;
        {
            std::lock_guard lock(mutex_);
            requests_.emplace_back(buffer, static_cast<size_t>(got));
            script = script_;
        }
        // The XID of the request, if it is long enough to hold one.
        const uint16_t xid = got >= 12 ? static_cast<uint16_t>((static_cast<uint8_t>(buffer[10]) << 8) |
                                                               static_cast<uint8_t>(buffer[11]))
                                       : 0;
        for (const SlpReply& reply : script) {
            const std::string bytes =
                reply.kind == SlpReply::Kind::Raw ? reply.text : slpAttributeReply(xid, reply.text);
            (void)::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
}

}  // namespace standin
