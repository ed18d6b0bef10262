// The simulated printer on the USB cable.
#include "usb_printer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "win/kernel.h"

namespace standin {
namespace {

const std::string kUniversalExit = "\x1B%-12345X";
const std::string kPrefix = kUniversalExit + "@PJL ENTER LANGUAGE=ACL\r\n";
constexpr size_t kHeader = 16, kRecord = 208, kBody = 240;

std::string fromHex(std::string_view hex, size_t line) {
    std::string bytes, digits;
    for (char c : hex)
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    if (digits.size() % 2) throw std::invalid_argument("usb-printer script line " + std::to_string(line) + ": odd hex");
    for (size_t i = 0; i < digits.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = digits.substr(i, 2);
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (*end) throw std::invalid_argument("usb-printer script line " + std::to_string(line) + ": bad hex");
        bytes += static_cast<char>(value);
    }
    return bytes;
}

std::string header(uint8_t command0, uint8_t command1, uint8_t status0, uint8_t status1) {
    std::string bytes(kHeader, '\0');
    bytes[1] = static_cast<char>(0xAC);
    bytes[2] = static_cast<char>(command0);
    bytes[3] = static_cast<char>(command1);
    bytes[4] = static_cast<char>(status0);
    bytes[5] = static_cast<char>(status1);
    return bytes;
}

bool hasCommand(std::string_view bytes, size_t at, uint8_t second) {
    return bytes.size() >= at + kHeader && static_cast<uint8_t>(bytes[at]) == 0x00 &&
           static_cast<uint8_t>(bytes[at + 1]) == 0xAC && static_cast<uint8_t>(bytes[at + 2]) == 0xFF &&
           static_cast<uint8_t>(bytes[at + 3]) == second;
}

bool framed(std::string_view bytes, size_t middle) {
    return bytes.size() == kPrefix.size() + middle + kUniversalExit.size() && bytes.substr(0, kPrefix.size()) == kPrefix &&
           bytes.substr(bytes.size() - kUniversalExit.size()) == kUniversalExit;
}

// A socket name within sun_path: the endpoint's folder by way of a descriptor of it.
struct ShortName {
    int folder = -1;
    sockaddr_un address{};
    explicit ShortName(const std::filesystem::path& endpoint) {
        folder = ::open(endpoint.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) throw std::runtime_error("usb-printer: no folder for " + endpoint.string());
        const std::string name = "/proc/self/fd/" + std::to_string(folder) + "/" + endpoint.filename().string();
        if (name.size() >= sizeof address.sun_path) throw std::runtime_error("usb-printer: endpoint name too long");
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    }
    ~ShortName() { ::close(folder); }
};

}  // namespace

UsbPrinterScript parseUsbPrinterScript(std::string_view text) {
    UsbPrinterScript script;
    std::istringstream lines{std::string(text)};
    size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::string what, how;
        if (!(words >> what)) continue;
        words >> how;
        std::string rest;
        std::getline(words, rest);
        auto bad = [&] {
            return std::invalid_argument("usb-printer script line " + std::to_string(number) + ": " + line);
        };
        if (what == "set") {
            if (how == "accept") script.set = UsbPrinterScript::SetAnswer::Accept;
            else if (how == "refuse") script.set = UsbPrinterScript::SetAnswer::Refuse;
            else if (how == "wrong-echo") script.set = UsbPrinterScript::SetAnswer::WrongEcho;
            else if (how == "silent") script.set = UsbPrinterScript::SetAnswer::Silence;
            else if (how == "raw") {
                script.set = UsbPrinterScript::SetAnswer::Raw;
                script.setRaw = fromHex(rest, number);
            } else throw bad();
        } else if (what == "query") {
            std::istringstream values(rest);
            if (how == "addresses") {
                script.query = UsbPrinterScript::QueryAnswer::Addresses;
                if (!(values >> script.ipv4 >> script.secondAddress)) throw bad();
            } else if (how == "raw") {
                script.query = UsbPrinterScript::QueryAnswer::Raw;
                script.queryRaw = fromHex(rest, number);
            } else if (how == "silent") {
                script.query = UsbPrinterScript::QueryAnswer::Silence;
            } else throw bad();
        } else if (what == "delay") {
            char* end = nullptr;
            const unsigned long ms = std::strtoul(how.c_str(), &end, 10);
            if (how.empty() || *end) throw bad();
            script.delayMs = static_cast<unsigned>(ms);
        } else {
            throw bad();
        }
    }
    return script;
}

std::string hexOf(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

UsbPrinter::UsbPrinter(std::filesystem::path endpoint, UsbPrinterScript script, std::filesystem::path journal)
    : endpoint_(std::move(endpoint)), journal_(std::move(journal)), script_(std::move(script)) {
    std::error_code ec;
    std::filesystem::create_directories(endpoint_.parent_path(), ec);
    std::filesystem::remove(endpoint_, ec);
    ShortName name(endpoint_);
    listenFd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&name.address), sizeof name.address) != 0 ||
        ::listen(listenFd_, 8) != 0)
        throw std::runtime_error("usb-printer: cannot listen on " + endpoint_.string() + ": " + std::strerror(errno));
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) throw std::runtime_error("usb-printer: no pipe");
    thread_ = std::thread([this] { serve(); });
}

UsbPrinter::~UsbPrinter() {
    const char stop = 1;
    (void)!::write(stopPipe_[1], &stop, 1);
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
    std::error_code ec;
    std::filesystem::remove(endpoint_, ec);
}

void UsbPrinter::setScript(const UsbPrinterScript& script) {
    std::lock_guard lock(mutex_);
    script_ = script;
}

std::vector<UsbPacket> UsbPrinter::packets() const {
    std::lock_guard lock(mutex_);
    return packets_;
}

std::vector<UsbPacket> UsbPrinter::received(std::string_view kind) const {
    std::vector<UsbPacket> found;
    for (UsbPacket& packet : packets())
        if (packet.fromHost && packet.kind == kind) found.push_back(std::move(packet));
    return found;
}

bool UsbPrinter::waitForPackets(size_t count, int seconds) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        {
            std::lock_guard lock(mutex_);
            if (packets_.size() >= count) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void UsbPrinter::record(UsbPacket packet) {
    std::lock_guard lock(mutex_);
    if (!journal_.empty()) {
        std::ofstream out(journal_, std::ios::app);
        out << (packet.fromHost ? "" : "> ") << packet.kind << ' ' << hexOf(packet.bytes) << '\n';
    }
    packets_.push_back(std::move(packet));
}

void UsbPrinter::reply(int fd, const std::string& bytes) {
    record({false, "reply", bytes});
    (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void UsbPrinter::answer(int fd, std::string_view packet) {
    UsbPrinterScript script;
    {
        std::lock_guard lock(mutex_);
        script = script_;
    }
    std::string kind = "unexpected";
    const bool wasHeader = expectHeader_, wasTrailer = expectTrailer_;
    expectHeader_ = expectTrailer_ = false;
    if (framed(packet, kHeader + kRecord) && hasCommand(packet, kPrefix.size(), 0x80)) kind = "set";
    else if (framed(packet, kHeader) && hasCommand(packet, kPrefix.size(), 0x0F)) kind = "query";
    else if (framed(packet, kHeader) && hasCommand(packet, kPrefix.size(), 0x84)) kind = "print";
    else if (packet == kPrefix) kind = "print-prefix", expectHeader_ = true;
    else if (wasHeader && packet.size() == kHeader && hasCommand(packet, 0, 0x84))
        kind = "print-header", expectTrailer_ = true;
    else if (wasTrailer && packet == kUniversalExit) kind = "print-trailer";
    record({true, kind, std::string(packet)});

    if (kind != "set" && kind != "query") return;  // the print frame is never answered
    if (script.delayMs && !waitFor(script.delayMs)) return;
    if (kind == "set") {
        switch (script.set) {
        case UsbPrinterScript::SetAnswer::Accept: reply(fd, header(0xFF, 0x80, 0x00, 0x01)); break;
        case UsbPrinterScript::SetAnswer::Refuse: reply(fd, header(0xFF, 0x80, 0x01, 0x00)); break;
        case UsbPrinterScript::SetAnswer::WrongEcho: reply(fd, header(0xFF, 0x84, 0x00, 0x01)); break;
        case UsbPrinterScript::SetAnswer::Raw: reply(fd, script.setRaw); break;
        case UsbPrinterScript::SetAnswer::Silence: break;
        }
        return;
    }
    if (script.query == UsbPrinterScript::QueryAnswer::Silence) return;
    reply(fd, header(0xFF, 0x0F, 0x00, 0x00));
    if (script.query == UsbPrinterScript::QueryAnswer::Raw) {
        reply(fd, script.queryRaw);
        return;
    }
    std::string body(kBody, '\0');
    body.replace(0, std::min<size_t>(script.ipv4.size(), 47), script.ipv4.substr(0, 47));
    body.replace(48, std::min<size_t>(script.secondAddress.size(), 191), script.secondAddress.substr(0, 191));
    reply(fd, body);
}

// Waits until the machine clock has moved on by the delay (the host's waits move a virtual clock),
// or the printer is stopped (false).
bool UsbPrinter::waitFor(unsigned delayMs) {
    const ULONGLONG until = GetTickCount64() + delayMs;
    while (GetTickCount64() < until) {
        pollfd stop{stopPipe_[0], POLLIN, 0};
        if (::poll(&stop, 1, 1) > 0) return false;
    }
    return true;
}

void UsbPrinter::serve() {
    for (;;) {
        pollfd waits[2] = {{stopPipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[0].revents) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        {
            std::lock_guard lock(mutex_);
            expectHeader_ = expectTrailer_ = false;
        }
        std::string buffer(65536, '\0');
        for (;;) {
            pollfd link[2] = {{stopPipe_[0], POLLIN, 0}, {fd, POLLIN, 0}};
            if (::poll(link, 2, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (link[0].revents) {
                ::close(fd);
                return;
            }
            const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (got <= 0) break;  // the host closed its handle
            answer(fd, std::string_view(buffer.data(), static_cast<size_t>(got)));
        }
        ::close(fd);
    }
}

}  // namespace standin
