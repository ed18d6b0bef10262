// The PDF of a multi-page job: temporary JPEG pages joined into one file. The text of the whole PDF
// is built in memory while pages are added, the JPEG bytes are copied unchanged when it is written.
#pragma once

#include <cstddef>
#include <optional>

#include "win/base.h"

// This writer's only error code of its own.
constexpr int PDF_ERROR = 1627;
constexpr int PDF_MAX_PAGES = 1000;

struct PdfPage;
struct PdfWriter;

// A writer for a job of the page size (pixels); NULL when memory runs out.
PdfWriter* PDF_New(int width, int height);
// Adds a JPEG page: its size and colour space come from the file's own frame header (width and height
// of the job are not used for the image). 0, or PDF_ERROR for no writer, a full writer, a resolution
// of 0 or a file that is no readable JPEG.
int PDF_AddJpeg(LPCWSTR jpegPath, PdfWriter* writer, int width, int height, int resolution, DWORD jpegLength);
// Composes the catalog, page tree, cross-reference table and trailer; `size` is the file's length.
int PDF_EndDocument(PdfWriter* writer, DWORD* size);
// Writes the file and frees the writer: 0, PDF_ERROR, or the system error of a file that cannot be
// created.
int PDF_ToFile(PdfWriter* writer, LPCWSTR path);

// The frame of a JPEG: its size in pixels and its number of components.
struct JpegFrame {
    int width = 0;
    int height = 0;
    int components = 0;
};
// Reads the first frame header of a JPEG's bytes; nothing when there is none.
std::optional<JpegFrame> ReadJpegFrame(const BYTE* bytes, size_t length);
