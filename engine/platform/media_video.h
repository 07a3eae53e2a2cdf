// The pictures of a media file's video in playback order, as bottom-up
// 32-bit pictures (bytes B, G, R, unused; width x 4 bytes a row).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvexa::platform {

class MediaVideo {
 public:
  // The primary video stream of `path` (or stream `index` when it is not -1),
  // scaled to `width` x `height` (0 x 0: the stream's own size). Null when
  // there is no such stream or FFmpeg cannot decode it.
  static std::unique_ptr<MediaVideo> open(const std::string& path, int index = -1,
                                          int width = 0, int height = 0);
  ~MediaVideo();

  int width() const { return width_; }
  int height() const { return height_; }
  // When the stream's first picture is shown, from the start of the file.
  std::int64_t start_time() const;
  // From the stream's frame rate; 0 when it has none.
  std::int64_t time_per_frame() const;

  // Decodes the next picture; false at the end of the stream or when
  // decoding has failed for good.
  bool next();
  // Decodes forward until picture() is the one on show at `time`: the last
  // one that starts at or before it (the first picture before the first
  // start, the last picture after the end). False only when no picture could
  // be decoded at all.
  bool advance_to(std::int64_t time);
  // Moves so that the next advance_to(time) or next() finds the picture on
  // show at `time`.
  bool seek(std::int64_t time);
  // No picture follows the current one.
  bool finished() const;

  // The current picture, or null before the first; valid until the next call.
  const std::uint8_t* picture() const;
  std::int64_t picture_time() const;

 private:
  MediaVideo();
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int width_ = 0, height_ = 0;
};

}  // namespace corvexa::platform
