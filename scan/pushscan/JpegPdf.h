// The PDF of a multi-page job: temporary JPEG pages joined into one file. The text of the whole PDF
// is built in memory while pages are added, the JPEG bytes are copied unchanged when it is written.
#pragma once

#include <cstddef>
#include <cstdint>
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
// of 0, a file that is no readable JPEG, or a page that would end past the reach of the
// cross-reference table (PDF_MAX_OFFSET).
int PDF_AddJpeg(LPCWSTR jpegPath, PdfWriter* writer, int width, int height, int resolution, DWORD jpegLength);
// Composes the catalog, page tree, cross-reference table and trailer; `size` is the file's length.
int PDF_EndDocument(PdfWriter* writer, uint64_t* size);
// The largest file offset a cross-reference entry can hold: its ten digits. Offsets are counted in 64
// bits; a file whose objects would lie further is refused, never written with entries cut short.
constexpr uint64_t PDF_MAX_OFFSET = 9999999999ull;
constexpr size_t PDF_XREF_ENTRY_CHARS = 21;  // 20 characters and a NUL
// The entry of an object at `offset` ("0000000123 00000 n" and CR LF); false, with nothing written,
// past PDF_MAX_OFFSET.
bool FormatXrefEntry(uint64_t offset, char (&entry)[PDF_XREF_ENTRY_CHARS]);

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
