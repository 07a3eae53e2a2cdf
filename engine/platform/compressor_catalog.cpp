#include "platform/compressor_catalog.h"

#include <cstdlib>

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

namespace {

constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// Candidates in the order they are listed. MPEG-4 part 2 is tagged DIVX so
// that players which look for DivX find it.
const CompressorEntry kVideo[] = {
    {"DivX-compatible MPEG-4 (mpeg4)", "mpeg4", fourcc('D', 'I', 'V', 'X'), true},
    {"Xvid MPEG-4 (libxvid)", "libxvid", fourcc('X', 'V', 'I', 'D'), true},
    {"Motion JPEG (mjpeg)", "mjpeg", 0, true},
    {"H.264 (libx264)", "libx264", 0, true},
    {"FFV1 lossless (ffv1)", "ffv1", 0, false},
    {"Uncompressed RGB (rawvideo)", "rawvideo", 0, false},
};

const CompressorEntry kAudio[] = {
    {"MPEG Layer-3 (libmp3lame)", "libmp3lame", 0, false},
    {"PCM (pcm_s16le)", "pcm_s16le", 0, false},
    {"AC-3 (ac3)", "ac3", 0, false},
};

bool fits_avi(const char* encoder_name) {
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder_name);
  const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
  return codec != nullptr && avi != nullptr &&
         avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) == 1;
}

template <std::size_t N>
std::vector<CompressorEntry> present(const CompressorEntry (&candidates)[N]) {
  std::vector<CompressorEntry> out;
  for (const CompressorEntry& c : candidates)
    if (fits_avi(c.encoder.c_str())) out.push_back(c);
  return out;
}

}  // namespace

std::vector<CompressorEntry> avi_video_compressors() { return present(kVideo); }
std::vector<CompressorEntry> avi_audio_compressors() { return present(kAudio); }

int encoder_sample_rate(const std::string& encoder, int source_rate) {
  if (encoder.empty()) return source_rate;
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
  if (codec == nullptr || codec->supported_samplerates == nullptr) return source_rate;
  int best = 0;
  for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
    if (*r == source_rate) return source_rate;
    if (best == 0 || std::abs(*r - source_rate) < std::abs(best - source_rate)) best = *r;
  }
  return best != 0 ? best : source_rate;
}

}  // namespace corvexa::platform
