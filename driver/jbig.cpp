// JBIG page encoding with JBIG-KIT, and the BIH and BID chunks that carry a sheet.
#include <cstring>
#include <mutex>

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

// A sink that drops the encoder's leading BIH: the stream carries the BIH in a chunk of its own.
struct StripeSink {
    JbigOutput* out;
    SIZE_T skip;  // BIH bytes still to drop
};

void JbigStripeSink(unsigned char* start, size_t length, void* context) {
    auto* sink = static_cast<StripeSink*>(context);
    size_t dropped = length < sink->skip ? length : sink->skip;
    sink->skip -= dropped;
    if (length > dropped) JbigOutputSink(start + dropped, length - dropped, sink->out);
}

// Whether no bit is set: eight bytes at a time, a block at a time, so that a sheet with ink stops
// early.
bool IsAllWhite(const BYTE* data, SIZE_T bytes) {
    constexpr SIZE_T kBlockWords = 512;
    SIZE_T words = bytes / 8;
    for (SIZE_T at = 0; at < words; at += kBlockWords) {
        SIZE_T end = at + kBlockWords < words ? at + kBlockWords : words;
        ULONGLONG any = 0;
        for (SIZE_T i = at; i < end; ++i) {
            ULONGLONG word;
            std::memcpy(&word, data + i * 8, sizeof word);
            any |= word;
        }
        if (any) return false;
    }
    for (SIZE_T i = words * 8; i < bytes; ++i)
        if (data[i]) return false;
    return true;
}

// The encoding of an all-white image depends on its size only: a blank sheet (a pad sheet, an empty
// page) reuses the last one made.
struct BlankEncoding {
    std::mutex lock;
    DWORD width = 0;
    DWORD height = 0;
    JbigOutput data{};
    ~BlankEncoding() {
        if (data.data) HeapFree(GetProcessHeap(), 0, data.data);
    }
};
// Lives as long as the module: freed when it is unloaded.
BlankEncoding g_blank;
BlankEncoding& Blank() { return g_blank; }

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

namespace {

BOOL EncodePlane(DWORD width, DWORD height, BYTE* image, void (*sink)(unsigned char*, size_t, void*), void* context,
                 const JbigOutput* out) {
    auto** planes = static_cast<unsigned char**>(HeapAlloc(GetProcessHeap(), 0, sizeof(unsigned char*)));
    if (!planes) return FALSE;
    planes[0] = image;
    jbg_enc_state state;
    jbg_enc_init(&state, width, height, 1, planes, sink, context);
    jbg_enc_layers(&state, 0);
    jbg_enc_lrange(&state, 0, -1);
    jbg_enc_options(&state, kOrder, kOptions, kJbigStripeLines, 0, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    HeapFree(GetProcessHeap(), 0, planes);
    return !out->failed;
}

}  // namespace

BOOL JbigEncodePlane(DWORD width, DWORD height, BYTE* image, JbigOutput* out) {
    return EncodePlane(width, height, image, JbigOutputSink, out, out);
}

SIZE_T JbigEncodeImage(const PageImage* image, JbigOutput* destination) {
    SIZE_T start = destination->length;
    SIZE_T raw = SIZE_T(image->width) * image->height / 8;
    bool white = IsAllWhite(image->data, raw);
    BlankEncoding& blank = Blank();
    if (white) {
        std::lock_guard guard(blank.lock);
        if (blank.data.length && blank.width == image->width && blank.height == image->height) {
            if (!Grow(destination, start + blank.data.length)) return 0;
            std::memcpy(destination->data + start, blank.data.data, blank.data.length);
            destination->length = start + blank.data.length;
            return blank.data.length;
        }
    }
    StripeSink sink{destination, kBihSize};
    if (!Grow(destination, start + raw / 4 + 1024) ||
        !EncodePlane(image->width, image->height, const_cast<BYTE*>(image->data), JbigStripeSink, &sink,
                     destination) ||
        sink.skip != 0 || destination->length == start) {
        destination->length = start;
        destination->failed = FALSE;
        return 0;
    }
    SIZE_T length = destination->length - start;
    if (white) {
        std::lock_guard guard(blank.lock);
        blank.data.length = 0;
        if (Grow(&blank.data, length)) {
            std::memcpy(blank.data.data, destination->data + start, length);
            blank.data.length = length;
            blank.width = image->width;
            blank.height = image->height;
        }
    }
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
