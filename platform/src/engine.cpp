// Engine objects of the driver interface that the driver asks for outside drawing: palettes and
// the abort check.
#include <map>
#include <vector>

#include "internal.h"
#include "win/winddi.h"

namespace {

struct Palettes {
    std::mutex mutex;
    std::map<HPALETTE, std::vector<ULONG>> colors;
    uintptr_t next = 0x21000;
};
Palettes& palettes() {
    static Palettes* state = new Palettes;
    return *state;
}

}  // namespace

HPALETTE APIENTRY EngCreatePalette(ULONG mode, ULONG colors, ULONG* ulColors, FLONG red, FLONG green, FLONG blue) {
    if (platform::detail::takeFault("EngCreatePalette")) return nullptr;
    std::vector<ULONG> entries;
    if (mode == PAL_INDEXED) {
        if (!ulColors || colors == 0 || colors > 65536) return nullptr;
        entries.assign(ulColors, ulColors + colors);
    } else if (mode == PAL_BITFIELDS) {
        entries = {red, green, blue};
    } else if (mode != PAL_RGB && mode != PAL_BGR) {
        return nullptr;
    }
    auto& state = palettes();
    std::lock_guard lock(state.mutex);
    HPALETTE palette = reinterpret_cast<HPALETTE>(state.next);
    state.next += 8;
    state.colors.emplace(palette, std::move(entries));
    return palette;
}

BOOL APIENTRY EngDeletePalette(HPALETTE palette) {
    auto& state = palettes();
    std::lock_guard lock(state.mutex);
    return state.colors.erase(palette) ? TRUE : FALSE;
}

BOOL APIENTRY EngCheckAbort(SURFOBJ*) { return platform::detail::takeFault("EngCheckAbort") ? TRUE : FALSE; }

namespace platform {

std::optional<std::vector<ULONG>> paletteColors(HPALETTE palette) {
    auto& state = palettes();
    std::lock_guard lock(state.mutex);
    auto it = state.colors.find(palette);
    if (it == state.colors.end()) return std::nullopt;
    return it->second;
}

size_t livePaletteCount() {
    auto& state = palettes();
    std::lock_guard lock(state.mutex);
    return state.colors.size();
}

}  // namespace platform
