// The user-mode GDI: device contexts, bitmaps and DIB sections, brushes, fonts and text, drawing into
// the bitmap of a memory DC. Printer DCs made here are information contexts: their capabilities come
// from the printer's own driver, but drawing on them and print jobs belong to the printing front of
// the engine (platform/printing.h). Glyphs are one-bit pictures (no anti-aliasing), fonts are our
// FreeType faces under the Windows names (see platform/fonts.h). Left out everywhere: regions and clip
// regions, paths, pens and lines, palettes as objects, metafiles, ICM, DIB_PAL_COLORS, RLE bitmaps.
#pragma once

#include "win/base.h"
#include "win/spooler.h"
#include "win/winddi.h"

typedef void* HGDIOBJ;
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HBRUSH);
typedef DWORD COLORREF;
typedef DWORD* LPCOLORREF;
typedef LONG_PTR LPARAM;

#define RGB(r, g, b)                                                                          \
    (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | \
                           (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(c) (static_cast<BYTE>((c) & 0xff))
#define GetGValue(c) (static_cast<BYTE>(((c) >> 8) & 0xff))
#define GetBValue(c) (static_cast<BYTE>(((c) >> 16) & 0xff))
// A colour that names an entry of the DIB's colour table directly.
#define DIBINDEX(n) (static_cast<COLORREF>(0x10ff0000 | static_cast<WORD>(n)))
#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR (static_cast<int>(0xFFFFFFFF))
#define HGDI_ERROR (reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(-1)))

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;
struct SIZE {
    LONG cx;
    LONG cy;
};
typedef SIZE* LPSIZE;
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

// ---- Device contexts ---------------------------------------------------------------------------
// GetDeviceCaps indexes.
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMFONTS 22
#define NUMCOLORS 24
#define CURVECAPS 28
#define LINECAPS 30
#define POLYGONALCAPS 32
#define TEXTCAPS 34
#define CLIPCAPS 36
#define RASTERCAPS 38
#define ASPECTX 40
#define ASPECTY 42
#define ASPECTXY 44
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113
#define SCALINGFACTORX 114
#define SCALINGFACTORY 115
#define VREFRESH 116
#define DESKTOPVERTRES 117
#define DESKTOPHORZRES 118

#define DT_PLOTTER 0
#define DT_RASDISPLAY 1
#define DT_RASCAMERA 3
#define RC_BITBLT 0x0001
#define RC_BITMAP64 0x0008
#define RC_DI_BITMAP 0x0080
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

// Graphics modes, mapping modes and the world transform.
#define GM_COMPATIBLE 1
#define GM_ADVANCED 2
#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8
#define MWT_IDENTITY 1
#define MWT_LEFTMULTIPLY 2
#define MWT_RIGHTMULTIPLY 3

struct XFORM {
    FLOAT eM11;
    FLOAT eM12;
    FLOAT eM21;
    FLOAT eM22;
    FLOAT eDx;
    FLOAT eDy;
};
typedef XFORM* LPXFORM;

// A printer information context ("WINSPOOL" or NULL as the driver, the printer's name as the device):
// the printer is opened, its driver module found through GetPrinterW level 2 and loaded, and
// DrvEnableDriver / DrvEnablePDEV (with the DEVMODE given, else the printer's default) asked for its
// GDIINFO, after which the device is disabled and the module freed again; "DISPLAY" gives the 96-dpi
// screen. Leaves out: drawing on the DC and jobs (StartDoc) — those are the printing front's.
// Fault switch "CreateDCW".
WINBASEAPI HDC WINAPI CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* devmode);
// A memory DC with the stock 1 x 1 monochrome bitmap selected; its device (GetDeviceCaps) is that of
// the DC given, the 96-dpi screen for NULL. Fault switch "CreateCompatibleDC".
WINBASEAPI HDC WINAPI CreateCompatibleDC(HDC dc);
// Deletes a DC; its objects are deselected (fonts and brushes deleted while selected go with it).
WINBASEAPI BOOL WINAPI DeleteDC(HDC dc);
// A capability of the DC's device (the printer's GDIINFO, or the 96-dpi 32-bit screen of 1920 x 1080
// for memory and display DCs); 0 for an unknown index or handle.
WINBASEAPI int WINAPI GetDeviceCaps(HDC dc, int index);
// Pushes the DC's state (objects, colours, modes, transform, origins, extents); returns the new level
// (1, 2, ...), 0 on failure.
WINBASEAPI int WINAPI SaveDC(HDC dc);
// Restores the state of level `saved` (> 0), or the one |saved| levels back (< 0), dropping those
// above it. FALSE for a level that does not exist.
WINBASEAPI BOOL WINAPI RestoreDC(HDC dc, int saved);
// GM_ADVANCED allows a world transform; going back to GM_COMPATIBLE needs the identity. Returns the
// old mode, 0 on failure.
WINBASEAPI int WINAPI SetGraphicsMode(HDC dc, int mode);
WINBASEAPI int WINAPI GetGraphicsMode(HDC dc);
// World transform (GM_ADVANCED only). Text keeps to its font's own escapement: the transform scales
// glyphs by its magnitudes but does not rotate or shear them.
WINBASEAPI BOOL WINAPI SetWorldTransform(HDC dc, const XFORM* xform);
WINBASEAPI BOOL WINAPI GetWorldTransform(HDC dc, LPXFORM xform);
WINBASEAPI BOOL WINAPI ModifyWorldTransform(HDC dc, const XFORM* xform, DWORD mode);
// MM_TEXT, the metric and English modes, MM_ANISOTROPIC, and MM_ISOTROPIC (the smaller scale used on
// both axes when the transform is applied, rather than the extents being adjusted). Returns the old
// mode, 0 on failure.
WINBASEAPI int WINAPI SetMapMode(HDC dc, int mode);
WINBASEAPI int WINAPI GetMapMode(HDC dc);
WINBASEAPI BOOL WINAPI SetViewportOrgEx(HDC dc, int x, int y, LPPOINT old);
WINBASEAPI BOOL WINAPI GetViewportOrgEx(HDC dc, LPPOINT org);
WINBASEAPI BOOL WINAPI OffsetViewportOrgEx(HDC dc, int dx, int dy, LPPOINT old);
WINBASEAPI BOOL WINAPI SetWindowOrgEx(HDC dc, int x, int y, LPPOINT old);
WINBASEAPI BOOL WINAPI GetWindowOrgEx(HDC dc, LPPOINT org);
WINBASEAPI BOOL WINAPI OffsetWindowOrgEx(HDC dc, int dx, int dy, LPPOINT old);
// Extents count in MM_ISOTROPIC and MM_ANISOTROPIC only (FALSE for a zero extent).
WINBASEAPI BOOL WINAPI SetViewportExtEx(HDC dc, int x, int y, LPSIZE old);
WINBASEAPI BOOL WINAPI SetWindowExtEx(HDC dc, int x, int y, LPSIZE old);
// Device <-> logical points through the world transform and the mapping, rounded to the nearest unit.
WINBASEAPI BOOL WINAPI DPtoLP(HDC dc, LPPOINT points, int count);
WINBASEAPI BOOL WINAPI LPtoDP(HDC dc, LPPOINT points, int count);

// ---- Objects -----------------------------------------------------------------------------------
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

// Stock objects (pens and palettes are not modelled: NULL).
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17

// Bitmaps.
#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER is 14 bytes");

struct BITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
};
static_assert(sizeof(BITMAPCOREHEADER) == 12, "BITMAPCOREHEADER is 12 bytes");
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
typedef BITMAPINFOHEADER* PBITMAPINFOHEADER;
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
struct RGBTRIPLE {
    BYTE rgbtBlue;
    BYTE rgbtGreen;
    BYTE rgbtRed;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
typedef BITMAPINFO* LPBITMAPINFO;
struct BITMAPCOREINFO {
    BITMAPCOREHEADER bmciHeader;
    RGBTRIPLE bmciColors[1];
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};
static_assert(sizeof(BITMAP) == 32, "BITMAP is 32 bytes");
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};
static_assert(sizeof(DIBSECTION) == 104, "DIBSECTION is 104 bytes");

// A DIB section of 1, 4, 8, 16, 24 or 32 bits (BI_RGB, or BI_BITFIELDS for 16 and 32), top-down for a
// negative height, zero-filled, with its bits in process memory. The colour table is read only when
// biClrUsed says how many entries follow the header; without one ("header only") the table is the
// grey ramp (i -> RGB(i, i, i) for 8 bits, 16 and 2 evenly spaced greys for 4 and 1 bits). Leaves
// out file-mapping sections (hSection must be NULL) and DIB_PAL_COLORS. Fault switch
// "CreateDIBSection".
WINBASEAPI HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                           HANDLE section, DWORD offset);
// A device bitmap: 1 bit a pixel is the monochrome bitmap (0 black, 1 white; drawn onto colour with
// the target DC's text and background colours), other depths of 8, 16, 24 or 32 bits hold grey or
// true colour. Rows of `bits` are WORD aligned, as device bitmaps are. Fault switch "CreateBitmap".
WINBASEAPI HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// A bitmap in the format of the DC's selected bitmap (memory DCs: the stock one gives monochrome) or
// of the screen (32 bits); a zero size gives the stock 1 x 1 monochrome bitmap.
WINBASEAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height);
// A solid brush (hatched and pattern brushes are left out).
WINBASEAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color);
// Stock brushes and fonts (pens and palettes: NULL).
WINBASEAPI HGDIOBJ WINAPI GetStockObject(int object);
// Selects a bitmap (memory DCs only; a bitmap is in one DC at a time), font or brush and returns the
// one it replaces; NULL on failure.
WINBASEAPI HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// The object selected into the DC of the kind (OBJ_BITMAP, OBJ_FONT, OBJ_BRUSH).
WINBASEAPI HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT type);
// Deletes a bitmap, font or brush. A bitmap selected into a DC is refused; a font or brush selected
// into a DC is released when the DC lets go of it. Stock objects stay.
WINBASEAPI BOOL WINAPI DeleteObject(HGDIOBJ object);
// OBJ_* of a handle, 0 when it is none.
WINBASEAPI DWORD WINAPI GetObjectType(HGDIOBJ object);
// BITMAP (or DIBSECTION for a DIB section and a buffer that large), LOGFONTW of a font; returns the
// bytes written, or the size needed for a null buffer, 0 on failure.
WINBASEAPI int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer);

// ---- Drawing into a memory DC's bitmap ----------------------------------------------------------
// Raster operations (any of the 256 ternary ROPs works; these are the named ones).
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_DELETESCANS COLORONCOLOR

// Bit-block transfer between memory DCs (or a fill when the ROP needs no source), clipped to the
// target bitmap; differing sizes after mapping are stretched by nearest pixel. Pixels convert through
// colours (nearest table entry into an indexed target; monochrome bitmaps by the DCs' text and
// background colours). Leaves out: clip regions, the brush origin. Fault switch "BitBlt".
WINBASEAPI BOOL WINAPI BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                              DWORD rop);
// As BitBlt with a source rectangle of its own; negative extents mirror. Nearest-pixel sampling in
// every stretch mode (HALFTONE is not modelled).
WINBASEAPI BOOL WINAPI StretchBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX,
                                  int sourceY, int sourceWidth, int sourceHeight, DWORD rop);
// A ROP with the selected brush and the target only.
WINBASEAPI BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
// A ROP4 over a monochrome mask: where the mask bit is 1 the foreground ROP3 (bits 16-23 of `rop4`)
// applies, where it is 0 the background one (bits 24-31), as BitBlt moves pixels. No mask: the
// foreground ROP3 as BitBlt. A mask that is not a one-bit bitmap fails with ERROR_INVALID_PARAMETER.
// Fault switch "MaskBlt".
WINBASEAPI BOOL WINAPI MaskBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                               HBITMAP mask, int maskX, int maskY, DWORD rop4);
// A packed DIB (core or info header with its colour table; 1, 4, 8, 16, 24, 32 bits; bottom-up or
// top-down) stretched into the DC's bitmap by nearest pixel; the source rectangle counts rows from the
// picture's lower-left corner for a bottom-up DIB, from its upper-left for a top-down one, as Windows
// does. Returns the source rows used, GDI_ERROR for a bad header, usage, pointer or DC (and for a
// header whose biSizeImage is smaller than its rows); the caller must supply all the rows the header
// describes. Leaves out RLE, JPEG/PNG and DIB_PAL_COLORS. Fault switch "StretchDIBits".
WINBASEAPI int WINAPI StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                                    int sourceWidth, int sourceHeight, const void* bits, const BITMAPINFO* info,
                                    UINT usage, DWORD rop);
WINBASEAPI COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color);
WINBASEAPI COLORREF WINAPI GetPixel(HDC dc, int x, int y);
// Only kept and reported back: stretching is nearest-pixel in every mode.
WINBASEAPI int WINAPI SetStretchBltMode(HDC dc, int mode);
WINBASEAPI int WINAPI GetStretchBltMode(HDC dc);

// ---- Text --------------------------------------------------------------------------------------
#define TRANSPARENT 1
#define OPAQUE 2
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define TA_RTLREADING 256
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define ETO_GLYPH_INDEX 0x0010
#define ETO_PDY 0x2000

// The colour of text (matched to the target bitmap when drawing: the nearest entry of an indexed
// bitmap's colour table); returns the old one, CLR_INVALID on failure.
WINBASEAPI COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
WINBASEAPI COLORREF WINAPI GetTextColor(HDC dc);
WINBASEAPI COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);
WINBASEAPI COLORREF WINAPI GetBkColor(HDC dc);
// TRANSPARENT or OPAQUE (the text cell filled with the background colour); returns the old, 0 on failure.
WINBASEAPI int WINAPI SetBkMode(HDC dc, int mode);
WINBASEAPI int WINAPI GetBkMode(HDC dc);
// TA_LEFT / TA_RIGHT / TA_CENTER with TA_TOP / TA_BOTTOM / TA_BASELINE; TA_UPDATECP and TA_RTLREADING
// are kept but not acted on. Returns the old alignment, GDI_ERROR on failure.
WINBASEAPI UINT WINAPI SetTextAlign(HDC dc, UINT align);
WINBASEAPI UINT WINAPI GetTextAlign(HDC dc);

// Text in the selected font at the reference point, along the font's escapement (counter-clockwise,
// tenths of a degree, around the reference point; in GM_ADVANCED the glyphs turn by lfOrientation),
// with optional per-character advances; ETO_OPAQUE fills the rectangle with the background colour,
// ETO_CLIPPED clips the text to it. Characters the face lacks come from the CJK face. Leaves out
// ETO_GLYPH_INDEX, ETO_PDY, right-to-left layout, kerning and clip regions. FALSE on an information
// context. Fault switch "ExtTextOutW".
WINBASEAPI BOOL WINAPI ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                                   const INT* dx);
WINBASEAPI BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count);
// The unrotated size of the text: the sum of the characters' advances by the font's cell height.
// Fault switch "GetTextExtentPoint32W".
WINBASEAPI BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size);

#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define OEM_CHARSET 255
#define OUT_DEFAULT_PRECIS 0
#define OUT_STROKE_PRECIS 3
#define OUT_TT_PRECIS 4
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_STROKE_PRECIS 2
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04
#define TMPF_DEVICE 0x08
#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004
#define LF_FACESIZE 32
#define LF_FULLFACESIZE 64

struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};
static_assert(sizeof(TEXTMETRICW) == 60, "TEXTMETRICW is 60 bytes");
typedef TEXTMETRICW* LPTEXTMETRICW;
struct NEWTEXTMETRICW : TEXTMETRICW {
    DWORD ntmFlags;
    UINT ntmSizeEM;
    UINT ntmCellHeight;
    UINT ntmAvgWidth;
};
struct ENUMLOGFONTW {
    LOGFONTW elfLogFont;
    WCHAR elfFullName[LF_FULLFACESIZE];
    WCHAR elfStyle[LF_FACESIZE];
};
#define NTM_REGULAR 0x00000040
#define NTM_BOLD 0x00000020
#define NTM_ITALIC 0x00000001

// A logical font: negative lfHeight is the character (em) height, positive the cell height, 0 a
// default of 12 points, in logical units; lfWidth 0 keeps the face's own proportions, else the
// average character width; lfWeight from 600 takes the bold face (simulated when the family has
// none), lfItalic the oblique one; underline and strike-out are drawn as bars. An unknown face name
// gives the default face for the character set. Fails (ERROR_INVALID_PARAMETER) for a face name
// without its terminator within LF_FACESIZE or a height or width beyond 16384. Fault switch
// "CreateFontIndirectW".
WINBASEAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font);
WINBASEAPI HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight,
                                    DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                                    DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
                                    LPCWSTR face);
// Metrics of the selected font at the DC's resolution, in logical units.
WINBASEAPI BOOL WINAPI GetTextMetricsW(HDC dc, LPTEXTMETRICW metrics);
// The face name of the selected font as it was asked for; returns the characters copied (with the
// terminator), or the length needed for a null buffer.
WINBASEAPI int WINAPI GetTextFaceW(HDC dc, int count, LPWSTR face);

// The callback gets an ENUMLOGFONTW and a NEWTEXTMETRICW behind these pointers.
typedef int(CALLBACK* FONTENUMPROCW)(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType,
                                     LPARAM context);
// With a face name: each style of that family (regular, bold, italic, bold italic) under the name
// asked for; with NULL: one entry per family and Windows name we know. lfCharSet is the family's
// (ANSI_CHARSET for the Latin faces, GB2312_CHARSET for the Chinese, SHIFTJIS, HANGUL and CHINESEBIG5
// for the Japanese, Korean and traditional Chinese names). Stops when the callback returns 0; returns
// the callback's last answer, 1 when nothing was enumerated, 0 for a bad DC.
WINBASEAPI int WINAPI EnumFontFamiliesW(HDC dc, LPCWSTR family, FONTENUMPROCW proc, LPARAM context);

// Nothing is batched: returns TRUE.
WINBASEAPI BOOL WINAPI GdiFlush();

// ---- Metafiles -----------------------------------------------------------------------------------
// Metafiles as bytes held by a handle: Windows metafiles made from bits or copied to a file, enhanced
// metafiles as GDI+ hands them out. Left out: recording through a metafile DC, playing, enumerating.
DECLARE_HANDLE(HENHMETAFILE);
DECLARE_HANDLE(HMETAFILE);
#define OBJ_METAFILE 9
#define OBJ_ENHMETAFILE 13
// A memory metafile of the bits (a Windows metafile: its header is checked, the size must cover it).
WINBASEAPI HMETAFILE WINAPI SetMetaFileBitsEx(UINT size, const BYTE* bits);
// Writes the metafile's bits to a file on the machine and returns a metafile of that copy; with a
// NULL name a memory copy. NULL with the file's error when it cannot be written.
WINBASEAPI HMETAFILE WINAPI CopyMetaFileW(HMETAFILE metafile, LPCWSTR file);
WINBASEAPI BOOL WINAPI DeleteMetaFile(HMETAFILE metafile);
WINBASEAPI BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE metafile);
