// Sources that hand over 4:2:0 planes: the encoder codes them as they are,
// and asks for RGB pictures only where it cannot take planes.
#include <gtest/gtest.h>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;

// Smooth planes with some detail in each, different in every frame; RGB
// pictures come from the moving pattern, counted.
class PlaneSource final : public video_test::MovingPattern {
 public:
  PlaneSource(int w, int h) : MovingPattern(w, h, 1000), w_(w), h_(h) {
    y_.resize(static_cast<std::size_t>(w) * h);
    cb_.resize(y_.size() / 4);
    cr_.resize(y_.size() / 4);
  }
  int GetPlanes(int n, Planes& p) override {
    ++planes_asked;
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x)
        y_[static_cast<std::size_t>(y) * w_ + x] = static_cast<std::uint8_t>(32 + (x + y + n) % 160);
    for (int y = 0; y < h_ / 2; ++y)
      for (int x = 0; x < w_ / 2; ++x) {
        cb_[static_cast<std::size_t>(y) * (w_ / 2) + x] = static_cast<std::uint8_t>(64 + (x * 2) % 128);
        cr_[static_cast<std::size_t>(y) * (w_ / 2) + x] = static_cast<std::uint8_t>(192 - (y * 2) % 128);
      }
    p = Planes{y_.data(), cb_.data(), cr_.data(), w_, w_ / 2, w_, h_};
    return 0;
  }
  int GetFrame(int n, corvexa::FrameHolder& holder, int& line_bytes, int& repeat) override {
    ++rgb_asked;
    return MovingPattern::GetFrame(n, holder, line_bytes, repeat);
  }
  int planes_asked = 0, rgb_asked = 0;
  std::vector<std::uint8_t> y_, cb_, cr_;

 private:
  int w_, h_;
};

TEST(PlanarInput, PlanesAreCodedAsGivenAndRgbOnlyWhereTheyCannotBe) {
  struct Case {
    const char* what;
    int chroma_format;  // 0: the preset's 4:2:0
    bool planes_used;
  };
  const Case cases[] = {{"4:2:0 takes the planes", 0, true}, {"4:2:2 needs RGB", 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kavrol_test::TempDir dir;
    EncoderContext ctx;
    video_test::configure(ctx, kMpeg2, 96, 64, 3, dir.file("p.m2v"));
    ctx.work.ip_distance = 1;
    ctx.work.gop_size = 1;  // intra pictures: the reconstruction is the input, nearly
    ctx.work.bit_rate = 15000000;
    if (c.chroma_format) {
      ctx.work.chroma_format = c.chroma_format;
      ctx.work.profile = 1;
    }
    PlaneSource source(96, 64);
    video_test::ReconstructionLog recon;
    video_test::Messages messages;
    ctx.frames = &source;
    ctx.video_observer = &recon;
    ctx.status = &messages;
    ASSERT_TRUE(encode_video_stream(ctx)) << (messages.messages.empty() ? "" : messages.messages.back());
    EXPECT_EQ(source.rgb_asked > 0, !c.planes_used);
    if (!c.planes_used) continue;
    ASSERT_EQ(recon.by_display.size(), 3u);
    // The last frame's planes are still in the source.
    const video_test::Frame& last = recon.by_display[2];
    video_test::Plane y{96, 64, source.y_}, cb{48, 32, source.cb_}, cr{48, 32, source.cr_};
    EXPECT_GT(video_test::psnr(last.y, y), 40.0);
    EXPECT_GT(video_test::psnr(last.cb, cb), 40.0);
    EXPECT_GT(video_test::psnr(last.cr, cr), 40.0);
  }
}

}  // namespace
