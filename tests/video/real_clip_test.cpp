// Real footage from the shared media folder (skipped when it is absent):
// the decoder must agree with the encoder's reconstruction on every frame,
// and the Y-PSNR against the source is reported.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;

// Top-down BGRA frames from a raw file, handed out bottom-up.
class RawSource : public FrameSource {
 public:
  RawSource(const std::string& path, int w, int h) : w_(w), h_(h) {
    const std::vector<std::uint8_t> all = video_test::read_file(path);
    const std::size_t size = static_cast<std::size_t>(w) * h * 4;
    for (std::size_t off = 0; off + size <= all.size(); off += size)
      frames_.emplace_back(all.begin() + static_cast<long>(off),
                           all.begin() + static_cast<long>(off + size));
  }
  int GetFrame(int n, corvexa::FrameHolder& holder, int& line_bytes, int& repeat) override {
    if (n >= static_cast<int>(frames_.size())) return 2;
    line_bytes = 4 * w_;
    if (!holder.Allocate(line_bytes * h_)) return 4;
    for (int y = 0; y < h_; ++y)
      std::memcpy(holder.Data() + static_cast<std::size_t>(h_ - 1 - y) * line_bytes,
                  frames_[static_cast<std::size_t>(n)].data() + static_cast<std::size_t>(y) * line_bytes,
                  static_cast<std::size_t>(line_bytes));
    repeat = 0;
    return 0;
  }
  int GetAudio(int, const std::uint8_t*&, int&, int&) override { return 50; }
  // BT.601 studio-range luma of the source, as the encoder's matrix 5 gives.
  video_test::Plane Luma(int n) const {
    video_test::Plane p;
    p.width = w_;
    p.height = h_;
    const std::vector<std::uint8_t>& f = frames_[static_cast<std::size_t>(n)];
    for (std::size_t i = 0; i < f.size(); i += 4)
      p.data.push_back(static_cast<std::uint8_t>(
          0.299 * f[i + 2] * 219 / 255 + 0.587 * f[i + 1] * 219 / 255 + 0.114 * f[i] * 219 / 255 + 16.5));
    return p;
  }
  int count() const { return static_cast<int>(frames_.size()); }

 private:
  int w_, h_;
  std::vector<std::vector<std::uint8_t>> frames_;
};

struct ClipCase {
  const char* name;
  const char* clip;
  int kind;
  int search_level;
  int field_pictures = 0;
  int ip_distance = 0;  // 0 = preset
};

// Cases show by name in test listings.
void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class RealClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(RealClip, DecodesLikeTheReconstruction) {
  const ClipCase& c = GetParam();
  const std::string clip = kavrol_test::media_clip(c.clip);
  if (clip.empty()) GTEST_SKIP() << c.clip << " is not present";
  kavrol_test::TempDir dir;
  const std::string raw = dir.file("frames.bgra");
  const int w = 176, h = 144, frames = 16;
  const std::string command = "ffmpeg -v error -y -i '" + clip + "' -frames:v " +
                              std::to_string(frames) + " -vf scale=" + std::to_string(w) + ":" +
                              std::to_string(h) + " -pix_fmt bgra -f rawvideo '" + raw + "'";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "ffmpeg could not decode " << c.clip;
  RawSource source(raw, w, h);
  ASSERT_EQ(source.count(), frames);

  EncoderContext ctx;
  const std::string file = dir.file("clip.mpv");
  video_test::configure(ctx, c.kind, w, h, frames, file);
  ctx.work.motion_search_level = c.search_level;
  ctx.work.field_pictures = c.field_pictures;
  if (c.ip_distance > 0) {
    ctx.work.ip_distance = c.ip_distance;
    for (int t = 0; t < 3; ++t) ctx.work.frame_pred_frame_dct[t] = 0;
  }
  video_test::ReconstructionLog recon;
  ctx.frames = &source;
  ctx.video_observer = &recon;
  ASSERT_TRUE(encode_video_stream(ctx));
  const video_test::Decoded d =
      video_test::decode_strict(file, {.packet_per_picture = c.field_pictures != 0});
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(static_cast<int>(d.frames.size()), frames);
  double sum = 0;
  for (int n = 0; n < frames; ++n) {
    const video_test::Frame& a = recon.by_display[static_cast<std::size_t>(n)];
    const video_test::Frame& b = d.frames[static_cast<std::size_t>(n)];
    EXPECT_GT(video_test::worst_plane_psnr(a, b), 50.0) << "frame " << n;
    sum += video_test::psnr(b.y, source.Luma(n));
  }
  const double bytes = static_cast<double>(video_test::read_file(file).size());
  std::printf("%s: Y-PSNR against the source %.2f dB, %.0f bytes\n", c.name, sum / frames, bytes);
  EXPECT_GT(sum / frames, 28.0);
}

const ClipCase kClips[] = {
    {"mpeg1_fixed", "mjpeg_pcm.avi", kMpeg1, 0},
    {"mpeg1_variable", "xvid_mp3.avi", kMpeg1, 58},
    {"mpeg2_variable", "divx_mp3_ntsc.avi", kMpeg2, 58},
    {"dvd_variable", "mjpeg_pcm.avi", kDvd, 58},
    {"svcd_fixed", "xvid_mp3.avi", kSuperVcd, 0},
    {"dvd_field_pictures", "divx_mp3_ntsc.avi", kDvd, 58, 1},
    {"mpeg2_field_pictures_m1_fixed", "mjpeg_pcm.avi", kMpeg2, 0, 1, 1},
    {"mpeg2_frame_dual_prime", "xvid_mp3.avi", kMpeg2, 58, 0, 1},
};

INSTANTIATE_TEST_SUITE_P(Clips, RealClip, ::testing::ValuesIn(kClips),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
