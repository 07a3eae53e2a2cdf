#include "core/conform_plan.h"

#include <gtest/gtest.h>

#include "corvexa/mpeg_encoder.h"

namespace {

using corvexa::core::ConformPlan;
using corvexa::core::SourceShape;

SourceShape shape(int w, int h, std::uint32_t rate, std::uint32_t scale, double pixel = 0) {
  SourceShape s;
  s.width = w;
  s.height = h;
  s.rate = rate;
  s.scale = scale;
  s.pixel_aspect = pixel;
  s.has_audio = true;
  return s;
}

// The picture each disc gets: its size, the rectangle the source fills and
// the aspect code; the rate's code, pulldown and the shown rate.
TEST(ConformPlan, DiscTargetsGetTheirPictureAndRate) {
  struct Case {
    const char* what;
    SourceShape source;
    int kind;
    bool pal;
    int width, height, x, y, active_width, active_height;  // 0 x 0: as it is
    int aspect, code, pulldown;
    std::int64_t picture_rate, picture_scale;
  };
  using namespace corvexa;
  const Case cases[] = {
      {"640x360 DVD PAL: 16:9 at full size", shape(640, 360, 25, 1), kTargetDvd, true, 720, 576, 0, 0, 720, 576,
       3, 3, 0, 25, 1},
      {"640x360 VCD: letterboxed 4:3", shape(640, 360, 25, 1), kTargetVideoCd, true, 352, 288, 0, 36, 352, 216,
       0, 3, 0, 25, 1},
      {"anamorphic 720x576 DVD: as it is, 16:9", shape(720, 576, 25, 1, 64.0 / 45), kTargetDvd, true, 0, 0, 0, 0,
       0, 0, 3, 3, 0, 25, 1},
      {"square 320x240 SVCD NTSC", shape(320, 240, 30000, 1001), kTargetSuperVcd, false, 480, 480, 0, 0, 480,
       480, 2, 4, 0, 30000, 1001},
      {"2.35:1 on DVD: letterboxed 16:9", shape(940, 400, 25, 1), kTargetDvd, true, 720, 576, 0, 70, 720, 436,
       3, 3, 0, 25, 1},
      {"1:1 on DVD: pillarboxed 4:3", shape(400, 400, 25, 1), kTargetDvd, true, 720, 576, 90, 0, 540, 576, 2, 3,
       0, 25, 1},
      {"VCD size at 12.5 fps", shape(352, 288, 25, 2), kTargetVideoCd, true, 0, 0, 0, 0, 0, 0, 0, 3, 0, 25, 1},
      {"film on NTSC DVD: pulldown", shape(720, 480, 24000, 1001), kTargetDvd, false, 0, 0, 0, 0, 0, 0, 2, 1, 2,
       24000, 1001},
      {"24 fps on NTSC SVCD: slowed to 23.976", shape(480, 480, 24, 1), kTargetSuperVcd, false, 0, 0, 0, 0, 0, 0,
       2, 1, 2, 24000, 1001},
      {"film on NTSC VCD: repeated frames", shape(352, 240, 24000, 1001), kTargetVideoCd, false, 0, 0, 0, 0, 0,
       0, 0, 4, 0, 30000, 1001},
      {"50 fps to MPEG-1: every second frame", shape(720, 576, 50, 1), kTargetMpeg1, true, 0, 0, 0, 0, 0, 0, 0,
       3, 0, 25, 1},
      {"59.94 fps to MPEG-2", shape(720, 480, 60000, 1001), kTargetMpeg2, true, 0, 0, 0, 0, 0, 0, 0, 4, 0,
       30000, 1001},
      {"20 fps to MPEG-1: coded at 30", shape(320, 240, 20, 1), kTargetMpeg1, true, 0, 0, 0, 0, 0, 0, 0, 5, 0,
       30, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConformPlan plan;
    ASSERT_TRUE(corvexa::core::plan_conversion(c.source, c.kind, c.pal, true, plan));
    EXPECT_EQ(plan.geometry.width, c.width);
    EXPECT_EQ(plan.geometry.height, c.height);
    EXPECT_EQ(plan.geometry.x, c.x);
    EXPECT_EQ(plan.geometry.y, c.y);
    EXPECT_EQ(plan.geometry.active_width, c.active_width);
    EXPECT_EQ(plan.geometry.active_height, c.active_height);
    EXPECT_EQ(plan.aspect_ratio_information, c.aspect);
    EXPECT_EQ(plan.frame_rate_code, c.code);
    EXPECT_EQ(plan.pulldown, c.pulldown);
    EXPECT_EQ(plan.picture_rate, c.picture_rate);
    EXPECT_EQ(plan.picture_scale, c.picture_scale);
  }
}

TEST(ConformPlan, FramesAreRepeatedOrDroppedEvenly) {
  using namespace corvexa;
  ConformPlan plan;
  // 30 fps to PAL: one frame in six dropped.
  SourceShape thirty = shape(352, 288, 30, 1);
  ASSERT_TRUE(core::plan_conversion(thirty, kTargetVideoCd, true, true, plan));
  EXPECT_EQ(core::picture_count(thirty, plan, 300), 250);
  const std::int64_t expected[] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 12};
  for (int n = 0; n < 11; ++n) EXPECT_EQ(core::source_frame_of(thirty, plan, n), expected[n]) << n;
  EXPECT_EQ(core::whole_repeat(thirty, plan), 0);
  // 12.5 fps: each frame twice.
  SourceShape low = shape(352, 288, 25, 2);
  ASSERT_TRUE(core::plan_conversion(low, kTargetVideoCd, true, true, plan));
  EXPECT_EQ(core::picture_count(low, plan, 75), 150);
  EXPECT_EQ(core::source_frame_of(low, plan, 149), 74);
  EXPECT_EQ(core::whole_repeat(low, plan), 2);
  // Kept as it is, a code's own rate goes frame for frame.
  SourceShape pal = shape(720, 576, 25, 1);
  ASSERT_TRUE(core::plan_conversion(pal, kTargetDvd, true, false, plan));
  EXPECT_TRUE(plan.geometry.keeps_source());
  EXPECT_EQ(plan.sample_rate, 0);
  EXPECT_EQ(core::whole_repeat(pal, plan), 1);
}

TEST(ConformPlan, NtscForNtscAndFilmRates) {
  for (double fps : {30000.0 / 1001, 60000.0 / 1001, 24000.0 / 1001, 24.0})
    EXPECT_TRUE(corvexa::core::prefers_ntsc(fps)) << fps;
  for (double fps : {25.0, 50.0, 30.0, 12.5, 15.0, 10.0})
    EXPECT_FALSE(corvexa::core::prefers_ntsc(fps)) << fps;
}

}  // namespace
