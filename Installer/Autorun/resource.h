// Resource ids of the installation launcher.
#pragma once

#define IDD_AUTORUN_DIALOG 127  // the splash dialog
#define IDR_MAINFRAME 128       // the program's icon
#define IDB_SPLASH 129          // the splash picture
