// Dialogs and the built-in controls: modal dialogs from a resource module's template scripted from
// another thread (typing, keys, clicks), the dialog keys and Tab order, buttons and radio groups, combo
// boxes, progress bars, list views, edits, message boxes, and the watchdog that ends modal dialogs
// nobody scripts.
#include <gtest/gtest.h>

#include <functional>
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
#include "win/kernel.h"
#include "win/user.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using platform::testing::Machine;

constexpr UINT kSettings = 100;
constexpr UINT kMirrored = 101;
constexpr UINT kBroken = 102;
constexpr int kName = 1001, kPassword = 1002, kDuplex = 1003, kGrey = 1010, kColour = 1011, kMono = 1012,
              kPaper = 1020, kProgress = 1030, kJobs = 1040, kDrawn = 1050, kStatus = 1060;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;

res::DialogTemplate settingsDialog() {
    res::DialogTemplate d;
    d.title = u"Scan settings";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 240;
    d.cy = 180;
    d.controls = {
        {u"STATIC", u"Name:", -1, kVis, 0, 7, 7, 50, 8},
        {u"EDIT", u"", kName, kVis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 60, 5, 120, 12},
        {u"EDIT", u"", kPassword, kVis | WS_TABSTOP | ES_PASSWORD, 0, 60, 20, 120, 12},
        {u"BUTTON", u"Duplex", kDuplex, kVis | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 7, 35, 80, 10},
        {u"BUTTON", u"Grey", kGrey, kVis | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, 7, 48, 60, 10},
        {u"BUTTON", u"Colour", kColour, kVis | BS_AUTORADIOBUTTON, 0, 7, 60, 60, 10},
        {u"BUTTON", u"Mono", kMono, kVis | BS_AUTORADIOBUTTON, 0, 7, 72, 60, 10},
        {u"COMBOBOX", u"", kPaper, kVis | WS_TABSTOP | WS_GROUP | CBS_DROPDOWNLIST, 0, 90, 48, 100, 60},
        {u"msctls_progress32", u"", kProgress, kVis, 0, 7, 90, 226, 10},
        {u"SysListView32", u"", kJobs, kVis | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, 0, 7, 104, 226, 40},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, 130, 160, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP | BS_PUSHBUTTON, 0, 183, 160, 50, 14},
        {u"BUTTON", u"", kDrawn, kVis | WS_TABSTOP | BS_OWNERDRAW, 0, 7, 160, 40, 14},
        {u"STATIC", u"Ready", kStatus, kVis, 0, 7, 148, 100, 8},
    };
    return d;
}

HMODULE loadModule(const Machine& machine) {
    res::ResourceFile f;
    f.dialogs[kSettings] = settingsDialog();
    auto mirrored = settingsDialog();
    mirrored.title = u"Mirrored";
    mirrored.exStyle = res::kLayoutRightToLeft;
    mirrored.pointSize = 14;
    f.dialogs[kMirrored] = mirrored;
    auto broken = settingsDialog();
    broken.title = u"Broken";
    broken.controls.push_back({u"NoSuchClass", u"", 1099, kVis, 0, 0, 0, 10, 10});
    f.dialogs[kBroken] = broken;
    return resources_test::loadResources(machine, rescomp::writeResourceFile(f));
}

// What the dialog procedure saw (used on the dialog's thread, read once the dialog is over).
struct Seen {
    LPARAM initParam = 0;
    std::u16string okText;
    std::vector<std::pair<int, int>> commands;  // id, notification code
    std::vector<std::pair<int, UINT>> itemChanges;  // item, new state
    std::vector<UINT> drawStates;
    HBRUSH brush = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(0x5151));
};
Seen seen;

int commandsOf(int id, int code) {
    int n = 0;
    for (auto& [i, c] : seen.commands) n += i == id && c == code;
    return n;
}

INT_PTR CALLBACK settingsProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: seen.initParam = lParam; return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        seen.commands.push_back({id, HIWORD(wParam)});
        if (id == IDOK) {
            WCHAR text[64] = {};
            GetDlgItemTextW(hwnd, kName, text, 64);
            seen.okText = text;
            EndDialog(hwnd, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(hwnd, IDCANCEL);
        }
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if (nm->hdr.code == LVN_ITEMCHANGED) seen.itemChanges.push_back({nm->iItem, nm->uNewState});
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    case WM_DRAWITEM: seen.drawStates.push_back(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->itemState); return TRUE;
    case WM_CTLCOLORSTATIC:
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(200, 0, 0));
        return reinterpret_cast<INT_PTR>(seen.brush);
    default: return FALSE;
    }
}

class Dialogs : public ::testing::Test {
protected:
    Machine machine;
    HMODULE module = nullptr;
    test_support::UnscriptedDialogs unscripted;

    void SetUp() override {
        seen = Seen{};
        module = loadModule(machine);
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }

    // Runs the settings dialog modally on this thread while `script` acts on it from another thread.
    INT_PTR runScripted(const std::function<void(HWND)>& script, HWND owner = nullptr, UINT id = kSettings) {
        return test_support::runScripted(
            id, [&] { return DialogBoxParamW(module, MAKEINTRESOURCEW(id), owner, settingsProc, 42); }, script);
    }

    // A modeless settings dialog on this thread, for the controls' own behaviour.
    HWND modeless(UINT id = kSettings) {
        HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(id), nullptr, settingsProc, 7);
        EXPECT_NE(d, nullptr) << GetLastError();
        return d;
    }
};

// ---- The modal loop, the dialog keys --------------------------------------------------------------

TEST_F(Dialogs, TypingAndEnterEndWithIdokAndTheProcedureReadsTheText) {
    const INT_PTR result = runScripted([](HWND d) {
        EXPECT_EQ(dlg::templateIdOf(d), kSettings);
        EXPECT_EQ(dlg::focusedControl(d), GetDlgItem(d, kName));  // WM_INITDIALOG answered TRUE
        EXPECT_TRUE(dlg::typeText(d, kName, u"Invoices"));
        EXPECT_EQ(dlg::controlText(d, kName), u"Invoices");
        EXPECT_TRUE(dlg::pressKey(d, VK_RETURN));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.initParam, 42);
    EXPECT_EQ(seen.okText, u"Invoices");
    EXPECT_EQ(commandsOf(kName, EN_CHANGE), 8);
    EXPECT_TRUE(unscripted.empty());
    EXPECT_TRUE(dlg::findDialogs().empty());
}

TEST_F(Dialogs, KeysAndClosingEndTheDialogAsADialogDoes) {
    struct Case {
        const char* what;
        std::function<void(HWND)> act;
        INT_PTR expected;
    };
    const Case cases[] = {
        {"Escape", [](HWND d) { dlg::pressKey(d, VK_ESCAPE); }, IDCANCEL},
        {"Enter on the focused Cancel button",
         [](HWND d) {
             dlg::focusControl(d, IDCANCEL);
             dlg::pressKey(d, VK_RETURN);
         },
         IDCANCEL},
        {"Enter on an edit takes the default button", [](HWND d) { dlg::pressKey(d, VK_RETURN); }, IDOK},
        {"WM_CLOSE", [](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); }, IDCANCEL},
        {"a click on OK", [](HWND d) { dlg::clickButton(d, IDOK); }, IDOK},
    };
    for (const auto& c : cases) {
        seen = Seen{};
        EXPECT_EQ(runScripted(c.act), c.expected) << c.what;
    }
    EXPECT_TRUE(unscripted.empty());
}

TEST_F(Dialogs, TabAndShiftTabMoveAmongTabStopsAndWrap) {
    runScripted([](HWND d) {
        const int forward[] = {kPassword, kDuplex, kGrey, kPaper, kJobs, IDOK, IDCANCEL, kDrawn, kName};
        for (int id : forward) {
            dlg::pressKey(d, VK_TAB);
            EXPECT_EQ(GetDlgCtrlID(dlg::focusedControl(d)), id);
        }
        dlg::pressKey(d, VK_TAB, true);
        EXPECT_EQ(GetDlgCtrlID(dlg::focusedControl(d)), kDrawn);
        dlg::pressKey(d, VK_TAB);
        // Tabbing into an edit selects its text.
        dlg::typeText(d, kName, u"abc");
        dlg::pressKey(d, VK_TAB);
        dlg::pressKey(d, VK_TAB, true);
        DWORD start = 9, end = 9;
        SendDlgItemMessageW(d, kName, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 3u);
        dlg::pressKey(d, VK_ESCAPE);
    });
}

TEST_F(Dialogs, CheckBoxesToggleAndAutoRadioButtonsKeepOneOfTheirGroup) {
    runScripted([](HWND d) {
        dlg::clickButton(d, kDuplex);
        EXPECT_EQ(dlg::checkState(d, kDuplex), static_cast<UINT>(BST_CHECKED));
        dlg::clickButton(d, kDuplex);
        EXPECT_EQ(dlg::checkState(d, kDuplex), static_cast<UINT>(BST_UNCHECKED));
        struct Step {
            int click;
            UINT grey, colour, mono;
        };
        const Step steps[] = {{kColour, 0, 1, 0}, {kMono, 0, 0, 1}, {kGrey, 1, 0, 0}, {kGrey, 1, 0, 0}};
        for (const auto& s : steps) {
            dlg::clickButton(d, s.click);
            EXPECT_EQ(dlg::checkState(d, kGrey), s.grey) << s.click;
            EXPECT_EQ(dlg::checkState(d, kColour), s.colour) << s.click;
            EXPECT_EQ(dlg::checkState(d, kMono), s.mono) << s.click;
        }
        EXPECT_EQ(GetDlgCtrlID(dlg::focusedControl(d)), kGrey);  // a click gives the focus
        EXPECT_TRUE(CheckDlgButton(d, kMono, BST_CHECKED));     // BM_SETCHECK leaves the others alone
        EXPECT_EQ(IsDlgButtonChecked(d, kMono), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(d, kGrey), static_cast<UINT>(BST_CHECKED));
        EXPECT_TRUE(CheckRadioButton(d, kGrey, kMono, kColour));
        EXPECT_EQ(IsDlgButtonChecked(d, kColour) * 4 + IsDlgButtonChecked(d, kGrey) * 2 + IsDlgButtonChecked(d, kMono), 4u);
        dlg::pressKey(d, VK_ESCAPE);
    });
    EXPECT_EQ(commandsOf(kDuplex, BN_CLICKED), 2);
    EXPECT_EQ(commandsOf(kGrey, BN_CLICKED), 2);
    EXPECT_EQ(commandsOf(kColour, BN_CLICKED), 1);
}

TEST_F(Dialogs, AWorkerSendsToTheDisabledOwnerWhileTheModalDialogRuns) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        return m == WM_USER + 5 ? static_cast<LRESULT>(w * 2) : DefWindowProcW(h, m, w, l);
    };
    wc.lpszClassName = u"DialogOwner";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    HWND owner = CreateWindowExW(0, u"DialogOwner", u"Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    const INT_PTR result = runScripted(
        [owner](HWND d) {
            EXPECT_FALSE(IsWindowEnabled(owner));
            EXPECT_EQ(GetParent(d), owner);
            EXPECT_EQ(SendMessageW(owner, WM_USER + 5, 21, 0), 42);
            WCHAR title[32] = {};
            EXPECT_EQ(SendMessageW(d, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(title)), 13);
            EXPECT_EQ(std::u16string(title), u"Scan settings");
            dlg::pressKey(d, VK_ESCAPE);
        },
        owner);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
    UnregisterClassW(u"DialogOwner", nullptr);
}

TEST_F(Dialogs, AModalDialogRunsOnAWorkerThreadAndNestsInAnother) {
    INT_PTR inner = 0, outer = 0;
    std::thread worker([&] {
        HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(kSettings), nullptr, settingsProc, 1);
        ASSERT_NE(d, nullptr);
        // The modal dialog nests in this thread's modeless one and disables it.
        outer = DialogBoxParamW(module, MAKEINTRESOURCEW(kMirrored), d, settingsProc, 2);
        inner = IsWindowEnabled(d);
        DestroyWindow(d);
    });
    {
        dlg::Script scripting;
        HWND m = dlg::waitForDialog(u"Mirrored");
        ASSERT_NE(m, nullptr);
        HWND owner = GetParent(m);
        EXPECT_FALSE(IsWindowEnabled(owner));
        dlg::typeText(m, kName, u"x");
        dlg::pressKey(m, VK_RETURN);
    }
    worker.join();
    EXPECT_EQ(outer, IDOK);
    EXPECT_TRUE(inner);
}

// ---- The controls ------------------------------------------------------------------------------------

TEST_F(Dialogs, AComboBoxKeepsItsItemsAndTellsTheParentOfAUsersChoice) {
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    for (const char16_t* paper : {u"A4", u"Letter", u"Legal"})
        SendDlgItemMessageW(d, kPaper, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(paper));
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(commandsOf(kPaper, CBN_SELCHANGE), 0);  // only a user's choice notifies
    EXPECT_EQ(dlg::controlText(d, kPaper), u"Letter");
    EXPECT_TRUE(dlg::chooseComboItem(d, kPaper, 2));
    EXPECT_EQ(commandsOf(kPaper, CBN_SELCHANGE), 1);
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETCURSEL, 0, 0), 2);
    WCHAR text[16] = {};
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_EQ(std::u16string(text), u"Legal");
    // Bad indexes fail plainly.
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text)), CB_ERR);
    EXPECT_FALSE(dlg::chooseComboItem(d, kPaper, 9));
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_SETCURSEL, 7, 0), CB_ERR);
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETCURSEL, 0, 0), CB_ERR);
    DestroyWindow(d);
}

TEST_F(Dialogs, AProgressBarKeepsItsPositionWithinItsRange) {
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    struct Step {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT answer;
        int pos;
    };
    const Step steps[] = {
        {PBM_SETRANGE, 0, MAKELPARAM(0, 200), MAKELONG(0, 100), 0},
        {PBM_SETPOS, 50, 0, 0, 50},
        {PBM_DELTAPOS, 30, 0, 50, 80},
        {PBM_SETSTEP, 60, 0, 10, 80},
        {PBM_STEPIT, 0, 0, 80, 140},
        {PBM_STEPIT, 0, 0, 140, 200},
        {PBM_STEPIT, 0, 0, 200, 60},  // past the end it starts over
        {PBM_SETPOS, 500, 0, 60, 200},
        {PBM_DELTAPOS, static_cast<WPARAM>(-300), 0, 200, 0},
        {PBM_GETRANGE, TRUE, 0, 0, 0},
        {PBM_GETRANGE, FALSE, 0, 200, 0},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(SendDlgItemMessageW(d, kProgress, s.msg, s.wParam, s.lParam), s.answer) << std::hex << s.msg;
        EXPECT_EQ(SendDlgItemMessageW(d, kProgress, PBM_GETPOS, 0, 0), s.pos) << std::hex << s.msg;
    }
    DestroyWindow(d);
}

TEST_F(Dialogs, AListViewKeepsItemsAndSubItemsAndNotifiesSelection) {
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    HWND list = GetDlgItem(d, kJobs);
    for (const char16_t* name : {u"Document", u"Pages"}) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = 100;
        col.pszText = const_cast<LPWSTR>(name);
        EXPECT_GE(SendMessageW(list, LVM_INSERTCOLUMNW, 5, reinterpret_cast<LPARAM>(&col)), 0);
    }
    const char16_t* docs[][2] = {{u"report.pdf", u"12"}, {u"memo.txt", u"1"}, {u"photo.jpg", u"3"}};
    for (int i = 0; i < 3; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = 99;  // past the end: appended
        item.pszText = const_cast<LPWSTR>(docs[i][0]);
        EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), i);
        item.iSubItem = 1;
        item.pszText = const_cast<LPWSTR>(docs[i][1]);
        EXPECT_TRUE(SendMessageW(list, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item)));
    }
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    WCHAR text[32] = {};
    LVITEMW get{};
    get.iSubItem = 1;
    get.pszText = text;
    get.cchTextMax = 32;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&get)), 2);
    EXPECT_EQ(std::u16string(text), u"12");
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);

    EXPECT_TRUE(dlg::selectListItem(d, kJobs, 1));
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    EXPECT_TRUE(dlg::selectListItem(d, kJobs, 2));  // single selection: item 1 lets go
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 2);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, 2, LVNI_SELECTED), -1);
    const std::vector<std::pair<int, UINT>> expected = {
        {1, LVIS_SELECTED | LVIS_FOCUSED}, {1, LVIS_FOCUSED}, {1, 0}, {2, LVIS_SELECTED | LVIS_FOCUSED}};
    EXPECT_EQ(seen.itemChanges, expected);
    EXPECT_FALSE(dlg::selectListItem(d, kJobs, 3));
    EXPECT_EQ(SendMessageW(list, LVM_SETITEMTEXTW, 3, reinterpret_cast<LPARAM>(&get)), FALSE);
    DestroyWindow(d);
}

TEST_F(Dialogs, AnEditTakesTypingWithinItsLimitSelectionAndPasswordCharacter) {
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    SendDlgItemMessageW(d, kName, EM_LIMITTEXT, 5, 0);
    EXPECT_EQ(SendDlgItemMessageW(d, kName, EM_GETLIMITTEXT, 0, 0), 5);
    dlg::typeText(d, kName, u"abcdefgh");
    EXPECT_EQ(dlg::controlText(d, kName), u"abcde");
    EXPECT_EQ(commandsOf(kName, EN_CHANGE), 5);
    EXPECT_EQ(commandsOf(kName, EN_MAXTEXT), 3);
    SendDlgItemMessageW(d, kName, EM_SETSEL, 1, 3);
    EXPECT_EQ(SendDlgItemMessageW(d, kName, EM_GETSEL, 0, 0), MAKELONG(1, 3));
    dlg::typeText(d, kName, u"X");
    EXPECT_EQ(dlg::controlText(d, kName), u"aXde");
    dlg::typeText(d, kName, u"\b\b");
    EXPECT_EQ(dlg::controlText(d, kName), u"de");
    EXPECT_TRUE(SetDlgItemTextW(d, kName, u"  -17 "));
    BOOL ok = FALSE;
    EXPECT_EQ(static_cast<int>(GetDlgItemInt(d, kName, &ok, TRUE)), -17);
    EXPECT_TRUE(ok);

    dlg::typeText(d, kPassword, u"secret");
    EXPECT_EQ(dlg::controlText(d, kPassword), u"secret");
    EXPECT_EQ(dlg::shownText(d, kPassword), u"******");
    SendDlgItemMessageW(d, kPassword, EM_SETPASSWORDCHAR, u'#', 0);
    EXPECT_EQ(SendDlgItemMessageW(d, kPassword, EM_GETPASSWORDCHAR, 0, 0), u'#');
    EXPECT_EQ(dlg::shownText(d, kPassword), u"######");
    SendDlgItemMessageW(d, kPassword, EM_SETPASSWORDCHAR, 0, 0);
    EXPECT_EQ(dlg::shownText(d, kPassword), u"secret");
    DestroyWindow(d);
}

TEST_F(Dialogs, NumbersInControlsReadAsDialogsReadThem) {
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    struct Case {
        const char16_t* text;
        BOOL isSigned;
        BOOL ok;
        UINT value;
    };
    const Case cases[] = {
        {u"42", FALSE, TRUE, 42},          {u"  7  ", FALSE, TRUE, 7},       {u"-7", TRUE, TRUE, static_cast<UINT>(-7)},
        {u"-7", FALSE, FALSE, 0},          {u"12x", FALSE, FALSE, 0},        {u"", FALSE, FALSE, 0},
        {u"4294967295", FALSE, TRUE, 0xFFFFFFFFu}, {u"4294967296", FALSE, FALSE, 0}, {u"2147483648", TRUE, FALSE, 0},
    };
    for (const auto& c : cases) {
        SetDlgItemTextW(d, kName, c.text);
        BOOL ok = !c.ok;
        EXPECT_EQ(GetDlgItemInt(d, kName, &ok, c.isSigned), c.value) << platform::toUtf8(c.text);
        EXPECT_EQ(ok, c.ok) << platform::toUtf8(c.text);
    }
    EXPECT_TRUE(SetDlgItemInt(d, kName, static_cast<UINT>(-5), TRUE));
    EXPECT_EQ(dlg::controlText(d, kName), u"-5");
    EXPECT_TRUE(SetDlgItemInt(d, kName, static_cast<UINT>(-5), FALSE));
    EXPECT_EQ(dlg::controlText(d, kName), u"4294967291");
    DestroyWindow(d);
}

TEST_F(Dialogs, OwnerDrawnButtonsAndStaticsAskTheirParent) {
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    seen.drawStates.clear();
    EXPECT_TRUE(dlg::clickButton(d, kDrawn));
    ASSERT_EQ(seen.drawStates.size(), 2u);
    EXPECT_TRUE(seen.drawStates[0] & ODS_SELECTED);
    EXPECT_FALSE(seen.drawStates[1] & ODS_SELECTED);
    EXPECT_EQ(commandsOf(kDrawn, BN_CLICKED), 1);
    const auto colours = dlg::staticColours(d, kStatus);
    EXPECT_EQ(colours.brush, seen.brush);
    EXPECT_EQ(colours.text, RGB(200, 0, 0));
    // A disabled button is not clicked.
    EnableWindow(GetDlgItem(d, IDOK), FALSE);
    EXPECT_FALSE(dlg::clickButton(d, IDOK));
    EXPECT_EQ(commandsOf(IDOK, BN_CLICKED), 0);
    DestroyWindow(d);
}

TEST_F(Dialogs, TheTemplateLaysOutInDialogUnitsAndKeepsRightToLeft) {
    HWND plain = modeless(kSettings);
    HWND mirrored = modeless(kMirrored);
    ASSERT_TRUE(plain && mirrored);
    EXPECT_FALSE(GetWindowLongW(plain, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_TRUE(GetWindowLongW(mirrored, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_FALSE(IsWindowVisible(plain));  // the template does not say WS_VISIBLE
    // Controls sit where the template's dialog units put them with the dialog's font.
    RECT units{4, 8, 8, 16};
    EXPECT_TRUE(MapDialogRect(plain, &units));
    EXPECT_GT(units.left, 0);
    EXPECT_GT(units.top, 0);
    RECT big{4, 8, 8, 16};
    EXPECT_TRUE(MapDialogRect(mirrored, &big));  // a 14-point font makes larger units than 8 points
    EXPECT_GT(big.right, units.right);
    EXPECT_GT(big.bottom, units.bottom);
    for (HWND d : {plain, mirrored}) {
        RECT dialogRect{}, editRect{}, expected{60, 5, 180, 17}, size{0, 0, 240, 180}, client{};
        ASSERT_TRUE(MapDialogRect(d, &expected));
        ASSERT_TRUE(MapDialogRect(d, &size));
        GetWindowRect(d, &dialogRect);
        GetWindowRect(GetDlgItem(d, kName), &editRect);
        EXPECT_EQ(editRect.left - dialogRect.left, expected.left);
        EXPECT_EQ(editRect.top - dialogRect.top, expected.top);
        EXPECT_EQ(editRect.right - dialogRect.left, expected.right);
        EXPECT_EQ(editRect.bottom - dialogRect.top, expected.bottom);
        GetClientRect(d, &client);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
    }
    EXPECT_FALSE(MapDialogRect(nullptr, &units));
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(plain, kJobs)), kJobs);
    WCHAR cls[32] = {};
    GetClassNameW(GetDlgItem(plain, kJobs), cls, 32);
    EXPECT_EQ(std::u16string(cls), u"SysListView32");
    EXPECT_EQ(dlg::findDialogs(u"Mirrored").size(), 1u);
    EXPECT_EQ(dlg::findDialogs({}, kSettings), std::vector<HWND>{plain});
    DestroyWindow(plain);
    DestroyWindow(mirrored);
    EXPECT_TRUE(dlg::findDialogs().empty());
}

TEST_F(Dialogs, BadTemplatesHandlesAndMessagesFailPlainly) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(999), nullptr, settingsProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kSettings), nullptr, settingsProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(CreateDialogParamW(module, u"ByName", nullptr, settingsProc, 0), nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(kBroken), nullptr, settingsProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_TRUE(dlg::findDialogs().empty());
    const HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(kSettings), bogus, settingsProc, 0), -1);
    EXPECT_FALSE(EndDialog(bogus, 1));
    EXPECT_FALSE(EndDialog(nullptr, 1));
    MSG msg{};
    EXPECT_FALSE(IsDialogMessageW(bogus, &msg));
    EXPECT_FALSE(IsDialogMessageW(nullptr, nullptr));
    EXPECT_EQ(GetDlgItemTextW(bogus, 1, nullptr, 0), 0u);
    EXPECT_EQ(SendDlgItemMessageW(bogus, 1, WM_USER, 0, 0), 0);
    EXPECT_FALSE(dlg::pressKey(bogus, VK_RETURN));
    EXPECT_FALSE(dlg::clickButton(bogus, IDOK));
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", 0xE), 0);
    HWND d = modeless();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(d, kJobs, LVM_INSERTITEMW, 0, 0), -1);
    EXPECT_EQ(SendDlgItemMessageW(d, kJobs, LVM_INSERTCOLUMNW, 0, 0), -1);
    EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_ADDSTRING, 0, 0), CB_ERR);
    EXPECT_EQ(GetNextDlgTabItem(d, bogus, FALSE), nullptr);
    DestroyWindow(d);
}

// ---- Message boxes and the watchdog ------------------------------------------------------------------

TEST_F(Dialogs, MessageBoxesAnswerWithTheButtonTheScriptChooses) {
    struct Case {
        UINT type;
        std::function<void(HWND)> act;
        int expected;
    };
    const auto key = [](UINT vk) { return [vk](HWND d) { dlg::pressKey(d, vk); }; };
    const auto click = [](int id) { return [id](HWND d) { dlg::clickButton(d, id); }; };
    const Case cases[] = {
        {MB_OK, key(VK_RETURN), IDOK},
        {MB_OK, key(VK_ESCAPE), IDOK},
        {MB_OKCANCEL, key(VK_ESCAPE), IDCANCEL},
        {MB_OKCANCEL, key(VK_RETURN), IDOK},
        {MB_YESNO, click(IDNO), IDNO},
        {MB_YESNO,
         [](HWND d) {
             dlg::pressKey(d, VK_ESCAPE);  // no Cancel button: Escape does nothing
             EXPECT_EQ(dlg::findDialogs(u"Question").size(), 1u);
             dlg::clickButton(d, IDYES);
         },
         IDYES},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, key(VK_RETURN), IDNO},
        {MB_YESNOCANCEL, key(VK_ESCAPE), IDCANCEL},
        {MB_RETRYCANCEL, click(IDRETRY), IDRETRY},
        {MB_RETRYCANCEL, click(IDCANCEL), IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, key(VK_RETURN), IDIGNORE},
    };
    for (const auto& c : cases) {
        std::thread worker([&, scripting = std::make_unique<dlg::Script>()]() mutable {
            HWND d = dlg::waitForDialog(u"Question");
            ASSERT_NE(d, nullptr);
            EXPECT_TRUE(dlg::isMessageBox(d));
            EXPECT_EQ(dlg::controlText(d, 0xFFFF), u"Replace the file?");
            c.act(d);
        });
        EXPECT_EQ(MessageBoxW(nullptr, u"Replace the file?", u"Question", c.type), c.expected) << std::hex << c.type;
        worker.join();
    }
    EXPECT_TRUE(unscripted.empty());
}

TEST_F(Dialogs, AMessageBoxKeepsItsIconAndReadingOrderOnTheWindow) {
    const UINT type = MB_OK | MB_ICONWARNING | MB_RTLREADING | MB_RIGHT;
    std::thread worker([&, scripting = std::make_unique<dlg::Script>()]() mutable {
        HWND d = dlg::waitForDialog(u"\u062A\u062D\u0630\u064A\u0631");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(dlg::messageBoxType(d), type);
        const LONG ex = GetWindowLongW(d, GWL_EXSTYLE);
        EXPECT_TRUE(ex & WS_EX_RTLREADING);
        EXPECT_TRUE(ex & WS_EX_RIGHT);
        EXPECT_EQ(GetWindowLongW(GetDlgItem(d, 0xFFFF), GWL_STYLE) & SS_RIGHT, SS_RIGHT);
        dlg::pressKey(d, VK_RETURN);
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"\u0627\u0644\u0648\u0631\u0642", u"\u062A\u062D\u0630\u064A\u0631", type), IDOK);
    worker.join();
}

TEST_F(Dialogs, UnscriptedModalDialogsAreEndedWithIdcancelAndReported) {
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(kSettings), nullptr, settingsProc, 0), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"Paper jam", u"Printer", MB_YESNO), IDCANCEL);
    // A script that leaves its dialog open: once the script is gone the watchdog ends it.
    EXPECT_EQ(runScripted([](HWND d) { dlg::typeText(d, kName, u"left open"); }), IDCANCEL);
    ASSERT_EQ(unscripted.size(), 3u);
    EXPECT_EQ(unscripted[0].templateId, kSettings);
    EXPECT_EQ(unscripted[0].title, u"Scan settings");
    EXPECT_FALSE(unscripted[0].messageBox);
    EXPECT_TRUE(unscripted[1].messageBox);
    EXPECT_EQ(unscripted[1].title, u"Printer");
    EXPECT_EQ(unscripted[1].text, u"Paper jam");
    EXPECT_EQ(unscripted[2].templateId, kSettings);
    EXPECT_TRUE(dlg::findDialogs().empty());
}

}  // namespace
