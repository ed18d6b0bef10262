// Window positions and visibility: a window that comes into view is invalid and gets its WM_PAINT,
// with the visible children it shows, however it was shown.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "platform/fonts.h"
#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

struct Painted {
    int paints = 0;
    int erases = 0;
    ULONGLONG at = 0;  // the machine clock at the last WM_PAINT
};
std::map<HWND, Painted> painted;

LRESULT CALLBACK paintRecorder(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ERASEBKGND) {
        ++painted[hwnd].erases;
        return 1;
    }
    if (msg == WM_PAINT) {
        ++painted[hwnd].paints;
        painted[hwnd].at = GetTickCount64();
        PAINTSTRUCT ps;
        if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Handles what is waiting (WM_PAINT included), never more than a bounded number of messages.
void pump() {
    MSG m;
    for (int n = 0; n < 100 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++n) DispatchMessageW(&m);
}

// A hidden top-level window with a visible child (its own style says so), nothing invalid.
struct Pair {
    Machine machine;
    HWND top = nullptr;
    HWND child = nullptr;
    Pair() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = paintRecorder;
        wc.lpszClassName = u"PaintRecorder";
        RegisterClassExW(&wc);
        top = CreateWindowExW(0, u"PaintRecorder", u"top", WS_POPUP, 10, 10, 80, 60, nullptr, nullptr, nullptr, nullptr);
        child = CreateWindowExW(0, u"PaintRecorder", u"child", WS_CHILD | WS_VISIBLE, 5, 5, 20, 20, top, nullptr,
                                nullptr, nullptr);
        pump();
        painted.clear();
    }
    ~Pair() {
        DestroyWindow(top);
        UnregisterClassW(u"PaintRecorder", nullptr);
        painted.clear();
    }
    // What happened before the step's last call is not counted.
    void settled() {
        pump();
        painted.clear();
    }
};

TEST(UserPositions, AWindowComingIntoViewIsPaintedWithTheChildrenItShows) {
    struct Case {
        const char* what;
        std::function<void(Pair&)> act;
        int topPaints, childPaints;
    };
    const Case cases[] = {
        {"shown", [](Pair& p) { ShowWindow(p.top, SW_SHOWNORMAL); }, 1, 1},
        {"shown without activation", [](Pair& p) { ShowWindow(p.top, SW_SHOWNA); }, 1, 1},
        {"faded in", [](Pair& p) { EXPECT_TRUE(AnimateWindow(p.top, 200, AW_BLEND)); }, 1, 1},
        {"shown by SetWindowPos",
         [](Pair& p) { SetWindowPos(p.top, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW); },
         1, 1},
        {"shown while already visible",
         [](Pair& p) {
             ShowWindow(p.top, SW_SHOW);
             p.settled();
             ShowWindow(p.top, SW_SHOW);
         },
         0, 0},
        {"hidden",
         [](Pair& p) {
             ShowWindow(p.top, SW_SHOW);
             p.settled();
             ShowWindow(p.top, SW_HIDE);
         },
         0, 0},
        {"the child shown while its parent is hidden",
         [](Pair& p) {
             ShowWindow(p.child, SW_HIDE);
             p.settled();
             ShowWindow(p.child, SW_SHOW);
         },
         0, 0},
        {"the child shown in its visible parent",
         [](Pair& p) {
             ShowWindow(p.child, SW_HIDE);
             ShowWindow(p.top, SW_SHOW);
             p.settled();
             ShowWindow(p.child, SW_SHOW);
         },
         0, 1},
        {"the parent shown over a hidden child",
         [](Pair& p) {
             ShowWindow(p.child, SW_HIDE);
             ShowWindow(p.top, SW_SHOW);
         },
         1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t gdiObjects = platform::fonts::liveGdiObjects();
        {
            Pair pair;
            c.act(pair);
            pump();
            EXPECT_EQ(painted[pair.top].paints, c.topPaints);
            EXPECT_EQ(painted[pair.child].paints, c.childPaints);
            // What comes into view is erased before it is painted, once.
            EXPECT_EQ(painted[pair.top].erases, c.topPaints);
            EXPECT_EQ(painted[pair.child].erases, c.childPaints);
            painted.clear();
            pump();
            EXPECT_EQ(painted[pair.top].paints + painted[pair.child].paints, 0) << "nothing is left invalid";
        }
        EXPECT_EQ(platform::fonts::liveGdiObjects(), gdiObjects) << "the painted surface goes with its window";
    }
}

TEST(UserPositions, AFadeInIsPaintedWhenItEnds) {
    Pair pair;
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(AnimateWindow(pair.top, 800, AW_BLEND));
    // A timer due later does not come first.
    SetTimer(pair.top, 1, 500, nullptr);
    MSG m{};
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(m.hwnd, pair.top);
    DispatchMessageW(&m);
    EXPECT_EQ(painted[pair.top].at - start, 800u);
    KillTimer(pair.top, 1);
}

}  // namespace
