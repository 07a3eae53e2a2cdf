// One libavcodec audio encoder fed with 16-bit interleaved PCM. Used by the
// AVI writer only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

class AudioCompressor {
 public:
  // `encoder` empty: 16-bit PCM as it comes. Null with `error` set when the
  // encoder is missing or refuses the rate or channels.
  static std::unique_ptr<AudioCompressor> open(const std::string& encoder, int sample_rate,
                                               int channels, int global_header,
                                               std::string* error);
  ~AudioCompressor();

  AVCodecContext* context() const { return codec_.get(); }
  // Encodes `bytes` bytes of PCM (whole sample frames); packets go to `out`.
  bool encode(const std::uint8_t* pcm, std::size_t bytes, const std::function<bool(AVPacket*)>& out);
  // Encodes what is held back, padded with silence, then drains the encoder.
  bool finish(const std::function<bool(AVPacket*)>& out);

 private:
  AudioCompressor() = default;
  bool encode_block(const std::uint8_t* pcm, int samples, const std::function<bool(AVPacket*)>& out);

  CodecHandle codec_;
  SwrHandle convert_;
  FrameHandle frame_;
  PacketHandle packet_;
  int channels_ = 0;
  int block_ = 0;  // samples per encoder frame
  std::vector<std::uint8_t> held_;
  std::int64_t next_pts_ = 0;
};

}  // namespace corvexa::platform
