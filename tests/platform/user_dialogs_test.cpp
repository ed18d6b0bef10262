// Modal dialogs of the dialog manager: a dialog ended from outside its loop ends, whatever its queue
// holds and whether or not anything can be posted to it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

TEST(UserDialogs, AModalDialogEndedFromOutsideItsLoopEndsWhenNothingCanBePosted) {
    struct Case {
        const char* what;
        std::function<void(HWND)> end;
        int result;
    };
    const Case cases[] = {
        {"EndDialog from another thread", [](HWND box) { EXPECT_TRUE(EndDialog(box, 77)); }, 77},
        {"a message sent from another thread, in which the box ends itself",
         [](HWND box) { SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDRETRY, BN_CLICKED), 0); }, IDRETRY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine machine;
        auto shown = std::async(std::launch::async, [] { return MessageBoxW(nullptr, u"text", u"box", MB_RETRYCANCEL); });
        HWND box = platform::dialogs::waitForDialog(u"box");
        ASSERT_NE(box, nullptr);
        platform::setFault("PostMessageW", platform::Fault().failing(-1));
        c.end(box);
        if (shown.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the box's loop did not end";
            platform::clearFaults();
            PostMessageW(box, WM_NULL, 0, 0);  // lets the loop go, so the test ends
        }
        EXPECT_EQ(shown.get(), c.result);
        EXPECT_FALSE(IsWindow(box));
        platform::clearFaults();
    }
}

}  // namespace
