// The host side of the Winsock tests' loopback traffic.
#include "udp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platformtest {

UdpPeer::UdpPeer() {
    fd_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 self{};
    self.sin6_family = AF_INET6;
    self.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof self;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&self), sizeof self) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &length) == 0)
        port_ = ntohs(self.sin6_port);
}

UdpPeer::~UdpPeer() {
    if (fd_ >= 0) ::close(fd_);
}

bool UdpPeer::sendTo(uint16_t port, const std::string& bytes) {
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    to.sin6_port = htons(port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
}

bool UdpPeer::receive(std::string& bytes, uint16_t& fromPort) {
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, 1000) != 1) return false;
    char buffer[2048];
    sockaddr_in6 from{};
    socklen_t length = sizeof from;
    const ssize_t got = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) return false;
    bytes.assign(buffer, static_cast<size_t>(got));
    fromPort = ntohs(from.sin6_port);
    return true;
}

}  // namespace platformtest
