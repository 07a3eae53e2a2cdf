// MYMPGLIB: the MPEG audio layer 3 decoder. Every MYMPGLIB object in the
// process shares one decoder: one stream at a time.
#pragma once

#include <cstdint>

#include "corvexa/object.h"

namespace corvexa {

// Decode results.
inline constexpr std::int32_t kMp3Ok = 0;        // a frame was decoded, or nothing to do
inline constexpr std::int32_t kMp3NeedMore = 1;  // more input needed
inline constexpr std::int32_t kMp3Error = -1;

class Mp3Decoder : public EngineObject {
 public:
  // 4: resets the decoder for a new stream.
  virtual bool InitDecoder() = 0;
  // 5: appends `input` (may be null with 0 bytes) to the decoder's input and
  // decodes at most one frame into `output` as interleaved signed 16-bit PCM;
  // `produced` receives the bytes written.
  virtual std::int32_t Decode(const std::uint8_t* input, std::int32_t input_bytes,
                              std::uint8_t* output, std::int32_t output_size,
                              std::int32_t* produced) = 0;
  // 6: frees the decoder's buffered input.
  virtual void ExitDecoder() = 0;

 protected:
  ~Mp3Decoder() = default;
};

}  // namespace corvexa
