// JBIG-KIT's encoding alone, called with the options the driver uses: the yardstick the benchmarks
// hold the driver's sheets against. Written apart from the driver's encoder on purpose.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jbig.h>
}

namespace bench {

// The encoded bytes land in a block that was allocated and touched before any timing.
struct JbigBlock {
    unsigned char* data;
    size_t length;
    size_t capacity;
};

inline void CollectJbig(unsigned char* start, size_t length, void* context) {
    auto* out = static_cast<JbigBlock*>(context);
    if (out->length + length > out->capacity) std::abort();  // blocks are sized far beyond any sheet
    std::memcpy(out->data + out->length, start, length);
    out->length += length;
}

// Encodes a bit-image (BIH included in the output) and returns the number of bytes.
inline size_t EncodeWithJbigKit(unsigned long widthBits, unsigned long height, unsigned char* bits, JbigBlock* out) {
    out->length = 0;
    unsigned char* planes[1] = {bits};
    jbg_enc_state state;
    jbg_enc_init(&state, widthBits, height, 1, planes, CollectJbig, out);
    jbg_enc_layers(&state, 0);
    jbg_enc_lrange(&state, 0, -1);
    jbg_enc_options(&state, JBG_ILEAVE | JBG_SMID, JBG_LRLTWO | JBG_TPDON | JBG_TPBON | JBG_DPON, 128, 0, 0);
    jbg_enc_out(&state);
    jbg_enc_free(&state);
    return out->length;
}

}  // namespace bench
