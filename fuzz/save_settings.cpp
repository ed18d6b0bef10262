// The scan application's save-settings record.
#include <cstddef>
#include <cstdint>

#include "ImgSaveSettings.h"
#include "TesmarDlg.h"
#include "support.h"

namespace {

bool terminated(const WCHAR (&text)[260]) {
    for (WCHAR c : text)
        if (c == 0) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Input input;
    ImgSaveSettings settings{};
    if (!ParseSaveSettings(data, size, settings)) return 0;
    if (!terminated(settings.szFolder) || !terminated(settings.szFileName) || !terminated(settings.szExtension) ||
        !terminated(settings.szMailProgram))
        __builtin_trap();
    WCHAR path[MAX_PATH];
    (void)BuildOutputPath(settings, path);
    return 0;
}
