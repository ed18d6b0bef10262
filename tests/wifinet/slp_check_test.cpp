// The SLP check against the responder on the printer's end of the veth pair, inside the tests' own
// network namespace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NetworkChecks.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "slp_responder.h"
#include "wifinet/support/network_namespace.h"

using standin::SlpReply;
using standin::SlpResponder;

namespace {

SlpReply attributes(std::string text) { return {SlpReply::Kind::AttributeReply, std::move(text)}; }
SlpReply raw(std::string bytes) { return {SlpReply::Kind::Raw, std::move(bytes)}; }

// The request typed from its layout.
std::string typedRequest() {
    return std::string("\x02\x06\x00\x00\x38\x20\x00\x00\x00\x00\x31\xCC\x00\x02"
                       "en"
                       "\x00\x00\x00\x17"
                       "service:printer:raw-tcp"
                       "\x00\x07"
                       "DEFAULT"
                       "\x00\x00\x00\x00",
                       56);
}

}  // namespace

TEST(SlpFindPrinter, OneRequestAfterSevenSecondsAndAnExactValueMatches) {
    WIFINET_REQUIRE_NETWORK();
    const std::string wanted = "fe80::211:22ff:fe33:4455";
    const std::string v32(32, 'a');
    struct Row {
        const char* what;
        std::vector<SlpReply> script;
        int result;
        std::vector<DWORD> sleeps;
    };
    const std::vector<DWORD> timedOut{7000, 1};
    const Row rows[] = {
        {"match", {attributes("(x-ip-addr=" + wanted + "),(other=1)")}, 0, {7000}},
        {"wrong value", {attributes("(x-ip-addr=fe80::9),(other=1)")}, 1, timedOut},
        {"value of 32 characters", {attributes("(x-ip-addr=" + v32 + ")")}, 1, timedOut},
        {"wrong then right",
         {attributes("(x-ip-addr=fe80::9)"), attributes("(x-ip-addr=" + wanted + "),(other=1)")}, 0, {7000}},
        {"empty value", {attributes("(x-ip-addr=)")}, 1, timedOut},
        {"1024 bytes without NUL", {raw(std::string(1024, 'x'))}, 1, timedOut},
        {"1 byte", {raw("(")}, 1, timedOut},
        {"silence", {}, 1, timedOut},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::testing::Machine machine;
        SlpResponder responder("printer", row.script);
        platform::clearSleepLog();
        const size_t descriptors = wifinet::openDescriptors();
        EXPECT_EQ(SlpFindPrinter(wanted.c_str()), row.result);
        EXPECT_EQ(wifinet::openDescriptors(), descriptors);  // the socket is closed on every way out
        EXPECT_EQ(platform::sleepLog(), row.sleeps) << ::testing::PrintToString(platform::debugLog());
        const auto requests = responder.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0], typedRequest());
    }
}

TEST(SlpFindPrinter, AnEmptyTextAsksNothing) {
    WIFINET_REQUIRE_NETWORK();
    platform::testing::Machine machine;
    SlpResponder responder("printer", {attributes("(x-ip-addr=)")});
    platform::clearSleepLog();
    EXPECT_EQ(SlpFindPrinter(""), 1);
    EXPECT_TRUE(platform::sleepLog().empty());
    EXPECT_TRUE(responder.requests().empty());
}

TEST(SlpFindPrinter, FailingSocketCallsGiveNoAnswer) {
    WIFINET_REQUIRE_NETWORK();
    for (const char* fault : {"getaddrinfo", "socket", "setsockopt", "recvfrom"}) {
        SCOPED_TRACE(fault);
        platform::testing::Machine machine;
        SlpResponder responder("printer", {attributes("(x-ip-addr=fe80::1)")});
        platform::setFault(fault, {});
        const size_t descriptors = wifinet::openDescriptors();
        EXPECT_EQ(SlpFindPrinter("fe80::1"), 1);
        EXPECT_EQ(wifinet::openDescriptors(), descriptors);
        platform::clearFaults();
    }
}
