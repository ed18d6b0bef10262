// The framework's module handles: the program's instance and the module it loads resources from
// (a language resource library once the program chooses one). Shared by every framework header.
#pragma once

#include "win/base.h"

// The program's instance handle (GetModuleHandleW(NULL) until an application object says otherwise).
HINSTANCE AfxGetInstanceHandle();
// The module strings, dialogs and bitmaps are loaded from: the instance handle until set.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
