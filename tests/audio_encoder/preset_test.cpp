// Audio-only runs through the run entry with every preset: the stream that
// becomes the output decodes with CRC checking, with the preset's rate (the
// mono clamp included) and error protection.
#include <gtest/gtest.h>

#include <filesystem>

#include "audio_encoder/audio_fixture.h"
#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_entry.h"
#include "support/temp_dir.h"

namespace {

using namespace audio_test;

struct PresetCase {
  int kind;
  bool pal;
  int rate;
  bool stereo;
};

class AudioPresets : public ::testing::TestWithParam<PresetCase> {};

TEST_P(AudioPresets, AudioOnlyRunDecodes) {
  const PresetCase c = GetParam();
  kavrol_test::TempDir dir;
  const int channels = c.stereo ? 2 : 1;
  const int per_frame = c.rate / 25;
  const std::vector<short> pcm = test_signal(per_frame * 10, channels, c.rate);
  PcmSource source(pcm, channels, per_frame);
  RecordingStatus status;
  EncoderContext ctx;
  corvexa::mpeg::init_encoder(ctx);
  ctx.status = &status;
  ctx.source.stereo = c.stereo;
  corvexa::mpeg::apply_preset(ctx, ctx.record, c.kind, c.pal);
  corvexa::mpeg::SourceInfo info;
  info.has_audio = true;
  info.sample_rate = c.rate;
  info.bits_per_sample = 16;
  info.stereo = c.stereo;
  info.first_frame = 0;
  info.last_frame = 9;
  info.output_path = dir.file("out.mpg");
  ASSERT_EQ(corvexa::mpeg::encode(ctx, &source, info), corvexa::mpeg::kRunSucceeded);
  ASSERT_TRUE(std::filesystem::exists(info.output_path));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.mp2")));

  const auto headers = parse_frames(info.output_path);
  ASSERT_EQ(headers.size(), (per_frame * 10 + 1151) / 1152);
  const int protection = c.kind >= 3 ? 1 : 0;
  for (const auto& h : headers) {
    EXPECT_EQ(h.layer, 2);
    EXPECT_EQ(h.bitrate_index, c.stereo ? 11 : 10);
    EXPECT_EQ(h.mode, c.stereo ? 0 : 3);
    EXPECT_EQ(h.protection, protection);
  }
  const Decoded d = decode_libavcodec(info.output_path, true);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.channels, channels);
  EXPECT_EQ(d.frames(), static_cast<long>(headers.size()) * 1152);
  const Decoded m = decode_mpg123(info.output_path);
  ASSERT_TRUE(m.ok) << m.error;
}

std::vector<PresetCase> cases() {
  std::vector<PresetCase> out;
  for (int kind = 0; kind <= 4; ++kind)
    for (bool pal : {false, true}) {
      out.push_back({kind, pal, pal ? 48000 : 44100, true});
      out.push_back({kind, pal, pal ? 32000 : 48000, false});
    }
  return out;
}

INSTANTIATE_TEST_SUITE_P(Presets, AudioPresets, ::testing::ValuesIn(cases()), [](const auto& info) {
  return "kind" + std::to_string(info.param.kind) + (info.param.pal ? "_pal_" : "_ntsc_") +
         std::to_string(info.param.rate) + (info.param.stereo ? "_stereo" : "_mono");
});

}  // namespace
