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

typedef LONG FIX;  // 28.4 fixed point
struct POINTFIX {
    FIX x;
    FIX y;
};
struct RECTFX {
    FIX xLeft;
    FIX yTop;
    FIX xRight;
    FIX yBottom;
};
typedef POINTFIX* PPOINTFIX;

// ---- Clip regions --------------------------------------------------------------------------------
#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3
#define FC_RECT 1
#define FC_RECT4 2
#define FC_COMPLEX 3
#define TC_RECTANGLES 0
#define TC_PATHOBJ 2
#define OC_BANK_CLIP 1
#define CT_RECTANGLES 0L
#define CD_RIGHTDOWN 0
#define CD_LEFTDOWN 1
#define CD_RIGHTUP 2
#define CD_LEFTUP 3
#define CD_ANY 4

struct CLIPOBJ {
    ULONG iUniq;
    RECTL rclBounds;
    BYTE iDComplexity;
    BYTE iFComplexity;
    BYTE iMode;
    BYTE fjOptions;
};
struct ENUMRECTS {
    ULONG c;
    RECTL arcl[1];
};
// A clip of the engine: a set of non-overlapping rectangles (DC_COMPLEX), one rectangle (DC_RECT)
// or the whole surface (DC_TRIVIAL). Enumeration hands out the rectangles in the order asked for.
WINBASEAPI CLIPOBJ* APIENTRY EngCreateClip();
WINBASEAPI void APIENTRY EngDeleteClip(CLIPOBJ* clip);
WINBASEAPI ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* clip, BOOL all, ULONG type, ULONG direction, ULONG limit);
WINBASEAPI BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* clip, ULONG size, ULONG* rects);

// ---- Brushes -------------------------------------------------------------------------------------
#define BR_DEVICE_ICM 0x01
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5
#define HS_DDI_MAX 6

struct BRUSHOBJ {
    ULONG iSolidColor;  // 0xFFFFFFFF for a pattern brush
    PVOID pvRbrush;     // the driver's realisation, when made
    FLONG flColorType;
};
// Memory for the driver's realisation of a brush, freed with the brush.
WINBASEAPI PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* brush, ULONG size);
// The realisation, asking the driver's DrvRealizeBrush for it when there is none yet.
WINBASEAPI PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* brush);

// ---- Colour translation ---------------------------------------------------------------------------
#define XO_TRIVIAL 0x00000001
#define XO_TABLE 0x00000002
#define XO_TO_MONO 0x00000004
#define XO_SRCPALETTE 1
#define XO_DESTPALETTE 2

struct XLATEOBJ {
    ULONG iUniq;
    FLONG flXlate;
    USHORT iSrcType;
    USHORT iDstType;
    ULONG cEntries;
    ULONG* pulXlate;
};
// A source colour index (or RGB for a true-colour source) to the destination's index.
WINBASEAPI ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ* xlate, ULONG color);
// The source (or destination) palette's RGB colours; returns how many were copied, or the count
// when colors is null.
WINBASEAPI ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ* xlate, ULONG which, ULONG count, ULONG* colors);

// ---- Paths ---------------------------------------------------------------------------------------
#define PO_BEZIERS 0x00000001
#define PO_ELLIPSE 0x00000002
#define PD_BEGINSUBPATH 0x00000001
#define PD_ENDSUBPATH 0x00000002
#define PD_RESETSTYLE 0x00000004
#define PD_CLOSEFIGURE 0x00000008
#define PD_BEZIERS 0x00000010
#define FP_ALTERNATEMODE 1
#define FP_WINDINGMODE 2

struct PATHOBJ {
    FLONG fl;
    ULONG cCurves;
};
struct PATHDATA {
    FLONG flags;
    ULONG count;
    POINTFIX* pptfx;
};
WINBASEAPI PATHOBJ* APIENTRY EngCreatePath();
WINBASEAPI void APIENTRY EngDeletePath(PATHOBJ* path);
WINBASEAPI BOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ* path, POINTFIX point);
WINBASEAPI BOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ* path, POINTFIX* points, ULONG count);
WINBASEAPI BOOL APIENTRY PATHOBJ_bPolyBezierTo(PATHOBJ* path, POINTFIX* points, ULONG count);
WINBASEAPI BOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ* path);
WINBASEAPI void APIENTRY PATHOBJ_vGetBounds(PATHOBJ* path, RECTFX* bounds);
WINBASEAPI void APIENTRY PATHOBJ_vEnumStart(PATHOBJ* path);
// One record a call: a subpath, or the part of one that is all lines or all Béziers (a record that
// does not begin its subpath continues from the previous record's last point); FALSE with the last.
WINBASEAPI BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ* path, PATHDATA* data);

// ---- Lines ---------------------------------------------------------------------------------------
#define LA_GEOMETRIC 0x00000001
#define LA_ALTERNATE 0x00000002
#define LA_STARTGAP 0x00000004
#define LA_STYLED 0x00000008
#define JOIN_ROUND 0
#define JOIN_BEVEL 1
#define JOIN_MITER 2
#define ENDCAP_ROUND 0
#define ENDCAP_SQUARE 1
#define ENDCAP_BUTT 2

typedef FLOAT FLOATL;
union FLOAT_LONG {
    FLOATL e;
    LONG l;
};
struct LINEATTRS {
    FLONG fl;
    ULONG iJoin;
    ULONG iEndCap;
    FLOAT_LONG elWidth;
    FLOATL eMiterLimit;
    ULONG cstyle;
    FLOAT_LONG* pstyle;
    FLOAT_LONG elStyleState;
};
struct XFORMOBJ;

// ---- Text ----------------------------------------------------------------------------------------
#define FO_TYPE_RASTER 0x00000001
#define FO_TYPE_DEVICE 0x00000002
#define FO_TYPE_TRUETYPE 0x00000004
#define FO_SIM_BOLD 0x00002000
#define FO_SIM_ITALIC 0x00004000
#define FO_GRAY16 0x00010000
#define FO_GLYPHBITS 1
#define FO_PATHOBJ 2
#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001
#define SO_HORIZONTAL 0x00000002
#define SO_VERTICAL 0x00000004
#define SO_REVERSED 0x00000008
#define SO_ZERO_BEARINGS 0x00000010
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040
#define DCR_SOLID 0
#define DCR_DRIVER 1
#define DCR_HALFTONE 2

typedef ULONG HGLYPH;
struct FONTOBJ {
    ULONG iUniq;
    ULONG iFace;
    ULONG cxMax;
    FLONG flFontType;
    ULONG_PTR iTTUniq;
    ULONG_PTR iFile;
    SIZEL sizLogResPpi;
    ULONG ulStyleSize;
    PVOID pvConsumer;
    PVOID pvProducer;
};
// A glyph's one-bit picture: rows of (width + 7) / 8 bytes, most significant bit first, 1 = ink;
// ptlOrigin is the offset of its top-left corner from the glyph's position.
struct GLYPHBITS {
    POINTL ptlOrigin;
    SIZEL sizlBitmap;
    BYTE aj[1];
};
union GLYPHDEF {
    GLYPHBITS* pgb;
    PATHOBJ* ppo;
};
struct GLYPHPOS {
    HGLYPH hg;
    GLYPHDEF* pgdf;
    POINTL ptl;
};
struct STROBJ {
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;
    RECTL rclBkGround;
    GLYPHPOS* pgp;
    LPWSTR pwszOrg;
};
WINBASEAPI void APIENTRY STROBJ_vEnumStart(STROBJ* text);
// The glyph positions, all in one batch; FALSE when they are the last.
WINBASEAPI BOOL APIENTRY STROBJ_bEnum(STROBJ* text, ULONG* count, GLYPHPOS** glyphs);

struct COLORADJUSTMENT;
struct BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
};
struct BLENDOBJ {
    BLENDFUNCTION BlendFunction;
};
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01
typedef USHORT COLOR16;
struct TRIVERTEX {
    LONG x;
    LONG y;
    COLOR16 Red;
    COLOR16 Green;
    COLOR16 Blue;
    COLOR16 Alpha;
};
struct GRADIENT_RECT {
    ULONG UpperLeft;
    ULONG LowerRight;
};
struct GRADIENT_TRIANGLE {
    ULONG Vertex1;
    ULONG Vertex2;
    ULONG Vertex3;
};
#define GRADIENT_FILL_RECT_H 0x00000000
#define GRADIENT_FILL_RECT_V 0x00000001
#define GRADIENT_FILL_TRIANGLE 0x00000002

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

// ---- Surfaces ------------------------------------------------------------------------------------
// An engine bitmap (1, 8, 24 or 32 bits a pixel) over the caller's bits, or zeroed bits of its own
// when bits is null; width is the row length in bytes (its sign ignored; for bits of its own, a
// shorter one is rounded up to whole 32-bit words). Rows run top-down with BMF_TOPDOWN, else
// bottom-up (pvScan0 the last row of the buffer, lDelta negative). Fault switch "EngCreateBitmap".
WINBASEAPI HBITMAP APIENTRY EngCreateBitmap(SIZEL size, LONG width, ULONG format, FLONG flags, PVOID bits);
// A surface the driver manages (STYPE_DEVICE, no bits); drawing on it goes to the driver's hooked
// calls, else to the engine. Fault switch "EngCreateDeviceSurface".
WINBASEAPI HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL size, ULONG format);
// Ties a surface to a device (its SURFOBJ then carries hdev and the device's DHPDEV) with hooks.
WINBASEAPI BOOL APIENTRY EngAssociateSurface(HSURF surface, HDEV hdev, FLONG hooks);
WINBASEAPI BOOL APIENTRY EngMarkBandingSurface(HSURF surface);
// The surface's SURFOBJ, the same one for every lock; each lock wants its EngUnlockSurface.
WINBASEAPI SURFOBJ* APIENTRY EngLockSurface(HSURF surface);
WINBASEAPI void APIENTRY EngUnlockSurface(SURFOBJ* surface);
// A surface deleted while locked goes with its last unlock; the caller's bits stay the caller's.
WINBASEAPI BOOL APIENTRY EngDeleteSurface(HSURF surface);

// ---- Drawing on engine bitmaps ---------------------------------------------------------------------
// Mix modes (low byte: foreground ROP2 R2_*, next byte: background ROP2).
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4

// The engine draws into 8-bit grey bitmaps (BMF_8BPP, 0 black .. 255 white); each call clips to
// the clip object and the surface, and fails with ERROR_INVALID_PARAMETER for a missing object it
// needs or a target of another format. Sources may have 1, 8, 24 or 32 bits a pixel and are read
// through the translation (a null one: 8 bits as they are, 1 bit 0 black and 1 white, true colour
// as the grey of its B, G, R bytes). Pattern brushes are the engine's own (createPatternBrush).

// Any ROP4 bit by bit (low byte where the mask bit is 1 or there is no mask, high byte where it is
// 0); overlapping source and target are read before they are written.
WINBASEAPI BOOL APIENTRY EngBitBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                   RECTL* targetRect, POINTL* sourcePoint, POINTL* maskPoint, BRUSHOBJ* brush,
                                   POINTL* brushOrigin, ROP4 rop4);
// SRCCOPY; into a 1, 24 or 32-bit target it writes grey (1 bit: white from 128 up).
WINBASEAPI BOOL APIENTRY EngCopyBits(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                     RECTL* targetRect, POINTL* sourcePoint);
// Nearest pixel (HALFTONE: area average); an inverted rectangle mirrors; the mask is over the source.
WINBASEAPI BOOL APIENTRY EngStretchBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip,
                                       XLATEOBJ* xlate, COLORADJUSTMENT* adjust, POINTL* halftoneOrigin,
                                       RECTL* targetRect, RECTL* sourceRect, POINTL* maskPoint, ULONG mode);
// points: where the source's top-left, top-right and bottom-left corners go (28.4); nearest pixel.
WINBASEAPI BOOL APIENTRY EngPlgBlt(SURFOBJ* target, SURFOBJ* source, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate,
                                   COLORADJUSTMENT* adjust, POINTL* brushOrigin, POINTFIX* points, RECTL* sourceRect,
                                   POINTL* maskPoint, ULONG mode);
// AC_SRC_OVER with constant alpha, and premultiplied per-pixel alpha of a 32-bit source.
WINBASEAPI BOOL APIENTRY EngAlphaBlend(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                       RECTL* targetRect, RECTL* sourceRect, BLENDOBJ* blend);
// Rectangles (GRADIENT_FILL_RECT_H / _V) and triangles shaded in grey; no dithering.
WINBASEAPI BOOL APIENTRY EngGradientFill(SURFOBJ* target, CLIPOBJ* clip, XLATEOBJ* xlate, TRIVERTEX* vertices,
                                         ULONG vertexCount, PVOID mesh, ULONG meshCount, RECTL* bounds,
                                         POINTL* ditherOrigin, ULONG mode);
// Nearest-pixel copy leaving the target where the stored source pixel is the transparent colour.
WINBASEAPI BOOL APIENTRY EngTransparentBlt(SURFOBJ* target, SURFOBJ* source, CLIPOBJ* clip, XLATEOBJ* xlate,
                                           RECTL* targetRect, RECTL* sourceRect, ULONG transparentColor,
                                           ULONG reserved);
// The clip region (null: the whole surface) in the brush under the mix's foreground ROP2.
WINBASEAPI BOOL APIENTRY EngPaint(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* brushOrigin, MIX mix);
// Pixels whose centres (whole coordinates) lie inside, by FP_ALTERNATEMODE or FP_WINDINGMODE, a
// centre on a left or top edge counting as inside; Béziers flattened.
WINBASEAPI BOOL APIENTRY EngFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, BRUSHOBJ* brush,
                                     POINTL* brushOrigin, MIX mix, FLONG options);
// Cosmetic lines as EngLineTo segment by segment (closed figures: every edge); LA_GEOMETRIC lines as
// polygons of their width in pixels (no world transform); styles as dashes.
WINBASEAPI BOOL APIENTRY EngStrokePath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                       BRUSHOBJ* brush, POINTL* brushOrigin, LINEATTRS* line, MIX mix);
// EngFillPath with the fill brush, then EngStrokePath with the stroke brush, both under mixFill.
WINBASEAPI BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* surface, PATHOBJ* path, CLIPOBJ* clip, XFORMOBJ* xform,
                                              BRUSHOBJ* stroke, LINEATTRS* line, BRUSHOBJ* fill,
                                              POINTL* brushOrigin, MIX mixFill, FLONG options);
// A one-pixel line without its last pixel; ties between two pixels go to the smaller coordinate.
WINBASEAPI BOOL APIENTRY EngLineTo(SURFOBJ* surface, CLIPOBJ* clip, BRUSHOBJ* brush, LONG x1, LONG y1, LONG x2,
                                   LONG y2, RECTL* bounds, MIX mix);
// The opaque rectangle in the opaque brush, then the glyphs' 1-bit ink and the extra rectangles (a
// list ended by an all-zero one) in the foreground brush; 4-bit and path glyphs are left out.
WINBASEAPI BOOL APIENTRY EngTextOut(SURFOBJ* surface, STROBJ* text, FONTOBJ* font, CLIPOBJ* clip, RECTL* extra,
                                    RECTL* opaque, BRUSHOBJ* foreground, BRUSHOBJ* opaqueBrush, POINTL* origin,
                                    MIX mix);
