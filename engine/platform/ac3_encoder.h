// AC-3 sound for NTSC DVDs, coded by libavcodec's AC-3 encoder from 16-bit
// PCM; the frames come out as the elementary stream the multiplexer takes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace corvexa::platform {

class Ac3Encoder {
 public:
  // Null when libavcodec has no AC-3 encoder or refuses the parameters.
  static std::unique_ptr<Ac3Encoder> open(int sample_rate, int channels, int bit_rate);
  ~Ac3Encoder();

  // Sample frames per coded frame; encode takes at most this many at a time.
  int frame_samples() const { return frame_samples_; }
  // Codes `frames` sample frames (one short array per channel) and appends
  // the finished frames to `out`.
  bool encode(const short* const pcm[2], int frames, std::vector<std::uint8_t>& out);
  // Appends what the encoder still holds.
  bool flush(std::vector<std::uint8_t>& out);

 private:
  Ac3Encoder() = default;
  bool drain(std::vector<std::uint8_t>& out);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int channels_ = 0;
  int frame_samples_ = 0;
};

}  // namespace corvexa::platform
