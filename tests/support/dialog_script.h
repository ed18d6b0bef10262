// Runs a modal dialog on the test's thread while a script acts on it from another thread, as a user
// would, and watches for dialogs a test leaves open.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/dialogs.h"

namespace test_support {

// The modal dialogs a test leaves open, as the watchdog ends them (once `virtualMilliseconds` of
// machine time pass with no script running), so that nothing hangs; watched for the object's life.
struct UnscriptedDialogs : std::vector<platform::dialogs::UnscriptedDialog> {
    explicit UnscriptedDialogs(DWORD virtualMilliseconds = 2000) {
        platform::dialogs::setUnscriptedDialogHandler(
            [this](const platform::dialogs::UnscriptedDialog& d) { push_back(d); }, virtualMilliseconds);
    }
    ~UnscriptedDialogs() { platform::dialogs::setUnscriptedDialogHandler(nullptr); }
    UnscriptedDialogs(const UnscriptedDialogs&) = delete;
    UnscriptedDialogs& operator=(const UnscriptedDialogs&) = delete;
};

// `showModal` shows a modal dialog made from template `templateId` here and answers its result; the
// script gets the dialog once it is up. The script counts as running from before its thread starts,
// so the watchdog cannot take the dialog first.
inline INT_PTR runScripted(UINT templateId, const std::function<INT_PTR()>& showModal,
                           const std::function<void(HWND)>& script) {
    namespace dlg = platform::dialogs;
    std::thread worker([&, scripting = std::make_unique<dlg::Script>()]() mutable {
        HWND d = dlg::waitForDialog({}, templateId);
        EXPECT_NE(d, nullptr);
        if (d) script(d);
        scripting.reset();
    });
    const INT_PTR result = showModal();
    worker.join();
    return result;
}

}  // namespace test_support
