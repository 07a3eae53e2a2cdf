// Motion search and row coding shared among workers: the stream, the
// reconstruction and the f_codes derived from the largest vectors are those of
// a one-worker run whose stages each take the whole picture (slices written
// one after another into the stream), and a stop request still ends the run.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;

struct Case {
  const char* name;
  int kind;
  int width, height, frames;
  int search_level;       // 0 fixed windows, 8 and above variable search
  int frame_pred_frame_dct;
  int kernel_class;
  int field_pictures = 0;
};

struct Encoded {
  bool ok = false;
  std::vector<std::uint8_t> bytes;
  std::vector<video_test::Frame> recon;
};

Encoded encode(const Case& c, int threads, const std::string& file, bool whole_pictures = false) {
  EncoderContext ctx;
  video_test::configure(ctx, c.kind, c.width, c.height, c.frames, file);
  WorkingSettings& w = ctx.work;
  w.gop_size = 12;
  w.ip_distance = 3;
  w.motion_search_level = c.search_level;
  for (int t = 0; t < 3; ++t) w.frame_pred_frame_dct[t] = c.frame_pred_frame_dct;
  w.field_pictures = c.field_pictures;
  ctx.kernel_class = c.kernel_class;
  ctx.motion_threads = threads;
  ctx.whole_picture_stages = whole_pictures;
  video_test::MovingPattern source(c.width, c.height, 1000, 5, 3);
  video_test::ReconstructionLog recon;
  video_test::Messages messages;
  ctx.frames = &source;
  ctx.video_observer = &recon;
  ctx.status = &messages;
  Encoded r;
  r.ok = encode_video_stream(ctx);
  r.bytes = video_test::read_file(file);
  r.recon = recon.by_display;
  return r;
}

bool same_frames(const std::vector<video_test::Frame>& a, const std::vector<video_test::Frame>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t n = 0; n < a.size(); ++n)
    if (a[n].y.data != b[n].y.data || a[n].cb.data != b[n].cb.data || a[n].cr.data != b[n].cr.data)
      return false;
  return true;
}

// Cases show by name in test listings.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MotionThreads : public ::testing::TestWithParam<Case> {};

TEST_P(MotionThreads, EveryWorkerCountGivesTheOneWorkerStream) {
  const Case& c = GetParam();
  kavrol_test::TempDir dir;
  const std::string ext = c.kind >= kMpeg2 ? ".m2v" : ".m1v";
  const Encoded one = encode(c, 1, dir.file(std::string("one") + ext), true);
  ASSERT_TRUE(one.ok);
  ASSERT_GT(one.bytes.size(), 1000u);
  for (int threads : {1, 2, 3, 7}) {
    const Encoded many = encode(c, threads, dir.file("many" + std::to_string(threads) + ext));
    ASSERT_TRUE(many.ok) << threads;
    EXPECT_TRUE(one.bytes == many.bytes) << threads << " workers change the stream";
    EXPECT_TRUE(same_frames(one.recon, many.recon)) << threads;
  }
}

const Case kCases[] = {
    {"mpeg1_fixed", kMpeg1, 160, 96, 10, 0, 1, 3},
    {"mpeg1_variable", kMpeg1, 160, 96, 10, 58, 1, 3},
    {"mpeg2_field_prediction_variable", kMpeg2, 160, 128, 10, 58, 0, 3},
    {"mpeg2_plain_class", kMpeg2, 128, 96, 8, 58, 0, 0},
    {"mpeg2_field_pictures", kMpeg2, 160, 128, 8, 58, 0, 3, 1},
    {"dvd_bounded_rate", kDvd, 176, 144, 14, 58, 0, 3},
    {"svcd_fixed_search", kSuperVcd, 176, 144, 10, 0, 0, 3},
    {"videocd_constant_rate", kVideoCd, 176, 144, 10, 58, 1, 3},
};

INSTANTIATE_TEST_SUITE_P(Streams, MotionThreads, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Frames read ahead on the input's own thread: the source is asked for the
// same frames in the same order, and the end of input, a source error and
// repeated frames give the stream and messages of a one-worker run.
TEST(MotionThreadsInput, ReadingAheadAsksForTheSameFramesAndReportsTheSame) {
  struct Scenario {
    const char* name;
    int kind, frames, available, error_at, repeat;
  };
  const Scenario scenarios[] = {
      {"whole_run", kMpeg2, 20, 100, -1, 0},     {"input_ends_early", kMpeg1, 30, 11, -1, 0},
      {"source_error", kMpeg2, 20, 100, 9, 0},   {"first_frame_fails", kMpeg2, 10, 100, 0, 0},
      {"repeated_frames", kMpeg1, 14, 100, -1, 2}, {"bounded_rate", kDvd, 30, 100, -1, 0},
  };
  for (const Scenario& sc : scenarios) {
    struct Run {
      bool ok = false;
      std::vector<std::uint8_t> bytes;
      std::vector<int> asked;
      video_test::Messages messages;
    } runs[2];
    for (int r = 0; r < 2; ++r) {
      kavrol_test::TempDir dir;
      EncoderContext ctx;
      video_test::configure(ctx, sc.kind, 96, 64, sc.frames, dir.file("out.mpv"));
      ctx.kernel_class = 3;
      ctx.motion_threads = r == 0 ? 1 : 3;
      video_test::MovingPattern source(96, 64, sc.available, 3, 2);
      source.error_at = sc.error_at;
      source.repeat_count = sc.repeat;
      ctx.frames = &source;
      ctx.status = &runs[r].messages;
      runs[r].ok = encode_video_stream(ctx);
      runs[r].bytes = video_test::read_file(dir.file("out.mpv"));
      runs[r].asked = source.asked;
    }
    EXPECT_EQ(runs[0].ok, runs[1].ok) << sc.name;
    EXPECT_TRUE(runs[0].bytes == runs[1].bytes) << sc.name;
    EXPECT_EQ(runs[0].asked, runs[1].asked) << sc.name;
    EXPECT_EQ(runs[0].messages.percents, runs[1].messages.percents) << sc.name;
    // The run's own timing figures aside, the same messages in the same order.
    auto timeless = [](std::vector<std::string> m) {
      for (std::string& t : m)
        if (t.find("Total time") != std::string::npos) t.clear();
      return m;
    };
    EXPECT_EQ(timeless(runs[0].messages.messages), timeless(runs[1].messages.messages)) << sc.name;
  }
}

// Raises the stop flag once the video stage passes a given percentage.
class StopAt : public StatusSink {
 public:
  StopAt(EncoderContext& ctx, int at) : ctx_(ctx), at_(at) {}
  void Progress(const char*, int percent) override {
    if (percent >= at_) ctx_.stop_requested = true;
  }
  void Message(const char*) override {}

 private:
  EncoderContext& ctx_;
  int at_;
};

TEST(MotionThreadsStop, AStopRequestEndsTheRunWithEveryWorkerCount) {
  for (int threads : {1, 4}) {
    kavrol_test::TempDir dir;
    EncoderContext ctx;
    video_test::configure(ctx, kMpeg2, 160, 96, 30, dir.file("stop.m2v"));
    ctx.kernel_class = 3;
    ctx.motion_threads = threads;
    video_test::MovingPattern source(160, 96, 1000);
    StopAt stop(ctx, 30);
    ctx.frames = &source;
    ctx.status = &stop;
    EXPECT_FALSE(encode_video_stream(ctx)) << threads;
    EXPECT_TRUE(ctx.stop_requested.load());
  }
}

}  // namespace
