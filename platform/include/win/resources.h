// Resources: strings, bitmaps and icons of a module. Only resource modules have resources here —
// language libraries that LoadLibraryW opened as resource files of our own format (see
// platform/resources.h); a dlopen'ed module or NULL (the program itself) has none. Resources are
// named by integer ids only (MAKEINTRESOURCEW); names given as strings are not modelled.
#pragma once

#include "win/base.h"
#include "win/gdi.h"

DECLARE_HANDLE(HICON);

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR 0x00000000
#define LR_MONOCHROME 0x00000001
#define LR_LOADFROMFILE 0x00000010
#define LR_DEFAULTSIZE 0x00000040
#define LR_CREATEDIBSECTION 0x00002000
#define LR_SHARED 0x00008000

#ifndef ERROR_RESOURCE_DATA_NOT_FOUND
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif

struct ICONINFO {
    BOOL fIcon;
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;
    HBITMAP hbmColor;
};
typedef ICONINFO* PICONINFO;

// A string of the module's string table. size > 0: copies at most size - 1 characters, terminates,
// returns the characters copied; size 0: stores a read-only pointer to the (unterminated) text
// through `buffer` and returns its length. 0 for a missing id (ERROR_RESOURCE_NAME_NOT_FOUND; a
// module without strings: ERROR_RESOURCE_TYPE_NOT_FOUND; no resource module:
// ERROR_RESOURCE_DATA_NOT_FOUND). Leaves out the program's own string table (module NULL).
WINBASEAPI int WINAPI LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, int size);
// A bitmap resource as a DIB section of the BMP's own depth and colour table (1, 4, 8, 16, 24 or 32
// bits; BI_RGB or BI_BITFIELDS), bottom-up or top-down as stored; delete it with DeleteObject.
// Leaves out conversion to the screen's format, the system's OEM bitmaps and RLE compression.
WINBASEAPI HBITMAP WINAPI LoadBitmapW(HINSTANCE module, LPCWSTR name);
// IMAGE_BITMAP or IMAGE_ICON from a resource module, or with LR_LOADFROMFILE from a BMP (or ICO)
// file on the machine (module ignored). Bitmaps: a DIB section as LoadBitmapW, stretched by nearest
// pixel when cx and cy ask for another size. Icons: the ICO image nearest cx x cy (0: 32 x 32), not
// stretched; LR_SHARED returns the module's shared icon. Leaves out cursors, PNG icon images,
// LR_MONOCHROME and the other colour flags (every bitmap is a DIB section).
WINBASEAPI HANDLE WINAPI LoadImageW(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
// The module's shared 32 x 32 icon for the id (the same handle each time; it goes with FreeLibrary,
// DestroyIcon leaves it). An icon is a colour DIB section and a one-bit mask underneath. Leaves out
// the system's icons (module NULL).
WINBASEAPI HICON WINAPI LoadIconW(HINSTANCE module, LPCWSTR name);
// New copies of the icon's bitmaps (colour, and mask: 1 transparent, 0 opaque), which the caller
// deletes; the hotspot is the centre.
WINBASEAPI BOOL WINAPI GetIconInfo(HICON icon, PICONINFO info);
// Destroys an icon made by LoadImageW without LR_SHARED; TRUE and nothing done for a shared one.
WINBASEAPI BOOL WINAPI DestroyIcon(HICON icon);
