// A machine with the scan-button program installed for its dialogs: the product INI of the scan set,
// the installed language in the registry, and that language's library of the built set made the
// framework's resource module. Modal dialogs a test leaves open are ended and fail it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "afx/afxwin.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "support/dialog_script.h"

namespace scantest {

extern const char16_t kProgramFolder[];     // "C:\Program Files\Qelmar\"
extern const char16_t kSettingsFile[];      // the settings file of the INI's settings folder

struct DialogSetup {
    std::u16string language = u"English";  // the registry's "Language"
    std::string code = "enus";              // the library to install
    DWORD osMajor = 10;
};

class DialogMachine {
public:
    explicit DialogMachine(const DialogSetup& setup = {});
    ~DialogMachine();
    DialogMachine(const DialogMachine&) = delete;
    DialogMachine& operator=(const DialogMachine&) = delete;

    // A string of the installed library.
    std::u16string text(UINT id) const;
    // Makes a library of the installed one with a change and uses it instead.
    void useChangedLibrary(const std::function<void(platform::resources::ResourceFile&)>& change);

    platform::testing::Machine machine;
    test_support::UnscriptedDialogs unscripted;
    HMODULE library = nullptr;
    std::string code;
};

// Runs a framework dialog modally here while `script` acts on it from another thread.
INT_PTR runModal(CDialog& dialog, const std::function<void(HWND)>& script);
// Clicks `button` of a dialog; when an error box comes up, returns its message and closes it (its
// skinned OK, as a mouse clicks it). Empty when the click brought none.
std::u16string answerErrorBox(HWND owner, int button);

}  // namespace scantest
