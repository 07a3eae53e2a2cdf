// The fixed-point forward DCT of the vector kernel classes: accuracy against
// the exact transform, agreement with the integer DCT, extreme inputs, its
// place in the kernel table and a whole stream coded with it.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "mpeg/video/fdct_fixed.h"
#include "mpeg/video/kernels.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;
using namespace corvexa::mpeg::video;

void exact_dct(const std::int16_t* in, double* out) {
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      double s = 0;
      for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
          s += in[x * 8 + y] * std::cos((2 * x + 1) * u * M_PI / 16) *
               std::cos((2 * y + 1) * v * M_PI / 16);
      const double cu = u == 0 ? std::sqrt(0.125) : 0.5, cv = v == 0 ? std::sqrt(0.125) : 0.5;
      out[u * 8 + v] = cu * cv * s;
    }
}

TEST(FixedDct, CloseToTheExactAndTheIntegerTransform) {
  std::mt19937 rng(3);
  for (int range : {255, 20}) {
    std::uniform_int_distribution<int> sample(-range, range);
    double worst = 0, sum_error = 0;
    int worst_vs_integer = 0;
    for (int trial = 0; trial < 2000; ++trial) {
      std::int16_t block[64], other[64];
      for (auto& v : block) v = static_cast<std::int16_t>(sample(rng));
      std::copy(block, block + 64, other);
      double exact[64];
      exact_dct(block, exact);
      fdct_fixed(block);
      fdct_integer(other);
      for (int k = 0; k < 64; ++k) {
        worst = std::max(worst, std::abs(block[k] - exact[k]));
        sum_error += block[k] - exact[k];
        worst_vs_integer = std::max(worst_vs_integer, std::abs(block[k] - other[k]));
      }
    }
    EXPECT_LE(worst, 1.0) << range;
    EXPECT_LE(std::abs(sum_error / (2000 * 64)), 0.01) << range;
    EXPECT_LE(worst_vs_integer, 1) << range;
  }
}

TEST(FixedDct, ExtremeAndFlatBlocks) {
  struct Case {
    const char* name;
    int (*sample)(int x, int y);
  };
  const Case cases[] = {
      {"all 255", [](int, int) { return 255; }},
      {"all -255", [](int, int) { return -255; }},
      {"checkerboard", [](int x, int y) { return (x + y) & 1 ? 255 : -255; }},
      {"stripes", [](int x, int) { return x & 1 ? -255 : 255; }},
      {"ramp", [](int x, int y) { return 32 * x - 255 + y; }},
      {"zero", [](int, int) { return 0; }},
  };
  for (const Case& c : cases) {
    std::int16_t block[64];
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) block[y * 8 + x] = static_cast<std::int16_t>(c.sample(x, y));
    double exact[64];
    exact_dct(block, exact);
    fdct_fixed(block);
    for (int k = 0; k < 64; ++k) EXPECT_LE(std::abs(block[k] - exact[k]), 1.0) << c.name << " " << k;
  }
  std::int16_t flat[64];
  std::fill(flat, flat + 64, static_cast<std::int16_t>(100));
  fdct_fixed(flat);
  EXPECT_EQ(flat[0], 800);
  for (int k = 1; k < 64; ++k) EXPECT_EQ(flat[k], 0) << k;
}

TEST(FixedDct, KernelClassesThatUseIt) {
  EXPECT_EQ(kernel_table(0, false).forward_dct, &fdct_integer);
  for (int c = 1; c <= 4; ++c) {
    // The plain form of the class; its vector forms are held to it by checkasm.
    EXPECT_EQ(kernel_table(c, false, VectorIsa::kNone).forward_dct, &fdct_fixed) << c;
    EXPECT_EQ(kernel_table(c, true).forward_dct, &fdct_float) << c;
  }
}

TEST(FixedDct, StreamDecodesLikeTheReconstruction) {
  kavrol_test::TempDir dir;
  EncoderContext ctx;
  const std::string file = dir.file("fixed_dct.m2v");
  video_test::configure(ctx, kMpeg2, 96, 64, 8, file);
  ctx.work.gop_size = 12;
  ctx.kernel_class = 3;
  video_test::MovingPattern source(96, 64, 1000);
  video_test::ReconstructionLog recon;
  video_test::Messages messages;
  ctx.frames = &source;
  ctx.video_observer = &recon;
  ctx.status = &messages;
  ASSERT_TRUE(encode_video_stream(ctx));
  const video_test::Decoded d = video_test::decode_strict(file);
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.frames.size(), 8u);
  ASSERT_EQ(recon.by_display.size(), 8u);
  for (std::size_t n = 0; n < 8; ++n) {
    EXPECT_GT(video_test::psnr(recon.by_display[n].y, d.frames[n].y), 50.0) << n;
    EXPECT_GT(video_test::psnr(recon.by_display[n].cb, d.frames[n].cb), 50.0) << n;
  }
}

}  // namespace
