// Surface, drawing, page and job entries that are not built yet: each fails cleanly with
// ERROR_NOT_SUPPORTED so that the engine abandons the job instead of printing wrong pages.
#include "ddi.h"
#include "rastrel.h"

namespace {
template <class T = BOOL>
T NotYet(T failure = T{}) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return failure;
}
}  // namespace

extern "C" {
HSURF APIENTRY DrvEnableSurface(DHPDEV) { return NotYet<HSURF>(nullptr); }
void APIENTRY DrvDisableSurface(DHPDEV) {}
BOOL APIENTRY DrvLineTo(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX) { return NotYet(); }
BOOL APIENTRY DrvStrokePath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
    return NotYet();
}
BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*, POINTL*,
                                   MIX, FLONG) {
    return NotYet();
}
BOOL APIENTRY DrvFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) { return NotYet(); }
BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG) { return NotYet(); }
ULONG APIENTRY DrvDitherColor(DHPDEV, ULONG, ULONG, ULONG*) { return NotYet<ULONG>(0); }
BOOL APIENTRY DrvBitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*, POINTL*,
                        ROP4) {
    return NotYet();
}
BOOL APIENTRY DrvStretchBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*,
                            RECTL*, POINTL*, ULONG) {
    return NotYet();
}
BOOL APIENTRY DrvCopyBits(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) { return NotYet(); }
BOOL APIENTRY DrvPlgBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*, RECTL*,
                        POINTL*, ULONG) {
    return NotYet();
}
BOOL APIENTRY DrvAlphaBlend(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*) { return NotYet(); }
BOOL APIENTRY DrvGradientFill(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*, ULONG) {
    return NotYet();
}
BOOL APIENTRY DrvTransparentBlt(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG, ULONG) {
    return NotYet();
}
BOOL APIENTRY DrvPaint(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX) { return NotYet(); }
ULONG APIENTRY DrvGetGlyphMode(DHPDEV, FONTOBJ*) { return NotYet<ULONG>(0); }
BOOL APIENTRY DrvTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
    return NotYet();
}
BOOL APIENTRY DrvSendPage(SURFOBJ*) { return NotYet(); }
BOOL APIENTRY DrvStartPage(SURFOBJ*) { return NotYet(); }
BOOL APIENTRY DrvStartDoc(SURFOBJ*, LPWSTR, DWORD) { return NotYet(); }
BOOL APIENTRY DrvEndDoc(SURFOBJ*, FLONG) { return NotYet(); }
BOOL APIENTRY DrvStartBanding(SURFOBJ*, POINTL*) { return NotYet(); }
BOOL APIENTRY DrvNextBand(SURFOBJ*, POINTL*) { return NotYet(); }
ULONG APIENTRY DrvQueryPerBandInfo(SURFOBJ*, PERBANDINFO*) { return NotYet<ULONG>(0); }
ULONG APIENTRY DrvEscape(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID) { return NotYet<ULONG>(0); }
}

BOOL OpenNupTempFile(DriverPdev*) { return NotYet(); }
BOOL FlushNupSheet(DriverPdev*, int, BOOL* composed) {
    *composed = FALSE;
    return NotYet();
}
