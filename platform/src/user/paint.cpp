// Painting into a software raster: a 32-bit surface per top-level window, invalid areas, WM_PAINT,
// BeginPaint/EndPaint, window DCs clipped to a window's part of the surface (a bitmap view of just that
// rectangle selected into a memory DC), FillRect/FrameRect/DrawEdge/DrawFocusRect/DrawTextW and the
// system colours.
#include <algorithm>
#include <map>
#include <mutex>

#include "../gdi/objects.h"
#include "platform/dialogs.h"
#include "state.h"
#include "win/gdi.h"
#include "win/user.h"

namespace platform::user {

// Used by messages.cpp (WM_PAINT generation), windows.cpp (destruction) and controls.cpp.
std::vector<HWND> pendingPaints(DWORD tid);
void paintTaken(HWND hwnd);
void forgetPaint(HWND hwnd);
void forgetSurface(HWND hwnd);
HFONT guiFont();

namespace {

struct Invalid {
    RECT rect{};
    bool erase = false;
    bool pending = false;  // a WM_PAINT is still to come for it
    DWORD tid = 0;
};

struct Surface {
    HBITMAP handle = nullptr;
    std::shared_ptr<gdi::Bitmap> bitmap;
};

struct WindowDc {
    HBITMAP view = nullptr;
    std::shared_ptr<gdi::Bitmap> surface;  // keeps the pixels the view points into alive
};

std::mutex paintMutex;
std::map<HWND, Invalid>& invalids() {
    static auto* map = new std::map<HWND, Invalid>;
    return *map;
}
std::map<HWND, Surface>& surfaces() {
    static auto* map = new std::map<HWND, Surface>;
    return *map;
}
std::map<HDC, WindowDc>& windowDcs() {
    static auto* map = new std::map<HDC, WindowDc>;
    return *map;
}

bool emptyRect(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
RECT intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (emptyRect(r)) r = RECT{0, 0, 0, 0};
    return r;
}
RECT unite(const RECT& a, const RECT& b) {
    if (emptyRect(a)) return b;
    if (emptyRect(b)) return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}
RECT offset(RECT r, LONG dx, LONG dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

// Where a window is: its top-level window, its client rectangle in the top-level's client coordinates and
// the part of that its ancestors let it show.
struct Placement {
    HWND top = nullptr;
    RECT client{};
    RECT visible{};
    DWORD tid = 0;
    bool visibleStyle = false;
    std::vector<HWND> children;  // top of the order first
    HBRUSH background = nullptr;
};

std::optional<Placement> placementOf(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    auto w = findWindow(hwnd);
    if (!w || w->messageOnly) return std::nullopt;
    Placement p;
    p.tid = w->tid;
    p.children = w->children;
    p.visibleStyle = (w->style & WS_VISIBLE) != 0;
    if (w->cls) p.background = w->cls->info.hbrBackground;
    RECT rect{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    RECT visible = rect;
    auto cur = w;
    while (!cur->topLevel()) {
        auto parent = findWindow(cur->parent);
        if (!parent) return std::nullopt;
        rect = offset(rect, cur->rect.left, cur->rect.top);
        visible = intersect(offset(visible, cur->rect.left, cur->rect.top),
                            RECT{0, 0, parent->rect.right - parent->rect.left, parent->rect.bottom - parent->rect.top});
        cur = parent;
    }
    p.top = cur->hwnd;
    p.client = rect;
    p.visible = visible;
    return p;
}

// The surface of a top-level window, made (or made again at a new size) as needed.
std::shared_ptr<gdi::Bitmap> surfaceOf(HWND top) {
    RECT r{};
    GetWindowRect(top, &r);
    const LONG width = std::max<LONG>(1, r.right - r.left), height = std::max<LONG>(1, r.bottom - r.top);
    // Forget the surfaces of windows that are gone (the window lock is never taken under ours).
    std::vector<HWND> known;
    {
        std::lock_guard lock(paintMutex);
        for (auto& [h, s] : surfaces()) known.push_back(h);
    }
    std::vector<HWND> gone;
    for (HWND h : known)
        if (h != top && !IsWindow(h)) gone.push_back(h);
    std::lock_guard lock(paintMutex);
    for (HWND h : gone) {
        auto it = surfaces().find(h);
        if (it == surfaces().end()) continue;
        DeleteObject(it->second.handle);
        surfaces().erase(it);
    }
    auto& s = surfaces()[top];
    if (s.bitmap && s.bitmap->surface.width == width && s.bitmap->surface.height == height) return s.bitmap;
    if (s.handle) DeleteObject(s.handle);
    s = Surface{};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    s.handle = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!s.handle) return nullptr;
    s.bitmap = gdi::findAs<gdi::Bitmap>(s.handle);
    if (s.bitmap) {
        const auto white = s.bitmap->surface.rawOf(RGB(255, 255, 255));
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x) s.bitmap->surface.set(x, y, white);
    }
    return s.bitmap;
}

// A view of a rectangle of a surface: the same pixels, no storage of its own.
HBITMAP makeView(const std::shared_ptr<gdi::Bitmap>& surface, RECT r) {
    r = intersect(r, RECT{0, 0, surface->surface.width, surface->surface.height});
    if (emptyRect(r)) return nullptr;
    auto view = std::make_shared<gdi::Bitmap>();
    view->surface = surface->surface;
    view->surface.width = r.right - r.left;
    view->surface.height = r.bottom - r.top;
    view->surface.bits = surface->surface.row(r.top) + static_cast<size_t>(r.left) * 4;
    view->dib = true;
    view->header = surface->header;
    view->header.biWidth = view->surface.width;
    view->header.biHeight = -view->surface.height;
    return static_cast<HBITMAP>(gdi::insert(view));
}

void invalidateOne(HWND hwnd, const Placement& p, const RECT* rect, bool erase) {
    const RECT client{0, 0, p.client.right - p.client.left, p.client.bottom - p.client.top};
    const RECT add = rect ? intersect(*rect, client) : client;
    if (emptyRect(add)) return;
    {
        std::lock_guard lock(paintMutex);
        auto& inv = invalids()[hwnd];
        inv.rect = unite(inv.rect, add);
        inv.erase = inv.erase || erase;
        inv.pending = true;
        inv.tid = p.tid;
    }
    wakeThread(p.tid);
}

// Invalidates a window and (all = every descendant, else those its rectangle covers) its visible children.
void invalidateTree(HWND hwnd, const RECT* rect, bool erase, bool all) {
    auto p = placementOf(hwnd);
    if (!p) return;
    invalidateOne(hwnd, *p, rect, erase);
    const RECT area = rect ? offset(*rect, p->client.left, p->client.top) : p->client;
    for (HWND child : p->children) {
        auto c = placementOf(child);
        if (!c || !c->visibleStyle) continue;
        if (!all && emptyRect(intersect(area, c->client))) continue;
        const RECT inChild = offset(intersect(area, c->client), -c->client.left, -c->client.top);
        invalidateTree(child, all && !rect ? nullptr : &inChild, erase, all);
    }
}

void validate(HWND hwnd, const RECT* rect) {
    std::lock_guard lock(paintMutex);
    auto it = invalids().find(hwnd);
    if (it == invalids().end()) return;
    if (!rect) {
        invalids().erase(it);
        return;
    }
    // What is left of a rectangle minus another, as a bounding rectangle.
    RECT& r = it->second.rect;
    const RECT cut = intersect(r, *rect);
    if (emptyRect(cut)) return;
    if (cut.left <= r.left && cut.right >= r.right) {
        if (cut.top <= r.top) r.top = cut.bottom;
        else if (cut.bottom >= r.bottom) r.bottom = cut.top;
    } else if (cut.top <= r.top && cut.bottom >= r.bottom) {
        if (cut.left <= r.left) r.left = cut.right;
        else if (cut.right >= r.right) r.right = cut.left;
    }
    if (emptyRect(r)) invalids().erase(it);
}

std::optional<Invalid> invalidOf(HWND hwnd) {
    std::lock_guard lock(paintMutex);
    auto it = invalids().find(hwnd);
    if (it == invalids().end()) return std::nullopt;
    return it->second;
}

HBRUSH brushFromClass(HBRUSH brush) {
    const auto value = reinterpret_cast<uintptr_t>(brush);
    if (value >= 1 && value <= 31) return GetSysColorBrush(static_cast<int>(value - 1));
    return brush;
}

// Sends WM_PAINT to a window and then its visible descendants, bottom of the order first, each painted whole.
void paintTree(HWND hwnd, bool root) {
    auto p = placementOf(hwnd);
    if (!p || (!root && !p->visibleStyle)) return;
    invalidateOne(hwnd, *p, nullptr, true);
    paintTaken(hwnd);
    SendMessageW(hwnd, WM_PAINT, 0, 0);
    validate(hwnd, nullptr);
    for (auto it = p->children.rbegin(); it != p->children.rend(); ++it) paintTree(*it, false);
}

}  // namespace

std::vector<HWND> pendingPaints(DWORD tid) {
    std::lock_guard lock(paintMutex);
    std::vector<HWND> out;
    for (auto& [hwnd, inv] : invalids())
        if (inv.pending && inv.tid == tid) out.push_back(hwnd);
    return out;
}

void paintTaken(HWND hwnd) {
    std::lock_guard lock(paintMutex);
    auto it = invalids().find(hwnd);
    if (it != invalids().end()) it->second.pending = false;
}

void forgetPaint(HWND hwnd) {
    std::lock_guard lock(paintMutex);
    invalids().erase(hwnd);
}

void forgetSurface(HWND hwnd) {
    HBITMAP handle = nullptr;
    {
        std::lock_guard lock(paintMutex);
        invalids().erase(hwnd);
        auto it = surfaces().find(hwnd);
        if (it == surfaces().end()) return;
        handle = it->second.handle;
        surfaces().erase(it);
    }
    DeleteObject(handle);
}

HFONT guiFont() {
    static HFONT font = [] {
        HFONT f = CreateFontW(-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"MS Shell Dlg");
        std::lock_guard lock(gdi::lock());
        if (auto o = gdi::find(f)) o->stock = true;
        return f;
    }();
    return font;
}

}  // namespace platform::user

using namespace platform::user;

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (!placementOf(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    invalidateTree(hwnd, rect, erase != FALSE, false);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
    if (!placementOf(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    validate(hwnd, rect);
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    auto inv = invalidOf(hwnd);
    if (rect) *rect = inv ? inv->rect : RECT{0, 0, 0, 0};
    return inv && !emptyRect(inv->rect) ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    if (!placementOf(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (invalidOf(hwnd)) {
        paintTaken(hwnd);
        SendMessageW(hwnd, WM_PAINT, 0, 0);
    }
    return TRUE;
}

namespace {
void updateTree(HWND hwnd) {
    UpdateWindow(hwnd);
    auto p = placementOf(hwnd);
    if (!p) return;
    for (auto it = p->children.rbegin(); it != p->children.rend(); ++it) updateTree(*it);
}
}  // namespace

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags) {
    if (region) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!placementOf(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (flags & RDW_INVALIDATE) invalidateTree(hwnd, rect, (flags & RDW_ERASE) != 0, (flags & RDW_ALLCHILDREN) != 0);
    if (flags & RDW_VALIDATE) validate(hwnd, rect);
    if (flags & RDW_UPDATENOW) updateTree(hwnd);
    return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
    auto p = placementOf(hwnd);
    if (!p) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto surface = surfaceOf(p->top);
    if (!surface) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return nullptr;
    WindowDc record{makeView(surface, p->visible), surface};
    if (record.view) {
        SelectObject(dc, record.view);
        const RECT shown = intersect(p->visible, RECT{0, 0, surface->surface.width, surface->surface.height});
        SetViewportOrgEx(dc, p->client.left - shown.left, p->client.top - shown.top, nullptr);
    }
    SelectObject(dc, guiFont());
    std::lock_guard lock(paintMutex);
    windowDcs()[dc] = record;
    return dc;
}

HDC WINAPI GetWindowDC(HWND hwnd) { return GetDC(hwnd); }

int WINAPI ReleaseDC(HWND, HDC dc) {
    WindowDc record;
    {
        std::lock_guard lock(paintMutex);
        auto it = windowDcs().find(dc);
        if (it == windowDcs().end()) return 0;
        record = it->second;
        windowDcs().erase(it);
    }
    DeleteDC(dc);
    if (record.view) DeleteObject(record.view);
    return 1;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    auto p = placementOf(hwnd);
    if (!p || !paint) {
        SetLastError(p ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    auto inv = invalidOf(hwnd);
    validate(hwnd, nullptr);
    paint->hdc = GetDC(hwnd);
    if (!paint->hdc) return nullptr;
    paint->rcPaint = inv ? inv->rect : RECT{0, 0, 0, 0};
    if (inv && inv->erase) {
        const LRESULT erased = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0);
        if (!erased && p->background) {
            FillRect(paint->hdc, &paint->rcPaint, brushFromClass(p->background));
        } else if (!erased) {
            paint->fErase = TRUE;
        }
    }
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (!paint) return FALSE;
    return ReleaseDC(hwnd, paint->hdc) ? TRUE : FALSE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (!rect || !brush) return 0;
    brush = brushFromClass(brush);
    HGDIOBJ old = SelectObject(dc, brush);
    if (!old) return 0;
    PatBlt(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, PATCOPY);
    SelectObject(dc, old);
    return 1;
}

int WINAPI FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (!rect || emptyRect(*rect)) return 0;
    const RECT& r = *rect;
    const RECT sides[] = {{r.left, r.top, r.right, r.top + 1},
                          {r.left, r.bottom - 1, r.right, r.bottom},
                          {r.left, r.top, r.left + 1, r.bottom},
                          {r.right - 1, r.top, r.right, r.bottom}};
    for (const RECT& s : sides)
        if (!FillRect(dc, &s, brush)) return 0;
    return 1;
}

BOOL WINAPI DrawEdge(HDC dc, LPRECT rect, UINT edge, UINT flags) {
    if (!rect || !GetObjectType(dc) || (flags & BF_DIAGONAL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct Border {
        UINT raised, sunken;
        int raisedTopLeft, raisedBottomRight, sunkenTopLeft, sunkenBottomRight;
    };
    const Border borders[] = {
        {BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT},
        {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
    };
    RECT r = *rect;
    for (const Border& b : borders) {
        if (!(edge & (b.raised | b.sunken)) || emptyRect(r)) continue;
        const bool raised = (edge & b.raised) != 0;
        HBRUSH topLeft = GetSysColorBrush(raised ? b.raisedTopLeft : b.sunkenTopLeft);
        HBRUSH bottomRight = GetSysColorBrush(raised ? b.raisedBottomRight : b.sunkenBottomRight);
        const RECT top{r.left, r.top, r.right, r.top + 1}, left{r.left, r.top, r.left + 1, r.bottom};
        const RECT bottom{r.left, r.bottom - 1, r.right, r.bottom}, right{r.right - 1, r.top, r.right, r.bottom};
        if (flags & BF_TOP) FillRect(dc, &top, topLeft);
        if (flags & BF_LEFT) FillRect(dc, &left, topLeft);
        if (flags & BF_BOTTOM) FillRect(dc, &bottom, bottomRight);
        if (flags & BF_RIGHT) FillRect(dc, &right, bottomRight);
        if (flags & BF_LEFT) ++r.left;
        if (flags & BF_TOP) ++r.top;
        if (flags & BF_RIGHT) --r.right;
        if (flags & BF_BOTTOM) --r.bottom;
    }
    if ((flags & BF_MIDDLE) && !emptyRect(r)) FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (flags & BF_ADJUST) *rect = r;
    return TRUE;
}

BOOL WINAPI DrawFocusRect(HDC dc, const RECT* rect) {
    if (!rect || !GetObjectType(dc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECT& r = *rect;
    if (emptyRect(r)) return TRUE;
    // Each pixel of the frame once, every other one inverted.
    auto dot = [&](LONG x, LONG y) {
        if (((x - r.left) + (y - r.top)) % 2 == 0) PatBlt(dc, x, y, 1, 1, DSTINVERT);
    };
    for (LONG x = r.left; x < r.right; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
    }
    for (LONG y = r.top + 1; y < r.bottom - 1; ++y) {
        dot(r.left, y);
        if (r.right - 1 > r.left) dot(r.right - 1, y);
    }
    return TRUE;
}

namespace {
struct Line {
    std::u16string text;
    int width = 0;
};

int widthOf(HDC dc, const std::u16string& text) {
    SIZE size{};
    if (!text.empty()) GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}
}  // namespace

int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    if (!text || !rect) return 0;
    std::u16string raw = count < 0 ? std::u16string(text) : std::u16string(text, static_cast<size_t>(count));
    std::u16string plain;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (!(format & DT_NOPREFIX) && raw[i] == u'&') {
            if (i + 1 < raw.size() && raw[i + 1] == u'&') plain += u'&', ++i;
            continue;
        }
        plain += raw[i];
    }
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const int lineHeight = tm.tmHeight > 0 ? tm.tmHeight : 13;
    const int boxWidth = rect->right - rect->left;
    std::vector<Line> lines;
    auto addLine = [&](const std::u16string& s) { lines.push_back(Line{s, widthOf(dc, s)}); };
    if (format & DT_SINGLELINE) {
        std::u16string one;
        for (char16_t ch : plain)
            if (ch != u'\n' && ch != u'\r') one += ch;
        addLine(one);
    } else {
        size_t start = 0;
        for (;;) {
            size_t end = plain.find(u'\n', start);
            std::u16string para = plain.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
            if (!para.empty() && para.back() == u'\r') para.pop_back();
            if (format & DT_WORDBREAK) {
                // Greedy breaking at spaces; a word wider than the box stands on a line of its own.
                std::u16string line;
                size_t i = 0;
                while (i <= para.size()) {
                    size_t sp = para.find(u' ', i);
                    std::u16string word = para.substr(i, sp == std::u16string::npos ? std::u16string::npos : sp - i);
                    std::u16string candidate = line.empty() ? word : line + u' ' + word;
                    if (!line.empty() && widthOf(dc, candidate) > boxWidth) {
                        addLine(line);
                        line = word;
                    } else {
                        line = candidate;
                    }
                    if (sp == std::u16string::npos) break;
                    i = sp + 1;
                }
                addLine(line);
            } else {
                addLine(para);
            }
            if (end == std::u16string::npos) break;
            start = end + 1;
        }
    }
    const int height = lineHeight * static_cast<int>(lines.size());
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& l : lines) widest = std::max(widest, l.width);
        rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return height;
    }
    int y = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER) y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM) y = rect->bottom - lineHeight;
    }
    const UINT oldAlign = SetTextAlign(dc, TA_LEFT | TA_TOP);
    for (const Line& l : lines) {
        int x = rect->left;
        if (format & DT_CENTER) x = rect->left + (boxWidth - l.width) / 2;
        else if (format & DT_RIGHT) x = rect->right - l.width;
        if (!l.text.empty())
            ExtTextOutW(dc, x, y, (format & DT_NOCLIP) ? 0 : ETO_CLIPPED, rect, l.text.c_str(),
                        static_cast<UINT>(l.text.size()), nullptr);
        y += lineHeight;
    }
    SetTextAlign(dc, oldAlign);
    return height;
}

DWORD WINAPI GetSysColor(int index) {
    switch (index) {
    case COLOR_WINDOW:
    case COLOR_BTNHIGHLIGHT:
    case COLOR_HIGHLIGHTTEXT:
    case COLOR_MENU:
    case COLOR_CAPTIONTEXT: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
    case COLOR_MENUTEXT:
    case COLOR_INFOTEXT:
    case COLOR_WINDOWFRAME:
    case COLOR_3DDKSHADOW: return RGB(0, 0, 0);
    case COLOR_GRAYTEXT:
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT:
    case COLOR_ACTIVECAPTION: return RGB(0, 0, 128);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    case COLOR_3DLIGHT: return RGB(227, 227, 227);
    default: return RGB(240, 240, 240);  // the button face and the rest
    }
}

HBRUSH WINAPI GetSysColorBrush(int index) {
    static std::mutex m;
    static std::map<int, HBRUSH> brushes;
    std::lock_guard lock(m);
    auto& b = brushes[index];
    if (!b) {
        b = CreateSolidBrush(GetSysColor(index));
        std::lock_guard gl(platform::gdi::lock());
        if (auto o = platform::gdi::find(b)) o->stock = true;
    }
    return b;
}

namespace platform::dialogs {

std::optional<Picture> windowPicture(HWND hwnd) {
    auto p = placementOf(hwnd);
    if (!p) return std::nullopt;
    paintTree(p->top, true);
    auto surface = surfaceOf(p->top);
    if (!surface) return std::nullopt;
    std::lock_guard lock(gdi::lock());
    Picture picture;
    picture.width = surface->surface.width;
    picture.height = surface->surface.height;
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const COLORREF c = surface->surface.colorOf(surface->surface.get(x, y));
            picture.pixels[static_cast<size_t>(y) * picture.width + x] =
                (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
        }
    return picture;
}

}  // namespace platform::dialogs

#include <png.h>
#include <cstdio>

namespace platform::dialogs {

bool writePng(const Picture& picture, const std::string& path) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height)
        return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(picture.width) * 3);
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    else if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                const uint32_t p = picture.pixels[static_cast<size_t>(y) * picture.width + x];
                row[static_cast<size_t>(x) * 3] = static_cast<png_byte>(p >> 16);
                row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(p >> 8);
                row[static_cast<size_t>(x) * 3 + 2] = static_cast<png_byte>(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return std::fclose(file) == 0 && ok;
}

}  // namespace platform::dialogs
