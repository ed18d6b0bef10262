// Thin owner of a JBIG-KIT decoder state, fed one piece of BIE data at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct jbg_dec_state;

namespace rastrel_dump {

class JbigDecoder {
 public:
  enum class Outcome { kNeedMore, kComplete, kFailed };
  struct Step {
    Outcome outcome = Outcome::kNeedMore;
    std::size_t consumed = 0;  // bytes of the piece the decoder took
    std::string message;       // kFailed: the decoder's own words
  };

  JbigDecoder();
  ~JbigDecoder();
  JbigDecoder(const JbigDecoder&) = delete;
  JbigDecoder& operator=(const JbigDecoder&) = delete;

  // Starts a new image from its 20-byte BIH, already checked by the caller; xd and yd are the
  // width and height it gives, so the decoder never sets up a bigger image than announced.
  Step start(std::span<const uint8_t> bih, uint32_t xd, uint32_t yd);

  // Hands the decoder the next piece of image data. After kComplete the rest of the piece is
  // not looked at; the decoder must not be fed again until the next start().
  Step feed(std::span<const uint8_t> data);

  // The decoded plane: (xd + 7) / 8 bytes a row, most significant bit first. Empty until the
  // image is complete.
  std::span<const uint8_t> image() const;

 private:
  void reset();

  jbg_dec_state* state_ = nullptr;
  bool complete_ = false;
  std::vector<unsigned char> staging_;  // JBIG-KIT wants a non-const input buffer
};

}  // namespace rastrel_dump
