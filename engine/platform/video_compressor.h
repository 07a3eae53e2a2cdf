// One libavcodec video encoder fed with bottom-up 32-bit pictures (B, G, R,
// unused). Used by the AVI writer only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/compressor_settings.h"
#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

class VideoCompressor {
 public:
  // `encoder` empty: uncompressed bottom-up BGR 24-bit. Null with `error`
  // set when the encoder is missing or refuses the picture format.
  static std::unique_ptr<VideoCompressor> open(const std::string& encoder, std::uint32_t fourcc,
                                               int width, int height, int rate, int scale,
                                               const VideoCompressorSettings& settings,
                                               int global_header, std::string* error);
  ~VideoCompressor();

  AVCodecContext* context() const { return codec_.get(); }
  // Encodes the picture as the next frame; every packet it yields goes to
  // `out`. Null `picture` drains the encoder.
  bool encode(const std::uint8_t* picture, const std::function<bool(AVPacket*)>& out);

 private:
  VideoCompressor() = default;

  CodecHandle codec_;
  SwsHandle scale_;
  FrameHandle frame_;
  PacketHandle packet_;
  int source_width_ = 0, source_height_ = 0;
  bool bottom_up_output_ = false;
  std::int64_t next_pts_ = 0;
};

}  // namespace corvexa::platform
