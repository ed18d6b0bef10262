// The DDI functions of the driver, as the engine calls them through the function table.
#pragma once

#include "win/winddi.h"

extern "C" {
DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* devmode, LPWSTR logAddress, ULONG patternCount, HSURF* patterns,
                              ULONG gdiInfoSize, ULONG* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo, HDEV hdev,
                              LPWSTR deviceName, HANDLE printer);
void APIENTRY DrvCompletePDEV(DHPDEV pdev, HDEV hdev);
void APIENTRY DrvDisablePDEV(DHPDEV pdev);
BOOL APIENTRY DrvResetPDEV(DHPDEV oldPdev, DHPDEV newPdev);
HSURF APIENTRY DrvEnableSurface(DHPDEV pdev);
void APIENTRY DrvDisableSurface(DHPDEV pdev);
BOOL APIENTRY DrvLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL* bounds, MIX mix);
BOOL APIENTRY DrvStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform, BRUSHOBJ* brush,
                            POINTL* brushOrigin, LINEATTRS* line, MIX mix);
BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                   BRUSHOBJ* stroke, LINEATTRS* line, BRUSHOBJ* fill, POINTL* brushOrigin,
                                   MIX mixFill, FLONG options);
BOOL APIENTRY DrvFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin,
                          MIX mix, FLONG options);
BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ* brush, SURFOBJ* target, SURFOBJ* pattern, SURFOBJ* mask, XLATEOBJ* xlate,
                              ULONG hatch);
ULONG APIENTRY DrvDitherColor(DHPDEV pdev, ULONG mode, ULONG rgb, ULONG* dither);
BOOL APIENTRY DrvBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                        POINTL* brushOrigin, ROP4 rop4);
BOOL APIENTRY DrvStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                            COLORADJUSTMENT* adjust, POINTL* halftoneOrigin, RECTL* targetRect, RECTL* sourceRect,
                            POINTL* maskPoint, ULONG mode);
BOOL APIENTRY DrvCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                          POINTL* sourcePoint);
BOOL APIENTRY DrvPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                        COLORADJUSTMENT* adjust, POINTL* brushOrigin, POINTFIX* points, RECTL* sourceRect,
                        POINTL* maskPoint, ULONG mode);
BOOL APIENTRY DrvAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                            RECTL* sourceRect, BLENDOBJ* blend);
BOOL APIENTRY DrvGradientFill(SURFOBJ* target, CLIPOBJ* clip, XLATEOBJ* xlate, TRIVERTEX* vertices, ULONG vertexCount,
                              PVOID mesh, ULONG meshCount, RECTL* bounds, POINTL* ditherOrigin, ULONG mode);
BOOL APIENTRY DrvTransparentBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* targetRect,
                                RECTL* sourceRect, ULONG transparentColor, ULONG reserved);
BOOL APIENTRY DrvPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix);
ULONG APIENTRY DrvGetGlyphMode(DHPDEV pdev, FONTOBJ* font);
BOOL APIENTRY DrvTextOut(SURFOBJ* surface, STROBJ* text, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* origin, MIX mix);
BOOL APIENTRY DrvSendPage(SURFOBJ* surface);
BOOL APIENTRY DrvStartPage(SURFOBJ* surface);
BOOL APIENTRY DrvStartDoc(SURFOBJ* surface, LPWSTR docName, DWORD jobId);
BOOL APIENTRY DrvEndDoc(SURFOBJ* surface, FLONG flags);
BOOL APIENTRY DrvStartBanding(SURFOBJ* surface, POINTL* origin);
BOOL APIENTRY DrvNextBand(SURFOBJ* surface, POINTL* origin);
ULONG APIENTRY DrvQueryPerBandInfo(SURFOBJ* surface, PERBANDINFO* info);
ULONG APIENTRY DrvEscape(SURFOBJ* surface, ULONG escape, ULONG inSize, PVOID in, ULONG outSize, PVOID out);

// Exports of the module.
#define DRIVER_EXPORT __attribute__((visibility("default")))
BOOL WINAPI DllEntryPoint(HINSTANCE module, DWORD reason, LPVOID reserved);
BOOL APIENTRY DrvEnableDriver(ULONG engineVersion, ULONG size, DRVENABLEDATA* data);
void APIENTRY DrvDisableDriver();
BOOL APIENTRY DrvQueryDriverInfo(DWORD query, PVOID buffer, DWORD size, PDWORD needed);
}
