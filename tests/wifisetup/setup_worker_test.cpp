// The set-up worker on the simulated printer with scripted network checks, and the watchdog with
// scripted waits and with a real worker that outlasts it.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "SetupWorker.h"
#include "wifisetup/support/printer_on_cable.h"
#include "win/files.h"
#include "win/kernel.h"

using standin::UsbPrinterScript;
using wifitest::PrinterOnCable;

namespace {

// What the watchdog did to the page, in order.
class RecordingSite : public SetupProgressSite {
public:
    void StepProgress() override { note("step"); }
    void ShowCompletionPage() override { note("page 4 (result " + std::to_string(data->result) + ")"); }
    void EnableCancel() override { note("cancel"); }
    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    int steps() {
        int n = 0;
        for (const auto& call : calls()) n += call == "step";
        return n;
    }

protected:
    void note(std::string call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
    }

private:
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Checks that answer as told and note the texts they were given.
struct ScriptedProbes {
    static inline int snmpAnswer = 1, slpAnswer = 1;
    static inline std::vector<std::string> snmpAsked, slpAsked;
    static int snmp(const char* text) {
        snmpAsked.push_back(text);
        return snmpAnswer;
    }
    static int slp(const char* text) {
        slpAsked.push_back(text);
        return slpAnswer;
    }
    ScriptedProbes(int snmpResult, int slpResult) {
        snmpAnswer = snmpResult;
        slpAnswer = slpResult;
        snmpAsked.clear();
        slpAsked.clear();
        previous = SetReachabilityProbes({snmp, slp});
    }
    ~ScriptedProbes() { SetReachabilityProbes(previous); }
    ReachabilityProbes previous;
};

std::vector<std::string> portLines(const std::string& port) {
    return {"=====获取的 PORT NAME : ===== ", port};
}

}  // namespace

TEST(SetWifiThread, OutcomeChecksAndDebugTextsFollowThePrintersAnswers) {
    using Set = UsbPrinterScript::SetAnswer;
    struct Row {
        const char* what;
        bool attached;
        Set set;
        int snmp, slp;
        DWORD outcome;
        size_t queries;
        std::vector<std::string> snmpAsked, slpAsked;
        const char* text;
    };
    const Row rows[] = {
        {"no printer", false, Set::Accept, 0, 0, 3, 0, {}, {}, "===== SETWIFI_ERR_OFFLINE ===== "},
        {"refused", true, Set::Refuse, 0, 0, 2, 0, {}, {}, "===== SETWIFI_ERR_FAIL ===== "},
        {"silent set", true, Set::Silence, 0, 0, 2, 0, {}, {}, "===== SETWIFI_ERR_FAIL ===== "},
        {"SNMP answers", true, Set::Accept, 0, 1, 0, 1, {"192.0.2.10"}, {}, "===== SETWIFI_OK_NOT_CONN ===== "},
        {"SNMP error, SLP match", true, Set::Accept, 2, 0, 0, 2, {"192.0.2.10"}, {"fe80::1"},
         "===== SETWIFI_OK_NOT_CONN ===== "},
        {"neither answers", true, Set::Accept, 1, 1, 1, 2, {"192.0.2.10"}, {"fe80::1"},
         "===== SETWIFI_OK_NOT_CONN ===== "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PrinterOnCable cable;
        UsbPrinterScript script;
        script.set = row.set;
        script.secondAddress = "fe80::1";
        platform::UsbPrinterSetup setup;
        setup.readTimeout = row.set == Set::Silence ? std::optional<DWORD>(5000) : std::nullopt;
        if (row.attached) cable.attach(setup, script);
        ScriptedProbes probes(row.snmp, row.slp);
        RecordingSite site;
        site.keys = &cable.keys;
        GetWizardData().ssid = u"HomeNet";
        GetWizardData().password = u"secret";
        GetWizardData().securityMode = 2;
        GetWizardData().result = 7;
        platform::clearDebugLog();

        EXPECT_EQ(SetWifiThread(&site), row.outcome);

        EXPECT_EQ(GetWizardData().result, 7);  // the watchdog's to write
        std::vector<std::string> lines = portLines(row.attached ? "USB001" : "");
        lines.push_back(row.text);
        EXPECT_EQ(platform::debugLog(), lines);
        EXPECT_EQ(probes.snmpAsked, row.snmpAsked);
        EXPECT_EQ(probes.slpAsked, row.slpAsked);
        if (row.attached) {
            EXPECT_EQ(cable.printer->received("set").size(), 1u);
            EXPECT_EQ(cable.printer->received("query").size(), row.queries);
        }
        EXPECT_EQ(platform::liveDeviceFiles(), 0u);
    }
}

TEST(CheckPrinterReachable, SecondAddressIsCutToTheSlpBuffer) {
    PrinterOnCable cable;
    UsbPrinterScript script;
    script.query = UsbPrinterScript::QueryAnswer::Raw;
    // The body's second address field (offset 48) filled to its end without a NUL.
    script.queryRaw = std::string(48, '\0') + std::string(192, 'a');
    platform::UsbPrinterSetup setup;
    setup.readTimeout = std::nullopt;
    cable.attach(setup, script);
    ScriptedProbes probes(1, 0);
    EXPECT_TRUE(CheckPrinterReachable(u"USB001"));
    ASSERT_EQ(probes.slpAsked.size(), 1u);
    EXPECT_EQ(probes.slpAsked[0], std::string(192, 'a'));
    EXPECT_EQ(probes.snmpAsked, std::vector<std::string>{""});
}

namespace {

// A watchdog whose waits answer from a script: `timeouts` time-outs, then `last`.
class ScriptedWaitSite : public RecordingSite {
public:
    ScriptedWaitSite(int timeouts, DWORD last, DWORD exitCode, bool startFails = false)
        : timeouts_(timeouts), last_(last), exitCode_(exitCode), startFails_(startFails) {}
    HANDLE StartWorker(LPTHREAD_START_ROUTINE, LPVOID) override {
        note("start");
        return startFails_ ? nullptr : reinterpret_cast<HANDLE>(0x1234);
    }
    DWORD WaitForWorker(HANDLE, DWORD milliseconds) override {
        EXPECT_EQ(milliseconds, 1000u);
        EXPECT_EQ(data->result, 2);
        ++waits;
        if (timeouts_-- > 0) return WAIT_TIMEOUT;
        return last_;
    }
    DWORD WorkerExitCode(HANDLE) override { return exitCode_; }
    void ReleaseWorker(HANDLE) override { note("release"); }
    int waits = 0;

private:
    int timeouts_;
    DWORD last_, exitCode_;
    bool startFails_;
};

}  // namespace

TEST(ProgressWatchdogThread, StepsPerTimeOutThenResultPageAndCancelInOrder) {
    struct Row {
        const char* what;
        int timeouts;
        DWORD last, exitCode;
        bool startFails;
        int steps, waits;
        int result;
    };
    const Row rows[] = {
        {"ends at once", 0, WAIT_OBJECT_0, 0, false, 0, 1, 0},
        {"ends after 7 time-outs", 7, WAIT_OBJECT_0, 3, false, 7, 8, 3},
        {"ends in the last period", 119, WAIT_OBJECT_0, 1, false, 119, 120, 1},
        {"wait fails after 3", 3, WAIT_FAILED, 0, false, 3, 4, 2},
        {"120 time-outs", 1000, WAIT_OBJECT_0, 0, false, 120, 120, 2},
        {"no worker", 0, WAIT_OBJECT_0, 0, true, 0, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WizardData data;
        data.result = 9;
        ScriptedWaitSite site(row.timeouts, row.last, row.exitCode, row.startFails);
        site.data = &data;
        EXPECT_EQ(ProgressWatchdogThread(&site), 0u);
        EXPECT_EQ(site.waits, row.waits);
        EXPECT_EQ(site.steps(), row.steps);
        std::vector<std::string> expected{"start"};
        expected.insert(expected.end(), row.steps, "step");
        if (!row.startFails) expected.push_back("release");
        expected.push_back("page 4 (result " + std::to_string(row.result) + ")");
        expected.push_back("cancel");
        EXPECT_EQ(site.calls(), expected);
        EXPECT_EQ(data.result, row.result);
    }
}

TEST(ProgressWatchdogThread, RealWorkerThatCannotStartOrBeWaitedForGivesFailureAtOnce) {
    for (const char* fault : {"CreateThread", "WaitForSingleObject"}) {
        SCOPED_TRACE(fault);
        PrinterOnCable cable;
        platform::setFault(fault, {});
        RecordingSite site;
        site.keys = &cable.keys;
        EXPECT_EQ(ProgressWatchdogThread(&site), 0u);
        platform::clearFaults();
        EXPECT_EQ(site.calls(), (std::vector<std::string>{"page 4 (result 2)", "cancel"}));
        EXPECT_EQ(GetWizardData().result, 2);
    }
}

namespace {

// A real worker whose handle the test keeps, so it can wait for an abandoned one.
class KeptWorkerSite : public RecordingSite {
public:
    HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, LPVOID parameter) override {
        worker = SetupProgressSite::StartWorker(routine, parameter);
        return worker;
    }
    void ReleaseWorker(HANDLE) override {}
    HANDLE worker = nullptr;
};

}  // namespace

TEST(ProgressWatchdogThread, AbandonsAWorkerHeldInADeviceReadPastTwoMinutes) {
    PrinterOnCable cable;
    UsbPrinterScript script;
    script.delayMs = 130000;  // the set reply comes after 130 s of machine time
    platform::UsbPrinterSetup setup;
    setup.readTimeout = std::nullopt;
    cable.attach(setup, script);
    ScriptedProbes probes(0, 1);
    GetWizardData().result = 0;
    KeptWorkerSite site;
    site.keys = &cable.keys;
    const ULONGLONG start = GetTickCount64();

    EXPECT_EQ(ProgressWatchdogThread(&site), 0u);

    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 120000u);
    EXPECT_LT(elapsed, 130000u);
    EXPECT_EQ(site.steps(), 120);  // one a second: 2 each, so a 0..100 bar starts over twice
    EXPECT_EQ(GetWizardData().result, 2);
    const auto calls = site.calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "page 4 (result 2)");
    EXPECT_EQ(calls.back(), "cancel");

    // The abandoned worker ends by itself once the printer has answered the set and the query frame
    // (130 s each); its outcome changes nothing.
    ASSERT_NE(site.worker, nullptr);
    EXPECT_EQ(WaitForSingleObject(site.worker, 300000), WAIT_OBJECT_0);
    DWORD code = 99;
    EXPECT_TRUE(GetExitCodeThread(site.worker, &code));
    EXPECT_EQ(code, 0u);
    CloseHandle(site.worker);
    EXPECT_EQ(GetWizardData().result, 2);
    EXPECT_EQ(platform::liveDeviceFiles(), 0u);
}
