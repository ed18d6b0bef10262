// The entry boxes of the wizard that take only plain printable characters: the typed network name and
// the key. Typing outside 0x20 to 0x7F is dropped (backspace excepted); a paste that would bring in a
// character of 160 or above is refused whole, leaving the old text.
#pragma once

#include "afx/afxwin.h"

// The filter of one WM_CHAR of `edit`: TRUE when the character gets the edit's own handling.
BOOL FilterEntryChar(CEdit& edit, UINT ch);

class MySSIDEdit : public CEdit {
protected:
    afx_msg void OnChar(UINT ch, UINT repeat, UINT flags);
    DECLARE_MESSAGE_MAP()
};

class MyPasswordEdit : public CEdit {
protected:
    afx_msg void OnChar(UINT ch, UINT repeat, UINT flags);
    DECLARE_MESSAGE_MAP()
};
