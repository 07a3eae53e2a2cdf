// An AVI file written by libavformat's AVI muxer from a video and/or an
// audio stream that our compressors encode. Files beyond 1 GiB go on in
// OpenDML parts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/compressor_settings.h"

namespace corvexa::platform {

struct AviVideoTrack {
  std::string encoder;  // "" uncompressed BGR 24-bit
  std::uint32_t fourcc = 0;
  int width = 0, height = 0;
  int rate = 25, scale = 1;  // frames per second = rate / scale
  VideoCompressorSettings settings;
};

struct AviAudioTrack {
  std::string encoder;  // "" 16-bit PCM
  int sample_rate = 0;
  int channels = 0;
};

class AviFileWriter {
 public:
  // The muxer, without a file yet. Null when libavformat has no AVI muxer.
  static std::unique_ptr<AviFileWriter> create(const AviWriterOptions& options);
  ~AviFileWriter();

  // Each false with `error` set.
  bool add_video(const AviVideoTrack& track, std::string* error);
  bool add_audio(const AviAudioTrack& track, std::string* error);
  // Creates `path` (which must not exist) and writes the header.
  bool open_file(const std::string& path, std::string* error);

  // The next picture, bottom-up 32-bit (B, G, R, unused), track size.
  bool write_picture(const std::uint8_t* picture);
  // 16-bit interleaved PCM, whole sample frames.
  bool write_sound(const std::uint8_t* pcm, std::size_t bytes);
  // Drains the compressors, writes the index and closes the file.
  bool finish();
  // Closes the file as it stands, without index; for a file to be removed.
  void abandon();

 private:
  AviFileWriter();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvexa::platform
