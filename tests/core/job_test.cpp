#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/avi_to_mpeg.h"
#include "corvexa/mpeg_encoder.h"
#include "mpeg/settings/encoder_context.h"
#include "support/avi_writer.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "support/test_holder.h"

namespace {

using namespace corvexa;
using mpeg::EncoderContext;

// What the stand-in video stage saw of the run.
struct Seen {
  std::mutex lock;
  mpeg::SourceInfo source;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<int> codes;
  double frame_rate = 0;
  int frame_rate_code = 0;
};
Seen g_seen;
std::atomic<bool> g_wait_for_stop{false};

// Pulls every frame of the run, then fails as a missing encoder would.
bool recording_video_stage(EncoderContext& ctx) {
  std::lock_guard<std::mutex> hold(g_seen.lock);
  g_seen.source = ctx.source;
  g_seen.frames.clear();
  g_seen.codes.clear();
  g_seen.frame_rate = ctx.work.frame_rate;
  g_seen.frame_rate_code = ctx.work.frame_rate_code;
  for (int n = ctx.source.first_frame; n <= ctx.source.last_frame + 1; ++n) {
    kavrol_test::TestHolder holder;
    int line = 0, repeat = 7;
    int code = ctx.frames->GetFrame(n, holder, line, repeat);
    EXPECT_EQ(repeat, 0);
    g_seen.codes.push_back(code);
    g_seen.frames.push_back(holder.bytes());
  }
  while (g_wait_for_stop && !mpeg::stop_requested(ctx))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return false;
}

// What the stand-in audio stage received, block by block.
struct HeardBlock {
  int code;
  int advance;
  std::vector<std::uint8_t> pcm;
};
std::vector<HeardBlock> g_heard;
mpeg::SourceInfo g_heard_source;

bool passing_video_stage(EncoderContext&) { return true; }

bool recording_audio_stage(EncoderContext& ctx) {
  g_heard.clear();
  g_heard_source = ctx.source;
  for (int n = 0; n < 1000; ++n) {
    const std::uint8_t* data = nullptr;
    int bytes = 0, advance = 0;
    int code = ctx.frames->GetAudio(n, data, bytes, advance);
    g_heard.push_back({code, advance, code == 0 ? std::vector<std::uint8_t>(data, data + bytes)
                                                : std::vector<std::uint8_t>()});
    if (code != 0) break;
  }
  return false;
}

class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mpeg::encoder_context().stages.video = &recording_video_stage;
    g_wait_for_stop = false;
  }
  void TearDown() override { mpeg::encoder_context().stages = mpeg::default_stages(); }

  AviToMpegJob* new_job() {
    return static_cast<AviToMpegJob*>(core::make_heap_object(core::construct_avitompeg));
  }

  // A raw 24-bit AVI of `frames` test pictures at `rate`/`scale` fps.
  std::string write_avi(const std::string& name, int frames, std::uint32_t rate,
                        std::uint32_t scale, int w = 32, int h = 16) {
    kavrol_test::AviWriter writer;
    kavrol_test::AviVideoFormat layout;
    layout.width = w;
    layout.height = h;
    layout.rate = rate;
    layout.scale = scale;
    int v = writer.add_video(layout);
    for (int f = 0; f < frames; ++f) writer.add_chunk(v, kavrol_test::test_picture_bgr24(w, h, f));
    std::string path = dir_.file(name);
    EXPECT_TRUE(writer.write(path));
    return path;
  }

  kavrol_test::TempDir dir_;
};

TEST_F(JobTest, FeedsTheSourcePixelsUnderTheRepeatMappingThenFailsHonestly) {
  const std::string source = write_avi("ten.avi", 4, 10, 1);  // 10 fps: each frame three times
  AviToMpegJob* job = new_job();
  ASSERT_NE(job, nullptr);
  kavrol_test::RecordingSink sink;
  job->SetTarget(kTargetDvd, 1);
  job->SetConforming(0);  // the source's size and its rate's code
  job->SetSink(&sink);
  ASSERT_TRUE(job->SetSourceFile(source.c_str()));
  job->SetOutputFile("");
  job->Start();
  ASSERT_TRUE(sink.wait_for_end());
  job->Release();

  EXPECT_EQ(sink.errors, std::vector<std::string>{"Convert Error"});
  EXPECT_EQ(sink.completed, 0);
  std::lock_guard<std::mutex> hold(g_seen.lock);
  EXPECT_EQ(g_seen.source.output_path, dir_.file("ten.mpg"));
  EXPECT_EQ(g_seen.source.first_frame, 0);
  EXPECT_EQ(g_seen.source.last_frame, 11);
  EXPECT_EQ(g_seen.source.width, 32);
  EXPECT_EQ(g_seen.frame_rate_code, 5);
  EXPECT_DOUBLE_EQ(g_seen.frame_rate, 30.0);  // the coded rate, not the source's 10
  ASSERT_EQ(g_seen.frames.size(), 13u);
  for (int n = 0; n < 13; ++n) {
    EXPECT_EQ(g_seen.codes[static_cast<std::size_t>(n)], 0) << n;
    const int src = std::min(n, 11) / 3;  // a request past the end reads the last frame
    const auto& px = g_seen.frames[static_cast<std::size_t>(n)];
    ASSERT_EQ(px.size(), 32u * 16u * 4u);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 32; ++x) {
        std::uint8_t bgr[3];
        kavrol_test::test_pixel(x, y, src, bgr);
        const std::uint8_t* p = &px[(static_cast<std::size_t>(15 - y) * 32 + x) * 4];
        ASSERT_TRUE(p[0] == bgr[0] && p[1] == bgr[1] && p[2] == bgr[2]) << n << " " << x << "," << y;
      }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("ten.mpg")));
}

TEST_F(JobTest, BadSourcesFailAtStartWithOneErrorAReasonAndNoOutput) {
  std::ofstream(dir_.file("text.avi")) << "not a video at all";
  // Compressed video that no decoder reads.
  kavrol_test::AviWriter garbage;
  kavrol_test::AviVideoFormat layout;
  layout.compression = make_fourcc('Z', 'Z', 'Z', 'Z');
  int v = garbage.add_video(layout);
  garbage.add_chunk(v, std::vector<std::uint8_t>(100, 0xAB));
  ASSERT_TRUE(garbage.write(dir_.file("garbage.avi")));
  // A good file cut in half inside its header.
  const std::string good = write_avi("good.avi", 3, 25, 1);
  std::filesystem::resize_file(good, 150);

  struct Case {
    const char* name;
    const char* reason;  // part of what LastError says
  };
  const Case cases[] = {{"missing.avi", "cannot be opened"},
                        {"text.avi", "cannot be opened"},
                        {"garbage.avi", "no video decoder for the source's video (ZZZZ)"},
                        {"good.avi", "cannot be opened"}};
  for (const Case& c : cases) {
    AviToMpegJob* job = new_job();
    kavrol_test::RecordingSink sink;
    job->SetSink(&sink);
    job->SetSourceFile(dir_.file(c.name).c_str());
    job->Start();  // reports on the caller's thread
    EXPECT_EQ(sink.errors, std::vector<std::string>{"Convert Error"}) << c.name;
    EXPECT_NE(std::string(job->LastError()).find(c.reason), std::string::npos)
        << c.name << ": " << job->LastError();
    job->Release();
    EXPECT_FALSE(std::filesystem::exists(dir_.file(std::string(c.name).replace(std::string(c.name).size() - 4, 4, ".mpg"))))
        << c.name;
  }
}

TEST_F(JobTest, PathsThatDoNotFitAreRefused) {
  const std::string source = write_avi("p.avi", 2, 25, 1);
  AviToMpegJob* job = new_job();
  kavrol_test::RecordingSink sink;
  job->SetSink(&sink);
  EXPECT_FALSE(job->SetSourceFile(std::string(kMaxPath, 'a').c_str()));
  job->Start();
  EXPECT_EQ(sink.errors.size(), 1u);
  ASSERT_TRUE(job->SetSourceFile(source.c_str()));
  job->SetOutputFile(("/tmp/" + std::string(kMaxPath, 'b') + ".mpg").c_str());
  job->Start();
  EXPECT_EQ(sink.errors.size(), 2u);
  job->Release();
}

TEST_F(JobTest, StopEndsARunSilentlyAndAnotherJobWorksAfterwards) {
  const std::string source = write_avi("s.avi", 2, 25, 1);
  {
    AviToMpegJob* job = new_job();
    job->Stop();  // no run: nothing happens
    kavrol_test::RecordingSink sink;
    job->SetSink(&sink);
    job->SetSourceFile(source.c_str());
    g_wait_for_stop = true;
    job->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    job->Stop();
    EXPECT_FALSE(sink.wait_for_end(std::chrono::seconds(1)));
    job->Release();
    EXPECT_TRUE(sink.errors.empty());
    EXPECT_EQ(sink.completed, 0);
  }
  {
    // Released while its run still goes: the release ends the run first.
    AviToMpegJob* job = new_job();
    kavrol_test::RecordingSink sink;
    job->SetSink(&sink);
    job->SetSourceFile(source.c_str());
    job->Start();
    job->Release();
  }
  g_wait_for_stop = false;
  AviToMpegJob* job = new_job();
  kavrol_test::RecordingSink sink;
  job->SetSink(&sink);
  job->SetSourceFile(source.c_str());
  job->Start();
  EXPECT_TRUE(sink.wait_for_end());
  EXPECT_EQ(sink.errors, std::vector<std::string>{"Convert Error"});
  job->Release();
}

TEST_F(JobTest, DeliversTheSoundBlockByBlockAndVideoOnlyWhenItCannotBeRead) {
  mpeg::encoder_context().stages.video = &passing_video_stage;
  mpeg::encoder_context().stages.audio = &recording_audio_stage;
  // 12.5 fps video (each frame twice) with 22050 Hz mono sound (factor 2).
  kavrol_test::AviWriter writer;
  kavrol_test::AviVideoFormat video;
  video.width = 16;
  video.height = 16;
  video.rate = 25;
  video.scale = 2;
  int v = writer.add_video(video);
  kavrol_test::AviAudioFormat audio;
  audio.format = kavrol_test::pcm_format(1, 22050, 16);
  int a = writer.add_audio(audio);
  const std::vector<std::uint8_t> tone = kavrol_test::tone_pcm16(22050, 1, 22050, 300);
  for (int f = 0; f < 12; ++f) {
    writer.add_chunk(v, kavrol_test::test_picture_bgr24(16, 16, f));
    const std::size_t part = tone.size() / 12;
    writer.add_chunk(a, std::vector<std::uint8_t>(tone.begin() + static_cast<std::ptrdiff_t>(f * part),
                                                  tone.begin() + static_cast<std::ptrdiff_t>((f + 1) * part)));
  }
  const std::string source = dir_.file("av.avi");
  ASSERT_TRUE(writer.write(source));

  AviToMpegJob* job = new_job();
  kavrol_test::RecordingSink sink;
  job->SetTarget(kTargetMpeg2, 1);
  job->SetSink(&sink);
  job->SetSourceFile(source.c_str());
  job->Start();
  ASSERT_TRUE(sink.wait_for_end());
  job->Release();
  mpeg::encoder_context().stages = mpeg::default_stages();
  EXPECT_EQ(sink.errors, std::vector<std::string>{"Convert Error"});  // no multiplexer yet

  EXPECT_TRUE(g_heard_source.has_audio);
  EXPECT_EQ(g_heard_source.sample_rate, 44100);
  EXPECT_FALSE(g_heard_source.stereo);
  EXPECT_EQ(g_heard_source.bits_per_sample, 16);
  ASSERT_GE(g_heard.size(), 2u);
  EXPECT_EQ(g_heard.back().code, 50);
  std::vector<std::uint8_t> all;
  for (std::size_t i = 0; i + 1 < g_heard.size(); ++i) {
    EXPECT_EQ(g_heard[i].code, 0);
    EXPECT_EQ(g_heard[i].advance, 2);  // one source frame covers two output frames
    EXPECT_EQ(g_heard[i].pcm.size(), i + 2 < g_heard.size() ? 1764u * 2 * 2 : g_heard[i].pcm.size());
    all.insert(all.end(), g_heard[i].pcm.begin(), g_heard[i].pcm.end());
  }
  // 1 s of 22050 Hz sound, every sample twice.
  ASSERT_EQ(all.size(), tone.size() / 12 * 12 * 2);
  for (std::size_t i = 0; i < tone.size() / 2; i += 101) {
    EXPECT_EQ(all[4 * i], tone[2 * i]);
    EXPECT_EQ(all[4 * i + 1], tone[2 * i + 1]);
    EXPECT_EQ(all[4 * i + 2], tone[2 * i]);
  }

  // Sound that cannot be read at all: the run goes on with video only.
  kavrol_test::AviWriter broken;
  v = broken.add_video(video);
  audio.format.format_tag = 0x7777;
  a = broken.add_audio(audio);
  broken.add_chunk(v, kavrol_test::test_picture_bgr24(16, 16, 0));
  broken.add_chunk(a, std::vector<std::uint8_t>(400, 1));
  ASSERT_TRUE(broken.write(dir_.file("broken.avi")));
  mpeg::encoder_context().stages.video = &recording_video_stage;
  job = new_job();
  kavrol_test::RecordingSink sink2;
  job->SetSink(&sink2);
  job->SetSourceFile(dir_.file("broken.avi").c_str());
  job->Start();
  ASSERT_TRUE(sink2.wait_for_end());
  job->Release();
  std::lock_guard<std::mutex> hold(g_seen.lock);
  EXPECT_TRUE(g_seen.source.has_video);
  EXPECT_FALSE(g_seen.source.has_audio);
}

TEST(MpegEncoderFacade, SuperVcdAudioBitrateIndexDependsOnTheMode) {
  auto* encoder = static_cast<MpegEncoder*>(core::make_heap_object(core::construct_mympegenc));
  ASSERT_NE(encoder, nullptr);
  EXPECT_FALSE(encoder->WasStopped());
  encoder->SetTarget(kTargetSuperVcd, 1);
  encoder->SetAudioMode(0);
  encoder->SetAudioBitrate(7);
  EXPECT_EQ(mpeg::encoder_context().record.audio_bitrate_index, 11);
  encoder->SetAudioMode(3);
  encoder->SetAudioBitrate(7);
  EXPECT_EQ(mpeg::encoder_context().record.audio_bitrate_index, 8);
  encoder->SetTarget(kTargetDvd, 1);
  encoder->SetAudioBitrate(7);
  EXPECT_EQ(mpeg::encoder_context().record.audio_bitrate_index, 7);
  // Layer II forbids 32 to 56 and 80 kbit/s for two channels and 224 kbit/s
  // and more for one: the previous rate stays.
  struct Pair {
    int mode, index;
    bool allowed;
  };
  const Pair pairs[] = {{0, 1, false}, {0, 2, false}, {0, 3, false}, {0, 4, true}, {0, 5, false},
                        {0, 6, true},  {0, 14, true}, {3, 1, true},  {3, 10, true}, {3, 11, false},
                        {3, 14, false}, {1, 3, false}, {2, 12, true}};
  for (const Pair& p : pairs) {
    encoder->SetAudioMode(p.mode);
    encoder->SetAudioBitrate(7);
    encoder->SetAudioBitrate(p.index);
    EXPECT_EQ(mpeg::encoder_context().record.audio_bitrate_index, p.allowed ? p.index : 7)
        << "mode " << p.mode << " index " << p.index;
  }
  encoder->SetTarget(7, 0);  // no such preset: stored, nothing applied
  EXPECT_EQ(mpeg::encoder_context().record.mpeg_type, 7);
  EXPECT_EQ(mpeg::encoder_context().record.gop_size, 12);
  encoder->Release();
}

}  // namespace
