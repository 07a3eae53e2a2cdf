// Reads the source AVI's video frames for the conversion job, as bottom-up
// 32-bit pictures, and shows each one on the preview surface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvexa/avi_types.h"
#include "corvexa/frame_holder.h"
#include "corvexa/media_source.h"
#include "corvexa/preview.h"
#include "platform/avi_services.h"
#include "platform/picture_scaler.h"

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
  // Frames from the frame source (open, and owned by the caller) instead of
  // the AVI decoder, until Close: for video our AVI services cannot decode.
  void UseMediaSource(MediaSource* source);

  void SetPreview(PreviewSurface* surface) { preview_ = surface; }
  // Frames come out at `geometry` from now on (a default one: as stored).
  bool SetGeometry(const platform::PictureGeometry& geometry);
  // Frames as the decoder's own 4:2:0 planes (ReadPlanes) instead of RGB
  // pictures; false when the decoder's frames are not such planes.
  bool SetPlanar(bool on);
  const platform::AviFrameDecoder::Planes* ReadPlanes(std::int64_t frame);
  // Width over height of a source pixel as shown; 0 when unknown.
  double pixel_aspect() const { return stream_ ? stream_->pixel_aspect() : 0.0; }
  // The size of the frames ReadFrame delivers.
  int width() const { return geometry_.keeps_source() ? width_ : geometry_.width; }
  int height() const { return geometry_.keeps_source() ? height_ : geometry_.height; }
  bool is_open() const { return file_ != nullptr; }
  bool has_stream() const { return stream_ != nullptr; }
  // The four characters naming the video's compression, as the file has them.
  std::string codec_name() const;

 private:
  const std::uint8_t* decode(std::int64_t frame, std::size_t& size);
  bool ReadMediaFrame(FrameHolder& holder, std::int32_t& line_bytes, std::int64_t frame);

  std::shared_ptr<platform::AviFile> file_;
  std::shared_ptr<platform::AviStream> stream_;
  std::unique_ptr<platform::AviFrameDecoder> decoder_;
  MediaSource* media_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  PreviewSurface* preview_ = nullptr;
  platform::PictureGeometry geometry_;
  bool decoder_scales_ = false;
  bool planar_ = false;
  platform::PictureScaler scaler_;
  std::vector<std::uint8_t> source_picture_;
};

}  // namespace corvexa::core
