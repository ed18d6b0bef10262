// The SNMP check against Net-SNMP's snmpd on the printer's end of the veth pair, with snmpget on the
// same agent as the oracle, inside the tests' own network namespace.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "NetworkChecks.h"
#include "wifinet/support/network_namespace.h"

using wifinet::runCommand;
using wifinet::SnmpAgent;

namespace {

struct Captured {
    int result;
    std::string out, err;
};
Captured snmpCheck(const char* text) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int result = SnmpGetPrinterMac(text);
    fflush(stdout);
    fflush(stderr);
    Captured c{result, {}, {}};
    c.out = testing::internal::GetCapturedStdout();
    c.err = testing::internal::GetCapturedStderr();
    return c;
}

wifinet::CommandOutput snmpget() {
    return runCommand(std::string("snmpget -v1 -c dorvel ") + wifinet::kPrinterIpv4 + " .1.3.6.1.2.1.2.2.1.6.2");
}

std::string firstLines(const std::string& text, int count) {
    size_t at = 0;
    for (int i = 0; i < count && at != std::string::npos; ++i) {
        at = text.find('\n', at);
        if (at != std::string::npos) ++at;
    }
    return text.substr(0, at);
}

}  // namespace

TEST(SnmpGetPrinterMac, AnAnswerPrintsWhatSnmpgetPrints) {
    WIFINET_REQUIRE_NETWORK();
    struct Row {
        const char* extra;
        const char* mac;
    };
    // The real interfaces table (the printer's end of the pair is interface 2), and an override.
    for (const Row& row : {Row{"", "02 11 22 33 44 55"},
                           Row{"override .1.3.6.1.2.1.2.2.1.6.2 octet_str 0x001122334455\n", "00 11 22 33 44 55"}}) {
        SCOPED_TRACE(row.extra);
        SnmpAgent agent(row.extra);
        ASSERT_TRUE(agent.ready()) << agent.log();
        const auto oracle = snmpget();
        ASSERT_EQ(oracle.status, 0) << oracle.err;
        const Captured got = snmpCheck(wifinet::kPrinterIpv4);
        EXPECT_EQ(got.result, 0) << got.err;
        EXPECT_EQ(got.out, oracle.out);
        EXPECT_NE(got.out.find(row.mac), std::string::npos) << got.out;
    }
}

TEST(SnmpGetPrinterMac, AnErrorStatusGivesTwoWithSnmpgetsReason) {
    WIFINET_REQUIRE_NETWORK();
    SnmpAgent agent("view nomac included .1\nview nomac excluded .1.3.6.1.2.1.2.2.1.6\n", "nomac");
    ASSERT_TRUE(agent.ready()) << agent.log();
    const auto oracle = snmpget();
    const Captured got = snmpCheck(wifinet::kPrinterIpv4);
    EXPECT_EQ(got.result, 2);
    EXPECT_EQ(firstLines(got.err, 2), firstLines(oracle.err, 2));
    EXPECT_EQ(firstLines(got.err, 2), "Error in packet\nReason: (noSuchName) There is no such variable name in this MIB.\n");
    EXPECT_TRUE(got.out.empty());
}

TEST(SnmpGetPrinterMac, AnotherCommunityIsSilenceUntilTheLibrarysSixTries) {
    WIFINET_REQUIRE_NETWORK();
    SnmpAgent agent("", "", "another");
    ASSERT_TRUE(agent.ready()) << agent.log();
    const auto start = std::chrono::steady_clock::now();
    const Captured got = snmpCheck(wifinet::kPrinterIpv4);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.err, "Timeout: No Response from 10.77.0.2.\n");
    // The library's defaults: a second each for the request and its five retries.
    EXPECT_GE(elapsed, std::chrono::milliseconds(5500));
}

TEST(SnmpGetPrinterMac, TextsThatAreNoPrinterAddressSendNothing) {
    WIFINET_REQUIRE_NETWORK();
    // A listener where an empty peer or 0.0.0.0 would land: the local host's port 161.
    const int listener = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(161);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    for (const char* text : {"", "0.0.0.0", "fe80::1", "printer", "1.2.3"}) {
        SCOPED_TRACE(text);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(snmpCheck(text).result, 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        pollfd wait{listener, POLLIN, 0};
        EXPECT_EQ(poll(&wait, 1, 50), 0);
    }
    close(listener);
}
