// The resource ids the scan-button program takes from its language library.
#pragma once

// Dialog templates.
#define IDD_SCANMANAGER_DIALOG 8000
#define IDD_PROGRESS_DIALOG 8002
#define IDD_MSG_DIALOG 8003
#define IDD_ERROR_DIALOG 8004

// Controls of the settings dialog (with IDOK, IDCANCEL).
#define IDC_STATIC_FOLDER 8000
#define IDC_EDIT_FOLDER 8001
#define IDC_BUTTON_BROWSE 8002
#define IDC_CHECK_AUTO_OPEN 8004
#define IDC_CHECK_OPEN_FOLDER 8008
#define ID_HELP 57670
// Controls of the progress dialog (with IDCANCEL).
#define IDC_PROGRESS_TEXT 8005
#define IDC_PROGRESS_BAR 8006
#define IDC_PAGE_COUNT 8009
// The message label of the error dialog (with IDOK).
#define IDC_ERROR_MESSAGE 8007

// Strings.
#define IDS_WINDOW_TITLE 8005       // the settings dialog's title as another instance looks for it
#define IDS_FOLDER_LABEL 8006
#define IDS_BROWSE 8007
#define IDS_AUTO_OPEN 8008
#define IDS_HELP 8009
#define IDS_CANCEL 8010
#define IDS_OK 8011
#define IDS_PERCENT 8012            // every "0" is replaced by the percent
#define IDS_CANCELLING 8013
#define IDS_ERROR_TITLE 8014
#define IDS_NO_FOLDER 8015
#define IDS_BAD_FOLDER 8016
#define IDS_SCAN_FAILED 8017
#define IDS_SCANNER_STATUS_3 8018
#define IDS_PDF_FAILED 8019
#define IDS_CANNOT_WRITE 8021
#define IDS_FOLDER_TOO_LONG 8022
#define IDS_SCANNER_STATUS_6 8023
#define IDS_SCANNER_STATUS_7 8024
#define IDS_SCANNER_UNAVAILABLE 8025
#define IDS_SCANNER_STATUS_8 8026

// Icon and bitmaps.
#define IDI_SCANMANAGER 8006
#define IDB_ERROR_BACKGROUND 10439
