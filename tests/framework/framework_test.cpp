// The application framework over the layer's windows: message maps and their order, notifications
// reflected to the controls that sent them, modal and modeless dialogs with data exchange,
// pre-translation in modal loops, window objects and their handles, the application object.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "afx/afxcmn.h"
#include "afx/afxdlgs.h"
#include "afx/afxwin.h"
#include "platform/control.h"
#include "platform/dialogs.h"
#include "support/scripted.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using framework_test::ScriptedDialogs;

constexpr UINT kForm = 200;
constexpr UINT kChildPage = 201;
constexpr int kName = 1001, kCount = 1002, kDuplex = 1003, kGrey = 1004, kColour = 1005, kMono = 1006, kPaper = 1007,
              kReflect = 1008, kLabel = 1009, kDrawn = 1010, kPlain = 1011;
constexpr UINT WM_PING = WM_APP + 1;
// Sent by a script before it acts: the form's thread paints now what waits to be painted (its first
// paint, which asks for the statics' colours), so that nothing of it comes between the script's steps.
constexpr UINT WM_SETTLE = WM_APP + 2;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;

res::ResourceFile formResources() {
    res::DialogTemplate d;
    d.title = u"Form";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 220;
    d.cy = 150;
    d.controls = {
        {u"EDIT", u"", kName, kVis | WS_TABSTOP | WS_BORDER, 0, 7, 7, 100, 12},
        {u"EDIT", u"", kCount, kVis | WS_TABSTOP | WS_BORDER, 0, 7, 22, 100, 12},
        {u"BUTTON", u"Duplex", kDuplex, kVis | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 7, 37, 80, 10},
        {u"BUTTON", u"Grey", kGrey, kVis | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, 7, 50, 60, 10},
        {u"BUTTON", u"Colour", kColour, kVis | BS_AUTORADIOBUTTON, 0, 7, 62, 60, 10},
        {u"BUTTON", u"Mono", kMono, kVis | BS_AUTORADIOBUTTON, 0, 7, 74, 60, 10},
        {u"COMBOBOX", u"", kPaper, kVis | WS_TABSTOP | WS_GROUP | CBS_DROPDOWNLIST, 0, 110, 7, 100, 60},
        {u"BUTTON", u"Reflect", kReflect, kVis | WS_TABSTOP, 0, 110, 72, 50, 14},
        {u"STATIC", u"Label", kLabel, kVis, 0, 110, 90, 60, 10},
        {u"BUTTON", u"", kDrawn, kVis | BS_OWNERDRAW, 0, 110, 106, 40, 14},
        {u"BUTTON", u"Plain", kPlain, kVis | WS_TABSTOP, 0, 160, 106, 50, 14},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, 110, 130, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP, 0, 163, 130, 50, 14},
    };
    res::DialogTemplate page;
    page.style = WS_CHILD;
    page.cx = 100;
    page.cy = 50;
    page.controls = {{u"EDIT", u"", kName, kVis | WS_TABSTOP, 0, 5, 5, 80, 12}};
    res::ResourceFile f;
    f.dialogs[kForm] = d;
    f.dialogs[kChildPage] = page;
    return f;
}

// What the window objects saw, in order.
std::vector<std::string> events;

class CReflectButton : public CButton {
public:
    int clicks = 0;

protected:
    afx_msg void OnClicked() {
        ++clicks;
        events.push_back("button: reflected click");
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CReflectButton, CButton)
    ON_CONTROL_REFLECT(BN_CLICKED, OnClicked)
END_MESSAGE_MAP()

class CColourLabel : public CStatic {
public:
    CBrush brush{RGB(0, 0, 128)};
    bool answer = true;

protected:
    afx_msg HBRUSH CtlColor(CDC* dc, UINT kind) {
        events.push_back("label: colour " + std::to_string(kind));
        if (!answer) return nullptr;
        dc->SetTextColor(RGB(255, 255, 0));
        return brush;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CColourLabel, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

class CDrawnButton : public CButton {
public:
    std::vector<UINT> states;
    void DrawItem(LPDRAWITEMSTRUCT item) override { states.push_back(item->itemState); }
};

// Eats Enter on the way to the dialog, as a control may in its PreTranslateMessage.
class CEnterEater : public CButton {
public:
    int eaten = 0;
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
            ++eaten;
            return TRUE;
        }
        return FALSE;
    }
};

class CBaseForm : public CDialog {
public:
    CBaseForm() : CDialog(kForm) {}

protected:
    afx_msg void OnPlain() { events.push_back("base: plain"); }
    afx_msg void OnReflect() { events.push_back("form: reflect clicked"); }
    afx_msg LRESULT OnPing(WPARAM w, LPARAM l) {
        events.push_back("base: ping");
        return static_cast<LRESULT>(w + l);
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CBaseForm, CDialog)
    ON_BN_CLICKED(kPlain, OnPlain)
    ON_BN_CLICKED(kReflect, OnReflect)
    ON_MESSAGE(WM_PING, OnPing)
END_MESSAGE_MAP()

class CForm : public CBaseForm {
public:
    CString name = u"Invoices";
    int count = 3;
    int duplex = 1;
    int colourMode = 2;
    int paper = 1;
    bool overridePing = true;
    bool colourInParent = false;
    std::atomic<DWORD> initThread{0};
    CReflectButton reflect;
    CColourLabel label;
    CDrawnButton drawn;
    CEnterEater plain;
    CComboBox papers;

    BOOL OnInitDialog() override {
        initThread = GetCurrentThreadId();
        events.push_back("form: init");
        CBaseForm::OnInitDialog();
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kReflect, reflect);
        DDX_Control(dx, kLabel, label);
        DDX_Control(dx, kDrawn, drawn);
        DDX_Control(dx, kPlain, plain);
        DDX_Control(dx, kPaper, papers);
        if (!dx->m_bSaveAndValidate) {
            papers.ResetContent();
            for (auto* paperName : {u"A4", u"Letter", u"Legal"}) papers.AddString(paperName);
        }
        DDX_Text(dx, kName, name);
        DDV_MaxChars(dx, name, 10);
        DDX_Text(dx, kCount, count);
        DDX_Check(dx, kDuplex, duplex);
        DDX_Radio(dx, kGrey, colourMode);
        DDX_CBIndex(dx, kPaper, paper);
    }

protected:
    afx_msg LRESULT OnPing(WPARAM w, LPARAM l) {
        if (!overridePing) return CBaseForm::OnPing(w, l);
        events.push_back("form: ping");
        return static_cast<LRESULT>(w * l);
    }
    afx_msg LRESULT OnSettle(WPARAM, LPARAM) {
        RedrawWindow(nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        return 0;
    }
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
        events.push_back("form: colour");
        if (colourInParent && wnd->GetDlgCtrlID() == kLabel) return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        return CBaseForm::OnCtlColor(dc, wnd, kind);
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CForm, CBaseForm)
    ON_MESSAGE(WM_PING, OnPing)
    ON_MESSAGE(WM_SETTLE, OnSettle)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class Framework : public ScriptedDialogs {
protected:
    void SetUp() override {
        ScriptedDialogs::SetUp();
        events.clear();
        ASSERT_NE(framework_test::useResources(machine, formResources()), nullptr);
    }
};

// ---- Message maps and reflection ------------------------------------------------------------------
TEST_F(Framework, TheDerivedMapComesFirstAndTheBaseTakesWhatItLacks) {
    CForm form;
    const INT_PTR result = runModal(form, [&](HWND d) {
        SendMessageW(d, WM_SETTLE, 0, 0);
        EXPECT_EQ(SendMessageW(d, WM_PING, 6, 7), 42);  // sent from this other thread: handled on the dialog's
        form.overridePing = false;
        EXPECT_EQ(SendMessageW(d, WM_PING, 6, 7), 13);
        dlg::clickButton(d, kPlain);  // only the base map has it
        dlg::clickButton(d, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(form.initThread.load(), GetCurrentThreadId());
    // The dialog's first paint asks for the label's colours.
    EXPECT_EQ(events, (std::vector<std::string>{"form: init", "form: colour", "label: colour 6", "form: ping",
                                                "base: ping", "base: plain"}));
    EXPECT_EQ(form.m_hWnd, nullptr);  // the window is gone and the object let go of it
    EXPECT_EQ(form.reflect.m_hWnd, nullptr);
}

TEST_F(Framework, NotificationsAreReflectedToTheControlBeforeTheParentSeesThem) {
    CForm form;
    runModal(form, [&](HWND d) {
        SendMessageW(d, WM_SETTLE, 0, 0);
        dlg::clickButton(d, kReflect);
        events.push_back("--");
        dlg::staticColours(d, kLabel);  // a reflected WM_CTLCOLORSTATIC
        form.label.answer = false;      // a control answering no brush leaves it to the default
        const auto fallback = dlg::staticColours(d, kLabel);
        EXPECT_EQ(fallback.brush, nullptr);
        form.label.answer = true;
        form.colourInParent = true;  // a parent that answers itself keeps it from the control
        EXPECT_EQ(dlg::staticColours(d, kLabel).brush, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        events.push_back("paint");
        dlg::windowPicture(d);  // paints the owner-drawn button: WM_DRAWITEM reflected to DrawItem
        dlg::pressKey(d, VK_ESCAPE);
    });
    EXPECT_EQ(form.reflect.clicks, 1);
    events.resize(std::find(events.begin(), events.end(), "paint") - events.begin());
    EXPECT_EQ(events, (std::vector<std::string>{"form: init", "form: colour", "label: colour 6",  // the first paint
                                                "button: reflected click", "--", "form: colour", "label: colour 6",
                                                "form: colour", "label: colour 6", "form: colour"}));
    EXPECT_FALSE(form.drawn.states.empty());
}

TEST_F(Framework, TheReflectedColourPaintsTheLabel) {
    CForm form;
    runModal(form, [&](HWND d) {
        const auto colours = dlg::staticColours(d, kLabel);
        EXPECT_EQ(colours.brush, static_cast<HBRUSH>(form.label.brush.GetSafeHandle()));
        EXPECT_EQ(colours.text, RGB(255, 255, 0));
        auto picture = dlg::windowPicture(d);
        ASSERT_TRUE(picture);
        RECT r{};
        HWND label = GetDlgItem(d, kLabel);
        GetWindowRect(label, &r);
        POINT origin{0, 0};
        ClientToScreen(d, &origin);
        EXPECT_EQ(picture->at(r.left - origin.x + 1, r.bottom - origin.y - 1), 0x000080u)  // the label's brush
;
        dlg::pressKey(d, VK_ESCAPE);
    });
}

// ---- Dialogs and data exchange --------------------------------------------------------------------
TEST_F(Framework, DataExchangeFillsTheControlsAndReadsThemBackOnOk) {
    CForm form;
    const INT_PTR result = runModal(form, [&](HWND d) {
        EXPECT_EQ(dlg::controlText(d, kName), u"Invoices");
        EXPECT_EQ(dlg::controlText(d, kCount), u"3");
        EXPECT_EQ(dlg::checkState(d, kDuplex), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(dlg::checkState(d, kMono), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(SendDlgItemMessageW(d, kPaper, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(d, kName, EM_GETLIMITTEXT, 0, 0), 10);
        SetDlgItemTextW(d, kName, u"Receipts");
        SetDlgItemTextW(d, kCount, u" -12 ");
        dlg::clickButton(d, kDuplex);
        dlg::clickButton(d, kGrey);
        dlg::chooseComboItem(d, kPaper, 2);
        dlg::clickButton(d, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(form.name, u"Receipts");
    EXPECT_EQ(form.count, -12);
    EXPECT_EQ(form.duplex, 0);
    EXPECT_EQ(form.colourMode, 0);
    EXPECT_EQ(form.paper, 2);
}

TEST_F(Framework, AValueThatDoesNotExchangeKeepsTheDialogOpenWithItsReason) {
    struct Case {
        const char16_t* name;
        const char16_t* count;
        const char16_t* complaint;
        int focused;
    };
    const Case cases[] = {
        {u"Fine", u"12x", u"Please enter an integer.", kCount},
        {u"Fine", u"", u"Please enter an integer.", kCount},
        {u"Fine", u"99999999999", u"Please enter an integer.", kCount},
        {u"Much too long a name", u"1", u"Enter no more than 10 characters.", kName},
    };
    for (const auto& c : cases) {
        CForm form;
        std::u16string told;
        const INT_PTR result = runModal(form, [&](HWND d) {
            SendDlgItemMessageW(d, kName, EM_LIMITTEXT, 0, 0);
            SetDlgItemTextW(d, kName, c.name);
            SetDlgItemTextW(d, kCount, c.count);
            std::thread ok([&] { dlg::clickButton(d, IDOK); });
            HWND box = nullptr;
            for (int i = 0; i < 500 && !box; ++i) {
                for (HWND candidate : dlg::findDialogs())
                    if (dlg::isMessageBox(candidate)) box = candidate;
                if (!box) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ASSERT_NE(box, nullptr);
            told = dlg::controlText(box, 0xFFFF);
            dlg::clickButton(box, IDOK);
            ok.join();
            EXPECT_TRUE(IsWindowVisible(d));  // still open
            EXPECT_EQ(GetDlgCtrlID(dlg::focusedControl(d)), c.focused);
            dlg::clickButton(d, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(told, c.complaint);
        EXPECT_EQ(form.count, 3) << "a failed exchange leaves the members as they were";
    }
}

TEST_F(Framework, ModalLoopsOfferMessagesToPreTranslateMessageOfTheWindowsOnTheWay) {
    CForm form;
    const INT_PTR result = runModal(form, [&](HWND d) {
        dlg::focusControl(d, kPlain);
        dlg::pressKey(d, VK_RETURN);  // eaten by the focused control: the dialog stays
        EXPECT_TRUE(IsWindowVisible(d));
        dlg::focusControl(d, kName);
        dlg::pressKey(d, VK_RETURN);  // the default button
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(form.plain.eaten, 1);
}

// An application whose filter takes WM_PING and leaves the rest to the framework's own.
class CFilteringApp : public CWinApp {
public:
    std::function<void()> body;
    int eaten = 0;
    BOOL InitInstance() override {
        body();
        return FALSE;
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_PING) {
            ++eaten;
            return TRUE;
        }
        return CWinApp::PreTranslateMessage(msg);
    }
};

TEST_F(Framework, TheMainThreadsModalLoopsOfferMessagesToTheApplicationFirst) {
    CForm form;
    INT_PTR result = 0;
    CFilteringApp app;
    app.body = [&] {
        result = runModal(form, [&](HWND d) {
            PostMessageW(d, WM_PING, 2, 3);  // taken by the application: the form never sees it
            dlg::focusControl(d, kPlain);
            dlg::pressKey(d, VK_RETURN);  // the application's default walks to the control, which eats it
            dlg::focusControl(d, kName);
            dlg::pressKey(d, VK_RETURN);
        });
    };
    EXPECT_EQ(AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(u""), SW_SHOW), 0);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(app.eaten, 1);
    EXPECT_EQ(form.plain.eaten, 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "form: ping"), 0);
}

TEST_F(Framework, ADialogThatCannotBeMadeAnswersMinusOne) {
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_EQ(missing.m_hWnd, nullptr);
    EXPECT_FALSE(missing.Create(4242));
    EXPECT_EQ(missing.m_hWnd, nullptr);
}

// ---- Modeless dialogs, window objects and handles --------------------------------------------------
class CPage : public CPropertyPage {
public:
    CPage() : CPropertyPage(kChildPage) {}
    int ended = 0;
    void PostNcDestroy() override { ++ended; }
};

TEST_F(Framework, ModelessDialogsTakeTheirKeysAndTheirChildPagesGoWithThem) {
    CForm form;
    ASSERT_TRUE(form.Create(kForm));
    EXPECT_EQ(CWnd::FromHandlePermanent(form.m_hWnd), &form);
    EXPECT_EQ(dlg::controlText(form.m_hWnd, kName), u"Invoices");  // OnInitDialog ran the exchange
    CPage page;
    ASSERT_TRUE(page.Create(kChildPage, &form));
    EXPECT_EQ(::GetParent(page.m_hWnd), form.m_hWnd);
    EXPECT_TRUE(page.IsKindOf(RUNTIME_CLASS(CDialog)));
    EXPECT_TRUE(page.OnSetActive());
    EXPECT_EQ(page.OnWizardNext(), 0);
    EXPECT_EQ(page.OnWizardBack(), 0);
    EXPECT_TRUE(page.OnWizardFinish());

    // The program's message loop offers keys to the windows' PreTranslateMessage: the modeless dialog
    // takes Escape as a dialog does (Cancel hides it); a key for the child page is not the form's.
    MSG escape{::GetDlgItem(form.m_hWnd, kName), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(AfxPreTranslateMessage(&escape));
    EXPECT_FALSE(IsWindowVisible(form.m_hWnd));
    MSG mouse{::GetDlgItem(form.m_hWnd, kName), WM_MOUSEMOVE, 0, 0, 0, {}};
    EXPECT_FALSE(AfxPreTranslateMessage(&mouse));

    HWND pageWindow = page.m_hWnd;
    EXPECT_TRUE(form.DestroyWindow());
    EXPECT_FALSE(IsWindow(pageWindow));
    EXPECT_EQ(page.ended, 1);
    EXPECT_EQ(page.m_hWnd, nullptr);
    EXPECT_EQ(form.m_hWnd, nullptr);
}

TEST(FrameworkObjects, WindowObjectsAndTheirHandles) {
    platform::testing::Machine machine;
    HWND plain = CreateWindowExW(0, u"STATIC", u"plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    CWnd* wrapper = CWnd::FromHandle(plain);
    ASSERT_NE(wrapper, nullptr);
    EXPECT_EQ(wrapper->m_hWnd, plain);
    EXPECT_EQ(CWnd::FromHandle(plain), wrapper);  // the same wrapper while the window lives
    EXPECT_EQ(CWnd::FromHandlePermanent(plain), nullptr);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
    {
        CStatic owned;
        EXPECT_TRUE(owned.SubclassWindow(plain));
        EXPECT_EQ(CWnd::FromHandlePermanent(plain), &owned);
        EXPECT_EQ(CWnd::FromHandle(plain), &owned);
        CStatic second;
        EXPECT_FALSE(second.SubclassWindow(plain)) << "a window has one object";
        CString text;
        owned.GetWindowText(text);
        EXPECT_EQ(text, u"plain");
        EXPECT_TRUE(owned.ModifyStyle(0, SS_CENTER));
        EXPECT_FALSE(owned.ModifyStyle(0, SS_CENTER)) << "nothing changed";
        EXPECT_EQ(owned.GetStyle() & SS_CENTER, static_cast<DWORD>(SS_CENTER));
    }  // the object's end destroys its window
    EXPECT_FALSE(IsWindow(plain));

    CStatic label;
    EXPECT_TRUE(label.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_TRUE(label.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(label.IsKindOf(RUNTIME_CLASS(CButton)));
    EXPECT_STREQ(label.GetRuntimeClass()->m_lpszClassName, "CStatic");
    EXPECT_FALSE(label.SubclassWindow(nullptr));
}

// ---- The application -----------------------------------------------------------------------------
// A modeless main dialog whose Cancel ends it.
class CMainForm : public CDialog {
public:
    CMainForm() : CDialog(kForm) {}
    void OnCancel() override { DestroyWindow(); }
};

class CTestApp : public CWinApp {
public:
    explicit CTestApp(bool start) : CWinApp(nullptr), start_(start) {}
    CMainForm main;
    int exited = 0;
    BOOL InitInstance() override {
        if (!start_) return FALSE;
        if (!main.Create(kForm)) return FALSE;
        m_pMainWnd = &main;
        main.PostMessage(WM_CLOSE);  // posts Cancel, which destroys the main window: the loop ends
        return TRUE;
    }
    int ExitInstance() override {
        ++exited;
        return CWinApp::ExitInstance() + 100;
    }

private:
    bool start_;
};

TEST(FrameworkApplication, AfxWinMainRunsInitRunAndExit) {
    platform::testing::Machine machine;
    platform::setProgramPath(u"C:\\Program Files\\Test\\Orlith.exe");
    {
        CTestApp app(false);
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(u"/x"), SW_SHOW), 100);
        EXPECT_EQ(app.exited, 1);
        EXPECT_EQ(std::u16string(app.m_lpCmdLine), u"/x");
        EXPECT_EQ(std::u16string(app.m_pszAppName), u"Orlith");
        EXPECT_EQ(AfxGetInstanceHandle(), GetModuleHandleW(nullptr));
    }
    EXPECT_EQ(AfxGetApp(), nullptr);

    HMODULE resources = framework_test::useResources(machine, formResources());
    {
        CTestApp app(true);
        EXPECT_EQ(AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(u""), SW_SHOW), 100);
        EXPECT_EQ(app.exited, 1);
        EXPECT_EQ(app.m_pMainWnd, nullptr);
        EXPECT_EQ(app.main.m_hWnd, nullptr);
    }
    AfxSetResourceHandle(nullptr);
    FreeLibrary(resources);
}

}  // namespace
