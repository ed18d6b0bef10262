// A machine with the scan application's folder holding the data source manager, stand-in data
// sources installed below C:\Windows\twain_32, and a window on the test's thread that hands the
// sources' notifications to a CTwain, as the main dialog does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Twain.h"
#include "platform/testing/machine.h"
#include "support/outside_tools.h"

namespace twaintest {

extern const char16_t kProgramFolder[];  // "C:\Program Files\Qelmar\"

class TwainMachine {
public:
    // The program "<prefix>Tesmar.exe" and its product INI naming the prefix, the manager beside it.
    explicit TwainMachine(std::u16string prefix = u"vrx4410");
    ~TwainMachine();

    // Installs the stand-in image-encoding library as "<prefix>Brondel.dll" beside the program.
    void installEncoder() const;
    // Installs the stand-in source as C:\Windows\twain_32\<name>\<name>.ds with this script.
    void installSource(const std::string& name, const std::string& script) const;
    std::vector<std::string> managerJournal() const;
    std::vector<std::string> sourceJournal(const std::string& name) const;
    void clearJournals() const;

    // A top-level window of this thread; WM_TWAIN_MESSAGE goes to `twain`'s ProcessSourceMessage.
    HWND window() const { return window_; }
    CTwain* twain = nullptr;
    // Handles this thread's messages until `done` answers true (false after 20 s of real time).
    bool pumpUntil(const std::function<bool()>& done) const;

    platform::testing::Machine machine;
    std::u16string prefix;

private:
    HWND window_ = nullptr;
};

// A PNM picture (P5 grey or P6 RGB, maxval 255) as the outside converters print it.
using test_support::Raster;
using test_support::readPnm;
using test_support::quoted;
using test_support::shell;

// Lines of `lines` that begin with `start`.
std::vector<std::string> linesStarting(const std::vector<std::string>& lines, const std::string& start);

}  // namespace twaintest
