// The printer at the other end of the USB cable, as far as the wireless set-up utility talks to it:
// it serves one endpoint (see platform::attachUsbPrinter), answers the set frame and the query frame
// by a script, never answers the print-information-page frame, and journals every packet.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace standin {

struct UsbPrinterScript {
    // The answer to a set frame: accept (status 00 01), refuse (01 00), a wrong echo (FF 84 with
    // 00 01), silence, or these bytes as they are.
    enum class SetAnswer { Accept, Refuse, WrongEcho, Silence, Raw };
    SetAnswer set = SetAnswer::Accept;
    std::string setRaw;
    // The answer to a query frame: a 16-byte header packet, then the 240-byte body with the IPv4 text
    // at 0 and the second address at 48, or the body bytes as they are; or silence.
    enum class QueryAnswer { Addresses, Raw, Silence };
    QueryAnswer query = QueryAnswer::Addresses;
    std::string ipv4 = "192.0.2.10";
    std::string secondAddress = "192.0.2.10";
    std::string queryRaw;
    // Machine time that passes before each answer: the printer waits until this process's machine
    // clock has moved on by it (a virtual clock moves as the host's reads wait).
    unsigned delayMs = 0;
};
// Reads a script: one setting a line, '#' starts a comment (see README.md). Throws
// std::invalid_argument naming the line it cannot read.
UsbPrinterScript parseUsbPrinterScript(std::string_view text);

struct UsbPacket {
    bool fromHost = true;  // false: the printer's answer
    // What the printer took it for: "set", "query", "print", "print-prefix", "print-header",
    // "print-trailer", "unexpected"; "reply" for its own answers.
    std::string kind;
    std::string bytes;
};
std::string hexOf(std::string_view bytes);

class UsbPrinter {
public:
    // Listens on the endpoint (a socket file, made anew) and serves it on a thread of its own.
    // `journal`: a file that gets one line a packet ("<kind> <hex>"), if given.
    UsbPrinter(std::filesystem::path endpoint, UsbPrinterScript script, std::filesystem::path journal = {});
    ~UsbPrinter();
    UsbPrinter(const UsbPrinter&) = delete;
    UsbPrinter& operator=(const UsbPrinter&) = delete;

    void setScript(const UsbPrinterScript& script);
    std::vector<UsbPacket> packets() const;
    // Packets from the host, of one kind.
    std::vector<UsbPacket> received(std::string_view kind) const;
    // Waits (in real time, at most `seconds`) until the printer has journalled this many packets;
    // false when it has not by then.
    bool waitForPackets(size_t count, int seconds = 10) const;
    // Connections the host opened so far.
    int connections() const { return connections_; }

private:
    void serve();
    void answer(int fd, std::string_view packet);
    void record(UsbPacket packet);
    void reply(int fd, const std::string& bytes);
    bool waitFor(unsigned delayMs);

    std::filesystem::path endpoint_, journal_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    UsbPrinterScript script_;
    std::vector<UsbPacket> packets_;
    std::atomic<int> connections_{0};
    bool expectHeader_ = false, expectTrailer_ = false;
    std::thread thread_;
};

}  // namespace standin
