// The PDF of a single page, written straight to a C run-time file with CR line ends: 8 and 24-bit
// pages embedded as JPEG, 1-bit pages as raw grey bits.
#pragma once

#include "win/com.h"

// Opens the file, adds the page, closes the file: 0, or -1 when nothing was written (no stream, the
// file could not be created, the page could not be added) or a write failed.
int SavePdfPage(IStream* stream, LPCWSTR path);
// Creates the file and writes the header and objects 1 to 5; the writer stays closed on failure.
void OpenPdf(LPCWSTR path);
// 0, or -1 when the page could not be loaded or converted (nothing is written then).
int AddPdfPage(IStream* stream);
// Writes the page tree, the cross-reference section and the trailer and closes the file; nothing
// when the writer is closed. False when a write or the close failed.
bool ClosePdf();
