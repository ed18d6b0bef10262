// The skinned controls in real dialogs: the skin button's pictures as the mouse moves over it,
// presses it and leaves it, its click rules, the keys it ignores, its check and radio kinds; the
// transparent label standing on the dialog's own background.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "StaticTrans.h"
#include "afx/afxwin.h"
#include "platform/dialogs.h"
#include "platform/fonts.h"
#include "resources/support/pictures.h"
#include "support/scripted.h"
#include "xSkinButton.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using framework_test::ScriptedDialogs;

constexpr UINT kSkins = 300;
constexpr UINT kBanner = 301;
constexpr int kGo = 2001, kOther = 2002, kFirst = 2004, kSecond = 2005, kHidden = 2006, kCheck = 2007, kLabel = 3001,
              kPlainLabel = 3002;
constexpr UINT WM_WHO_HAS_CAPTURE = WM_APP + 7;  // answered on the dialog's thread
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;

// The skins: one flat colour each, so a picture tells which one is drawn.
constexpr uint32_t kNormal = 0x2040C0, kDown = 0xC02020, kOver = 0x20A040, kDisabled = 0x909090;
constexpr uint32_t kBackground = 0x203050;  // the banner dialog's own picture

std::string flatBmp(uint32_t rgb, int size = 8) {
    resources_test::DibShape d;
    d.width = d.height = size;
    d.pixel = [rgb](int, int) { return rgb; };
    return resources_test::bmpFile(d);
}

res::ResourceFile skinResources(bool withSkins) {
    res::DialogTemplate d;
    d.title = u"Skins";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 200;
    d.cy = 120;
    d.controls = {
        {u"BUTTON", u"Go", kGo, kVis | WS_TABSTOP | WS_GROUP, 0, 10, 10, 60, 20},
        {u"BUTTON", u"Other", kOther, kVis | WS_TABSTOP, 0, 100, 10, 60, 20},
        {u"BUTTON", u"First", kFirst, kVis | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, 10, 40, 60, 14},
        {u"BUTTON", u"Second", kSecond, kVis | BS_AUTORADIOBUTTON, 0, 10, 56, 60, 14},
        {u"BUTTON", u"Hidden", kHidden, WS_CHILD | BS_AUTORADIOBUTTON, 0, 10, 72, 60, 14},
        {u"BUTTON", u"Check", kCheck, kVis | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, 100, 40, 60, 14},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, 90, 98, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP, 0, 143, 98, 50, 14},
    };
    res::DialogTemplate banner;
    banner.title = u"Banner";
    banner.fontFace = u"MS Shell Dlg";
    banner.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    banner.cx = 160;
    banner.cy = 60;
    banner.controls = {
        {u"STATIC", u"Welcome aboard", kLabel, kVis, 0, 10, 10, 100, 12},
        {u"STATIC", u"Plain", kPlainLabel, kVis, 0, 10, 30, 100, 12},
    };
    res::ResourceFile f;
    f.dialogs[kSkins] = d;
    f.dialogs[kBanner] = banner;
    f.bitmaps[10439] = flatBmp(kBackground, 16);
    if (withSkins) {
        f.bitmaps[10431] = flatBmp(kNormal);
        f.bitmaps[10429] = flatBmp(kDown);
        f.bitmaps[10432] = flatBmp(kOver);
        f.bitmaps[10430] = flatBmp(kDisabled);
    }
    return f;
}

class CSkinDlg : public CDialog {
public:
    CSkinDlg() : CDialog(kSkins) {}
    CxSkinButton go, other, first, second, hidden, check;
    int goClicks = 0;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (CxSkinButton* b : {&go, &other, &first, &second, &hidden, &check}) b->LoadSkinBitmaps();
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kGo, go);
        DDX_Control(dx, kOther, other);
        DDX_Control(dx, kFirst, first);
        DDX_Control(dx, kSecond, second);
        DDX_Control(dx, kHidden, hidden);
        DDX_Control(dx, kCheck, check);
    }

protected:
    afx_msg void OnGo() { ++goClicks; }
    afx_msg LRESULT OnWhoHasCapture(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(::GetCapture()); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CSkinDlg, CDialog)
    ON_BN_CLICKED(kGo, OnGo)
    ON_MESSAGE(WM_WHO_HAS_CAPTURE, OnWhoHasCapture)
END_MESSAGE_MAP()

// A control's rectangle in its dialog's client coordinates.
RECT rectOf(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    return {r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
}

// The colour a button shows near its corner (away from the caption).
uint32_t skinOf(HWND dialog, int id) {
    auto picture = dlg::windowPicture(dialog);
    if (!picture) return 0xFFFFFFFF;
    const RECT r = rectOf(dialog, id);
    return picture->at(r.left + 3, r.top + 3);
}

// How many pixels of a control's rectangle have this colour.
int countIn(const dlg::Picture& picture, const RECT& r, uint32_t colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += picture.at(x, y) == colour;
    return n;
}

// A system colour as the pictures hold it (0xRRGGBB).
uint32_t sys(int index) {
    const COLORREF c = GetSysColor(index);
    return static_cast<uint32_t>(GetRValue(c)) << 16 | static_cast<uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
}

UINT stateOf(HWND dialog, int id) { return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETSTATE, 0, 0)); }

// The window that holds the mouse capture of the dialog's thread.
HWND captureOf(HWND dialog) { return reinterpret_cast<HWND>(SendMessageW(dialog, WM_WHO_HAS_CAPTURE, 0, 0)); }

// The centre of a control, in its own client coordinates.
POINT centreOf(HWND dialog, int id) {
    const RECT r = rectOf(dialog, id);
    return {(r.right - r.left) / 2, (r.bottom - r.top) / 2};
}

// Waits until the dialog's thread has taken what was posted to it (a sent message comes after).
void settle(HWND dialog) {
    for (int i = 0; i < 3; ++i) {
        PostMessageW(dialog, WM_NULL, 0, 0);
        SendMessageW(dialog, WM_NULL, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class SkinButtons : public ScriptedDialogs {
protected:
    void useSkins(bool withSkins) { ASSERT_NE(framework_test::useResources(machine, skinResources(withSkins)), nullptr); }
};

TEST_F(SkinButtons, TheSkinFollowsTheMouseAndShowsNoPressedPicture) {
    useSkins(true);
    CSkinDlg dialog;
    runModal(dialog, [&](HWND d) {
        EXPECT_EQ(skinOf(d, kGo), kNormal);
        EXPECT_TRUE(dlg::hover(d, kGo));
        EXPECT_EQ(skinOf(d, kGo), kOver);
        EXPECT_EQ(skinOf(d, kOther), kNormal);
        dlg::hover(d, kOther);  // leaving: WM_MOUSELEAVE restores the normal skin
        EXPECT_EQ(skinOf(d, kGo), kNormal);
        EXPECT_EQ(skinOf(d, kOther), kOver);
        const RECT go = rectOf(d, kGo);
        const int cx = (go.right - go.left) / 2, cy = (go.bottom - go.top) / 2;
        HWND goButton = GetDlgItem(d, kGo);
        dlg::moveMouse(goButton, cx, cy);
        EXPECT_EQ(skinOf(d, kGo), kOver);
        dlg::pressMouse(goButton, cx, cy);  // the press ends the hover look; the down skin is never drawn
        EXPECT_NE(stateOf(d, kGo) & BST_PUSHED, 0u);
        EXPECT_EQ(skinOf(d, kGo), kNormal);
        dlg::releaseMouse(goButton, cx, cy);
        dlg::moveMouse(goButton, cx + 1, cy);
        EXPECT_EQ(skinOf(d, kGo), kOver);
        dlg::focusControl(d, kGo);  // no focus skin: focus changes nothing
        dlg::hover(d, kOther);
        EXPECT_EQ(skinOf(d, kGo), kNormal);
        dlg::clickButton(d, IDCANCEL);
    });
    EXPECT_EQ(dialog.goClicks, 1);
}

TEST_F(SkinButtons, ADisabledButtonShowsItsSkinAndAnEtchedCaption) {
    useSkins(true);
    CSkinDlg dialog;
    runModal(dialog, [&](HWND d) {
        EnableWindow(GetDlgItem(d, kGo), FALSE);
        auto picture = dlg::windowPicture(d);
        ASSERT_TRUE(picture);
        const RECT r = rectOf(d, kGo);
        EXPECT_EQ(picture->at(r.left + 3, r.top + 3), kDisabled);
        // The caption twice: in the highlight colour, and in grey one pixel up and to the left.
        const int highlight = countIn(*picture, r, sys(COLOR_BTNHIGHLIGHT));
        const int grey = countIn(*picture, r, sys(COLOR_GRAYTEXT));
        EXPECT_GT(highlight, 10);
        EXPECT_GT(grey, 10);
        bool etched = false;
        for (int y = r.top + 1; y < r.bottom && !etched; ++y)
            for (int x = r.left + 1; x < r.right && !etched; ++x)
                etched = picture->at(x, y) == sys(COLOR_BTNHIGHLIGHT) && picture->at(x - 1, y - 1) == sys(COLOR_GRAYTEXT);
        EXPECT_TRUE(etched);
        dlg::hover(d, kGo);  // a disabled button gets no mouse
        EXPECT_EQ(skinOf(d, kGo), kDisabled);
        dlg::clickButton(d, IDCANCEL);
    });
}

TEST_F(SkinButtons, WithoutSkinsAButtonIsAFlatFaceWithItsCaption) {
    useSkins(false);
    CSkinDlg dialog;
    runModal(dialog, [&](HWND d) {
        dlg::hover(d, kGo);
        auto picture = dlg::windowPicture(d);
        ASSERT_TRUE(picture);
        const RECT r = rectOf(d, kGo);
        const int area = (r.right - r.left) * (r.bottom - r.top);
        const int face = countIn(*picture, r, sys(COLOR_BTNFACE));
        const int ink = countIn(*picture, r, sys(COLOR_BTNTEXT));
        EXPECT_GT(ink, 10);
        EXPECT_EQ(face + ink, area) << "a flat face and the caption, no edge";
        dlg::clickButton(d, IDCANCEL);
    });
}

TEST_F(SkinButtons, OnlyAReleaseOverTheButtonClicksIt) {
    useSkins(true);
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> moves;  // offsets from the centre while the button is held
        bool releaseInside;
        int clicks;
    };
    const Case cases[] = {
        {"press and release", {}, true, 1},
        {"dragged off and released outside", {{200, 0}}, false, 0},
        {"dragged off and back", {{200, 0}, {1, 1}}, true, 1},
        {"dragged far below", {{0, 300}}, false, 0},
    };
    for (const auto& c : cases) {
        CSkinDlg dialog;
        runModal(dialog, [&](HWND d) {
            HWND go = GetDlgItem(d, kGo);
            const RECT r = rectOf(d, kGo);
            const int cx = (r.right - r.left) / 2, cy = (r.bottom - r.top) / 2;
            dlg::pressMouse(go, cx, cy);
            EXPECT_EQ(GetCapture(), nullptr) << "the capture is the dialog thread's, not this one's";
            for (auto [dx, dy] : c.moves) {
                dlg::moveMouse(go, cx + dx, cy + dy);
                const bool inside = dx < r.right - r.left - cx && dy < r.bottom - r.top - cy;
                EXPECT_EQ((stateOf(d, kGo) & BST_PUSHED) != 0, inside) << c.what << " after " << dx << "," << dy;
            }
            const int last = c.releaseInside ? 0 : 200;
            dlg::releaseMouse(go, cx + last, cy);
            EXPECT_EQ(stateOf(d, kGo) & BST_PUSHED, 0u) << c.what;
            dlg::clickButton(d, IDCANCEL);
        });
        EXPECT_EQ(dialog.goClicks, c.clicks) << c.what;
    }
}

TEST_F(SkinButtons, EnterAndSpaceDoNothingOnASkinButton) {
    useSkins(true);
    CSkinDlg dialog;
    const INT_PTR result = runModal(dialog, [&](HWND d) {
        dlg::focusControl(d, kGo);
        dlg::pressKey(d, VK_RETURN);  // eaten on its way: not even the dialog's default button sees it
        dlg::pressKey(d, VK_SPACE);   // never reaches the button
        EXPECT_TRUE(IsWindowVisible(d));
        EXPECT_EQ(stateOf(d, kGo) & BST_PUSHED, 0u);
        dlg::focusControl(d, IDCANCEL);
        dlg::pressKey(d, VK_RETURN);  // an ordinary button still answers Enter
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.goClicks, 0);
}

TEST_F(SkinButtons, RadioKindsUncheckTheirGroupAndPushButtonsNeverCheck) {
    useSkins(true);
    CSkinDlg dialog;
    runModal(dialog, [&](HWND d) {
        auto checked = [&](int id) { return SendDlgItemMessageW(d, id, BM_GETCHECK, 0, 0); };
        SendDlgItemMessageW(d, kGo, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(checked(kGo), 0);
        SendDlgItemMessageW(d, kFirst, BM_SETCHECK, BST_CHECKED, 0);
        settle(d);
        EXPECT_EQ(checked(kFirst), 1);
        // A click on the second checks it; the first is told to uncheck by a posted message.
        const RECT r = rectOf(d, kSecond);
        dlg::clickMouse(GetDlgItem(d, kSecond), (r.right - r.left) / 2, (r.bottom - r.top) / 2);
        settle(d);
        EXPECT_EQ(checked(kSecond), 1);
        EXPECT_EQ(checked(kFirst), 0);
        // A hidden radio's walk never comes back to it: it ends after as many steps as there are controls.
        SendDlgItemMessageW(d, kHidden, BM_SETCHECK, BST_CHECKED, 0);
        settle(d);
        EXPECT_EQ(checked(kHidden), 1);
        EXPECT_EQ(checked(kSecond), 0);
        EXPECT_EQ(checked(kFirst), 0);
        dlg::clickButton(d, IDCANCEL);
    });
}

// Behaviours of the button that a fault could break unseen, each with what shows it.
TEST_F(SkinButtons, ClicksFocusCheckKindAndBareDisabledLook) {
    struct Case {
        const char* what;
        bool withSkins;
        std::function<void(HWND)> act;  // acts and checks on the dialog
        int goClicks;
    };
    const Case cases[] = {
        {"a double click is one click: the second press is dropped", true,
         [](HWND d) {
             const POINT c = centreOf(d, kGo);
             EXPECT_TRUE(dlg::doubleClickMouse(GetDlgItem(d, kGo), c.x, c.y));
             settle(d);
         },
         1},
        {"losing the focus while pressed releases the capture and ends the pushed look", true,
         [](HWND d) {
             HWND go = GetDlgItem(d, kGo);
             const POINT c = centreOf(d, kGo);
             dlg::pressMouse(go, c.x, c.y);
             ASSERT_EQ(captureOf(d), go);
             ASSERT_NE(stateOf(d, kGo) & BST_PUSHED, 0u);
             dlg::focusControl(d, kOther);
             EXPECT_EQ(captureOf(d), nullptr);
             EXPECT_EQ(stateOf(d, kGo) & BST_PUSHED, 0u);
             EXPECT_EQ(skinOf(d, kGo), kNormal);
             dlg::releaseMouse(go, c.x, c.y);  // the press is over: this release clicks nothing
         },
         0},
        {"the check-box kind toggles on each click", true,
         [](HWND d) {
             HWND check = GetDlgItem(d, kCheck);
             const POINT c = centreOf(d, kCheck);
             for (LRESULT expected : {1, 0, 1}) {
                 dlg::clickMouse(check, c.x, c.y);
                 EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), expected);
             }
         },
         0},
        {"disabled with its skins missing: a flat face and an etched caption", false,
         [](HWND d) {
             EnableWindow(GetDlgItem(d, kGo), FALSE);
             auto picture = dlg::windowPicture(d);
             ASSERT_TRUE(picture);
             const RECT r = rectOf(d, kGo);
             const int area = (r.right - r.left) * (r.bottom - r.top);
             const int face = countIn(*picture, r, sys(COLOR_BTNFACE));
             const int highlight = countIn(*picture, r, sys(COLOR_BTNHIGHLIGHT));
             const int grey = countIn(*picture, r, sys(COLOR_GRAYTEXT));
             EXPECT_EQ(picture->at(r.left + 3, r.top + 3), sys(COLOR_BTNFACE));
             EXPECT_GT(highlight, 10);
             EXPECT_GT(grey, 10);
             EXPECT_EQ(face + highlight + grey, area) << "nothing but the face and the two captions";
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useSkins(c.withSkins);
        CSkinDlg dialog;
        runModal(dialog, [&](HWND d) {
            c.act(d);
            dlg::clickButton(d, IDCANCEL);
        });
        EXPECT_EQ(dialog.goClicks, c.goClicks);
        FreeLibrary(AfxGetResourceHandle());
        AfxSetResourceHandle(nullptr);
    }
}

// The temporary wrapper that painting makes of each paint's device context goes with the context.
TEST_F(SkinButtons, PaintingOftenLeavesNoWrappersOrObjectsBehind) {
    useSkins(true);
    CSkinDlg dialog;
    runModal(dialog, [&](HWND d) {
        ASSERT_TRUE(dlg::windowPicture(d));
        const size_t wrappers = platform::afx::liveTemporaryWrappers();
        const size_t objects = platform::fonts::liveGdiObjects();
        for (int i = 0; i < 300; ++i) ASSERT_TRUE(dlg::windowPicture(d));
        EXPECT_EQ(platform::afx::liveTemporaryWrappers(), wrappers);
        EXPECT_EQ(platform::fonts::liveGdiObjects(), objects);
        dlg::clickButton(d, IDCANCEL);
    });
}

// ---- The transparent label -----------------------------------------------------------------------
class CBannerDlg : public CDialog {
public:
    CBannerDlg() : CDialog(kBanner) {}
    CStaticTrans label;
    CBitmap background;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        background.LoadBitmap(10439);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kLabel, label); }

protected:
    afx_msg BOOL OnEraseBkgnd(CDC* dc) {
        CRect client;
        GetClientRect(&client);
        dc->StretchBitmap(background, client.Width(), client.Height());
        return TRUE;
    }
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) { return CDialog::OnCtlColor(dc, wnd, kind); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CBannerDlg, CDialog)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

TEST_F(SkinButtons, ATransparentLabelInksOnlyItsGlyphsOnTheDialogsPicture) {
    useSkins(true);
    CBannerDlg dialog;
    runModal(dialog, [&](HWND d) {
        const RECT label = rectOf(d, kLabel);
        auto with = dlg::windowPicture(d);
        ASSERT_TRUE(with);
        const int area = (label.right - label.left) * (label.bottom - label.top);
        const int ink = countIn(*with, label, 0x000000);
        EXPECT_GT(ink, 20);
        EXPECT_EQ(countIn(*with, label, kBackground) + ink, area) << "no background rectangle, only glyphs";
        // A plain static next to it paints its own face.
        EXPECT_GT(countIn(*with, rectOf(d, kPlainLabel), sys(COLOR_BTNFACE)), 0);

        const size_t objects = platform::fonts::liveGdiObjects();
        for (int i = 0; i < 5; ++i) dlg::windowPicture(d);
        EXPECT_EQ(platform::fonts::liveGdiObjects(), objects) << "repaints leave no brush behind";

        // The mouse over it is only the default handling (it has no tooltip).
        dlg::hover(d, kLabel);
        SetDlgItemTextW(d, kLabel, u"");
        auto without = dlg::windowPicture(d);
        ASSERT_TRUE(without);
        EXPECT_EQ(countIn(*without, label, kBackground), area);
        dlg::pressKey(d, VK_ESCAPE);
    });
    EXPECT_STREQ(dialog.label.GetRuntimeClass()->m_lpszClassName, "CStaticTrans");
    EXPECT_EQ(dialog.label.GetRuntimeClass()->m_wSchema, 0xFFFFu);
    EXPECT_TRUE(dialog.label.IsKindOf(RUNTIME_CLASS(CStatic)));
}

}  // namespace
