// What the dialog programs ask of the windows layer besides the controls' basics: picture statics,
// F1 and WM_HELP, the system menu and the close box, AnimateWindow on the machine clock, icons drawn
// through their masks and kept per window, system metrics, global memory, and the machine's clipboard
// with the edits' cut, copy and paste (also between processes).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/control.h"
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

constexpr UINT kPictures = 800, kForm = 801;
constexpr UINT kQuarters = 160, kBadge = 161;
constexpr int kPlain = 10, kCentred = 11, kStretched = 12, kFromTemplate = 13, kIconStatic = 14, kLabel = 15;
constexpr int kName = 20, kTarget = 21, kSecret = 22, kFixed = 23, kAgree = 24, kPaper = 25, kList = 26, kApply = 27;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kRed = 0xD02020, kGreen = 0x20C040, kBlue = 0x2040D0, kYellow = 0xE0D020, kBadgeColour = 0xC82828;

// A 12 x 8 bitmap of four coloured quarters, so a picture shows where its corners went.
std::string quartersBmp() {
    resources_test::DibShape d;
    d.width = 12;
    d.height = 8;
    d.pixel = [](int x, int y) { return y < 4 ? (x < 6 ? kRed : kGreen) : (x < 6 ? kBlue : kYellow); };
    return resources_test::bmpFile(d);
}

// An 8 x 8 icon: transparent in its two top rows and three left columns, a solid colour elsewhere (black
// under the mask, as icons are made).
bool badgeMasked(int x, int y) { return x < 3 || y < 2; }
std::string badgeIco() {
    resources_test::IconSpec image;
    image.color.width = 8;
    image.color.height = 8;
    image.color.pixel = [](int x, int y) { return badgeMasked(x, y) ? 0u : kBadgeColour; };
    image.masked = badgeMasked;
    return resources_test::icoFile({image});
}

HMODULE loadModule(const Machine& machine) {
    res::DialogTemplate pictures;
    pictures.title = u"Pictures";
    pictures.fontFace = u"MS Shell Dlg";
    pictures.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    pictures.cx = 200;
    pictures.cy = 120;
    pictures.controls = {
        {u"STATIC", u"", kPlain, kVis | SS_BITMAP, 0, 10, 10, 40, 30},
        {u"STATIC", u"", kCentred, kVis | SS_BITMAP | SS_CENTERIMAGE, 0, 60, 10, 40, 30},
        {u"STATIC", u"", kStretched, kVis | SS_BITMAP | SS_REALSIZECONTROL, 0, 110, 10, 20, 20},
        {u"STATIC", u"#160", kFromTemplate, kVis | SS_BITMAP, 0, 10, 60, 40, 30},
        {u"STATIC", u"", kIconStatic, kVis | SS_ICON | SS_CENTERIMAGE, 0, 60, 60, 20, 20},
        {u"STATIC", u"Text", kLabel, kVis, 0, 110, 60, 40, 10},
    };
    res::DialogTemplate form;
    form.title = u"Form";
    form.fontFace = u"MS Shell Dlg";
    form.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    form.cx = 220;
    form.cy = 140;
    form.controls = {
        {u"EDIT", u"Hello world", kName, kVis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 7, 7, 100, 12},
        {u"EDIT", u"", kTarget, kVis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 7, 22, 100, 12},
        {u"EDIT", u"pin", kSecret, kVis | WS_TABSTOP | WS_BORDER | ES_PASSWORD, 0, 7, 37, 100, 12},
        {u"EDIT", u"fixed", kFixed, kVis | WS_TABSTOP | WS_BORDER | ES_READONLY, 0, 7, 52, 100, 12},
        {u"BUTTON", u"I agree", kAgree, kVis | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 120, 7, 80, 10},
        {u"COMBOBOX", u"", kPaper, kVis | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 120, 22, 80, 60},
        {u"SysListView32", u"", kList, kVis | WS_TABSTOP | LVS_REPORT, 0, 7, 70, 206, 40},
        {u"BUTTON", u"Apply", kApply, kVis | WS_TABSTOP, 0, 50, 120, 50, 14},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 110, 120, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP, 0, 163, 120, 50, 14},
    };
    res::ResourceFile f;
    f.dialogs[kPictures] = pictures;
    f.dialogs[kForm] = form;
    f.bitmaps[kQuarters] = quartersBmp();
    f.icons[kBadge] = badgeIco();
    return resources_test::loadResources(machine, rescomp::writeResourceFile(f));
}

// What the form's procedure saw, on the dialog's thread; scripts read it between actions.
struct Seen {
    std::mutex mutex;
    std::vector<HELPINFO> help;
    std::vector<std::pair<int, int>> commands;  // id, notification
    int commandsOf(int id, int code) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (auto& [i, c] : commands) n += i == id && c == code;
        return n;
    }
    void clear() {
        std::lock_guard lock(mutex);
        help.clear();
        commands.clear();
    }
};
Seen seen;

INT_PTR CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_HELP: {
        std::lock_guard lock(seen.mutex);
        seen.help.push_back(*reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    }
    case WM_COMMAND: {
        {
            std::lock_guard lock(seen.mutex);
            seen.commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    default: return FALSE;
    }
}

INT_PTR CALLBACK picturesProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

class Extras : public ::testing::Test {
protected:
    Machine machine;
    HMODULE module = nullptr;
    test_support::UnscriptedDialogs unscripted;
    void SetUp() override {
        seen.clear();
        module = loadModule(machine);
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
        EXPECT_TRUE(unscripted.empty());
    }
    INT_PTR runForm(const std::function<void(HWND)>& script) {
        return test_support::runScripted(
            kForm, [&] { return DialogBoxParamW(module, MAKEINTRESOURCEW(kForm), nullptr, formProc, 0); }, script);
    }
    HWND modeless(UINT id) {
        HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(id), nullptr, id == kForm ? formProc : picturesProc, 0);
        EXPECT_NE(d, nullptr) << GetLastError();
        if (d) ShowWindow(d, SW_SHOW);
        return d;
    }
};

SIZE clientSize(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return SIZE{r.right, r.bottom};
}

// A control's top-left corner in its dialog's picture.
POINT placeIn(HWND dialog, HWND control) {
    RECT d{}, c{};
    GetWindowRect(dialog, &d);
    GetWindowRect(control, &c);
    return POINT{c.left - d.left, c.top - d.top};
}

// ---- Picture statics ---------------------------------------------------------------------------------

TEST_F(Extras, BitmapStaticsPaintTheirBitmapAtItsPlace) {
    HWND d = modeless(kPictures);
    HBITMAP quarters = LoadBitmapW(module, MAKEINTRESOURCEW(kQuarters));
    ASSERT_NE(quarters, nullptr);
    const SIZE centredBefore = clientSize(GetDlgItem(d, kCentred)), stretchedBefore = clientSize(GetDlgItem(d, kStretched));
    for (int id : {kPlain, kCentred, kStretched})
        EXPECT_EQ(SendDlgItemMessageW(d, id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(quarters)), 0) << id;
    auto p = dlg::windowPicture(d);
    ASSERT_TRUE(p);
    const uint32_t face = (GetRValue(GetSysColor(COLOR_BTNFACE)) << 16) | (GetGValue(GetSysColor(COLOR_BTNFACE)) << 8) |
                          GetBValue(GetSysColor(COLOR_BTNFACE));
    struct Case {
        const char* what;
        int id;
        SIZE size;     // the control's size after the picture was set
        POINT origin;  // where the bitmap's top-left corner lands in the control
        SIZE drawn;    // the bitmap's size as drawn
    };
    const Case cases[] = {
        {"at the top left, the control made its size", kPlain, {12, 8}, {0, 0}, {12, 8}},
        {"centred, the control left alone", kCentred, centredBefore,
         {(centredBefore.cx - 12) / 2, (centredBefore.cy - 8) / 2}, {12, 8}},
        {"stretched to the control", kStretched, stretchedBefore, {0, 0}, stretchedBefore},
        {"loaded from the template's #160", kFromTemplate, {12, 8}, {0, 0}, {12, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND control = GetDlgItem(d, c.id);
        const SIZE size = clientSize(control);
        EXPECT_EQ(size.cx, c.size.cx);
        EXPECT_EQ(size.cy, c.size.cy);
        const POINT at = placeIn(d, control);
        const int x0 = at.x + c.origin.x, y0 = at.y + c.origin.y, w = c.drawn.cx, h = c.drawn.cy;
        EXPECT_EQ(p->at(x0, y0), kRed);
        EXPECT_EQ(p->at(x0 + w - 1, y0), kGreen);
        EXPECT_EQ(p->at(x0, y0 + h - 1), kBlue);
        EXPECT_EQ(p->at(x0 + w - 1, y0 + h - 1), kYellow);
        if (c.origin.x > 0) {
            EXPECT_EQ(p->at(at.x, at.y), face) << "around a centred picture: the background";
            EXPECT_EQ(p->at(x0 + w, y0 + h), face);
        }
    }
    DestroyWindow(d);
    DeleteObject(quarters);
}

TEST_F(Extras, ABitmapStaticAnswersThePreviousPictureAndNeverDeletesOneItWasGiven) {
    HWND d = modeless(kPictures);
    HWND plain = GetDlgItem(d, kPlain), fromTemplate = GetDlgItem(d, kFromTemplate);
    HBITMAP first = LoadBitmapW(module, MAKEINTRESOURCEW(kQuarters)), second = LoadBitmapW(module, MAKEINTRESOURCEW(kQuarters));
    HICON badge = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(kBadge), IMAGE_ICON, 8, 8, 0));
    ASSERT_TRUE(first && second && badge);
    struct Step {
        const char* what;
        HWND control;
        UINT msg;
        WPARAM type;
        HANDLE image;
        HANDLE answer;
        HANDLE shown;  // STM_GETIMAGE afterwards
    };
    auto loaded = reinterpret_cast<HANDLE>(SendMessageW(fromTemplate, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(loaded, nullptr) << "the template's picture was loaded";
    const Step steps[] = {
        {"the first picture", plain, STM_SETIMAGE, IMAGE_BITMAP, first, nullptr, first},
        {"the second answers the first", plain, STM_SETIMAGE, IMAGE_BITMAP, second, first, second},
        {"an icon to a bitmap static", plain, STM_SETIMAGE, IMAGE_ICON, badge, nullptr, second},
        {"STM_SETICON to a bitmap static", plain, STM_SETICON, 0, badge, nullptr, second},
        {"a cursor", plain, STM_SETIMAGE, IMAGE_CURSOR, badge, nullptr, second},
        {"a bitmap to a text static", GetDlgItem(d, kLabel), STM_SETIMAGE, IMAGE_BITMAP, first, nullptr, nullptr},
        {"the template's own picture handed over", fromTemplate, STM_SETIMAGE, IMAGE_BITMAP, first, loaded, first},
        {"no picture", plain, STM_SETIMAGE, IMAGE_BITMAP, nullptr, second, nullptr},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const LPARAM image = reinterpret_cast<LPARAM>(s.image);
        const LRESULT answer = s.msg == STM_SETICON ? SendMessageW(s.control, s.msg, static_cast<WPARAM>(image), 0)
                                                    : SendMessageW(s.control, s.msg, s.type, image);
        EXPECT_EQ(reinterpret_cast<HANDLE>(answer), s.answer);
        EXPECT_EQ(reinterpret_cast<HANDLE>(SendMessageW(s.control, STM_GETIMAGE, IMAGE_BITMAP, 0)), s.shown);
    }
    // A picture deleted while shown paints nothing, and nothing breaks.
    SendMessageW(plain, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(second));
    DeleteObject(second);
    EXPECT_TRUE(dlg::windowPicture(d));
    DestroyWindow(d);
    BITMAP bm{};
    EXPECT_TRUE(GetObjectW(first, sizeof bm, &bm)) << "given pictures outlive the statics";
    EXPECT_TRUE(GetObjectW(loaded, sizeof bm, &bm)) << "a handed-over picture is the caller's";
    EXPECT_EQ(bm.bmWidth, 12);
    DeleteObject(first);
    DeleteObject(loaded);
    DestroyIcon(badge);
}

TEST_F(Extras, AnIconStaticShowsItsIconThroughTheMask) {
    HWND d = modeless(kPictures);
    HWND control = GetDlgItem(d, kIconStatic);
    HICON badge = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(kBadge), IMAGE_ICON, 8, 8, 0));
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(badge), 0), 0);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0)), badge);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(control, STM_GETIMAGE, IMAGE_ICON, 0)), badge);
    auto p = dlg::windowPicture(d);
    ASSERT_TRUE(p);
    const SIZE size = clientSize(control);
    const POINT at = placeIn(d, control);
    const int x0 = at.x + (size.cx - 8) / 2, y0 = at.y + (size.cy - 8) / 2;
    const uint32_t face = p->at(at.x, at.y);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(p->at(x0 + x, y0 + y), badgeMasked(x, y) ? face : kBadgeColour) << x << "," << y;
    DestroyWindow(d);
    DestroyIcon(badge);
}

// ---- Drawing icons -----------------------------------------------------------------------------------

class IconDrawing : public Extras {
protected:
    static constexpr int kSize = 20;
    static uint32_t background(int x, int y) { return static_cast<uint32_t>(0x203040 + x * 0x050301 + y * 0x010507) & 0xFFFFFF; }
    resources_test::RgbCanvas canvas{kSize, kSize, background};
    HDC dc = canvas.dc;
    uint32_t* bits = canvas.bits;
    HICON badge = nullptr;
    void SetUp() override {
        Extras::SetUp();
        badge = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(kBadge), IMAGE_ICON, 8, 8, 0));
        ASSERT_NE(badge, nullptr);
    }
    void TearDown() override {
        DestroyIcon(badge);
        Extras::TearDown();
    }
    uint32_t at(int x, int y) const { return canvas.at(x, y); }
};

TEST_F(IconDrawing, IconsLandThroughTheirMaskAtTheirSizeOrStretched) {
    struct Case {
        const char* what;
        std::function<BOOL(HDC, HICON)> draw;
        int x, y, scale;
        uint32_t opaque, transparent;  // kKeep: what was there
    };
    constexpr uint32_t kKeep = 0xFF000000;
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    const Case cases[] = {
        {"DrawIcon", [](HDC dc, HICON i) { return DrawIcon(dc, 3, 4, i); }, 3, 4, 1, kBadgeColour, kKeep},
        {"DrawIconEx at its size", [](HDC dc, HICON i) { return DrawIconEx(dc, 5, 2, i, 0, 0, 0, nullptr, DI_NORMAL); }, 5, 2,
         1, kBadgeColour, kKeep},
        {"DrawIconEx twice as big", [](HDC dc, HICON i) { return DrawIconEx(dc, 1, 1, i, 16, 16, 0, nullptr, DI_NORMAL); }, 1,
         1, 2, kBadgeColour, kKeep},
        {"the mask alone", [](HDC dc, HICON i) { return DrawIconEx(dc, 2, 2, i, 8, 8, 0, nullptr, DI_MASK); }, 2, 2, 1, 0,
         0xFFFFFF},
        {"the image alone", [](HDC dc, HICON i) { return DrawIconEx(dc, 2, 2, i, 8, 8, 0, nullptr, DI_IMAGE); }, 2, 2, 1,
         kBadgeColour, 0},
        {"over a background brush", [&](HDC dc, HICON i) { return DrawIconEx(dc, 6, 6, i, 0, 0, 0, white, DI_NORMAL); }, 6, 6,
         1, kBadgeColour, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < kSize * kSize; ++i) bits[i] = background(i % kSize, i / kSize);
        ASSERT_TRUE(c.draw(dc, badge));
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const int ix = (x - c.x) / c.scale, iy = (y - c.y) / c.scale;
                const bool inside = x >= c.x && y >= c.y && ix < 8 && iy < 8;
                uint32_t expected = background(x, y);
                if (inside) {
                    const uint32_t v = badgeMasked(ix, iy) ? c.transparent : c.opaque;
                    if (v != kKeep) expected = v;
                }
                ASSERT_EQ(at(x, y), expected) << x << "," << y;
            }
    }
}

TEST_F(IconDrawing, NoIconOrNoDcDrawsNothing) {
    struct Case {
        const char* what;
        HDC dc;
        HICON icon;
        DWORD error;
    };
    const Case cases[] = {
        {"no icon", dc, nullptr, ERROR_INVALID_ICON_HANDLE},
        {"a made-up icon", dc, reinterpret_cast<HICON>(static_cast<uintptr_t>(0x4444)), ERROR_INVALID_ICON_HANDLE},
        {"no DC", nullptr, badge, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(DrawIcon(c.dc, 0, 0, c.icon));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_FALSE(DrawIconEx(c.dc, 0, 0, c.icon, 0, 0, 0, nullptr, DI_NORMAL));
    }
    EXPECT_EQ(at(0, 0), background(0, 0));
}

// ---- Icons kept per window, metrics ----------------------------------------------------------------

TEST_F(Extras, WindowsKeepASmallAndABigIconAndTheMetricsAreFixed) {
    HWND d = modeless(kForm);
    HWND other = modeless(kPictures);
    const auto icon = [](uintptr_t v) { return reinterpret_cast<HICON>(v); };
    struct Step {
        UINT msg;
        WPARAM which;
        HICON given;
        HICON answer;
    };
    const Step steps[] = {
        {WM_GETICON, ICON_BIG, nullptr, nullptr},       {WM_SETICON, ICON_BIG, icon(0x1110), nullptr},
        {WM_GETICON, ICON_SMALL2, nullptr, icon(0x1110)},  // no small one: the big one stands in
        {WM_SETICON, ICON_SMALL, icon(0x2220), nullptr},  {WM_SETICON, ICON_SMALL, icon(0x3330), icon(0x2220)},
        {WM_GETICON, ICON_SMALL, nullptr, icon(0x3330)},  {WM_GETICON, ICON_BIG, nullptr, icon(0x1110)},
        {WM_GETICON, ICON_SMALL2, nullptr, icon(0x3330)}, {WM_SETICON, 7, icon(0x4440), nullptr},
        {WM_GETICON, 7, nullptr, nullptr},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.msg == WM_SETICON ? "set" : "get");
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(d, s.msg, s.which, reinterpret_cast<LPARAM>(s.given))), s.answer)
            << s.which;
    }
    EXPECT_EQ(SendMessageW(other, WM_GETICON, ICON_BIG, 0), 0) << "another window has its own";
    EXPECT_EQ(DefWindowProcW(d, WM_QUERYDRAGICON, 0, 0), 0);
    EXPECT_EQ(DefWindowProcW(d, WM_ICONERASEBKGND, 0, 0), 0);

    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    struct Metric {
        int index;
        int value;
    };
    const Metric metrics[] = {{SM_CXSCREEN, desktop.right}, {SM_CYSCREEN, desktop.bottom}, {SM_CXICON, 32}, {SM_CYICON, 32},
                              {SM_CXSMICON, 16},           {SM_CYSMICON, 16},             {SM_CYCAPTION, 23},
                              {SM_CXEDGE, 2},              {SM_CYEDGE, 2},                {SM_CXBORDER, 1},
                              {SM_CYBORDER, 1},            {-1, 0},                       {9999, 0}};
    for (const Metric& m : metrics) EXPECT_EQ(GetSystemMetrics(m.index), m.value) << m.index;
    EXPECT_EQ(desktop.right, 1024);
    EXPECT_EQ(desktop.bottom, 768);
    DestroyWindow(other);
    DestroyWindow(d);
}

// ---- Help --------------------------------------------------------------------------------------------

TEST_F(Extras, F1AsksTheFocusedControlsDialogForHelp) {
    runForm([](HWND d) {
        for (int id : {kName, kApply, kAgree, kPaper, kList, IDOK}) {
            SCOPED_TRACE(id);
            ASSERT_TRUE(dlg::focusControl(d, id));
            seen.clear();
            dlg::pressKey(d, VK_F1);
            std::lock_guard lock(seen.mutex);
            ASSERT_EQ(seen.help.size(), 1u) << "one WM_HELP, from the control up to its dialog";
            const HELPINFO& h = seen.help.front();
            EXPECT_EQ(h.cbSize, sizeof(HELPINFO));
            EXPECT_EQ(h.iContextType, HELPINFO_WINDOW);
            EXPECT_EQ(h.iCtrlId, id);
            EXPECT_EQ(h.hItemHandle, GetDlgItem(d, id));
            EXPECT_TRUE(seen.commands.empty()) << "F1 clicks nothing";
        }
        EXPECT_EQ(dlg::findDialogs({}, kForm).size(), 1u);
        dlg::pressKey(d, VK_ESCAPE);
    });
    // A top-level window's default does nothing with it.
    HWND top = CreateWindowExW(0, WC_DIALOG, u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(top, nullptr);
    HELPINFO info{sizeof info, HELPINFO_WINDOW, 0, top, 0, {0, 0}};
    EXPECT_EQ(DefWindowProcW(top, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)), 0);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(PostMessageW(top, WM_HELP, 0, reinterpret_cast<LPARAM>(&info))) << "it carries a pointer";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    DestroyWindow(top);
}

// ---- The system menu and the close box ---------------------------------------------------------------

LRESULT CALLBACK plainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return DefWindowProcW(hwnd, msg, wParam, lParam); }

TEST_F(Extras, TheSystemMenuHasItsItemsAndTheirStates) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = plainProc;
    wc.lpszClassName = u"MenuOwner";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    HWND framed = CreateWindowExW(0, u"MenuOwner", u"", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND bare = CreateWindowExW(0, u"MenuOwner", u"", WS_POPUP | WS_CAPTION, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(framed && bare);
    HMENU menu = GetSystemMenu(framed, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetSystemMenu(framed, FALSE), menu) << "the same menu each time";
    EXPECT_EQ(GetSystemMenu(bare, FALSE), nullptr) << "no WS_SYSMENU, no system menu";
    ASSERT_EQ(GetMenuItemCount(menu), 7);
    const UINT ids[] = {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, 0, SC_CLOSE};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(GetMenuItemID(menu, i), ids[i]) << i;
    struct Step {
        const char* what;
        std::function<UINT()> act;
        UINT answer;
    };
    const UINT missing = static_cast<UINT>(-1);
    const Step steps[] = {
        {"Restore is greyed while the window is normal", [&] { return GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND); },
         MF_GRAYED},
        {"Size is not with a thick frame", [&] { return GetMenuState(menu, SC_SIZE, MF_BYCOMMAND); }, 0},
        {"the separator by position", [&] { return GetMenuState(menu, 5, MF_BYPOSITION); }, MF_SEPARATOR},
        {"greying Close answers its old state", [&] { return static_cast<UINT>(EnableMenuItem(menu, SC_CLOSE, MF_GRAYED)); },
         MF_ENABLED},
        {"Close is greyed", [&] { return GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND); }, MF_GRAYED},
        {"disabling it by position", [&] { return static_cast<UINT>(EnableMenuItem(menu, 6, MF_BYPOSITION | MF_DISABLED)); },
         MF_GRAYED},
        {"enabling it again", [&] { return static_cast<UINT>(EnableMenuItem(menu, SC_CLOSE, MF_ENABLED)); }, MF_DISABLED},
        {"a missing command", [&] { return static_cast<UINT>(EnableMenuItem(menu, 0x1234, MF_GRAYED)); }, missing},
        {"a missing position", [&] { return GetMenuState(menu, 7, MF_BYPOSITION); }, missing},
        {"an item added", [&] { return static_cast<UINT>(AppendMenuW(menu, MF_STRING | MF_CHECKED, 0x10, u"&About")); }, TRUE},
        {"its state", [&] { return GetMenuState(menu, 0x10, MF_BYCOMMAND); }, MF_CHECKED},
        {"a pop-up item is refused", [&] { return static_cast<UINT>(AppendMenuW(menu, MF_POPUP, 0x11, u"More")); }, FALSE},
        {"eight items now", [&] { return static_cast<UINT>(GetMenuItemCount(menu)); }, 8},
        {"Close taken away", [&] { return static_cast<UINT>(DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND)); }, TRUE},
        {"and gone", [&] { return GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND); }, missing},
        {"reverted", [&] { return static_cast<UINT>(reinterpret_cast<uintptr_t>(GetSystemMenu(framed, TRUE))); }, 0},
        {"seven items again", [&] { return static_cast<UINT>(GetMenuItemCount(menu)); }, 7},
        {"Close back", [&] { return GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND); }, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.act(), s.answer);
    }
    // Bad menus and windows.
    const HMENU bogus = reinterpret_cast<HMENU>(static_cast<uintptr_t>(0x5151));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetMenuItemCount(bogus), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
    EXPECT_EQ(EnableMenuItem(bogus, SC_CLOSE, MF_GRAYED), -1);
    EXPECT_EQ(GetMenuState(nullptr, SC_CLOSE, MF_BYCOMMAND), missing);
    EXPECT_FALSE(AppendMenuW(bogus, MF_STRING, 1, u"x"));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteMenu(menu, 0x4321, MF_BYCOMMAND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetSystemMenu(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), FALSE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(framed);
    EXPECT_EQ(GetMenuItemCount(menu), -1) << "the menu went with its window";
    DestroyWindow(bare);
    UnregisterClassW(u"MenuOwner", nullptr);
}

TEST_F(Extras, AGreyedCloseKeepsTheCloseBoxAndAltF4FromClosingAModalDialogWhileEscapeCancels) {
    const LPARAM altHeld = LPARAM(1) << 29;
    struct Case {
        const char* what;
        UINT closeState;
        std::function<bool(HWND)> act;  // answers whether the action reached the dialog
        bool reached, closes;
    };
    const Case cases[] = {
        {"the close box, Close greyed", MF_GRAYED, [](HWND d) { return dlg::pressCloseBox(d); }, false, false},
        {"the close box, Close disabled", MF_DISABLED, [](HWND d) { return dlg::pressCloseBox(d); }, false, false},
        {"Alt+F4, Close greyed", MF_GRAYED,
         [&](HWND d) { return SendMessageW(d, WM_SYSKEYDOWN, VK_F4, altHeld) == 0; }, true, false},
        {"F4 without Alt", MF_ENABLED, [](HWND d) { return SendMessageW(d, WM_SYSKEYDOWN, VK_F4, 0) == 0; }, true, false},
        {"Escape, Close greyed", MF_GRAYED, [](HWND d) { return dlg::pressKey(d, VK_ESCAPE); }, true, true},
        {"the close box, Close enabled", MF_ENABLED, [](HWND d) { return dlg::pressCloseBox(d); }, true, true},
        {"Alt+F4, Close enabled", MF_ENABLED,
         [&](HWND d) { return SendMessageW(d, WM_SYSKEYDOWN, VK_F4, altHeld) == 0; }, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool stillOpen = false;
        const INT_PTR result = runForm([&](HWND d) {
            EnableMenuItem(GetSystemMenu(d, FALSE), SC_CLOSE, MF_BYCOMMAND | c.closeState);
            EXPECT_EQ(c.act(d), c.reached);
            // A move of the mouse comes after whatever the action posted: once handled, the dialog has
            // ended or it stays.
            dlg::moveMouse(d, 1, 1);
            stillOpen = !dlg::findDialogs({}, kForm).empty();
            if (stillOpen) dlg::clickButton(d, IDOK);
        });
        EXPECT_EQ(!stillOpen, c.closes);
        EXPECT_EQ(result, c.closes ? IDCANCEL : IDOK);
    }
    // No close box to click on a window that is no dialog of ours or has no caption.
    EXPECT_FALSE(dlg::pressCloseBox(nullptr));
    EXPECT_FALSE(dlg::pressCloseBox(GetDesktopWindow()));
    HWND pictures = modeless(kPictures);
    EXPECT_FALSE(dlg::pressCloseBox(pictures)) << "no WS_SYSMENU";
    DestroyWindow(pictures);
}

// ---- AnimateWindow -----------------------------------------------------------------------------------

TEST_F(Extras, AnimateWindowTakesItsTimeOnTheMachineClockAndRefusesWhatIsAlreadyDone) {
    HWND first = modeless(kPictures);
    HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(kForm), nullptr, formProc, 0);
    ASSERT_TRUE(first && d);
    ASSERT_FALSE(IsWindowVisible(d));
    struct Step {
        const char* what;
        DWORD time, flags;
        BOOL ok;
        DWORD error;
        bool visible;
    };
    const Step steps[] = {
        {"shown, fading in", 200, AW_BLEND, TRUE, 0, true},
        {"shown again", 200, AW_BLEND, FALSE, ERROR_INVALID_PARAMETER, true},
        {"hidden, sliding up", 150, AW_HIDE | AW_SLIDE | AW_VER_NEGATIVE, TRUE, 0, false},
        {"hidden again", 150, AW_HIDE | AW_SLIDE, FALSE, ERROR_INVALID_PARAMETER, false},
        {"fading from the centre", 100, AW_BLEND | AW_CENTER, FALSE, ERROR_INVALID_PARAMETER, false},
        {"an unknown flag", 100, 0x00000100, FALSE, ERROR_INVALID_PARAMETER, false},
        {"shown from the centre, activated", 0, AW_CENTER | AW_ACTIVATE, TRUE, 0, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        SetActiveWindow(first);
        const ULONGLONG before = GetTickCount64();
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(AnimateWindow(d, s.time, s.flags), s.ok);
        if (!s.ok) {
            EXPECT_EQ(GetLastError(), s.error);  // a success leaves the code as it was
        }
        EXPECT_EQ(GetTickCount64() - before, s.ok ? s.time : 0u);
        EXPECT_EQ(IsWindowVisible(d) != FALSE, s.visible);
        EXPECT_EQ(GetActiveWindow(), s.ok && (s.flags & AW_ACTIVATE) ? d : first);
    }
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(AnimateWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), 10, AW_BLEND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(d);
    DestroyWindow(first);
}

// ---- Global memory -----------------------------------------------------------------------------------

TEST(GlobalMemory, HandlesAreCheckedAndLocksCounted) {
    Machine machine;
    HGLOBAL fixed = GlobalAlloc(GPTR, 16);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(GlobalLock(fixed), fixed) << "a fixed block's handle is its address";
    EXPECT_EQ(static_cast<unsigned char*>(fixed)[15], 0);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GlobalUnlock(fixed));
    EXPECT_EQ(GetLastError(), 0u);
    HGLOBAL movable = GlobalAlloc(GHND, 10);
    ASSERT_NE(movable, nullptr);
    EXPECT_EQ(GlobalSize(movable), 10u);
    auto* p = static_cast<unsigned char*>(GlobalLock(movable));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(static_cast<void*>(p), movable);
    EXPECT_EQ(p[9], 0);
    EXPECT_EQ(GlobalLock(movable), p) << "it never moves";
    EXPECT_TRUE(GlobalUnlock(movable)) << "still locked once";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GlobalUnlock(movable));
    EXPECT_EQ(GetLastError(), 0u) << "unlocked now";
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(GlobalUnlock(movable));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(empty, nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISCARDED));
    EXPECT_EQ(GlobalFree(fixed), nullptr);
    EXPECT_EQ(GlobalFree(movable), nullptr);
    EXPECT_EQ(GlobalFree(empty), nullptr);
    // Freed and made-up handles fail cleanly everywhere.
    for (HGLOBAL bad : {fixed, movable, reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(0x1234)), HGLOBAL{nullptr}}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GlobalLock(bad), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GlobalSize(bad), 0u);
        EXPECT_FALSE(GlobalUnlock(bad));
        EXPECT_EQ(GlobalFree(bad), bad);
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GlobalAlloc(0x8000, 4), nullptr) << "an unknown flag";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    platform::setFault("GlobalAlloc", platform::Fault());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GlobalAlloc(GHND, 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    HGLOBAL after = GlobalAlloc(GHND, 4);
    EXPECT_NE(after, nullptr) << "one call failed";
    GlobalFree(after);
}

// ---- The clipboard -----------------------------------------------------------------------------------

HGLOBAL textBlock(const std::u16string& text) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
    auto* p = static_cast<WCHAR*>(GlobalLock(mem));
    std::copy(text.begin(), text.end(), p);
    p[text.size()] = 0;
    GlobalUnlock(mem);
    return mem;
}

bool putText(const std::u16string& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    const bool ok = SetClipboardData(CF_UNICODETEXT, textBlock(text)) != nullptr;
    CloseClipboard();
    return ok;
}

std::u16string clipboardText() {
    std::u16string out;
    if (!OpenClipboard(nullptr)) return u"<busy>";
    if (HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
        out = static_cast<const WCHAR*>(GlobalLock(mem));
        GlobalUnlock(mem);
    } else {
        out = u"<none>";
    }
    CloseClipboard();
    return out;
}

TEST(Clipboard, OneThreadOpensItAndTextFormatsStandInForEachOther) {
    Machine machine;
    // Nothing but IsClipboardFormatAvailable works while it is not open.
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CloseClipboard());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
    EXPECT_FALSE(EmptyClipboard());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, textBlock(u"lost")), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
    EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));

    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(OpenClipboard(nullptr)) << "again on the same thread";
    ASSERT_TRUE(EmptyClipboard());
    HGLOBAL given = textBlock(u"Caf\u00e9 menu");
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, given), given);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, nullptr), nullptr) << "delayed rendering is not modelled";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4321))), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Another thread cannot open it meanwhile.
    DWORD otherError = 0;
    BOOL otherOpened = TRUE;
    std::thread([&] {
        SetLastError(0xDEADBEEF);
        otherOpened = OpenClipboard(nullptr);
        otherError = GetLastError();
    }).join();
    EXPECT_FALSE(otherOpened);
    EXPECT_EQ(otherError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // CF_TEXT is made from the Unicode text in the machine's code page.
    HANDLE narrow = GetClipboardData(CF_TEXT);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(GlobalLock(narrow))), "Caf\xe9 menu");
    GlobalUnlock(narrow);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_TRUE(std::filesystem::exists(machine.root() / "clipboard" / "13.bin")) << "the machine's clipboard";

    // And the other way: ANSI text read as Unicode.
    std::thread([] {
        ASSERT_TRUE(OpenClipboard(nullptr)) << "free again";
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 6);
        std::memcpy(GlobalLock(mem), "na\xefve", 6);
        GlobalUnlock(mem);
        EXPECT_EQ(SetClipboardData(CF_TEXT, mem), mem);
        CloseClipboard();
    }).join();
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_EQ(clipboardText(), u"na\u00efve");
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_EQ(clipboardText(), u"<none>");
}

TEST_F(Extras, EditsCutCopyAndPasteTheirSelectionThroughTheClipboard) {
    HWND d = modeless(kForm);
    auto edit = [&](int id) { return GetDlgItem(d, id); };
    auto text = [&](int id) { return dlg::controlText(d, id); };
    auto select = [&](int id, int from, int to) { SendMessageW(edit(id), EM_SETSEL, static_cast<WPARAM>(from), to); };
    SendMessageW(edit(kTarget), EM_LIMITTEXT, 8, 0);
    ASSERT_TRUE(putText(u"before"));
    struct Step {
        const char* what;
        std::function<void()> act;
        int id;
        std::u16string text, clipboard;
        int changes;  // EN_CHANGE of the edit
    };
    const Step steps[] = {
        {"a copy of the selection", [&] { select(kName, 6, 11); SendMessageW(edit(kName), WM_COPY, 0, 0); }, kName,
         u"Hello world", u"world", 0},
        {"a paste at the end", [&] { SetWindowTextW(edit(kTarget), u"ab"); seen.clear(); select(kTarget, 2, 2);
                                     SendMessageW(edit(kTarget), WM_PASTE, 0, 0); }, kTarget, u"abworld", u"world", 1},
        {"a paste kept to the limit (EN_MAXTEXT too)",
         [&] {
             SendMessageW(edit(kTarget), WM_PASTE, 0, 0);
             EXPECT_EQ(seen.commandsOf(kTarget, EN_MAXTEXT), 1);
         },
         kTarget, u"abworldw", u"world", 1},
        {"a paste with no room", [&] { SendMessageW(edit(kTarget), WM_PASTE, 0, 0); }, kTarget, u"abworldw", u"world", 0},
        {"nothing copied from a password", [&] { select(kSecret, 0, -1); SendMessageW(edit(kSecret), WM_COPY, 0, 0); },
         kSecret, u"pin", u"world", 0},
        {"nor cut", [&] { SendMessageW(edit(kSecret), WM_CUT, 0, 0); }, kSecret, u"pin", u"world", 0},
        {"a read-only edit is not cut", [&] { select(kFixed, 0, -1); SendMessageW(edit(kFixed), WM_CUT, 0, 0); }, kFixed,
         u"fixed", u"world", 0},
        {"nor pasted into nor cleared",
         [&] { SendMessageW(edit(kFixed), WM_PASTE, 0, 0); SendMessageW(edit(kFixed), WM_CLEAR, 0, 0); }, kFixed, u"fixed",
         u"world", 0},
        {"but copied", [&] { SendMessageW(edit(kFixed), WM_COPY, 0, 0); }, kFixed, u"fixed", u"fixed", 0},
        {"a cut", [&] { select(kName, 0, 6); SendMessageW(edit(kName), WM_CUT, 0, 0); }, kName, u"world", u"Hello ", 1},
        {"a clear leaves the clipboard", [&] { select(kName, 0, 2); SendMessageW(edit(kName), WM_CLEAR, 0, 0); }, kName,
         u"rld", u"Hello ", 1},
        {"nothing selected: nothing copied", [&] { select(kName, 1, 1); SendMessageW(edit(kName), WM_COPY, 0, 0); }, kName,
         u"rld", u"Hello ", 0},
        {"a single-line edit pastes the first line",
         [&] { putText(u"one\r\ntwo"); select(kName, 0, -1); SendMessageW(edit(kName), WM_PASTE, 0, 0); }, kName, u"one",
         u"one\r\ntwo", 1},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        seen.clear();
        s.act();
        EXPECT_EQ(text(s.id), s.text);
        EXPECT_EQ(clipboardText(), s.clipboard);
        EXPECT_EQ(seen.commandsOf(s.id, EN_CHANGE), s.changes);
    }
    // While another thread holds the clipboard, a paste does nothing.
    std::promise<void> opened, done;
    std::thread holder([&] {
        OpenClipboard(nullptr);
        opened.set_value();
        done.get_future().wait();
        CloseClipboard();
    });
    opened.get_future().wait();
    select(kName, 0, -1);
    SendMessageW(edit(kName), WM_PASTE, 0, 0);
    EXPECT_EQ(text(kName), u"one");
    done.set_value();
    holder.join();
    DestroyWindow(d);
}

// Runs `child` in a forked process (no test teardown there) and answers its exit status.
template <class F>
int inChildProcess(F child) {
    const pid_t pid = fork();
    if (pid == 0) _exit(child());
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(Extras, AnotherProcessSeesTheClipboardAndWaitsWhileItIsOpenHere) {
    HWND d = modeless(kForm);
    HWND target = GetDlgItem(d, kTarget);
    ASSERT_EQ(inChildProcess([] { return putText(u"from the child") ? 0 : 1; }), 0);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    SendMessageW(target, WM_PASTE, 0, 0);
    EXPECT_EQ(dlg::controlText(d, kTarget), u"from the child");

    SendMessageW(target, EM_SETSEL, 0, -1);
    SendMessageW(target, WM_CUT, 0, 0);
    EXPECT_EQ(inChildProcess([] { return clipboardText() == u"from the child" ? 0 : 1; }), 0);
    ASSERT_TRUE(OpenClipboard(d));
    EXPECT_EQ(inChildProcess([] {
                  SetLastError(0xDEADBEEF);
                  return OpenClipboard(nullptr) ? 1 : GetLastError() == ERROR_ACCESS_DENIED ? 0 : 2;
              }), 0)
        << "open here: another process cannot open it";
    CloseClipboard();
    EXPECT_EQ(inChildProcess([] { return OpenClipboard(nullptr) && CloseClipboard() ? 0 : 1; }), 0);
    DestroyWindow(d);
}

}  // namespace
