// Which resource ids each program requires of its language library, and what a library lacks.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"

namespace rescomp {

struct Requirements {
    std::string program;
    std::vector<UINT> dialogs;
    std::vector<UINT> strings;
    std::vector<UINT> icons;
    std::vector<UINT> bitmaps;
    std::vector<UINT> bitmapsWhenRightToLeft;  // more bitmaps that only a right-to-left library needs
};

// Orlith, Tesmar, Caspen and setup.
const std::vector<Requirements>& programs();
// The requirements of a program by name (without regard to case), or null.
const Requirements* requirementsFor(std::string_view program);

// What a library holds.
struct Inventory {
    bool rightToLeft = false;
    std::set<UINT> dialogs;
    std::set<UINT> strings;
    std::set<UINT> icons;
    std::set<UINT> bitmaps;
};
Inventory inventoryOf(const platform::resources::ResourceFile& file);
// A module that LoadLibraryW opened as a resource file (empty for any other handle).
Inventory inventoryOf(HMODULE module);

// The ids of one kind that a library lacks ("dialog", "string", "icon", "bitmap").
struct Lack {
    std::string kind;
    std::vector<UINT> ids;
};
std::vector<Lack> missing(const Requirements& required, const Inventory& held);
// Ids in ascending order as "8000, 8002, 8005 to 8010" (runs of three or more as ranges).
std::string formatIds(const std::vector<UINT>& ids);
// "dialogs 8000, 8002; strings 8005 to 8010, 8013" (runs of three or more ids as ranges).
std::string describe(const std::vector<Lack>& lacks);

}  // namespace rescomp
