#include "twain_machine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "ProductConfig.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace twaintest {

const char16_t kProgramFolder[] = u"C:\\Program Files\\Qelmar\\";

namespace {

std::vector<std::string> linesOf(const std::optional<std::string>& text) {
    std::vector<std::string> lines;
    std::istringstream in(text.value_or(""));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TWAIN_MESSAGE) {
        auto* owner = reinterpret_cast<TwainMachine*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (owner && owner->twain) return owner->twain->ProcessSourceMessage(static_cast<TW_UINT16>(wParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

TwainMachine::TwainMachine(std::u16string prefix_) : prefix(std::move(prefix_)) {
    platform::setProgramPath(kProgramFolder + prefix + u"App.exe");
    g_nProductIniTail = SCANAPP_INI_TAIL;
    machine.writeFile(u"C:\\Windows\\" + prefix + u".ini", "[TWAIN]\r\nFile Prefix=" + platform::toUtf8(prefix) + "\r\n");
    const fs::path manager = machine.host(std::u16string(kProgramFolder) + u"TWAINDSM.dll");
    fs::create_directories(manager.parent_path());
    fs::copy_file(TWAIN_MANAGER_MODULE, manager, fs::copy_options::overwrite_existing);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProcedure;
    wc.lpszClassName = u"TwainTestWindow";
    RegisterClassExW(&wc);
    window_ = CreateWindowExW(0, u"TwainTestWindow", u"Tesmar", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr);
    EXPECT_NE(window_, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    g_hTwainMessageWindow = window_;
}

TwainMachine::~TwainMachine() {
    g_hTwainMessageWindow = nullptr;
    if (window_) DestroyWindow(window_);
}

void TwainMachine::installSource(const std::string& name, const std::string& script) const {
    const std::u16string folder = u"C:\\Windows\\twain_32\\" + platform::fromUtf8(name) + u"\\";
    const fs::path module = machine.host(folder + platform::fromUtf8(name) + u".ds");
    fs::create_directories(module.parent_path());
    fs::copy_file(TWAIN_SOURCE_MODULE, module, fs::copy_options::overwrite_existing);
    machine.writeFile(folder + platform::fromUtf8(name) + u".script", script);
}

void TwainMachine::installEncoder() const {
    const fs::path module = machine.host(kProgramFolder + prefix + u"Brondel.dll");
    fs::copy_file(IMAGE_ENCODER_MODULE, module, fs::copy_options::overwrite_existing);
}

std::vector<std::string> TwainMachine::managerJournal() const {
    return linesOf(machine.readFile(std::u16string(kProgramFolder) + u"TWAINDSM.journal"));
}

std::vector<std::string> TwainMachine::sourceJournal(const std::string& name) const {
    const std::u16string n = platform::fromUtf8(name);
    return linesOf(machine.readFile(u"C:\\Windows\\twain_32\\" + n + u"\\" + n + u".journal"));
}

void TwainMachine::clearJournals() const {
    std::error_code ec;
    fs::remove(machine.host(std::u16string(kProgramFolder) + u"TWAINDSM.journal"), ec);
    for (const auto& entry : fs::recursive_directory_iterator(machine.host(u"C:\\Windows\\twain_32"), ec))
        if (entry.path().extension() == ".journal") fs::remove(entry.path(), ec);
}

bool TwainMachine::pumpUntil(const std::function<bool()>& done) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<std::string> linesStarting(const std::vector<std::string>& lines, const std::string& start) {
    std::vector<std::string> out;
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0) out.push_back(line);
    return out;
}

}  // namespace twaintest
