// The scan-button program's one application object; the framework's start-up runs it.
#include "ScanManagerApp.h"

CScanManagerApp theApp;
