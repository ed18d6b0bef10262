// A machine with the scan application installed as the installer lays it out: the program
// "<prefix>App.exe" (a link to the built program), the data source manager, the stand-in image-encoding
// library, the language libraries and the stand-in mail helper beside it; the product INI naming the
// prefix, the settings folder and the [Data Source] keys; a stand-in data source below
// C:\Windows\twain_32. The program runs as a real child process of the test.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/control.h"
#include "support/outside_tools.h"
#include "win/kernel.h"
#include "platform/testing/machine.h"

namespace tesmartest {

extern const char16_t kProgramFolder[];   // "C:\Program Files\Qelmar\"
extern const char16_t kProgram[];         // kProgramFolder + "vrx4410App.exe"
extern const char16_t kSaveFolder[];      // where the source's interface says to save
extern const char16_t kSettingsFolder[];  // the settings folder of the product INI

struct Options {
    DWORD lcid = 0x0409;
    bool encoder = true;
    bool realClock = false;  // the program (and what it starts) on the real clock
    bool dismissDialogs = false;  // boxes nobody answers end by themselves (the main dialog stays)
};

class TesmarMachine {
public:
    explicit TesmarMachine(const Options& options = {});

    // The stand-in source as "C:\Windows\twain_32\a\a.ds" with this script; unless the script names
    // them, its interface writes the settings file into the settings folder, saving as "scan" in kSaveFolder.
    void installSource(const std::string& script) const;

    struct Run {
        DWORD exitCode = STILL_ACTIVE;
        bool finished = false;
    };
    // Runs "<prefix>App.exe <arguments>" until it ends (60 s of real time at most), handling this
    // thread's messages meanwhile; `whileRunning` is called between rounds.
    Run run(const std::u16string& arguments, const std::function<void()>& whileRunning = {}) const;

    // The debugger output of every process of the machine (without the process ids), in order.
    std::vector<std::string> debugLines() const;
    // The files of the save folder, sorted.
    std::vector<std::string> savedFiles() const { return machine.filesIn(kSaveFolder); }
    std::string hostOf(std::u16string_view windowsPath) const { return machine.host(windowsPath).string(); }
    // Files left in the programs' temporary folder.
    std::vector<std::string> temporaryFiles() const;
    std::vector<std::string> sourceJournal() const;

    platform::testing::Machine machine;
    Options options;
};

using test_support::quoted;
using test_support::shell;
using test_support::Raster;
using test_support::readPnm;
bool contains(const std::vector<std::string>& lines, const std::string& text);

}  // namespace tesmartest
