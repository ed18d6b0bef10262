// Resource ids of the uninstaller `setup`: its dialog templates, controls, bitmaps and texts (the same
// in the program's own resources and in every language library).
#pragma once

#include "win/base.h"

// Dialog templates.
inline constexpr UINT IDD_UNINSTALL_LIST = 135;      // the printer list page
inline constexpr UINT IDD_UNINSTALL_DOING = 136;     // the progress page
inline constexpr UINT IDD_UNINSTALL_COMPLETE = 137;  // the completion page
inline constexpr UINT IDD_UNINSTALL_MAIN = 141;      // the main window

// The program's icon (the program's own resources only).
inline constexpr UINT IDR_SETUP_ICON = 128;

// Controls.
inline constexpr int IDC_LIST_WELCOME = 1046;
inline constexpr int IDC_LIST_DELETE_ONE = 1051;
inline constexpr int IDC_LIST_PRINTERS = 1052;
inline constexpr int IDC_DOING_PROGRESS = 1027;
inline constexpr int IDC_DOING_LABEL = 1047;
inline constexpr int IDC_COMPLETE_LABEL = 1048;

// Page bitmaps: of the bitmap library, or of a right-to-left language library.
inline constexpr UINT IDB_PAGE_BACKGROUND = 147;  // progress and completion pages
inline constexpr UINT IDB_SKIN_NORMAL = 149;
inline constexpr UINT IDB_SKIN_DOWN = 150;
inline constexpr UINT IDB_SKIN_OVER = 151;
inline constexpr UINT IDB_SKIN_DISABLED = 152;
inline constexpr UINT IDB_LIST_BACKGROUND = 153;

// Texts.
inline constexpr UINT IDS_CAPTION = 156;
inline constexpr UINT IDS_EXIT = 160;
inline constexpr UINT IDS_NOT_NT = 168;
inline constexpr UINT IDS_DELETE_ONE = 176;
inline constexpr UINT IDS_DELETE_ALL = 177;
inline constexpr UINT IDS_COLUMN_PRINTER = 194;
inline constexpr UINT IDS_FINISH = 220;
inline constexpr UINT IDS_RESTART_QUESTION = 222;
inline constexpr UINT IDS_COLUMN_PORT = 235;
inline constexpr UINT IDS_WELCOME = 239;
inline constexpr UINT IDS_SCAN_SHORTCUT = 243;
inline constexpr UINT IDS_SCAN_IN_USE = 244;
inline constexpr UINT IDS_PRINTER_BUSY = 302;
inline constexpr UINT IDS_NOT_ADMIN = 308;
inline constexpr UINT IDS_QUIT_QUESTION = 309;
inline constexpr UINT IDS_UNINSTALLING = 310;
inline constexpr UINT IDS_UNINSTALLED = 311;
// Shown in place of 311 when a run could not remove everything (a second run finishes the job).
inline constexpr UINT IDS_UNINSTALL_INCOMPLETE = 312;
