// Which resource ids each program requires of its language library, and what a library lacks.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/resources.h"

namespace rescomp {

struct Requirements {
    std::string program;
    std::vector<UINT> dialogs;
    std::map<UINT, std::vector<UINT>> controls;  // control ids that a required dialog must hold
    std::vector<UINT> strings;                   // each with a text: an empty one counts as missing
    std::vector<UINT> icons;
    std::vector<UINT> bitmaps;
    std::vector<UINT> bitmapsWhenRightToLeft;  // more bitmaps that only a right-to-left library needs

    // True when nothing is listed: such an entry can tell nothing about a library.
    bool empty() const;
};

// Orlith, Tesmar, Caspen, setup and setup's bitmap library ("setup-bitmaps").
const std::vector<Requirements>& programs();
// The requirements of a program by name (without regard to case), or null.
const Requirements* requirementsFor(std::string_view program);

// What a library holds.
struct Inventory {
    bool rightToLeft = false;
    std::set<UINT> dialogs;
    std::map<UINT, std::set<UINT>> controls;  // the non-negative control ids of each dialog
    std::set<UINT> strings;                   // strings with a text
    std::set<UINT> emptyStrings;              // strings present with an empty text
    std::set<UINT> icons;
    std::set<UINT> bitmaps;
};
Inventory inventoryOf(const platform::resources::ResourceFile& file);
// A module that LoadLibraryW opened as a resource file (empty for any other handle).
Inventory inventoryOf(HMODULE module);

// The ids of one kind that a library lacks: kind "dialog", "string", "empty string", "icon", "bitmap"
// or "control"; for controls, `dialog` names the dialog that lacks them.
struct Lack {
    std::string kind;
    std::vector<UINT> ids;
    UINT dialog = 0;
};
std::vector<Lack> missing(const Requirements& required, const Inventory& held);
// Ids in ascending order as "8000, 8002, 8005 to 8010" (runs of three or more as ranges).
std::string formatIds(const std::vector<UINT>& ids);
// "dialogs 8000, 8002; controls 1, 57670 of dialog 8000; strings 8005 to 8010; empty string 8013".
std::string describe(const std::vector<Lack>& lacks);

}  // namespace rescomp
