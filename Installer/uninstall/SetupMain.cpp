// The uninstaller's one application object; the framework's start-up runs it.
#include "EasyInstallApp.h"

CEasyInsatllApp theApp;
