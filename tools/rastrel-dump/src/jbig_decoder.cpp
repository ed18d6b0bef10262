#include "jbig_decoder.h"

#include <new>

extern "C" {
#include <jbig.h>
}

namespace rastrel_dump {

JbigDecoder::JbigDecoder() = default;

JbigDecoder::~JbigDecoder() { reset(); }

void JbigDecoder::reset() {
  if (state_) {
    jbg_dec_free(state_);
    delete state_;
    state_ = nullptr;
  }
  complete_ = false;
}

JbigDecoder::Step JbigDecoder::start(std::span<const uint8_t> bih, uint32_t xd, uint32_t yd) {
  reset();
  state_ = new (std::nothrow) jbg_dec_state;
  if (!state_) return {Outcome::kFailed, 0, "out of memory"};
  jbg_dec_init(state_);
  jbg_dec_maxsize(state_, xd, yd);
  return feed(bih);
}

JbigDecoder::Step JbigDecoder::feed(std::span<const uint8_t> data) {
  if (!state_ || complete_) return {Outcome::kFailed, 0, "decoder not ready"};
  staging_.assign(data.begin(), data.end());
  size_t consumed = 0;
  const int rc = jbg_dec_in(state_, staging_.data(), staging_.size(), &consumed);
  if (consumed > data.size()) consumed = data.size();
  if (rc == JBG_EAGAIN) return {Outcome::kNeedMore, consumed, {}};
  if (rc == JBG_EOK) {
    complete_ = true;
    return {Outcome::kComplete, consumed, {}};
  }
  return {Outcome::kFailed, consumed, jbg_strerror(rc)};
}

std::span<const uint8_t> JbigDecoder::image() const {
  if (!state_ || !complete_) return {};
  const unsigned char* plane = jbg_dec_getimage(state_, 0);
  if (!plane) return {};
  return {plane, static_cast<std::size_t>(jbg_dec_getsize(state_))};
}

}  // namespace rastrel_dump
