// The chunks of the printer job stream, byte for byte. All numbers are big-endian.
#include <cstring>

#include "stream.h"

namespace {

constexpr BYTE kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
constexpr BYTE kMagic[] = {'J', 'Z', 'J', 'Z'};
constexpr WORD kChunkSignature = 0x5A5A;
constexpr BYTE kItemTypeValue = 1;
constexpr DWORD kPaperA5WithOption = 61;
constexpr DWORD kCustomMarginPixels = 118;
constexpr DWORD kMaxRasterField = 0xFFFF;  // the BIH carries width and height as 16-bit values

constexpr WORD kJobTable[kJobTableSize / 2] = {
    0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100, 100, 100, 100, 100, 100, 100,
    100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100,
};

void Put16(BYTE* out, WORD v) {
    out[0] = static_cast<BYTE>(v >> 8);
    out[1] = static_cast<BYTE>(v);
}

void Put32(BYTE* out, DWORD v) {
    out[0] = static_cast<BYTE>(v >> 24);
    out[1] = static_cast<BYTE>(v >> 16);
    out[2] = static_cast<BYTE>(v >> 8);
    out[3] = static_cast<BYTE>(v);
}

// A chunk with no payload: the end-JBIG, end-page, pause and end-doc chunks.
BOOL WriteEmptyChunk(StreamSink* sink, DWORD type) {
    BYTE chunk[kChunkHeaderSize];
    PutChunkHeader(chunk, kChunkHeaderSize, type, 0);
    return SinkWrite(sink, chunk, sizeof chunk, TRUE);
}

}  // namespace

void PutChunkHeader(BYTE* out, DWORD size, DWORD type, DWORD items) {
    Put32(out, size);
    Put32(out + 4, type);
    Put32(out + 8, items);
    Put16(out + 12, static_cast<WORD>(items * kItemSize));
    Put16(out + 14, kChunkSignature);
}

void PutStreamItem(BYTE* out, WORD id, DWORD value) {
    Put32(out, kItemSize);
    Put16(out + 4, id);
    out[6] = kItemTypeValue;
    out[7] = 0;
    Put32(out + 8, value);
}

void FillJobTable(BYTE* out) {
    for (size_t i = 0; i < kJobTableSize / 2; ++i) Put16(out + 2 * i, kJobTable[i]);
}

BOOL WriteJobHeader(StreamSink* sink) {
    constexpr DWORD kJobStartSize = kChunkHeaderSize + kJobTableSize;
    constexpr DWORD kStartDocSize = kChunkHeaderSize + 2 * kItemSize;
    BYTE header[sizeof kUel + sizeof kMagic + kJobStartSize + kStartDocSize];
    BYTE* p = header;
    std::memcpy(p, kUel, sizeof kUel);
    p += sizeof kUel;
    std::memcpy(p, kMagic, sizeof kMagic);
    p += sizeof kMagic;
    PutChunkHeader(p, kJobStartSize, kChunkJobStart, 0);
    FillJobTable(p + kChunkHeaderSize);
    p += kJobStartSize;
    PutChunkHeader(p, kStartDocSize, kChunkStartDoc, 2);
    PutStreamItem(p + kChunkHeaderSize, 1, 0);
    PutStreamItem(p + kChunkHeaderSize + kItemSize, 2, 1);
    return SinkWrite(sink, header, sizeof header, FALSE);
}

BOOL WritePageHeader(StreamSink* sink, const PageHeader* page) {
    DWORD widthBits = page->rasterWidth * page->bitsPerPixel;
    if (page->rasterWidth == 0 || page->rasterHeight == 0 || page->rasterWidth > kMaxRasterField ||
        widthBits > kMaxRasterField || page->rasterHeight > kMaxRasterField) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    BOOL custom = page->paper == 0;
    DWORD items = custom ? 17 : 14;
    BYTE chunk[kChunkHeaderSize + 17 * kItemSize];
    PutChunkHeader(chunk, kChunkHeaderSize + items * kItemSize, kChunkStartPage, items);
    BYTE* p = chunk + kChunkHeaderSize;
    auto item = [&p](WORD id, DWORD value) {
        PutStreamItem(p, id, value);
        p += kItemSize;
    };
    item(4, page->copies);
    item(6, page->mediaType);
    item(3, page->paper);
    item(7, 1);
    item(12, widthBits);
    item(13, page->rasterHeight);
    item(8, 600);
    item(9, 600);
    item(22, 1);
    item(5, page->mediaSource);
    item(17, page->rasterWidth);
    item(18, page->rasterHeight);
    item(16, page->bitsPerPixel);
    if (custom) {
        item(24, page->physicalWidth < widthBits ? widthBits + kCustomMarginPixels : page->physicalWidth);
        item(25, page->physicalHeight < page->rasterHeight ? page->rasterHeight + kCustomMarginPixels
                                                           : page->physicalHeight);
        item(26, 0);
    }
    item(0xFF00, page->density);
    return SinkWrite(sink, chunk, static_cast<DWORD>(p - chunk), TRUE);
}

BOOL WritePageEnd(StreamSink* sink) {
    return WriteEmptyChunk(sink, kChunkEndJbig) && WriteEmptyChunk(sink, kChunkEndPage);
}

BOOL WritePauseChunk(HANDLE printer) {
    BYTE chunk[kChunkHeaderSize];
    PutChunkHeader(chunk, kChunkHeaderSize, kChunkPause, 0);
    DWORD written = 0;
    return WritePrinterRetry(printer, chunk, sizeof chunk, &written);
}

BOOL WriteJobEnd(StreamSink* sink) {
    BYTE end[kChunkHeaderSize + sizeof kUel];
    PutChunkHeader(end, kChunkHeaderSize, kChunkEndDoc, 0);
    std::memcpy(end + kChunkHeaderSize, kUel, sizeof kUel);
    DWORD written = 0;
    return WritePrinterRetry(sink->printer, end, sizeof end, &written);
}

PageHeader PageHeaderFor(const DriverPdev* pdev, DWORD rasterWidth, DWORD rasterHeight, DWORD physicalWidth,
                         DWORD physicalHeight) {
    PageHeader page{};
    page.copies = pdev->collate ? 1 : pdev->copies;  // collated copies are made by the replay
    page.mediaType = static_cast<WORD>(pdev->mediaType);
    if (pdev->printerPaperCode == 18)
        page.paper = kPaperA5WithOption;
    else if (pdev->printerPaperCode != 0)
        page.paper = static_cast<WORD>(pdev->paperId);
    page.rasterWidth = rasterWidth;
    page.rasterHeight = rasterHeight;
    page.bitsPerPixel = pdev->outputResolution == 1200 ? 2 : 1;
    page.mediaSource = static_cast<WORD>(pdev->mediaSource);
    page.physicalWidth = physicalWidth;
    page.physicalHeight = physicalHeight;
    page.density = pdev->density;
    return page;
}
