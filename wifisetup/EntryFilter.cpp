#include "EntryFilter.h"

namespace {

bool holdsWideCharacter(const CString& text) {
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] >= 0xA0) return true;
    return false;
}

}  // namespace

BOOL FilterEntryChar(CEdit& edit, UINT ch) {
    CString old;
    edit.GetWindowText(old);
    if (ch >= 0x20 && ch <= 0x7F) return TRUE;
    if (ch == 3) edit.SendMessage(WM_COPY);
    else if (ch == 22) edit.SendMessage(WM_PASTE);
    else if (ch == 24) edit.SendMessage(WM_CUT);
    CString now;
    edit.GetWindowText(now);
    if (holdsWideCharacter(now)) {
        edit.SetWindowText(old.GetString());
        edit.SendMessage(EM_SETSEL, old.GetLength(), old.GetLength());
        return FALSE;
    }
    return ch == 8;
}

BEGIN_MESSAGE_MAP(MySSIDEdit, CEdit)
    ON_WM_CHAR()
END_MESSAGE_MAP()

void MySSIDEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    if (FilterEntryChar(*this, ch)) CEdit::OnChar(ch, repeat, flags);
}

BEGIN_MESSAGE_MAP(MyPasswordEdit, CEdit)
    ON_WM_CHAR()
END_MESSAGE_MAP()

void MyPasswordEdit::OnChar(UINT ch, UINT repeat, UINT flags) {
    if (FilterEntryChar(*this, ch)) CEdit::OnChar(ch, repeat, flags);
}
