#include "platform/avi_services.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "platform/ffmpeg_handles.h"
#include "platform/picture_scaler.h"

namespace corvexa::platform {

namespace {

bool is_uncompressed(std::uint32_t compression) {
  return compression == kBiRgb || compression == 3 /* bit fields */ ||
         compression == make_fourcc('D', 'I', 'B', ' ') ||
         compression == make_fourcc('R', 'G', 'B', ' ') ||
         compression == make_fourcc('r', 'a', 'w', ' ');
}

std::uint32_t row_bytes(int width, int depth) {
  return static_cast<std::uint32_t>(((static_cast<std::int64_t>(width) * depth + 31) & ~31) / 8);
}

// The FFmpeg stream that carries the `ordinal`-th stream list of the file;
// -1 when the demuxer did not make one for it.
int ffmpeg_stream_for(const AVFormatContext* context, int ordinal) {
  return ordinal < static_cast<int>(context->nb_streams) ? ordinal : -1;
}

// Reads the packets of one stream, with seeking by frame number.
class StreamPackets {
 public:
  bool open(const AviStream& stream) {
    format_ = open_media(stream.file()->path().c_str(), "avi");
    if (!format_) return false;
    index_ = ffmpeg_stream_for(format_.get(), stream.ordinal());
    if (index_ < 0) return false;
    for (unsigned i = 0; i < format_->nb_streams; ++i)
      if (static_cast<int>(i) != index_) format_->streams[i]->discard = AVDISCARD_ALL;
    packet_.reset(av_packet_alloc());
    return packet_ != nullptr;
  }
  AVStream* stream() const { return format_->streams[index_]; }
  // The next packet of the stream, or null at the end or on a read error.
  AVPacket* next() {
    av_packet_unref(packet_.get());
    while (av_read_frame(format_.get(), packet_.get()) >= 0) {
      if (packet_->stream_index == index_) return packet_.get();
      av_packet_unref(packet_.get());
    }
    return nullptr;
  }
  bool seek(std::int64_t pts) {
    return av_seek_frame(format_.get(), index_, pts, AVSEEK_FLAG_BACKWARD) >= 0;
  }

 private:
  FormatHandle format_;
  PacketHandle packet_;
  int index_ = -1;
};

// Holds the picture of the current frame, shown again for frames that the
// file stores as empty chunks.
class FrameDecoderBase : public AviFrameDecoder {
 public:
  bool set_geometry(const PictureGeometry& geometry) override {
    if (!scales()) return geometry.keeps_source();
    geometry_ = geometry;
    have_current_ = false;  // the picture held was made for the old size
    return true;
  }

  const std::uint8_t* get_frame(std::int64_t frame) override {
    if (frame < first_ || frame >= end_) return nullptr;
    const std::int64_t target = frame - first_ + first_pts_;
    if (have_current_ && current_pts_ == target) return bitmap_.data();
    // Decoding forward is cheaper than seeking for a short way ahead.
    if (!have_current_ || target < current_pts_ || target > current_pts_ + kForwardWindow) {
      if (!restart(target)) return nullptr;
    }
    while (true) {
      if (have_pending_) {
        if (pending_pts_ > target) {
          // Nothing is coded for `target`: it repeats the picture before it.
          return have_current_ ? bitmap_.data() : nullptr;
        }
        take_pending();
        if (current_pts_ == target) return bitmap_.data();
        continue;
      }
      if (!decode_next()) {
        // Past the last coded picture the last one stands.
        return have_current_ && current_pts_ < target ? bitmap_.data() : nullptr;
      }
    }
  }

 protected:
  static constexpr std::int64_t kForwardWindow = 64;

  bool init_range(const AviStream& stream) {
    first_ = stream.info().start;
    end_ = first_ + stream.info().length;
    AVStream* s = packets_.stream();
    first_pts_ = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
    return end_ > first_;
  }

  bool restart(std::int64_t target) {
    have_current_ = false;
    have_pending_ = false;
    if (!packets_.seek(target)) return false;
    on_seek();
    return true;
  }
  // Puts the pending picture into bitmap_.
  virtual void take_pending() = 0;
  // Decodes until a picture is pending; false at the end.
  virtual bool decode_next() = 0;
  virtual void on_seek() {}
  virtual bool scales() const { return false; }

  StreamPackets packets_;
  std::vector<std::uint8_t> bitmap_;
  bool have_current_ = false;
  std::int64_t current_pts_ = 0;
  bool have_pending_ = false;
  std::int64_t pending_pts_ = 0;
  std::int64_t first_ = 0, end_ = 0, first_pts_ = 0;
  PictureGeometry geometry_;
};

std::int64_t packet_pts(const AVPacket* p) { return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts; }

// Uncompressed frames: the chunk's rows as stored, with the stream's colour table.
class RawFrameDecoder final : public FrameDecoderBase {
 public:
  bool open(std::shared_ptr<AviStream> stream) {
    const std::vector<std::uint8_t>& format = stream->format();
    if (format.size() < sizeof(BitmapInfoHeader)) return false;
    std::memcpy(&header_, format.data(), sizeof header_);
    const int depth = header_.bit_count;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
      return false;
    if (header_.width <= 0 || header_.height == 0 || header_.width > 32768 ||
        header_.height > 32768 || header_.height < -32768)
      return false;
    top_down_ = header_.height < 0;
    header_.height = std::abs(header_.height);
    // A colour table for palettised depths; bit-field masks are dropped, the
    // rows are read as plain 5-5-5 or 8-8-8.
    std::uint32_t colours = depth <= 8 ? header_.clr_used : 0;
    if (colours == 0 && depth <= 8) colours = 1u << depth;
    colours = std::min<std::uint32_t>(colours, 256);
    header_.compression = kBiRgb;
    header_.size = sizeof(BitmapInfoHeader);
    header_.clr_used = colours;
    palette_.assign(colours * 4, 0);
    std::size_t stored = std::min<std::size_t>(format.size() - sizeof(BitmapInfoHeader),
                                               palette_.size());
    if (stored > 0) std::memcpy(palette_.data(), format.data() + sizeof(BitmapInfoHeader), stored);
    stride_ = row_bytes(header_.width, depth);
    image_bytes_ = static_cast<std::size_t>(stride_) * static_cast<std::size_t>(header_.height);
    header_.size_image = static_cast<std::uint32_t>(image_bytes_);
    if (!packets_.open(*stream)) return false;
    return init_range(*stream);
  }

 private:
  bool decode_next() override {
    while (AVPacket* p = packets_.next()) {
      std::int64_t pts = packet_pts(p);
      if (pts == AV_NOPTS_VALUE) continue;
      // A palette change travels with the packet.
      std::size_t side_size = 0;
      const std::uint8_t* pal = av_packet_get_side_data(p, AV_PKT_DATA_PALETTE, &side_size);
      if (pal != nullptr && !palette_.empty()) {
        std::memcpy(palette_.data(), pal, std::min(side_size, palette_.size()));
      }
      if (p->size == 0) continue;  // a dropped frame: the previous picture stands
      if (static_cast<std::size_t>(p->size) < image_bytes_) continue;  // damaged chunk
      pending_.assign(p->data, p->data + image_bytes_);
      pending_pts_ = pts;
      have_pending_ = true;
      return true;
    }
    return false;
  }

  void take_pending() override {
    bitmap_.resize(sizeof header_ + palette_.size() + image_bytes_);
    std::uint8_t* out = bitmap_.data();
    std::memcpy(out, &header_, sizeof header_);
    if (!palette_.empty()) std::memcpy(out + sizeof header_, palette_.data(), palette_.size());
    std::uint8_t* rows = out + sizeof header_ + palette_.size();
    if (top_down_) {
      const int h = header_.height;
      for (int y = 0; y < h; ++y)
        std::memcpy(rows + static_cast<std::size_t>(y) * stride_,
                    pending_.data() + static_cast<std::size_t>(h - 1 - y) * stride_, stride_);
    } else {
      std::memcpy(rows, pending_.data(), image_bytes_);
    }
    have_pending_ = false;
    have_current_ = true;
    current_pts_ = pending_pts_;
  }

  BitmapInfoHeader header_{};
  std::vector<std::uint8_t> palette_;
  std::vector<std::uint8_t> pending_;
  std::uint32_t stride_ = 0;
  std::size_t image_bytes_ = 0;
  bool top_down_ = false;
};

// Compressed frames, decoded by FFmpeg and turned into bottom-up 32-bit bitmaps.
class CodecFrameDecoder final : public FrameDecoderBase {
 public:
  bool open(std::shared_ptr<AviStream> stream) {
    if (!packets_.open(*stream)) return false;
    const AVCodecParameters* par = packets_.stream()->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr) return false;
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), par) < 0) return false;
    codec_->thread_count = 1;
    if (avcodec_open2(codec_.get(), codec, nullptr) < 0) return false;
    frame_.reset(av_frame_alloc());
    if (!frame_) return false;
    return init_range(*stream);
  }

 private:
  bool decode_next() override {
    while (true) {
      int got = avcodec_receive_frame(codec_.get(), frame_.get());
      if (got == 0) {
        // AVI carries no presentation times, and a decoder with delay labels
        // its output with later packets' times. Pictures come out in display
        // order, one per coded chunk: the n-th picture is the n-th chunk.
        if (sent_.empty()) continue;
        const std::int64_t pts = sent_.front();
        sent_.pop_front();
        pending_pts_ = pts;
        have_pending_ = true;
        return true;
      }
      if (got == AVERROR_EOF) return false;
      if (draining_) return false;
      AVPacket* p = packets_.next();
      if (p == nullptr) {
        draining_ = true;
        avcodec_send_packet(codec_.get(), nullptr);
        continue;
      }
      if (p->size == 0) continue;  // a dropped frame: the previous picture stands
      const std::int64_t number = p->dts != AV_NOPTS_VALUE ? p->dts : packet_pts(p);
      // A packet the decoder refuses is skipped; the frame it carried fails.
      if (avcodec_send_packet(codec_.get(), p) == 0 && number != AV_NOPTS_VALUE)
        sent_.push_back(number);
    }
  }

  bool scales() const override { return true; }

  bool set_planar(bool on) override {
    if (on) {
      const AVCodecParameters* par = packets_.stream()->codecpar;
      const bool bt601 = par->color_space == AVCOL_SPC_BT470BG || par->color_space == AVCOL_SPC_SMPTE170M ||
                         (par->color_space == AVCOL_SPC_UNSPECIFIED && par->height <= 576);
      if (par->format != AV_PIX_FMT_YUV420P || par->color_range == AVCOL_RANGE_JPEG || !bt601) return false;
    }
    if (planar_ != on) have_current_ = false;
    planar_ = on;
    return true;
  }

  const Planes* get_planes(std::int64_t frame) override {
    if (!planar_ || get_frame(frame) == nullptr) return nullptr;
    return &planes_;
  }

  void on_seek() override {
    avcodec_flush_buffers(codec_.get());
    draining_ = false;
    sent_.clear();
  }

  void take_pending() override {
    have_pending_ = false;
    const int w = frame_->width;
    const int h = frame_->height;
    if (w <= 0 || h <= 0) return;
    const int out_w = geometry_.keeps_source() ? w : geometry_.width;
    const int out_h = geometry_.keeps_source() ? h : geometry_.height;
    BitmapInfoHeader header{};
    header.size = sizeof header;
    header.width = out_w;
    header.height = out_h;
    header.planes = 1;
    header.bit_count = 32;
    header.compression = kBiRgb;
    const std::size_t stride = static_cast<std::size_t>(out_w) * 4;
    header.size_image = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(out_h));
    if (planar_) {
      // Only a header: the picture is in the planes.
      bitmap_.resize(sizeof header);
      std::memcpy(bitmap_.data(), &header, sizeof header);
      const std::size_t luma = static_cast<std::size_t>(out_w) * out_h;
      plane_data_.resize(luma + luma / 2);
      std::uint8_t* y = plane_data_.data();
      if (!scaler_.convert_planar(frame_->format, frame_->data, frame_->linesize, w, h, geometry_, y, y + luma,
                                  y + luma + luma / 4))
        return;
      planes_ = {y, y + luma, y + luma + luma / 4, out_w, out_h};
      have_current_ = true;
      current_pts_ = pending_pts_;
      return;
    }
    bitmap_.resize(sizeof header + header.size_image);
    std::memcpy(bitmap_.data(), &header, sizeof header);
    if (!scaler_.convert(frame_->format, frame_->data, frame_->linesize, w, h,
                         frame_full_range(*frame_), frame_hd_matrix(*frame_), geometry_,
                         bitmap_.data() + sizeof header))
      return;
    have_current_ = true;
    current_pts_ = pending_pts_;
  }

  PictureScaler scaler_;
  bool planar_ = false;
  std::vector<std::uint8_t> plane_data_;
  Planes planes_;
  CodecHandle codec_;
  FrameHandle frame_;
  bool draining_ = false;
  std::deque<std::int64_t> sent_;  // chunk numbers fed, not yet decoded
};

}  // namespace

std::shared_ptr<AviFile> AviFile::open(const std::string& path) {
  std::optional<AviHeader> header = read_avi_header(path);
  if (!header) return nullptr;
  FormatHandle media = open_media(path.c_str(), "avi");
  if (!media) return nullptr;

  auto file = std::shared_ptr<AviFile>(new AviFile());
  file->path_ = path;
  file->header_ = std::move(*header);
  const std::size_t n = file->header_.stream_list.size();
  file->coded_width_.assign(n, 0);
  file->coded_height_.assign(n, 0);
  file->pixel_aspect_.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    int s = ffmpeg_stream_for(media.get(), static_cast<int>(i));
    if (s < 0) continue;
    const AVCodecParameters* par = media->streams[s]->codecpar;
    file->coded_width_[i] = par->width;
    file->coded_height_[i] = std::abs(par->height);
    // The container's aspect (vprp) or the bitstream's.
    const AVRational sar = av_guess_sample_aspect_ratio(media.get(), media->streams[s], nullptr);
    if (sar.num > 0 && sar.den > 0) file->pixel_aspect_[i] = static_cast<double>(sar.num) / sar.den;
  }

  AviFileInfo& info = file->info_;
  const AviHeader& h = file->header_;
  info.max_bytes_per_sec = h.max_bytes_per_sec;
  info.flags = h.flags;
  info.streams = static_cast<std::uint32_t>(n);
  info.suggested_buffer_size = h.suggested_buffer_size;
  info.width = h.width;
  info.height = h.height;
  info.scale = h.micro_sec_per_frame;
  info.rate = 1000000;
  info.length = h.total_frames;
  std::strncpy(info.file_type, "AVI", sizeof info.file_type - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const AviStreamInfo& s = h.stream_list[i].info;
    if (s.type != kStreamTypeVideo) continue;
    if (s.rate != 0 && s.scale != 0) {
      info.rate = s.rate;
      info.scale = s.scale;
    }
    info.length = s.length;
    if (file->coded_width_[i] > 0 && file->coded_height_[i] > 0) {
      info.width = static_cast<std::uint32_t>(file->coded_width_[i]);
      info.height = static_cast<std::uint32_t>(file->coded_height_[i]);
    }
    break;
  }
  return file;
}

std::shared_ptr<AviStream> AviFile::get_stream(std::uint32_t type, int index) {
  int seen = 0;
  for (std::size_t i = 0; i < header_.stream_list.size(); ++i) {
    if (header_.stream_list[i].info.type != type) continue;
    if (seen++ == index) return std::make_shared<AviStream>(shared_from_this(), static_cast<int>(i));
  }
  return nullptr;
}

AviStream::AviStream(std::shared_ptr<AviFile> file, int ordinal)
    : file_(std::move(file)), ordinal_(ordinal) {}

const AviStreamInfo& AviStream::info() const {
  return file_->header_.stream_list[static_cast<std::size_t>(ordinal_)].info;
}

const std::vector<std::uint8_t>& AviStream::format() const {
  return file_->header_.stream_list[static_cast<std::size_t>(ordinal_)].format;
}

std::unique_ptr<AviFrameDecoder> AviFrameDecoder::open(std::shared_ptr<AviStream> stream) {
  if (!stream || stream->info().type != kStreamTypeVideo) return nullptr;
  const std::vector<std::uint8_t>& format = stream->format();
  if (format.size() >= sizeof(BitmapInfoHeader)) {
    BitmapInfoHeader header;
    std::memcpy(&header, format.data(), sizeof header);
    if (is_uncompressed(header.compression)) {
      auto raw = std::make_unique<RawFrameDecoder>();
      if (raw->open(stream)) return raw;
      return nullptr;
    }
  }
  auto decoded = std::make_unique<CodecFrameDecoder>();
  if (decoded->open(stream)) return decoded;
  return nullptr;
}

}  // namespace corvexa::platform
