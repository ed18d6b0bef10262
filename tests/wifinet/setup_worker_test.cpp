// The set-up worker end to end on the simulated printer, with the printer's snmpd and SLP responder
// on the veth pair: what the worker sends, what it asks and what it concludes.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "SetupWorker.h"
#include "platform/control.h"
#include "slp_responder.h"
#include "wifinet/support/network_namespace.h"
#include "wifisetup/support/printer_on_cable.h"

using standin::SlpReply;
using standin::SlpResponder;
using standin::UsbPrinterScript;
using wifinet::SnmpAgent;
using wifitest::PrinterOnCable;

namespace {

class NoPage : public SetupProgressSite {
public:
    void StepProgress() override {}
    void ShowCompletionPage() override {}
    void EnableCancel() override {}
};

const char kNoMacView[] = "view nomac included .1\nview nomac excluded .1.3.6.1.2.1.2.2.1.6\n";

}  // namespace

TEST(SetWifiThread, ReachabilityFromTheRealAgentAndResponder) {
    WIFINET_REQUIRE_NETWORK();
    using Set = UsbPrinterScript::SetAnswer;
    const std::string second = "fe80::11:22ff:fe33:4455";
    struct Row {
        const char* what;
        bool attached;
        Set set;
        std::string ipv4;
        const char* view;  // nullptr: no agent
        std::vector<SlpReply> slp;
        DWORD outcome;
        size_t queries, slpRequests;
        std::vector<DWORD> sleeps;  // after the set frame's 200 ms
        const char* text;
    };
    const std::vector<SlpReply> match{{SlpReply::Kind::AttributeReply, "(x-ip-addr=" + second + "),(other=1)"}};
    const char* ok = "===== SETWIFI_OK_NOT_CONN ===== ";
    const Row rows[] = {
        {"no printer", false, Set::Accept, wifinet::kPrinterIpv4, "", match, 3, 0, 0, {}, "===== SETWIFI_ERR_OFFLINE ===== "},
        {"refused", true, Set::Refuse, wifinet::kPrinterIpv4, "", match, 2, 0, 0, {200}, "===== SETWIFI_ERR_FAIL ===== "},
        {"SNMP answers", true, Set::Accept, wifinet::kPrinterIpv4, "", match, 0, 1, 0, {200, 200}, ok},
        {"noSuchName, SLP match", true, Set::Accept, wifinet::kPrinterIpv4, kNoMacView, match, 0, 2, 1,
         {200, 200, 200, 7000}, ok},
        {"noSuchName, SLP silent", true, Set::Accept, wifinet::kPrinterIpv4, kNoMacView, {}, 1, 2, 1,
         {200, 200, 200, 7000, 1}, ok},
        {"IPv4 0.0.0.0, SLP match", true, Set::Accept, "0.0.0.0", "", match, 0, 2, 1, {200, 200, 200, 7000}, ok},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PrinterOnCable cable;
        UsbPrinterScript script;
        script.set = row.set;
        script.ipv4 = row.ipv4;
        script.secondAddress = second;
        platform::UsbPrinterSetup setup;
        setup.readTimeout = std::nullopt;
        if (row.attached) cable.attach(setup, script);
        const std::string view = row.view && row.view[0] ? "nomac" : "";
        SnmpAgent agent(row.view ? row.view : "", view);
        ASSERT_TRUE(agent.ready()) << agent.log();
        SlpResponder responder("printer", row.slp);
        NoPage page;
        page.keys = &cable.keys;
        GetWizardData().ssid = u"HomeNet";
        GetWizardData().password = u"secret";
        GetWizardData().securityMode = 2;
        platform::clearDebugLog();
        platform::clearSleepLog();

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const DWORD outcome = SetWifiThread(&page);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();

        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(responder.requests().size(), row.slpRequests);
        EXPECT_EQ(platform::sleepLog(), row.sleeps);
        const std::vector<std::string> log = platform::debugLog();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[0], "=====获取的 PORT NAME : ===== ");
        EXPECT_EQ(log[1], row.attached ? "USB001" : "");
        EXPECT_EQ(log.back(), row.text);
        if (row.attached) {
            EXPECT_EQ(cable.printer->received("set").size(), 1u);
            EXPECT_EQ(cable.printer->received("query").size(), row.queries);
        } else {
            EXPECT_EQ(log.size(), 3u);
        }
    }
}
