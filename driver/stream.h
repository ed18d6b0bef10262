// The printer job stream: the output sink with its spool files and replay, the chunk writer, and
// the JBIG page encoding.
#pragma once

#include "rastrel.h"

// ---- Output sink (sink.cpp) ------------------------------------------------------------------------
// Where one write goes: straight to the spooler, or first into the spool files (and, with the
// direct flag, to the spooler as well).
struct StreamSink {
    HANDLE printer;
    const BYTE* bytes;
    DWORD count;
    HANDLE pageSpool;
    HANDLE headerSpool;
    DWORD pageIndex;
    DWORD spooling;
    DWORD pageData;  // 1 for the chunks of a sheet, 0 for the job header
    DWORD direct;
    DWORD* pageTable;
    BYTE* headerSent;  // set once the job header has reached the printer
};

constexpr DWORD kWriteRetries = 3;
constexpr DWORD kWriteRetryPause = 150;

StreamSink SinkFor(DriverPdev* pdev);
// WritePrinter, tried again (after a pause) while it fails with nothing written, and continued while
// it succeeds with part of the bytes and makes progress. TRUE only when every byte went out.
BOOL WritePrinterRetry(HANDLE printer, const BYTE* bytes, DWORD count, DWORD* written);
// Writes sink->bytes (sink->count of them) as page or header data.
BOOL WriteStreamChunk(StreamSink* sink);
BOOL SinkWrite(StreamSink* sink, const BYTE* bytes, DWORD count, BOOL pageData);
BOOL FinishSpool(DriverPdev* pdev);

// Spool position of a sheet being written, so that a sheet that fails half-way leaves no trace
// in the page table or the page spool file.
struct SheetMark {
    DWORD pageIndex;
    LONG spoolOffset;
};
SheetMark MarkSheet(DriverPdev* pdev);
void RollBackSheet(DriverPdev* pdev, const SheetMark& mark);

// ---- Chunk writer (stream.cpp) -------------------------------------------------------------------------
constexpr DWORD kChunkHeaderSize = 16;
constexpr DWORD kItemSize = 12;
constexpr DWORD kJobTableSize = 72;
constexpr DWORD kBihSize = 20;

enum StreamChunk : DWORD {
    kChunkStartDoc = 0x00,
    kChunkEndDoc = 0x01,
    kChunkStartPage = 0x02,
    kChunkEndPage = 0x03,
    kChunkJbigBih = 0x04,
    kChunkJbigBid = 0x05,
    kChunkEndJbig = 0x06,
    kChunkPause = 0x0B,
    kChunkJobStart = 0x11,
};

// What the start-page chunk says about a sheet.
struct PageHeader {
    DWORD copies;
    DWORD mediaType;
    DWORD paper;         // 61 for A5 with paper option 2, the paper id, 0 for custom paper
    DWORD rasterWidth;   // pixels
    DWORD rasterHeight;
    DWORD bitsPerPixel;  // 1, or 2 for the 1200-dpi output
    DWORD mediaSource;
    DWORD physicalWidth;  // pixels, custom paper only
    DWORD physicalHeight;
    DWORD density;
};

void PutChunkHeader(BYTE* out, DWORD size, DWORD type, DWORD items);
void PutStreamItem(BYTE* out, WORD id, DWORD value);
void FillJobTable(BYTE* out);
BOOL WriteJobHeader(StreamSink* sink);
// FALSE without writing anything when the raster does not fit the header's fields.
BOOL WritePageHeader(StreamSink* sink, const PageHeader* page);
BOOL WritePageEnd(StreamSink* sink);
BOOL WritePauseChunk(HANDLE printer);
BOOL WriteJobEnd(StreamSink* sink);
// The page header of the sheet the record is about to send.
PageHeader PageHeaderFor(const DriverPdev* pdev, DWORD rasterWidth, DWORD rasterHeight, DWORD physicalWidth,
                         DWORD physicalHeight);

// ---- JBIG page encoding (jbig.cpp) -----------------------------------------------------------------------
struct PageImage {
    DWORD width;   // bits a line (pixels x bits a pixel), a multiple of 32, at most 65535
    DWORD height;  // lines, at most 65535
    const BYTE* data;
    StreamSink* sink;
};
constexpr DWORD kBidDataSize = 65536;
constexpr DWORD kJbigStripeLines = 128;

// A growing block of encoded bytes.
struct JbigOutput {
    BYTE* data;
    SIZE_T length;
    SIZE_T capacity;
    BOOL failed;  // a block could not be grown
};
// Encodes a width x height bit-image (width a multiple of 8) with JBIG-KIT as the printer reads it;
// the output starts with the encoder's 20-byte BIH. FALSE when memory runs out.
BOOL JbigEncodePlane(DWORD width, DWORD height, BYTE* image, JbigOutput* out);
// The encoded stripe data of a screened image, appended to `destination` (without the BIH); returns
// its length, 0 on failure.
SIZE_T JbigEncodeImage(const PageImage* image, JbigOutput* destination);
// BIH chunk and BID chunks of one sheet, as page data.
BOOL WritePageImage(const PageImage* image);
// The BID chunks for N encoded bytes: full 65536-byte chunks, then the rest padded to the next
// multiple of 32 above it.
BOOL WriteBidChunks(StreamSink* sink, const BYTE* data, SIZE_T length);
