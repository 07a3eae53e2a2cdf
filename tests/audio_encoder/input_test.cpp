// The stage's input side and its life cycle: deliveries of any size, the end
// and error codes, the delivery limit, progress, the stop flag, set-up
// failures and the end report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "audio_encoder/audio_fixture.h"
#include "mpeg/stages.h"
#include "support/temp_dir.h"

namespace {

using namespace audio_test;

std::vector<std::uint8_t> read_all(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct StageRun {
  bool ok = false;
  RecordingStatus status;
  std::vector<std::uint8_t> bytes;
};

// Encodes `pcm` (stereo 44.1 kHz unless said) through `source`; `adjust`
// may change the prepared context.
void run_stage(StageRun& r, PcmSource& source, const std::string& path, int frame_count, Settings s = {},
               bool per_sample = false, const std::function<void(EncoderContext&)>& adjust = {}) {
  EncoderContext ctx;
  if (s.sample_rate == 48000) s.sample_rate = 44100;
  prepare(ctx, s, &source, &r.status, path, frame_count);
  if (per_sample) ctx.audio_input_mode = corvexa::mpeg::AudioInputMode::kPerSample;
  if (adjust) adjust(ctx);
  r.ok = corvexa::mpeg::run_audio_encoder(ctx);
  r.bytes = read_all(path);
}

struct DeliveryCase {
  const char* name;
  int block_frames;
  int block_bytes;
};

class AudioDeliveries : public ::testing::TestWithParam<DeliveryCase> {};

TEST_P(AudioDeliveries, AnyDeliverySizeGivesTheSameStream) {
  const int frames_in = 44100 / 2 + 333;
  const std::vector<short> pcm = test_signal(frames_in, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource reference_source(pcm, 2, 1764);
  StageRun reference;
  run_stage(reference, reference_source, dir.file("ref.mp2"), 10000);
  ASSERT_TRUE(reference.ok);

  PcmSource source(pcm, 2, GetParam().block_frames);
  source.block_bytes = GetParam().block_bytes;
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), 1000000);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.bytes, reference.bytes);

  const Decoded d = decode_mpg123(dir.file("x.mp2"));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.frames(), (frames_in + 1151) / 1152 * 1152);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AudioDeliveries,
                         ::testing::Values(DeliveryCase{"video_frame_25fps", 1764, 0},
                                           DeliveryCase{"one_sample", 1, 0},
                                           DeliveryCase{"odd_bytes", 0, 1001},
                                           DeliveryCase{"three_bytes", 0, 3},
                                           DeliveryCase{"one_second", 44100, 0},
                                           DeliveryCase{"at_the_limit", 0, 192000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AudioInput, PerSampleModeGivesTheSameStream) {
  const std::vector<short> pcm = test_signal(30000, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource a(pcm, 2, 1764), b(pcm, 2, 1764);
  StageRun frame_run, sample_run;
  run_stage(frame_run, a, dir.file("a.mp2"), 100);
  run_stage(sample_run, b, dir.file("b.mp2"), 30000, Settings{}, true);
  ASSERT_TRUE(frame_run.ok);
  ASSERT_TRUE(sample_run.ok);
  EXPECT_EQ(frame_run.bytes, sample_run.bytes);
  ASSERT_FALSE(sample_run.status.progress_texts.empty());
  EXPECT_EQ(sample_run.status.progress_texts[0], "Audio: 3% - sample 1152 of 30000.");
}

TEST(AudioInput, ProgressPerDeliveryCappedAt99) {
  const std::vector<short> pcm = test_signal(1764 * 10, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource source(pcm, 2, 1764);
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), 10);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.status.progress_texts.size(), 10u);
  EXPECT_EQ(r.status.progress_texts[0], "Audio: 10% - frame 1 of 10.");
  EXPECT_EQ(r.status.progress_texts[9], "Audio: 99% - frame 10 of 10.");
  EXPECT_EQ(r.status.percents[9], 99);
  // The whole range arrived: no early-end mark, and only the range was asked.
  for (int p : r.status.percents) EXPECT_GE(p, 0);
  EXPECT_EQ(source.asked_frames, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_TRUE(r.status.has_message("   Avg slots/frame = 731.438; b/smp = 5.08; br = 224.003 kbps."))
      << (r.status.messages.empty() ? "" : r.status.messages.back());
}

TEST(AudioInput, BlocksStandingForSeveralFramesAdvanceTheRange) {
  const std::vector<short> pcm = test_signal(1764 * 10, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource source(pcm, 2, 1764 * 2);
  source.advance = 2;
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), 10);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(source.asked_frames, (std::vector<int>{0, 2, 4, 6, 8}));
  EXPECT_EQ(r.status.progress_texts[0], "Audio: 20% - frame 2 of 10.");
}

TEST(AudioInput, VerboseSetUpReport) {
  const std::vector<short> pcm = test_signal(2000, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource source(pcm, 2, 1764);
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), 5, Settings{}, false, [](EncoderContext& ctx) { ctx.work.verbose = 1; });
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.status.has_message("   slots/frame = 731."));
  EXPECT_TRUE(r.status.has_message("   frac SpF=0.429, tot bitrate=224 kbps, s freq=44.1 kHz."));
  EXPECT_TRUE(r.status.has_message("   Fractional number of slots, padding required."));
}

TEST(AudioInput, EndOfDataBeforeTheRangeEndsQuietly) {
  const std::vector<short> pcm = test_signal(1764 * 4, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource source(pcm, 2, 1764);
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), 10);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.status.percents.back(), -1);
  const Decoded d = decode_mpg123(dir.file("x.mp2"));
  EXPECT_EQ(d.frames(), (1764 * 4 + 1151) / 1152 * 1152);
  // The zero-filled tail of the last frame decodes to near silence.
  double tail = 0.0;
  for (long i = 1764 * 4 + 600; i < d.frames(); ++i) tail = std::max(tail, std::fabs(static_cast<double>(d.pcm[static_cast<std::size_t>(2 * i)])));
  EXPECT_LT(tail, 200.0);
}

struct FailureCase {
  const char* name;
  int error_at_call;
  int error_code;
  int oversize_at_call;
  int frame_count;
  bool ok;
  const char* message;
};

class AudioInputResults : public ::testing::TestWithParam<FailureCase> {};

TEST_P(AudioInputResults, CallbackResults) {
  const FailureCase c = GetParam();
  const std::vector<short> pcm = test_signal(1764 * 8, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource source(pcm, 2, 1764);
  source.error_at_call = c.error_at_call;
  source.error_code = c.error_code;
  source.oversize_at_call = c.oversize_at_call;
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), c.frame_count);
  EXPECT_EQ(r.ok, c.ok);
  if (c.message[0]) {
    EXPECT_TRUE(r.status.has_message(c.message));
  }
  // Whatever was written is whole frames that decode.
  if (!r.bytes.empty()) {
    EXPECT_EQ(r.bytes.size() % 731 <= r.bytes.size() / 731, true);
    EXPECT_FALSE(parse_frames(dir.file("x.mp2")).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, AudioInputResults,
    ::testing::Values(
        FailureCase{"error_mid_range", 3, 4, -1, 8, false, "  Could not get audio data at frame 3, error code 4."},
        FailureCase{"error_at_last_frame", 7, 4, -1, 8, true, ""},
        FailureCase{"end_code_mid_range", 3, 50, -1, 8, true, ""},
        FailureCase{"oversized_delivery", -1, 0, 2, 8, false,
                    "Returned buffer size is greater than temporary audio buffer size."},
        FailureCase{"nothing_at_all", 0, 50, -1, 8, false, "No audio data to encode."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioStage, StopRequestEndsTheStageWithAClosedFile) {
  const std::vector<short> pcm = test_signal(44100, 2, 44100);
  kavrol_test::TempDir dir;
  PcmSource source(pcm, 2, 1764);
  StageRun r;
  run_stage(r, source, dir.file("x.mp2"), 25, Settings{}, false,
            [&r](EncoderContext& ctx) { r.status.stop_after_progress = &ctx; });
  EXPECT_FALSE(r.ok);
  // One frame was coded before the flag was seen; nothing more was asked.
  EXPECT_EQ(source.calls, 1);
  EXPECT_EQ(parse_frames(dir.file("x.mp2")).size(), 1u);
}

TEST(AudioStage, SetUpFailures) {
  kavrol_test::TempDir dir;
  const std::vector<short> pcm = test_signal(4000, 2, 22050);
  {
    PcmSource source(pcm, 2, 882);
    RecordingStatus status;
    EncoderContext ctx;
    Settings s;
    s.sample_rate = 22050;
    prepare(ctx, s, &source, &status, dir.file("x.mp2"), 5);
    EXPECT_FALSE(corvexa::mpeg::run_audio_encoder(ctx));
    EXPECT_TRUE(status.has_message("Unknown audio sampling rate"));
    EXPECT_EQ(source.calls, 0);
  }
  {
    PcmSource source(pcm, 2, 882);
    RecordingStatus status;
    EncoderContext ctx;
    const std::string path = dir.file("missing/x.mp2");
    prepare(ctx, Settings{}, &source, &status, path, 5);
    EXPECT_FALSE(corvexa::mpeg::run_audio_encoder(ctx));
    EXPECT_TRUE(status.has_message("Unable to open file " + path + " for writing."));
  }
}

TEST(AudioStage, ChannelsFollowTheModeNotTheSource) {
  kavrol_test::TempDir dir;
  // A mono source in a two-channel mode is coded on both channels...
  const std::vector<short> mono = sine(20000, 1, 48000, 1000.0, 8000.0);
  PcmSource a(mono, 1, 1920);
  StageRun two;
  Settings s;
  s.stereo_source = false;
  s.sample_rate = 32000;
  run_stage(two, a, dir.file("two.mp2"), 100, s);
  ASSERT_TRUE(two.ok);
  const Decoded d2 = decode_mpg123(dir.file("two.mp2"));
  ASSERT_EQ(d2.channels, 2);
  // ...and a stereo source in single channel mode is averaged.
  const std::vector<short> stereo = sine(20000, 2, 32000, 1000.0, 8000.0, 3000.0);
  PcmSource b(stereo, 2, 1280);
  StageRun one;
  Settings m;
  m.mode = 3;
  m.kbps = 192;
  m.sample_rate = 32000;
  run_stage(one, b, dir.file("one.mp2"), 100, m);
  ASSERT_TRUE(one.ok);
  const Decoded d1 = decode_mpg123(dir.file("one.mp2"));
  ASSERT_EQ(d1.channels, 1);
  std::vector<short> average(20000);
  for (int i = 0; i < 20000; ++i) average[static_cast<std::size_t>(i)] = static_cast<short>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
  EXPECT_GT(aligned_snr(average, d1.pcm, 1, 600), 30.0);
}

}  // namespace
