// Exports by ordinal for modules of ours. A Windows module names its ordinals in its export table; a
// shared object has only names, so a module that a program reaches by ordinal (GetProcAddress with
// MAKEINTRESOURCEA(n)) exports, besides the functions themselves, a table under the name
// PLATFORM_ORDINAL_TABLE that gives each ordinal's exported name and ends with ordinal 0:
//
//     extern "C" __attribute__((visibility("default")))
//     const PlatformOrdinal PlatformOrdinalExports[] = {{1, "DSM_Entry"}, {0, nullptr}};
#pragma once

#include "win/base.h"

struct PlatformOrdinal {
    WORD ordinal;
    const char* name;
};

#define PLATFORM_ORDINAL_TABLE "PlatformOrdinalExports"
