// GDI objects and device contexts.
#include <map>
#include <memory>

#include "state.h"

namespace {

using platform::afx::TemporaryTally;

// A GDI object or device context is alive while the layer knows its handle.
bool gdiAlive(HGDIOBJ handle) { return GetObjectType(handle) != 0; }

// Per-thread wrappers of handles the caller does not own; they give the handle up when they go,
// and go when the handle is deleted.
template <typename T>
T* temporaryFor(HGDIOBJ handle) {
    struct Temporary : T {
        ~Temporary() override { this->m_hObject = nullptr; }
        TemporaryTally tally;
    };
    thread_local std::map<HGDIOBJ, std::unique_ptr<Temporary>> temporaries;
    return platform::afx::temporaryWrapper(temporaries, handle, gdiAlive, [handle] {
        auto made = std::make_unique<Temporary>();
        made->m_hObject = handle;
        return made;
    });
}

struct TemporaryDC : CDC {
    ~TemporaryDC() override { m_hDC = m_hAttribDC = nullptr; }
    TemporaryTally tally;
};
thread_local std::map<HDC, std::unique_ptr<TemporaryDC>> temporaryDCs;

}  // namespace

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CDC, CObject)

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ object) {
    if (!object) return FALSE;
    DeleteObject();
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ object = m_hObject;
    m_hObject = nullptr;
    return object;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    return ::DeleteObject(Detach());
}

int CGdiObject::GetObject(int size, void* buffer) const { return m_hObject ? GetObjectW(m_hObject, size, buffer) : 0; }
CGdiObject* CGdiObject::FromHandle(HGDIOBJ object) { return temporaryFor<CGdiObject>(object); }

BOOL CBitmap::LoadBitmap(UINT id) {
    HBITMAP bitmap = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    return bitmap ? Attach(bitmap) : FALSE;
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc ? dc->m_hDC : nullptr, width, height);
    return bitmap ? Attach(bitmap) : FALSE;
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    HBITMAP bitmap = ::CreateBitmap(width, height, planes, bitsPerPixel, bits);
    return bitmap ? Attach(bitmap) : FALSE;
}

int CBitmap::GetBitmap(BITMAP* info) const { return GetObject(sizeof(BITMAP), info); }
CBitmap* CBitmap::FromHandle(HBITMAP bitmap) { return temporaryFor<CBitmap>(bitmap); }

CBrush::CBrush(COLORREF colour) { CreateSolidBrush(colour); }

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    return brush ? Attach(brush) : FALSE;
}

CBrush* CBrush::FromHandle(HBRUSH brush) { return temporaryFor<CBrush>(brush); }

BOOL CFont::CreateFontIndirect(const LOGFONTW* font) {
    HFONT handle = font ? CreateFontIndirectW(font) : nullptr;
    return handle ? Attach(handle) : FALSE;
}

// ---- Device contexts -----------------------------------------------------------------------------
CDC::~CDC() { DeleteDC(); }

BOOL CDC::Attach(HDC dc) {
    if (!dc || m_hDC) return FALSE;
    m_hDC = m_hAttribDC = dc;
    return TRUE;
}

HDC CDC::Detach() {
    HDC dc = m_hDC;
    m_hDC = m_hAttribDC = nullptr;
    return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
    HDC made = ::CreateCompatibleDC(dc ? dc->m_hDC : nullptr);
    return made ? Attach(made) : FALSE;
}

BOOL CDC::DeleteDC() {
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC dc) {
    return platform::afx::temporaryWrapper(temporaryDCs, dc, [](HDC h) { return gdiAlive(h); }, [dc] {
        auto made = std::make_unique<TemporaryDC>();
        made->m_hDC = made->m_hAttribDC = dc;
        return made;
    });
}

CGdiObject* CDC::SelectObject(CGdiObject* object) {
    return CGdiObject::FromHandle(object ? ::SelectObject(m_hDC, object->m_hObject) : nullptr);
}
CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return CBitmap::FromHandle(static_cast<HBITMAP>(bitmap ? ::SelectObject(m_hDC, bitmap->m_hObject) : nullptr));
}
CBrush* CDC::SelectObject(CBrush* brush) {
    return CBrush::FromHandle(static_cast<HBRUSH>(brush ? ::SelectObject(m_hDC, brush->m_hObject) : nullptr));
}
CFont* CDC::SelectObject(CFont* font) { return temporaryFor<CFont>(font ? ::SelectObject(m_hDC, font->m_hObject) : nullptr); }
CGdiObject* CDC::SelectStockObject(int index) { return CGdiObject::FromHandle(::SelectObject(m_hDC, GetStockObject(index))); }

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSrc, ySrc, rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int xSrc, int ySrc, int srcWidth, int srcHeight, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSrc, ySrc, srcWidth, srcHeight, rop);
}

BOOL CDC::StretchBitmap(CBitmap& bitmap, int width, int height) {
    CDC memory;
    if (!memory.CreateCompatibleDC(this)) return FALSE;
    CBitmap* old = memory.SelectObject(&bitmap);
    BITMAP info{};
    bitmap.GetBitmap(&info);
    const BOOL drawn = StretchBlt(0, 0, width, height, &memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    memory.SelectObject(old);
    return drawn;
}

BOOL CDC::PatBlt(int x, int y, int width, int height, DWORD rop) { return ::PatBlt(m_hDC, x, y, width, height, rop); }
void CDC::FillRect(LPCRECT rect, CBrush* brush) { ::FillRect(m_hDC, rect, brush ? static_cast<HBRUSH>(brush->m_hObject) : nullptr); }

void CDC::FillSolidRect(LPCRECT rect, COLORREF colour) {
    const COLORREF old = ::SetBkColor(m_hDC, colour);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF colour) {
    const RECT rect{x, y, x + width, y + height};
    FillSolidRect(&rect, colour);
}

void CDC::FrameRect(LPCRECT rect, CBrush* brush) { ::FrameRect(m_hDC, rect, brush ? static_cast<HBRUSH>(brush->m_hObject) : nullptr); }
BOOL CDC::DrawEdge(LPRECT rect, UINT edge, UINT flags) { return ::DrawEdge(m_hDC, rect, edge, flags); }
void CDC::DrawFocusRect(LPCRECT rect) { ::DrawFocusRect(m_hDC, rect); }
BOOL CDC::DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
int CDC::DrawText(LPCWSTR text, int count, LPRECT rect, UINT format) { return ::DrawTextW(m_hDC, text, count, rect, format); }
int CDC::DrawText(const CString& text, LPRECT rect, UINT format) { return DrawText(text.GetString(), text.GetLength(), rect, format); }
BOOL CDC::TextOut(int x, int y, const CString& text) { return ::TextOutW(m_hDC, x, y, text.GetString(), text.GetLength()); }

CSize CDC::GetTextExtent(const CString& text) const {
    SIZE size{};
    ::GetTextExtentPoint32W(m_hDC, text.GetString(), text.GetLength(), &size);
    return CSize(size);
}

int CDC::SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
int CDC::GetBkMode() const { return ::GetBkMode(m_hDC); }
COLORREF CDC::SetTextColor(COLORREF colour) { return ::SetTextColor(m_hDC, colour); }
COLORREF CDC::GetTextColor() const { return ::GetTextColor(m_hDC); }
COLORREF CDC::SetBkColor(COLORREF colour) { return ::SetBkColor(m_hDC, colour); }
COLORREF CDC::GetBkColor() const { return ::GetBkColor(m_hDC); }
int CDC::SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
int CDC::SaveDC() { return ::SaveDC(m_hDC); }
BOOL CDC::RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
int CDC::GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
COLORREF CDC::GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

CPaintDC::CPaintDC(CWnd* wnd) : hwnd_(wnd ? wnd->m_hWnd : nullptr) {
    if (hwnd_) Attach(BeginPaint(hwnd_, &m_ps));
}

CPaintDC::~CPaintDC() {
    if (hwnd_) EndPaint(hwnd_, &m_ps);
    Detach();
}

CClientDC::CClientDC(CWnd* wnd) : hwnd_(wnd ? wnd->m_hWnd : nullptr) { Attach(::GetDC(hwnd_)); }

CClientDC::~CClientDC() {
    if (m_hDC) ::ReleaseDC(hwnd_, m_hDC);
    Detach();
}
