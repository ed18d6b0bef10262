// Mouse input and what takes it: buttons pressed, dragged off and released in a modal dialog scripted
// from another thread, the capture, leave tracking, hit testing, message filters in modal loops, keys
// as a keyboard gives them, invalidation on state changes, and the drawing calls of 3-D edges, focus
// rectangles and hollow backgrounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "support/dialog_script.h"
#include "support/pictures.h"
#include "support/rgb_canvas.h"
#include "win/gdi.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using platform::testing::Machine;

constexpr UINT kButtons = 400, kProbes = 401, kHollow = 402;
constexpr int kPush = 101, kOther = 102, kOff = 103, kCheck = 104, kGroup = 105, kRadioA = 106, kRadioB = 107,
              kDrawn = 108, kEdit = 109, kProgress = 110, kLabel = 111, kProbeA = 121, kProbeB = 122, kProbeStatic = 123;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;

LRESULT CALLBACK probeProc(HWND, UINT, WPARAM, LPARAM);

HMODULE loadModule(const Machine& machine) {
    res::DialogTemplate buttons;
    buttons.title = u"Buttons";
    buttons.fontFace = u"MS Shell Dlg";
    buttons.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    buttons.x = 300;  // away from other tests' windows
    buttons.y = 150;
    buttons.cx = 200;
    buttons.cy = 130;
    buttons.controls = {
        {u"BUTTON", u"Scan", kPush, kVis | WS_TABSTOP | BS_PUSHBUTTON, 0, 10, 10, 50, 14},
        {u"BUTTON", u"Other", kOther, kVis | WS_TABSTOP | BS_PUSHBUTTON, 0, 70, 10, 50, 14},
        {u"BUTTON", u"Off", kOff, kVis | WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, 0, 130, 10, 50, 14},
        {u"BUTTON", u"Duplex", kCheck, kVis | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 10, 30, 80, 10},
        {u"BUTTON", u"Colour", kGroup, kVis | BS_GROUPBOX, 0, 10, 44, 100, 40},
        {u"BUTTON", u"Grey", kRadioA, kVis | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, 20, 56, 60, 10},
        {u"BUTTON", u"Mono", kRadioB, kVis | BS_AUTORADIOBUTTON, 0, 20, 68, 60, 10},
        {u"BUTTON", u"", kDrawn, kVis | WS_TABSTOP | WS_GROUP | BS_OWNERDRAW, 0, 130, 30, 40, 14},
        {u"EDIT", u"", kEdit, kVis | WS_TABSTOP | WS_BORDER, 0, 10, 92, 80, 12},
        {u"msctls_progress32", u"", kProgress, kVis, 0, 100, 92, 80, 8},
        {u"STATIC", u"Ready", kLabel, kVis, 0, 120, 50, 60, 10},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 80, 110, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP | BS_PUSHBUTTON, 0, 140, 110, 50, 14},
    };
    res::DialogTemplate probes;
    probes.title = u"Probes";
    probes.fontFace = u"MS Shell Dlg";
    probes.style = WS_POPUP | WS_VISIBLE;
    probes.x = 300;
    probes.y = 320;
    probes.cx = 200;
    probes.cy = 80;
    probes.controls = {
        {u"MouseProbe", u"", kProbeA, kVis, 0, 10, 10, 60, 30},
        {u"MouseProbe", u"", kProbeB, kVis, 0, 100, 10, 60, 30},
        {u"STATIC", u"Beside", kProbeStatic, kVis | SS_NOTIFY, 0, 10, 50, 60, 10},
    };
    res::DialogTemplate hollow;
    hollow.title = u"Hollow";
    hollow.fontFace = u"MS Shell Dlg";
    hollow.style = WS_POPUP;
    hollow.cx = 120;
    hollow.cy = 40;
    hollow.controls = {{u"STATIC", u"Glyphs over dark", kLabel, kVis, 0, 10, 10, 100, 12}};
    res::ResourceFile f;
    f.dialogs[kButtons] = buttons;
    f.dialogs[kProbes] = probes;
    f.dialogs[kHollow] = hollow;
    return resources_test::loadResources(machine, rescomp::writeResourceFile(f));
}

// What the dialog and its controls saw, on the dialog's thread; read by the script between actions.
struct Record {
    std::mutex mutex;
    std::vector<std::pair<int, int>> commands;          // id, notification
    std::vector<UINT> drawStates;                       // the owner-drawn button's itemState
    std::vector<UINT> dialogMouse;                      // button messages the dialog itself got
    std::vector<std::pair<UINT, WPARAM>> pushKeys;      // key messages of the push button
    std::vector<std::tuple<int, UINT, WPARAM>> filtered;  // code, message, wParam seen by the message filter

    int commandsOf(int id, int code) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (auto& [i, c] : commands) n += i == id && c == code;
        return n;
    }
    bool filteredAny(UINT message, WPARAM wParam) {
        std::lock_guard lock(mutex);
        for (auto& [code, m, w] : filtered)
            if (code == MSGF_DIALOGBOX && m == message && w == wParam) return true;
        return false;
    }
    void clear() {
        std::lock_guard lock(mutex);
        commands.clear();
        drawStates.clear();
        dialogMouse.clear();
        pushKeys.clear();
        filtered.clear();
    }
};
Record record;
std::atomic<bool> useFilter{false}, eatReturn{false};
thread_local HHOOK filterHook = nullptr;
WNDPROC pushOriginal = nullptr;

LRESULT CALLBACK filterProc(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<const MSG*>(lParam);
    {
        std::lock_guard lock(record.mutex);
        record.filtered.emplace_back(code, msg->message, msg->wParam);
    }
    if (eatReturn && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) return 1;
    return CallNextHookEx(filterHook, code, wParam, lParam);
}

LRESULT CALLBACK pushSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_CHAR || msg == WM_KEYUP) {
        std::lock_guard lock(record.mutex);
        record.pushKeys.emplace_back(msg, wParam);
    }
    return CallWindowProcW(pushOriginal, hwnd, msg, wParam, lParam);
}

INT_PTR CALLBACK buttonsProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        pushOriginal = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(GetDlgItem(hwnd, kPush), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pushSubclass)));
        if (useFilter) filterHook = SetWindowsHookExW(WH_MSGFILTER, filterProc, nullptr, GetCurrentThreadId());
        return TRUE;
    case WM_DESTROY:
        if (filterHook) UnhookWindowsHookEx(filterHook);
        filterHook = nullptr;
        return TRUE;
    case WM_COMMAND: {
        {
            std::lock_guard lock(record.mutex);
            record.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        std::lock_guard lock(record.mutex);
        if (dis->CtlID == kDrawn) record.drawStates.push_back(dis->itemState);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        std::lock_guard lock(record.mutex);
        record.dialogMouse.push_back(msg);
        return TRUE;
    }
    default: return FALSE;
    }
}

// Handles what waits in the calling thread's queue, never more than a bounded number of messages.
void pump(HWND dialog = nullptr) {
    MSG m;
    for (int n = 0; n < 200 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (dialog && IsDialogMessageW(dialog, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

SIZE sizeOf(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return SIZE{r.right, r.bottom};
}

UINT stateOf(HWND dialog, int id) { return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETSTATE, 0, 0)); }

class Input : public ::testing::Test {
protected:
    Machine machine;
    HMODULE module = nullptr;
    test_support::UnscriptedDialogs unscripted;

    void SetUp() override {
        record.clear();
        useFilter = false;
        eatReturn = false;
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = probeProc;
        wc.lpszClassName = u"MouseProbe";
        ASSERT_NE(RegisterClassExW(&wc), 0);
        module = loadModule(machine);
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
        UnregisterClassW(u"MouseProbe", nullptr);
        EXPECT_TRUE(unscripted.empty());
    }

    // Runs the buttons dialog modally on a worker thread while this thread scripts it; a dialog the
    // script leaves open is ended with Escape.
    INT_PTR runOnWorker(const std::function<void(HWND)>& script) {
        dlg::Script scripting;
        INT_PTR result = 0;
        std::thread worker([&] { result = DialogBoxParamW(module, MAKEINTRESOURCEW(kButtons), nullptr, buttonsProc, 0); });
        HWND d = dlg::waitForDialog({}, kButtons);
        EXPECT_NE(d, nullptr);
        if (d) script(d);
        if (d && !dlg::findDialogs({}, kButtons).empty()) {
            eatReturn = false;
            dlg::pressKey(d, VK_ESCAPE);
        }
        worker.join();
        return result;
    }
};

// ---- Buttons and the mouse in a modal dialog on another thread -------------------------------------

TEST_F(Input, APushButtonClicksOnlyWhenReleasedOverIt) {
    runOnWorker([](HWND d) {
        HWND push = GetDlgItem(d, kPush);
        const SIZE s = sizeOf(push);
        const int cx = s.cx / 2, cy = s.cy / 2;
        const int outX = -6;  // left of the button, over the dialog
        struct Step {
            const char* what;
            std::function<void()> act;
            int clicks;
        };
        const Step steps[] = {
            {"press and release over it",
             [&] {
                 ASSERT_TRUE(dlg::pressMouse(push, cx, cy));
                 EXPECT_EQ(stateOf(d, kPush) & (BST_PUSHED | BST_FOCUS), static_cast<UINT>(BST_PUSHED | BST_FOCUS));
                 EXPECT_EQ(dlg::focusedControl(d), push);
                 ASSERT_TRUE(dlg::releaseMouse(push, cx, cy));
             },
             1},
            {"press, leave and release outside",
             [&] {
                 dlg::pressMouse(push, cx, cy);
                 dlg::moveMouse(push, outX, cy);
                 EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, 0u) << "the pushed state follows the cursor out";
                 dlg::releaseMouse(push, outX, cy);
             },
             0},
            {"drag off and back, then release",
             [&] {
                 dlg::pressMouse(push, cx, cy);
                 dlg::moveMouse(push, outX, cy);
                 EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, 0u);
                 dlg::moveMouse(push, cx + 1, cy);
                 EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, static_cast<UINT>(BST_PUSHED)) << "and back in";
                 dlg::releaseMouse(push, cx + 1, cy);
             },
             1},
            {"press beside it, release over it",
             [&] {
                 dlg::pressMouse(push, outX, cy);
                 EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, 0u);
                 dlg::releaseMouse(push, cx, cy);
             },
             0},
            {"disabled while pressed",
             [&] {
                 dlg::pressMouse(push, cx, cy);
                 EnableWindow(push, FALSE);
                 EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, 0u);
                 dlg::releaseMouse(push, cx, cy);
                 EnableWindow(push, TRUE);
             },
             0},
            {"a click elsewhere", [&] { dlg::clickMouse(GetDlgItem(d, kOther), 3, 3); }, 0},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            const int before = record.commandsOf(kPush, BN_CLICKED);
            step.act();
            EXPECT_EQ(record.commandsOf(kPush, BN_CLICKED) - before, step.clicks);
            EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, 0u) << "nothing stays pushed";
        }
        EXPECT_EQ(record.commandsOf(kOther, BN_CLICKED), 1);
        EXPECT_EQ(record.commandsOf(kPush, BN_DOUBLECLICKED), 0);
        // A click on OK ends the dialog.
        HWND ok = GetDlgItem(d, IDOK);
        EXPECT_TRUE(dlg::clickMouse(ok, 4, 4));
        EXPECT_TRUE(dlg::findDialogs({}, kButtons).empty());
    });
}

TEST_F(Input, ADisabledButtonTakesNoMouseInputItsDialogDoes) {
    runOnWorker([](HWND d) {
        HWND off = GetDlgItem(d, kOff);
        POINT at{5, 5};
        ClientToScreen(off, &at);
        EXPECT_EQ(WindowFromPoint(at), d);
        dlg::pressMouse(off, 5, 5);
        EXPECT_EQ(stateOf(d, kOff) & BST_PUSHED, 0u);
        dlg::releaseMouse(off, 5, 5);
        EXPECT_EQ(record.commandsOf(kOff, BN_CLICKED), 0);
        std::lock_guard lock(record.mutex);
        EXPECT_EQ(record.dialogMouse, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    });
}

TEST_F(Input, CheckBoxesRadioButtonsAndOwnerDrawnButtonsTakeClicks) {
    runOnWorker([](HWND d) {
        HWND check = GetDlgItem(d, kCheck);
        dlg::clickMouse(check, 3, 3);
        EXPECT_EQ(dlg::checkState(d, kCheck), static_cast<UINT>(BST_CHECKED));
        dlg::clickMouse(check, 3, 3);
        EXPECT_EQ(dlg::checkState(d, kCheck), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_EQ(record.commandsOf(kCheck, BN_CLICKED), 2);
        // The radio buttons lie inside a group box, which lets the mouse through to them.
        dlg::clickMouse(GetDlgItem(d, kRadioA), 3, 3);
        dlg::clickMouse(GetDlgItem(d, kRadioB), 3, 3);
        EXPECT_EQ(dlg::checkState(d, kRadioB), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(dlg::checkState(d, kRadioA), static_cast<UINT>(BST_UNCHECKED));
        EXPECT_EQ(record.commandsOf(kRadioB, BN_CLICKED), 1);
        EXPECT_EQ(record.commandsOf(kGroup, BN_CLICKED), 0);

        HWND drawn = GetDlgItem(d, kDrawn);
        dlg::pressMouse(drawn, 4, 4);
        {
            std::lock_guard lock(record.mutex);
            ASSERT_FALSE(record.drawStates.empty());
            EXPECT_EQ(record.drawStates.back() & (ODS_SELECTED | ODS_FOCUS), static_cast<UINT>(ODS_SELECTED | ODS_FOCUS));
        }
        dlg::releaseMouse(drawn, 4, 4);
        {
            std::lock_guard lock(record.mutex);
            EXPECT_EQ(record.drawStates.back() & ODS_SELECTED, 0u);
            EXPECT_TRUE(record.drawStates.back() & ODS_FOCUS);
        }
        EXPECT_EQ(record.commandsOf(kDrawn, BN_CLICKED), 1);
        EnableWindow(drawn, FALSE);
        ASSERT_TRUE(dlg::windowPicture(d));
        std::lock_guard lock(record.mutex);
        EXPECT_TRUE(record.drawStates.back() & ODS_DISABLED);
    });
}

TEST_F(Input, DoubleClicksPressAgainOrTellTheParent) {
    runOnWorker([](HWND d) {
        struct Case {
            int id;
            int clicks, doubles;
        };
        // Radio and owner-drawn buttons take the second press as the double click alone.
        const Case cases[] = {{kPush, 2, 0}, {kCheck, 2, 0}, {kDrawn, 1, 1}, {kRadioA, 1, 1}};
        for (const Case& c : cases) {
            SCOPED_TRACE(c.id);
            ASSERT_TRUE(dlg::doubleClickMouse(GetDlgItem(d, c.id), 3, 3));
            EXPECT_EQ(record.commandsOf(c.id, BN_CLICKED), c.clicks);
            EXPECT_EQ(record.commandsOf(c.id, BN_DOUBLECLICKED), c.doubles);
        }
        EXPECT_EQ(dlg::checkState(d, kCheck), static_cast<UINT>(BST_UNCHECKED)) << "toggled twice";
    });
}

// ---- Keys as a keyboard gives them, message filters --------------------------------------------------

TEST_F(Input, SpaceOnAFocusedButtonPushesAndClicks) {
    runOnWorker([](HWND d) {
        dlg::focusControl(d, kPush);
        EXPECT_TRUE(dlg::pressKey(d, VK_SPACE)) << "IsDialogMessageW takes it, giving it to the button";
        EXPECT_EQ(record.commandsOf(kPush, BN_CLICKED), 1);
        EXPECT_EQ(stateOf(d, kPush) & BST_PUSHED, 0u);
        std::lock_guard lock(record.mutex);
        const std::vector<std::pair<UINT, WPARAM>> keys = {{WM_KEYDOWN, VK_SPACE}, {WM_CHAR, u' '}, {WM_KEYUP, VK_SPACE}};
        EXPECT_EQ(record.pushKeys, keys);
    });
}

TEST_F(Input, AMessageFilterSeesTheModalLoopsInputAndCanEatAKey) {
    useFilter = true;
    eatReturn = true;
    const INT_PTR result = runOnWorker([](HWND d) {
        dlg::focusControl(d, kPush);
        EXPECT_TRUE(dlg::pressKey(d, VK_RETURN)) << "a filter took it";
        EXPECT_EQ(dlg::findDialogs({}, kButtons).size(), 1u) << "Enter never reached the dialog";
        EXPECT_TRUE(record.filteredAny(WM_KEYDOWN, VK_RETURN));
        EXPECT_TRUE(record.filteredAny(WM_KEYUP, VK_RETURN));
        {
            std::lock_guard lock(record.mutex);
            const std::vector<std::pair<UINT, WPARAM>> keys = {{WM_KEYUP, VK_RETURN}};
            EXPECT_EQ(record.pushKeys, keys) << "the key up still reaches the focus";
        }
        // Mouse input goes through the filter too, and then on to the button.
        dlg::clickMouse(GetDlgItem(d, kOther), 3, 3);
        EXPECT_TRUE(record.filteredAny(WM_LBUTTONDOWN, MK_LBUTTON));
        EXPECT_TRUE(record.filteredAny(WM_LBUTTONUP, 0));
        EXPECT_EQ(record.commandsOf(kOther, BN_CLICKED), 1);
        EXPECT_EQ(record.commandsOf(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(Input, MessageFiltersChainNewestFirstAndMessageBoxesCallThem) {
    static std::vector<std::string> calls;
    static HHOOK hooks[2];
    calls.clear();
    hooks[0] = SetWindowsHookExW(WH_MSGFILTER, [](int code, WPARAM w, LPARAM l) -> LRESULT {
        calls.push_back("older " + std::to_string(code));
        return CallNextHookEx(hooks[0], code, w, l);
    }, nullptr, GetCurrentThreadId());
    hooks[1] = SetWindowsHookExW(WH_MSGFILTER, [](int code, WPARAM w, LPARAM l) -> LRESULT {
        calls.push_back("newer " + std::to_string(code));
        const auto* msg = reinterpret_cast<const MSG*>(l);
        if (msg->message == WM_USER + 1) return 1;
        return CallNextHookEx(hooks[1], code, w, l);
    }, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hooks[0] && hooks[1]);
    HHOOK cbt = SetWindowsHookExW(WH_CBT, [](int, WPARAM, LPARAM) -> LRESULT {
        calls.push_back("cbt");
        return 0;
    }, nullptr, GetCurrentThreadId());
    MSG msg{nullptr, WM_USER, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(CallMsgFilterW(&msg, MSGF_USER));
    EXPECT_EQ(calls, (std::vector<std::string>{"newer 4096", "older 4096"}));
    msg.message = WM_USER + 1;
    calls.clear();
    EXPECT_TRUE(CallMsgFilterW(&msg, MSGF_USER));
    EXPECT_EQ(calls, (std::vector<std::string>{"newer 4096"}));
    EXPECT_FALSE(CallMsgFilterW(nullptr, MSGF_USER));

    // A message box's loop offers its messages as a dialog box's does.
    calls.clear();
    std::thread worker([scripting = std::make_unique<dlg::Script>()] {
        HWND box = dlg::waitForDialog(u"Filtered");
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(dlg::clickMouse(GetDlgItem(box, IDOK), 3, 3));
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"Text", u"Filtered", MB_OKCANCEL), IDOK);
    worker.join();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "newer 0"), calls.end());
    EXPECT_TRUE(UnhookWindowsHookEx(hooks[1]));
    EXPECT_TRUE(UnhookWindowsHookEx(hooks[0]));
    EXPECT_TRUE(UnhookWindowsHookEx(cbt));
    calls.clear();
    msg.message = WM_USER + 1;
    EXPECT_FALSE(CallMsgFilterW(&msg, MSGF_USER));
    EXPECT_TRUE(calls.empty());
}

// ---- Leave tracking and the capture, on this thread ---------------------------------------------------
struct ProbeSeen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<ProbeSeen> probeLog;
bool armOnMove = false;

LRESULT CALLBACK probeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_MOUSEMOVE:
        if (armOnMove) {
            TRACKMOUSEEVENT track{sizeof track, TME_QUERY, nullptr, 0};
            TrackMouseEvent(&track);
            if (track.hwndTrack != hwnd) {
                track = TRACKMOUSEEVENT{sizeof track, TME_LEAVE, hwnd, HOVER_DEFAULT};
                TrackMouseEvent(&track);
            }
        }
        [[fallthrough]];
    case WM_MOUSELEAVE:
    case WM_CAPTURECHANGED:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: probeLog.push_back({hwnd, msg, wParam, lParam}); return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

INT_PTR CALLBACK probesProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

int countOf(HWND hwnd, UINT msg) {
    int n = 0;
    for (const auto& s : probeLog) n += s.hwnd == hwnd && s.msg == msg;
    return n;
}

class Probes : public Input {
protected:
    HWND dialog = nullptr, a = nullptr, b = nullptr;
    void SetUp() override {
        Input::SetUp();
        probeLog.clear();
        armOnMove = false;
        dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(kProbes), nullptr, probesProc, 0);
        ASSERT_NE(dialog, nullptr) << GetLastError();
        a = GetDlgItem(dialog, kProbeA);
        b = GetDlgItem(dialog, kProbeB);
        ASSERT_TRUE(IsWindowVisible(a) && IsWindowVisible(b));
        pump(dialog);
    }
    void TearDown() override {
        if (dialog) DestroyWindow(dialog);
        Input::TearDown();
    }
    HWND tracked() const {
        TRACKMOUSEEVENT query{sizeof query, TME_QUERY, nullptr, 0};
        EXPECT_TRUE(TrackMouseEvent(&query));
        return query.hwndTrack;
    }
};

TEST_F(Probes, MouseLeaveComesOnceWhenTheCursorGoesToAnotherControl) {
    armOnMove = true;
    struct Step {
        const char* what;
        std::function<bool()> move;
        int leavesOfA;
    };
    const Step steps[] = {
        {"into A (arms the tracking)", [&] { return dlg::hover(dialog, kProbeA); }, 0},
        {"within A", [&] { return dlg::moveMouse(a, 2, 2); }, 0},
        {"over to B", [&] { return dlg::hover(dialog, kProbeB); }, 1},
        {"within B", [&] { return dlg::moveMouse(b, 3, 3); }, 1},
        {"to the static beside", [&] { return dlg::hover(dialog, kProbeStatic); }, 1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_TRUE(s.move());
        EXPECT_EQ(countOf(a, WM_MOUSELEAVE), s.leavesOfA);
    }
    EXPECT_EQ(countOf(b, WM_MOUSELEAVE), 1) << "B left for the static";
    EXPECT_GE(countOf(a, WM_MOUSEMOVE), 2);

    // Cancelled: no leave.
    armOnMove = false;
    dlg::hover(dialog, kProbeA);
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, a, HOVER_DEFAULT};
    ASSERT_TRUE(TrackMouseEvent(&track));
    EXPECT_EQ(tracked(), a);
    track.dwFlags = TME_LEAVE | TME_CANCEL;
    ASSERT_TRUE(TrackMouseEvent(&track));
    EXPECT_EQ(tracked(), nullptr);
    dlg::hover(dialog, kProbeB);
    EXPECT_EQ(countOf(a, WM_MOUSELEAVE), 1);

    // Armed while the cursor is elsewhere: it has left already.
    track.dwFlags = TME_LEAVE;
    ASSERT_TRUE(TrackMouseEvent(&track));
    pump(dialog);
    EXPECT_EQ(countOf(a, WM_MOUSELEAVE), 2);
    EXPECT_EQ(tracked(), nullptr);
}

TEST_F(Probes, TrackMouseEventRefusesBadRequests) {
    struct Case {
        const char* what;
        TRACKMOUSEEVENT track;
        DWORD error;
    };
    const HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5555));
    const Case cases[] = {
        {"short size", {sizeof(TRACKMOUSEEVENT) - 8, TME_LEAVE, nullptr, 0}, ERROR_INVALID_PARAMETER},
        {"no size", {0, TME_LEAVE, nullptr, 0}, ERROR_INVALID_PARAMETER},
        {"non-client", {sizeof(TRACKMOUSEEVENT), TME_LEAVE | TME_NONCLIENT, nullptr, 0}, ERROR_INVALID_FLAGS},
        {"unknown flag", {sizeof(TRACKMOUSEEVENT), TME_LEAVE | 0x100, nullptr, 0}, ERROR_INVALID_FLAGS},
        {"no window", {sizeof(TRACKMOUSEEVENT), TME_LEAVE, bogus, 0}, ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TRACKMOUSEEVENT track = c.track;
        if (track.hwndTrack == nullptr) track.hwndTrack = a;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(TrackMouseEvent(&track));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_FALSE(TrackMouseEvent(nullptr));
    EXPECT_EQ(tracked(), nullptr);
}

TEST_F(Probes, TheCaptureTakesEveryMoveWhereverTheCursorIs) {
    RECT ra{}, rb{};
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    EXPECT_EQ(SetCapture(a), nullptr);
    EXPECT_EQ(GetCapture(), a);
    struct Move {
        const char* what;
        HWND window;
        int x, y;
    };
    const Move moves[] = {
        {"over B", b, 5, 6},
        {"above and left of everything", dialog, -20, -30},
        {"over A itself", a, 1, 2},
    };
    for (const Move& m : moves) {
        SCOPED_TRACE(m.what);
        probeLog.clear();
        ASSERT_TRUE(dlg::moveMouse(m.window, m.x, m.y));
        POINT screen{m.x, m.y};
        ClientToScreen(m.window, &screen);
        POINT cursor{};
        ASSERT_TRUE(GetCursorPos(&cursor));
        EXPECT_EQ(cursor.x, screen.x);
        EXPECT_EQ(cursor.y, screen.y);
        ASSERT_EQ(probeLog.size(), 1u);
        EXPECT_EQ(probeLog[0].hwnd, a);
        EXPECT_EQ(GET_X_LPARAM(probeLog[0].lParam), screen.x - ra.left);
        EXPECT_EQ(GET_Y_LPARAM(probeLog[0].lParam), screen.y - ra.top);
    }

    // The buttons held are in the flags.
    probeLog.clear();
    dlg::pressMouse(b, 2, 2);
    dlg::moveMouse(b, 3, 3);
    dlg::releaseMouse(b, 3, 3);
    dlg::moveMouse(b, 4, 4);
    const UINT msgs[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_MOUSEMOVE, WM_LBUTTONUP, WM_MOUSEMOVE};
    const WPARAM flags[] = {0, MK_LBUTTON, MK_LBUTTON, MK_LBUTTON, 0, 0};
    ASSERT_EQ(probeLog.size(), std::size(msgs));
    for (size_t i = 0; i < std::size(msgs); ++i) {
        EXPECT_EQ(probeLog[i].msg, msgs[i]) << i;
        EXPECT_EQ(probeLog[i].wParam, flags[i]) << i;
        EXPECT_EQ(probeLog[i].hwnd, a) << i;
    }

    // Handing it on and letting it go tell the window losing it.
    probeLog.clear();
    EXPECT_EQ(SetCapture(b), a);
    EXPECT_EQ(SetCapture(b), b);
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(probeLog.size(), 2u);
    EXPECT_EQ(probeLog[0].hwnd, a);
    EXPECT_EQ(probeLog[0].msg, static_cast<UINT>(WM_CAPTURECHANGED));
    EXPECT_EQ(probeLog[0].lParam, reinterpret_cast<LPARAM>(b));
    EXPECT_EQ(probeLog[1].hwnd, b);
    EXPECT_EQ(probeLog[1].lParam, 0);

    // Without it, moves go to the window under the cursor; SetCursorPos makes one too.
    probeLog.clear();
    POINT overB{rb.left + 2, rb.top + 2};
    ASSERT_TRUE(SetCursorPos(overB.x, overB.y));
    pump(dialog);
    ASSERT_EQ(probeLog.size(), 1u);
    EXPECT_EQ(probeLog[0].hwnd, b);
    EXPECT_EQ(probeLog[0].lParam, MAKELPARAM(2, 2));

    // Bad windows, windows of other threads, and a capture window that goes away.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetCapture(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5555))), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    std::promise<HWND> made;
    std::promise<void> done;
    std::thread other([&] {
        HWND w = CreateWindowExW(0, u"MouseProbe", u"", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
        made.set_value(w);
        done.get_future().wait();
        DestroyWindow(w);
    });
    HWND foreign = made.get_future().get();
    ASSERT_NE(foreign, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetCapture(foreign), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    done.set_value();
    other.join();
    SetCapture(a);
    DestroyWindow(dialog);
    dialog = nullptr;
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(dlg::moveMouse(a, 1, 1));
    EXPECT_FALSE(dlg::hover(a, kProbeA));
    EXPECT_FALSE(dlg::clickMouse(nullptr, 0, 0));
    EXPECT_FALSE(GetCursorPos(nullptr));
}

// ---- Hit testing ---------------------------------------------------------------------------------------

TEST_F(Input, WindowFromPointFindsTheDeepestVisibleEnabledWindow) {
    const auto make = [](HWND parent, const char16_t* cls, DWORD style, int x, int y, int w, int h, DWORD ex = 0) {
        HWND hwnd = CreateWindowExW(ex, cls, u"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    };
    // Far from everything else on the screen.
    HWND top = make(nullptr, u"MouseProbe", WS_POPUP | WS_VISIBLE, 2000, 1000, 200, 150);
    HWND child = make(top, u"MouseProbe", kVis, 10, 10, 100, 80);
    HWND nested = make(child, u"MouseProbe", kVis, 5, 5, 30, 30);
    HWND hidden = make(top, u"MouseProbe", WS_CHILD, 120, 10, 30, 30);
    HWND disabled = make(top, u"MouseProbe", kVis | WS_DISABLED, 120, 50, 30, 30);
    HWND group = make(top, u"BUTTON", kVis | BS_GROUPBOX, 10, 100, 100, 40);
    HWND inGroup = make(top, u"MouseProbe", kVis, 20, 110, 30, 20);
    HWND label = make(top, u"STATIC", kVis, 160, 100, 30, 20);
    HWND notifying = make(top, u"STATIC", kVis | SS_NOTIFY, 160, 125, 30, 20);
    HWND hiddenTop = make(nullptr, u"MouseProbe", WS_POPUP, 2100, 1000, 50, 50);
    HWND topmost = make(nullptr, u"MouseProbe", WS_POPUP | WS_VISIBLE, 2000, 1200, 40, 40, WS_EX_TOPMOST);
    HWND over = make(nullptr, u"MouseProbe", WS_POPUP | WS_VISIBLE, 2170, 1020, 100, 20);  // newer: on top
    HWND newer = make(nullptr, u"MouseProbe", WS_POPUP | WS_VISIBLE, 2010, 1210, 50, 50);
    struct Case {
        const char* what;
        POINT at;
        HWND expected;
    };
    const Case cases[] = {
        {"the top-level window", {2002, 1002}, top},
        {"a child", {2050, 1060}, child},
        {"a child's child", {2020, 1020}, nested},
        {"a hidden child", {2125, 1015}, top},
        {"a disabled child", {2125, 1055}, top},
        {"a group box lets the mouse through", {2012, 1102}, top},
        {"to what lies beneath it", {2025, 1115}, inGroup},
        {"a plain static too", {2165, 1105}, top},
        {"a static with SS_NOTIFY does not", {2165, 1130}, notifying},
        {"a window over another", {2180, 1030}, over},
        {"a topmost window over a newer one", {2030, 1220}, topmost},
        {"the newer one beside it", {2050, 1250}, newer},
        {"a hidden top-level window", {2120, 1020}, top},
        {"outside every window", {1990, 990}, nullptr},
        {"just past the right edge", {2200, 1002}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(WindowFromPoint(c.at), c.expected);
    }
    struct ChildCase {
        const char* what;
        POINT at;  // in the top-level window's client area
        UINT flags;
        HWND expected;
    };
    const ChildCase children[] = {
        {"a direct child only", {20, 20}, CWP_ALL, child},
        {"a hidden child", {125, 15}, CWP_ALL, hidden},
        {"passing over hidden ones", {125, 15}, CWP_SKIPINVISIBLE, top},
        {"a disabled child", {125, 55}, CWP_ALL, disabled},
        {"passing over disabled ones", {125, 55}, CWP_SKIPDISABLED, top},
        {"a group box is a child like any", {12, 102}, CWP_ALL, group},
        {"no child there", {180, 5}, CWP_ALL, top},
        {"outside the parent", {-1, 5}, CWP_ALL, nullptr},
    };
    for (const ChildCase& c : children) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ChildWindowFromPointEx(top, c.at, c.flags), c.expected);
    }
    EXPECT_EQ(ChildWindowFromPoint(top, POINT{165, 105}), label);
    EXPECT_EQ(ChildWindowFromPoint(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5555)), POINT{1, 1}), nullptr);
    for (HWND w : {newer, over, topmost, hiddenTop, top}) DestroyWindow(w);
    EXPECT_EQ(WindowFromPoint(POINT{2002, 1002}), nullptr);
}

// ---- Looks that change are painted again ---------------------------------------------------------

TEST_F(Input, StateChangesInvalidateTheControlTheyShowIn) {
    HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(kButtons), nullptr, buttonsProc, 0);
    ASSERT_NE(d, nullptr);
    ShowWindow(d, SW_SHOW);
    struct Case {
        const char* what;
        int id;
        std::function<void()> act;
        bool invalid;
    };
    const Case cases[] = {
        {"checked", kCheck, [&] { CheckDlgButton(d, kCheck, BST_CHECKED); }, true},
        {"checked again", kCheck, [&] { CheckDlgButton(d, kCheck, BST_CHECKED); }, false},
        {"pushed", kPush, [&] { SendDlgItemMessageW(d, kPush, BM_SETSTATE, TRUE, 0); }, true},
        {"released", kPush, [&] { SendDlgItemMessageW(d, kPush, BM_SETSTATE, FALSE, 0); }, true},
        {"new text", kLabel, [&] { SetDlgItemTextW(d, kLabel, u"Busy"); }, true},
        {"disabled", kEdit, [&] { EnableWindow(GetDlgItem(d, kEdit), FALSE); }, true},
        {"given the focus", kOther, [&] { SetFocus(GetDlgItem(d, kOther)); }, true},
        {"losing the focus", kOther, [&] { SetFocus(GetDlgItem(d, kPush)); }, true},
        {"moved on", kProgress, [&] { SendDlgItemMessageW(d, kProgress, PBM_SETPOS, 40, 0); }, true},
        {"moved to where it is", kProgress, [&] { SendDlgItemMessageW(d, kProgress, PBM_SETPOS, 40, 0); }, false},
        {"left alone", kRadioA, [] {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pump(d);
        RedrawWindow(d, nullptr, nullptr, RDW_VALIDATE | RDW_ALLCHILDREN);
        for (HWND child = GetWindow(d, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ValidateRect(child, nullptr);
        c.act();
        EXPECT_EQ(GetUpdateRect(GetDlgItem(d, c.id), nullptr, FALSE) != FALSE, c.invalid);
    }
    DestroyWindow(d);
}

// ---- Drawing calls ---------------------------------------------------------------------------------

class Drawing : public ::testing::Test {
protected:
    static constexpr int kWidth = 20, kHeight = 14;
    Machine machine;
    // Every pixel different, none of them a system colour.
    resources_test::RgbCanvas canvas{kWidth, kHeight, [](int x, int y) {
        return static_cast<uint32_t>(0x102030 + (y * kWidth + x) * 0x010307) & 0xFFFFFF;
    }};
    HDC dc = canvas.dc;
    std::vector<uint32_t> pixels() const { return canvas.pixels(); }
    static uint32_t rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
    uint32_t at(int x, int y) const { return canvas.at(x, y); }
};

TEST_F(Drawing, AFocusRectangleInvertsEveryOtherPixelOfItsFrameAndTwiceRestores) {
    const auto before = pixels();
    for (const RECT r : {RECT{2, 3, 15, 11}, RECT{5, 1, 6, 9}, RECT{0, 0, kWidth, kHeight}}) {
        ASSERT_TRUE(DrawFocusRect(dc, &r));
        int inverted = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const bool onFrame = x >= r.left && x < r.right && y >= r.top && y < r.bottom &&
                                     (x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1);
                const bool dot = onFrame && ((x - r.left) + (y - r.top)) % 2 == 0;
                const uint32_t was = before[y * kWidth + x] & 0xFFFFFF;
                ASSERT_EQ(at(x, y), dot ? (was ^ 0xFFFFFF) : was) << x << "," << y;
                inverted += dot;
            }
        EXPECT_GT(inverted, 3);
        ASSERT_TRUE(DrawFocusRect(dc, &r));
        EXPECT_EQ(pixels(), before);
    }
    const RECT empty{4, 4, 4, 9};
    EXPECT_TRUE(DrawFocusRect(dc, &empty));
    EXPECT_EQ(pixels(), before);
    EXPECT_FALSE(DrawFocusRect(dc, nullptr));
    EXPECT_FALSE(DrawFocusRect(nullptr, &empty));
}

TEST_F(Drawing, EdgesHaveTheirColoursAtTheCorners) {
    const uint32_t light = rgb(GetSysColor(COLOR_3DLIGHT)), white = rgb(GetSysColor(COLOR_BTNHIGHLIGHT)),
                   shadow = rgb(GetSysColor(COLOR_BTNSHADOW)), dark = rgb(GetSysColor(COLOR_3DDKSHADOW)),
                   face = rgb(GetSysColor(COLOR_BTNFACE));
    ASSERT_EQ(std::set<uint32_t>({light, white, shadow, dark, face}).size(), 5u);
    const auto untouched = pixels();
    struct Probe {
        int x, y;
        uint32_t colour;  // 0xFF000000: as it was
    };
    constexpr uint32_t kSame = 0xFF000000;
    struct Case {
        const char* what;
        UINT edge, flags;
        RECT adjusted;
        std::vector<Probe> probes;
    };
    const RECT r{2, 1, 14, 11};
    const Case cases[] = {
        {"raised", EDGE_RAISED, BF_RECT, r,
         {{2, 1, light}, {3, 2, white}, {13, 10, dark}, {12, 9, shadow}, {13, 1, dark}, {2, 10, dark},
          {12, 2, shadow}, {3, 9, shadow}, {7, 5, kSame}, {1, 1, kSame}, {14, 5, kSame}}},
        {"sunken", EDGE_SUNKEN, BF_RECT, r,
         {{2, 1, shadow}, {3, 2, dark}, {13, 10, white}, {12, 9, light}, {13, 1, white}, {7, 5, kSame}}},
        {"raised outer only, left side, middle filled, adjusted", BDR_RAISEDOUTER, BF_LEFT | BF_MIDDLE | BF_ADJUST,
         RECT{3, 1, 14, 11},
         {{2, 5, light}, {3, 5, face}, {13, 10, face}, {7, 1, face}, {14, 5, kSame}}},
        {"sunken, adjusted", EDGE_SUNKEN, BF_RECT | BF_ADJUST, RECT{4, 3, 12, 9}, {{5, 5, kSame}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::copy(untouched.begin(), untouched.end(), canvas.bits);
        RECT rect = r;
        ASSERT_TRUE(DrawEdge(dc, &rect, c.edge, c.flags));
        EXPECT_EQ(rect.left, c.adjusted.left);
        EXPECT_EQ(rect.top, c.adjusted.top);
        EXPECT_EQ(rect.right, c.adjusted.right);
        EXPECT_EQ(rect.bottom, c.adjusted.bottom);
        for (const Probe& p : c.probes) {
            const uint32_t expected = p.colour == kSame ? untouched[p.y * kWidth + p.x] & 0xFFFFFF : p.colour;
            EXPECT_EQ(at(p.x, p.y), expected) << p.x << "," << p.y;
        }
    }
    RECT rect = r;
    EXPECT_FALSE(DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT | BF_DIAGONAL));
    EXPECT_FALSE(DrawEdge(dc, nullptr, EDGE_RAISED, BF_RECT));
    EXPECT_FALSE(DrawEdge(nullptr, &rect, EDGE_RAISED, BF_RECT));
}

TEST_F(Drawing, TheHollowBrushFillsNothing) {
    const auto before = pixels();
    const RECT all{0, 0, kWidth, kHeight};
    HGDIOBJ hollow = GetStockObject(NULL_BRUSH);
    ASSERT_NE(hollow, nullptr);
    EXPECT_EQ(hollow, GetStockObject(HOLLOW_BRUSH));
    EXPECT_TRUE(FillRect(dc, &all, static_cast<HBRUSH>(hollow)));
    EXPECT_TRUE(FrameRect(dc, &all, static_cast<HBRUSH>(hollow)));
    EXPECT_EQ(pixels(), before);
}

// A static whose parent answers WM_CTLCOLORSTATIC with the hollow brush shows only its glyphs over the
// parent's own background.
constexpr COLORREF kDark = RGB(20, 30, 40), kInk = RGB(0, 250, 0);

INT_PTR CALLBACK hollowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_ERASEBKGND: {
        HBRUSH dark = CreateSolidBrush(kDark);
        RECT r{};
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, dark);
        DeleteObject(dark);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam), kInk);
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 0, 0));  // never shows: the background is transparent
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    default: return FALSE;
    }
}

TEST_F(Input, AStaticOverADarkParentWithTheHollowBrushChangesOnlyItsGlyphs) {
    HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(kHollow), nullptr, hollowProc, 0);
    ASSERT_NE(d, nullptr);
    auto picture = dlg::windowPicture(d);
    ASSERT_TRUE(picture);
    RECT dr{}, lr{};
    GetWindowRect(d, &dr);
    GetWindowRect(GetDlgItem(d, kLabel), &lr);
    const uint32_t dark = (GetRValue(kDark) << 16) | (GetGValue(kDark) << 8) | GetBValue(kDark);
    const uint32_t ink = (GetRValue(kInk) << 16) | (GetGValue(kInk) << 8) | GetBValue(kInk);
    int darkPixels = 0, inkPixels = 0, others = 0;
    for (int y = lr.top - dr.top; y < lr.bottom - dr.top; ++y)
        for (int x = lr.left - dr.left; x < lr.right - dr.left; ++x) {
            const uint32_t p = picture->at(x, y);
            darkPixels += p == dark;
            inkPixels += p == ink;
            others += p != dark && p != ink;
        }
    EXPECT_EQ(others, 0);
    EXPECT_GT(inkPixels, 20);
    EXPECT_GT(darkPixels, inkPixels);
    DestroyWindow(d);
}

}  // namespace
