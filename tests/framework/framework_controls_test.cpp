// The framework's control wrappers as the wizard's pages use them: a report list sorted on a column
// click by a comparison that finds its rows by their item data, double clicks, help requests, the
// system menu's close item and a bitmap static.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/afxcmn.h"
#include "afx/afxwin.h"
#include "platform/dialogs.h"
#include "resources/support/pictures.h"
#include "support/scripted.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using framework_test::ScriptedDialogs;

constexpr UINT kNetworks = 400;
constexpr int kList = 1000, kName = 1002, kPicture = 1004;
constexpr UINT kBanner = 160;
constexpr uint32_t kBannerColour = 0x3060A0;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;

res::ResourceFile networkResources() {
    res::DialogTemplate d;
    d.title = u"Networks";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 220;
    d.cy = 160;
    d.controls = {
        {u"SysListView32", u"", kList, kVis | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL, 0, 7, 7, 206, 90},
        {u"EDIT", u"", kName, kVis | WS_TABSTOP | WS_BORDER, 0, 7, 102, 100, 12},
        {u"STATIC", u"", kPicture, kVis | SS_BITMAP | SS_CENTERIMAGE, 0, 120, 100, 40, 30},
        {u"BUTTON", u"OK", IDOK, kVis | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 110, 140, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, kVis | WS_TABSTOP, 0, 163, 140, 50, 14},
    };
    res::ResourceFile f;
    f.dialogs[kNetworks] = d;
    resources_test::DibShape banner;
    banner.width = 12;
    banner.height = 8;
    banner.pixel = [](int, int) { return kBannerColour; };
    f.bitmaps[kBanner] = resources_test::bmpFile(banner);
    return f;
}

// A row's record, kept as its item data.
struct Network {
    const char16_t* name;
    const char16_t* security;
    int strength;
};

class CNetworkDlg : public CDialog {
public:
    CNetworkDlg() : CDialog(kNetworks) {}
    CListCtrl list;
    CStatic picture;
    CBitmap banner;
    std::vector<Network> networks = {{u"harbour", u"WPA2", 40}, {u"Attic", u"Open", 90}, {u"cellar", u"WPA2", 5},
                                     {u"Bakery", u"WEP", 40}};
    int sortColumn = 0;
    int lastClicked = -1;
    int direction = 1;
    int doubleClicks = 0;
    std::vector<int> helpFor;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
        list.InsertColumn(0, u"Network", LVCFMT_LEFT, 120);
        list.InsertColumn(1, u"Security", LVCFMT_LEFT, 80);
        list.InsertColumn(2, u"Signal", LVCFMT_LEFT, 60);
        for (auto& n : networks) {
            const int row = list.InsertItem(list.GetItemCount(), n.name);
            list.SetItemText(row, 1, n.security);
            CString percent;
            percent.Format(u"%d%%", n.strength);
            list.SetItemText(row, 2, percent.GetString());
            list.SetItemData(row, reinterpret_cast<DWORD_PTR>(&n));
        }
        GetSystemMenu(FALSE)->EnableMenuItem(SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        banner.LoadBitmap(kBanner);
        picture.SetBitmap(banner);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kList, list);
        DDX_Control(dx, kPicture, picture);
    }

    // Reads both rows by their records while the list sorts, as the page's comparison does.
    static int CALLBACK compare(LPARAM first, LPARAM second, LPARAM context) {
        auto* self = reinterpret_cast<CNetworkDlg*>(context);
        auto textOf = [&](LPARAM record) {
            LVFINDINFOW find{};
            find.flags = LVFI_PARAM;
            find.lParam = record;
            const int row = self->list.FindItem(&find, -1);
            return self->list.GetItemText(row, self->sortColumn);
        };
        const CString a = textOf(first), b = textOf(second);
        const int order = self->sortColumn == 2 ? numberIn(a) - numberIn(b) : a.CompareNoCase(b.GetString());
        return order * self->direction;
    }
    static int numberIn(const CString& text) {
        int v = 0;
        for (int i = 0; i < text.GetLength(); ++i)
            if (text[i] >= u'0' && text[i] <= u'9') v = v * 10 + (text[i] - u'0');
        return v;
    }

protected:
    afx_msg void OnColumnClick(NMHDR* header, LRESULT* result) {
        const int column = reinterpret_cast<NMLISTVIEW*>(header)->iSubItem;
        if (column == lastClicked) {
            direction = direction == 1 ? -1 : 1;
        } else {
            lastClicked = column;
            direction = 1;
        }
        sortColumn = column;
        list.SortItems(&CNetworkDlg::compare, reinterpret_cast<DWORD_PTR>(this));
        *result = 0;
    }
    afx_msg void OnDoubleClick(NMHDR*, LRESULT* result) {
        if (list.GetSelectedCount()) ++doubleClicks;
        *result = 0;
    }
    afx_msg BOOL OnHelpInfo(HELPINFO* info) {
        helpFor.push_back(info->iCtrlId);
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CNetworkDlg, CDialog)
    ON_NOTIFY(LVN_COLUMNCLICK, kList, OnColumnClick)
    ON_NOTIFY(NM_DBLCLK, kList, OnDoubleClick)
    ON_WM_HELPINFO()
END_MESSAGE_MAP()

class FrameworkControls : public ScriptedDialogs {
protected:
    void SetUp() override {
        ScriptedDialogs::SetUp();
        ASSERT_NE(framework_test::useResources(machine, networkResources()), nullptr);
    }
};

std::vector<std::u16string> column(CListCtrl& list, int c) {
    std::vector<std::u16string> out;
    for (int row = 0; row < list.GetItemCount(); ++row) out.emplace_back(list.GetItemText(row, c).GetString());
    return out;
}

TEST_F(FrameworkControls, AColumnClickSortsByThatColumnAndASecondOneTurnsTheOrder) {
    CNetworkDlg dialog;
    runModal(dialog, [&](HWND d) {
        using Names = std::vector<std::u16string>;
        struct Click {
            int column;
            Names names;
        };
        const Click clicks[] = {
            {0, {u"Attic", u"Bakery", u"cellar", u"harbour"}},
            {0, {u"harbour", u"cellar", u"Bakery", u"Attic"}},
            {2, {u"cellar", u"harbour", u"Bakery", u"Attic"}},  // equal strengths keep their order
            {2, {u"Attic", u"harbour", u"Bakery", u"cellar"}},
        };
        for (const auto& c : clicks) {
            ASSERT_TRUE(dlg::clickListColumn(d, kList, c.column));
            EXPECT_EQ(column(dialog.list, 0), c.names) << "column " << c.column;
        }
        // The item data moved with the rows.
        for (int row = 0; row < dialog.list.GetItemCount(); ++row)
            EXPECT_EQ(std::u16string(reinterpret_cast<Network*>(dialog.list.GetItemData(row))->name),
                      std::u16string(dialog.list.GetItemText(row, 0).GetString()));
        EXPECT_EQ(dialog.list.GetExtendedStyle() & LVS_EX_FULLROWSELECT, static_cast<DWORD>(LVS_EX_FULLROWSELECT));

        EXPECT_EQ(dialog.list.GetSelectedCount(), 0u);
        dlg::clickListItem(d, kList, 1, true);
        EXPECT_EQ(dialog.list.GetSelectedCount(), 1u);
        EXPECT_EQ(dialog.list.GetNextItem(-1, LVNI_SELECTED), 1);
        dlg::clickButton(d, IDCANCEL);
    });
    EXPECT_EQ(dialog.doubleClicks, 1);
}

TEST_F(FrameworkControls, HelpTheCloseBoxAndTheBitmapStatic) {
    CNetworkDlg dialog;
    const INT_PTR result = runModal(dialog, [&](HWND d) {
        dlg::focusControl(d, kName);
        dlg::pressKey(d, VK_F1);
        EXPECT_FALSE(dlg::pressCloseBox(d)) << "the close item is greyed";
        EXPECT_TRUE(IsWindowVisible(d));

        auto picture = dlg::windowPicture(d);
        ASSERT_TRUE(picture);
        RECT r{};
        GetWindowRect(GetDlgItem(d, kPicture), &r);
        POINT origin{0, 0};
        ClientToScreen(d, &origin);
        const int cx = (r.left + r.right) / 2 - origin.x, cy = (r.top + r.bottom) / 2 - origin.y;
        EXPECT_EQ(picture->at(cx, cy), kBannerColour);
        EXPECT_NE(picture->at(r.left - origin.x + 1, r.top - origin.y + 1), kBannerColour) << "centred, not stretched";
        dlg::pressKey(d, VK_ESCAPE);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.helpFor, std::vector<int>{kName});
}

}  // namespace
