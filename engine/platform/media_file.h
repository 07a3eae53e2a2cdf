// Any media file FFmpeg can demultiplex: its container, its streams and their
// types, and its duration. Times are counted in 100-nanosecond units
// throughout the media layer. Decoding is media_video.h and decoded_audio.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvexa::platform {

inline constexpr std::int64_t kMediaTicksPerSecond = 10000000;

enum class MediaStreamType { kVideo, kAudio, kOther };

// The kinds of file the information report names; everything FFmpeg reads
// and the report has no name for is kOther.
enum class MediaContainer {
  kMpegSystem,   // MPEG-1 system stream
  kMpegProgram,  // MPEG-2 program stream
  kVideoCd,      // MPEG-1 system stream in 2324-byte sectors (RIFF CDXA)
  kMpegAudio,    // MPEG-1 audio elementary stream (layer I, II or III)
  kMpeg2Audio,   // MPEG-2 (low sampling rate) audio elementary stream
  kMpegVideo,    // MPEG-1/2 video elementary stream
  kWave,
  kDvdAudio,     // LPCM
  kAc3,
  kAsf,          // ASF, WMV, WMA
  kAvi,
  kOther,
};

struct MediaStreamInfo {
  int index = -1;  // FFmpeg's stream number
  MediaStreamType type = MediaStreamType::kOther;
  std::string codec;       // FFmpeg's codec name
  bool decodable = false;  // FFmpeg has a decoder for it
  std::int64_t duration = 0;  // 0 when unknown
  // Video.
  int width = 0, height = 0;
  std::int32_t rate = 0, scale = 0;  // frames per second = rate / scale; 0 when unknown
  std::int64_t time_per_frame = 0;   // 0 when unknown
  std::int64_t frame_count = 0;      // as the container counts them; 0 when unknown
  // Audio.
  int sample_rate = 0, channels = 0;
  int bits_per_sample = 0;  // of the PCM it decodes to
};

class MediaFile {
 public:
  // Null when FFmpeg cannot demultiplex the file or finds neither video nor
  // sound in it.
  static std::unique_ptr<MediaFile> open(const std::string& path);
  ~MediaFile();

  const std::string& path() const { return path_; }
  MediaContainer container() const { return container_; }
  const std::vector<MediaStreamInfo>& streams() const { return streams_; }
  // The stream FFmpeg would play, or null.
  const MediaStreamInfo* primary_video() const { return find(primary_video_); }
  const MediaStreamInfo* primary_audio() const { return find(primary_audio_); }
  // The longest stream's; 0 when unknown.
  std::int64_t duration() const { return duration_; }
  bool can_seek() const { return can_seek_; }

 private:
  MediaFile() = default;
  const MediaStreamInfo* find(int index) const;

  std::string path_;
  MediaContainer container_ = MediaContainer::kOther;
  std::vector<MediaStreamInfo> streams_;
  int primary_video_ = -1, primary_audio_ = -1;
  std::int64_t duration_ = 0;
  bool can_seek_ = false;
};

}  // namespace corvexa::platform
