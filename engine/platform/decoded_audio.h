// Sound decoded by FFmpeg and resampled to 16-bit interleaved PCM: the sound
// of other media files, and the AVI sound that the conversion's own paths do
// not read (AC-3, MP2, AAC, ADPCM, float, 24-bit PCM, more than two
// channels, odd rates).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/avi_services.h"

namespace corvexa::platform {

class DecodedAudio {
 public:
  // The audio stream `stream` of its file, delivered at `out_rate` Hz with
  // one or two channels (more are mixed down to two). Null when FFmpeg
  // cannot decode it.
  static std::unique_ptr<DecodedAudio> open(const AviStream& stream, int out_rate);
  // The primary audio stream of any media file; `out_rate` 0 chooses
  // decoded_output_rate of the source's rate.
  static std::unique_ptr<DecodedAudio> open_file(const std::string& path, int out_rate);
  ~DecodedAudio();

  int channels() const { return out_channels_; }
  int rate() const { return out_rate_; }
  // Up to `size` bytes of PCM; 0 at the end, -1 when decoding failed for good.
  std::int64_t read(std::uint8_t* out, std::int64_t size);
  // Starts again from the beginning of the stream.
  bool rewind();
  // Goes on from about `time` (100 ns units from the start of the file).
  bool seek(std::int64_t time);

 private:
  DecodedAudio() = default;
  static std::unique_ptr<DecodedAudio> open_stream(const std::string& path,
                                                   const char* format_name, int index,
                                                   int out_rate);
  bool decode_more();

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int out_rate_ = 0;
  int out_channels_ = 0;
  std::vector<std::uint8_t> pending_;
  std::size_t pending_offset_ = 0;
  bool finished_ = false;
};

// The rate decoded sound is delivered at: 44100 Hz for the 11025 family,
// 48000 Hz for everything else.
int decoded_output_rate(int source_rate);

}  // namespace corvexa::platform
