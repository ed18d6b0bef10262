// The wizard's network list on scripted radios: its columns and rows, the networks it leaves out, the
// sort on a header click, the failure that sends the page to manual entry; and the entry boxes' filter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EntryFilter.h"
#include "MyListCtrl.h"
#include "framework/support/scripted.h"
#include "startup.h"
#include "wifisetup/wlan_radios.h"

namespace {

namespace res = platform::resources;
namespace dlg = platform::dialogs;
using namespace wlantest;

constexpr UINT kPage = 141;
constexpr int kList = 1000, kName = 1002;
constexpr DWORD kVis = WS_CHILD | WS_VISIBLE;

res::ResourceFile pageResources() {
    res::DialogTemplate d;
    d.title = u"Networks";
    d.fontFace = u"MS Shell Dlg";
    d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    d.cx = 309;
    d.cy = 166;
    d.controls = {
        {u"SysListView32", u"", kList,
         kVis | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 7, 20, 295, 100},
        {u"EDIT", u"", kName, kVis | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 7, 140, 200, 12},
    };
    res::ResourceFile f;
    f.dialogs[kPage] = d;
    f.strings = {{150, u"Network"}, {151, u"Security"}, {152, u"Signal"}, {156, u"None"}};
    return f;
}

class ListDialog : public CDialog {
public:
    ListDialog() : CDialog(kPage) {}
    CMyListCtrl list;
    MySSIDEdit name;
    int initResult = -1;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        name.SetLimitText(32);
        initResult = list.InitNetworkList();
        list.SortNetworks();
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kList, list);
        DDX_Control(dx, kName, name);
    }

protected:
    afx_msg void OnColumnClick(NMHDR* header, LRESULT* result) {
        list.OnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        *result = 0;
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ListDialog, CDialog)
    ON_NOTIFY(LVN_COLUMNCLICK, kList, OnColumnClick)
END_MESSAGE_MAP()

using Texts = std::vector<std::u16string>;

Texts column(const CListCtrl& list, int c) {
    Texts out;
    for (int row = 0; row < list.GetItemCount(); ++row) out.emplace_back(list.GetItemText(row, c).GetString());
    return out;
}

void putOnClipboard(const std::u16string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
    std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
}

class NetworkList : public framework_test::ScriptedDialogs {
protected:
    void SetUp() override {
        ScriptedDialogs::SetUp();
        NetworkListSort = {};
        LanguageDllPath = u"C:\\Program Files\\Qelmar\\Velrinenus.dll";
        ASSERT_NE(framework_test::useResources(machine, pageResources()), nullptr);
    }
    void TearDown() override {
        LanguageDllPath.clear();
        ScriptedDialogs::TearDown();
    }
    // The page with `radio`, `script` acting on it.
    void run(const Radio& radio, const std::function<void(HWND, ListDialog&)>& script) {
        platform::radio::setRadio(radio);
        ListDialog dialog;
        runModal(dialog, [&](HWND d) {
            script(d, dialog);
            PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
        });
    }
};

TEST_F(NetworkList, RowsShowNameSecurityAndPercentLeavingOutWideNames) {
    // WZC privacy: 1 none, 0 WEP, 2 WPA.
    run(wzcRadio({adapter(kGuidA, u"Radio A",
                          {network("Home", -40, 1), network("\xC4\xE3\xBA\xC3", -60, 1), network("Cafe", -75, 0)}),
                  adapter(kGuidB, u"Radio B",
                          {network("Office", -99, 2), network("Attic", -100, 1), network("Barn", -51, 2)})}),
        [](HWND, ListDialog& page) {
            EXPECT_EQ(page.initResult, 0);
            EXPECT_EQ(column(page.list, 0), (Texts{u"Attic", u"Barn", u"Cafe", u"Home", u"Office"}));
            EXPECT_EQ(column(page.list, 1), (Texts{u"None", u"WPA/WPA2", u"WEP", u"None", u"WPA/WPA2"}));
            EXPECT_EQ(column(page.list, 2), (Texts{u"0%", u"98%", u"50%", u"100%", u"2%"}));
            const NetworkItemRecord* cafe = page.list.RecordOf(2);
            ASSERT_NE(cafe, nullptr);
            EXPECT_EQ(cafe->securityMode, 1);
            EXPECT_EQ(cafe->percent, 50);
            EXPECT_EQ(page.list.RecordOf(5), nullptr);

            RECT client{};
            page.list.GetClientRect(&client);
            const int width = client.right;
            EXPECT_EQ(page.list.GetColumnWidth(0), static_cast<int>(width * 0.5));
            EXPECT_EQ(page.list.GetColumnWidth(1), static_cast<int>(width * 0.25));
            EXPECT_EQ(page.list.GetColumnWidth(2), static_cast<int>(width * 0.25));
            EXPECT_TRUE(page.list.GetExtendedStyle() & LVS_EX_FULLROWSELECT);
        });
}

TEST_F(NetworkList, HeaderClicksSortAscendingThenDescendingAndPercentsAsNumbers) {
    struct Case {
        const char16_t* library;
        Texts percents;
    };
    // The Turkish form is chosen by the library's path alone, with the sign in front.
    const Case cases[] = {
        {u"C:\\Program Files\\Qelmar\\Velrinenus.dll", {u"100%", u"90%", u"8%"}},
        {u"C:\\Program Files\\Qelmar\\Velrintr.dll", {u"%100", u"%90", u"%8"}},
    };
    for (const Case& c : cases) {
        NetworkListSort = {};
        LanguageDllPath = c.library;
        run(wzcRadio({adapter(kGuidA, u"Radio A",
                              {network("beta", -46, 1), network("Alpha", -96, 0), network("_under", -55, 2)})}),
            [&](HWND d, ListDialog& page) {
                EXPECT_EQ(column(page.list, 0), (Texts{u"_under", u"Alpha", u"beta"})) << "letters in lower case";
                ASSERT_TRUE(dlg::clickListColumn(d, kList, 0));
                EXPECT_EQ(column(page.list, 0), (Texts{u"_under", u"Alpha", u"beta"}));
                ASSERT_TRUE(dlg::clickListColumn(d, kList, 0));
                EXPECT_EQ(column(page.list, 0), (Texts{u"beta", u"Alpha", u"_under"}));
                // Another column sorts ascending; by number, so 8 comes before 90 and 100.
                ASSERT_TRUE(dlg::clickListColumn(d, kList, 2));
                EXPECT_EQ(column(page.list, 0), (Texts{u"Alpha", u"_under", u"beta"}));
                ASSERT_TRUE(dlg::clickListColumn(d, kList, 2));
                EXPECT_EQ(column(page.list, 2), c.percents);
                // The records moved with their rows.
                for (int row = 0; row < page.list.GetItemCount(); ++row) {
                    CString shown;
                    shown.Format(c.percents[0][0] == u'%' ? u"%%%d" : u"%d%%", page.list.RecordOf(row)->percent);
                    EXPECT_EQ(page.list.GetItemText(row, 2), shown);
                }
            });
    }
}

TEST_F(NetworkList, NoAdapterOrAFailedListingGivesOneAndAnEmptyList) {
    Radio none = nativeRadio({});
    Radio broken = nativeRadio({adapter(kGuidA, u"Radio A", {network("Home")})});
    broken.nativeWifi.running = false;
    struct Case {
        const char* why;
        Radio radio;
        const char* printed;
    };
    const Case cases[] = {
        {"no adapter", none, ""},
        {"every method fails", broken,
         "UpdateSSIDList_wzc error:Unable to find a valid method for retrieving a list of network adapters\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        run(c.radio, [&](HWND, ListDialog& page) {
            EXPECT_EQ(page.initResult, 1) << c.why;
            EXPECT_EQ(page.list.GetItemCount(), 0) << c.why;
        });
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.why;
    }
}

TEST_F(NetworkList, ARefillReplacesTheRowsAndTheirRecords) {
    run(wzcRadio({adapter(kGuidA, u"Radio A", {network("Home", -40, 1), network("Cafe", -75, 0)})}),
        [](HWND, ListDialog& page) {
            platform::radio::setRadio(wzcRadio({adapter(kGuidA, u"Radio A", {network("Office", -60, 2)})}));
            EXPECT_EQ(page.list.FillNetworkList(), 0);
            EXPECT_EQ(column(page.list, 0), (Texts{u"Office"}));
            EXPECT_EQ(page.list.RecordOf(0)->securityMode, 3);
        });
}

TEST_F(NetworkList, TheEntryFilterTakesPlainTypingAndRefusesWidePastesWhole) {
    run(nativeRadio({}), [](HWND d, ListDialog&) {
        // Printable ASCII is typed; other control characters and wide ones are dropped; backspace works.
        ASSERT_TRUE(dlg::typeText(d, kName, u"ab\tc\x01\u00e9\u4e2d d~\x7f"));
        EXPECT_EQ(dlg::controlText(d, kName), u"abc d~\x7f");
        ASSERT_TRUE(dlg::typeText(d, kName, u"\b"));
        EXPECT_EQ(dlg::controlText(d, kName), u"abc d~");

        // A paste with a character of 160 or above leaves the old text, caret at its end.
        putOnClipboard(u"net\u00a0work");
        ASSERT_TRUE(dlg::typeText(d, kName, u"\x16"));
        EXPECT_EQ(dlg::controlText(d, kName), u"abc d~");
        DWORD start = 0, end = 0;
        SendDlgItemMessageW(d, kName, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 6u);
        EXPECT_EQ(end, 6u);

        // A plain paste goes in, however long, up to the box's limit; cut and copy work too.
        putOnClipboard(std::u16string(40, u'x'));
        ASSERT_TRUE(dlg::typeText(d, kName, u"\x16"));
        EXPECT_EQ(dlg::controlText(d, kName).size(), 32u);
        SendDlgItemMessageW(d, kName, EM_SETSEL, 0, 3);
        ASSERT_TRUE(dlg::typeText(d, kName, u"\x18"));
        EXPECT_EQ(dlg::controlText(d, kName).substr(0, 3), u" d~");
    });
}

}  // namespace
