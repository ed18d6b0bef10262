// The uninstaller's main window: it hosts the printer list, the progress page and the completion page in
// turn, and owns what the pages and the removal share (models, language, the chosen printer, the mode).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "afx/afxwin.h"

class CDlg_Unistall;
class CDlg_UinstallDoing;
class Cdlg_UnistallComplete;

// One supported model: its type word and its name, each at most 127 characters.
struct ModelEntry {
    std::u16string type;
    std::u16string name;
};

// Where the main window stands: the list shown, a removal running, the removal finished.
enum PageState : int { kPageList = 0, kPageRemoving = 1, kPageFinished = 2 };

// The removal modes of the list page's buttons.
inline constexpr int kRemoveOne = 0;
inline constexpr int kRemoveAll = 1;

// The keyboard filter of the uninstaller's windows: Enter, Escape and Space key-downs, an lParam of
// 0x2000, and the wParams 0x73, 0x20, 0x6D, 0x2D and 3 of any message are discarded; the list page
// also discards the wParams of the up and down arrows.
bool IsFilteredKeyMessage(const MSG* msg, bool arrowsToo);

// A page's erase: its background bitmap stretched over the client area. False when the page has no
// bitmap (its dialog face is painted then).
bool StretchPageBackground(CWnd& page, CDC* dc, CBitmap& background);

class CDlg_UnistallMainManage : public CDialog {
public:
    CDlg_UnistallMainManage();
    ~CDlg_UnistallMainManage() override;

    // Greys the system menu's Close and shows the progress page; the list page calls it after setting
    // page state 1.
    void ShowProgressPage();
    // Enables Close again and shows the completion page; the progress page calls it after setting page
    // state 2.
    void ShowCompletePage();
    // Makes the window's client area the page's size, places the page at its origin, shows it and gives
    // it the focus.
    void FitMainWindowToPage(CWnd* page);
    // Frees the language library (texts and templates come from the program itself afterwards) and
    // removes the product's folder below the system folder with the folders it leaves empty.
    void RemoveProductFolder();
    // The progress page's worker could not start: the person is told, and the window may close (page
    // state 2) without deleting the program.
    void RemovalCouldNotStart();

    // A text of the current resource module (heading put in) shown in a box with caption 156; right to
    // left for "Arabic" only.
    int ShowTextBox(UINT textId, UINT type, CWnd* owner = nullptr);
    UINT MessageBoxLayout() const;
    // Switches the resource module to the bitmap library while a page loads its bitmaps (flag 1), and
    // back to the language library or the program's own resources afterwards.
    void UseBitmapResources();
    void UseLanguageResources();

    HICON m_hIcon = nullptr;
    std::vector<ModelEntry> m_ModelList;
    int m_bUseBitmapLibrary = 1;
    std::u16string m_LanguageName;  // at most 255 characters; empty when no language library loaded
    int m_nPageState = kPageList;
    Cdlg_UnistallComplete* m_pCompletePage = nullptr;
    CDlg_UinstallDoing* m_pDoingPage = nullptr;
    CDlg_Unistall* m_pListPage = nullptr;
    int m_bDeleteSelf = 0;
    HMODULE m_hLanguageLibrary = nullptr;
    HMODULE m_hBitmapLibrary = nullptr;
    int m_nRemovalMode = kRemoveAll;
    std::u16string m_ChosenPrinter;
    int m_nSameDriverCount = 0;
    std::u16string m_ChosenDriver;
    // The removal left something a second run must mend: the completion page says so, and closing
    // the window deletes nothing, so that the program stays for that run.
    bool m_bRemovalIncomplete = false;

protected:
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    afx_msg void OnClose();
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    DECLARE_MESSAGE_MAP()

private:
    void ChooseLanguageLibrary();
    void LoadBitmapLibrary();
    // The user's rights and the platform; false when the program must end (the box was shown).
    bool CheckSystemAndRights();
};
