// The network list of the wizard's first page: one row per network the PC sees (name, security mode,
// signal strength), filled from the wireless listing layer and sorted on a click on a column header.
#pragma once

#include <memory>
#include <vector>

#include "afx/afxcmn.h"

// The record behind each row, kept as the row's item data.
struct NetworkItemRecord {
    int securityMode;  // the codes of WizardData::securityMode
    int percent;       // signal strength in percent
};

// How the list is sorted (one for the process): the column, the last column clicked and the direction
// (1 ascending, -1 descending).
struct NetworkSortState {
    int column = 0;
    int lastClicked = -1;
    int direction = 1;
};
extern NetworkSortState NetworkListSort;

class CMyListCtrl : public CListCtrl {
public:
    CMyListCtrl() = default;
    ~CMyListCtrl() override = default;

    // Full-row selection, the three columns at half, a quarter and a quarter of the client width, then
    // the filling. 1 when the PC has no wireless adapter or the listing failed, else 0.
    int InitNetworkList();
    // Replaces the rows with the networks the PC sees now (names that convert to characters of 160 or
    // above are left out). 1 when the PC has no wireless adapter or the listing failed, else 0.
    int FillNetworkList();
    // Appends a row; the signal shows as "70%", or "%70" with the Turkish language library.
    void AddNetworkItem(int securityMode, LPCWSTR name, int percent);
    // Removes every row and its record.
    void ClearNetworkItems();
    // Sorts by the current sort column and direction.
    void SortNetworks();
    // A click on column `column`'s header: the same column again turns the order, another one sorts
    // ascending by it.
    void OnColumnClick(int column);

    // The comparison of two rows' records (`context` the list), by the sort state.
    static int CALLBACK CompareNetworks(LPARAM first, LPARAM second, LPARAM context);
    // The record behind a row, or NULL (no such row).
    const NetworkItemRecord* RecordOf(int row) const;

private:
    std::vector<std::unique_ptr<NetworkItemRecord>> records_;
};

// A signal strength in dBm as a percentage: -100 or less gives 0, -50 or more 100, linear between.
int SignalPercent(long dBm);
