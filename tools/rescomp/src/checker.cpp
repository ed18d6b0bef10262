// The resource ids each program requires of its language library, and what a library lacks.
#include "rescomp/checker.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "win/resources.h"
#include "win/user.h"

namespace rescomp {

namespace res = platform::resources;

namespace {

std::vector<UINT> range(UINT first, UINT last) {
    std::vector<UINT> ids(last - first + 1);
    std::iota(ids.begin(), ids.end(), first);
    return ids;
}
std::vector<UINT> join(std::vector<UINT> a, const std::vector<UINT>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<UINT> kSetupPageBitmaps = join({147}, range(149, 153));

}  // namespace

bool Requirements::empty() const {
    return dialogs.empty() && strings.empty() && icons.empty() && bitmaps.empty() && bitmapsWhenRightToLeft.empty();
}

const std::vector<Requirements>& programs() {
    static const std::vector<Requirements> table = [] {
        std::vector<Requirements> t;
        // The scan-button program: its dialogs with the controls its code binds (settings 8000 with
        // OK, Cancel and the help button 57670; progress 8002; error 8004), all its texts, its icon,
        // the error dialog's background and the skin bitmaps of its buttons. Both scan programs load
        // the same file name, so every library of the scan set holds this and the scan application's.
        Requirements orlith;
        orlith.program = "Orlith";
        orlith.dialogs = {8000, 8002, 8003, 8004};
        orlith.controls = {{8000, {8000, 8001, 8002, 8004, 8008, IDOK, IDCANCEL, 57670}},
                           {8002, {IDCANCEL, 8005, 8006, 8009}},
                           {8004, {IDOK, 8007}}};
        orlith.strings = range(8005, 8026);
        orlith.icons = {8006};
        orlith.bitmaps = join({10439}, range(10429, 10432));
        t.push_back(orlith);
        // The scan application only shows its start-up refusal from the library (one of the scan
        // set): the message and the text of its button.
        Requirements tesmar;
        tesmar.program = "Tesmar";
        tesmar.strings = {8011, 8025};
        t.push_back(tesmar);
        // The wireless wizard: the frame (140) and its four pages (list 141, details 129, progress 131,
        // outcome 130) with the controls the code binds and shows, the frame's questions, the list's
        // column headings, the word for no security and the outcome texts. Its bitmaps come from the
        // program itself.
        Requirements caspen;
        caspen.program = "Caspen";
        caspen.dialogs = {129, 130, 131, 140, 141};
        caspen.controls = {{140, {1013, 1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024}},
                           {141, {1000, 1002, 1026, 1027, 1028, 1029}},
                           {129, {1001, 1002, 1003, 1009, 1025}},
                           {131, {1008}},
                           {130, {1010, 1021}}};
        caspen.strings = join(join(range(134, 135), range(137, 141)), {150, 151, 152, 156, 158, 159});
        t.push_back(caspen);
        // The uninstaller: the main window and its three pages with their controls, and every text it
        // shows. A right-to-left library (Arabic, Hebrew) also holds the page bitmaps; for the other
        // languages they come from the bitmap library (below).
        Requirements setup;
        setup.program = "setup";
        setup.dialogs = {135, 136, 137, 141};
        setup.controls = {{135, {IDOK, IDCANCEL, 1046, 1051, 1052}}, {136, {1027, 1047}}, {137, {IDOK, 1048}}};
        setup.strings = {156, 160, 168, 176, 177, 194, 220, 222, 235, 239, 243, 244, 302, 308, 309, 310, 311};
        setup.bitmapsWhenRightToLeft = kSetupPageBitmaps;
        t.push_back(setup);
        // The uninstaller's bitmap library: the page backgrounds 147 and 153 and the button skins 149 to 152.
        Requirements bitmaps;
        bitmaps.program = "setup-bitmaps";
        bitmaps.bitmaps = kSetupPageBitmaps;
        t.push_back(bitmaps);
        return t;
    }();
    return table;
}

const Requirements* requirementsFor(std::string_view program) {
    auto fold = [](std::string_view s) {
        std::string out(s);
        for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    for (const Requirements& r : programs())
        if (fold(r.program) == fold(program)) return &r;
    return nullptr;
}

Inventory inventoryOf(const res::ResourceFile& file) {
    Inventory held;
    held.rightToLeft = file.rightToLeft;
    for (const auto& [id, dialog] : file.dialogs) {
        held.dialogs.insert(id);
        auto& controls = held.controls[id];
        for (const res::DialogControl& c : dialog.controls)
            if (c.id >= 0) controls.insert(static_cast<UINT>(c.id));
    }
    for (const auto& [id, text] : file.strings) (text.empty() ? held.emptyStrings : held.strings).insert(id);
    for (const auto& entry : file.icons) held.icons.insert(entry.first);
    for (const auto& entry : file.bitmaps) held.bitmaps.insert(entry.first);
    return held;
}

Inventory inventoryOf(HMODULE module) {
    Inventory held;
    held.rightToLeft = res::isRightToLeft(module);
    for (UINT id : res::dialogIds(module)) {
        held.dialogs.insert(id);
        auto& controls = held.controls[id];
        if (auto dialog = res::findDialog(module, id))
            for (const res::DialogControl& c : dialog->controls)
                if (c.id >= 0) controls.insert(static_cast<UINT>(c.id));
    }
    for (UINT id : res::stringIds(module)) {
        const WCHAR* text = nullptr;
        bool filled = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0) > 0;
        (filled ? held.strings : held.emptyStrings).insert(id);
    }
    for (UINT id : res::iconIds(module)) held.icons.insert(id);
    for (UINT id : res::bitmapIds(module)) held.bitmaps.insert(id);
    return held;
}

std::vector<Lack> missing(const Requirements& required, const Inventory& held) {
    std::vector<Lack> lacks;
    auto check = [&](const char* kind, std::vector<UINT> ids, const std::set<UINT>& have, UINT dialog = 0) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        Lack lack{kind, {}, dialog};
        for (UINT id : ids)
            if (!have.count(id)) lack.ids.push_back(id);
        if (!lack.ids.empty()) lacks.push_back(std::move(lack));
    };
    check("dialog", required.dialogs, held.dialogs);
    // The controls of the dialogs that are there (a missing dialog is named once, above).
    for (const auto& [dialog, controls] : required.controls)
        if (auto it = held.controls.find(dialog); it != held.controls.end()) check("control", controls, it->second, dialog);
    // A string with an empty text is as good as none; it is named apart so that it can be found.
    std::vector<UINT> absent, empty;
    for (UINT id : required.strings)
        if (!held.strings.count(id)) (held.emptyStrings.count(id) ? empty : absent).push_back(id);
    check("string", absent, {});
    check("empty string", empty, {});
    check("icon", required.icons, held.icons);
    check("bitmap", held.rightToLeft ? join(required.bitmaps, required.bitmapsWhenRightToLeft) : required.bitmaps,
          held.bitmaps);
    return lacks;
}

std::string formatIds(const std::vector<UINT>& ids) {
    std::string out;
    for (size_t i = 0; i < ids.size();) {
        size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1) ++j;
        if (i > 0) out += ", ";
        if (j - i >= 2) {
            out += std::to_string(ids[i]) + " to " + std::to_string(ids[j]);
        } else {
            out += std::to_string(ids[i]);
            if (j > i) out += ", " + std::to_string(ids[j]);
        }
        i = j + 1;
    }
    return out;
}

std::string describe(const std::vector<Lack>& lacks) {
    std::string out;
    for (const Lack& lack : lacks) {
        if (!out.empty()) out += "; ";
        out += lack.kind + (lack.ids.size() > 1 ? "s " : " ") + formatIds(lack.ids);
        if (lack.kind == "control") out += " of dialog " + std::to_string(lack.dialog);
    }
    return out;
}

}  // namespace rescomp
