// Encodes raw top-down BGRA frames (as "ffmpeg -pix_fmt bgra -f rawvideo"
// writes them) with one preset and prints what the encoder reports. A raw
// file named *.yuv holds yuv420p frames instead, handed to the encoder as
// planes (the direct path of decoded sources).
//   video_bench <raw> <width> <height> <frames> <kind 0..4> <out> [search_level] [M] [verbose]
// KAVROL_THREADS sets the row workers (default: one per core; 1 also reads
// frames without a thread of their own),
// KAVROL_KERNEL_CLASS overrides the detected kernel class.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_entry.h"
#include "mpeg/stages.h"
#include "mpeg/video/cpu_features.h"

using namespace corvexa::mpeg;

namespace {

class RawFrames : public FrameSource {
 public:
  RawFrames(const char* path, int w, int h) : in_(path, std::ios::binary), w_(w), h_(h) {}
  int GetFrame(int n, corvexa::FrameHolder& holder, int& line_bytes, int& repeat) override {
    const std::size_t size = static_cast<std::size_t>(w_) * h_ * 4;
    in_.seekg(static_cast<std::streamoff>(size) * n);
    top_down_.resize(size);  // kept between frames, as a decoder keeps its buffers
    if (!in_.read(top_down_.data(), static_cast<std::streamsize>(size))) return 2;
    line_bytes = w_ * 4;
    if (!holder.Allocate(static_cast<std::int32_t>(size))) return 4;
    for (int y = 0; y < h_; ++y)
      std::memcpy(holder.Data() + static_cast<std::size_t>(h_ - 1 - y) * line_bytes,
                  top_down_.data() + static_cast<std::size_t>(y) * line_bytes,
                  static_cast<std::size_t>(line_bytes));
    repeat = 0;
    return 0;
  }
  int GetAudio(int, const std::uint8_t*&, int&, int&) override { return 50; }

 protected:
  std::ifstream in_;
  int w_, h_;
  std::vector<char> top_down_;
};

class RawPlanes final : public RawFrames {
 public:
  using RawFrames::RawFrames;
  int GetPlanes(int n, Planes& p) override {
    const std::size_t luma = static_cast<std::size_t>(w_) * h_;
    const std::size_t size = luma + luma / 2;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(size) * n);
    top_down_.resize(size);
    if (!in_.read(top_down_.data(), static_cast<std::streamsize>(size))) return 2;
    const auto* y = reinterpret_cast<const std::uint8_t*>(top_down_.data());
    p = Planes{y, y + luma, y + luma + luma / 4, w_, w_ / 2, w_, h_};
    return 0;
  }
  // Past the last frame the planes fail and the end is found here.
  int GetFrame(int n, corvexa::FrameHolder&, int&, int& repeat) override {
    (void)n;
    repeat = 0;
    return 2;
  }
};

class Print : public StatusSink {
 public:
  void Progress(const char*, int) override {}
  void Message(const char* text) override { std::printf("%s\n", text); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: %s raw width height frames kind out [search_level] [M] [verbose]\n", argv[0]);
    return 2;
  }
  const int w = std::atoi(argv[2]), h = std::atoi(argv[3]), frames = std::atoi(argv[4]);
  const int kind = std::atoi(argv[5]);
  EncoderContext ctx;
  const std::string raw = argv[1];
  const bool planes = raw.size() > 4 && raw.compare(raw.size() - 4, 4, ".yuv") == 0;
  RawFrames bgra(argv[1], w, h);
  RawPlanes yuv(argv[1], w, h);
  FrameSource& source = planes ? static_cast<FrameSource&>(yuv) : bgra;
  Print print;
  apply_preset(ctx, ctx.record, kind, true);
  ctx.source.has_video = true;
  ctx.source.width = w;
  ctx.source.height = h;
  ctx.source.first_frame = 0;
  ctx.source.last_frame = frames - 1;
  load_settings(ctx, ctx.record);
  if (argc > 7) ctx.work.motion_search_level = std::atoi(argv[7]);
  if (argc > 8) ctx.work.ip_distance = std::atoi(argv[8]);
  if (argc > 9) ctx.work.verbose = std::atoi(argv[9]);
  ctx.cpu_features = detect_cpu();
  ctx.kernel_class = kernel_class(ctx.cpu_features);
  if (const char* c = std::getenv("KAVROL_KERNEL_CLASS")) ctx.kernel_class = std::atoi(c);
  if (const char* t = std::getenv("KAVROL_THREADS")) ctx.motion_threads = std::atoi(t);
  ctx.frames = &source;
  ctx.status = &print;
  ctx.video_file = argv[6];
  const auto start = std::chrono::steady_clock::now();
  const bool ok = encode_video_stream(ctx);
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("result %s, %d frames in %.2f s = %.2f fps (kernel class %d, %d workers)\n",
              ok ? "ok" : "FAILED", frames, secs, frames / secs, ctx.kernel_class,
              ctx.motion_threads);
  return ok ? 0 : 1;
}
