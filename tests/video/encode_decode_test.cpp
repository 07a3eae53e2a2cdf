// End-to-end: encode synthetic clips and decode them with libavcodec.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/run_entry.h"
#include "mpeg/stages.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;
using video_test::Decoded;

struct Config {
  const char* name;
  int kind;
  int width, height, frames;
  int ip_distance;
  int search_level;
  int frame_pred_frame_dct;  // -1 = preset
  int chroma_format;         // 0 = preset
  int progressive;           // -1 = preset
  bool ntsc = false;
  bool plain_kernels = false;  // floating-point forward DCT and colour conversion
  int kernel_class = 0;        // above 0: the vector kernels of this processor
};

void apply(EncoderContext& ctx, const Config& c) {
  WorkingSettings& w = ctx.work;
  w.ip_distance = c.ip_distance;
  w.gop_size = 12;
  w.use_plain_kernels = c.plain_kernels;
  ctx.kernel_class = c.kernel_class;
  if (c.ntsc) {
    w.frame_rate_code = 4;
    w.frame_rate = 30000.0 / 1001.0;
  }
  w.motion_search_level = c.search_level;
  if (c.frame_pred_frame_dct >= 0)
    for (int t = 0; t < 3; ++t) w.frame_pred_frame_dct[t] = c.frame_pred_frame_dct;
  if (c.chroma_format > 0) {
    w.chroma_format = c.chroma_format;
    if (c.chroma_format == 2) w.profile = 1;
  }
  if (c.progressive >= 0) {
    w.progressive_sequence = c.progressive;
    w.progressive_frame = c.progressive;
  }
  if (w.ip_distance == 1) w.motion_ranges[0][kFwdRangeH] = w.motion_ranges[0][kFwdRangeV] = 3;
}

// Cases show by name in test listings.
void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

class EncodeDecode : public ::testing::TestWithParam<Config> {};

TEST_P(EncodeDecode, DecoderAgreesWithTheReconstruction) {
  const Config& c = GetParam();
  kavrol_test::TempDir dir;
  EncoderContext ctx;
  const std::string file = dir.file(std::string(c.name) + (c.kind >= kMpeg2 ? ".m2v" : ".m1v"));
  video_test::configure(ctx, c.kind, c.width, c.height, c.frames, file);
  apply(ctx, c);
  video_test::MovingPattern source(c.width, c.height, 1000);
  video_test::ReconstructionLog recon;
  video_test::Messages messages;
  ctx.frames = &source;
  ctx.video_observer = &recon;
  ctx.status = &messages;
  ASSERT_TRUE(encode_video_stream(ctx)) << (messages.messages.empty() ? "" : messages.messages.back());

  const Decoded d = video_test::decode_strict(file);
  ASSERT_TRUE(d.ok) << d.error << " (" << d.errors_logged << " errors logged)";
  EXPECT_TRUE(d.has_end_code);
  ASSERT_EQ(static_cast<int>(d.frames.size()), c.frames);
  EXPECT_EQ(d.width, c.width);
  EXPECT_EQ(d.height, c.height);
  EXPECT_NEAR(d.frame_rate, ctx.work.frame_rate, 1e-3);
  ASSERT_EQ(static_cast<int>(recon.by_display.size()), c.frames);
  for (int n = 0; n < c.frames; ++n) {
    const video_test::Frame& a = recon.by_display[static_cast<std::size_t>(n)];
    const video_test::Frame& b = d.frames[static_cast<std::size_t>(n)];
    EXPECT_GT(video_test::psnr(a.y, b.y), 50.0) << "frame " << n << " " << [&] {
      int maxd = 0, count = 0, where = 0;
      for (std::size_t q = 0; q < a.y.data.size(); ++q) {
        int dd = std::abs(a.y.data[q] - b.y.data[q]);
        if (dd) { ++count; if (dd > maxd) { maxd = dd; where = static_cast<int>(q); } }
      }
      return std::to_string(maxd) + " max, " + std::to_string(count) + " differ, at x=" +
             std::to_string(where % a.y.width) + " y=" + std::to_string(where / a.y.width);
    }();
    EXPECT_GT(video_test::psnr(a.cb, b.cb), 50.0) << "frame " << n;
    EXPECT_GT(video_test::psnr(a.cr, b.cr), 50.0) << "frame " << n;
  }
}

const Config kConfigs[] = {
    {"mpeg1_m3_fixed", kMpeg1, 96, 64, 14, 3, 0, -1, 0, -1},
    {"mpeg1_m1_fixed", kMpeg1, 64, 48, 10, 1, 0, -1, 0, -1},
    {"mpeg1_m3_variable", kMpeg1, 96, 64, 14, 3, 58, -1, 0, -1},
    {"mpeg2_progressive_m3", kMpeg2, 96, 64, 14, 3, 0, -1, 0, 1},
    {"mpeg2_interlaced_m3_fixed", kMpeg2, 96, 64, 14, 3, 0, -1, 0, -1},
    {"mpeg2_interlaced_field_prediction", kMpeg2, 96, 64, 14, 3, 0, 0, 0, -1},
    {"mpeg2_interlaced_variable", kMpeg2, 96, 64, 14, 3, 58, 0, 0, -1},
    {"mpeg2_m1_variable", kMpeg2, 64, 48, 10, 1, 58, -1, 0, -1},
    {"mpeg2_422_high", kMpeg2, 96, 64, 10, 3, 0, 0, 2, -1},
    {"dvd_odd_height", kDvd, 80, 50, 8, 3, 58, -1, 0, -1},
    {"mpeg2_ntsc_m2", kMpeg2, 64, 48, 9, 2, 0, -1, 0, -1, true},
    {"mpeg2_plain_kernels", kMpeg2, 64, 48, 9, 3, 58, 0, 0, -1, false, true},
    {"mpeg1_vector_kernels", kMpeg1, 96, 64, 14, 3, 58, -1, 0, -1, false, false, 3},
    {"mpeg2_interlaced_vector_kernels", kMpeg2, 96, 64, 14, 3, 58, 0, 0, -1, false, false, 3},
    {"mpeg2_vector_kernels_plain_transforms", kMpeg2, 64, 48, 9, 3, 0, 0, 0, -1, false, true, 4},
};

INSTANTIATE_TEST_SUITE_P(Streams, EncodeDecode, ::testing::ValuesIn(kConfigs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
