// The graphics engine's printer driver interface: the records a driver hands the engine, the DDI
// function indexes and hook flags, and the engine services ("Eng*") that the layer implements.
// Structures are our own declarations with the sizes the engine expects of them on x64.
#pragma once

#include "win/base.h"
#include "win/spooler.h"

DECLARE_HANDLE(HSURF);
DECLARE_HANDLE(DHSURF);
DECLARE_HANDLE(DHPDEV);
DECLARE_HANDLE(HDEV);
DECLARE_HANDLE(HBM);
typedef HBM HBITMAP_DDI;

typedef LONG_PTR (*PFN)();
typedef ULONG MIX;
typedef ULONG ROP4;

// ---- Driver enabling ---------------------------------------------------------------------------
struct DRVFN {
    ULONG iFunc;
    PFN pfn;
};
typedef DRVFN* PDRVFN;
static_assert(sizeof(DRVFN) == 16, "DRVFN is 16 bytes");

struct DRVENABLEDATA {
    ULONG iDriverVersion;
    ULONG c;
    DRVFN* pdrvfn;
};
typedef DRVENABLEDATA* PDRVENABLEDATA;
static_assert(sizeof(DRVENABLEDATA) == 16, "DRVENABLEDATA is 16 bytes");

#define DDI_DRIVER_VERSION_NT4 0x00020000
#define DDI_DRIVER_VERSION_NT5 0x00030000
#define DDI_DRIVER_VERSION_NT5_01 0x00030100
#define DRVQUERY_USERMODE 1

// DDI function indexes.
#define INDEX_DrvEnablePDEV 0L
#define INDEX_DrvCompletePDEV 1L
#define INDEX_DrvDisablePDEV 2L
#define INDEX_DrvEnableSurface 3L
#define INDEX_DrvDisableSurface 4L
#define INDEX_DrvResetPDEV 7L
#define INDEX_DrvDisableDriver 8L
#define INDEX_DrvRealizeBrush 12L
#define INDEX_DrvDitherColor 13L
#define INDEX_DrvStrokePath 14L
#define INDEX_DrvFillPath 15L
#define INDEX_DrvStrokeAndFillPath 16L
#define INDEX_DrvPaint 17L
#define INDEX_DrvBitBlt 18L
#define INDEX_DrvCopyBits 19L
#define INDEX_DrvStretchBlt 20L
#define INDEX_DrvTextOut 23L
#define INDEX_DrvEscape 24L
#define INDEX_DrvLineTo 31L
#define INDEX_DrvSendPage 32L
#define INDEX_DrvStartPage 33L
#define INDEX_DrvEndDoc 34L
#define INDEX_DrvStartDoc 35L
#define INDEX_DrvGetGlyphMode 37L
#define INDEX_DrvStartBanding 57L
#define INDEX_DrvNextBand 58L
#define INDEX_DrvGradientFill 68L
#define INDEX_DrvPlgBlt 70L
#define INDEX_DrvAlphaBlend 71L
#define INDEX_DrvTransparentBlt 74L
#define INDEX_DrvQueryPerBandInfo 75L

// Surface hooks (EngAssociateSurface).
#define HOOK_BITBLT 0x00000001
#define HOOK_STRETCHBLT 0x00000002
#define HOOK_PLGBLT 0x00000004
#define HOOK_TEXTOUT 0x00000008
#define HOOK_PAINT 0x00000010
#define HOOK_STROKEPATH 0x00000020
#define HOOK_FILLPATH 0x00000040
#define HOOK_STROKEANDFILLPATH 0x00000080
#define HOOK_LINETO 0x00000100
#define HOOK_COPYBITS 0x00000400
#define HOOK_TRANSPARENTBLT 0x00008000
#define HOOK_ALPHABLEND 0x00010000
#define HOOK_GRADIENTFILL 0x00020000

// ---- Device capabilities -----------------------------------------------------------------------
struct CIECHROMA {
    LONG x;
    LONG y;
    LONG Y;
};
struct COLORINFO {
    CIECHROMA Red, Green, Blue, Cyan, Magenta, Yellow, AlignmentWhite;
    LONG RedGamma, GreenGamma, BlueGamma;
    LONG MagentaInCyanDye, YellowInCyanDye, CyanInMagentaDye;
    LONG YellowInMagentaDye, CyanInYellowDye, MagentaInYellowDye;
};

struct GDIINFO {
    ULONG ulVersion;
    ULONG ulTechnology;
    ULONG ulHorzSize;
    ULONG ulVertSize;
    ULONG ulHorzRes;
    ULONG ulVertRes;
    ULONG cBitsPixel;
    ULONG cPlanes;
    ULONG ulNumColors;
    ULONG flRaster;
    ULONG ulLogPixelsX;
    ULONG ulLogPixelsY;
    ULONG flTextCaps;
    ULONG ulDACRed;
    ULONG ulDACGreen;
    ULONG ulDACBlue;
    ULONG ulAspectX;
    ULONG ulAspectY;
    ULONG ulAspectXY;
    LONG xStyleStep;
    LONG yStyleStep;
    LONG denStyleStep;
    POINTL ptlPhysOffset;
    SIZEL szlPhysSize;
    ULONG ulNumPalReg;
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI;
    ULONG ulPrimaryOrder;
    ULONG ulHTPatternSize;
    ULONG ulHTOutputFormat;
    ULONG flHTFlags;
    ULONG ulVRefresh;
    ULONG ulBltAlignment;
    ULONG ulPanningHorzRes;
    ULONG ulPanningVertRes;
    ULONG xPanningAlignment;
    ULONG yPanningAlignment;
    ULONG cxHTPat;
    ULONG cyHTPat;
    LPBYTE pHTPatA;
    LPBYTE pHTPatB;
    LPBYTE pHTPatC;
    ULONG flShadeBlend;
    ULONG ulPhysicalPixelCharacteristics;
    ULONG ulPhysicalPixelGamma;
};
static_assert(sizeof(GDIINFO) == 320, "GDIINFO is 320 bytes");

#define GDIINFO_VERSION_NT5 0x500
#define DT_RASPRINTER 2
#define HT_FORMAT_8BPP 4

struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[32];
};
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW is 92 bytes");

struct DEVINFO {
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont;
    LOGFONTW lfAnsiVarFont;
    LOGFONTW lfAnsiFixFont;
    ULONG cFonts;
    ULONG iDitherFormat;
    USHORT cxDither;
    USHORT cyDither;
    HPALETTE hpalDefault;
    FLONG flGraphicsCaps2;
};
static_assert(sizeof(DEVINFO) == 312, "DEVINFO is 312 bytes");

// ---- Surfaces ----------------------------------------------------------------------------------
#define BMF_1BPP 1
#define BMF_4BPP 2
#define BMF_8BPP 3
#define BMF_16BPP 4
#define BMF_24BPP 5
#define BMF_32BPP 6
#define BMF_TOPDOWN 0x0001

#define STYPE_BITMAP 0
#define STYPE_DEVICE 1
#define STYPE_DEVBITMAP 3

struct SURFOBJ {
    DHSURF dhsurf;
    HSURF hsurf;
    DHPDEV dhpdev;
    HDEV hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;
    PVOID pvBits;
    PVOID pvScan0;
    LONG lDelta;
    ULONG iUniq;
    ULONG iBitmapFormat;
    USHORT iType;
    USHORT fjBitmap;
};

// Objects of the drawing calls; their members come with the engine's drawing routines.
struct CLIPOBJ;
struct BRUSHOBJ;
struct XLATEOBJ;
struct PATHOBJ;
struct STROBJ;
struct FONTOBJ;
struct XFORMOBJ;
struct LINEATTRS;
struct COLORADJUSTMENT;
struct BLENDOBJ;
struct TRIVERTEX;
struct POINTFIX {
    LONG x;
    LONG y;
};

struct PERBANDINFO {
    BOOL bRepeatThisBand;
    SIZEL szlBand;
    ULONG ulHorizRes;
    ULONG ulVertRes;
};

// ---- Palettes ----------------------------------------------------------------------------------
#define PAL_INDEXED 0x00000001
#define PAL_BITFIELDS 0x00000002
#define PAL_RGB 0x00000004
#define PAL_BGR 0x00000008

// A palette object of the engine, holding a copy of the colours (0x00BBGGRR for PAL_INDEXED).
// Fault switch "EngCreatePalette" makes creation fail.
WINBASEAPI HPALETTE APIENTRY EngCreatePalette(ULONG mode, ULONG colors, ULONG* ulColors, FLONG red, FLONG green,
                                              FLONG blue);
WINBASEAPI BOOL APIENTRY EngDeletePalette(HPALETTE palette);

// Whether the job of the surface's device was cancelled. The machine cancels a job when asked to
// (fault switch "EngCheckAbort" answers TRUE for as many calls as it is set for).
WINBASEAPI BOOL APIENTRY EngCheckAbort(SURFOBJ* surface);
