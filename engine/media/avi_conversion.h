// One conversion of a media file into an AVI file: the source decoded by the
// media layer, pictures and sound through the chosen compressors into the
// AVI writer. prepare() runs on the caller's thread so that every failure
// to start has its message; run() then does the work on the job's worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "corvexa/preview.h"
#include "platform/compressor_catalog.h"
#include "platform/compressor_settings.h"

namespace corvexa::platform {
class AviFileWriter;
class DecodedAudio;
class MediaVideo;
}  // namespace corvexa::platform

namespace corvexa::media {

inline constexpr std::int64_t kUnlimited = INT64_MAX;

struct ConversionPlan {
  std::string source, output;
  std::int64_t start = 0, stop = kUnlimited;  // 100 ns units
  // Unset: the stream is stored as decoded (BGR 24-bit pictures, 16-bit PCM).
  std::optional<platform::CompressorEntry> video, audio;
  platform::VideoCompressorSettings video_settings;
  platform::AviWriterOptions writer;
  PreviewSurface* preview = nullptr;
};

// What the source holds, as the job's probe reports it.
struct SourceStreams {
  bool audio = false, video = false;
  std::int64_t duration = 0;
};
// False when the file is not media the conversion can read.
bool probe_source(const std::string& path, SourceStreams* found);

class AviConversion {
 public:
  enum class Outcome { kCompleted, kFailed, kStopped };

  AviConversion();
  ~AviConversion();

  // The muxer alone; false when libavformat cannot make one.
  bool create_muxer(const platform::AviWriterOptions& options);
  // Opens the source, the compressors and a scratch file beside the output.
  // Empty on success, else the message for the sink (`detail` says more).
  std::string prepare(const ConversionPlan& plan, std::string* detail);
  std::int64_t duration() const { return duration_; }

  // Converts the range; `progress` gets percent x 100. On completion the
  // scratch file becomes the output; otherwise it is removed.
  Outcome run(const std::atomic<bool>& stop, const std::function<void(int)>& progress);
  // Removes the scratch file of a conversion that is not run.
  void discard();

 private:
  bool write_sound_until(std::int64_t time);
  void report(std::int64_t position, const std::function<void(int)>& progress, bool force);

  ConversionPlan plan_;
  platform::AviWriterOptions writer_options_;
  std::unique_ptr<platform::AviFileWriter> writer_;
  std::unique_ptr<platform::MediaVideo> video_;
  std::unique_ptr<platform::DecodedAudio> audio_;
  std::string scratch_;
  std::int64_t duration_ = 0;
  std::int64_t range_start_ = 0, range_stop_ = kUnlimited;
  // Output frame rate.
  int rate_ = 25, scale_ = 1;
  int sample_rate_ = 0, channels_ = 0;
  std::int64_t samples_written_ = 0;
  bool sound_ended_ = false;
  std::int64_t last_report_ms_ = -1;
};

}  // namespace corvexa::media
