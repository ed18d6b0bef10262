// The resource ids each program requires of its language library, and what a library lacks.
#include "rescomp/checker.h"

#include <algorithm>
#include <cctype>
#include <numeric>

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

}  // namespace

const std::vector<Requirements>& programs() {
    static const std::vector<Requirements> table = [] {
        std::vector<Requirements> t;
        // The scan-button program: its dialogs, all its texts, its icon, the error dialog's
        // background and the skin bitmaps of its buttons.
        Requirements orlith;
        orlith.program = "Orlith";
        orlith.dialogs = {8000, 8002, 8003, 8004};
        orlith.strings = range(8005, 8026);
        orlith.icons = {8006};
        orlith.bitmaps = join({10439}, range(10429, 10432));
        t.push_back(orlith);
        // The scan application only shows its start-up refusal from the library: the message and
        // the text of its button.
        Requirements tesmar;
        tesmar.program = "Tesmar";
        tesmar.strings = {8011, 8025};
        t.push_back(tesmar);
        // The utility's dialogs and strings are fixed with its own pages; none are listed yet.
        Requirements caspen;
        caspen.program = "Caspen";
        t.push_back(caspen);
        // The installer: its pages and the skin bitmaps of its buttons; a right-to-left library
        // (Arabic, Hebrew) also holds the mirrored page bitmaps. Its strings are listed with its pages.
        Requirements setup;
        setup.program = "setup";
        setup.dialogs = {135, 136, 137, 141};
        setup.bitmaps = range(149, 152);
        setup.bitmapsWhenRightToLeft = join({147}, range(149, 153));
        t.push_back(setup);
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
    for (const auto& entry : file.dialogs) held.dialogs.insert(entry.first);
    for (const auto& entry : file.strings) held.strings.insert(entry.first);
    for (const auto& entry : file.icons) held.icons.insert(entry.first);
    for (const auto& entry : file.bitmaps) held.bitmaps.insert(entry.first);
    return held;
}

Inventory inventoryOf(HMODULE module) {
    Inventory held;
    held.rightToLeft = res::isRightToLeft(module);
    for (UINT id : res::dialogIds(module)) held.dialogs.insert(id);
    for (UINT id : res::stringIds(module)) held.strings.insert(id);
    for (UINT id : res::iconIds(module)) held.icons.insert(id);
    for (UINT id : res::bitmapIds(module)) held.bitmaps.insert(id);
    return held;
}

std::vector<Lack> missing(const Requirements& required, const Inventory& held) {
    std::vector<Lack> lacks;
    auto check = [&](const char* kind, std::vector<UINT> ids, const std::set<UINT>& have) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        Lack lack{kind, {}};
        for (UINT id : ids)
            if (!have.count(id)) lack.ids.push_back(id);
        if (!lack.ids.empty()) lacks.push_back(std::move(lack));
    };
    check("dialog", required.dialogs, held.dialogs);
    check("string", required.strings, held.strings);
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
    }
    return out;
}

}  // namespace rescomp
