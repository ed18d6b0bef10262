// The network of the network tests: the namespace the test program runs in (see run_in_namespace.sh),
// with lo up and a veth pair whose "printer" end (index 2, 10.77.0.2, 02:11:22:33:44:55) stands for
// the printer and whose "pc" end (index 3, 10.77.0.1) for the PC; and the printer's SNMP agent.
#pragma once

#include <filesystem>
#include <string>

namespace wifinet {

inline const char kPrinterIpv4[] = "10.77.0.2";

// Makes the network once per program. Empty when it is ready, else why the tests cannot run (they
// skip with it): no namespace of our own, or a command that failed.
const std::string& networkUnavailable();
// Skips the calling test when the network is not there.
#define WIFINET_REQUIRE_NETWORK()                                                 \
    do {                                                                          \
        if (!::wifinet::networkUnavailable().empty())                             \
            GTEST_SKIP() << ::wifinet::networkUnavailable();                      \
    } while (false)

// A temporary folder removed with the object.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    std::filesystem::path path;
};

// Net-SNMP's snmpd for the printer, on 10.77.0.2 port 161, read-only for the community (limited to the
// view, if given) with this much more configuration (views, an override). Stopped with the object.
class SnmpAgent {
public:
    explicit SnmpAgent(const std::string& extraConfiguration = {}, const std::string& view = {},
                       const std::string& community = "dorvel");
    ~SnmpAgent();
    SnmpAgent(const SnmpAgent&) = delete;
    SnmpAgent& operator=(const SnmpAgent&) = delete;
    // Whether it listens (it is given a few seconds to start).
    bool ready() const { return ready_; }
    std::string log() const;

private:
    TempFolder folder_;
    int pid_ = -1;
    bool ready_ = false;
};

// The descriptors this process holds open (to see that a check closed its socket).
size_t openDescriptors();

struct CommandOutput {
    int status = -1;
    std::string out, err;
};
// Runs a shell command with the SNMP environment of the tests and takes what it writes.
CommandOutput runCommand(const std::string& command);

}  // namespace wifinet
