#include "MyListCtrl.h"

#include <cstdio>
#include <exception>

#include "printer_frames.h"
#include "startup.h"
#include "win/crt.h"
#include "win/kernel.h"
#include "wlanapi.h"

NetworkSortState NetworkListSort;

namespace {

// The number in a signal text, whichever side its percent sign stands on.
int percentIn(const CString& text) {
    int value = 0;
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] >= u'0' && text[i] <= u'9') value = value * 10 + (text[i] - u'0');
    return value;
}

// The row whose item data is `record`, or -1.
int rowOf(const CMyListCtrl& list, LPARAM record) {
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = record;
    return list.FindItem(&find, -1);
}

}  // namespace

int SignalPercent(long dBm) {
    if (dBm <= -100) return 0;
    if (dBm >= -50) return 100;
    return static_cast<int>(2 * dBm + 200);
}

int CMyListCtrl::InitNetworkList() {
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(&client);
    const int width = client.right - client.left;
    const UINT titles[] = {150, 151, 152};
    const double shares[] = {0.5, 0.25, 0.25};
    for (int column = 0; column < 3; ++column) {
        CString title;
        title.LoadString(titles[column]);
        InsertColumn(column, title.GetString(), LVCFMT_LEFT, static_cast<int>(width * shares[column]));
    }
    return FillNetworkList();
}

int CMyListCtrl::FillNetworkList() {
    auto owner = std::make_unique<mywlanapi>();
    ClearNetworkItems();
    int result = 0;
    try {
        const std::vector<AdapterRecord> adapters = owner->api().get_adapter_list();
        if (adapters.empty()) result = 1;
        const std::vector<NetworkRecord> networks = owner->api().scan_adapters();
        for (const NetworkRecord& network : networks) {
            WCHAR name[260] = {};
            MultiByteToWideChar(CP_ACP, 0, network.SSID, -1, name, 260);
            bool wide = false;
            for (const WCHAR* c = name; *c; ++c) wide = wide || *c >= 0xA0;
            if (wide) continue;
            AddNetworkItem(network.security, name, SignalPercent(network.signal));
        }
    } catch (const std::exception& failure) {
        std::printf("UpdateSSIDList_wzc error:%s\n", failure.what());
        std::fflush(stdout);
        result = 1;
    }
    return result;
}

void CMyListCtrl::AddNetworkItem(int securityMode, LPCWSTR name, int percent) {
    records_.push_back(std::make_unique<NetworkItemRecord>(NetworkItemRecord{securityMode, percent}));
    NetworkItemRecord* record = records_.back().get();
    WCHAR security[512] = {};
    GetSecurityModeName(securityMode, security);
    const int row = InsertItem(GetItemCount(), name);
    SetItemText(row, 1, security);
    CString signal;
    signal.Format(LanguageDllPath.find(u"tr.dll") != std::u16string::npos ? u"%%%d" : u"%d%%", percent);
    SetItemText(row, 2, signal.GetString());
    SetItemData(row, reinterpret_cast<DWORD_PTR>(record));
}

void CMyListCtrl::ClearNetworkItems() {
    DeleteAllItems();
    records_.clear();
}

const NetworkItemRecord* CMyListCtrl::RecordOf(int row) const {
    if (row < 0 || row >= GetItemCount()) return nullptr;
    return reinterpret_cast<const NetworkItemRecord*>(GetItemData(row));
}

int CALLBACK CMyListCtrl::CompareNetworks(LPARAM first, LPARAM second, LPARAM context) {
    const auto* list = reinterpret_cast<const CMyListCtrl*>(context);
    const int column = NetworkListSort.column;
    CString a = list->GetItemText(rowOf(*list, first), column);
    CString b = list->GetItemText(rowOf(*list, second), column);
    if (NetworkListSort.direction == -1) std::swap(a, b);
    if (column == 2) return percentIn(a) - percentIn(b);
    return _wcsicmp(a.GetString(), b.GetString());
}

void CMyListCtrl::SortNetworks() { SortItems(&CMyListCtrl::CompareNetworks, reinterpret_cast<DWORD_PTR>(this)); }

void CMyListCtrl::OnColumnClick(int column) {
    if (column == NetworkListSort.lastClicked) {
        NetworkListSort.direction = NetworkListSort.direction == 1 ? -1 : 1;
    } else {
        NetworkListSort.lastClicked = column;
        NetworkListSort.direction = 1;
    }
    NetworkListSort.column = column;
    SortNetworks();
}
