// A host UDP socket on ::1 for the Winsock tests to talk to, kept out of their sources since the
// host's socket headers and the layer's Winsock header cannot meet.
#pragma once

#include <cstdint>
#include <string>

namespace platformtest {

class UdpPeer {
public:
    UdpPeer();  // bound to a free port of ::1
    ~UdpPeer();
    uint16_t port() const { return port_; }
    // Sends to a port of ::1.
    bool sendTo(uint16_t port, const std::string& bytes);
    // The next datagram and the port it came from (waits up to a second of real time).
    bool receive(std::string& bytes, uint16_t& fromPort);

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace platformtest
