// The set-up worker, which hands the chosen network to the printer over USB and then checks from the
// PC whether the printer answers on the network, and the watchdog that drives the progress bar while
// the worker runs and gives up on it after two minutes.
#pragma once

#include <string>

#include "startup.h"
#include "win/base.h"
#include "win/kernel.h"

// How a set-up ended, as the wizard record's `result` holds it.
enum SetupOutcome : DWORD {
    kSetupReachable = 0,     // accepted, and the printer answers SNMP or SLP
    kSetupNotReachable = 1,  // accepted, but the printer does not answer from the PC
    kSetupFailed = 2,        // refused or no answer to the set frame, or the watchdog gave up
    kSetupOffline = 3,       // no supported printer on a USB port
};

// What the watchdog and the worker need of the progress page, so that both run without the wizard.
// The page outlives the watchdog; a worker it abandons takes its copies at its start and touches the
// page no more.
class SetupProgressSite {
public:
    virtual ~SetupProgressSite() = default;
    // One step of the progress bar (PBM_STEPIT).
    virtual void StepProgress() = 0;
    // Switches the wizard to the completion page (page 4).
    virtual void ShowCompletionPage() = 0;
    // Enables the Cancel button again.
    virtual void EnableCancel() = 0;

    // The worker thread: started with CreateThread, waited for with WaitForSingleObject, its exit
    // code read with GetExitCodeThread. Tests put their own waits here.
    virtual HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, LPVOID parameter);
    virtual DWORD WaitForWorker(HANDLE worker, DWORD milliseconds);
    virtual DWORD WorkerExitCode(HANDLE worker);
    virtual void ReleaseWorker(HANDLE worker);

    // The record the watchdog writes `result` to and the worker takes its network from, and the
    // supported printers' keys.
    WizardData* data = &GetWizardData();
    const IniTable* keys = &GetIniTable();
};

// Thread routine (argument: the site). Sets `result` to 2, starts SetWifiThread with the same site,
// steps the bar at each of up to 120 one-second time-outs, then writes the outcome (the worker's exit
// code, or 2 when it could not be started, waited for, or did not end in time), switches to page 4
// and enables Cancel, in that order. Returns 0.
DWORD WINAPI ProgressWatchdogThread(LPVOID site);

// Thread routine (argument: the site). Sends the settings to the first supported printer's USB port
// and checks whether the printer answers; the exit code is the outcome. Never writes `result`.
DWORD WINAPI SetWifiThread(LPVOID site);

// The two network checks CheckPrinterReachable runs, each given an address text and answering 0 when
// the printer answered: SnmpGetPrinterMac and SlpFindPrinter unless a test replaces them. A null
// check counts as no answer.
struct ReachabilityProbes {
    int (*snmp)(const char* ipv4) = nullptr;
    int (*slp)(const char* address) = nullptr;
};
// Replaces the checks (tests); the previous ones are returned.
ReachabilityProbes SetReachabilityProbes(const ReachabilityProbes& probes);

// Asks the printer on the port for its IPv4 address and tries SNMP on it; when that fails, asks for
// the second address and tries SLP. True when either check answered.
bool CheckPrinterReachable(const std::u16string& portName);
