// wifi-setup: sets up the wireless connection of the simulated printer on a simulated machine, as a
// person with the printer on the USB cable would with the set-up wizard. It installs the wizard there
// (the program, "wifi.ini" naming the simulated printer's hardware id, the English language library),
// attaches the simulated printer, gives the machine a radio that sees a few networks and runs the
// wizard in this process, scripted: the network picked (or typed when the radio does not see it), the
// key typed, Next twice. It waits for the outcome page, prints the outcome and writes a picture of
// each page.
//
//   wifi-setup [--machine FOLDER] [--png FOLDER] [--network SSID] [--key KEY]
//
// It runs itself in a network namespace of its own ("unshare -n", else "unshare -rn"), where the
// printer's end of a veth pair carries its SNMP agent (snmpd) and SLP responder, so the wizard's
// checks reach them and nothing else. Without a namespace it leaves the network side out: the
// printer then reports no address, the wizard sends nothing on the network, and the outcome says the
// printer cannot be reached from this computer.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CaspenApp.h"
#include "MyWizard.h"
#include "NetworkListPage.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "machine_files.h"
#include "platform/radio.h"
#include "slp_responder.h"
#include "startup.h"
#include "usb_printer.h"
#include "wifinet/support/network_namespace.h"
#include "win/files.h"
#include "win/user.h"

namespace fs = std::filesystem;
namespace dlg = platform::dialogs;

namespace {

const char16_t kFolder[] = u"C:\\Program Files\\Qelmar\\";
const char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\Caspen.exe";
// The printer's address on the veth pair's link, from its MAC address 02:11:22:33:44:55.
const char kPrinterLinkLocal[] = "fe80::11:22ff:fe33:4455";
const char kNamespaceMark[] = "MFP_WIFI_SETUP_NAMESPACE";
// Machine time an unanswered box waits before the machine ends it (nobody can click it here).
const DWORD kDismissAfterMs = 10000;
const UINT kWizardTemplate = 140;
constexpr int kList = 1000, kManual = 1026, kManualName = 1002, kSecurity = 1009, kKey = 1003, kText = 1010;

int fail(const std::string& message) {
    std::fprintf(stderr, "wifi-setup: %s\n", message.c_str());
    return 1;
}

// Runs this program again inside a network namespace of its own, when one can be made; returns only
// when it cannot (then with the reason).
std::string enterNamespace(char** argv) {
    if (std::getenv(kNamespaceMark)) return {};
    setenv(kNamespaceMark, "1", 1);
    for (const char* flag : {"-n", "-rn"}) {
        const std::string probe = std::string("unshare ") + flag + " true >/dev/null 2>&1";
        if (std::system(probe.c_str()) != 0) continue;
        std::vector<char*> args{const_cast<char*>("unshare"), const_cast<char*>(flag)};
        const std::string self = fs::canonical("/proc/self/exe").string();
        args.push_back(const_cast<char*>(self.c_str()));
        for (char** a = argv + 1; *a; ++a) args.push_back(*a);
        args.push_back(nullptr);
        execvp("unshare", args.data());
    }
    const char* reason = "no network namespace can be made (unshare -n and unshare -rn were refused)";
    setenv("MFP_NETNS_UNAVAILABLE", reason, 1);
    return reason;
}

// What the installer leaves on the machine for the wizard.
bool install() {
    platform::linkProgram(kProgram, CASPEN_PROGRAM);
    platform::setProgramPath(kProgram);
    platform::setCommandLine(u"\"" + std::u16string(kProgram) + u"\" \"Printer Wi-Fi\" English");
    if (!tools::copyOnto(std::u16string(kFolder) + u"Velrinenus.dll", fs::path(CASPEN_LIBRARY_DIR) / "Velrinenus.dll"))
        return false;
    if (!tools::writeOnto(std::u16string(kFolder) + u"wifi.ini", "USB\\VID_1A2B&PID_3C4D Model\r\n")) return false;
    platform::MachineSettings machine = platform::machineSettings();
    if (!machine.dismissDialogsAfter) machine.dismissDialogsAfter = kDismissAfterMs;
    platform::setMachineSettings(machine);
    platform::keepFromDismissal({kWizardTemplate});
    return true;
}

platform::radio::Radio radio() {
    platform::radio::Radio radio;
    platform::radio::Adapter adapter;
    adapter.guid = u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
    adapter.description = u"Wireless adapter";
    for (auto [ssid, rssi, privacy] : {std::tuple{"HomeNet", -45L, 1UL}, {"Cafe", -70L, 0UL}, {"Office", -60L, 1UL}}) {
        platform::radio::Network network;
        network.ssid = ssid;
        network.rssi = rssi;
        network.privacy = privacy;
        adapter.networks.push_back(network);
    }
    radio.adapters.push_back(adapter);
    return radio;
}

bool waitUntil(const std::function<bool()>& done, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::u16string listItemText(HWND list, int item) {
    WCHAR text[64] = {};
    LVITEMW lv{};
    lv.iSubItem = 0;
    lv.pszText = text;
    lv.cchTextMax = 64;
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lv));
    return text;
}

struct Run {
    std::string network, key;
    std::optional<fs::path> pictures;
    std::vector<std::string> written;
    std::string problem;
    int outcome = -1;
    std::u16string heading, text;

    void picture(HWND wizard, const std::string& name) {
        if (!pictures) return;
        const auto shot = dlg::windowPicture(wizard);
        const fs::path path = *pictures / name;
        if (shot && dlg::writePng(*shot, path.string())) written.push_back(path.string());
        else problem = "cannot write " + path.string();
    }

    // What a person does with the wizard, from the network list to Finish.
    void script(HWND d, CMyWizard& wizard) {
        HWND listPage = wizard.PageOf(1)->GetSafeHwnd();
        HWND list = GetDlgItem(listPage, kList);
        waitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0; }, 10);
        const std::u16string wanted = platform::fromUtf8(network);
        int found = -1;
        for (int i = 0, n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); i < n && found < 0; ++i)
            if (listItemText(list, i) == wanted) found = i;
        if (found >= 0) {
            dlg::clickListItem(listPage, kList, found);
        } else {
            dlg::clickButton(listPage, kManual);
            dlg::typeText(listPage, kManualName, wanted);
        }
        picture(d, "page1-network.png");
        dlg::clickButton(d, 1020);
        HWND details = wizard.PageOf(2)->GetSafeHwnd();
        dlg::chooseComboItem(details, kSecurity, key.empty() ? 0 : 2);
        if (!key.empty()) dlg::typeText(details, kKey, platform::fromUtf8(key));
        picture(d, "page2-details.png");
        dlg::clickButton(d, 1020);
        picture(d, "page3-progress.png");
        if (!waitUntil([&] { return wizard.CurrentPageId() == 4 && IsWindowEnabled(GetDlgItem(d, 1019)); }, 300)) {
            problem = "the set-up did not end";
            return;
        }
        outcome = GetWizardData().result;
        heading = dlg::controlText(d, 1024);
        text = dlg::controlText(wizard.PageOf(4)->GetSafeHwnd(), kText);
        picture(d, "page4-outcome.png");
        if (IsWindowVisible(GetDlgItem(d, 1021))) dlg::clickButton(d, 1021);
    }
};

}  // namespace

int main(int argc, char** argv) {
    Run run;
    run.network = "HomeNet";
    run.key = "secret99";
    std::optional<fs::path> machine;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--machine" && i + 1 < argc) machine = argv[++i];
        else if (arg == "--png" && i + 1 < argc) run.pictures = fs::absolute(argv[++i]);
        else if (arg == "--network" && i + 1 < argc) run.network = argv[++i];
        else if (arg == "--key" && i + 1 < argc) run.key = argv[++i];
        else return fail("usage: wifi-setup [--machine FOLDER] [--png FOLDER] [--network SSID] [--key KEY]");
    }
    if (run.network.empty() || run.network.size() > 32) return fail("the network name takes 1 to 32 characters");
    if (!run.key.empty() && (run.key.size() < 8 || run.key.size() > 63))
        return fail("a WPA/WPA2 key takes 8 to 63 characters (or give --key \"\" for an open network)");

    const std::string noNamespace = enterNamespace(argv);
    const bool network = wifinet::networkUnavailable().empty();
    if (machine) platform::useMachineRoot(fs::absolute(*machine));
    if (run.pictures) {
        std::error_code ec;
        fs::create_directories(*run.pictures, ec);
    }
    if (!install()) return fail("cannot install the wizard on the machine at " + platform::machineRoot().string());

    if (network) {
        std::printf("In a network namespace of its own: the printer's SNMP agent and SLP responder answer on %s.\n",
                    wifinet::kPrinterIpv4);
    } else {
        std::printf("Without the network side (%s): the printer reports no address, so the wizard sends nothing "
                    "on the network.\n",
                    noNamespace.empty() ? wifinet::networkUnavailable().c_str() : noNamespace.c_str());
    }
    std::fflush(stdout);
    std::unique_ptr<wifinet::SnmpAgent> agent;
    std::unique_ptr<standin::SlpResponder> responder;
    standin::UsbPrinterScript script;
    script.ipv4 = "";
    script.secondAddress = "";
    if (network) {
        agent = std::make_unique<wifinet::SnmpAgent>();
        if (!agent->ready()) return fail("snmpd did not start: " + agent->log());
        try {
            responder = std::make_unique<standin::SlpResponder>(
                "printer", std::vector<standin::SlpReply>{{standin::SlpReply::Kind::AttributeReply,
                                                            std::string("(x-ip-addr=") + kPrinterLinkLocal + ")"}});
        } catch (const std::exception& e) {
            return fail(std::string("the SLP responder did not start: ") + e.what());
        }
        script.ipv4 = wifinet::kPrinterIpv4;
        script.secondAddress = kPrinterLinkLocal;
    }
    const platform::AttachedUsbPrinter cable = platform::attachUsbPrinter({});
    standin::UsbPrinter printer(cable.endpoint, script);
    platform::radio::setRadio(radio());

    {
        CCaspenApp app;
        std::thread user([&] {
            dlg::Script scripting;
            HWND wizard = dlg::waitForDialog({}, kWizardTemplate, 30000);
            if (!wizard) {
                run.problem = "the wizard did not open";
                return;
            }
            run.script(wizard, *static_cast<CMyWizard*>(app.m_pMainWnd));
            if (IsWindow(wizard)) PostMessageW(wizard, WM_COMMAND, IDCANCEL, 0);
        });
        app.InitInstance();
        user.join();
        app.ExitInstance();
    }
    if (!run.problem.empty() && run.outcome < 0) return fail(run.problem);

    const auto sets = printer.received("set");
    std::printf("The wizard sent the printer %zu set frame(s) over USB for network \"%s\".\n", sets.size(),
                run.network.c_str());
    std::printf("Outcome %d: %s\n  %s\n", run.outcome, platform::toUtf8(run.heading).c_str(),
                platform::toUtf8(run.text).c_str());
    if (!run.written.empty()) {
        std::printf("Pictures of the pages in %s:\n", run.pictures->string().c_str());
        for (const std::string& path : run.written) std::printf("  %s\n", path.c_str());
    }
    if (!run.problem.empty()) return fail(run.problem);
    return 0;
}
