// Raster operations on the 8-bit grey page and the halftone screen that turns it into the
// printer's 1-bit (600 dpi) or 2-bit (1200 dpi) raster.
//
// Page images are one byte a pixel (0 black, 255 white), rows top-down, no row padding.
// The BOOL operations return TRUE on success and FALSE, leaving every buffer as it was, for a
// null pointer, a size <= 0, an absurd size (more than kMaxRasterBytes bytes) or a failed
// allocation; on FALSE the thread's last error is ERROR_INVALID_PARAMETER or
// ERROR_NOT_ENOUGH_MEMORY.
#pragma once

#include "win/base.h"

// Largest image (in bytes) any operation accepts; larger requests are refused, never wrapped.
inline constexpr ULONGLONG kMaxRasterBytes = ULONGLONG(1) << 36;

// Border style understood by DrawPageBorder.
inline constexpr LONG kBorderSolid = 1;

// Turns the w x h image by 90 degrees in place (through one temporary copy from the process heap).
// Output row i is source column i, read from the bottom row up when clockwise is non-zero; when
// clockwise is zero it is source column w - 1 - i read from the top down. The result is h wide
// and w high; the caller swaps w and h.
BOOL Rotate90(BYTE* image, LONG w, LONG h, BOOL clockwise);

// Reverses the order of all w x h bytes, in place. Needs no temporary copy.
BOOL Rotate180(BYTE* image, LONG w, LONG h);

// Reverses each row of the w x h image, in place. Needs no temporary copy.
BOOL MirrorRows(BYTE* image, LONG w, LONG h);

// Every byte v becomes 255 - v. A count of 0 fails.
BOOL InvertBytes(BYTE* image, DWORD count);

// Fills target (w x frameHeight) with 255 and copies the w x h source in whole at row
// (frameHeight - h) / 2. Fails when frameHeight < h or when the two buffers overlap.
BOOL CenterRowsInFrame(const BYTE* src, LONG w, LONG h, BYTE* target, LONG frameHeight);

// Fills target (frameWidth x h) with 255 and places each source row at column
// (frameWidth - w) / 2. Fails when frameWidth < w or when the two buffers overlap.
BOOL CenterColumnsInFrame(const BYTE* src, LONG w, LONG h, BYTE* target, LONG frameWidth);

// Bytes in one row of a bitmap: format 1 (one bit a pixel) (width + 7) / 8, format 5 (24 bits a
// pixel) width * 3, any other format width. 0 for a width <= 0 or a result beyond a LONG.
LONG BytesPerRow(LONG width, ULONG bitmapFormat);

// Draws a frame of thickness t (1..50) lying margin n (1..100) pixels inside the edge of the
// w x h image, in the given byte value. Only kBorderSolid is drawn; any other style, margin or
// thickness fails and leaves the image as it was. Parts of the frame outside a small image are
// clipped.
BOOL DrawPageBorder(BYTE* image, LONG w, LONG h, LONG margin, LONG thickness, LONG style,
                    BYTE value);

// Screens the w x h page into out, one pass, no allocation. dpi 1200 gives 2 bits a pixel (four
// pixels a byte, the first in bits 7-6; w / 4 bytes a row), any other dpi 1 bit a pixel (eight a
// byte, the first in bit 7; w / 8 bytes a row). Level 3 / bit 1 is full toner. w is normally a
// multiple of 32; for other widths the pixels are packed in row order without padding and a last
// partial byte of the page is not written. Always returns 0; with a null buffer, a size <= 0 or
// an absurd size nothing is written and the last error is ERROR_INVALID_PARAMETER.
int HalftonePage(const BYTE* image, LONG w, LONG h, BYTE* out, LONG dpi);

// Threshold matrix of the page screen, T[row][column]; the pixel at (x, y) uses T[y % 16][x % 16].
extern const BYTE kThresholdMatrix[16][16];
// Threshold matrix of brush cells.
extern const BYTE kBrushScreenMatrix[16][16];
// 2-bit level of the 1200-dpi screen by screened value.
extern const BYTE kLevelTable[256];

// Fills cell (32 x 32 pixels, one bit a pixel, 4 bytes a row, most significant bit first) with the
// brush screen of grey: a pixel is 0 (toner) where grey < kBrushScreenMatrix[r % 16][c % 16] and
// 1 (white) elsewhere. A null cell is ignored.
void BuildBrushScreenCell(BYTE grey, BYTE cell[128]);
