// The set-up worker, the watchdog and the reachability checks' order.
#include "SetupWorker.h"

#include <mutex>

#include "NetworkChecks.h"
#include "printer_frames.h"
#include "usb_port.h"
#include "win/files.h"
#include "win/kernel.h"

namespace {

// The watchdog's budget: 120 waits of one second, one bar step for each that times out.
constexpr DWORD kWatchdogPeriods = 120;
constexpr DWORD kWatchdogPeriodMs = 1000;

std::mutex probesMutex;
ReachabilityProbes probes{SnmpGetPrinterMac, SlpFindPrinter};

ReachabilityProbes currentProbes() {
    std::lock_guard<std::mutex> lock(probesMutex);
    return probes;
}

}  // namespace

HANDLE SetupProgressSite::StartWorker(LPTHREAD_START_ROUTINE routine, LPVOID parameter) {
    return CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
}

DWORD SetupProgressSite::WaitForWorker(HANDLE worker, DWORD milliseconds) {
    return WaitForSingleObject(worker, milliseconds);
}

DWORD SetupProgressSite::WorkerExitCode(HANDLE worker) {
    DWORD code = kSetupFailed;
    if (!GetExitCodeThread(worker, &code)) return kSetupFailed;
    return code;
}

void SetupProgressSite::ReleaseWorker(HANDLE worker) { CloseHandle(worker); }

DWORD WINAPI ProgressWatchdogThread(LPVOID parameter) {
    auto* site = static_cast<SetupProgressSite*>(parameter);
    // Any early end reads as a failure.
    site->data->result = kSetupFailed;

    DWORD outcome = kSetupFailed;
    HANDLE worker = site->StartWorker(SetWifiThread, site);
    if (worker == nullptr) {
        OutputDebugStringW(u"set-up worker could not be started");
    } else {
        bool ended = false;
        for (DWORD timeouts = 0; timeouts < kWatchdogPeriods;) {
            DWORD wait = site->WaitForWorker(worker, kWatchdogPeriodMs);
            if (wait == WAIT_TIMEOUT) {
                site->StepProgress();
                ++timeouts;
                continue;
            }
            ended = wait == WAIT_OBJECT_0;
            if (!ended) OutputDebugStringW(u"set-up worker could not be waited for");
            break;
        }
        // A worker that did not end in time runs on with its own copies; its outcome is ignored.
        if (ended) outcome = site->WorkerExitCode(worker);
        site->ReleaseWorker(worker);
    }

    site->data->result = static_cast<int>(outcome);
    site->ShowCompletionPage();
    site->EnableCancel();
    return 0;
}

DWORD WINAPI SetWifiThread(LPVOID parameter) {
    // Everything the worker needs is copied first: a worker the watchdog abandons must not reach into
    // the page or the globals afterwards.
    auto* site = static_cast<SetupProgressSite*>(parameter);
    const std::u16string ssid = site->data->ssid;
    const int securityMode = site->data->securityMode;
    const std::u16string password = site->data->password;
    const IniTable keys = *site->keys;

    const std::u16string port = FindPrinterUsbPort(keys);
    OutputDebugStringW(u"=====获取的 PORT NAME : ===== ");
    OutputDebugStringW(port.c_str());

    DWORD outcome;
    const char16_t* text;
    if (port.empty()) {
        outcome = kSetupOffline;
        text = u"===== SETWIFI_ERR_OFFLINE ===== ";
    } else if (SendWifiSettings(ssid, password, port, securityMode)) {
        outcome = CheckPrinterReachable(port) ? kSetupReachable : kSetupNotReachable;
        text = u"===== SETWIFI_OK_NOT_CONN ===== ";
    } else {
        outcome = kSetupFailed;
        text = u"===== SETWIFI_ERR_FAIL ===== ";
    }
    OutputDebugStringW(text);
    return outcome;
}

ReachabilityProbes SetReachabilityProbes(const ReachabilityProbes& replacement) {
    std::lock_guard<std::mutex> lock(probesMutex);
    ReachabilityProbes previous = probes;
    probes = replacement;
    return previous;
}

bool CheckPrinterReachable(const std::u16string& portName) {
    const ReachabilityProbes checks = currentProbes();
    const std::string ipv4 = QueryPrinterNetworkInfo(portName, 0);
    if (checks.snmp != nullptr && checks.snmp(ipv4.c_str()) == 0) return true;

    // The printer's second address, bounded as the SLP check's buffer is.
    char second[256] = {};
    const std::string secondText = QueryPrinterNetworkInfo(portName, 1);
    secondText.copy(second, sizeof second - 1);
    return checks.slp != nullptr && checks.slp(second) == 0;
}
