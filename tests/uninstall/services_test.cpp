// Pausing the still-image service for the removal: its dependents stopped first and started again,
// pending phases against the stop's budget and the start's wait, and each call failing in turn. Times
// are machine time on the virtual clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SystemQueries.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/services.h"

namespace {

using platform::Fault;
using platform::ServicePhase;
using platform::testing::Machine;

DWORD stateOf(const char16_t* name) { return platform::service(name)->state; }

// The service calls that changed something, as "call arguments result".
std::vector<std::string> serviceCalls() {
    std::vector<std::string> calls;
    for (const platform::CallRecord& record : platform::callJournal())
        calls.push_back(record.call + " " + platform::toUtf8(record.arguments) + " " + platform::toUtf8(record.result));
    return calls;
}

void installStillImage(DWORD state, ServicePhase stopping, ServicePhase starting = {}) {
    platform::ServiceSetup setup = *platform::service(u"stisvc");
    setup.state = state;
    setup.stopping = stopping;
    setup.starting = starting;
    platform::installService(setup);
}

TEST(StillImageService, DependentsStopFirstAndStartAgain) {
    Machine machine;
    // A second, indirect dependent: further away ones stop first.
    platform::installService({u"ZDScanEvents", u"Scan events", SERVICE_RUNNING, {u"WiaRpc"}, {}, {}, {}});
    platform::setCallJournal(true);
    uninstall::StopServiceWithDependents(u"stisvc");
    EXPECT_EQ(serviceCalls(), (std::vector<std::string>{"ControlService ZDScanEvents, 1 TRUE",
                                                        "ControlService WiaRpc, 1 TRUE",
                                                        "ControlService stisvc, 1 TRUE"}));
    for (const char16_t* name : {u"stisvc", u"WiaRpc", u"ZDScanEvents"}) EXPECT_EQ(stateOf(name), DWORD{SERVICE_STOPPED});
    EXPECT_EQ(stateOf(u"Spooler"), DWORD{SERVICE_RUNNING});

    platform::clearCallJournal();
    EXPECT_TRUE(uninstall::StartServiceAndWait(u"stisvc"));
    EXPECT_EQ(serviceCalls(), (std::vector<std::string>{"StartServiceW stisvc TRUE", "StartServiceW WiaRpc TRUE",
                                                        "StartServiceW ZDScanEvents TRUE"}));
    for (const char16_t* name : {u"stisvc", u"WiaRpc", u"ZDScanEvents"}) EXPECT_EQ(stateOf(name), DWORD{SERVICE_RUNNING});
    EXPECT_TRUE(platform::sleepLog().empty());
}

TEST(StillImageService, AlreadyStoppedOrAlreadyRunning) {
    Machine machine;
    installStillImage(SERVICE_STOPPED, {});
    platform::installService({u"WiaRpc", u"", SERVICE_STOPPED, {u"stisvc"}, {}, {}, {}});
    platform::setCallJournal(true);
    uninstall::StopServiceWithDependents(u"stisvc");
    EXPECT_TRUE(serviceCalls().empty());
    EXPECT_EQ(platform::callCount("EnumDependentServicesW"), 0);

    installStillImage(SERVICE_RUNNING, {});
    EXPECT_TRUE(uninstall::StartServiceAndWait(u"stisvc"));  // 1056 counts as started
    EXPECT_EQ(serviceCalls(), (std::vector<std::string>{"StartServiceW stisvc FALSE"}));
    EXPECT_EQ(platform::callJournal()[0].error, DWORD{ERROR_SERVICE_ALREADY_RUNNING});
    EXPECT_TRUE(platform::sleepLog().empty());
}

struct StopCase {
    const char* name;
    ServicePhase stopping;
    DWORD startState;
    DWORD endState;
    ULONGLONG elapsed;  // machine time the stop took
};

const StopCase kStopCases[] = {
    {"stops at once", {0, 0, 0}, SERVICE_RUNNING, SERVICE_STOPPED, 0},
    {"stops within the budget", {1500, 500, 0}, SERVICE_RUNNING, SERVICE_STOPPED, 1500},
    {"pending past the budget", {10000, 1000, 0}, SERVICE_RUNNING, SERVICE_STOP_PENDING, 3000},
    // A hint of 49 days sleeps only what is left of the budget.
    {"a hint of 0xFFFFFFFF", {1000, 0xFFFFFFFF, 0}, SERVICE_RUNNING, SERVICE_STOPPED, 3000},
    // A hint of 0 never moves the virtual clock: the rounds end the wait.
    {"a hint of 0", {500, 0, 0}, SERVICE_RUNNING, SERVICE_STOP_PENDING, 0},
    {"another stop under way", {2000, 700, 0}, SERVICE_STOP_PENDING, SERVICE_STOPPED, 2100},
};

TEST(StillImageService, StopPhasesAgainstTheBudget) {
    for (const StopCase& test : kStopCases) {
        SCOPED_TRACE(test.name);
        Machine machine;
        platform::removeService(u"WiaRpc");
        installStillImage(test.startState, test.stopping);
        const ULONGLONG start = GetTickCount64();
        uninstall::StopServiceWithDependents(u"stisvc");
        EXPECT_EQ(GetTickCount64() - start, test.elapsed);
        EXPECT_EQ(stateOf(u"stisvc"), test.endState);
    }
}

TEST(StillImageService, ADependentPendingPastTheBudgetGivesUpTheStop) {
    Machine machine;
    platform::installService({u"WiaRpc", u"", SERVICE_RUNNING, {u"stisvc"}, {60000, 2000, 0}, {}, {}});
    const ULONGLONG start = GetTickCount64();
    uninstall::StopServiceWithDependents(u"stisvc");
    EXPECT_EQ(GetTickCount64() - start, 3000u);
    EXPECT_EQ(stateOf(u"WiaRpc"), DWORD{SERVICE_STOP_PENDING});
    EXPECT_EQ(stateOf(u"stisvc"), DWORD{SERVICE_RUNNING});
}

struct StartCase {
    const char* name;
    ServicePhase starting;
    bool running;
    ULONGLONG elapsed;
};

const StartCase kStartCases[] = {
    // A tenth of the hint, but at least a second and at most ten.
    {"a short start", {2500, 3000, 0}, true, 3000},
    {"a long hint", {100000, 200000, 0}, true, 100000},
    {"longer than two minutes", {150000, 200000, 0}, false, 120000},
    // The check point grows every second: the wait goes on past the hint, up to the start's own end.
    {"a growing check point", {30000, 2000, 1000}, true, 30000},
    {"a check point that stands", {30000, 2000, 0}, false, 3000},
    // A check point that grows for ever: the wait ends after two minutes of machine time.
    {"a start that never ends", {0xFFFFFFFF, 2000, 500}, false, 120000},
};

TEST(StillImageService, StartWaitsWhileTheStartMovesOn) {
    for (const StartCase& test : kStartCases) {
        SCOPED_TRACE(test.name);
        Machine machine;
        installStillImage(SERVICE_STOPPED, {}, test.starting);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(uninstall::StartServiceAndWait(u"stisvc"), test.running);
        EXPECT_EQ(GetTickCount64() - start, test.elapsed);
    }
}

TEST(StillImageService, EachCallFailingEndsTheStopQuietly) {
    for (const char* name : {"OpenSCManagerW", "OpenServiceW", "QueryServiceStatus", "EnumDependentServicesW",
                             "ControlService"}) {
        SCOPED_TRACE(name);
        Machine machine;
        platform::setFault(name, Fault());
        uninstall::StopServiceWithDependents(u"stisvc");
        EXPECT_EQ(platform::callCount(name), 1);
        EXPECT_EQ(stateOf(u"stisvc"), DWORD{SERVICE_RUNNING});
    }
    {
        // Stopping the service itself fails after its dependent stopped: the start brings that back.
        Machine machine;
        platform::setFault("ControlService", Fault().onlyFor("stisvc"));
        uninstall::StopServiceWithDependents(u"stisvc");
        EXPECT_EQ(stateOf(u"WiaRpc"), DWORD{SERVICE_STOPPED});
        EXPECT_EQ(stateOf(u"stisvc"), DWORD{SERVICE_RUNNING});
        EXPECT_TRUE(uninstall::StartServiceAndWait(u"stisvc"));
        EXPECT_EQ(stateOf(u"WiaRpc"), DWORD{SERVICE_RUNNING});
    }
}

TEST(StillImageService, EachCallFailingFailsTheStart) {
    for (const char* name : {"OpenSCManagerW", "OpenServiceW", "StartServiceW", "QueryServiceStatus"}) {
        SCOPED_TRACE(name);
        Machine machine;
        installStillImage(SERVICE_STOPPED, {});
        platform::setFault(name, Fault());
        EXPECT_FALSE(uninstall::StartServiceAndWait(u"stisvc"));
    }
}

}  // namespace
