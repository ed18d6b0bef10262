// The network tests' namespace, veth pair and SNMP agent.
#include "network_namespace.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace wifinet {

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool run(const std::string& command, std::string& why) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (status == 0) return true;
    why = "'" + command + "' failed (status " + std::to_string(status) + ")";
    return false;
}

// Only a namespace that this program made has nothing but lo (and our own pair, once made): anything
// else means the program runs on a real network, where nothing may listen or multicast.
bool ownNamespace(std::string& why) {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) {
        why = "the interfaces cannot be listed";
        return false;
    }
    bool own = true;
    for (const struct if_nameindex* n = names; n->if_index != 0; ++n) {
        const std::string name = n->if_name;
        if (name != "lo" && name != "printer" && name != "pc") {
            why = "not in a network namespace of the tests' own (interface " + name + " present)";
            own = false;
            break;
        }
    }
    if_freenameindex(names);
    return own;
}

// The SNMP settings both the program and the snmpget oracle read: no host configuration, no MIBs
// beyond the library's own, persistent files in a folder of the tests.
void setSnmpEnvironment() {
    static TempFolder folder;
    fs::create_directories(folder.path / "conf");
    // Made beforehand, or the first snmpget says it made it on its error stream.
    fs::create_directories(folder.path / "persistent" / "cert_indexes");
    setenv("SNMPCONFPATH", (folder.path / "conf").c_str(), 1);
    setenv("SNMP_PERSISTENT_DIR", (folder.path / "persistent").c_str(), 1);
    setenv("MIBS", "", 1);
}

// Whether the interface has an IPv6 address without the tentative flag (0x40) in /proc/net/if_inet6
// (address, index, prefix length, scope, flags, name).
bool usableAddress(const std::string& interfaceName) {
    std::istringstream lines(readFile("/proc/net/if_inet6"));
    std::string address, index, prefix, scope, flags, name;
    while (lines >> address >> index >> prefix >> scope >> flags >> name)
        if (name == interfaceName && (std::stoul(flags, nullptr, 16) & 0x40) == 0) return true;
    return false;
}

// Whether a datagram to the SLP group's discard port leaves (the first sends after the pair comes up
// may be refused with EADDRNOTAVAIL).
bool multicastSends() {
    const int fd = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 group{};
    group.sin6_family = AF_INET6;
    group.sin6_port = htons(9);
    inet_pton(AF_INET6, "ff02::116", &group.sin6_addr);
    const bool sent = sendto(fd, "", 0, 0, reinterpret_cast<sockaddr*>(&group), sizeof group) == 0;
    close(fd);
    return sent;
}

std::string makeNetwork() {
    if (const char* reason = std::getenv("MFP_NETNS_UNAVAILABLE")) return reason;
    std::string why;
    if (!ownNamespace(why)) return why;
    if (if_nametoindex("printer") == 0) {
        const char* commands[] = {
            "ip link set lo up",
            "echo 0 > /proc/sys/net/ipv6/conf/all/accept_dad",
            "echo 0 > /proc/sys/net/ipv6/conf/default/accept_dad",
            // Index 2 explicitly: otherwise the peer made with it gets the lower one.
            "ip link add printer index 2 type veth peer name pc index 3",
            "ip link set printer address 02:11:22:33:44:55",
            "ip addr add 10.77.0.2/24 dev printer",
            "ip addr add 10.77.0.1/24 dev pc",
            "ip link set printer up",
            "ip link set pc up",
        };
        for (const char* command : commands)
            if (!run(command, why)) return why;
    }
    // Both ends need a link-local address that is no longer tentative, and the pair must carry
    // multicast, before the checks can send.
    for (int i = 0; i < 500 && !(usableAddress("printer") && usableAddress("pc") && multicastSends()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    setSnmpEnvironment();
    return {};
}

}  // namespace

const std::string& networkUnavailable() {
    static const std::string reason = makeNetwork();
    return reason;
}

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "wifinet-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

SnmpAgent::SnmpAgent(const std::string& extraConfiguration, const std::string& view, const std::string& community) {
    const fs::path conf = folder_.path / "snmpd.conf";
    std::ofstream(conf) << "agentaddress udp:" << kPrinterIpv4 << ":161\n"
                        << "rocommunity " << community << " default" << (view.empty() ? "" : " -V " + view) << "\n"
                        << extraConfiguration;
    fs::create_directories(folder_.path / "persistent");
    const std::string persistent = "SNMP_PERSISTENT_DIR=" + (folder_.path / "persistent").string();
    std::vector<std::string> environment{persistent};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("SNMP_PERSISTENT_DIR=", 0) != 0) environment.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args{"snmpd", "-f", "-C", "-c", conf.string(), "-Lf", (folder_.path / "snmpd.log").string(),
                                  "-p", (folder_.path / "snmpd.pid").string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "snmpd", nullptr, nullptr, argv.data(), envp.data()) != 0) return;
    pid_ = pid;
    // Listening once its socket on 10.77.0.2:161 shows in the table ("02004D0A:00A1").
    for (int i = 0; i < 500 && !ready_; ++i) {
        ready_ = readFile("/proc/net/udp").find("02004D0A:00A1") != std::string::npos;
        if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

SnmpAgent::~SnmpAgent() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
}

std::string SnmpAgent::log() const { return readFile(folder_.path / "snmpd.log"); }

size_t openDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

CommandOutput runCommand(const std::string& command) {
    TempFolder folder;
    const fs::path out = folder.path / "out", err = folder.path / "err";
    CommandOutput result;
    result.status = std::system((command + " >" + out.string() + " 2>" + err.string()).c_str());
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

}  // namespace wifinet
