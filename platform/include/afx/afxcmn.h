// The framework's wrappers of the common controls the programs use: progress bars, report list
// views and tooltips. Left out: image lists, column headers as objects, tooltip creation
// (the layer has no tooltip window class; no program of the system makes one).
#pragma once

#include "afx/afxwin.h"

#define TTM_RELAYEVENT (WM_USER + 7)

class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    void SetRange(short lower, short upper);
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int SetPos(int position);
    int GetPos() const;
    int OffsetPos(int delta);
    int SetStep(int step);
    int StepIt();
};

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)
public:
    int InsertColumn(int column, LPCWSTR heading, int format = 0, int width = -1, int subItem = -1);
    int InsertItem(int item, LPCWSTR text);
    int InsertItem(const LVITEMW* item);
    BOOL SetItemText(int item, int subItem, LPCWSTR text);
    CString GetItemText(int item, int subItem) const;
    int GetItemCount() const;
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    int GetNextItem(int item, int flags) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    BOOL GetItem(LVITEMW* item) const;
    BOOL SetItem(const LVITEMW* item);
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    UINT GetSelectedCount() const;
    // The row after `start` (-1: from the first) that matches, or -1.
    int FindItem(LVFINDINFOW* find, int start = -1) const;
    // Sorts the rows with a comparison of their item data; the rows stay in place while it runs.
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data);
    // All extended styles at once (LVS_EX_*); the previous ones.
    DWORD SetExtendedStyle(DWORD styles);
    DWORD GetExtendedStyle() const;
    BOOL EnsureVisible(int item, BOOL partialOK);
    int GetColumnWidth(int column) const;
    BOOL SetColumnWidth(int column, int width);
};

// A tooltip: nothing in the system creates its window, so it only relays while one exists.
class CToolTipCtrl : public CWnd {
    DECLARE_DYNAMIC(CToolTipCtrl)
public:
    void RelayEvent(LPMSG msg);
};
