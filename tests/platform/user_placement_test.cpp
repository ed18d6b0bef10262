// Window placement: SetWindowPlacement moves and shows a window, GetWindowPlacement reads it back.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing/machine.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

using platform::testing::Machine;

HWND makeWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"PlacementTest";
    RegisterClassExW(&wc);
    return CreateWindowExW(0, u"PlacementTest", u"Placed", WS_OVERLAPPED | WS_VISIBLE, 10, 20, 300, 200, nullptr, nullptr,
                           nullptr, nullptr);
}

WINDOWPLACEMENT placementOf(HWND hwnd) {
    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    EXPECT_TRUE(GetWindowPlacement(hwnd, &p));
    return p;
}

TEST(WindowPlacement, OffScreenAndHiddenThenEachShowState) {
    Machine machine;
    HWND window = makeWindow();
    ASSERT_NE(window, nullptr);
    WINDOWPLACEMENT p = placementOf(window);
    EXPECT_EQ(p.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(p.rcNormalPosition.left, 10);
    EXPECT_EQ(p.rcNormalPosition.bottom, 220);
    EXPECT_EQ(p.flags, 0u);

    // A window kept off every screen: hidden, an empty rectangle far to the top left.
    p.flags = WPF_RESTORETOMAXIMIZED;
    p.showCmd = SW_HIDE;
    p.rcNormalPosition = {-10000, -10000, -10000, -10000};
    ASSERT_TRUE(SetWindowPlacement(window, &p));
    EXPECT_FALSE(IsWindowVisible(window));
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, -10000);
    EXPECT_EQ(rect.top, -10000);
    EXPECT_EQ(rect.right, -10000);
    EXPECT_EQ(rect.bottom, -10000);
    p = placementOf(window);
    EXPECT_EQ(p.flags, static_cast<UINT>(WPF_RESTORETOMAXIMIZED));
    EXPECT_EQ(p.showCmd, static_cast<UINT>(SW_SHOWNORMAL)) << "a hidden window reads as normal";

    struct Case {
        UINT show;
        BOOL visible, iconic, zoomed;
        UINT reads;
    };
    const Case cases[] = {
        {SW_SHOWMINIMIZED, TRUE, TRUE, FALSE, SW_SHOWMINIMIZED},
        {SW_SHOWMAXIMIZED, TRUE, FALSE, TRUE, SW_SHOWMAXIMIZED},
        {SW_SHOWNORMAL, TRUE, FALSE, FALSE, SW_SHOWNORMAL},
        {SW_HIDE, FALSE, FALSE, FALSE, SW_SHOWNORMAL},
    };
    for (const Case& c : cases) {
        p.showCmd = c.show;
        p.rcNormalPosition = {5, 6, 105, 56};
        ASSERT_TRUE(SetWindowPlacement(window, &p)) << c.show;
        EXPECT_EQ(IsWindowVisible(window), c.visible) << c.show;
        EXPECT_EQ(IsIconic(window), c.iconic) << c.show;
        EXPECT_EQ(IsZoomed(window), c.zoomed) << c.show;
        const WINDOWPLACEMENT read = placementOf(window);
        EXPECT_EQ(read.showCmd, c.reads) << c.show;
        EXPECT_EQ(read.rcNormalPosition.right, 105) << c.show;
    }
    DestroyWindow(window);
}

TEST(WindowPlacement, RefusesAWrongLengthAndBadWindows) {
    Machine machine;
    HWND window = makeWindow();
    WINDOWPLACEMENT p{};
    p.length = sizeof p - 1;
    p.showCmd = SW_HIDE;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetWindowPlacement(window, &p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(IsWindowVisible(window)) << "nothing changed";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetWindowPlacement(window, &p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    p.length = sizeof p;
    DestroyWindow(window);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetWindowPlacement(window, &p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GetWindowPlacement(window, &p));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
