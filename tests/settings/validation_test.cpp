#include <gtest/gtest.h>

#include <functional>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/presets.h"
#include "mpeg/settings/validation.h"

namespace {

using namespace corvexa::mpeg;

EncoderSettings preset(int kind, bool pal = true) {
  EncoderContext ctx;
  EncoderSettings r{};
  apply_preset(ctx, r, kind, pal);
  return r;
}

TEST(ValidateVideo, EveryPresetIsValidAtItsOwnPictureSize) {
  for (int kind = 0; kind <= 4; ++kind)
    for (bool pal : {false, true}) {
      EncoderSettings r = preset(kind, pal);
      int width = r.display_horizontal_size;
      int height = r.display_vertical_size;
      EXPECT_TRUE(validate_video(r, width, height)) << r.preset_name;
      EXPECT_TRUE(validate_audio(r)) << r.preset_name;
    }
}

struct Breakage {
  const char* what;
  int kind;
  std::function<void(EncoderSettings&)> change;
};

TEST(ValidateVideo, RejectsWhatTheRulesForbid) {
  const Breakage cases[] = {
      {"gop 15 with M 4", kMpeg2, [](EncoderSettings& r) { r.ip_distance = 4; derive_motion_rows(r); }},
      {"MPEG-1 with alternate scan", kMpeg1, [](EncoderSettings& r) { r.alternate_scan[1] = 1; }},
      {"Simple profile with B pictures", kMpeg2, [](EncoderSettings& r) { r.profile = 5; }},
      {"gop 33", kMpeg2, [](EncoderSettings& r) { r.gop_size = 33; r.ip_distance = 1; }},
      {"MPEG-2 aspect 5", kMpeg2, [](EncoderSettings& r) { r.aspect_ratio_information = 5; }},
      {"colour primaries 3", kDvd, [](EncoderSettings& r) { r.colour_primaries = 3; }},
      {"MPEG-1 vbv 1024", kMpeg1, [](EncoderSettings& r) { r.vbv_buffer_size = 1024; }},
      {"4:2:2 in Main profile", kMpeg2, [](EncoderSettings& r) { r.chroma_format = 2; }},
      {"dc precision 3 in Main", kMpeg2, [](EncoderSettings& r) { r.intra_dc_precision = 3; }},
      {"60 fps at Main level", kMpeg2, [](EncoderSettings& r) { r.frame_rate_code = 8; r.frame_rate = 60; }},
      {"Main level bit rate", kDvd, [](EncoderSettings& r) { r.bit_rate = 15000001; }},
      {"range beyond f_code", kMpeg2, [](EncoderSettings& r) { r.motion_ranges[0][2] = 16; }},
      {"progressive sequence without progressive frame", kMpeg1,
       [](EncoderSettings& r) { r.progressive_frame = 0; }},
      {"progressive frame with field pictures", kMpeg1, [](EncoderSettings& r) { r.field_pictures = 1; }},
      {"repeat_first_field without progressive frame", kMpeg2,
       [](EncoderSettings& r) { r.repeat_first_field = 1; }},
      {"MPEG-2 with constrained parameters", kMpeg2,
       [](EncoderSettings& r) { r.constrained_parameters_flag = 1; }},
      {"constrained f_code 5", kVideoCd, [](EncoderSettings& r) { r.motion_ranges[0][0] = 5; }},
  };
  for (const Breakage& c : cases) {
    EncoderSettings r = preset(c.kind);
    ASSERT_TRUE(validate_video(r, 352, 288)) << c.what;
    c.change(r);
    EXPECT_FALSE(validate_video(r, 352, 288)) << c.what;
  }
}

TEST(ValidateVideo, LevelAndConstrainedPictureLimits) {
  EncoderSettings r = preset(kMpeg2);
  EXPECT_TRUE(validate_video(r, 720, 576));
  EXPECT_FALSE(validate_video(r, 722, 576));
  EncoderSettings vcd = preset(kVideoCd);
  EXPECT_TRUE(validate_video(vcd, 352, 288));
  EXPECT_FALSE(validate_video(vcd, 368, 288));  // 23 x 18 = 414 macroblocks
}

TEST(ValidateAudio, Ranges) {
  EncoderSettings r = preset(kDvd);
  EXPECT_TRUE(validate_audio(r));
  for (auto change : std::initializer_list<std::function<void(EncoderSettings&)>>{
           [](EncoderSettings& s) { s.audio_layer = 3; },
           [](EncoderSettings& s) { s.psych_model = 0; },
           [](EncoderSettings& s) { s.audio_bitrate_index = 15; },
           [](EncoderSettings& s) { s.emphasis = 2; },
           [](EncoderSettings& s) { s.copyright = 2; }}) {
    EncoderSettings s = r;
    change(s);
    EXPECT_FALSE(validate_audio(s));
  }
}

}  // namespace
