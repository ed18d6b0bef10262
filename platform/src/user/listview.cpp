// The SysListView32 class in report view: columns with widths, rows of texts with item data and state,
// the first row shown, finding and sorting, painting (a header row, rows, the selection, grid lines),
// and the mouse (column clicks, row clicks and double clicks with their notifications).
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>

#include "../internal.h"
#include "controls.h"
#include "state.h"
#include "win/gdi.h"

namespace platform::user {
namespace {

using namespace controls;

constexpr int kRowHeight = 17;
constexpr int kTextMargin = 4;  // between a cell's left edge and its text, and past the text's end

struct Column {
    std::u16string title;
    int width = -1;  // -1: an even share of the control
    int format = LVCFMT_LEFT;
};

struct Row {
    std::vector<std::u16string> texts;  // the item, then its sub-items
    UINT state = 0;
    LPARAM param = 0;
};

struct ListView {
    std::vector<Column> columns;
    std::vector<Row> rows;
    DWORD exStyle = 0;
    int top = 0;              // the first row shown
    uint64_t generation = 0;  // moves on whenever rows are inserted, deleted or sorted
    // A press waiting for its release: on a column's header, or on the rows (NM_CLICK then).
    int pressedColumn = -1;
    bool pressedRows = false;
    int pressedItem = -1, pressedSubItem = -1;
    POINT pressedAt{};
};

std::mutex listsMutex;
std::map<HWND, std::shared_ptr<ListView>>& lists() {
    static auto* map = new std::map<HWND, std::shared_ptr<ListView>>;
    return *map;
}

// The list's state: only ever used on its own thread, so without a lock once found.
std::shared_ptr<ListView> listOf(HWND hwnd) {
    std::lock_guard lock(listsMutex);
    auto it = lists().find(hwnd);
    return it == lists().end() ? nullptr : it->second;
}

// ---- Geometry ----------------------------------------------------------------------------------------
// Everything inside the one-pixel frame: the header row, then the rows from the first shown.
struct Layout {
    RECT client{};
    int headerHeight = 0;
    int rowsTop = 1;
    std::vector<RECT> columns;  // x extents (top and bottom left 0); one spanning all without columns
    int perPage = 0;            // rows that show whole
};

Layout layoutOf(HWND hwnd, const ListView& l) {
    Layout out;
    GetClientRect(hwnd, &out.client);
    const bool header = !l.columns.empty() && !(styleOf(hwnd) & LVS_NOCOLUMNHEADER);
    out.headerHeight = header ? kRowHeight : 0;
    out.rowsTop = 1 + out.headerHeight;
    const LONG inner = std::max<LONG>(0, out.client.right - 2);
    const size_t n = std::max<size_t>(1, l.columns.size());
    LONG x = 1;
    for (size_t i = 0; i < n; ++i) {
        const int set = i < l.columns.size() ? l.columns[i].width : -1;
        const LONG share = static_cast<LONG>(inner * static_cast<LONG>(i + 1) / static_cast<LONG>(n) -
                                             inner * static_cast<LONG>(i) / static_cast<LONG>(n));
        const LONG width = set >= 0 ? set : share;
        out.columns.push_back(RECT{x, 0, x + width, 0});
        x += width;
    }
    out.perPage = std::max<int>(0, (out.client.bottom - 1 - out.rowsTop) / kRowHeight);
    return out;
}

// The width of a text in the built-in font.
int textWidth(const std::u16string& text) {
    if (text.empty()) return 0;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, guiFont());
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    DeleteDC(dc);
    return size.cx;
}

// The first column's text of a row as it is hit and highlighted without full-row selection.
RECT labelOf(const Layout& layout, const Row& row, LONG top) {
    const RECT& cell = layout.columns.front();
    const std::u16string text = row.texts.empty() ? std::u16string() : row.texts.front();
    const LONG right = std::min<LONG>(cell.right, cell.left + kTextMargin + textWidth(text) + kTextMargin);
    return RECT{cell.left, top, right, top + kRowHeight};
}

// The column whose cell (or header) spans x, -1 for none.
int columnAt(const Layout& layout, LONG x) {
    for (size_t i = 0; i < layout.columns.size(); ++i)
        if (x >= layout.columns[i].left && x < layout.columns[i].right) return static_cast<int>(i);
    return -1;
}

// What lies under a point of the client area.
struct Hit {
    bool header = false;
    int column = -1;  // the column (header or cell) under the point, -1 past the last
    int item = -1;    // the row whose selectable part is under the point
};

// What a press at a point of the client area hits: a header, a row's selectable part, or nothing.
Hit hitTest(HWND hwnd, const ListView& l, POINT p) {
    const Layout layout = layoutOf(hwnd, l);
    Hit hit;
    hit.column = columnAt(layout, p.x);
    if (p.x < 0 || p.x >= layout.client.right || p.y < 1 || p.y >= layout.client.bottom) return Hit{};
    if (p.y < layout.rowsTop) {
        hit.header = layout.headerHeight > 0;
        if (!hit.header) hit.column = -1;
        return hit;
    }
    const int row = l.top + (p.y - layout.rowsTop) / kRowHeight;
    if (row < 0 || row >= static_cast<int>(l.rows.size()) || hit.column < 0) return hit;
    if (l.exStyle & LVS_EX_FULLROWSELECT) {
        hit.item = row;
    } else if (hit.column == 0) {
        const LONG top = layout.rowsTop + (row - l.top) * kRowHeight;
        const RECT label = labelOf(layout, l.rows[static_cast<size_t>(row)], top);
        if (p.x < label.right) hit.item = row;
    }
    return hit;
}

// Keeps the first row shown within the rows (the last page full when there are enough).
bool clampTop(HWND hwnd, ListView& l) {
    const int perPage = std::max(1, layoutOf(hwnd, l).perPage);
    const int count = static_cast<int>(l.rows.size());
    const int top = std::clamp(l.top, 0, std::max(0, count - perPage));
    if (top == l.top) return false;
    l.top = top;
    return true;
}

// ---- Notifications -------------------------------------------------------------------------------
// The parent hears of what happened through WM_NOTIFY (a top-level list tells nobody).
NMHDR header(HWND hwnd, UINT code) {
    return NMHDR{hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), code};
}

LRESULT notify(HWND hwnd, NMHDR& hdr) {
    HWND parent = GetParent(hwnd);
    if (!parent || !(styleOf(hwnd) & WS_CHILD)) return 0;
    return SendMessageW(parent, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
}

void itemChanged(HWND hwnd, int item, UINT oldState, UINT newState, LPARAM param) {
    NMLISTVIEW nm{};
    nm.hdr = header(hwnd, LVN_ITEMCHANGED);
    nm.iItem = item;
    nm.uOldState = oldState;
    nm.uNewState = newState;
    nm.uChanged = LVIF_STATE;
    nm.lParam = param;
    notify(hwnd, nm.hdr);
}

void columnClicked(HWND hwnd, int column, POINT at) {
    NMLISTVIEW nm{};
    nm.hdr = header(hwnd, LVN_COLUMNCLICK);
    nm.iItem = -1;
    nm.iSubItem = column;
    nm.ptAction = at;
    notify(hwnd, nm.hdr);
}

// NM_CLICK or NM_DBLCLK with the row's item data.
void activated(HWND hwnd, const ListView& l, UINT code, int item, int subItem, POINT at) {
    NMITEMACTIVATE nm{};
    nm.hdr = header(hwnd, code);
    nm.iItem = item;
    nm.iSubItem = subItem;
    nm.ptAction = at;
    if (item >= 0 && item < static_cast<int>(l.rows.size())) nm.lParam = l.rows[static_cast<size_t>(item)].param;
    notify(hwnd, nm.hdr);
}

// Changes the masked state bits of a row; LVN_ITEMCHANGED when they changed. The parent may change the
// list while it hears of it, so rows are looked up again each time.
void setState(HWND hwnd, ListView& l, int item, UINT mask, UINT value) {
    if (item < 0 || item >= static_cast<int>(l.rows.size())) return;
    Row& row = l.rows[static_cast<size_t>(item)];
    const UINT old = row.state;
    const UINT now = (old & ~mask) | (value & mask);
    if (old == now) return;
    row.state = now;
    const LPARAM param = row.param;
    repaint(hwnd);
    itemChanged(hwnd, item, old, now, param);
}

// LVM_SETITEMSTATE's work for one row or all (-1): a single-selection list lets go of the other
// selected row, and one row at most has the focus.
void applyState(HWND hwnd, ListView& l, int index, UINT mask, UINT value) {
    const bool single = (styleOf(hwnd) & LVS_SINGLESEL) != 0;
    for (int i = 0; i < static_cast<int>(l.rows.size()); ++i) {
        if (index != -1 && i != index) continue;
        if (single && index != -1 && (mask & value & LVIS_SELECTED))
            for (int j = 0; j < static_cast<int>(l.rows.size()); ++j)
                if (j != i) setState(hwnd, l, j, LVIS_SELECTED, 0);
        if (mask & value & LVIS_FOCUSED)
            for (int j = 0; j < static_cast<int>(l.rows.size()); ++j)
                if (j != i) setState(hwnd, l, j, LVIS_FOCUSED, 0);
        setState(hwnd, l, i, mask, value);
    }
}

// A click on a row: it alone is selected and has the focus (the others let go first, in order).
void selectOnly(HWND hwnd, ListView& l, int item) {
    for (int j = 0; j < static_cast<int>(l.rows.size()); ++j)
        if (j != item) setState(hwnd, l, j, LVIS_SELECTED | LVIS_FOCUSED, 0);
    setState(hwnd, l, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void clearSelection(HWND hwnd, ListView& l) {
    for (int j = 0; j < static_cast<int>(l.rows.size()); ++j) setState(hwnd, l, j, LVIS_SELECTED, 0);
}

// ---- Finding and sorting -----------------------------------------------------------------------------
bool startsWithNoCase(std::u16string_view text, std::u16string_view start) {
    return text.size() >= start.size() && equalsNoCase(text.substr(0, start.size()), start);
}

// LVM_FINDITEMW: by item data, or by the item's text (whole or its start); no search by position.
int findItem(const ListView& l, int start, const LVFINDINFOW* find) {
    const int count = static_cast<int>(l.rows.size());
    if (!find || count == 0) return -1;
    const bool byParam = (find->flags & LVFI_PARAM) != 0;
    const bool partial = (find->flags & (LVFI_PARTIAL | LVFI_SUBSTRING)) != 0;
    if (!byParam && (!(find->flags & (LVFI_STRING | LVFI_PARTIAL | LVFI_SUBSTRING)) || !find->psz)) return -1;
    const std::u16string_view wanted = byParam ? std::u16string_view() : std::u16string_view(find->psz);
    auto matches = [&](const Row& row) {
        if (byParam) return row.param == find->lParam;
        const std::u16string_view text = row.texts.empty() ? std::u16string_view() : std::u16string_view(row.texts.front());
        return partial ? startsWithNoCase(text, wanted) : equalsNoCase(text, wanted);
    };
    const int from = start < 0 ? 0 : start + 1;
    for (int i = from; i < count; ++i)
        if (matches(l.rows[static_cast<size_t>(i)])) return i;
    if (find->flags & LVFI_WRAP)
        for (int i = 0; i < std::min(from, count); ++i)
            if (matches(l.rows[static_cast<size_t>(i)])) return i;
    return -1;
}

// A stable merge sort of row positions by the program's routine; it stays within bounds whatever the
// routine answers.
std::vector<size_t> sortedOrder(const std::vector<LPARAM>& params, PFNLVCOMPARE compare, LPARAM sortParam) {
    std::vector<size_t> order(params.size()), merged(params.size());
    std::iota(order.begin(), order.end(), size_t{0});
    for (size_t width = 1; width < order.size(); width *= 2) {
        for (size_t left = 0; left < order.size(); left += 2 * width) {
            const size_t middle = std::min(left + width, order.size()), end = std::min(left + 2 * width, order.size());
            size_t a = left, b = middle, out = left;
            while (a < middle && b < end)
                merged[out++] = compare(params[order[a]], params[order[b]], sortParam) <= 0 ? order[a++] : order[b++];
            while (a < middle) merged[out++] = order[a++];
            while (b < end) merged[out++] = order[b++];
        }
        order.swap(merged);
    }
    return order;
}

// ---- Column widths -----------------------------------------------------------------------------------
// A column's width as laid out (an even share for one given none).
int widthOf(HWND hwnd, const ListView& l, int column) {
    const Layout layout = layoutOf(hwnd, l);
    const RECT& r = layout.columns[static_cast<size_t>(column)];
    return static_cast<int>(r.right - r.left);
}

// LVSCW_AUTOSIZE and LVSCW_AUTOSIZE_USEHEADER: the widest text with the margins on both sides.
int autoWidth(HWND hwnd, const ListView& l, int column, bool useHeader) {
    const auto at = static_cast<size_t>(column);
    int widest = 0;
    for (const Row& row : l.rows)
        if (at < row.texts.size()) widest = std::max(widest, textWidth(row.texts[at]));
    if (useHeader) {
        widest = std::max(widest, textWidth(l.columns[at].title));
        if (at + 1 == l.columns.size()) {
            // The last column takes what the others leave of the control.
            const Layout layout = layoutOf(hwnd, l);
            const LONG left = layout.columns[at].left;
            widest = std::max<int>(widest + 2 * kTextMargin, static_cast<int>(layout.client.right - 1 - left));
            return widest;
        }
    }
    return widest + 2 * kTextMargin;
}

// ---- Painting ----------------------------------------------------------------------------------------
UINT alignmentOf(int format) {
    switch (format & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return DT_RIGHT;
    case LVCFMT_CENTER: return DT_CENTER;
    default: return DT_LEFT;
    }
}

// The frame, the header row, the rows from the first shown with the selection, and grid lines.
void paint(HWND hwnd, const ListView& l) {
    Painter p(hwnd);
    if (!p.dc) return;
    const Layout layout = layoutOf(hwnd, l);
    p.fill(p.client, COLOR_WINDOW);
    const UINT single = DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    auto formatOf = [&](size_t i) { return i < l.columns.size() ? alignmentOf(l.columns[i].format) : DT_LEFT; };
    if (layout.headerHeight) {
        for (size_t i = 0; i < l.columns.size(); ++i) {
            const RECT h{layout.columns[i].left, 1, layout.columns[i].right, 1 + kRowHeight};
            p.fill(h, COLOR_BTNFACE);
            p.frame(h, COLOR_BTNSHADOW);
            p.text(l.columns[i].title, RECT{h.left + kTextMargin, h.top, h.right - 2, h.bottom}, formatOf(i) | single,
                   COLOR_BTNTEXT);
        }
    }
    const bool fullRow = (l.exStyle & LVS_EX_FULLROWSELECT) != 0;
    const LONG columnsRight = layout.columns.back().right;
    LONG y = layout.rowsTop;
    for (size_t r = static_cast<size_t>(std::max(0, l.top)); r < l.rows.size() && y < p.client.bottom; ++r, y += kRowHeight) {
        const Row& row = l.rows[r];
        const bool selected = (row.state & LVIS_SELECTED) != 0;
        if (selected)
            p.fill(fullRow ? RECT{1, y, std::min<LONG>(columnsRight, p.client.right - 1), y + kRowHeight}
                           : labelOf(layout, row, y),
                   COLOR_HIGHLIGHT);
        for (size_t i = 0; i < row.texts.size() && i < layout.columns.size(); ++i) {
            const RECT& cell = layout.columns[i];
            const bool inverted = selected && (fullRow || i == 0);
            p.text(row.texts[i], RECT{cell.left + kTextMargin, y, cell.right - 2, y + kRowHeight}, formatOf(i) | single,
                   inverted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
        }
    }
    if (l.exStyle & LVS_EX_GRIDLINES) {
        // A line under every row's place down the view, and one at each column's right edge.
        for (LONG line = layout.rowsTop + kRowHeight - 1; line < p.client.bottom - 1; line += kRowHeight)
            p.fill(RECT{1, line, std::min<LONG>(columnsRight, p.client.right - 1), line + 1}, COLOR_3DLIGHT);
        if (!l.columns.empty())
            for (const RECT& c : layout.columns)
                p.fill(RECT{c.right - 1, layout.rowsTop, c.right, p.client.bottom - 1}, COLOR_3DLIGHT);
    }
    p.frame(p.client, COLOR_BTNSHADOW);
}

// ---- The mouse ---------------------------------------------------------------------------------------
POINT pointOf(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// A press (or the second press of a double click): on a header it waits for the release; on the rows
// it takes the focus and selects, then waits for the release (NM_CLICK) or sends NM_DBLCLK at once.
void press(HWND hwnd, ListView& l, LPARAM lParam, bool twice) {
    const POINT at = pointOf(lParam);
    const Hit hit = hitTest(hwnd, l, at);
    if (hit.header) {
        if (hit.column < 0 || (styleOf(hwnd) & LVS_NOSORTHEADER)) return;
        l.pressedColumn = hit.column;
        SetCapture(hwnd);
        return;
    }
    SetFocus(hwnd);
    if (hit.item >= 0) selectOnly(hwnd, l, hit.item);
    else clearSelection(hwnd, l);
    if (twice) {
        activated(hwnd, l, NM_DBLCLK, hit.item, hit.column, at);
        return;
    }
    l.pressedRows = true;
    l.pressedItem = hit.item;
    l.pressedSubItem = hit.column;
    l.pressedAt = at;
    SetCapture(hwnd);
}

// The release of a press: LVN_COLUMNCLICK over the same header, NM_CLICK after a press on the rows.
void release(HWND hwnd, ListView& l, LPARAM lParam) {
    const POINT at = pointOf(lParam);
    const int column = l.pressedColumn;
    const bool rows = l.pressedRows;
    const int item = l.pressedItem, subItem = l.pressedSubItem;
    const POINT pressedAt = l.pressedAt;
    l.pressedColumn = -1;
    l.pressedRows = false;
    if (column < 0 && !rows) return;
    if (GetCapture() == hwnd) ReleaseCapture();
    if (column >= 0) {
        const Hit hit = hitTest(hwnd, l, at);
        if (hit.header && hit.column == column) columnClicked(hwnd, column, at);
        return;
    }
    activated(hwnd, l, NM_CLICK, item, subItem, pressedAt);
}

// ---- The procedure -----------------------------------------------------------------------------------
// The class's messages; bad rows, columns and pointers answer FALSE, 0 or -1 as Windows does.
LRESULT listMessage(HWND hwnd, ListView& l, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto count = static_cast<int>(l.rows.size());
    const int index = static_cast<int>(wParam);
    auto validRow = [&](int i) { return i >= 0 && i < count; };
    // Sub-items belong to columns: the item's own text (0) always, the others while their column is there.
    auto validSubItem = [&](int sub) { return sub == 0 || (sub > 0 && sub < static_cast<int>(l.columns.size())); };
    switch (msg) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_PAINT: paint(hwnd, l); return 0;
    case WM_SIZE:
        if (clampTop(hwnd, l)) repaint(hwnd);
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_LBUTTONDOWN: press(hwnd, l, lParam, false); return 0;
    case WM_LBUTTONDBLCLK: {
        // A second press on a header is another click of it.
        const Hit hit = hitTest(hwnd, l, pointOf(lParam));
        press(hwnd, l, lParam, !hit.header);
        return 0;
    }
    case WM_LBUTTONUP: release(hwnd, l, lParam); return 0;
    case WM_CAPTURECHANGED:
        l.pressedColumn = -1;
        l.pressedRows = false;
        return 0;
    case LVM_INSERTCOLUMNW: {
        auto* col = reinterpret_cast<const LVCOLUMNW*>(lParam);
        if (!col || index < 0) return -1;
        const size_t at = std::min(static_cast<size_t>(index), l.columns.size());
        Column c;
        if ((col->mask & LVCF_TEXT) && col->pszText) c.title = col->pszText;
        if (col->mask & LVCF_WIDTH) c.width = std::max(0, col->cx);
        if (col->mask & LVCF_FMT) c.format = col->fmt;
        l.columns.insert(l.columns.begin() + static_cast<ptrdiff_t>(at), c);
        repaint(hwnd);
        return static_cast<LRESULT>(at);
    }
    case LVM_GETCOLUMNW: {
        auto* col = reinterpret_cast<LVCOLUMNW*>(lParam);
        if (!col || index < 0 || index >= static_cast<int>(l.columns.size())) return FALSE;
        const Column& c = l.columns[static_cast<size_t>(index)];
        if (col->mask & LVCF_FMT) col->fmt = c.format;
        if (col->mask & LVCF_WIDTH) col->cx = widthOf(hwnd, l, index);
        if ((col->mask & LVCF_TEXT) && col->pszText && col->cchTextMax > 0)
            copyOut(c.title, col->pszText, static_cast<size_t>(col->cchTextMax));
        if (col->mask & LVCF_SUBITEM) col->iSubItem = index;
        return TRUE;
    }
    case LVM_GETCOLUMNWIDTH:
        if (index < 0 || index >= static_cast<int>(l.columns.size())) return 0;
        return widthOf(hwnd, l, index);
    case LVM_SETCOLUMNWIDTH: {
        if (index < 0 || index >= static_cast<int>(l.columns.size())) return FALSE;
        const int width = static_cast<short>(LOWORD(lParam));
        l.columns[static_cast<size_t>(index)].width = width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER
                                                          ? autoWidth(hwnd, l, index, width == LVSCW_AUTOSIZE_USEHEADER)
                                                          : std::max(0, width);
        repaint(hwnd);
        return TRUE;
    }
    case LVM_INSERTITEMW: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        if (!item || item->iItem < 0 || item->iSubItem != 0) return -1;
        Row row;
        row.texts.push_back((item->mask & LVIF_TEXT) && item->pszText ? std::u16string(item->pszText) : std::u16string());
        if (item->mask & LVIF_PARAM) row.param = item->lParam;
        const UINT state = (item->mask & LVIF_STATE) ? (item->state & item->stateMask) : 0;
        const int at = std::min(item->iItem, count);
        l.rows.insert(l.rows.begin() + at, row);
        ++l.generation;
        repaint(hwnd);
        if (state) applyState(hwnd, l, at, state, state);
        return at;
    }
    case LVM_SETITEMTEXTW:
    case LVM_GETITEMTEXTW: {
        auto* item = reinterpret_cast<LVITEMW*>(lParam);
        if (!item || !validRow(index) || !validSubItem(item->iSubItem)) return msg == LVM_SETITEMTEXTW ? FALSE : 0;
        auto& texts = l.rows[static_cast<size_t>(index)].texts;
        const auto sub = static_cast<size_t>(item->iSubItem);
        if (msg == LVM_SETITEMTEXTW) {
            if (texts.size() <= sub) texts.resize(sub + 1);
            texts[sub] = item->pszText ? std::u16string(item->pszText) : std::u16string();
            repaint(hwnd);
            return TRUE;
        }
        if (item->cchTextMax <= 0) return 0;
        return static_cast<LRESULT>(copyOut(sub < texts.size() ? texts[sub] : std::u16string(), item->pszText,
                                            static_cast<size_t>(item->cchTextMax)));
    }
    case LVM_GETITEMW: {
        auto* item = reinterpret_cast<LVITEMW*>(lParam);
        if (!item || !validRow(item->iItem) || !validSubItem(item->iSubItem)) return FALSE;
        const Row& row = l.rows[static_cast<size_t>(item->iItem)];
        const auto sub = static_cast<size_t>(item->iSubItem);
        if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0)
            copyOut(sub < row.texts.size() ? row.texts[sub] : std::u16string(), item->pszText,
                    static_cast<size_t>(item->cchTextMax));
        if (item->mask & LVIF_PARAM) item->lParam = row.param;
        if (item->mask & LVIF_STATE) item->state = row.state & item->stateMask;
        return TRUE;
    }
    case LVM_SETITEMW: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        if (!item || !validRow(item->iItem) || !validSubItem(item->iSubItem)) return FALSE;
        const int at = item->iItem;
        if (item->mask & LVIF_TEXT) {
            auto& texts = l.rows[static_cast<size_t>(at)].texts;
            const auto sub = static_cast<size_t>(item->iSubItem);
            if (texts.size() <= sub) texts.resize(sub + 1);
            texts[sub] = item->pszText ? std::u16string(item->pszText) : std::u16string();
            repaint(hwnd);
        }
        if (item->iSubItem == 0 && (item->mask & LVIF_PARAM)) l.rows[static_cast<size_t>(at)].param = item->lParam;
        if (item->iSubItem == 0 && (item->mask & LVIF_STATE)) applyState(hwnd, l, at, item->stateMask, item->state);
        return TRUE;
    }
    case LVM_GETITEMCOUNT: return count;
    case LVM_DELETEITEM:
        if (!validRow(index)) return FALSE;
        l.rows.erase(l.rows.begin() + index);
        ++l.generation;
        clampTop(hwnd, l);
        repaint(hwnd);
        return TRUE;
    case LVM_DELETEALLITEMS:
        l.rows.clear();
        l.top = 0;
        ++l.generation;
        repaint(hwnd);
        return TRUE;
    case LVM_GETITEMSTATE:
        if (!validRow(index)) return 0;
        return l.rows[static_cast<size_t>(index)].state & static_cast<UINT>(lParam);
    case LVM_SETITEMSTATE: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        if (!item || index < -1 || index >= count) return FALSE;
        applyState(hwnd, l, index, item->stateMask, item->state);
        return TRUE;
    }
    case LVM_GETNEXTITEM: {
        const UINT flags = static_cast<UINT>(lParam) & (LVNI_SELECTED | LVNI_FOCUSED);
        for (int i = index < 0 ? 0 : index + 1; i < count; ++i)
            if ((l.rows[static_cast<size_t>(i)].state & flags) == flags) return i;
        return -1;
    }
    case LVM_GETSELECTEDCOUNT:
        return std::count_if(l.rows.begin(), l.rows.end(), [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; });
    case LVM_FINDITEMW: return findItem(l, index, reinterpret_cast<const LVFINDINFOW*>(lParam));
    case LVM_SORTITEMS: {
        auto compare = reinterpret_cast<PFNLVCOMPARE>(lParam);
        if (!compare) return FALSE;
        std::vector<LPARAM> params;
        for (const Row& r : l.rows) params.push_back(r.param);
        const uint64_t generation = l.generation;
        const std::vector<size_t> order = sortedOrder(params, compare, static_cast<LPARAM>(wParam));
        if (l.generation != generation || l.rows.size() != order.size()) return FALSE;  // rows came or went meanwhile
        std::vector<Row> sorted;
        sorted.reserve(order.size());
        for (size_t i : order) sorted.push_back(std::move(l.rows[i]));
        l.rows.swap(sorted);
        ++l.generation;
        repaint(hwnd);
        return TRUE;
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        const DWORD old = l.exStyle;
        const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
        l.exStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
        if (l.exStyle != old) repaint(hwnd);
        return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return l.exStyle;
    case LVM_ENSUREVISIBLE: {
        if (!validRow(index)) return FALSE;
        const int perPage = layoutOf(hwnd, l).perPage;
        const int before = l.top;
        if (index < l.top || perPage == 0) {
            l.top = index;
        } else if (index >= l.top + perPage) {
            // A row cut by the bottom edge is visible enough when partly is enough.
            const Layout layout = layoutOf(hwnd, l);
            const bool cut = (layout.client.bottom - 1 - layout.rowsTop) % kRowHeight != 0;
            if (!(lParam && cut && index == l.top + perPage)) l.top = index - perPage + 1;
        }
        clampTop(hwnd, l);
        if (l.top != before) repaint(hwnd);
        return TRUE;
    }
    case LVM_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (!rect || !validRow(index)) return FALSE;
        const Layout layout = layoutOf(hwnd, l);
        const LONG top = layout.rowsTop + (index - l.top) * kRowHeight;
        const RECT& first = layout.columns.front();
        switch (rect->left) {
        case LVIR_BOUNDS: *rect = RECT{1, top, layout.columns.back().right, top + kRowHeight}; return TRUE;
        case LVIR_ICON: *rect = RECT{first.left, top, first.left, top + kRowHeight}; return TRUE;
        case LVIR_LABEL: *rect = RECT{first.left, top, first.right, top + kRowHeight}; return TRUE;
        case LVIR_SELECTBOUNDS:
            *rect = (l.exStyle & LVS_EX_FULLROWSELECT) ? RECT{1, top, layout.columns.back().right, top + kRowHeight}
                                                       : labelOf(layout, l.rows[static_cast<size_t>(index)], top);
            return TRUE;
        default: return FALSE;
        }
    }
    case LVM_GETTOPINDEX: return l.top;
    case LVM_GETCOUNTPERPAGE: return layoutOf(hwnd, l).perPage;
    case kScriptListPlace: {
        auto* place = reinterpret_cast<ListPlace*>(lParam);
        if (!place) return FALSE;
        const Layout layout = layoutOf(hwnd, l);
        if (place->header) {
            if (!layout.headerHeight || place->index < 0 || place->index >= static_cast<int>(l.columns.size())) return FALSE;
            const RECT& c = layout.columns[static_cast<size_t>(place->index)];
            place->rect = RECT{c.left, 1, c.right, 1 + kRowHeight};
            return c.right > c.left;
        }
        if (!validRow(place->index) || place->index < l.top || place->index >= l.top + std::max(1, layout.perPage))
            return FALSE;
        const LONG top = layout.rowsTop + (place->index - l.top) * kRowHeight;
        place->rect = labelOf(layout, l.rows[static_cast<size_t>(place->index)], top);
        return place->rect.right > place->rect.left;
    }
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

// Keeps a list's state from WM_NCCREATE to WM_NCDESTROY and hands it every message in between.
LRESULT CALLBACK listViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE || msg == WM_NCDESTROY) {
        std::lock_guard lock(listsMutex);
        if (msg == WM_NCCREATE) lists()[hwnd] = std::make_shared<ListView>();
        else lists().erase(hwnd);
    }
    auto l = msg == WM_NCCREATE || msg == WM_NCDESTROY ? nullptr : listOf(hwnd);
    if (!l) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return listMessage(hwnd, *l, msg, wParam, lParam);
}

}  // namespace platform::user
