// Dialogs (modal and modeless, from templates of the resource module) and dialog-data exchange.
#include <cwctype>

#include "state.h"

namespace {

// How a failed exchange leaves DoDataExchange for UpdateData.
struct ExchangeFailed {};

INT_PTR CALLBACK AfxDlgProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
    return dialog ? dialog->OnInitDialog() : TRUE;
}

HWND ownerFor(const CDialog* dialog, CWnd* parent) {
    CWnd* owner = parent ? parent : AfxGetMainWnd();
    if (owner == dialog || !owner || !IsWindow(owner->m_hWnd)) return nullptr;
    return owner->m_hWnd;
}

bool isClass(HWND hwnd, const char16_t* name) {
    WCHAR cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    return lstrcmpiW(cls, name) == 0;
}

}  // namespace

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
    HWND owner = ownerFor(this, m_pParentWnd);
    m_bModal = true;
    INT_PTR result;
    {
        platform::afx::ModalFilter filter;
        platform::afx::hookWindowCreate(this);
        result = DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDHelp), owner, AfxDlgProc, 0);
        platform::afx::unhookWindowCreate();
    }
    m_bModal = false;
    if (m_hWnd) Detach();  // a dialog that could not be finished
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_nIDHelp = templateId;
    if (parent) m_pParentWnd = parent;
    platform::afx::hookWindowCreate(this);
    HWND hwnd = CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(templateId), ownerFor(this, m_pParentWnd), AfxDlgProc, 0);
    platform::afx::unhookWindowCreate();
    return hwnd != nullptr;
}

void CDialog::PaintIconWhenMinimised(HICON icon) {
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    CRect client;
    GetClientRect(&client);
    dc.DrawIcon((client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2,
                (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2, icon);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// A modeless top-level dialog takes its keys here, as a modal one does in its loop.
BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (m_bModal || !m_hWnd || (GetStyle() & WS_CHILD)) return FALSE;
    if (msg->message < WM_KEYDOWN || msg->message > WM_CHAR) return FALSE;
    if (msg->hwnd != m_hWnd && !IsChild(m_hWnd, msg->hwnd)) return FALSE;
    return IsDialogMessageW(m_hWnd, msg);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const ExchangeFailed&) {
        return FALSE;
    }
    return TRUE;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

void CDialog::NextDlgCtrl() const {
    if (HWND next = ::GetNextDlgTabItem(m_hWnd, ::GetFocus(), FALSE)) ::SetFocus(next);
}

void CDialog::PrevDlgCtrl() const {
    if (HWND previous = ::GetNextDlgTabItem(m_hWnd, ::GetFocus(), TRUE)) ::SetFocus(previous);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control && control->m_hWnd) ::SetFocus(control->m_hWnd);
}

void CDialog::SetDefID(UINT id) { SendMessage(DM_SETDEFID, id); }
DWORD CDialog::GetDefID() const { return static_cast<DWORD>(SendMessage(DM_GETDEFID)); }

// ---- Data exchange -------------------------------------------------------------------------------
HWND CDataExchange::PrepareCtrl(int id) {
    HWND control = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    if (!control) {
        OutputDebugStringW(u"data exchange: the dialog has no such control\n");
        throw ExchangeFailed{};
    }
    m_hWndLastControl = control;
    return control;
}

HWND CDataExchange::PrepareEditCtrl(int id) { return PrepareCtrl(id); }

void CDataExchange::Fail() {
    if (m_hWndLastControl && IsWindow(m_hWndLastControl)) {
        ::SetFocus(m_hWndLastControl);
        if (isClass(m_hWndLastControl, u"EDIT")) SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw ExchangeFailed{};
}

void AFXAPI DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd) return;
    HWND hwnd = dx->PrepareCtrl(id);
    if (!control.SubclassWindow(hwnd)) dx->Fail();
}

void AFXAPI DDX_Text(CDataExchange* dx, int id, CString& value) {
    HWND control = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate)
        CWnd::FromHandle(control)->GetWindowText(value);
    else
        SetWindowTextW(control, value.GetString());
}

namespace {

// A whole number as the user typed it, spaces around allowed; nothing else.
bool parseNumber(const CString& text, bool allowSign, long long& value) {
    CString t = text;
    t.Trim();
    int i = 0;
    bool negative = false;
    if (i < t.GetLength() && (t[i] == u'-' || t[i] == u'+')) {
        if (!allowSign && t[i] == u'-') return false;
        negative = t[i] == u'-';
        ++i;
    }
    if (i >= t.GetLength()) return false;
    long long v = 0;
    for (; i < t.GetLength(); ++i) {
        if (t[i] < u'0' || t[i] > u'9') return false;
        v = v * 10 + (t[i] - u'0');
        if (v > 0xFFFFFFFFLL) return false;
    }
    value = negative ? -v : v;
    return true;
}

template <typename T>
void exchangeNumber(CDataExchange* dx, int id, T& value, bool isSigned, LPCWSTR complaint) {
    HWND control = dx->PrepareEditCtrl(id);
    if (!dx->m_bSaveAndValidate) {
        CString text;
        if (isSigned)
            text.Format(u"%d", static_cast<int>(value));
        else
            text.Format(u"%u", static_cast<unsigned>(value));
        SetWindowTextW(control, text.GetString());
        return;
    }
    CString text;
    CWnd::FromHandle(control)->GetWindowText(text);
    long long parsed = 0;
    const bool inRange = isSigned ? parseNumber(text, true, parsed) && parsed >= INT32_MIN && parsed <= INT32_MAX
                                  : parseNumber(text, false, parsed) && parsed >= 0 && parsed <= UINT32_MAX;
    if (!inRange) {
        AfxMessageBox(complaint, MB_ICONEXCLAMATION);
        dx->Fail();
    }
    value = static_cast<T>(parsed);
}

}  // namespace

void AFXAPI DDX_Text(CDataExchange* dx, int id, int& value) { exchangeNumber(dx, id, value, true, u"Please enter an integer."); }
void AFXAPI DDX_Text(CDataExchange* dx, int id, UINT& value) {
    exchangeNumber(dx, id, value, false, u"Please enter a positive integer.");
}

void AFXAPI DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
    else
        SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void AFXAPI DDX_Radio(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate) value = -1;
    int index = 0;
    for (HWND h = control; h; h = GetWindow(h, GW_HWNDNEXT), ++index) {
        if (h != control && (GetWindowLongW(h, GWL_STYLE) & WS_GROUP)) break;
        if (!isClass(h, u"BUTTON")) continue;
        const DWORD type = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)) & BS_TYPEMASK;
        if (type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON) continue;
        if (dx->m_bSaveAndValidate) {
            if (SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
        } else {
            SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
}

void AFXAPI DDX_CBIndex(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    else
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void AFXAPI DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars) {
    if (!dx->m_bSaveAndValidate) {
        if (dx->m_hWndLastControl && isClass(dx->m_hWndLastControl, u"EDIT"))
            SendMessageW(dx->m_hWndLastControl, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
        return;
    }
    if (value.GetLength() > maxChars) {
        CString complaint;
        complaint.Format(u"Enter no more than %d characters.", maxChars);
        AfxMessageBox(complaint.GetString(), MB_ICONEXCLAMATION);
        dx->Fail();
    }
}
