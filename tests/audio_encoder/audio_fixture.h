// Helpers of the audio encoder tests: a PCM frame source, a recording status
// sink, the stage run, and independent decoders (libmpg123, libavcodec).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"

namespace audio_test {

using corvexa::mpeg::EncoderContext;

// Interleaved 16-bit PCM handed out in blocks of `block_frames` sample frames
// (one video frame's worth), or in blocks of `block_bytes` bytes when set.
class PcmSource : public corvexa::mpeg::FrameSource {
 public:
  PcmSource(std::vector<short> pcm, int channels, int block_frames)
      : pcm_(std::move(pcm)), channels_(channels), block_frames_(block_frames) {}
  int GetFrame(int, corvexa::FrameHolder&, int&, int&) override { return 4; }
  int GetAudio(int frame_number, const std::uint8_t*& data, int& byte_count, int& advance) override;
  int GetAudioSamples(int start_sample, int wanted, const std::uint8_t*& data, int& byte_count,
                      int& sample_count) override;

  int block_bytes = 0;       // > 0: fixed byte blocks instead of frames
  int error_at_call = -1;    // this call answers `error_code`
  int error_code = 4;
  int advance = 1;           // output frames each block stands for
  int oversize_at_call = -1; // this call reports 192001 bytes
  int calls = 0;
  std::vector<int> asked_frames;

 private:
  std::vector<short> pcm_;
  std::vector<std::uint8_t> block_;
  std::size_t offset_ = 0;  // bytes handed out
  int channels_;
  int block_frames_;
};

class RecordingStatus : public corvexa::mpeg::StatusSink {
 public:
  void Progress(const char* text, int percent) override;
  void Message(const char* text) override;
  std::vector<std::string> progress_texts;
  std::vector<int> percents;
  std::vector<std::string> messages;
  EncoderContext* stop_after_progress = nullptr;  // requests a stop at the first progress
  bool has_message(const std::string& text) const;
};

struct Settings {
  int layer = 2;
  int mode = 0;
  int model = 2;
  int kbps = 224;
  int error_protection = 0;
  int sample_rate = 48000;
  bool stereo_source = true;
};

int bitrate_index_for(int layer, int kbps);

// Prepares `ctx` for one audio stage over `source` writing `path`.
void prepare(EncoderContext& ctx, const Settings& s, corvexa::mpeg::FrameSource* source,
             corvexa::mpeg::StatusSink* status, const std::string& path, int frame_count);

// One layer II stereo stage over interleaved stereo `pcm`, delivered a
// 25 fps video frame's worth at a time.
bool encode_stereo(const std::vector<short>& pcm, int rate, int model, int kbps, const std::string& path);

struct Decoded {
  bool ok = false;
  std::string error;
  int sample_rate = 0;
  int channels = 0;
  std::vector<short> pcm;  // interleaved
  long frames() const { return channels ? static_cast<long>(pcm.size()) / channels : 0; }
};
Decoded decode_mpg123(const std::string& path);
// With `strict`, CRC checking and explode-on-error are on.
Decoded decode_libavcodec(const std::string& path, bool strict);

struct FrameHeader {
  int offset = 0;
  int size = 0;
  int layer = 0;
  int protection = 0;  // 1 = CRC present
  int bitrate_index = 0;
  int padding = 0;
  int mode = 0;
  int mode_extension = 0;
};
// Walks the stream by its headers; empty when a header is broken.
std::vector<FrameHeader> parse_frames(const std::string& path);

std::vector<short> sine(int frames, int channels, int rate, double hz, double amplitude,
                        double right_hz = 0.0);
// A sweep plus noise bursts: busy enough to exercise every subband.
std::vector<short> test_signal(int frames, int channels, int rate, unsigned seed = 1);

// Best alignment of `decoded` to `original` (one channel, `channels`
// interleaved), within `max_lag` samples; SNR in dB at that lag.
double aligned_snr(const std::vector<short>& original, const std::vector<short>& decoded,
                   int channels, int max_lag, int* lag_out = nullptr);

// PCM of a media clip decoded by the ffmpeg program; empty when unavailable.
std::vector<short> decode_clip(const std::string& clip, int rate, int channels, double start_s,
                               double seconds);

}  // namespace audio_test
