// Winsock over host sockets, on the loopback interface only: Windows' constants and records at the
// boundary, the receive time-out on the machine clock, and the errors callers see.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "platform/support/udp_peer.h"
#include "win/kernel.h"
#include "win/winsock2.h"

namespace {

struct Started {
    Started() { EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0); }
    ~Started() { WSACleanup(); }
    WSADATA data;
};

// The address of a port of ::1 in Windows' layout.
sockaddr_in6 loopback(uint16_t port) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr.s6_addr[15] = 1;
    auto* bytes = reinterpret_cast<uint8_t*>(&address.sin6_port);
    bytes[0] = static_cast<uint8_t>(port >> 8);
    bytes[1] = static_cast<uint8_t>(port);
    return address;
}

uint16_t portOf(const sockaddr_in6& address) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address.sin6_port);
    return static_cast<uint16_t>(bytes[0] * 256 + bytes[1]);
}

}  // namespace

TEST(Winsock, NothingWorksBeforeStartUpAndAfterTheLastCleanup) {
    platform::testing::Machine machine;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), WSAVERNOTSUPPORTED);
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, 0x0202);
    EXPECT_EQ(WSACleanup(), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(Winsock, NumericMulticastAddressComesBackInWindowsLayout) {
    platform::testing::Machine machine;
    Started started;
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* list = nullptr;
    ASSERT_EQ(getaddrinfo("FF02::116", "427", &hints, &list), 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->ai_family, 23);
    EXPECT_EQ(list->ai_socktype, SOCK_DGRAM);
    EXPECT_EQ(list->ai_protocol, IPPROTO_UDP);
    ASSERT_EQ(list->ai_addrlen, 28u);
    const auto* address = reinterpret_cast<const sockaddr_in6*>(list->ai_addr);
    EXPECT_EQ(address->sin6_family, 23);
    const auto* port = reinterpret_cast<const uint8_t*>(&address->sin6_port);
    EXPECT_EQ(port[0] * 256 + port[1], 427);
    EXPECT_EQ(address->sin6_addr.s6_addr[0], 0xFF);
    EXPECT_EQ(address->sin6_addr.s6_addr[1], 0x02);
    EXPECT_EQ(address->sin6_addr.s6_addr[15], 0x16);
    freeaddrinfo(list);

    // A name is no numeric host; a fault answers its error.
    EXPECT_EQ(getaddrinfo("printer.example", "427", &hints, &list), WSAHOST_NOT_FOUND);
    platform::setFault("getaddrinfo", {});
    EXPECT_EQ(getaddrinfo("FF02::116", "427", &hints, &list), WSAHOST_NOT_FOUND);
    EXPECT_EQ(list, nullptr);
}

TEST(Winsock, DatagramsOnLoopbackWithTheirSenderAndLimits) {
    platform::testing::Machine machine;
    Started started;
    platformtest::UdpPeer peer;
    ASSERT_NE(peer.port(), 0);
    SOCKET s = socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(s, INVALID_SOCKET);
    const sockaddr_in6 to = loopback(peer.port());
    ASSERT_EQ(sendto(s, "hello", 5, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 5);
    std::string got;
    uint16_t ourPort = 0;
    ASSERT_TRUE(peer.receive(got, ourPort));
    EXPECT_EQ(got, "hello");

    // The answer, with its sender in Windows' layout.
    ASSERT_TRUE(peer.sendTo(ourPort, "reply"));
    char buffer[16] = {};
    sockaddr_in6 from{};
    int fromLength = sizeof from;
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength), 5);
    EXPECT_EQ(std::string(buffer, 5), "reply");
    EXPECT_EQ(fromLength, 28);
    EXPECT_EQ(from.sin6_family, 23);
    EXPECT_EQ(portOf(from), peer.port());

    // Longer than the buffer: filled, the rest lost, WSAEMSGSIZE.
    ASSERT_TRUE(peer.sendTo(ourPort, "0123456789"));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(recvfrom(s, buffer, 4, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::string(buffer, 4), "0123");

    // Options other than the receive time-out are refused; a fault strikes sendto.
    DWORD value = 1;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x0004, reinterpret_cast<const char*>(&value), sizeof value), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    platform::setFault("sendto", {});
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(sendto(s, "x", 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
    EXPECT_FALSE(peer.receive(got, ourPort));

    EXPECT_EQ(closesocket(s), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST(Winsock, ReceiveTimeOutRunsOnTheMachineClock) {
    platform::testing::Machine machine;  // virtual time
    Started started;
    SOCKET s = socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(s, INVALID_SOCKET);
    const DWORD timeout = 5000;
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout), 0);
    char buffer[16];
    const ULONGLONG before = GetTickCount64();
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    const ULONGLONG waited = GetTickCount64() - before;
    EXPECT_GE(waited, 5000u);
    EXPECT_LT(waited, 5100u);
    closesocket(s);
}
