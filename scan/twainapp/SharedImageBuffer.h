// The record that describes one scanned image to the image-encoding library: the pixels lie in a
// file-backed mapping, rows in the order the source delivered them from offset 0. The library
// includes this header too.
#pragma once

#include "win/base.h"

struct SharedImageBuffer {
    HANDLE hMapping;            // unnamed read-write mapping of the pixels
    const WCHAR* pszFileName;   // NUL-terminated path of the backing file
    DWORD dwSize;               // size of the mapping in bytes
    DWORD dwWidth;              // pixels
    DWORD dwHeight;             // rows
    DWORD dwBitsPerPixel;
    DWORD dwBytesPerRow;        // of the last strip received
    DWORD dwResolution;         // dots per inch, whole part of the X resolution
};
// Handle and address are pointer-sized: 32 bytes in a 32-bit build, 40 in a 64-bit one.
static_assert(sizeof(void*) != 4 || sizeof(SharedImageBuffer) == 32, "the 32-bit record is 32 bytes");
static_assert(sizeof(void*) != 8 || sizeof(SharedImageBuffer) == 40, "the 64-bit record is 40 bytes");

// A record over a new mapping of `size` bytes backed by the file `name`, or by a new "Img" file in
// the temporary folder when `name` is empty. NULL when the file or the mapping cannot be made.
SharedImageBuffer* CreateSharedImageBuffer(DWORD size, LPCWSTR name);
// A read-write view of `length` bytes at `offset`: answers the data address and sets *viewBase to
// what UnmapViewOfFile takes. NULL when the range passes the mapping or the view fails.
LPBYTE GetDataHandle(SharedImageBuffer* buffer, DWORD offset, DWORD length, LPVOID* viewBase);
// Closes the mapping, deletes the backing file and frees the record.
void ReleaseSharedImageBuffer(SharedImageBuffer* buffer);
