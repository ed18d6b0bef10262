// A tiny printer graphics driver for the GDI tests, built as its own module (GDI_FAKE_DRIVER): it
// answers DrvEnablePDEV with a GDIINFO made from the DEVMODE (resolution from dmYResolution, A4 or
// Letter, portrait or landscape, a 100-pixel unprintable margin) and logs the calls it gets, so a test
// can see how GDI asked for a printer's capabilities. Compiled to nothing in the test program itself.
#ifdef GDI_FAKE_DRIVER

#include <cmath>
#include <cstring>
#include <string>

#include "win/winddi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::string& log() {
    static std::string text;  // goes with the module when it is unloaded
    return text;
}

struct Pdev {
    int magic = 0x5044;
};

std::string utf8(const WCHAR* text) {
    std::string out;
    for (; text && *text; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

DHPDEV APIENTRY EnablePdev(DEVMODEW* devmode, LPWSTR, ULONG patternCount, HSURF*, ULONG gdiSize, ULONG* gdiInfo,
                           ULONG devInfoSize, DEVINFO*, HDEV hdev, LPWSTR deviceName, HANDLE printer) {
    log() += "EnablePDEV(" + utf8(deviceName) + (printer ? ",printer" : ",no printer") + (hdev ? ",hdev" : "") +
             ",patterns=" + std::to_string(patternCount) + ")\n";
    if (gdiSize < sizeof(GDIINFO) || devInfoSize < sizeof(DEVINFO)) return nullptr;
    int dpi = devmode && devmode->dmYResolution > 0 ? devmode->dmYResolution : 600;
    bool letter = devmode && devmode->dmPaperSize == DMPAPER_LETTER;
    bool landscape = devmode && devmode->dmOrientation == DMORIENT_LANDSCAPE;
    if (dpi == 13) return nullptr;  // a resolution the device refuses
    double widthMm = letter ? 215.9 : 210, heightMm = letter ? 279.4 : 297;
    if (landscape) std::swap(widthMm, heightMm);
    GDIINFO gdi{};
    gdi.ulVersion = GDIINFO_VERSION_NT5;
    gdi.ulTechnology = DT_RASPRINTER;
    gdi.szlPhysSize.cx = static_cast<LONG>(std::lround(widthMm / 25.4 * dpi));
    gdi.szlPhysSize.cy = static_cast<LONG>(std::lround(heightMm / 25.4 * dpi));
    gdi.ptlPhysOffset = POINTL{100, 100};
    gdi.ulHorzRes = static_cast<ULONG>(gdi.szlPhysSize.cx - 200);
    gdi.ulVertRes = static_cast<ULONG>(gdi.szlPhysSize.cy - 200);
    // The width in micrometres (a negative value), the height in millimetres.
    gdi.ulHorzSize = static_cast<ULONG>(-std::lround(gdi.ulHorzRes * 25400.0 / dpi));
    gdi.ulVertSize = static_cast<ULONG>(std::lround(gdi.ulVertRes * 25.4 / dpi));
    gdi.cBitsPixel = 8;
    gdi.cPlanes = 1;
    gdi.ulNumColors = 256;
    gdi.ulLogPixelsX = gdi.ulLogPixelsY = static_cast<ULONG>(dpi);
    gdi.ulAspectX = gdi.ulAspectY = static_cast<ULONG>(dpi);
    gdi.ulAspectXY = static_cast<ULONG>(std::lround(dpi * std::sqrt(2.0)));
    std::memcpy(gdiInfo, &gdi, sizeof gdi);
    return reinterpret_cast<DHPDEV>(new Pdev);
}

void APIENTRY CompletePdev(DHPDEV, HDEV) { log() += "CompletePDEV\n"; }

void APIENTRY DisablePdev(DHPDEV pdev) {
    log() += "DisablePDEV\n";
    delete reinterpret_cast<Pdev*>(pdev);
}

void APIENTRY DisableDriver() { log() += "DisableDriver\n"; }

template <class F>
PFN pfn(F f) {
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

FAKE_EXPORT BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data) {
    log() += "EnableDriver(" + std::to_string(engineVersion >> 16) + ")\n";
    static DRVFN functions[] = {
        {INDEX_DrvEnablePDEV, pfn(EnablePdev)},
        {INDEX_DrvCompletePDEV, pfn(CompletePdev)},
        {INDEX_DrvDisablePDEV, pfn(DisablePdev)},
        {INDEX_DrvDisableDriver, pfn(DisableDriver)},
    };
    if (size < sizeof(DRVENABLEDATA) || !data) return FALSE;
    data->iDriverVersion = DDI_DRIVER_VERSION_NT5;
    data->c = sizeof functions / sizeof functions[0];
    data->pdrvfn = functions;
    return TRUE;
}

// What the driver was asked since the last call, one call a line.
FAKE_EXPORT const char* FakeDriverTakeLog() {
    static std::string taken;
    taken = log();
    log().clear();
    return taken.c_str();
}

#endif  // GDI_FAKE_DRIVER
