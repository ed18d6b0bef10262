// The application framework the dialog programs are written against: run-time classes, message
// maps with reflected notifications, the application object, windows, dialogs with data exchange,
// device contexts, GDI objects and the basic controls. It runs over the layer's windows and
// messages, so its dialogs really run (headless) and paint into the layer's window surfaces.
//
// Left out: documents and views, frames, menus and toolbars, OLE and control containers, archives
// (serialisation), dynamic creation, exceptions other than the data-exchange failure, idle
// processing and the debug-only checks of the original.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "afx/afxres.h"
#include "afx/afxstr.h"
#include "win/gdi.h"
#include "win/kernel.h"
#include "win/resources.h"
#include "win/user.h"

#define afx_msg
#ifndef AFXAPI
#define AFXAPI
#endif

#ifndef WM_CTLCOLOR
#define WM_CTLCOLOR 0x0019  // stands for all WM_CTLCOLOR* in message maps
#endif
#define WM_REFLECT_BASE 0xBC00  // a reflected message in a control's own map
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6

// ---- Geometry ------------------------------------------------------------------------------------
class CPoint : public POINT {
public:
    CPoint() : POINT{0, 0} {}
    CPoint(int px, int py) : POINT{px, py} {}
    CPoint(POINT p) : POINT(p) {}
    // From the lParam of a mouse message: x in the low word, y in the high word, both signed.
    explicit CPoint(LPARAM packed)
        : POINT{static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed))} {}
    void Offset(int dx, int dy) {
        x += dx;
        y += dy;
    }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

class CSize : public SIZE {
public:
    CSize() : SIZE{0, 0} {}
    CSize(int width, int height) : SIZE{width, height} {}
    CSize(SIZE s) : SIZE(s) {}
    bool operator==(const CSize& o) const { return cx == o.cx && cy == o.cy; }
};

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    CRect(POINT topLeft, SIZE size) : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    void SetRect(int l, int t, int r, int b) {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    void SetRectEmpty() { SetRect(0, 0, 0, 0); }
    void OffsetRect(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    void OffsetRect(POINT p) { OffsetRect(p.x, p.y); }
    void InflateRect(int dx, int dy) { InflateRect(dx, dy, dx, dy); }
    void InflateRect(int l, int t, int r, int b) {
        left -= l;
        top -= t;
        right += r;
        bottom += b;
    }
    void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
    void DeflateRect(int l, int t, int r, int b) { InflateRect(-l, -t, -r, -b); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    bool operator==(const RECT& o) const { return left == o.left && top == o.top && right == o.right && bottom == o.bottom; }
    bool operator!=(const RECT& o) const { return !(*this == o); }
};

// ---- Run-time classes ----------------------------------------------------------------------------
class CObject;

// A class's name, size and schema, and its base, for IsKindOf. No dynamic creation.
struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CRuntimeClass* (*m_pfnGetBaseClass)();
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(name) (name::GetThisClass())
#define DECLARE_DYNAMIC(name)                   \
public:                                         \
    static CRuntimeClass class##name;           \
    static CRuntimeClass* GetThisClass();       \
    CRuntimeClass* GetRuntimeClass() const override;
#define IMPLEMENT_RUNTIMECLASS(name, base, schema)                                                    \
    CRuntimeClass name::class##name = {#name, static_cast<int>(sizeof(name)), schema, &base::GetThisClass}; \
    CRuntimeClass* name::GetThisClass() { return &name::class##name; }                               \
    CRuntimeClass* name::GetRuntimeClass() const { return &name::class##name; }
#define IMPLEMENT_DYNAMIC(name, base) IMPLEMENT_RUNTIMECLASS(name, base, 0xFFFF)

// The root of the framework's classes: a virtual destructor and the run-time class.
class CObject {
public:
    virtual ~CObject() = default;
    static CRuntimeClass classCObject;
    static CRuntimeClass* GetThisClass();
    virtual CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* cls) const;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// ---- Message maps --------------------------------------------------------------------------------
class CCmdTarget;
class CWnd;
class CDC;

// An entry calls its handler through a small function made by the ON_ macro: it unpacks wParam and
// lParam, calls the member and packs its answer into *result. It answers FALSE when it did not take
// the message (a reflected WM_CTLCOLOR whose handler answered no brush).
typedef BOOL (*AFX_PMSG_THUNK)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // the message (WM_COMMAND, WM_NOTIFY, WM_REFLECT_BASE + ..., WM_CTLCOLOR for all colours)
    UINT nCode;     // the notification code of WM_COMMAND and WM_NOTIFY entries
    UINT nID;       // the control id range of WM_COMMAND and WM_NOTIFY entries
    UINT nLastID;
    AFX_PMSG_THUNK pfn;
};
struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                      \
protected:                                         \
    static const AFX_MSGMAP* GetThisMessageMap();  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                \
        typedef theClass ThisClass;                                                  \
        typedef baseClass TheBaseClass;                                              \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {
#define END_MESSAGE_MAP()                                                              \
    {0, 0, 0, 0, nullptr}                                                              \
    }                                                                                  \
    ;                                                                                  \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &messageEntries[0]}; \
    return &messageMap;                                                                \
    }

// The pieces the ON_ macros unpack parameters with (withDC and currentCtlColor follow CDC below).
namespace afx_detail {
CWnd* wndOf(LPARAM handle);
CWnd* wndOfW(WPARAM handle);
}  // namespace afx_detail

#define AFX_THUNK(body) [](CCmdTarget* afxTarget, WPARAM wParam, LPARAM lParam, LRESULT* afxResult) -> BOOL { \
    ThisClass* self = static_cast<ThisClass*>(afxTarget);                                                 \
    (void)self; (void)wParam; (void)lParam; (void)afxResult;                                              \
    body;                                                                                                 \
    return TRUE; }
#define AFX_MSG_ENTRY(message, body) {message, 0, 0, 0, AFX_THUNK(body)},

#define ON_MESSAGE(message, memberFxn) AFX_MSG_ENTRY(message, *afxResult = self->memberFxn(wParam, lParam))
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), AFX_THUNK(self->memberFxn())},
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(idLast), AFX_THUNK(self->memberFxn(LOWORD(wParam)))},
#define ON_CONTROL(code, id, memberFxn) \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), AFX_THUNK(self->memberFxn())},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_NOTIFY(code, id, memberFxn)                                                      \
    {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),        \
     AFX_THUNK(self->memberFxn(reinterpret_cast<NMHDR*>(lParam), afxResult))},
// Reflected notifications, handled by the control that sent them.
#define ON_CONTROL_REFLECT(code, memberFxn) \
    {WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(code), 0, 0, AFX_THUNK(self->memberFxn())},
#define ON_NOTIFY_REFLECT(code, memberFxn)                                   \
    {WM_REFLECT_BASE + WM_NOTIFY, static_cast<UINT>(code), 0, 0,              \
     AFX_THUNK(self->memberFxn(reinterpret_cast<NMHDR*>(lParam), afxResult))},
#define ON_BN_CLICKED_REFLECT(memberFxn) ON_CONTROL_REFLECT(BN_CLICKED, memberFxn)
#define ON_WM_CTLCOLOR_REFLECT()                                                                          \
    {WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, 0, [](CCmdTarget* afxTarget, WPARAM wParam, LPARAM lParam, LRESULT* afxResult) -> BOOL { \
         ThisClass* self = static_cast<ThisClass*>(afxTarget);                                            \
         HBRUSH brush = afx_detail::withDC(wParam, [&](CDC* dc) { return self->CtlColor(dc, static_cast<UINT>(lParam)); }); \
         *afxResult = reinterpret_cast<LRESULT>(brush);                                                   \
         return brush != nullptr; }},

#define ON_WM_CREATE() AFX_MSG_ENTRY(WM_CREATE, *afxResult = self->OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam)))
#define ON_WM_DESTROY() AFX_MSG_ENTRY(WM_DESTROY, self->OnDestroy())
#define ON_WM_NCDESTROY() AFX_MSG_ENTRY(WM_NCDESTROY, self->OnNcDestroy())
#define ON_WM_CLOSE() AFX_MSG_ENTRY(WM_CLOSE, self->OnClose())
#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, self->OnPaint())
#define ON_WM_ERASEBKGND() \
    AFX_MSG_ENTRY(WM_ERASEBKGND, *afxResult = afx_detail::withDC(wParam, [&](CDC* dc) { return self->OnEraseBkgnd(dc); }))
#define ON_WM_TIMER() AFX_MSG_ENTRY(WM_TIMER, self->OnTimer(static_cast<UINT_PTR>(wParam)))
#define ON_WM_SIZE() AFX_MSG_ENTRY(WM_SIZE, self->OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)))
#define ON_WM_SHOWWINDOW() AFX_MSG_ENTRY(WM_SHOWWINDOW, self->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)))
#define ON_WM_SYSCOMMAND() AFX_MSG_ENTRY(WM_SYSCOMMAND, self->OnSysCommand(static_cast<UINT>(wParam), lParam))
#define ON_WM_QUERYDRAGICON() AFX_MSG_ENTRY(WM_QUERYDRAGICON, *afxResult = reinterpret_cast<LRESULT>(self->OnQueryDragIcon()))
#define ON_WM_SETFOCUS() AFX_MSG_ENTRY(WM_SETFOCUS, self->OnSetFocus(afx_detail::wndOfW(wParam)))
#define ON_WM_KILLFOCUS() AFX_MSG_ENTRY(WM_KILLFOCUS, self->OnKillFocus(afx_detail::wndOfW(wParam)))
#define AFX_KEY_ARGS static_cast<UINT>(wParam), static_cast<UINT>(LOWORD(lParam)), static_cast<UINT>(HIWORD(lParam))
#define ON_WM_KEYDOWN() AFX_MSG_ENTRY(WM_KEYDOWN, self->OnKeyDown(AFX_KEY_ARGS))
#define ON_WM_KEYUP() AFX_MSG_ENTRY(WM_KEYUP, self->OnKeyUp(AFX_KEY_ARGS))
#define ON_WM_CHAR() AFX_MSG_ENTRY(WM_CHAR, self->OnChar(AFX_KEY_ARGS))
#define ON_WM_MOUSEMOVE() AFX_MSG_ENTRY(WM_MOUSEMOVE, self->OnMouseMove(static_cast<UINT>(wParam), CPoint(lParam)))
#define ON_WM_LBUTTONDOWN() AFX_MSG_ENTRY(WM_LBUTTONDOWN, self->OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam)))
#define ON_WM_LBUTTONUP() AFX_MSG_ENTRY(WM_LBUTTONUP, self->OnLButtonUp(static_cast<UINT>(wParam), CPoint(lParam)))
#define ON_WM_LBUTTONDBLCLK() AFX_MSG_ENTRY(WM_LBUTTONDBLCLK, self->OnLButtonDblClk(static_cast<UINT>(wParam), CPoint(lParam)))
#define ON_WM_MOUSELEAVE() AFX_MSG_ENTRY(WM_MOUSELEAVE, self->OnMouseLeave())
#define ON_WM_CTLCOLOR()                                                                                  \
    AFX_MSG_ENTRY(WM_CTLCOLOR, *afxResult = reinterpret_cast<LRESULT>(afx_detail::withDC(wParam, [&](CDC* dc) { \
                      return self->OnCtlColor(dc, afx_detail::wndOf(lParam), afx_detail::currentCtlColor()); })))
#define ON_WM_HELPINFO() AFX_MSG_ENTRY(WM_HELP, *afxResult = self->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam)))
#define ON_WM_DRAWITEM() \
    AFX_MSG_ENTRY(WM_DRAWITEM, self->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)))

// A command target: an object with a message map.
class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Finds the first entry of the map chain (this class's map first) that takes the message.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};

// ---- GDI objects and device contexts -------------------------------------------------------------
// A GDI object handle owned by the wrapper: deleted with it unless detached.
class CGdiObject : public CObject {
    DECLARE_DYNAMIC(CGdiObject)
public:
    CGdiObject() = default;
    ~CGdiObject() override;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    HGDIOBJ m_hObject = nullptr;
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HGDIOBJ() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, void* buffer) const;
    // A wrapper for a handle the caller does not own (kept per thread, never deletes the handle).
    static CGdiObject* FromHandle(HGDIOBJ object);
};

class CBitmap : public CGdiObject {
    DECLARE_DYNAMIC(CBitmap)
public:
    // From the framework's resource module (AfxGetResourceHandle).
    BOOL LoadBitmap(UINT id);
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    BOOL CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
    int GetBitmap(BITMAP* info) const;
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    static CBitmap* FromHandle(HBITMAP bitmap);
};

class CBrush : public CGdiObject {
    DECLARE_DYNAMIC(CBrush)
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour);
    BOOL CreateSolidBrush(COLORREF colour);
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    static CBrush* FromHandle(HBRUSH brush);
};

class CFont : public CGdiObject {
    DECLARE_DYNAMIC(CFont)
public:
    BOOL CreateFontIndirect(const LOGFONTW* font);
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
};

// A device context, deleted with the object: one attached for a while must be detached again.
class CDC : public CObject {
    DECLARE_DYNAMIC(CDC)
public:
    CDC() = default;
    ~CDC() override;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    HDC m_hDC = nullptr;
    HDC m_hAttribDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }
    BOOL Attach(HDC dc);
    HDC Detach();
    BOOL CreateCompatibleDC(CDC* dc);
    BOOL DeleteDC();

    CGdiObject* SelectObject(CGdiObject* object);
    CBitmap* SelectObject(CBitmap* bitmap);
    CBrush* SelectObject(CBrush* brush);
    CFont* SelectObject(CFont* font);
    CGdiObject* SelectStockObject(int index);

    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, DWORD rop);
    BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, int srcWidth, int srcHeight, DWORD rop);
    // The whole bitmap stretched over (0, 0)-(width, height), through a memory DC of its own.
    BOOL StretchBitmap(CBitmap& bitmap, int width, int height);
    BOOL PatBlt(int x, int y, int width, int height, DWORD rop);
    void FillRect(LPCRECT rect, CBrush* brush);
    void FillSolidRect(LPCRECT rect, COLORREF colour);
    void FillSolidRect(int x, int y, int width, int height, COLORREF colour);
    void FrameRect(LPCRECT rect, CBrush* brush);
    BOOL DrawEdge(LPRECT rect, UINT edge, UINT flags);
    BOOL DrawIcon(int x, int y, HICON icon);
    BOOL DrawIcon(POINT point, HICON icon) { return DrawIcon(point.x, point.y, icon); }
    void DrawFocusRect(LPCRECT rect);
    int DrawText(LPCWSTR text, int count, LPRECT rect, UINT format);
    int DrawText(const CString& text, LPRECT rect, UINT format);
    BOOL TextOut(int x, int y, const CString& text);
    CSize GetTextExtent(const CString& text) const;
    int SetBkMode(int mode);
    int GetBkMode() const;
    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const;
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const;
    int SetStretchBltMode(int mode);
    int SaveDC();
    BOOL RestoreDC(int saved);
    int GetDeviceCaps(int index) const;
    COLORREF GetPixel(int x, int y) const;
    // A wrapper for a device context the caller does not own (kept per thread, never deleted).
    static CDC* FromHandle(HDC dc);
};

// BeginPaint/EndPaint of a window for the object's life.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND hwnd_ = nullptr;
};

// GetDC/ReleaseDC of a window (its client area) for the object's life.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

private:
    HWND hwnd_ = nullptr;
};

namespace afx_detail {
// The CTLCOLOR_* kind of the WM_CTLCOLOR* message being handled on this thread.
UINT currentCtlColor();
// Runs `call` with a CDC attached to the device context handle (detached again afterwards).
template <typename F>
auto withDC(WPARAM hdc, F call) {
    CDC dc;
    dc.Attach(reinterpret_cast<HDC>(hdc));
    auto answer = call(&dc);
    dc.Detach();
    return answer;
}
}  // namespace afx_detail

// ---- Menus ---------------------------------------------------------------------------------------
// A menu handle: the system menus of windows are the only menus here.
class CMenu : public CObject {
    DECLARE_DYNAMIC(CMenu)
public:
    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }
    // Greys, disables or enables an item; the previous state, or (UINT)-1 for a missing item.
    UINT EnableMenuItem(UINT item, UINT enable);
    UINT GetMenuState(UINT item, UINT flags) const;
    int GetMenuItemCount() const;
    // A wrapper for a menu the caller does not own (kept per thread).
    static CMenu* FromHandle(HMENU menu);
};

// ---- Windows -------------------------------------------------------------------------------------
class CWinApp;

// A window object: attached to a window handle, it gets the window's messages through its message
// map (AfxWndProc) once it made or subclassed the window. The default handling of a message is the
// window procedure the object replaced.
class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
    DECLARE_MESSAGE_MAP()
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    // The object attached to a window: its own (permanent) one, else a wrapper kept per thread
    // (which handles no messages). NULL for NULL.
    static CWnd* FromHandle(HWND hwnd);
    // Only a window's own object; NULL when it has none.
    static CWnd* FromHandlePermanent(HWND hwnd);
    BOOL Attach(HWND hwnd);
    HWND Detach();
    // Attaches and puts AfxWndProc in place of the window's procedure (PreSubclassWindow first).
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    virtual void PreSubclassWindow() {}
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A notification the parent reflects to the control that sent it; TRUE when the control took it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Called after WM_NCDESTROY, once the object is detached.
    virtual void PostNcDestroy() {}
    virtual BOOL DestroyWindow();
    // The default handling of the message being handled on this thread.
    LRESULT Default();

    // Windows calls on the attached window.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;
    CWnd* GetOwner() const;
    void SetWindowText(LPCWSTR text);
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, LPCWSTR text);
    int GetDlgItemText(int id, CString& text) const;
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int first, int last, int check);
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags);
    void CenterWindow(CWnd* alternateOwner = nullptr);
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    // Removes and adds style bits; with flags, SetWindowPos(SWP_NOSIZE|SWP_NOMOVE|SWP_NOZORDER|SWP_NOACTIVATE|flags).
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void ValidateRect(LPCRECT rect);
    void UpdateWindow();
    BOOL RedrawWindow(LPCRECT rect = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr);
    BOOL KillTimer(UINT_PTR id);
    HICON SetIcon(HICON icon, BOOL big);
    HICON GetIcon(BOOL big) const;
    // The window's system menu (a fresh copy of the default one with `revert`: then NULL).
    CMenu* GetSystemMenu(BOOL revert) const;
    BOOL AnimateWindow(DWORD time, DWORD flags);
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);
    BOOL SetForegroundWindow();
    CWnd* GetNextDlgGroupItem(CWnd* control, BOOL previous = FALSE) const;
    CWnd* GetNextDlgTabItem(CWnd* control, BOOL previous = FALSE) const;

    // Message handlers whose default is the default handling.
    afx_msg int OnCreate(LPCREATESTRUCTW create);
    afx_msg void OnDestroy();
    afx_msg void OnNcDestroy();
    afx_msg void OnClose();
    afx_msg void OnPaint();
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnSize(UINT type, int cx, int cy);
    afx_msg void OnShowWindow(BOOL show, UINT status);
    afx_msg void OnSysCommand(UINT id, LPARAM lParam);
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnSetFocus(CWnd* old);
    afx_msg void OnKillFocus(CWnd* next);
    afx_msg void OnKeyDown(UINT key, UINT repeat, UINT flags);
    afx_msg void OnKeyUp(UINT key, UINT repeat, UINT flags);
    afx_msg void OnChar(UINT key, UINT repeat, UINT flags);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT flags, CPoint point);
    afx_msg void OnMouseLeave();
    afx_msg BOOL OnHelpInfo(HELPINFO* info);
    // Reflects the colour request to the control when it takes it, else the default handling.
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    // Reflects the drawing request to the owner-drawn control when it takes it, else the default handling.
    afx_msg void OnDrawItem(int id, LPDRAWITEMSTRUCT item);

protected:
    WNDPROC m_pfnSuper = nullptr;  // the procedure AfxWndProc replaced
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend struct AfxWindowHooks;
};

// Routes a window's messages to its object's WindowProc.
LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Offers a message of the thread that runs AfxWinMain to the application's PreTranslateMessage, and one
// of another thread to PreTranslateMessage of the window objects from its window up to its top-level
// window; TRUE when it was taken.
BOOL AfxPreTranslateMessage(MSG* msg);

// ---- The application -----------------------------------------------------------------------------
// The one application object of a program: made as a global, run by AfxWinMain.
class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    LPCWSTR m_pszAppName = nullptr;  // the name given, else the program's file name without ".exe"
    LPCWSTR m_pszExeName = nullptr;
    CWnd* m_pMainWnd = nullptr;

    virtual BOOL InitInstance();
    // The filter of the main thread's messages, in Run and in the modal loops of its dialogs and
    // message boxes (through AfxPreTranslateMessage): TRUE takes the message. By default the window
    // objects from the message's window up to its top-level window are asked.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // The message loop of the main thread (each message offered to AfxPreTranslateMessage first)
    // until WM_QUIT; then ExitInstance.
    virtual int Run();
    // The program's exit code: the WM_QUIT code the loop ended with (0 when it did not run).
    virtual int ExitInstance();
    HICON LoadIcon(UINT id) const;
    // Names the key under HKEY_CURRENT_USER\Software where a Windows program keeps its settings;
    // kept in m_pszRegistryKey (no program here stores settings through it).
    void SetRegistryKey(LPCWSTR key);
    LPCWSTR m_pszRegistryKey = nullptr;

protected:
    int m_exitCode = 0;

private:
    CString appName_;
    CString exeName_;
    CString registryKey_;
    friend int AFXAPI AfxWinMain(HINSTANCE, HINSTANCE, LPWSTR, int);
};

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
// Control-container support (ActiveX controls in dialogs): there are no such controls here, so it
// enables nothing; programs call it as they do on Windows.
void AFXAPI AfxEnableControlContainer();
// The program's run: InitInstance, then Run; when InitInstance fails, the main window (if any) is
// destroyed and ExitInstance gives the exit code.
int AFXAPI AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);
// A message box owned by the main window with the application's name as its title.
int AFXAPI AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
int AFXAPI AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));

// ---- Dialogs and data exchange -------------------------------------------------------------------
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    // The control with this id (a missing one fails the exchange).
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Gives the focus back to the last control and ends the exchange (UpdateData answers FALSE).
    [[noreturn]] void Fail();
};

// A dialog from a template of the resource module: modal (DoModal) or modeless (Create).
class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
    DECLARE_MESSAGE_MAP()
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    // Runs the dialog modally (owner: the parent given, else the main window); returns the EndDialog
    // value, or -1 when the dialog cannot be made.
    virtual INT_PTR DoModal();
    // A modeless dialog; FALSE when it cannot be made.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}
    BOOL PreTranslateMessage(MSG* msg) override;
    // Runs DoDataExchange: controls from the members (FALSE) or members from the controls (TRUE).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void EndDialog(int result);
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    void SetDefID(UINT id);
    DWORD GetDefID() const;
    // The paint of a main dialog: while it is minimised, the icon centred over the erased
    // background; otherwise the dialog's own paint.
    void PaintIconWhenMinimised(HICON icon);

    UINT m_nIDHelp = 0;  // the template id
    CWnd* m_pParentWnd = nullptr;

protected:
    bool m_bModal = false;
};

void AFXAPI DDX_Control(CDataExchange* dx, int id, CWnd& control);
void AFXAPI DDX_Text(CDataExchange* dx, int id, CString& value);
void AFXAPI DDX_Text(CDataExchange* dx, int id, int& value);
void AFXAPI DDX_Text(CDataExchange* dx, int id, UINT& value);
void AFXAPI DDX_Check(CDataExchange* dx, int id, int& value);
// The index of the checked button of the group that starts at `id` (-1 when none).
void AFXAPI DDX_Radio(CDataExchange* dx, int id, int& value);
void AFXAPI DDX_CBIndex(CDataExchange* dx, int id, int& value);
// Sets the limit of the last edit on loading; refuses a longer text on saving.
void AFXAPI DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars);

// ---- Controls ------------------------------------------------------------------------------------
class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    // The picture of an SS_BITMAP or SS_ICON static (the static does not own it); the previous one.
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
    HICON SetIcon(HICON icon);
    HICON GetIcon() const;
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetState() const;
    void SetState(BOOL highlight);
    UINT GetButtonStyle() const;
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    // Owner drawing: WM_DRAWITEM reflected by the parent comes here.
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
public:
    void SetLimitText(UINT max);
    void LimitText(int max = 0) { SetLimitText(static_cast<UINT>(max)); }
    UINT GetLimitText() const;
    void SetPasswordChar(WCHAR ch);
    WCHAR GetPasswordChar() const;
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    void ReplaceSel(LPCWSTR text, BOOL canUndo = FALSE);
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    void Cut();
    void Copy();
    void Paste();
    void Clear();
};

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)
public:
    int AddString(LPCWSTR text);
    int InsertString(int index, LPCWSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetLBTextLen(int index) const;
    void GetLBText(int index, CString& text) const;
    int FindStringExact(int startAfter, LPCWSTR text) const;
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
};

// ---- For tests -----------------------------------------------------------------------------------
namespace platform::afx {
// The temporary wrappers (FromHandle of windows, device contexts, GDI objects and menus) alive in the
// process. Each goes with its handle, so the count stays flat however often short-lived handles are
// wrapped.
size_t liveTemporaryWrappers();
}  // namespace platform::afx
