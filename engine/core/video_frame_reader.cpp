#include "core/video_frame_reader.h"

#include <cstring>

#include "core/bitmap_convert.h"

namespace corvexa::core {

bool VideoFrameReader::Open(const std::string& path) {
  if (file_) return true;
  file_ = platform::AviFile::open(path);
  if (!file_) return false;
  width_ = static_cast<int>(file_->info().width);
  height_ = static_cast<int>(file_->info().height);
  stream_ = file_->get_stream(kStreamTypeVideo, 0);
  if (!stream_) return false;
  decoder_ = platform::AviFrameDecoder::open(stream_);
  return decoder_ != nullptr;
}

bool VideoFrameReader::ReadHeader(AviStreamInfo& info) {
  if (!stream_) return false;
  info = stream_->info();
  return true;
}

const std::uint8_t* VideoFrameReader::decode(std::int64_t frame, std::size_t& size) {
  if (!decoder_) return nullptr;
  const std::uint8_t* bitmap = decoder_->get_frame(frame);
  if (bitmap == nullptr) return nullptr;
  BitmapInfoHeader h;
  std::memcpy(&h, bitmap, sizeof h);
  std::size_t table = h.clr_used ? h.clr_used : (h.bit_count <= 8 ? (1u << h.bit_count) : 0);
  size = h.size + table * 4 + h.size_image;
  return bitmap;
}

int VideoFrameReader::ProbeDepth(std::int64_t frame) {
  if (media_ != nullptr) return 32;
  std::size_t size = 0;
  const std::uint8_t* bitmap = decode(frame, size);
  int depth = bitmap ? bitmap_depth(bitmap, size) : 0;
  return (depth == 8 || depth == 16 || depth == 24 || depth == 32) ? depth : 0;
}

std::int64_t VideoFrameReader::LastDecodable(std::int64_t last, std::int64_t first) {
  if (media_ != nullptr) return last >= first ? last : -1;
  std::size_t size = 0;
  for (std::int64_t frame = last; frame >= first; --frame)
    if (decode(frame, size) != nullptr) return frame;
  return -1;
}

bool VideoFrameReader::SetGeometry(const platform::PictureGeometry& geometry) {
  geometry_ = geometry;
  decoder_scales_ = decoder_ != nullptr && decoder_->set_geometry(geometry);
  return decoder_ != nullptr || media_ != nullptr;
}

bool VideoFrameReader::SetPlanar(bool on) {
  // 4:2:0 planes need an even picture.
  const bool even = width() % 2 == 0 && height() % 2 == 0;
  planar_ = on && even && decoder_ != nullptr && decoder_scales_ && decoder_->set_planar(true);
  if (!on && decoder_ != nullptr) decoder_->set_planar(false);
  return planar_ == on;
}

const platform::AviFrameDecoder::Planes* VideoFrameReader::ReadPlanes(std::int64_t frame) {
  return planar_ ? decoder_->get_planes(frame) : nullptr;
}

bool VideoFrameReader::ReadFrame(FrameHolder& holder, std::int32_t& line_bytes,
                                 std::int64_t frame) {
  if (planar_) return false;  // the decoder gives planes only
  if (media_ != nullptr) return ReadMediaFrame(holder, line_bytes, frame);
  std::size_t size = 0;
  const std::uint8_t* bitmap = decode(frame, size);
  if (bitmap == nullptr || width_ <= 0 || height_ <= 0) return false;
  const int w = width(), h = height();
  line_bytes = w * 4;
  const std::int64_t bytes = static_cast<std::int64_t>(w) * 4 * h;
  if (bytes > INT32_MAX || !holder.Allocate(static_cast<std::int32_t>(bytes))) return false;
  if (geometry_.keeps_source() || decoder_scales_) {
    convert_bitmap_to_32(bitmap, size, w, h, holder.Data());
  } else {
    // Stored frames of any depth are made 32 bits first, then scaled.
    source_picture_.resize(static_cast<std::size_t>(width_) * 4 * static_cast<std::size_t>(height_));
    convert_bitmap_to_32(bitmap, size, width_, height_, source_picture_.data());
    if (!scaler_.scale_bgra(source_picture_.data(), width_, height_, geometry_, holder.Data()))
      return false;
  }
  if (preview_ != nullptr && preview_->IsVisible()) preview_->Present(holder.Data(), w, h);
  return true;
}

void VideoFrameReader::UseMediaSource(MediaSource* source) {
  media_ = source;
  width_ = source->Width();
  height_ = source->Height();
}

// The frame source goes forward only: frames that the rate leaves out are
// fetched and passed over, and a frame asked for again repeats the last.
bool VideoFrameReader::ReadMediaFrame(FrameHolder& holder, std::int32_t& line_bytes,
                                      std::int64_t frame) {
  if (width_ <= 0 || height_ <= 0) return false;
  source_picture_.resize(static_cast<std::size_t>(width_) * 4 * static_cast<std::size_t>(height_));
  std::uint8_t* picture = source_picture_.data();
  while (media_->Position() < frame)
    if (!media_->NextFrame(picture)) return false;
  const bool fetched = frame == media_->Position() ? media_->NextFrame(picture) : media_->CopyFrame(picture);
  if (!fetched) return false;
  const int w = width(), h = height();
  line_bytes = w * 4;
  const std::int64_t bytes = static_cast<std::int64_t>(w) * 4 * h;
  if (bytes > INT32_MAX || !holder.Allocate(static_cast<std::int32_t>(bytes))) return false;
  if (geometry_.keeps_source())
    std::memcpy(holder.Data(), picture, static_cast<std::size_t>(bytes));
  else if (!scaler_.scale_bgra(picture, width_, height_, geometry_, holder.Data()))
    return false;
  if (preview_ != nullptr && preview_->IsVisible()) preview_->Present(holder.Data(), w, h);
  return true;
}

std::string VideoFrameReader::codec_name() const {
  if (!stream_) return "";
  std::uint32_t code = stream_->info().handler;
  const std::vector<std::uint8_t>& format = stream_->format();
  if (format.size() >= sizeof(BitmapInfoHeader)) {
    BitmapInfoHeader h;
    std::memcpy(&h, format.data(), sizeof h);
    if (h.compression != 0) code = h.compression;
  }
  std::string name;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
    name += (c >= 32 && c < 127) ? c : '?';
  }
  return name;
}

void VideoFrameReader::Close() {
  planar_ = false;
  media_ = nullptr;
  decoder_.reset();
  stream_.reset();
  file_.reset();
}

}  // namespace corvexa::core
