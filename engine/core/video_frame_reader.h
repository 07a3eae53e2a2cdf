// Reads the source AVI's video frames for the conversion job, as bottom-up
// 32-bit pictures, and shows each one on the preview surface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "corvexa/avi_types.h"
#include "corvexa/frame_holder.h"
#include "corvexa/preview.h"
#include "platform/avi_services.h"

namespace corvexa::core {

class VideoFrameReader {
 public:
  bool Open(const std::string& path);
  // The video stream's information; false when there is none.
  bool ReadHeader(AviStreamInfo& info);
  // Bits per pixel of the decoded frame when it is 8, 16, 24 or 32; else 0.
  int ProbeDepth(std::int64_t frame);
  // The last of `last`, `last` - 1, ... down to `first` that decodes; -1 when
  // none does. (A one-frame video, or one whose only good frame is the
  // first, is still a video.)
  std::int64_t LastDecodable(std::int64_t last, std::int64_t first);
  bool ReadFrame(FrameHolder& holder, std::int32_t& line_bytes, std::int64_t frame);
  void Close();

  void SetPreview(PreviewSurface* surface) { preview_ = surface; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool is_open() const { return file_ != nullptr; }

 private:
  const std::uint8_t* decode(std::int64_t frame, std::size_t& size);

  std::shared_ptr<platform::AviFile> file_;
  std::shared_ptr<platform::AviStream> stream_;
  std::unique_ptr<platform::AviFrameDecoder> decoder_;
  int width_ = 0;
  int height_ = 0;
  PreviewSurface* preview_ = nullptr;
};

}  // namespace corvexa::core
