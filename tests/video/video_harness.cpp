#include "video_harness.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_entry.h"

namespace video_test {

using namespace corvexa::mpeg;

void MovingPattern::Pixel(int n, int x, int y, int& r, int& g, int& b) const {
  const int sx = x - dx_ * n, sy = y - dy_ * n;
  r = (sx * 3 + sy) & 255;
  g = ((sy * 2) ^ (sx / 4 * 8)) & 255;
  b = 128 + static_cast<int>(60 * std::sin((sx + sy) * 0.15));
  const int qx = 8 + (dx_ + dy_) * n, qy = 6 + dy_ * n;
  if (x >= qx && x < qx + 14 && y >= qy && y < qy + 10) {
    r = 240;
    g = 40;
    b = 30;
  }
}

int MovingPattern::GetFrame(int n, corvexa::FrameHolder& holder, int& line_bytes, int& repeat) {
  ++calls;
  asked.push_back(n);
  if (n == error_at) return 4;
  if (n >= frames_) return 2;
  line_bytes = width_ * 4;
  if (!holder.Allocate(line_bytes * height_)) return 4;
  std::uint8_t* p = holder.Data();
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* line = p + static_cast<std::size_t>(height_ - 1 - y) * line_bytes;
    for (int x = 0; x < width_; ++x) {
      int r, g, b;
      Pixel(n, x, y, r, g, b);
      line[4 * x] = static_cast<std::uint8_t>(b);
      line[4 * x + 1] = static_cast<std::uint8_t>(g);
      line[4 * x + 2] = static_cast<std::uint8_t>(r);
    }
  }
  repeat = repeat_count;
  return 0;
}

ClipFrames::ClipFrames(const std::string& clip, const std::string& scratch, int width,
                       int height, int frames)
    : width_(width), height_(height) {
  if (clip.empty()) return;
  const std::string command = "ffmpeg -nostdin -v error -y -i '" + clip + "' -frames:v " +
                              std::to_string(frames) + " -vf scale=" + std::to_string(width) +
                              ":" + std::to_string(height) + " -pix_fmt bgra -f rawvideo '" +
                              scratch + "'";
  if (std::system(command.c_str()) != 0) return;
  const std::vector<std::uint8_t> all = read_file(scratch);
  const std::size_t size = static_cast<std::size_t>(width) * height * 4;
  for (std::size_t off = 0; off + size <= all.size(); off += size)
    frames_.emplace_back(all.begin() + static_cast<long>(off),
                         all.begin() + static_cast<long>(off + size));
}

int ClipFrames::GetFrame(int n, corvexa::FrameHolder& holder, int& line_bytes, int& repeat) {
  if (n < 0 || n >= count()) return 2;
  line_bytes = 4 * width_;
  if (!holder.Allocate(line_bytes * height_)) return 4;
  const std::vector<std::uint8_t>& f = frames_[static_cast<std::size_t>(n)];
  for (int y = 0; y < height_; ++y)
    std::memcpy(holder.Data() + static_cast<std::size_t>(height_ - 1 - y) * line_bytes,
                f.data() + static_cast<std::size_t>(y) * line_bytes,
                static_cast<std::size_t>(line_bytes));
  repeat = 0;
  return 0;
}

namespace {

Plane copy_plane(const std::uint8_t* p, int width, int height, int stride) {
  Plane out;
  out.width = width;
  out.height = height;
  out.data.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    std::memcpy(out.data.data() + static_cast<std::size_t>(y) * width,
                p + static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(width));
  return out;
}

}  // namespace

void ReconstructionLog::Picture(int display_frame, const std::uint8_t* y, const std::uint8_t* cb,
                                const std::uint8_t* cr, int width, int height, int chroma_width,
                                int chroma_height, int stride, int chroma_stride) {
  if (static_cast<int>(by_display.size()) <= display_frame)
    by_display.resize(static_cast<std::size_t>(display_frame) + 1);
  Frame& f = by_display[static_cast<std::size_t>(display_frame)];
  f.y = copy_plane(y, width, height, stride);
  f.cb = copy_plane(cb, chroma_width, chroma_height, chroma_stride);
  f.cr = copy_plane(cr, chroma_width, chroma_height, chroma_stride);
  coding_order.push_back(display_frame);
}

void Messages::Progress(const char* text, int percent) {
  percents.push_back(percent);
  messages.emplace_back(text);
}

bool Messages::Has(const std::string& text) const {
  return std::any_of(messages.begin(), messages.end(),
                     [&](const std::string& m) { return m.find(text) != std::string::npos; });
}

void configure(EncoderContext& ctx, int kind, int width, int height, int frames,
               const std::string& video_file, bool pal) {
  apply_preset(ctx, ctx.record, kind, pal);
  ctx.source = SourceInfo{};
  ctx.source.has_video = true;
  ctx.source.width = width;
  ctx.source.height = height;
  ctx.source.first_frame = 0;
  ctx.source.last_frame = frames - 1;
  load_settings(ctx, ctx.record);
  ctx.video_file = video_file;
}

namespace {

std::mutex log_mutex;
int logged_errors = 0;

void count_errors(void* avcl, int level, const char* fmt, va_list args) {
  if (level <= AV_LOG_ERROR) {
    std::lock_guard<std::mutex> lock(log_mutex);
    ++logged_errors;
  }
  (void)avcl;
  (void)fmt;
  (void)args;
}

Plane plane_of(const AVFrame* f, int c, int w, int h) {
  return copy_plane(f->data[c], w, h, f->linesize[c]);
}

}  // namespace

namespace {

// Offsets where each coded picture begins, with the sequence and GOP headers
// in front of it, and the end of the stream.
std::vector<std::size_t> picture_bounds(const std::vector<std::uint8_t>& b) {
  std::vector<std::size_t> at;
  bool after_slice = true;
  for (std::size_t i = 0; i + 3 < b.size(); ++i) {
    if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
    const int code = b[i + 3];
    if ((code == 0xB3 || code == 0xB8 || code == 0x00) && after_slice) {
      at.push_back(i);
      after_slice = false;
    } else if (code >= 0x01 && code <= 0xAF) {
      after_slice = true;
    }
    i += 3;
  }
  at.push_back(b.size());
  return at;
}

}  // namespace

Decoded decode_strict(const std::string& path, DecodeMode mode) {
  Decoded out;
  std::vector<std::uint8_t> bytes = read_file(path);
  if (bytes.size() < 4) {
    out.error = "stream too short";
    return out;
  }
  // libavcodec's strict mode counts a sequence end code right after the last
  // slice as unread slice data, so the end code is checked here instead.
  static const std::uint8_t kEnd[4] = {0, 0, 1, 0xB7};
  out.has_end_code = std::equal(kEnd, kEnd + 4, bytes.end() - 4);
  if (out.has_end_code) bytes.resize(bytes.size() - 4);
  const AVCodecID id = AV_CODEC_ID_MPEG2VIDEO;  // decodes MPEG-1 as well
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecContext* c = avcodec_alloc_context3(codec);
  AVCodecParserContext* parser = av_parser_init(id);
  c->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_CAREFUL |
                       AV_EF_CRCCHECK;
  // With a field per packet the error-resilience count still holds the
  // other field's macroblocks when a packet ends, which "explode" takes for
  // an error without saying so; every real fault is logged and counted.
  if (mode.packet_per_picture) c->err_recognition &= ~AV_EF_EXPLODE;
  if (mode.zero_stuffing) c->err_recognition &= ~AV_EF_BITSTREAM;
  c->thread_count = 1;
  av_log_set_callback(count_errors);
  {
    std::lock_guard<std::mutex> lock(log_mutex);
    logged_errors = 0;
  }
  if (avcodec_open2(c, codec, nullptr) < 0) {
    out.error = "open failed";
    return out;
  }
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  bool failed = false;
  auto drain = [&]() {
    while (true) {
      const int r = avcodec_receive_frame(c, frame);
      if (r < 0) return r;
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT)) {
        failed = true;
        out.error = "frame with decode errors";
      }
      const int cw = AV_CEIL_RSHIFT(frame->width, frame->format == AV_PIX_FMT_YUV444P ? 0 : 1);
      const int ch = frame->format == AV_PIX_FMT_YUV420P ? AV_CEIL_RSHIFT(frame->height, 1)
                                                         : frame->height;
      Frame f;
      f.y = plane_of(frame, 0, frame->width, frame->height);
      f.cb = plane_of(frame, 1, cw, ch);
      f.cr = plane_of(frame, 2, cw, ch);
      out.frames.push_back(std::move(f));
      out.repeat_pict.push_back(frame->repeat_pict);
      out.top_field_first.push_back(frame->top_field_first);
      out.width = frame->width;
      out.height = frame->height;
      av_frame_unref(frame);
    }
  };
  if (mode.packet_per_picture) {
    const std::vector<std::size_t> bounds = picture_bounds(bytes);
    for (std::size_t k = 0; k + 1 < bounds.size() && !failed; ++k) {
      if (av_new_packet(pkt, static_cast<int>(bounds[k + 1] - bounds[k])) < 0) {
        failed = true;
        out.error = "out of memory";
        break;
      }
      std::memcpy(pkt->data, bytes.data() + bounds[k], bounds[k + 1] - bounds[k]);
      const int sent = avcodec_send_packet(c, pkt);
      if (sent < 0) {
        failed = true;
        out.error = "send_packet rejected picture " + std::to_string(k) + ": " +
                    std::to_string(sent);
      }
      av_packet_unref(pkt);
      drain();
    }
  }
  const std::uint8_t* data = bytes.data();
  int size = mode.packet_per_picture ? 0 : static_cast<int>(bytes.size());
  while (size > 0 && !failed) {
    const int used = av_parser_parse2(parser, c, &pkt->data, &pkt->size, data, size,
                                      AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (used < 0) {
      failed = true;
      out.error = "parser error";
      break;
    }
    data += used;
    size -= used;
    if (pkt->size > 0) {
      if (avcodec_send_packet(c, pkt) < 0) {
        failed = true;
        out.error = "send_packet rejected data";
      }
      drain();
    }
  }
  if (!mode.packet_per_picture)
    av_parser_parse2(parser, c, &pkt->data, &pkt->size, nullptr, 0, AV_NOPTS_VALUE,
                     AV_NOPTS_VALUE, 0);
  if (!mode.packet_per_picture && pkt->size > 0 && avcodec_send_packet(c, pkt) < 0) {
    failed = true;
    out.error = "send_packet rejected the last data";
  }
  avcodec_send_packet(c, nullptr);
  drain();
  out.frame_rate = av_q2d(c->framerate);
  out.codec = codec->name;
  {
    std::lock_guard<std::mutex> lock(log_mutex);
    out.errors_logged = logged_errors;
  }
  av_log_set_callback(av_log_default_callback);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  av_parser_close(parser);
  avcodec_free_context(&c);
  out.ok = !failed && out.errors_logged == 0;
  if (out.errors_logged && out.error.empty()) out.error = "decoder logged errors";
  return out;
}

double psnr(const Plane& a, const Plane& b) {
  if (a.width != b.width || a.height != b.height || a.data.empty()) return 0.0;
  double sse = 0;
  for (std::size_t i = 0; i < a.data.size(); ++i) {
    const double d = static_cast<double>(a.data[i]) - b.data[i];
    sse += d * d;
  }
  if (sse == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(a.data.size()) / sse);
}

double worst_plane_psnr(const Frame& a, const Frame& b) {
  return std::min({psnr(a.y, b.y), psnr(a.cb, b.cb), psnr(a.cr, b.cr)});
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

}  // namespace video_test
