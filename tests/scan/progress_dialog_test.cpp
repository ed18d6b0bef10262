// The progress dialog on its own thread: the ready wait, cancelling, the close rule at 100 percent,
// updates and releases from other threads, and the error box and the note.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "DialogResources.h"
#include "ErrorDlg.h"
#include "MsgDlg.h"
#include "ProgressDlg.h"
#include "support/dialog_machine.h"
#include "win/kernel.h"

namespace {

namespace dlg = platform::dialogs;
using scantest::DialogMachine;

bool logged(const std::string& line) {
    auto log = platform::debugLog();
    return std::find(log.begin(), log.end(), line) != log.end();
}

// A control's rectangle in its dialog's client coordinates.
RECT clientRectOf(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    for (POINT& p : corners) ScreenToClient(dialog, &p);
    return RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

// A progress dialog with the one reference its creator holds.
CProgressDlg* makeProgress() {
    auto* progress = new CProgressDlg;
    progress->AddRef();
    return progress;
}

TEST(ProgressDialog, ComesUpCentredWithItsTitleAndNoPages) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    CProgressDlg* progress = makeProgress();
    HWND d = progress->GetSafeHwnd();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(dlg::waitForDialog({}, 8002), d);
    WCHAR title[64] = {};
    GetWindowTextW(d, title, 64);
    EXPECT_EQ(std::u16string(title), u"Push Scan");
    EXPECT_EQ(dlg::controlText(d, IDCANCEL), m.text(8010));
    EXPECT_EQ(dlg::controlText(d, IDC_PAGE_COUNT), u"0");
    RECT desktop{}, window{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(d, &window);
    EXPECT_EQ(window.left, (desktop.right - desktop.left) / 2 - (window.right - window.left) / 2);
    EXPECT_EQ(window.top, (desktop.bottom - desktop.top) / 2 - (window.bottom - window.top) / 2);
    EXPECT_EQ(GetForegroundWindow(), d);
    CProgressDlg::ReleaseAndClear(&progress);
    EXPECT_EQ(progress, nullptr);
    EXPECT_TRUE(dlg::findDialogs({}, 8002).empty());
    EXPECT_TRUE(logged("End Progress Dialog"));
}

TEST(ProgressDialog, CancelTwiceKeepsTheFlagAndTheCancellingText) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    CProgressDlg* progress = makeProgress();
    HWND d = progress->GetSafeHwnd();
    EXPECT_FALSE(progress->IsCancelled());
    for (int press = 0; press < 2; ++press) {
        EXPECT_TRUE(dlg::clickButton(d, IDCANCEL));
        EXPECT_TRUE(progress->IsCancelled());
        EXPECT_EQ(dlg::controlText(d, IDCANCEL), m.text(8013));
        EXPECT_TRUE(IsWindow(d));  // only a release ends it
    }
    CProgressDlg::ReleaseAndClear(&progress);
}

// The system menu's Close is Cancel, except while a page shows 100 percent.
TEST(ProgressDialog, TheCloseBoxIsSwallowedAtOneHundredPercent) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    CProgressDlg* progress = makeProgress();
    HWND d = progress->GetSafeHwnd();
    progress->NewPage();
    progress->SetPercent(100);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDCANCEL)));
    // Closing posts Cancel: a second press comes back only after what the first one posted was handled.
    EXPECT_TRUE(dlg::pressCloseBox(d));
    EXPECT_TRUE(dlg::pressCloseBox(d));
    EXPECT_FALSE(progress->IsCancelled());
    EXPECT_TRUE(IsWindowVisible(d));
    progress->SetPercent(99);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(d, IDCANCEL)));
    EXPECT_TRUE(dlg::pressCloseBox(d));
    EXPECT_TRUE(dlg::pressCloseBox(d));
    EXPECT_TRUE(progress->IsCancelled());
    EXPECT_EQ(dlg::controlText(d, IDCANCEL), m.text(8013));
    EXPECT_TRUE(IsWindowVisible(d));
    CProgressDlg::ReleaseAndClear(&progress);
}

TEST(ProgressDialog, UpdatesFromTheScanThreadReachTheControls) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    CProgressDlg* progress = makeProgress();
    HWND d = progress->GetSafeHwnd();
    struct Step {
        bool newPage;
        int percent;
        std::u16string text;
        std::u16string pages;
        bool cancelShown;
    };
    const Step steps[] = {
        {true, 0, u"Scanning... 0%", u"1", true},
        {false, 37, u"Scanning... 37%", u"1", true},
        {false, 100, u"Scanning... 100%", u"1", false},
        // A new page whose first figure is the last page's is still shown (its bar went back to 0),
        // and the same figure again leaves the window as it is.
        {true, 100, u"Scanning... 100%", u"2", false},
        {false, 100, u"Scanning... 100%", u"2", false},
        {true, 10, u"Scanning... 10%", u"3", true},
    };
    for (const Step& s : steps) {
        std::thread scan([&] {
            if (s.newPage) progress->NewPage();
            progress->SetPercent(s.percent);
        });
        scan.join();
        EXPECT_EQ(dlg::controlText(d, IDC_PROGRESS_TEXT), s.text);
        EXPECT_EQ(dlg::controlText(d, IDC_PAGE_COUNT), s.pages);
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), s.percent);
        EXPECT_EQ(IsWindowVisible(GetDlgItem(d, IDCANCEL)) != FALSE, s.cancelShown);
    }
    EXPECT_TRUE(logged("3"));  // the page count also goes to the debugger output
    CProgressDlg::ReleaseAndClear(&progress);
}

TEST(ProgressDialog, TheLastReleaseFromAnotherThreadEndsTheDialogAndItsThread) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    CProgressDlg* progress = makeProgress();
    EXPECT_EQ(progress->AddRef(), 2u);
    HWND d = progress->GetSafeHwnd();
    std::thread first([&] { EXPECT_EQ(progress->Release(), 1u); });
    first.join();
    EXPECT_TRUE(IsWindow(d));
    std::thread last([&] { CProgressDlg::ReleaseAndClear(&progress); });
    last.join();
    EXPECT_EQ(progress, nullptr);
    EXPECT_FALSE(IsWindow(d));
    CProgressDlg::ReleaseAndClear(&progress);  // a cleared pointer is released no second time
}

TEST(ProgressDialog, AMissingTemplateNeverHangsTheReadyWait) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    m.useChangedLibrary([](platform::resources::ResourceFile& f) { f.dialogs.erase(8002); });
    CProgressDlg* progress = makeProgress();
    EXPECT_EQ(progress->GetSafeHwnd(), nullptr);
    progress->NewPage();
    progress->SetPercent(50);
    EXPECT_FALSE(progress->IsCancelled());
    CProgressDlg::ReleaseAndClear(&progress);
}

TEST(ProgressDialog, QueryInterfaceKnowsOneInterface) {
    DialogMachine m;
    dlg::Script scripting;  // the test acts on the dialog: the watchdog leaves it open
    CProgressDlg* progress = makeProgress();
    void* out = &out;
    EXPECT_EQ(progress->QueryInterface(IID_IProgressDialog, nullptr), E_POINTER);
    EXPECT_EQ(progress->QueryInterface(IID_IUnknown, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(progress->QueryInterface(IID_IProgressDialog, &out), S_OK);
    EXPECT_EQ(out, progress);
    EXPECT_EQ(progress->Release(), 1u);
    CProgressDlg::ReleaseAndClear(&progress);
}

// ---- The error box and the note ------------------------------------------------------------------------

// The box's picture: every pixel of the label is the background picture's (a vertical wash, the same
// along each row) or the caption's black; the OK button shows its blue skin, lighter under the mouse.
TEST(ErrorDialog, ShowsItsMessageOnTheBackgroundWithASkinnedButton) {
    DialogMachine m;
    CDlg_error dialog;
    dialog.m_strMessage = m.text(8016).c_str();
    const INT_PTR result = scantest::runModal(dialog, [&](HWND d) {
        WCHAR title[64] = {};
        GetWindowTextW(d, title, 64);
        EXPECT_EQ(std::u16string(title), m.text(8014));
        EXPECT_EQ(dlg::controlText(d, IDOK), m.text(8011));
        EXPECT_EQ(dlg::controlText(d, IDC_ERROR_MESSAGE), m.text(8016));
        EXPECT_EQ(GetForegroundWindow(), d);
        auto picture = dlg::windowPicture(d);
        ASSERT_TRUE(picture);
        EXPECT_TRUE(dlg::writePng(*picture, (m.machine.root() / "error.png").string()));
        const RECT label = clientRectOf(d, IDC_ERROR_MESSAGE);
        int caption = 0, other = 0;
        for (int y = label.top; y < label.bottom; ++y)
            for (int x = label.left; x < label.right; ++x) {
                const uint32_t p = picture->at(x, y), row = picture->at(1, y);
                if (p == 0) ++caption;
                else if (p != row) ++other;
            }
        EXPECT_GT(caption, 50);
        EXPECT_EQ(other, 0);
        const RECT ok = clientRectOf(d, IDOK);
        auto blue = [](uint32_t p) { return static_cast<int>(p & 0xFF) - static_cast<int>(p >> 16); };
        const uint32_t normal = picture->at(ok.left + 3, (ok.top + ok.bottom) / 2);
        EXPECT_GT(blue(normal), 60);
        dlg::hover(d, IDOK);
        auto hovered = dlg::windowPicture(d);
        ASSERT_TRUE(hovered);
        const uint32_t over = hovered->at(ok.left + 3, (ok.top + ok.bottom) / 2);
        EXPECT_GT((over >> 8) & 0xFF, (normal >> 8) & 0xFF);
        dlg::clickMouse(GetDlgItem(d, IDOK), 5, 5);
    });
    EXPECT_EQ(result, IDOK);
}

TEST(MessageNote, IsAModelessDialogOfItsTemplate) {
    DialogMachine m;
    CMsgDlg note;
    ASSERT_TRUE(note.Create());
    EXPECT_EQ(dlg::templateIdOf(note.GetSafeHwnd()), 8003u);
    EXPECT_TRUE(IsWindowVisible(note.GetSafeHwnd()));
    EXPECT_TRUE(note.DestroyWindow());
}

}  // namespace
