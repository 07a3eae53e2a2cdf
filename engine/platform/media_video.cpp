#include "platform/media_video.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/ffmpeg_handles.h"
#include "platform/media_file.h"
#include "platform/picture_scaler.h"

namespace corvexa::platform {

namespace {

struct Picture {
  std::vector<std::uint8_t> pixels;
  std::int64_t time = 0;
};

}  // namespace

struct MediaVideo::Impl {
  FormatHandle format;
  CodecHandle codec;
  PictureScaler scaler;
  PacketHandle packet;
  FrameHandle frame;
  int index = -1;
  AVRational time_base{1, 1};
  std::int64_t file_start = 0;  // ticks
  std::int64_t time_per_frame = 0;
  Picture current, ahead;
  bool have_current = false, have_ahead = false;
  bool draining = false, ended = false;
  std::int64_t last_time = -1;

  std::int64_t ticks(std::int64_t value) const {
    return av_rescale_q(value, time_base, AVRational{1, static_cast<int>(kMediaTicksPerSecond)}) -
           file_start;
  }

  bool receive() {
    while (true) {
      const int got = avcodec_receive_frame(codec.get(), frame.get());
      if (got == 0) return true;
      if (got != AVERROR(EAGAIN) || draining) return false;
      av_packet_unref(packet.get());
      bool fed = false;
      while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
          fed = true;
          break;
        }
        av_packet_unref(packet.get());
      }
      if (!fed) {
        draining = true;
        avcodec_send_packet(codec.get(), nullptr);
        continue;
      }
      // A damaged packet is skipped: the pictures after it still come.
      avcodec_send_packet(codec.get(), packet.get());
    }
  }

  // The next decoded picture, scaled, into `out`.
  bool decode_into(Picture& out, int width, int height) {
    if (ended) return false;
    while (true) {
      if (!receive()) {
        ended = true;
        return false;
      }
      const int w = frame->width, h = frame->height;
      if (w <= 0 || h <= 0) continue;
      // The same exact conversion as the AVI services' frames get.
      out.pixels.resize(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height));
      const PictureGeometry whole{width, height, 0, 0, width, height};
      if (!scaler.convert(frame->format, frame->data, frame->linesize, w, h, frame_full_range(*frame),
                          frame_hd_matrix(*frame), whole, out.pixels.data())) {
        av_frame_unref(frame.get());
        continue;
      }
      const std::int64_t pts = frame->best_effort_timestamp;
      out.time = pts != AV_NOPTS_VALUE ? ticks(pts)
                 : last_time >= 0      ? last_time + time_per_frame
                                       : 0;
      last_time = out.time;
      av_frame_unref(frame.get());
      return true;
    }
  }
};

MediaVideo::MediaVideo() : impl_(std::make_unique<Impl>()) {}
MediaVideo::~MediaVideo() = default;

std::unique_ptr<MediaVideo> MediaVideo::open(const std::string& path, int index, int width,
                                             int height) {
  std::unique_ptr<MediaVideo> video(new MediaVideo());
  Impl& m = *video->impl_;
  m.format = open_media(path.c_str(), nullptr);
  if (!m.format) return nullptr;
  std::unique_ptr<MediaFile> file = MediaFile::open(path);
  if (!file) return nullptr;
  if (index < 0 && file->primary_video() != nullptr) index = file->primary_video()->index;
  if (index < 0 || index >= static_cast<int>(m.format->nb_streams)) return nullptr;
  for (const MediaStreamInfo& s : file->streams())
    if (s.index == index) m.time_per_frame = s.time_per_frame;
  m.index = index;
  AVStream* st = m.format->streams[index];
  if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return nullptr;
  for (unsigned i = 0; i < m.format->nb_streams; ++i)
    if (static_cast<int>(i) != index) m.format->streams[i]->discard = AVDISCARD_ALL;
  m.time_base = st->time_base;
  if (m.format->start_time != AV_NOPTS_VALUE)
    m.file_start = av_rescale(m.format->start_time, kMediaTicksPerSecond, AV_TIME_BASE);
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  m.codec.reset(avcodec_alloc_context3(codec));
  if (!m.codec || avcodec_parameters_to_context(m.codec.get(), st->codecpar) < 0) return nullptr;
  m.codec->thread_count = 0;
  if (avcodec_open2(m.codec.get(), codec, nullptr) < 0) return nullptr;
  m.packet.reset(av_packet_alloc());
  m.frame.reset(av_frame_alloc());
  if (!m.packet || !m.frame) return nullptr;
  video->width_ = width > 0 ? width : m.codec->width;
  video->height_ = height > 0 ? height : m.codec->height;
  if (video->width_ <= 0 || video->height_ <= 0 || video->width_ > 16384 || video->height_ > 16384)
    return nullptr;
  return video;
}

std::int64_t MediaVideo::start_time() const {
  const AVStream* st = impl_->format->streams[impl_->index];
  return st->start_time != AV_NOPTS_VALUE ? std::max<std::int64_t>(0, impl_->ticks(st->start_time))
                                          : 0;
}

std::int64_t MediaVideo::time_per_frame() const { return impl_->time_per_frame; }

bool MediaVideo::next() {
  Impl& m = *impl_;
  if (m.have_ahead) {
    std::swap(m.current, m.ahead);
    m.have_ahead = false;
    m.have_current = true;
    return true;
  }
  if (!m.decode_into(m.current, width_, height_)) return false;
  m.have_current = true;
  return true;
}

bool MediaVideo::advance_to(std::int64_t time) {
  Impl& m = *impl_;
  if (!m.have_current && !next()) return false;
  while (true) {
    if (!m.have_ahead) {
      if (!m.decode_into(m.ahead, width_, height_)) return true;
      m.have_ahead = true;
    }
    if (m.ahead.time > time) return true;
    std::swap(m.current, m.ahead);
    m.have_ahead = false;
  }
}

bool MediaVideo::seek(std::int64_t time) {
  Impl& m = *impl_;
  const std::int64_t target =
      av_rescale_q(std::max<std::int64_t>(0, time) + m.file_start,
                   AVRational{1, static_cast<int>(kMediaTicksPerSecond)}, m.time_base);
  if (av_seek_frame(m.format.get(), m.index, target, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(m.format.get(), m.index, INT64_MIN, target, target, 0) < 0)
    return false;
  avcodec_flush_buffers(m.codec.get());
  m.have_current = m.have_ahead = false;
  m.draining = m.ended = false;
  m.last_time = -1;
  return true;
}

bool MediaVideo::finished() const { return impl_->ended && !impl_->have_ahead; }

const std::uint8_t* MediaVideo::picture() const {
  return impl_->have_current ? impl_->current.pixels.data() : nullptr;
}

std::int64_t MediaVideo::picture_time() const { return impl_->current.time; }

}  // namespace corvexa::platform
