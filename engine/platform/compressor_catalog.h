// The libavcodec encoders whose output an AVI file can hold, each under a
// friendly name that starts with what users look for, in a fixed order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvexa::platform {

struct CompressorEntry {
  std::string friendly;        // "DivX-compatible MPEG-4 (mpeg4)"
  std::string encoder;         // libavcodec's encoder name
  std::uint32_t fourcc = 0;    // tag written into the AVI; 0: FFmpeg's own
  bool configurable = false;   // has bit rate, quality or key-frame settings
};

// Only the encoders this FFmpeg build has. Same order on every call.
std::vector<CompressorEntry> avi_video_compressors();
std::vector<CompressorEntry> avi_audio_compressors();

// The sample rate `encoder` ("" for PCM) takes sound of `source_rate` at:
// the source's own when the encoder accepts it, else the nearest it has.
int encoder_sample_rate(const std::string& encoder, int source_rate);

}  // namespace corvexa::platform
