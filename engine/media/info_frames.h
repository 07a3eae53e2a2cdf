// Shows single frames of the file the information report describes, read the
// way the report was made: through our AVI services for an AVI report,
// through the media layer otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvexa/preview.h"
#include "media/info_report.h"

namespace corvexa::core {
class VideoFrameReader;
}
namespace corvexa::platform {
class MediaVideo;
}

namespace corvexa::media {

class InfoFrames {
 public:
  InfoFrames();
  ~InfoFrames();
  void open(const std::string& path, const InfoReport& report);
  void close();
  void set_surface(PreviewSurface* surface) { surface_ = surface; }
  // Draws frame `frame` when the surface exists and is visible.
  void show(std::int32_t frame);

 private:
  std::string path_;
  InfoReport report_;
  bool open_ = false;
  PreviewSurface* surface_ = nullptr;
  std::unique_ptr<core::VideoFrameReader> avi_;
  std::unique_ptr<platform::MediaVideo> media_;
};

}  // namespace corvexa::media
