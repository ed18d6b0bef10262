// The module's exports and the DDI function table handed to the engine.
#include "ddi.h"
#include "rastrel.h"

namespace {

HINSTANCE g_module = nullptr;

// Process-wide sections made with the driver; no entry point enters them.
CRITICAL_SECTION g_sections[3];
int g_sectionsMade = 0;

constexpr DWORD kSpinCount = 0x80000400;

#define DDI_ENTRY(name) {INDEX_##name, reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(&name))}
const DRVFN kFunctionTable[] = {
    DDI_ENTRY(DrvDisableDriver),    DDI_ENTRY(DrvEnablePDEV),      DDI_ENTRY(DrvResetPDEV),
    DDI_ENTRY(DrvCompletePDEV),     DDI_ENTRY(DrvDisablePDEV),     DDI_ENTRY(DrvEnableSurface),
    DDI_ENTRY(DrvDisableSurface),   DDI_ENTRY(DrvLineTo),          DDI_ENTRY(DrvStrokePath),
    DDI_ENTRY(DrvStrokeAndFillPath), DDI_ENTRY(DrvFillPath),       DDI_ENTRY(DrvRealizeBrush),
    DDI_ENTRY(DrvDitherColor),      DDI_ENTRY(DrvBitBlt),          DDI_ENTRY(DrvStretchBlt),
    DDI_ENTRY(DrvCopyBits),         DDI_ENTRY(DrvPlgBlt),          DDI_ENTRY(DrvAlphaBlend),
    DDI_ENTRY(DrvGradientFill),     DDI_ENTRY(DrvTransparentBlt),  DDI_ENTRY(DrvPaint),
    DDI_ENTRY(DrvGetGlyphMode),     DDI_ENTRY(DrvTextOut),         DDI_ENTRY(DrvSendPage),
    DDI_ENTRY(DrvStartPage),        DDI_ENTRY(DrvStartDoc),        DDI_ENTRY(DrvEndDoc),
    DDI_ENTRY(DrvStartBanding),     DDI_ENTRY(DrvNextBand),        DDI_ENTRY(DrvQueryPerBandInfo),
    DDI_ENTRY(DrvEscape),
};
#undef DDI_ENTRY
static_assert(sizeof(kFunctionTable) / sizeof(kFunctionTable[0]) == 31, "31 DDI functions");

// Deletes the last `count` sections made.
void DeleteSections(int count) {
    while (count-- > 0 && g_sectionsMade > 0) DeleteCriticalSection(&g_sections[--g_sectionsMade]);
}

}  // namespace

extern "C" DRIVER_EXPORT BOOL WINAPI DllEntryPoint(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

extern "C" DRIVER_EXPORT BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data) {
    // A call that fails lets go of the sections it made itself, never of those an earlier call made.
    int made = 0;
    if (g_sectionsMade == 0) {
        for (auto& section : g_sections) {
            if (!InitializeCriticalSectionAndSpinCount(&section, kSpinCount)) {
                DeleteSections(made);
                return FALSE;
            }
            ++g_sectionsMade;
            ++made;
        }
    }
    if (engineVersion < DDI_DRIVER_VERSION_NT4) {
        DeleteSections(made);
        SetLastError(ERROR_BAD_DRIVER_LEVEL);
        return FALSE;
    }
    if (size <= 15 || !data) {
        DeleteSections(made);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    data->iDriverVersion = DDI_DRIVER_VERSION_NT4;
    data->c = sizeof(kFunctionTable) / sizeof(kFunctionTable[0]);
    data->pdrvfn = const_cast<DRVFN*>(kFunctionTable);
    return TRUE;
}

extern "C" DRIVER_EXPORT void APIENTRY DrvDisableDriver() { DeleteSections(g_sectionsMade); }

extern "C" DRIVER_EXPORT BOOL APIENTRY DrvQueryDriverInfo(DWORD query, PVOID buffer, DWORD size, PDWORD needed) {
    if (query != DRVQUERY_USERMODE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (needed) *needed = sizeof(DWORD);
    if (!buffer || size < sizeof(DWORD)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *static_cast<DWORD*>(buffer) = 1;
    return TRUE;
}
