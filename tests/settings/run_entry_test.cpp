#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_entry.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa::mpeg;

struct AdjustCase {
  const char* what;
  int kind;
  int width, height, frame_rate_code;
  int want_level, want_rate_code;
};

TEST(SourceAdjustment, LevelAndFrameRateFollowThePicture) {
  const double rates[9] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
  const AdjustCase cases[] = {
      {"PAL DVD keeps Main", kMpeg2, 720, 576, 3, 8, 3},
      {"1080 lines at 29.97 moves to High", kMpeg2, 1920, 1080, 4, 4, 4},
      {"720p at 59.94 moves to High-1440 and 50 fps", kMpeg2, 1280, 720, 7, 6, 6},
  };
  for (const AdjustCase& c : cases) {
    EncoderContext ctx;
    EncoderSettings r{};
    apply_preset(ctx, r, c.kind, true);
    r.frame_rate_code = c.frame_rate_code;
    r.frame_rate = rates[c.frame_rate_code];
    ctx.source.has_video = true;
    ctx.source.width = c.width;
    ctx.source.height = c.height;
    EXPECT_TRUE(adjust_to_source(ctx, r)) << c.what;
    EXPECT_EQ(r.level, c.want_level) << c.what;
    EXPECT_EQ(r.frame_rate_code, c.want_rate_code) << c.what;
    EXPECT_DOUBLE_EQ(r.frame_rate, rates[c.want_rate_code]) << c.what;
  }
}

TEST(SourceAdjustment, MonoAudioRateIsClampedAndBadStreamsRefused) {
  EncoderContext ctx;
  ctx.source.stereo = false;
  EncoderSettings r{};
  apply_preset(ctx, r, kSuperVcd, true);
  ctx.source.has_audio = true;
  ctx.source.sample_rate = 44100;
  ctx.source.bits_per_sample = 16;
  EXPECT_TRUE(adjust_to_source(ctx, r));
  EXPECT_EQ(r.audio_bitrate_index, 10);

  ctx.source.sample_rate = 22050;
  EXPECT_FALSE(adjust_to_source(ctx, r));
  ctx.source.has_audio = false;
  ctx.source.has_video = true;
  ctx.source.width = 1922;
  ctx.source.height = 1080;
  EXPECT_FALSE(adjust_to_source(ctx, r));
}

// Records what the run reports.
class RecordingStatus : public StatusSink {
 public:
  void Progress(const char*, int percent) override { last_percent = percent; }
  void Message(const char* text) override { messages += std::string(text) + "\n"; }
  int last_percent = 0;
  std::string messages;
};

TEST(RunEntry, StreamsGetNamesOfTheirOwnBesideTheOutputAndGoWhenTheRunFails) {
  kavrol_test::TempDir dir;
  EncoderContext ctx;
  RecordingStatus status;
  ctx.status = &status;
  init_encoder(ctx);
  apply_preset(ctx, ctx.record, kDvd, true);
  SourceInfo source;
  source.has_video = true;
  source.width = 721;  // made even
  source.height = 576;
  source.has_audio = true;
  source.sample_rate = 48000;
  source.bits_per_sample = 16;
  source.last_frame = 9;
  // Names the streams would have had after the output: never touched.
  for (const char* name : {"clip.v1.m2v", "clip.v1.mp2"}) std::ofstream(dir.file(name)) << name;
  source.output_path = dir.file("clip.v1.mpg");
  EXPECT_EQ(encode(ctx, nullptr, source), kRunFailed);
  for (const std::string* name : {&ctx.video_file, &ctx.audio_file}) {
    EXPECT_EQ(std::filesystem::path(*name).parent_path(), dir.path());
    EXPECT_EQ(std::filesystem::path(*name).filename().string().rfind(".kavrol-", 0), 0u) << *name;
    EXPECT_FALSE(std::filesystem::exists(*name)) << *name;  // removed with the failed run
  }
  EXPECT_EQ(ctx.video_file.substr(ctx.video_file.size() - 4), ".m2v");
  EXPECT_EQ(ctx.audio_file.substr(ctx.audio_file.size() - 4), ".mp2");
  EXPECT_EQ(ctx.output_name, dir.file("clip.v1.mpg"));
  EXPECT_EQ(ctx.source.width, 720);
  EXPECT_FALSE(ctx.running.load());
  EXPECT_FALSE(std::filesystem::exists(source.output_path));
  std::size_t left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++left;
  }
  EXPECT_EQ(left, 2u);  // the two files that were there before
  // The working state is reloaded from the record after the run.
  EXPECT_EQ(ctx.work.mpeg_type, kDvd);
}

TEST(RunEntry, StopIsHonouredOnlyWhileRunning) {
  EncoderContext ctx;
  request_stop(ctx);
  EXPECT_FALSE(ctx.stop_requested.load());
  ctx.running = true;
  request_stop(ctx);
  EXPECT_TRUE(ctx.stop_requested.load());
}

TEST(RunEntry, InvalidSettingsFailWithoutRunningAStage) {
  EncoderContext ctx;
  RecordingStatus status;
  ctx.status = &status;
  init_encoder(ctx);
  ctx.record.gop_size = 0;
  SourceInfo source;
  source.has_video = true;
  source.width = 352;
  source.height = 288;
  source.last_frame = 0;
  EXPECT_EQ(encode(ctx, nullptr, source), kRunFailed);
  EXPECT_EQ(status.messages, "");  // no stage ran, and none reports for it
  EXPECT_EQ(ctx.output_name, "temp.mpg");
  EXPECT_EQ(ctx.video_file, "");  // nothing was created for a run that gave up
  EXPECT_EQ(ctx.audio_file, "");
}

}  // namespace
