// The control wrappers: each call is the control's own message.
#include "afx/afxcmn.h"
#include "afx/afxdlgs.h"
#include "state.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)
IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)
IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)

// ---- Buttons -------------------------------------------------------------------------------------
int CButton::GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
void CButton::SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
UINT CButton::GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
void CButton::SetState(BOOL highlight) { SendMessage(BM_SETSTATE, highlight ? TRUE : FALSE); }
UINT CButton::GetButtonStyle() const { return GetStyle() & 0xFFFF; }
void CButton::SetButtonStyle(UINT style, BOOL redraw) { SendMessage(BM_SETSTYLE, style, redraw); }

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    if (result) *result = TRUE;
    return TRUE;
}

// ---- Edits and combo boxes -----------------------------------------------------------------------
void CEdit::SetLimitText(UINT max) { SendMessage(EM_LIMITTEXT, max); }
UINT CEdit::GetLimitText() const { return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT)); }
void CEdit::SetPasswordChar(WCHAR ch) { SendMessage(EM_SETPASSWORDCHAR, ch); }
WCHAR CEdit::GetPasswordChar() const { return static_cast<WCHAR>(SendMessage(EM_GETPASSWORDCHAR)); }
void CEdit::SetSel(int start, int end, BOOL) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }

void CEdit::GetSel(int& start, int& end) const {
    DWORD s = 0;
    DWORD e = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = static_cast<int>(s);
    end = static_cast<int>(e);
}

void CEdit::ReplaceSel(LPCWSTR text, BOOL canUndo) { SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text)); }
BOOL CEdit::SetReadOnly(BOOL readOnly) { return static_cast<BOOL>(SendMessage(EM_SETREADONLY, readOnly)); }

int CComboBox::AddString(LPCWSTR text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
int CComboBox::InsertString(int index, LPCWSTR text) {
    return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}
int CComboBox::DeleteString(UINT index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
void CComboBox::ResetContent() { SendMessage(CB_RESETCONTENT); }
int CComboBox::GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
int CComboBox::GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
int CComboBox::SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
int CComboBox::GetLBTextLen(int index) const { return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index))); }

void CComboBox::GetLBText(int index, CString& text) const {
    text.Empty();
    const int length = GetLBTextLen(index);
    if (length == CB_ERR) return;
    SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.GetBuffer(length + 1)));
    text.ReleaseBuffer();
}

int CComboBox::FindStringExact(int startAfter, LPCWSTR text) const {
    return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text)));
}
int CComboBox::SetItemData(int index, DWORD_PTR data) {
    return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}
DWORD_PTR CComboBox::GetItemData(int index) const { return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index))); }

// ---- Progress bars and list views ----------------------------------------------------------------
void CProgressCtrl::SetRange(short lower, short upper) {
    SendMessage(PBM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(lower), static_cast<WORD>(upper)));
}
void CProgressCtrl::SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    PBRANGE range{};
    SendMessage(PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::SetPos(int position) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position))); }
int CProgressCtrl::GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
int CProgressCtrl::OffsetPos(int delta) { return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(delta))); }
int CProgressCtrl::SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step))); }
int CProgressCtrl::StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }

int CListCtrl::InsertColumn(int column, LPCWSTR heading, int format, int width, int subItem) {
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_TEXT;
    c.fmt = format;
    c.pszText = const_cast<LPWSTR>(heading);
    if (width != -1) {
        c.mask |= LVCF_WIDTH;
        c.cx = width;
    }
    c.iSubItem = subItem;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&c)));
}

int CListCtrl::InsertItem(int item, LPCWSTR text) {
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = item;
    it.pszText = const_cast<LPWSTR>(text);
    return InsertItem(&it);
}

int CListCtrl::InsertItem(const LVITEMW* item) { return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item))); }

BOOL CListCtrl::SetItemText(int item, int subItem, LPCWSTR text) {
    LVITEMW it{};
    it.iSubItem = subItem;
    it.pszText = const_cast<LPWSTR>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

CString CListCtrl::GetItemText(int item, int subItem) const {
    CString text;
    for (int size = 256;; size *= 2) {
        LVITEMW it{};
        it.iSubItem = subItem;
        it.cchTextMax = size;
        it.pszText = text.GetBuffer(size);
        const int length = static_cast<int>(SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
        if (length < size - 1 || size >= (1 << 20)) {
            text.ReleaseBuffer(length < 0 ? 0 : length);
            return text;
        }
    }
}

int CListCtrl::GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
BOOL CListCtrl::DeleteItem(int item) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item))); }
BOOL CListCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
int CListCtrl::GetNextItem(int item, int flags) const {
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(item), MAKELPARAM(flags, 0)));
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMW it{};
    it.state = state;
    it.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const { return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), mask)); }

void CToolTipCtrl::RelayEvent(LPMSG msg) {
    if (m_hWnd) SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

BOOL CListCtrl::GetItem(LVITEMW* item) const { return static_cast<BOOL>(SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
BOOL CListCtrl::SetItem(const LVITEMW* item) { return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item))); }

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    it.lParam = static_cast<LPARAM>(data);
    return SetItem(&it);
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = item;
    return GetItem(&it) ? static_cast<DWORD_PTR>(it.lParam) : 0;
}

UINT CListCtrl::GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
int CListCtrl::FindItem(LVFINDINFOW* find, int start) const {
    return static_cast<int>(SendMessage(LVM_FINDITEMW, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(find)));
}
BOOL CListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
    return static_cast<BOOL>(SendMessage(LVM_SORTITEMS, static_cast<WPARAM>(data), reinterpret_cast<LPARAM>(compare)));
}
DWORD CListCtrl::SetExtendedStyle(DWORD styles) { return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles)); }
DWORD CListCtrl::GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
BOOL CListCtrl::EnsureVisible(int item, BOOL partialOK) {
    return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOK));
}
int CListCtrl::GetColumnWidth(int column) const { return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column))); }
BOOL CListCtrl::SetColumnWidth(int column, int width) {
    return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
}

// ---- Statics and edits ---------------------------------------------------------------------------
HBITMAP CStatic::SetBitmap(HBITMAP bitmap) {
    return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}
HBITMAP CStatic::GetBitmap() const { return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP)); }
HICON CStatic::SetIcon(HICON icon) {
    return reinterpret_cast<HICON>(SendMessage(STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
}
HICON CStatic::GetIcon() const { return reinterpret_cast<HICON>(SendMessage(STM_GETIMAGE, IMAGE_ICON)); }

void CEdit::Cut() { SendMessage(WM_CUT); }
void CEdit::Copy() { SendMessage(WM_COPY); }
void CEdit::Paste() { SendMessage(WM_PASTE); }
void CEdit::Clear() { SendMessage(WM_CLEAR); }
