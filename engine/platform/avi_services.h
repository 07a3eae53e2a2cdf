// The AVI file services the conversion job reads its source through: open a
// file, its header and streams, their formats, and frames decoded to packed
// device-independent bitmaps. Built on the file's own header list and on
// FFmpeg's demuxer and decoders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvexa/avi_types.h"
#include "platform/avi_header.h"
#include "platform/picture_scaler.h"

namespace corvexa::platform {

class AviStream;

class AviFile : public std::enable_shared_from_this<AviFile> {
 public:
  // Null for anything that is not a readable AVI file.
  static std::shared_ptr<AviFile> open(const std::string& path);

  // Width and height are those of the coded picture (a header that says 1088
  // lines for a 1080-line picture is not believed); rate, scale and length
  // are the first video stream's, or the main header's without video.
  const AviFileInfo& info() const { return info_; }
  // The `index`-th stream of `type` (kStreamTypeVideo / kStreamTypeAudio).
  std::shared_ptr<AviStream> get_stream(std::uint32_t type, int index);
  const std::string& path() const { return path_; }

 private:
  friend class AviStream;
  std::string path_;
  AviHeader header_;
  AviFileInfo info_{};
  std::vector<int> coded_width_, coded_height_;  // per stream, 0 when unknown
  std::vector<double> pixel_aspect_;             // per stream, 0 when unknown
};

// A stream keeps its file alive.
class AviStream {
 public:
  AviStream(std::shared_ptr<AviFile> file, int ordinal);
  const AviStreamInfo& info() const;
  // The stream's format block: a bitmap header (with colour table) for video,
  // a wave format for audio.
  const std::vector<std::uint8_t>& format() const;
  int ordinal() const { return ordinal_; }
  const std::shared_ptr<AviFile>& file() const { return file_; }
  int coded_width() const { return file_->coded_width_[static_cast<std::size_t>(ordinal_)]; }
  int coded_height() const { return file_->coded_height_[static_cast<std::size_t>(ordinal_)]; }
  // Width over height of one pixel as shown; 0 when the file does not say.
  double pixel_aspect() const { return file_->pixel_aspect_[static_cast<std::size_t>(ordinal_)]; }

 private:
  std::shared_ptr<AviFile> file_;
  int ordinal_;
};

// Frames of a video stream as packed bitmaps: header, colour table, rows
// bottom-up. Uncompressed 1- to 32-bit frames come out as stored (top-down
// files turned bottom-up); compressed ones come out decoded to 32 bits.
class AviFrameDecoder {
 public:
  // Null when the stream's frames cannot be produced.
  static std::unique_ptr<AviFrameDecoder> open(std::shared_ptr<AviStream> stream);
  virtual ~AviFrameDecoder() = default;
  // Frame `frame` (stream numbering, from the stream's start) or null when it
  // cannot be decoded. The bitmap stays valid until the next call.
  virtual const std::uint8_t* get_frame(std::int64_t frame) = 0;
  // Decoded frames come out at `geometry` (32 bits) from now on; false when
  // this decoder gives its frames only as stored.
  virtual bool set_geometry(const PictureGeometry& geometry) = 0;
  // Frames as planar 4:2:0 Y'CbCr from now on, for a decoder whose frames
  // are 4:2:0 studio-range BT.601 already; false (and RGB kept) otherwise.
  // While on, get_frame gives no picture rows, only the planes below.
  virtual bool set_planar(bool on) {
    (void)on;
    return false;
  }
  struct Planes {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    int width = 0, height = 0;  // chroma planes are half of each
  };
  // Frame `frame` as planes, or null (not planar, or not decodable).
  virtual const Planes* get_planes(std::int64_t frame) {
    (void)frame;
    return nullptr;
  }
};

}  // namespace corvexa::platform
