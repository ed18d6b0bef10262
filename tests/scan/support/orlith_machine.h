// A machine with the scan-button program installed as the installer leaves it, for running the real
// program: "<prefix>PushScan.exe" linked to the built program beside its language library, the
// stand-in scanner driver and (when a test asks) a registration library; the product INI, the
// installed language, the user's settings file naming the save folder, and a still-image device
// whose button a test presses. Unanswered dialogs are dismissed by the machine (the progress dialog
// excepted, so a job can run).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/machine.h"
#include "win/processes.h"

namespace scantest {

extern const char16_t kOrlithProgram[];   // "C:\Program Files\Qelmar\vrx4410PushScan.exe"
extern const char kOrlithProgramUtf8[];
extern const char16_t kStiDevice[];       // the scanner as the still-image service names it
extern const char16_t kStiEvent[];        // the button's event

struct OrlithRun {
    DWORD processId = 0;
    HANDLE process = nullptr;
    DWORD exitCode = STILL_ACTIVE;
};

class OrlithMachine {
public:
    struct Options {
        bool realClock = false;
        DWORD dismissAfterMs = 500;  // machine time an unanswered dialog stays up
        bool languageLibrary = true;
        DWORD osMajor = 10, osMinor = 0, osBuild = 19045;
        int autoOpen = 0;
        int openFolder = 0;
        std::u16string prefix = u"vrx4410";  // "vrx3310": the second driver kind
    };
    OrlithMachine();
    explicit OrlithMachine(const Options& options);
    ~OrlithMachine();
    OrlithMachine(const OrlithMachine&) = delete;
    OrlithMachine& operator=(const OrlithMachine&) = delete;

    // Copies a build of the registration stand-in beside the program as "vrx4410Sivmar.dll".
    void installRegistrationLibrary(const char* hostModule) const;
    std::string registrationJournal() const;
    // The stand-in driver's script and journal.
    void script(const std::string& text) const;
    std::vector<std::string> driverJournal() const;
    // Writes the device's "EventData" (and its "DevicePath") as its driver does when the button is pressed.
    void pressButton(const std::string& eventData) const;

    // Starts the program with these arguments; run() also waits for its end (60 s at most, then it is
    // killed and the test fails).
    OrlithRun start(const std::u16string& arguments) const;
    DWORD wait(OrlithRun& run) const;
    OrlithRun run(const std::u16string& arguments) const;
    // The debugger output of one run, in order.
    std::vector<std::string> debugLines(const OrlithRun& run) const;
    // The files in the save folder, sorted, and the host path of one; the temporary folder's files.
    std::vector<std::string> savedFiles() const;
    std::filesystem::path savedFile(const std::string& name) const;
    std::vector<std::string> temporaryFiles() const;
    // The program's Windows path.
    std::u16string program() const;

    platform::testing::Machine machine;

private:
    std::u16string prefix_;
};

}  // namespace scantest
