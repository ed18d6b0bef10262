// Report list views: sorting by a routine that reads the rows while it runs, finding rows, items with
// their data and state, columns, extended styles, the first row shown, the mouse in a modal dialog
// (column clicks, row clicks and double clicks with their notifications in order) and the look.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "support/dialog_script.h"
#include "support/pictures.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using platform::testing::Machine;

constexpr UINT kLists = 700;
constexpr int kJobs = 701, kSingle = 702, kShort = 703, kNote = 704;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;
constexpr LPARAM kFirstParam = 100;

HMODULE loadModule(const Machine& machine) {
    res::DialogTemplate d;
    d.title = u"Jobs";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 260;
    d.cy = 200;
    d.controls = {
        {u"EDIT", u"", kNote, kVis | WS_TABSTOP | WS_BORDER, 0, 7, 184, 100, 12},
        {u"SysListView32", u"", kJobs, kVis | WS_TABSTOP | WS_BORDER | LVS_REPORT, 0, 7, 7, 246, 90},
        {u"SysListView32", u"", kSingle, kVis | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, 0, 7, 102, 246, 40},
        {u"SysListView32", u"", kShort, kVis | LVS_REPORT, 0, 7, 146, 120, 34},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 150, 182, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP, 0, 203, 182, 50, 14},
    };
    res::ResourceFile f;
    f.dialogs[kLists] = d;
    return resources_test::loadResources(machine, rescomp::writeResourceFile(f));
}

struct Job {
    const char16_t* document;
    const char16_t* owner;
    const char16_t* pages;
};
const Job kJobsRows[] = {{u"report.pdf", u"Anna", u"12"},
                         {u"Memo.txt", u"bob", u"3"},
                         {u"photo.jpg", u"Anna", u"120"},
                         {u"invoice.pdf", u"carl", u"3"},
                         {u"Agenda.doc", u"bob", u"12"}};

LRESULT send(HWND list, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessageW(list, msg, wParam, lParam); }

void addColumn(HWND list, int at, const char16_t* title, int width) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_FMT | (width >= 0 ? LVCF_WIDTH : 0);
    col.fmt = LVCFMT_LEFT;
    col.cx = width;
    col.pszText = const_cast<LPWSTR>(title);
    ASSERT_EQ(send(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&col)), at);
}

// The three columns and the five jobs, each row's item data kFirstParam + its first position.
void fill(HWND list) {
    addColumn(list, 0, u"Document", 90);
    addColumn(list, 1, u"Owner", 70);
    addColumn(list, 2, u"Pages", 60);
    for (int i = 0; i < 5; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = i;
        item.pszText = const_cast<LPWSTR>(kJobsRows[i].document);
        item.lParam = kFirstParam + i;
        ASSERT_EQ(send(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), i);
        for (int sub = 1; sub < 3; ++sub) {
            item.iSubItem = sub;
            item.pszText = const_cast<LPWSTR>(sub == 1 ? kJobsRows[i].owner : kJobsRows[i].pages);
            ASSERT_TRUE(send(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)));
        }
    }
}

std::u16string textAt(HWND list, int row, int column) {
    WCHAR text[64] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 64;
    send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::u16string> columnOf(HWND list, int column) {
    std::vector<std::u16string> out;
    for (int row = 0; row < send(list, LVM_GETITEMCOUNT); ++row) out.push_back(textAt(list, row, column));
    return out;
}

LPARAM paramAt(HWND list, int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return send(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.lParam : -1;
}

int findParam(HWND list, LPARAM param, int start = -1) {
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = param;
    return static_cast<int>(send(list, LVM_FINDITEMW, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(&find)));
}

RECT itemRect(HWND list, int row, int part) {
    RECT r{part, 0, 0, 0};
    EXPECT_TRUE(send(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)));
    return r;
}

// What the dialog procedure heard from the lists, on the dialog's thread; the script reads it between actions.
struct Heard {
    UINT code;
    int item, subItem;
    UINT newState;
    LPARAM param;
    bool operator==(const Heard&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Heard& h) {
    return out << "{" << static_cast<int>(h.code) << " " << h.item << " " << h.subItem << " " << h.newState << " " << h.param
               << "}";
}
struct Record {
    std::mutex mutex;
    std::vector<Heard> heard;
    std::vector<POINT> clickPoints;
    std::vector<int> sortColumns;
    int rowsMovedWhileSorting = 0;
    std::vector<Heard> take() {
        std::lock_guard lock(mutex);
        auto out = std::move(heard);
        heard.clear();
        return out;
    }
};
Record record;

// The sort of the jobs list on a column click, as a page's code does it: the routine finds both rows
// by their item data and compares their texts (numbers as numbers); a second click on the same
// column turns the order.
struct SortState {
    HWND list = nullptr;
    int column = 0;
    int direction = 1;
    std::map<LPARAM, int> before;  // where each row was when the sort began
};
SortState sorting;

int numberOf(const std::u16string& text) {
    int v = 0;
    for (char16_t c : text)
        if (c >= u'0' && c <= u'9') v = v * 10 + (c - u'0');
    return v;
}

int CALLBACK compareJobs(LPARAM first, LPARAM second, LPARAM sortParam) {
    auto* s = reinterpret_cast<SortState*>(sortParam);
    const int a = findParam(s->list, first), b = findParam(s->list, second);
    if (a != s->before[first] || b != s->before[second]) {
        std::lock_guard lock(record.mutex);
        ++record.rowsMovedWhileSorting;
    }
    const std::u16string ta = textAt(s->list, a, s->column), tb = textAt(s->list, b, s->column);
    int order = 0;
    if (s->column == 2) {
        order = numberOf(ta) - numberOf(tb);
    } else {
        WCHAR fa[64] = {}, fb[64] = {};
        std::copy(ta.begin(), ta.end(), fa);
        std::copy(tb.begin(), tb.end(), fb);
        order = lstrcmpiW(fa, fb);
    }
    return order * s->direction;
}

void sortOnClick(HWND list, int column) {
    sorting.direction = column == sorting.column && sorting.list ? -sorting.direction : 1;
    sorting.list = list;
    sorting.column = column;
    sorting.before.clear();
    for (int row = 0; row < send(list, LVM_GETITEMCOUNT); ++row) sorting.before[paramAt(list, row)] = row;
    EXPECT_TRUE(send(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&sorting), reinterpret_cast<LPARAM>(compareJobs)));
    std::lock_guard lock(record.mutex);
    record.sortColumns.push_back(column);
}

bool sortOnColumnClick = false;

INT_PTR CALLBACK listsProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        fill(GetDlgItem(hwnd, kJobs));
        SetFocus(GetDlgItem(hwnd, kNote));
        return FALSE;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        Heard h{hdr->code, -1, -1, 0, 0};
        if (hdr->code == LVN_ITEMCHANGED || hdr->code == LVN_COLUMNCLICK) {
            auto* nm = reinterpret_cast<const NMLISTVIEW*>(lParam);
            h = Heard{hdr->code, nm->iItem, hdr->code == LVN_COLUMNCLICK ? nm->iSubItem : -1, nm->uNewState, nm->lParam};
        } else if (hdr->code == NM_CLICK || hdr->code == NM_DBLCLK) {
            auto* nm = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
            h = Heard{hdr->code, nm->iItem, nm->iSubItem, nm->uNewState, nm->lParam};
            std::lock_guard lock(record.mutex);
            record.clickPoints.push_back(nm->ptAction);
        }
        {
            std::lock_guard lock(record.mutex);
            if (hdr->idFrom == static_cast<UINT_PTR>(kJobs)) record.heard.push_back(h);
        }
        if (hdr->code == LVN_COLUMNCLICK && sortOnColumnClick)
            sortOnClick(hdr->hwndFrom, reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    default: return FALSE;
    }
}

class ListViews : public ::testing::Test {
protected:
    Machine machine;
    HMODULE module = nullptr;
    test_support::UnscriptedDialogs unscripted;
    void SetUp() override {
        record.take();
        record.clickPoints.clear();
        record.sortColumns.clear();
        record.rowsMovedWhileSorting = 0;
        sorting = SortState{};
        sortOnColumnClick = false;
        module = loadModule(machine);
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
        EXPECT_TRUE(unscripted.empty());
    }
    // The dialog, modal on this thread, while `script` acts on it from another; Escape ends it.
    void runScripted(const std::function<void(HWND dialog, HWND jobs)>& script) {
        const INT_PTR result = test_support::runScripted(
            kLists, [&] { return DialogBoxParamW(module, MAKEINTRESOURCEW(kLists), nullptr, listsProc, 0); },
            [&](HWND d) {
                script(d, GetDlgItem(d, kJobs));
                dlg::pressKey(d, VK_ESCAPE);
            });
        EXPECT_EQ(result, IDCANCEL);
    }
    // The dialog, modeless and shown on this thread.
    HWND modeless() {
        HWND d = CreateDialogParamW(module, MAKEINTRESOURCEW(kLists), nullptr, listsProc, 0);
        EXPECT_NE(d, nullptr) << GetLastError();
        if (d) ShowWindow(d, SW_SHOW);
        return d;
    }
};

// ---- Sorting -----------------------------------------------------------------------------------------

TEST_F(ListViews, AColumnClickSortsWithARoutineThatReadsTheRowsWhereTheyStand) {
    sortOnColumnClick = true;
    runScripted([](HWND d, HWND jobs) {
        // Row 3 selected before any sort: its state goes with it.
        LVITEMW selected{};
        selected.stateMask = selected.state = LVIS_SELECTED;
        send(jobs, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&selected));
        using Names = std::vector<std::u16string>;
        struct Click {
            int column;
            Names documents;
        };
        const Click clicks[] = {
            {0, {u"Agenda.doc", u"invoice.pdf", u"Memo.txt", u"photo.jpg", u"report.pdf"}},  // without regard to case
            {0, {u"report.pdf", u"photo.jpg", u"Memo.txt", u"invoice.pdf", u"Agenda.doc"}},  // again: turned
            {2, {u"Memo.txt", u"invoice.pdf", u"report.pdf", u"Agenda.doc", u"photo.jpg"}},  // 3 3 12 12 120, ties kept
            {2, {u"photo.jpg", u"report.pdf", u"Agenda.doc", u"Memo.txt", u"invoice.pdf"}},  // turned, ties still kept
            {1, {u"photo.jpg", u"report.pdf", u"Agenda.doc", u"Memo.txt", u"invoice.pdf"}},  // Anna Anna bob bob carl
        };
        for (const Click& c : clicks) {
            SCOPED_TRACE(c.column);
            ASSERT_TRUE(dlg::clickListColumn(d, kJobs, c.column));
            EXPECT_EQ(columnOf(jobs, 0), c.documents);
            // Every row kept its data and sub-items.
            for (int row = 0; row < 5; ++row) {
                const LPARAM param = paramAt(jobs, row);
                ASSERT_GE(param, kFirstParam);
                ASSERT_LT(param, kFirstParam + 5);
                const Job& job = kJobsRows[param - kFirstParam];
                EXPECT_EQ(textAt(jobs, row, 0), job.document);
                EXPECT_EQ(textAt(jobs, row, 1), job.owner);
                EXPECT_EQ(textAt(jobs, row, 2), job.pages);
            }
            const int invoice = findParam(jobs, kFirstParam + 3);
            EXPECT_EQ(send(jobs, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), invoice);
        }
    });
    EXPECT_EQ(record.sortColumns, (std::vector<int>{0, 0, 2, 2, 1}));
    EXPECT_EQ(record.rowsMovedWhileSorting, 0) << "rows moved while the routine ran";
}

// Routines that misbehave: they answer nonsense or change the list under the sort.
LPARAM nonsenseCalls = 0;
int CALLBACK nonsense(LPARAM, LPARAM, LPARAM) { return ++nonsenseCalls % 3 - 1; }
int CALLBACK deleting(LPARAM, LPARAM, LPARAM sortParam) {
    auto list = reinterpret_cast<HWND>(sortParam);
    if (send(list, LVM_GETITEMCOUNT) == 5) send(list, LVM_DELETEITEM, 0);
    return 1;
}
int CALLBACK resorting(LPARAM a, LPARAM b, LPARAM sortParam) {
    static int depth = 0;
    if (depth == 0) {
        ++depth;
        send(reinterpret_cast<HWND>(sortParam), LVM_SORTITEMS, sortParam, reinterpret_cast<LPARAM>(resorting));
        --depth;
    }
    return static_cast<int>(b - a);
}

TEST_F(ListViews, ASortSurvivesRoutinesThatAnswerNonsenseOrChangeTheList) {
    HWND d = modeless();
    HWND jobs = GetDlgItem(d, kJobs);
    auto paramsNow = [&] {
        std::vector<LPARAM> out;
        for (int row = 0; row < send(jobs, LVM_GETITEMCOUNT); ++row) out.push_back(paramAt(jobs, row));
        std::sort(out.begin(), out.end());
        return out;
    };
    const std::vector<LPARAM> all = {100, 101, 102, 103, 104};
    EXPECT_FALSE(send(jobs, LVM_SORTITEMS, 0, 0)) << "no routine";
    EXPECT_TRUE(send(jobs, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(nonsense)));
    EXPECT_EQ(paramsNow(), all) << "nonsense still leaves every row once";
    EXPECT_FALSE(send(jobs, LVM_SORTITEMS, reinterpret_cast<WPARAM>(jobs), reinterpret_cast<LPARAM>(resorting)))
        << "sorted again from within: the outer sort gives up, the inner one stands";
    EXPECT_EQ(paramsNow(), all);
    std::vector<LPARAM> descending;
    for (int row = 0; row < 5; ++row) descending.push_back(paramAt(jobs, row));
    EXPECT_EQ(descending, (std::vector<LPARAM>{104, 103, 102, 101, 100}));
    EXPECT_FALSE(send(jobs, LVM_SORTITEMS, reinterpret_cast<WPARAM>(jobs), reinterpret_cast<LPARAM>(deleting)))
        << "a row went while sorting: the sort gives up";
    EXPECT_EQ(paramsNow(), (std::vector<LPARAM>{100, 101, 102, 103}));
    EXPECT_EQ(send(jobs, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(nonsense)), TRUE) << "and works again after";
    DestroyWindow(d);
}

// ---- Finding, items, columns, styles -----------------------------------------------------------------

TEST_F(ListViews, FindingByDataOrTextStartsAfterTheGivenRow) {
    HWND d = modeless();
    HWND jobs = GetDlgItem(d, kJobs);
    struct Case {
        const char* what;
        UINT flags;
        const char16_t* text;
        LPARAM param;
        int start;
        int expected;
    };
    const Case cases[] = {
        {"data from the first", LVFI_PARAM, nullptr, 103, -1, 3},
        {"data at the start row is passed over", LVFI_PARAM, nullptr, 103, 3, -1},
        {"data after the start row", LVFI_PARAM, nullptr, 104, 3, 4},
        {"data wins over text", LVFI_PARAM | LVFI_STRING, u"Memo.txt", 100, -1, 0},
        {"missing data", LVFI_PARAM, nullptr, 999, -1, -1},
        {"whole text, without regard to case", LVFI_STRING, u"MEMO.TXT", 0, -1, 1},
        {"a text's start is not the text", LVFI_STRING, u"Memo", 0, -1, -1},
        {"a partial text", LVFI_PARTIAL, u"in", 0, -1, 3},
        {"a partial text after a start", LVFI_STRING | LVFI_PARTIAL, u"p", 0, 0, 2},
        {"past the last match", LVFI_PARTIAL, u"p", 0, 2, -1},
        {"wrapping round", LVFI_PARTIAL | LVFI_WRAP, u"r", 0, 2, 0},
        {"a start past the end", LVFI_PARTIAL, u"r", 0, 10, -1},
        {"a start before the first", LVFI_PARAM, nullptr, 100, -7, 0},
        {"no text", LVFI_STRING, nullptr, 0, -1, -1},
        {"no way to match", 0, u"report.pdf", 0, -1, -1},
        {"near a point: not modelled", LVFI_NEARESTXY, nullptr, 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LVFINDINFOW find{};
        find.flags = c.flags;
        find.psz = c.text;
        find.lParam = c.param;
        EXPECT_EQ(send(jobs, LVM_FINDITEMW, static_cast<WPARAM>(c.start), reinterpret_cast<LPARAM>(&find)), c.expected);
    }
    EXPECT_EQ(send(jobs, LVM_FINDITEMW, static_cast<WPARAM>(-1), 0), -1) << "no find information";
    DestroyWindow(d);
}

TEST_F(ListViews, ItemsKeepTextDataAndStateAndCountTheSelection) {
    HWND d = modeless();
    HWND jobs = GetDlgItem(d, kJobs), single = GetDlgItem(d, kSingle);
    WCHAR text[16] = {};
    LVITEMW item{};
    // One call sets a sub-item's text; another the item's data and state.
    item.mask = LVIF_TEXT;
    item.iItem = 1;
    item.iSubItem = 2;
    item.pszText = const_cast<LPWSTR>(u"7");
    EXPECT_TRUE(send(jobs, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    item = LVITEMW{};
    item.mask = LVIF_PARAM | LVIF_STATE;
    item.iItem = 1;
    item.lParam = 555;
    item.stateMask = item.state = LVIS_SELECTED;
    EXPECT_TRUE(send(jobs, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    item = LVITEMW{};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = 1;
    item.iSubItem = 2;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.pszText = text;
    item.cchTextMax = 16;
    EXPECT_TRUE(send(jobs, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(std::u16string(text), u"7");
    EXPECT_EQ(item.lParam, 555);
    EXPECT_EQ(item.state, static_cast<UINT>(LVIS_SELECTED));
    EXPECT_EQ(textAt(jobs, 1, 0), u"Memo.txt") << "the item's own text is untouched";

    // The selection counted, in a list that selects many and in one that selects one.
    for (HWND list : {jobs, single}) {
        if (list == single)
            for (int i = 0; i < 3; ++i) {
                LVITEMW row{};
                row.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
                row.iItem = i;
                row.pszText = const_cast<LPWSTR>(u"row");
                row.lParam = 40 + i;
                row.stateMask = row.state = i == 2 ? LVIS_SELECTED : 0;  // inserted selected
                EXPECT_EQ(send(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)), i);
            }
        LVITEMW select{};
        select.mask = LVIF_STATE;
        select.stateMask = select.state = LVIS_SELECTED;
        select.iItem = 0;
        EXPECT_TRUE(send(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&select)));
        EXPECT_EQ(send(list, LVM_GETSELECTEDCOUNT), list == single ? 1 : 2);
        EXPECT_EQ(send(list, LVM_GETITEMSTATE, list == single ? 2 : 1, LVIS_SELECTED), list == single ? 0 : LVIS_SELECTED);
    }
    EXPECT_EQ(paramAt(single, 2), 42) << "LVM_INSERTITEMW kept the item data";

    // Bad rows and sub-items fail cleanly.
    const int bad[] = {-1, 5, 1000};
    for (int row : bad) {
        SCOPED_TRACE(row);
        LVITEMW b{};
        b.mask = LVIF_TEXT | LVIF_PARAM;
        b.iItem = row;
        b.pszText = text;
        b.cchTextMax = 16;
        EXPECT_FALSE(send(jobs, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&b)));
        EXPECT_FALSE(send(jobs, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&b)));
    }
    item.iSubItem = -1;
    EXPECT_FALSE(send(jobs, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int sub : {3, 1 << 30}) {
        SCOPED_TRACE(sub);
        LVITEMW past{};
        past.mask = LVIF_TEXT;
        past.iSubItem = sub;
        past.pszText = const_cast<LPWSTR>(u"no column");
        EXPECT_FALSE(send(jobs, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&past))) << "a sub-item needs its column";
        EXPECT_FALSE(send(jobs, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&past)));
    }
    EXPECT_FALSE(send(jobs, LVM_GETITEMW, 0, 0));
    EXPECT_FALSE(send(jobs, LVM_SETITEMW, 0, 0));
    EXPECT_EQ(send(jobs, LVM_GETITEMCOUNT), 5);
    DestroyWindow(d);
}

TEST_F(ListViews, ColumnsKeepTitlesAndWidthsAndSizeToTheirText) {
    HWND d = modeless();
    HWND jobs = GetDlgItem(d, kJobs), single = GetDlgItem(d, kSingle);
    WCHAR title[16] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    col.pszText = title;
    col.cchTextMax = 16;
    ASSERT_TRUE(send(jobs, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&col)));
    EXPECT_EQ(std::u16string(title), u"Owner");
    EXPECT_EQ(col.cx, 70);
    EXPECT_EQ(col.fmt, LVCFMT_LEFT);
    EXPECT_EQ(col.iSubItem, 1);
    EXPECT_EQ(send(jobs, LVM_GETCOLUMNWIDTH, 2), 60);
    EXPECT_TRUE(send(jobs, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(25, 0)));
    EXPECT_EQ(send(jobs, LVM_GETCOLUMNWIDTH, 2), 25);
    // Sized to the widest text: "invoice.pdf" is wider than "Document", and wider than "Pages"'s "120".
    EXPECT_TRUE(send(jobs, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(LVSCW_AUTOSIZE, 0)));
    const LRESULT documents = send(jobs, LVM_GETCOLUMNWIDTH, 0);
    EXPECT_TRUE(send(jobs, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE, 0)));
    const LRESULT owners = send(jobs, LVM_GETCOLUMNWIDTH, 1);
    EXPECT_GT(documents, owners);
    EXPECT_GT(owners, 8);
    // With the header: "Owner" is wider than any owner's name.
    EXPECT_TRUE(send(jobs, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0)));
    EXPECT_GT(send(jobs, LVM_GETCOLUMNWIDTH, 1), owners);
    // The last column, sized with its header, takes the rest of the control.
    RECT client{};
    GetClientRect(jobs, &client);
    EXPECT_TRUE(send(jobs, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0)));
    EXPECT_EQ(send(jobs, LVM_GETCOLUMNWIDTH, 0) + send(jobs, LVM_GETCOLUMNWIDTH, 1) + send(jobs, LVM_GETCOLUMNWIDTH, 2),
              client.right - 2);
    // Columns inserted without a width share the control evenly.
    addColumn(single, 0, u"A", -1);
    addColumn(single, 1, u"B", -1);
    GetClientRect(single, &client);
    EXPECT_EQ(send(single, LVM_GETCOLUMNWIDTH, 0), (client.right - 2) / 2);
    for (int bad : {-1, 3, 99}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(send(jobs, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(bad)), 0);
        EXPECT_FALSE(send(jobs, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(bad), 10));
        EXPECT_FALSE(send(jobs, LVM_GETCOLUMNW, static_cast<WPARAM>(bad), reinterpret_cast<LPARAM>(&col)));
    }
    EXPECT_FALSE(send(jobs, LVM_GETCOLUMNW, 0, 0));
    DestroyWindow(d);
}

TEST_F(ListViews, ExtendedStylesChangeUnderTheirMaskAndAnswerTheOldOnes) {
    HWND d = modeless();
    HWND jobs = GetDlgItem(d, kJobs);
    struct Step {
        WPARAM mask;
        LPARAM styles;
        DWORD old, now;
    };
    const Step steps[] = {
        {0, LVS_EX_FULLROWSELECT, 0, LVS_EX_FULLROWSELECT},                              // mask 0: all of them
        {LVS_EX_GRIDLINES, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES, LVS_EX_FULLROWSELECT,  // only what the mask says
         LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES},
        {LVS_EX_FULLROWSELECT, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, LVS_EX_GRIDLINES},
        {0, LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP, LVS_EX_GRIDLINES, LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP},
        {0, 0, LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.mask);
        EXPECT_EQ(static_cast<DWORD>(send(jobs, LVM_SETEXTENDEDLISTVIEWSTYLE, s.mask, s.styles)), s.old);
        EXPECT_EQ(static_cast<DWORD>(send(jobs, LVM_GETEXTENDEDLISTVIEWSTYLE)), s.now);
    }
    DestroyWindow(d);
}

TEST_F(ListViews, EnsureVisibleMovesTheFirstRowShownAndClicksReachRowsBelow) {
    HWND d = modeless();
    HWND shortList = GetDlgItem(d, kShort);
    addColumn(shortList, 0, u"Name", 100);
    for (int i = 0; i < 12; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = i;
        item.pszText = const_cast<LPWSTR>(u"printer");
        item.lParam = i;
        send(shortList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    const int perPage = static_cast<int>(send(shortList, LVM_GETCOUNTPERPAGE));
    ASSERT_GE(perPage, 1);
    ASSERT_LT(perPage, 6);
    const RECT firstPlace = itemRect(shortList, 0, LVIR_BOUNDS);
    struct Step {
        int item;
        int top;
    };
    const Step steps[] = {{0, 0}, {perPage - 1, 0}, {perPage, 1}, {11, 12 - perPage}, {3, 3}, {3, 3}, {0, 0}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.item);
        EXPECT_TRUE(send(shortList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(s.item), FALSE));
        EXPECT_EQ(send(shortList, LVM_GETTOPINDEX), s.top);
        const RECT topPlace = itemRect(shortList, s.top, LVIR_BOUNDS);
        EXPECT_EQ(topPlace.top, firstPlace.top) << "the first row shown stands where row 0 stood";
    }
    EXPECT_FALSE(send(shortList, LVM_ENSUREVISIBLE, 12, FALSE));
    EXPECT_FALSE(send(shortList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(-1), FALSE));
    // A click on a row out of view first brings it in, as a user scrolls to it.
    ASSERT_TRUE(dlg::clickListItem(d, kShort, 10));
    EXPECT_EQ(send(shortList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 10);
    EXPECT_LE(send(shortList, LVM_GETTOPINDEX), 10);
    EXPECT_GT(send(shortList, LVM_GETTOPINDEX) + perPage, 10);
    EXPECT_FALSE(dlg::clickListItem(d, kShort, 12));
    EXPECT_FALSE(dlg::clickListItem(d, 9999, 0));
    // Deleting rows keeps the first row shown within them.
    send(shortList, LVM_ENSUREVISIBLE, 11, FALSE);
    for (int i = 0; i < 10; ++i) send(shortList, LVM_DELETEITEM, 0);
    EXPECT_EQ(send(shortList, LVM_GETTOPINDEX), 0);
    DestroyWindow(d);
}

// ---- The mouse ---------------------------------------------------------------------------------------

TEST_F(ListViews, ClicksSelectRowsAndTellTheParentInOrder) {
    runScripted([](HWND d, HWND jobs) {
        auto changed = [](int item, UINT state) { return Heard{LVN_ITEMCHANGED, item, -1, state, kFirstParam + item}; };
        auto click = [](UINT code, int item, int sub) {
            return Heard{code, item, sub, 0, item >= 0 ? kFirstParam + item : 0};
        };
        const UINT both = LVIS_SELECTED | LVIS_FOCUSED;
        const LRESULT w0 = send(jobs, LVM_GETCOLUMNWIDTH, 0), w1 = send(jobs, LVM_GETCOLUMNWIDTH, 1);
        auto inColumn = [&](int row, int column) {
            const RECT r = itemRect(jobs, row, LVIR_BOUNDS);
            const LONG left = 1 + (column > 0 ? w0 : 0) + (column > 1 ? w1 : 0);
            return POINT{left + 10, (r.top + r.bottom) / 2};
        };
        const RECT lastRow = itemRect(jobs, 4, LVIR_BOUNDS), row0 = itemRect(jobs, 0, LVIR_BOUNDS);
        const POINT header0{static_cast<LONG>(w0 / 2), row0.top / 2}, header1{static_cast<LONG>(w0 + w1 / 2), row0.top / 2};
        struct Step {
            const char* what;
            std::function<void()> act;
            std::vector<Heard> heard;
        };
        const Step steps[] = {
            {"a click on the second column's header", [&] { EXPECT_TRUE(dlg::clickListColumn(d, kJobs, 1)); },
             {Heard{LVN_COLUMNCLICK, -1, 1, 0, 0}}},
            {"a click on row 2's text", [&] { EXPECT_TRUE(dlg::clickListItem(d, kJobs, 2)); },
             {changed(2, both), click(NM_CLICK, 2, 0)}},
            {"a click on row 0 replaces a selection of two",
             [&] {
                 LVITEMW item{};
                 item.stateMask = item.state = LVIS_SELECTED;
                 send(jobs, LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&item));
                 record.take();
                 dlg::clickListItem(d, kJobs, 0);
             },
             {changed(2, 0), changed(3, 0), changed(0, both), click(NM_CLICK, 0, 0)}},
            {"a click on row 0's second column, without full-row selection",
             [&] { dlg::clickMouse(jobs, inColumn(0, 1).x, inColumn(0, 1).y); },
             {changed(0, LVIS_FOCUSED), click(NM_CLICK, -1, 1)}},
            {"a click on row 1", [&] { dlg::clickListItem(d, kJobs, 1); },
             {changed(0, 0), changed(1, both), click(NM_CLICK, 1, 0)}},
            {"a click below the rows", [&] { dlg::clickMouse(jobs, 10, lastRow.bottom + 4); },
             {changed(1, LVIS_FOCUSED), click(NM_CLICK, -1, 0)}},
            {"with full-row selection, a click on row 3's third column",
             [&] {
                 send(jobs, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
                 dlg::clickMouse(jobs, inColumn(3, 2).x, inColumn(3, 2).y);
             },
             {changed(1, 0), changed(3, both), click(NM_CLICK, 3, 2)}},
            {"a double click on row 4", [&] { EXPECT_TRUE(dlg::clickListItem(d, kJobs, 4, true)); },
             {changed(3, 0), changed(4, both), click(NM_CLICK, 4, 0), click(NM_DBLCLK, 4, 0)}},
            {"a header pressed and released over the rows",
             [&] {
                 dlg::pressMouse(jobs, header0.x, header0.y);
                 dlg::releaseMouse(jobs, header0.x, row0.top + 3);
             },
             {}},
            {"a header pressed on one column and released on another",
             [&] {
                 dlg::pressMouse(jobs, header0.x, header0.y);
                 dlg::releaseMouse(jobs, header1.x, header1.y);
             },
             {}},
            {"a disabled list takes no clicks",
             [&] {
                 EnableWindow(jobs, FALSE);
                 dlg::clickListItem(d, kJobs, 1);
                 dlg::clickListColumn(d, kJobs, 0);
                 EnableWindow(jobs, TRUE);
             },
             {}},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            s.act();
            EXPECT_EQ(record.take(), s.heard);
        }
        EXPECT_EQ(dlg::focusedControl(d), jobs) << "a click on the rows takes the focus";
        EXPECT_EQ(send(jobs, LVM_GETSELECTEDCOUNT), 1);
        // NM_CLICK tells where the press was, in the list's client coordinates.
        std::lock_guard lock(record.mutex);
        ASSERT_FALSE(record.clickPoints.empty());
        const POINT below = record.clickPoints[4];
        EXPECT_EQ(below.x, 10);
        EXPECT_EQ(below.y, lastRow.bottom + 4);
    });
}

TEST_F(ListViews, TheScriptedClicksRefuseWhatIsNotThere) {
    HWND d = modeless();
    HWND single = GetDlgItem(d, kSingle);
    EXPECT_FALSE(dlg::clickListColumn(d, kSingle, 0)) << "no columns: no header";
    EXPECT_FALSE(dlg::clickListItem(d, kSingle, 0)) << "no rows";
    SetWindowLongW(single, GWL_STYLE, GetWindowLongW(single, GWL_STYLE) | LVS_NOCOLUMNHEADER);
    addColumn(single, 0, u"Hidden", 50);
    EXPECT_FALSE(dlg::clickListColumn(d, kSingle, 0)) << "the header is not shown";
    EXPECT_FALSE(dlg::clickListColumn(d, kJobs, 3));
    EXPECT_FALSE(dlg::clickListColumn(d, kJobs, -1));
    EXPECT_FALSE(dlg::clickListColumn(nullptr, kJobs, 0));
    EXPECT_FALSE(dlg::clickListItem(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7777)), kJobs, 0));
    RECT r{LVIR_BOUNDS, 0, 0, 0};
    EXPECT_FALSE(send(GetDlgItem(d, kJobs), LVM_GETITEMRECT, 5, reinterpret_cast<LPARAM>(&r)));
    r.left = 99;
    EXPECT_FALSE(send(GetDlgItem(d, kJobs), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)));
    EXPECT_FALSE(send(GetDlgItem(d, kJobs), LVM_GETITEMRECT, 0, 0));
    DestroyWindow(d);
}

// ---- The look ----------------------------------------------------------------------------------------

constexpr uint32_t rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

int countIn(const dlg::Picture& p, RECT r, const std::function<bool(uint32_t)>& test) {
    int n = 0;
    for (LONG y = std::max<LONG>(0, r.top); y < std::min<LONG>(p.height, r.bottom); ++y)
        for (LONG x = std::max<LONG>(0, r.left); x < std::min<LONG>(p.width, r.right); ++x) n += test(p.at(x, y));
    return n;
}

TEST_F(ListViews, TheHeaderShowsTitlesAndTheSelectionFollowsFullRowSelection) {
    HWND d = modeless();
    HWND jobs = GetDlgItem(d, kJobs);
    RECT dr{}, lr{};
    GetWindowRect(d, &dr);
    GetWindowRect(jobs, &lr);
    auto inPicture = [&](RECT r) {
        return RECT{r.left + lr.left - dr.left, r.top + lr.top - dr.top, r.right + lr.left - dr.left, r.bottom + lr.top - dr.top};
    };
    const uint32_t highlight = rgb(GetSysColor(COLOR_HIGHLIGHT)), grid = rgb(GetSysColor(COLOR_3DLIGHT));
    auto isHighlight = [&](uint32_t c) { return c == highlight; };
    auto dark = [](uint32_t c) { return ((c >> 16) & 0xFF) < 0x60 && ((c >> 8) & 0xFF) < 0x60 && (c & 0xFF) < 0x60; };
    const LRESULT w0 = send(jobs, LVM_GETCOLUMNWIDTH, 0), w1 = send(jobs, LVM_GETCOLUMNWIDTH, 1);
    const RECT row1 = itemRect(jobs, 1, LVIR_BOUNDS);
    const RECT secondCell{1 + static_cast<LONG>(w0), row1.top, 1 + static_cast<LONG>(w0 + w1), row1.bottom};
    // Ink in each header cell: the titles.
    auto p = dlg::windowPicture(d);
    ASSERT_TRUE(p);
    const LONG headerBottom = itemRect(jobs, 0, LVIR_BOUNDS).top;
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        const LONG left = 1 + (c > 0 ? static_cast<LONG>(w0) : 0) + (c > 1 ? static_cast<LONG>(w1) : 0);
        const LONG width = static_cast<LONG>(send(jobs, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c)));
        EXPECT_GT(countIn(*p, inPicture(RECT{left + 2, 2, left + width - 2, headerBottom - 1}), dark), 10);
    }
    LVITEMW select{};
    select.stateMask = select.state = LVIS_SELECTED;
    send(jobs, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
    struct Case {
        DWORD exStyle;
        bool secondCellHighlighted;
    };
    for (const Case c : {Case{0, false}, Case{LVS_EX_FULLROWSELECT, true}}) {
        SCOPED_TRACE(c.exStyle);
        send(jobs, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, c.exStyle);
        p = dlg::windowPicture(d);
        ASSERT_TRUE(p);
        const RECT label = itemRect(jobs, 1, LVIR_SELECTBOUNDS);
        EXPECT_GT(countIn(*p, inPicture(label), isHighlight), (label.right - label.left) * (label.bottom - label.top) / 2);
        EXPECT_EQ(countIn(*p, inPicture(secondCell), isHighlight) > 0, c.secondCellHighlighted);
        EXPECT_EQ(countIn(*p, inPicture(itemRect(jobs, 2, LVIR_BOUNDS)), isHighlight), 0) << "other rows plain";
    }
    // Grid lines: a light line along each row's foot.
    auto gridAt = [&](const dlg::Picture& pic) {
        const RECT foot{row1.left + 2, row1.bottom - 1, row1.right - 2, row1.bottom};
        return countIn(pic, inPicture(foot), [&](uint32_t c) { return c == grid; });
    };
    send(jobs, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(gridAt(*dlg::windowPicture(d)), 0);
    send(jobs, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    EXPECT_GT(gridAt(*dlg::windowPicture(d)), (row1.right - row1.left) / 2);
    DestroyWindow(d);
}

}  // namespace
