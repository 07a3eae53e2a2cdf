// MEDIAVIDEOINFO: measures a media file's video (size, bits per pixel and
// the number of frames its duration holds).
#pragma once

#include <cstdint>

#include "corvexa/object.h"

namespace corvexa {

class MediaVideoInfo : public EngineObject {
 public:
  // 4: true when the file has a video stream that could be measured; a
  // failure keeps the fields already set.
  virtual bool Open(const char* path) = 0;
  virtual std::int32_t FrameCount() = 0;  // 5
  virtual std::int32_t Width() = 0;       // 6
  virtual std::int32_t Height() = 0;      // 7
  virtual std::int32_t BitCount() = 0;    // 8

 protected:
  ~MediaVideoInfo() = default;
};

}  // namespace corvexa
