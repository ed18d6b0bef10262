// Resource ids of the scan application.
#pragma once

#define IDD_TESMAR_DIALOG 102  // the main dialog, never on screen
#define IDR_MAINFRAME 128      // the program's icon
