// JBIG page encoding with JBIG-KIT, and the BIH and BID chunks that carry a sheet.
#include <cstring>

#include "stream.h"

extern "C" {
#include <jbig.h>
}

namespace {

constexpr int kOrder = JBG_ILEAVE | JBG_SMID;                                // 3
constexpr int kOptions = JBG_LRLTWO | JBG_TPDON | JBG_TPBON | JBG_DPON;      // 0x5C
static_assert(kOrder == 3 && kOptions == 0x5C);

BOOL Grow(JbigOutput* out, SIZE_T needed) {
    if (needed <= out->capacity) return TRUE;
    SIZE_T capacity = out->capacity ? out->capacity : 4096;
    while (capacity < needed) capacity *= 2;
    auto* grown = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, capacity));
    if (!grown) return FALSE;
    if (out->length) std::memcpy(grown, out->data, out->length);
    if (out->data) HeapFree(GetProcessHeap(), 0, out->data);
    out->data = grown;
    out->capacity = capacity;
    return TRUE;
}

// JBIG-KIT hands its output over in blocks; each is appended, the buffer growing as needed (noise
// encodes to more than its raw size).
void JbigOutputSink(unsigned char* start, size_t length, void* context) {
    auto* out = static_cast<JbigOutput*>(context);
    if (out->failed) return;
    if (!Grow(out, out->length + length)) {
        out->failed = TRUE;
        return;
    }
    std::memcpy(out->data + out->length, start, length);
    out->length += length;
}

void PutBih(BYTE* out, DWORD width, DWORD height) {
    std::memset(out, 0, kBihSize);
    out[2] = 1;  // planes
    out[6] = static_cast<BYTE>(width >> 8);  // XD and YD from 16-bit values
    out[7] = static_cast<BYTE>(width);
    out[10] = static_cast<BYTE>(height >> 8);
    out[11] = static_cast<BYTE>(height);
    out[15] = kJbigStripeLines;  // L0 = 128
    out[18] = kOrder;
    out[19] = kOptions;
}

void FreeOutput(JbigOutput* out) {
    if (out->data) HeapFree(GetProcessHeap(), 0, out->data);
    *out = JbigOutput{};
}

}  // namespace

BOOL JbigEncodePlane(DWORD width, DWORD height, BYTE* image, JbigOutput* out) {
    auto** planes = static_cast<unsigned char**>(HeapAlloc(GetProcessHeap(), 0, sizeof(unsigned char*)));
    if (!planes) return FALSE;
    planes[0] = image;
    jbg_enc_state state;
    jbg_enc_init(&state, width, height, 1, planes, JbigOutputSink, out);
    jbg_enc_layers(&state, 0);
    jbg_enc_lrange(&state, 0, -1);
    jbg_enc_options(&state, kOrder, kOptions, kJbigStripeLines, 0, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    HeapFree(GetProcessHeap(), 0, planes);
    return !out->failed;
}

SIZE_T JbigEncodeImage(const PageImage* image, JbigOutput* destination) {
    SIZE_T start = destination->length;
    SIZE_T raw = SIZE_T(image->width) * image->height / 8;
    if (!Grow(destination, start + raw / 8 + 1024) ||
        !JbigEncodePlane(image->width, image->height, const_cast<BYTE*>(image->data), destination) ||
        destination->length <= start + kBihSize) {
        destination->length = start;
        return 0;
    }
    // The stream carries the BIH in its own chunk: only the stripe data stays.
    SIZE_T length = destination->length - start - kBihSize;
    std::memmove(destination->data + start, destination->data + start + kBihSize, length);
    destination->length = start + length;
    return length;
}

BOOL WriteBidChunks(StreamSink* sink, const BYTE* data, SIZE_T length) {
    auto* staging = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, kChunkHeaderSize + kBidDataSize));
    if (!staging) return FALSE;
    BOOL ok = TRUE;
    SIZE_T done = 0;
    for (; ok && length - done >= kBidDataSize; done += kBidDataSize) {
        PutChunkHeader(staging, kChunkHeaderSize + kBidDataSize, kChunkJbigBid, 0);
        std::memcpy(staging + kChunkHeaderSize, data + done, kBidDataSize);
        ok = SinkWrite(sink, staging, kChunkHeaderSize + kBidDataSize, TRUE);
    }
    DWORD rest = static_cast<DWORD>(length - done);
    if (ok && rest) {
        // Padded with zeros to the next multiple of 32 above the rest (32 more when it is one).
        DWORD padded = rest - rest % 32 + 32;
        PutChunkHeader(staging, kChunkHeaderSize + padded, kChunkJbigBid, 0);
        std::memcpy(staging + kChunkHeaderSize, data + done, rest);
        std::memset(staging + kChunkHeaderSize + rest, 0, padded - rest);
        ok = SinkWrite(sink, staging, kChunkHeaderSize + padded, TRUE);
    }
    HeapFree(GetProcessHeap(), 0, staging);
    return ok;
}

BOOL WritePageImage(const PageImage* image) {
    if (image->width == 0 || image->height == 0 || image->width % 8 != 0 || image->width > 0xFFFF ||
        image->height > 0xFFFF) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    BYTE bih[kChunkHeaderSize + kBihSize];
    PutChunkHeader(bih, sizeof bih, kChunkJbigBih, 0);
    PutBih(bih + kChunkHeaderSize, image->width, image->height);
    if (!SinkWrite(image->sink, bih, sizeof bih, TRUE)) return FALSE;

    JbigOutput encoded{};
    SIZE_T length = JbigEncodeImage(image, &encoded);
    // An encoder that yields nothing cannot have encoded the page.
    BOOL ok = length > 0 && WriteBidChunks(image->sink, encoded.data, length);
    if (length == 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    FreeOutput(&encoded);
    return ok;
}
