#include "mpeg/video/frame_input.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "mpeg/video/row_workers.h"

namespace corvexa::mpeg::video {

bool VideoFrameHolder::Allocate(std::int32_t size) {
  if (held_ || size <= 0) return false;
  try {
    buffer_.assign(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    buffer_.clear();
    return false;
  }
  held_ = true;
  return true;
}

const std::uint8_t* clip_table() {
  static const struct Table {
    std::uint8_t v[1024];
    Table() {
      for (int i = 0; i < 1024; ++i) {
        const int x = i - 384;
        v[i] = static_cast<std::uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x));
      }
    }
  } table;
  return table.v + 384;
}

namespace {

struct Weights {
  double kr, kg, kb;
};

Weights weights_for(int code) {
  if (code > 8) code = 3;
  switch (code) {
    case 1: return {0.2125, 0.7154, 0.0721};
    case 4: return {0.30, 0.59, 0.11};
    case 7: return {0.212, 0.701, 0.087};
    default: return {0.299, 0.587, 0.114};
  }
}

struct Q15 {
  int y[3], cb[3], cr[3];
};

Q15 q15_for(int code) {
  if (code > 8) code = 3;
  switch (code) {
    case 1: return {{6963, 23442, 2363}, {-3768, -12648, 16384}, {16384, -14877, -1507}};
    case 4: return {{9830, 19333, 3604}, {-5538, -10846, 16384}, {16384, -13795, -2589}};
    case 7: return {{6947, 22970, 2851}, {-3801, -12583, 16384}, {16384, -14582, -1802}};
    default: return {{9798, 19235, 3736}, {-5538, -10846, 16384}, {16384, -13730, -2654}};
  }
}

inline int clamp_index(int i, int n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

}  // namespace

void convert_rgb(const std::uint8_t* rgb, int line_bytes, int width, int height,
                 int matrix_coefficients, bool plain, std::uint8_t* y, std::uint8_t* cb,
                 std::uint8_t* cr, int stride,
                 void (*line)(const std::uint8_t*, int, const int*, std::uint8_t*, std::uint8_t*,
                              std::uint8_t*)) {
  const Weights w = weights_for(matrix_coefficients);
  const Q15 q = q15_for(matrix_coefficients);
  const int q9[9] = {q.y[0], q.y[1], q.y[2], q.cb[0], q.cb[1], q.cb[2], q.cr[0], q.cr[1], q.cr[2]};
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* src = rgb + static_cast<std::size_t>(height - 1 - row) * line_bytes;
    std::uint8_t* yo = y + static_cast<std::size_t>(row) * stride;
    std::uint8_t* bo = cb + static_cast<std::size_t>(row) * stride;
    std::uint8_t* ro = cr + static_cast<std::size_t>(row) * stride;
    if (!plain && line) {
      line(src, width, q9, yo, bo, ro);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const int b = src[4 * x], g = src[4 * x + 1], r = src[4 * x + 2];
      if (plain) {
        const double yy = w.kr * r + w.kg * g + w.kb * b;
        const double u = (b - yy) / (2 * (1 - w.kb));
        const double v = (r - yy) / (2 * (1 - w.kr));
        yo[x] = static_cast<std::uint8_t>(static_cast<int>(yy * 219.0 / 256.0 + 16.5));
        bo[x] = static_cast<std::uint8_t>(static_cast<int>(u * 0.875 + 128.5));
        ro[x] = static_cast<std::uint8_t>(static_cast<int>(v * 0.875 + 128.5));
      } else {
        const int sy = q.y[0] * r + q.y[1] * g + q.y[2] * b;
        const int su = q.cb[0] * r + q.cb[1] * g + q.cb[2] * b;
        const int sv = q.cr[0] * r + q.cr[1] * g + q.cr[2] * b;
        yo[x] = static_cast<std::uint8_t>((((sy * 219) >> 8) + 540672) >> 15);
        bo[x] = static_cast<std::uint8_t>((((su * 224) >> 8) + 4210688) >> 15);
        ro[x] = static_cast<std::uint8_t>((((sv * 224) >> 8) + 4210688) >> 15);
      }
    }
  }
}

void pad_plane(std::uint8_t* p, int width, int height, int coded_width, int coded_height) {
  for (int row = 0; row < height; ++row) {
    std::uint8_t* line = p + static_cast<std::size_t>(row) * coded_width;
    std::memset(line + width, line[width - 1], static_cast<std::size_t>(coded_width - width));
  }
  for (int row = height; row < coded_height; ++row)
    std::memcpy(p + static_cast<std::size_t>(row) * coded_width,
                p + static_cast<std::size_t>(height - 1) * coded_width,
                static_cast<std::size_t>(coded_width));
}

void filter_horizontal(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                       bool mpeg1) {
  const std::uint8_t* clip = clip_table();
  const int half = width / 2;
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* x = src + static_cast<std::size_t>(row) * width;
    std::uint8_t* out = dst + static_cast<std::size_t>(row) * half;
    auto s = [&](int i) { return static_cast<int>(x[clamp_index(i, width)]); };
    for (int i = 0; i < width; i += 2) {
      int v;
      if (mpeg1)
        v = 228 * (s(i) + s(i + 1)) + 70 * (s(i - 1) + s(i + 2)) - 37 * (s(i - 2) + s(i + 3)) -
            21 * (s(i - 3) + s(i + 4)) + 11 * (s(i - 4) + s(i + 5)) + 5 * (s(i - 5) + s(i + 6));
      else
        v = 22 * (s(i - 5) + s(i + 5)) - 52 * (s(i - 3) + s(i + 3)) + 159 * (s(i - 1) + s(i + 1)) +
            256 * s(i);
      out[i / 2] = clip[std::clamp((v + 256) >> 9, -384, 639)];
    }
  }
}

void filter_vertical(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                     bool progressive) {
  const std::uint8_t* clip = clip_table();
  const int last_even = (height - 1) & ~1;
  const int last_odd = (height - 1) | 1;
  for (int col = 0; col < width; ++col) {
    auto s = [&](int r) { return static_cast<int>(src[static_cast<std::size_t>(clamp_index(r, height)) * width + col]); };
    auto put = [&](int r, int v) {
      if (r < height / 2)
        dst[static_cast<std::size_t>(r) * width + col] = clip[std::clamp((v + 256) >> 9, -384, 639)];
    };
    if (progressive) {
      for (int j = 0; j < height; j += 2) {
        const int v = 228 * (s(j) + s(j + 1)) + 70 * (s(j - 1) + s(j + 2)) -
                      37 * (s(j - 2) + s(j + 3)) - 21 * (s(j - 3) + s(j + 4)) +
                      11 * (s(j - 4) + s(j + 5)) + 5 * (s(j - 5) + s(j + 6));
        put(j / 2, v);
      }
      continue;
    }
    // Rows of one field, clamped to that field's first and last row.
    auto top = [&](int r) { return s(std::clamp(r, 0, last_even)); };
    auto bot = [&](int r) { return s(std::clamp(r, 1, std::min(last_odd, height - 1))); };
    for (int j = 0; j < height; j += 4) {
      const int t = 8 * top(j - 10) + 5 * top(j - 8) - 30 * top(j - 6) - 18 * top(j - 4) +
                    113 * top(j - 2) + 242 * top(j) + 192 * top(j + 2) + 35 * top(j + 4) -
                    38 * top(j + 6) - 10 * top(j + 8) + 11 * top(j + 10) + 2 * top(j + 12);
      put(j / 2, t);
      const int b = 8 * bot(j + 13) + 5 * bot(j + 11) - 30 * bot(j + 9) - 18 * bot(j + 7) +
                    113 * bot(j + 5) + 242 * bot(j + 3) + 192 * bot(j + 1) + 35 * bot(j - 1) -
                    38 * bot(j - 3) - 10 * bot(j - 5) + 11 * bot(j - 7) + 2 * bot(j - 9);
      put(j / 2 + 1, b);
    }
  }
}

bool FrameInput::allocate() {
  const std::size_t luma = static_cast<std::size_t>(e_.coded_width) * e_.coded_height;
  const std::size_t chroma = static_cast<std::size_t>(e_.chroma_width) * e_.chroma_height;
  const int cf = e_.s.chroma_format;
  // Read ahead by one group of an anchor and its B pictures, on its own
  // thread only when the run has more than one.
  const bool threaded = row_workers(e_, e_.mb_rows_pic) > 1;
  ahead_ = threaded ? std::max(1, e_.s.ip_distance) : 0;
  try {
    window_.resize(static_cast<std::size_t>(e_.s.gop_size) + 1 + static_cast<std::size_t>(ahead_));
    for (PictureStore& p : window_) {
      p.plane[0].assign(luma, 0);
      p.plane[1].assign(cf == 3 ? luma : chroma, 128);
      p.plane[2].assign(cf == 3 ? luma : chroma, 128);
    }
  } catch (const std::bad_alloc&) {
    report_message(e_.ctx, "Could not allocate memory for picture buffers.");
    release();
    return false;
  }
  struct Need {
    std::vector<std::uint8_t>* buffer;
    std::size_t size;
    const char* message;
    bool wanted;
  };
  const Need needs[] = {
      {&u444_, luma, "Could not allocate memory for u444.", cf != 3},
      {&v444_, luma, "Could not allocate memory for v444.", cf != 3},
      {&u422_, luma / 2, "Could not allocate memory for u422.", cf == 1},
      {&v422_, luma / 2, "Could not allocate memory for v422.", cf == 1},
      {&repeat_, static_cast<std::size_t>(e_.vertical_size) * e_.horizontal_size * 4,
       "Cannot allocate memory for repeat buffer.", true}};
  for (const Need& n : needs) {
    if (!n.wanted) continue;
    try {
      n.buffer->assign(n.size, 0);
    } catch (const std::bad_alloc&) {
      report_message(e_.ctx, "%s", n.message);
      release();
      return false;
    }
  }
  line_bytes_ = 4 * e_.horizontal_size;
  const int first = e_.ctx.source.first_frame;
  requested_ = first - 1;
  last_frame_ = first + e_.nframes - 1;
  reported_ = source_failed_ = false;
  next_ = first;
  target_ = first - 1;
  failed_ = quit_ = false;
  if (threaded) {
    try {
      reader_ = std::thread(&FrameInput::read_ahead, this);
    } catch (const std::system_error&) {
      // Frames are then read when they are fetched.
    }
  }
  return true;
}

void FrameInput::stop_reader() {
  if (!reader_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_reader_.notify_all();
  reader_.join();
}

void FrameInput::release() {
  stop_reader();
  window_.clear();
  window_.shrink_to_fit();
  for (auto* b : {&u444_, &v444_, &u422_, &v422_, &repeat_}) {
    b->clear();
    b->shrink_to_fit();
  }
  holder_.Free();
}

PictureStore& FrameInput::slot(int n) {
  const int count = static_cast<int>(window_.size());
  return window_[static_cast<std::size_t>(((n % count) + count) % count)];
}

FrameInput::Read FrameInput::get_rgb(int n, const std::uint8_t*& data, int& line_bytes,
                                     int& code) {
  holder_.Release();
  const int w = e_.horizontal_size, h = e_.vertical_size;
  if (n >= repeat_first_ && n <= repeat_last_ && repeat_left_ > 0) {
    --repeat_left_;
    data = repeat_.data();
    line_bytes = 4 * w;
    return Read::kOk;
  }
  int lb = line_bytes_;
  int repeat = 0;
  code = e_.ctx.frames ? e_.ctx.frames->GetFrame(n, holder_, lb, repeat) : 4;
  if (code == 2 || code == 3) return Read::kEnd;
  // A frame that does not cover the picture is an error, not a read past
  // the buffer.
  const long long need = static_cast<long long>(lb) * (h - 1) + 4LL * w;
  if (code == 0 && (holder_.Data() == nullptr || lb < 4 * w || holder_.Size() < need))
    return Read::kShort;
  if (code != 0) return Read::kError;
  line_bytes_ = lb;
  data = holder_.Data();
  line_bytes = lb;
  if (repeat > 0) {
    for (int row = 0; row < h; ++row)
      std::memcpy(repeat_.data() + static_cast<std::size_t>(row) * 4 * w,
                  data + static_cast<std::size_t>(row) * lb, static_cast<std::size_t>(4 * w));
    repeat_first_ = n;
    repeat_last_ = n + repeat - 1;
    repeat_left_ = repeat - 1;
  }
  return Read::kOk;
}

bool FrameInput::read_planes(int n, PictureStore& entry) {
  const int w = e_.horizontal_size, h = e_.vertical_size;
  if (e_.s.chroma_format != 1 || e_.s.grey_chroma || e_.ctx.frames == nullptr || w % 2 || h % 2)
    return false;
  if (n >= repeat_first_ && n <= repeat_last_ && repeat_left_ > 0) return false;
  FrameSource::Planes p;
  if (e_.ctx.frames->GetPlanes(n, p) != 0) return false;
  if (p.y == nullptr || p.cb == nullptr || p.cr == nullptr || p.width != w || p.height != h ||
      p.y_stride < w || p.c_stride < w / 2)
    return false;
  const int cw = e_.coded_width, ch = e_.coded_height;
  for (int row = 0; row < h; ++row)
    std::memcpy(entry.plane[0].data() + static_cast<std::size_t>(row) * cw,
                p.y + static_cast<std::size_t>(row) * p.y_stride, static_cast<std::size_t>(w));
  for (int row = 0; row < h / 2; ++row) {
    std::memcpy(entry.plane[1].data() + static_cast<std::size_t>(row) * (cw / 2),
                p.cb + static_cast<std::size_t>(row) * p.c_stride, static_cast<std::size_t>(w / 2));
    std::memcpy(entry.plane[2].data() + static_cast<std::size_t>(row) * (cw / 2),
                p.cr + static_cast<std::size_t>(row) * p.c_stride, static_cast<std::size_t>(w / 2));
  }
  pad_plane(entry.plane[0].data(), w, h, cw, ch);
  pad_plane(entry.plane[1].data(), w / 2, h / 2, cw / 2, ch / 2);
  pad_plane(entry.plane[2].data(), w / 2, h / 2, cw / 2, ch / 2);
  return true;
}

FrameInput::Read FrameInput::read_frame(int n, PictureStore& entry, int& code) {
  // Planes the source decoded to need no trip through RGB and the filters.
  if (read_planes(n, entry)) return Read::kOk;
  const std::uint8_t* rgb = nullptr;
  int line_bytes = 0;
  const Read r = get_rgb(n, rgb, line_bytes, code);
  if (r != Read::kOk) return r;
  const int w = e_.horizontal_size, h = e_.vertical_size;
  const int cw = e_.coded_width, ch = e_.coded_height;
  const int cf = e_.s.chroma_format;
  const bool grey = e_.s.grey_chroma != 0;
  std::uint8_t* u = cf == 3 ? entry.plane[1].data() : u444_.data();
  std::uint8_t* v = cf == 3 ? entry.plane[2].data() : v444_.data();
  convert_rgb(rgb, line_bytes, w, h, e_.s.matrix_coefficients, e_.s.use_plain_kernels != 0,
              entry.plane[0].data(), u, v, cw, e_.k.rgb_to_ycc);
  pad_plane(entry.plane[0].data(), w, h, cw, ch);
  if (grey) return Read::kOk;
  pad_plane(u, w, h, cw, ch);
  pad_plane(v, w, h, cw, ch);
  if (cf == 3) return Read::kOk;
  const bool mpeg1 = e_.mpeg1;
  if (cf == 2) {
    e_.k.chroma_filter_h(u, entry.plane[1].data(), cw, ch, mpeg1);
    e_.k.chroma_filter_h(v, entry.plane[2].data(), cw, ch, mpeg1);
    return Read::kOk;
  }
  e_.k.chroma_filter_h(u, u422_.data(), cw, ch, mpeg1);
  e_.k.chroma_filter_h(v, v422_.data(), cw, ch, mpeg1);
  const bool progressive = e_.s.progressive_frame != 0;
  e_.k.chroma_filter_v(u422_.data(), entry.plane[1].data(), cw / 2, ch, progressive);
  e_.k.chroma_filter_v(v422_.data(), entry.plane[2].data(), cw / 2, ch, progressive);
  return Read::kOk;
}

bool FrameInput::read_next() {
  int n;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) return false;
    n = next_;
  }
  // The slot of frame n held a frame too old to be fetched again: the
  // target never runs more than `ahead_` past the latest request.
  int code = 0;
  const Read r = read_frame(n, slot(n), code);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (r == Read::kOk) {
      ++next_;
    } else {
      failed_ = true;
      failure_ = r;
      failure_code_ = code;
    }
  }
  frame_read_.notify_all();
  return r == Read::kOk;
}

void FrameInput::read_ahead() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_reader_.wait(lock, [this] { return quit_ || (!failed_ && next_ <= target_); });
      if (quit_) return;
    }
    read_next();
  }
}

// What the failed read of frame n would have reported had it been made now.
void FrameInput::report_failure(int n) {
  if (failure_ == Read::kEnd) {
    e_.nframes = n - e_.ctx.source.first_frame;
    e_.ctx.source.last_frame = n - 1;
    report_message(e_.ctx, "   Video Encoding finished at frame # %d.", n - 1);
    return;
  }
  const int code = failure_ == Read::kShort ? 4 : failure_code_;
  report_message(e_.ctx, "  Could not get frame # %d, error code %d.", n, code);
  report_progress(e_.ctx, -1, "  Could not get frame # %d, error code %d.", n, code);
  source_failed_ = true;
}

bool FrameInput::fetch(int n, PictureStore& out) {
  if (window_.empty()) return false;
  // The window keeps the GOP size of frames before the latest request.
  if (n < requested_ - e_.s.gop_size) return false;
  if (n > requested_) {
    requested_ = n;
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::max(n, std::min(n + ahead_, last_frame_));
  }
  int next;
  if (reader_.joinable()) {
    wake_reader_.notify_one();
    std::unique_lock<std::mutex> lock(mutex_);
    frame_read_.wait(lock, [this, n] { return next_ > n || failed_; });
    next = next_;
  } else {
    while (next_ <= n && read_next()) {
    }
    next = next_;
  }
  if (next <= n) {  // the read of frame `next` failed
    if (!reported_) report_failure(next);
    reported_ = true;
    return false;
  }
  const PictureStore& entry = slot(n);
  for (int c = 0; c < 3; ++c) {
    if (c > 0 && e_.s.grey_chroma)
      std::fill(out.plane[c].begin(), out.plane[c].end(), std::uint8_t{128});
    else
      std::memcpy(out.plane[c].data(), entry.plane[c].data(), out.plane[c].size());
  }
  return true;
}

}  // namespace corvexa::mpeg::video
