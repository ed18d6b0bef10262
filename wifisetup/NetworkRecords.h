// The records of the wireless listing: one per adapter of the PC, one per network an adapter sees.
#pragma once

#include <cstdint>

#include "win/base.h"

// A wireless adapter, in the order the system reports them.
struct AdapterRecord {
    WCHAR name[256] = {};         // the interface GUID in braced text form, as the system gives it
    WCHAR description[256] = {};  // up to 255 characters; empty when none or an overlong one
};

// A visible network of one adapter (zero-filled before it is set).
struct NetworkRecord {
    char SSID[256] = {};   // the name's bytes up to the first NUL, at most 32, NUL-terminated
    int32_t signal = 0;    // dBm
    int32_t security = 0;  // 0 none, 1 WEP, 3 WPA/WPA2
};
