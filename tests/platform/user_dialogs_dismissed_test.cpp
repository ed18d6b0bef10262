// Whole-program runs: modal dialogs nobody answers are ended by the machine and journalled.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

platform::MachineSettings dismissing(DWORD after) {
    platform::MachineSettings settings;
    settings.dismissDialogsAfter = after;
    return settings;
}

TEST(DismissedDialogs, AnUnansweredMessageBoxIsEndedAndJournalled) {
    Machine machine(dismissing(3000));
    platform::setProgramPath(u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(MessageBoxW(nullptr, u"The scanner is in use.", u"Scan Error", MB_OK), IDCANCEL);
    EXPECT_GE(GetTickCount64() - start, 3000u);
    auto dismissed = platform::dismissedDialogs();
    ASSERT_EQ(dismissed.size(), 1u);
    EXPECT_EQ(dismissed[0].processId, GetCurrentProcessId());
    EXPECT_EQ(dismissed[0].program, u"C:\\Program Files\\Qelmar\\vrx4410PushScan.exe");
    EXPECT_EQ(dismissed[0].title, u"Scan Error");
    EXPECT_TRUE(dismissed[0].messageBox);
    EXPECT_EQ(dismissed[0].text, u"The scanner is in use.");
    // The setting lives in the machine, where every program of the machine reads it.
    EXPECT_EQ(platform::machineSettings().dismissDialogsAfter, 3000u);
    EXPECT_EQ(platform::keptFromDismissal(), std::vector<UINT>{});
    platform::keepFromDismissal({8002, 8003});
    EXPECT_EQ(platform::keptFromDismissal(), (std::vector<UINT>{8002, 8003}));
}

TEST(DismissedDialogs, NothingIsDismissedWhileAScriptRunsOrWhenTheSettingIsOff) {
    {
        Machine machine(dismissing(1000));
        // A test's own watchdog comes first: it hears of the dialog, the machine journals nothing.
        std::vector<platform::dialogs::UnscriptedDialog> seen;
        platform::dialogs::setUnscriptedDialogHandler([&](const auto& d) { seen.push_back(d); }, 500);
        EXPECT_EQ(MessageBoxW(nullptr, u"text", u"title", MB_OK), IDCANCEL);
        platform::dialogs::setUnscriptedDialogHandler(nullptr);
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_TRUE(platform::dismissedDialogs().empty());
    }
    Machine machine;  // off: a script answers the box
    std::thread user([] {
        HWND box = platform::dialogs::waitForDialog(u"title");
        ASSERT_NE(box, nullptr);
        platform::dialogs::clickButton(box, IDOK);
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"text", u"title", MB_OK), IDOK);
    user.join();
    EXPECT_TRUE(platform::dismissedDialogs().empty());
}

}  // namespace
