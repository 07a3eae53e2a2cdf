#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/presets.h"

namespace {

using namespace corvexa::mpeg;

// One row of the published preset table: a field and its ten values in the
// order MPEG-1 N/P, VCD N/P, MPEG-2 N/P, SVCD N/P, DVD N/P.
struct PresetRow {
  const char* field;
  double EncoderSettings::*real;
  std::int32_t EncoderSettings::*integer;
  double values[10];
};

#define INT_ROW(name, ...) {#name, nullptr, &EncoderSettings::name, {__VA_ARGS__}}
#define REAL_ROW(name, ...) {#name, &EncoderSettings::name, nullptr, {__VA_ARGS__}}

const PresetRow kTable[] = {
    INT_ROW(mpeg_type, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4),
    INT_ROW(constrained_parameters_flag, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0),
    INT_ROW(gop_size, 15, 15, 15, 15, 15, 15, 15, 15, 15, 12),
    INT_ROW(aspect_ratio_information, 12, 8, 12, 8, 2, 2, 2, 2, 2, 2),
    INT_ROW(frame_rate_code, 4, 3, 4, 3, 4, 3, 4, 3, 4, 3),
    REAL_ROW(bit_rate, 1800000, 1800000, 1150000, 1150000, 6000000, 6000000, 2300000, 2300000,
             6000000, 6000000),
    REAL_ROW(max_bit_rate, 0, 0, 1151929, 1151929, 0, 0, 2376000, 2376000, 9800000, 9800000),
    INT_ROW(vbv_buffer_size, 23, 23, 20, 20, 112, 112, 112, 112, 112, 112),
    INT_ROW(constant_bit_rate, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0),
    INT_ROW(vbr_mquant, 4, 4, 4, 4, 4, 4, 10, 10, 4, 4),
    INT_ROW(progressive_sequence, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0),
    INT_ROW(sequence_display_extension, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1),
    INT_ROW(video_format, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1),
    INT_ROW(colour_primaries, 4, 5, 4, 5, 4, 5, 4, 5, 4, 5),
    INT_ROW(transfer_characteristics, 4, 5, 4, 5, 4, 5, 4, 5, 4, 5),
    INT_ROW(display_horizontal_size, 352, 352, 352, 352, 720, 720, 720, 720, 720, 720),
    INT_ROW(display_vertical_size, 240, 288, 240, 288, 480, 576, 480, 576, 480, 576),
    INT_ROW(intra_dc_precision, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1),
    INT_ROW(top_field_first, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1),
    INT_ROW(progressive_frame, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0),
    INT_ROW(slice_per_row, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1),
    INT_ROW(fixed_vbv_delay, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1),
    INT_ROW(zero_pad_threshold, 25, 25, 25, 25, 25, 25, 25, 25, 0, 0),
    INT_ROW(zero_pad_fill, 90, 90, 90, 90, 90, 90, 90, 90, 0, 0),
    INT_ROW(error_protection, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1),
    INT_ROW(lead_in_delay, 0, 0, 400, 400, 0, 0, 0, 0, 0, 0),
    INT_ROW(video_delay, 180, 180, 344, 344, 180, 180, 180, 180, 180, 180),
    INT_ROW(audio1_delay, 180, 180, 344, 344, 180, 180, 180, 180, 180, 180),
    INT_ROW(audio2_delay, 180, 180, 344, 344, 180, 180, 180, 180, 180, 180),
    INT_ROW(sector_size, 2048, 2048, 2324, 2324, 2048, 2048, 2324, 2324, 2048, 2048),
    INT_ROW(video_buffer_kb, 46, 46, 46, 46, 224, 224, 230, 230, 232, 232),
    INT_ROW(video_rate_source, 2, 2, 0, 0, 2, 2, 2, 2, 2, 2),
    INT_ROW(mux_type, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4),
    INT_ROW(pulldown_mode, 0, 0, 0, 0, 3, 3, 3, 3, 3, 3),
    INT_ROW(repeat_sequence_header, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1),
    INT_ROW(mux_rate, 0, 0, 3528, 3528, 0, 0, 6972, 6972, 25200, 25200),
    INT_ROW(dvd_nav_packets, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1),
    INT_ROW(timestamp_policy, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2),
    INT_ROW(skip_idle_time, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1),
    INT_ROW(svcd_scan_offsets, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0),
    INT_ROW(reset_timestamps_per_file, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0),
    INT_ROW(end_code_per_file, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0),
    INT_ROW(broken_link_per_file, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0),
};

const char* kNames[10] = {
    "MPEG-1 NTSC video and MPEG audio",         "MPEG-1 PAL video and MPEG audio",
    "MPEG-1 VideoCD NTSC video and MPEG audio", "MPEG-1 VideoCD PAL video and MPEG audio",
    "MPEG-2 NTSC video and MPEG audio",         "MPEG-2 PAL video and MPEG audio",
    "MPEG-2 SuperVCD NTSC video and MPEG audio", "MPEG-2 SuperVCD PAL video and MPEG audio",
    "MPEG-2 DVD NTSC video and MPEG audio",     "MPEG-2 DVD PAL video and MPEG audio"};

TEST(Presets, EveryPresetMatchesThePublishedTable) {
  EncoderContext ctx;
  for (int column = 0; column < 10; ++column) {
    EncoderSettings r;
    std::memset(&r, 0x5A, sizeof r);  // nothing may be left over from before
    apply_preset(ctx, r, column / 2, column % 2 == 1);
    SCOPED_TRACE(kNames[column]);
    EXPECT_STREQ(r.preset_name, kNames[column]);
    for (const PresetRow& row : kTable) {
      double got = row.real ? r.*row.real : r.*row.integer;
      EXPECT_EQ(got, row.values[column]) << row.field;
    }
    EXPECT_DOUBLE_EQ(r.frame_rate, column % 2 ? 25.0 : 30000.0 / 1001.0);
    const int mpeg2 = column >= 4;
    for (int t = 0; t < 3; ++t) {
      EXPECT_EQ(r.q_scale_type[t], mpeg2);
      EXPECT_EQ(r.alternate_scan[t], mpeg2);
      EXPECT_EQ(r.intra_vlc_format[t], t == 0 ? mpeg2 : 0);
      EXPECT_EQ(r.frame_pred_frame_dct[t], 1);
    }
    // A few of the shared values.
    EXPECT_EQ(r.ip_distance, 3);
    EXPECT_EQ(r.profile, 4);
    EXPECT_EQ(r.level, 8);
    EXPECT_EQ(r.motion_search_level, 58);
    EXPECT_EQ(r.audio_bitrate_index, 11);
    EXPECT_EQ(r.audio_layer, 2);
    EXPECT_EQ(r.psych_model, 2);
    EXPECT_EQ(r.reset_pb_fullness, 1);
    EXPECT_EQ(r.write_end_code, 1);
    EXPECT_EQ(r.sequence_end_code, 1);
    EXPECT_EQ(r.packets_per_pack, 1);
    EXPECT_EQ(r.audio1_buffer_kb, 4);
    EXPECT_EQ(r.reserved_b[3], 0);
    EXPECT_STREQ(r.intra_matrix_file, "");
    EXPECT_STREQ(r.spare_path, "");
  }
}

TEST(Presets, AudioModeFollowsTheLastDescribedSource) {
  EncoderContext ctx;
  EncoderSettings r{};
  ctx.source.stereo = true;
  apply_preset(ctx, r, kDvd, true);
  EXPECT_EQ(r.audio_mode, 0);
  ctx.source.stereo = false;
  apply_preset(ctx, r, kDvd, true);
  EXPECT_EQ(r.audio_mode, 3);
}

TEST(Presets, MotionRowsForThreePelsAndMThree) {
  EncoderContext ctx;
  EncoderSettings r;
  std::memset(&r, 0, sizeof r);
  // Contents the presets must leave alone: backward half of row 0, rows >= M.
  for (int c = 4; c < 8; ++c) r.motion_ranges[0][c] = 77;
  for (int c = 0; c < 8; ++c) r.motion_ranges[3][c] = 66;
  apply_preset(ctx, r, kMpeg2, true);
  const int expected[3][8] = {
      {2, 2, 9, 9, 77, 77, 77, 77},
      {1, 1, 3, 3, 1, 1, 6, 6},
      {1, 1, 6, 6, 1, 1, 3, 3},
  };
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 8; ++c) EXPECT_EQ(r.motion_ranges[row][c], expected[row][c]) << row;
  for (int c = 0; c < 8; ++c) EXPECT_EQ(r.motion_ranges[3][c], 66);
}

TEST(Presets, FCodeRulesAtTheirBounds) {
  EncoderSettings r{};
  r.mpeg_type = kMpeg2;
  r.level = 4;
  struct Case { int range, h, v; };
  const Case cases[] = {{7, 1, 1},    {8, 2, 2},    {15, 2, 2},    {16, 3, 3},  {31, 3, 3},
                        {32, 4, 4},   {63, 4, 4},   {64, 5, 5},    {127, 5, 5}, {128, 6, 5},
                        {255, 6, 5},  {256, 7, 5},  {511, 7, 5},   {512, 8, 5}, {1023, 8, 5},
                        {1024, 9, 5}, {2047, 9, 5}};
  for (const Case& c : cases) {
    EXPECT_EQ(horizontal_f_code(r, c.range), c.h) << c.range;
    EXPECT_EQ(vertical_f_code(r, c.range), c.v) << c.range;
  }
  r.level = 8;  // Main level stops at 8
  EXPECT_EQ(horizontal_f_code(r, 1500), 8);
  r.level = 10;  // Low level: 7 horizontally, 4 vertically
  EXPECT_EQ(horizontal_f_code(r, 600), 7);
  EXPECT_EQ(vertical_f_code(r, 100), 4);
  r.mpeg_type = kMpeg1;
  r.level = 4;
  EXPECT_EQ(horizontal_f_code(r, 600), 7);
  r.constrained_parameters_flag = 1;
  EXPECT_EQ(horizontal_f_code(r, 100), 4);
  EXPECT_EQ(vertical_f_code(r, 100), 4);
}

TEST(Presets, VideoStreamExtensionFollowsTheType) {
  EncoderContext ctx;
  EncoderSettings r{};
  ctx.video_file = "/tmp/a.m1v/clip.m1v";
  apply_preset(ctx, r, kMpeg2, true);
  EXPECT_EQ(ctx.video_file, "/tmp/a.m1v/clip.m2v");
  apply_preset(ctx, r, kVideoCd, false);
  EXPECT_EQ(ctx.video_file, "/tmp/a.m1v/clip.m1v");
  ctx.video_file.clear();
  apply_preset(ctx, r, kDvd, false);
  EXPECT_EQ(ctx.video_file, "");
}

TEST(Presets, AutomaticRates) {
  EncoderContext ctx;
  ctx.source.width = 720;
  ctx.source.height = 576;
  EncoderSettings r{};
  apply_preset(ctx, r, kMpeg2, true);
  r.auto_bit_rate = 1;
  recompute_rates(ctx, r);
  EXPECT_EQ(r.bit_rate, 7672320);  // floor(576 x 25 x 720 x 0.74)
  EXPECT_EQ(r.vbv_buffer_size, 95);
  EXPECT_EQ(r.video_buffer_kb, 190);

  apply_preset(ctx, r, kSuperVcd, true);
  r.auto_bit_rate = 1;
  r.audio_bitrate_index = 1;
  recompute_rates(ctx, r);
  EXPECT_EQ(r.bit_rate, 2568000);
  EXPECT_EQ(r.vbv_buffer_size, 112);

  apply_preset(ctx, r, kDvd, true);
  ctx.source.width = 1920;
  ctx.source.height = 1080;
  r.auto_bit_rate = 1;
  recompute_rates(ctx, r);
  EXPECT_EQ(r.vbv_buffer_size, 112);  // capped at Main level
  EXPECT_EQ(r.video_buffer_kb, 232);

  ctx.source.width = 0;  // unknown picture: nothing changes
  apply_preset(ctx, r, kMpeg1, true);
  r.auto_bit_rate = 1;
  recompute_rates(ctx, r);
  EXPECT_EQ(r.bit_rate, 1800000);
}

}  // namespace
