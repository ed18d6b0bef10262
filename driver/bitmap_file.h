// The check of a BMP file that the driver takes a watermark picture from; a function over the
// file's bytes, shared with the tools that hand the driver such a file.
#pragma once

#include <cstddef>

#include "win/base.h"

// Checks a BMP file whole before any of it is used: its size field, header, depth, compression,
// colour table and pixel rows must all lie inside the file. Returns null for a sound file (with the
// picture's width and height), else a short reason.
const char* CheckBitmapFile(const BYTE* file, size_t size, LONG* width, LONG* height);
