// Rate control: constant bit rate against an independent buffer simulation of
// the produced stream, bounded variable rate (GOPs coded again), the measured
// peak rate in the sequence headers, and the rules behind them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/presets.h"
#include "mpeg/stages.h"
#include "mpeg/video/bounded_rate.h"
#include "mpeg/video/rate_control.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;
using namespace corvexa::mpeg::video;

// --- Elementary stream reading ------------------------------------------

struct PictureEntry {
  std::size_t start = 0;  // byte offset of the picture start code
  std::size_t end = 0;    // first byte after the picture's slices
  int type = 0;
  int vbv_delay = 0;
};

struct Stream {
  std::vector<PictureEntry> pictures;
  std::vector<std::size_t> sequence_headers;
  std::size_t size = 0;
  // Bits of frame k as the encoder counts them: everything since the end of
  // the picture before, headers included.
  double frame_bits(std::size_t k) const {
    const std::size_t from = k == 0 ? 0 : pictures[k - 1].end;
    return 8.0 * static_cast<double>(pictures[k].end - from);
  }
  std::uint32_t header_rate_value(std::size_t h, const std::vector<std::uint8_t>& b) const {
    const std::size_t i = sequence_headers[h] + 8;
    return (static_cast<std::uint32_t>(b[i]) << 10) | (b[i + 1] << 2) | (b[i + 2] >> 6);
  }
};

Stream parse(const std::vector<std::uint8_t>& b) {
  Stream s;
  s.size = b.size();
  bool in_slices = false;
  for (std::size_t i = 0; i + 8 < b.size(); ++i) {
    if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
    const int code = b[i + 3];
    const bool ends_picture = code == 0x00 || code == 0xB3 || code == 0xB8 || code == 0xB7;
    if (ends_picture && in_slices) {
      s.pictures.back().end = i;
      in_slices = false;
    }
    if (code == 0xB3) s.sequence_headers.push_back(i);
    if (code == 0x00) {
      PictureEntry p;
      p.start = i;
      p.type = (b[i + 5] >> 3) & 7;
      p.vbv_delay = ((b[i + 5] & 7) << 13) | (b[i + 6] << 5) | (b[i + 7] >> 3);
      s.pictures.push_back(p);
    }
    if (code >= 0x01 && code <= 0xAF && !s.pictures.empty()) in_slices = true;
    i += 3;
  }
  if (in_slices) s.pictures.back().end = b.size();
  return s;
}

// A decoder's buffer fed at the bit rate from the first byte on; each picture
// leaves it at its decoding time, taken from its vbv_delay.
struct BufferRun {
  std::string fault;
  double min_fullness = 1e300, max_fullness = 0;  // bits, after / before removal
  double worst_step = 0;                         // ticks off the frame period
};

BufferRun simulate(const Stream& s, double rate, int vbv_buffer_size, double fps) {
  BufferRun r;
  const double buffer = vbv_buffer_size * 16384.0;
  const double total = 8.0 * static_cast<double>(s.size);
  double previous_time = 0;
  for (std::size_t k = 0; k < s.pictures.size(); ++k) {
    const PictureEntry& p = s.pictures[k];
    const double t = 8.0 * static_cast<double>(p.start + 4) * 90000.0 / rate + p.vbv_delay;
    if (k == 0) {
      const double expected = 90000.0 * 7.0 / 8.0 * buffer / rate;
      r.worst_step = std::max(r.worst_step, std::fabs(t - expected));
    } else {
      r.worst_step = std::max(r.worst_step, std::fabs(t - previous_time - 90000.0 / fps));
    }
    previous_time = t;
    const double arrived = std::min(total, t * rate / 90000.0);
    const double removed_before = k == 0 ? 0 : 8.0 * static_cast<double>(s.pictures[k - 1].end);
    const double before = arrived - removed_before;
    const double after = arrived - 8.0 * static_cast<double>(p.end);
    r.max_fullness = std::max(r.max_fullness, before);
    // Once the whole stream is in, the buffer only drains.
    if (t * rate / 90000.0 < total) r.min_fullness = std::min(r.min_fullness, after);
    // One tick of slack: vbv_delay is a whole number of ticks.
    const double slack = rate / 90000.0 + 8;
    if (r.fault.empty() && before > buffer + slack)
      r.fault = "overflow at picture " + std::to_string(k) + ": " + std::to_string(before) + " bits";
    if (r.fault.empty() && after < -slack)
      r.fault = "underflow at picture " + std::to_string(k) + ": " + std::to_string(after) + " bits";
  }
  return r;
}

double largest_window(const Stream& s, std::size_t window) {
  double best = 0;
  for (std::size_t k = 0; k + window <= s.pictures.size(); ++k) {
    double sum = 0;
    for (std::size_t j = k; j < k + window; ++j) sum += s.frame_bits(j);
    best = std::max(best, sum);
  }
  return best;
}

// Value of an end-of-run line such as "   Max bitrate over any one second = %u bps".
double reported(const video_test::Messages& m, const std::string& prefix) {
  for (const std::string& line : m.messages)
    if (line.rfind(prefix, 0) == 0) return std::atof(line.c_str() + prefix.size());
  return -1;
}

int count_lines(const video_test::Messages& m, const std::string& part) {
  return static_cast<int>(std::count_if(m.messages.begin(), m.messages.end(), [&](const std::string& l) {
    return l.find(part) != std::string::npos;
  }));
}

void expect_decodes_like_reconstruction(const std::string& file, const video_test::ReconstructionLog& recon,
                                        int frames, bool zero_stuffing = false, bool fields = false) {
  const video_test::Decoded d =
      video_test::decode_strict(file, {.packet_per_picture = fields, .zero_stuffing = zero_stuffing});
  ASSERT_TRUE(d.ok) << d.error << " (" << d.errors_logged << " errors logged)";
  ASSERT_EQ(static_cast<int>(d.frames.size()), frames);
  ASSERT_EQ(static_cast<int>(recon.by_display.size()), frames);
  for (int n = 0; n < frames; ++n) {
    const video_test::Frame& a = recon.by_display[static_cast<std::size_t>(n)];
    const video_test::Frame& b = d.frames[static_cast<std::size_t>(n)];
    EXPECT_GT(video_test::worst_plane_psnr(a, b), 50.0) << "frame " << n;
  }
}

// Source of a case: the moving pattern, or a real clip when one is named.
struct Source {
  Source(const char* clip, const kavrol_test::TempDir& dir, int w, int h, int frames)
      : pattern(w, h, 1000),
        real(clip ? kavrol_test::media_clip(clip) : std::string(), dir.file("clip.bgra"), w, h,
             frames) {}
  corvexa::mpeg::FrameSource* get(const char* clip) {
    if (clip == nullptr) return &pattern;
    return real.count() > 0 ? static_cast<corvexa::mpeg::FrameSource*>(&real) : nullptr;
  }
  video_test::MovingPattern pattern;
  video_test::ClipFrames real;
};

// --- Constant bit rate --------------------------------------------------

struct CbrCase {
  const char* name;
  int kind;
  bool pal;
  int width, height, frames;
  const char* clip;    // nullptr: the moving pattern
  double bit_rate;     // 0: the preset's
  bool fields = false;  // field pictures: two coded pictures per frame
};

// Cases show by name in test listings.
void PrintTo(const CbrCase& c, std::ostream* os) { *os << c.name; }

class ConstantBitRate : public ::testing::TestWithParam<CbrCase> {};

TEST_P(ConstantBitRate, HoldsTheRateAndTheBufferAndDecodes) {
  const CbrCase& c = GetParam();
  kavrol_test::TempDir dir;
  Source source(c.clip, dir, c.width, c.height, c.frames);
  FrameSource* frames = source.get(c.clip);
  if (frames == nullptr) GTEST_SKIP() << c.clip << " is not present or ffmpeg could not decode it";

  EncoderContext ctx;
  const std::string file = dir.file(std::string(c.name) + (c.kind >= kMpeg2 ? ".m2v" : ".m1v"));
  video_test::configure(ctx, c.kind, c.width, c.height, c.frames, file, c.pal);
  WorkingSettings& w = ctx.work;
  if (c.kind != kVideoCd) {
    w.constant_bit_rate = 1;
    w.fixed_vbv_delay = 0;
  }
  if (c.bit_rate > 0) w.bit_rate = c.bit_rate;
  if (c.fields) w.field_pictures = 1;
  ASSERT_EQ(w.constant_bit_rate, 1);
  video_test::ReconstructionLog recon;
  video_test::Messages messages;
  ctx.frames = frames;
  ctx.video_observer = &recon;
  ctx.status = &messages;
  ASSERT_TRUE(encode_video_stream(ctx)) << (messages.messages.empty() ? "" : messages.messages.back());

  const std::vector<std::uint8_t> bytes = video_test::read_file(file);
  const Stream s = parse(bytes);
  const int per_frame = c.fields ? 2 : 1;
  ASSERT_EQ(static_cast<int>(s.pictures.size()), c.frames * per_frame);
  const double rate = 8.0 * static_cast<double>(bytes.size()) * w.frame_rate / c.frames;
  const double error = 100.0 * (rate - w.bit_rate) / w.bit_rate;
  const BufferRun b = simulate(s, w.bit_rate, w.vbv_buffer_size, w.frame_rate * per_frame);
  std::printf("%s: %.0f bit/s (%+.2f%%), buffer %.0f..%.0f of %d bits, vbv_delay steps within %.1f ticks\n",
              c.name, rate, error, b.min_fullness, b.max_fullness, w.vbv_buffer_size * 16384,
              b.worst_step);
  EXPECT_LT(std::fabs(error), 1.0);
  EXPECT_TRUE(b.fault.empty()) << b.fault;
  EXPECT_LE(b.worst_step, 2.0);
  // The encoder's own model agrees: nothing to report.
  EXPECT_FALSE(messages.Has("VBV delay overflows")) << "encoder counted overflows";
  EXPECT_FALSE(messages.Has("VBV delay underflows")) << "encoder counted underflows";
  EXPECT_TRUE(messages.Has("   Avg header bits over any one second = "));
  const double min_q = reported(messages, "   Min mquant = ");
  const double avg_q = reported(messages, "   Avg mquant = ");
  const double max_q = reported(messages, "   Max mquant = ");
  EXPECT_GE(min_q, 1);
  EXPECT_LE(min_q, avg_q);
  EXPECT_LE(avg_q, max_q);
  EXPECT_LE(max_q, c.kind >= kMpeg2 ? 112 : 62);
  expect_decodes_like_reconstruction(file, recon, c.frames, true, c.fields);
}

const CbrCase kCbrCases[] = {
    {"videocd_pal_pattern", kVideoCd, true, 352, 288, 250, nullptr, 0},
    {"videocd_ntsc_pattern", kVideoCd, false, 352, 240, 300, nullptr, 0},
    {"videocd_pal_clip", kVideoCd, true, 352, 288, 250, "xvid_mp3.avi", 0},
    // MPEG-2: the non-linear scale and the field blocks of the activity.
    {"mpeg2_interlaced_pattern", kMpeg2, true, 352, 288, 50, nullptr, 3000000},
    // Field pictures: a picture header, vbv_delay and buffer removal per field.
    {"mpeg2_field_pictures_pattern", kMpeg2, true, 352, 288, 50, nullptr, 3000000, true},
};

INSTANTIATE_TEST_SUITE_P(Streams, ConstantBitRate, ::testing::ValuesIn(kCbrCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConstantBitRateReport, VerboseRunsReportViolationsAsTheyHappen) {
  // A buffer far too small for the pictures: every picture underflows, and
  // with verbose on the notes replace the end-of-run counts.
  kavrol_test::TempDir dir;
  for (int verbose : {0, 1}) {
    EncoderContext ctx;
    const std::string file = dir.file("small.m1v");
    video_test::configure(ctx, kVideoCd, 176, 144, 12, file);
    ctx.work.vbv_buffer_size = 1;
    ctx.work.bit_rate = 200000;
    ctx.work.verbose = verbose;
    video_test::MovingPattern source(176, 144, 100);
    video_test::Messages messages;
    ctx.frames = &source;
    ctx.status = &messages;
    ASSERT_TRUE(encode_video_stream(ctx));
    EXPECT_EQ(messages.Has("   VBV delay underflows = "), verbose == 0);
    EXPECT_EQ(messages.Has("vbv_delay underflow"), verbose == 1);
    EXPECT_TRUE(video_test::decode_strict(file, {.zero_stuffing = true}).ok);
  }
}

// --- Bounded variable bit rate ----------------------------------------

struct BoundedCase {
  const char* name;
  int kind;
  int width, height, frames;
  const char* clip;
  double max_bit_rate;  // scaled to the small pictures so that GOPs break it
};

// Cases show by name in test listings.
void PrintTo(const BoundedCase& c, std::ostream* os) { *os << c.name; }

class BoundedBitRate : public ::testing::TestWithParam<BoundedCase> {};

TEST_P(BoundedBitRate, EveryOneSecondWindowStaysUnderTheMaximum) {
  const BoundedCase& c = GetParam();
  kavrol_test::TempDir dir;
  Source source(c.clip, dir, c.width, c.height, c.frames);
  FrameSource* frames = source.get(c.clip);
  if (frames == nullptr) GTEST_SKIP() << c.clip << " is not present or ffmpeg could not decode it";
  EncoderContext ctx;
  const std::string file = dir.file(std::string(c.name) + ".m2v");
  video_test::configure(ctx, c.kind, c.width, c.height, c.frames, file);
  WorkingSettings& w = ctx.work;
  ASSERT_EQ(w.constant_bit_rate, 0);
  w.max_bit_rate = c.max_bit_rate;
  w.verbose = 1;
  video_test::ReconstructionLog recon;
  video_test::Messages messages;
  ctx.frames = frames;
  ctx.video_observer = &recon;
  ctx.status = &messages;
  ASSERT_TRUE(encode_video_stream(ctx)) << (messages.messages.empty() ? "" : messages.messages.back());

  const int gops = count_lines(messages, "  GOP #");
  const int redos = count_lines(messages, "new mquant = ");
  const std::vector<std::uint8_t> bytes = video_test::read_file(file);
  const Stream s = parse(bytes);
  ASSERT_EQ(static_cast<int>(s.pictures.size()), c.frames);
  const double peak = largest_window(s, 25);
  std::printf("%s: %d GOPs measured, %d codings again, peak one-second window %.0f of %.0f bit/s\n",
              c.name, gops, redos, peak, c.max_bit_rate);
  EXPECT_GT(redos, 0) << "no GOP broke the bound: the case proves nothing";
  EXPECT_LE(peak, c.max_bit_rate);
  // Every GOP is measured, the last one included.
  EXPECT_EQ(gops, static_cast<int>(s.sequence_headers.size()));
  // The run gives its quantiser back.
  EXPECT_EQ(w.vbr_mquant, c.kind == kSuperVcd ? 10 : 4);
  expect_decodes_like_reconstruction(file, recon, c.frames);
}

const BoundedCase kBoundedCases[] = {
    {"dvd_pattern", kDvd, 352, 288, 60, nullptr, 2500000},
    {"svcd_pattern", kSuperVcd, 352, 288, 60, nullptr, 1500000},
    {"dvd_clip", kDvd, 352, 288, 75, "xvid_mp3.avi", 1500000},
};

INSTANTIATE_TEST_SUITE_P(Streams, BoundedBitRate, ::testing::ValuesIn(kBoundedCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct DecisionCase {
  const char* name;
  GopLimits limits;
  double bits;
  int quantiser;
  bool redone_large;
  GopDecision expected;
};

constexpr double kNone = std::numeric_limits<double>::infinity();

// Cases show by name in test listings.
void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class GopRule : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(GopRule, DecidesAsTheBoundsSay) {
  const DecisionCase& c = GetParam();
  const GopDecision d = decide_gop(c.limits, c.bits, c.quantiser, c.redone_large);
  EXPECT_EQ(d.redo, c.expected.redo);
  EXPECT_EQ(d.too_large, c.expected.too_large);
  EXPECT_EQ(d.quantiser, c.expected.quantiser);
}

const DecisionCase kDecisions[] = {
    {"within_bounds", {1000, 100, kNone}, 500, 4, false, {false, false, 4}},
    {"twice_too_large", {1000, 0, kNone}, 2000, 4, false, {true, true, 8}},
    {"slightly_too_large_steps_one", {1000, 0, kNone}, 1010, 4, false, {true, true, 5}},
    {"too_large_at_31_is_accepted", {1000, 0, kNone}, 5000, 31, false, {false, false, 31}},
    {"far_too_large_stops_at_31", {1000, 0, kNone}, 100000, 10, false, {true, true, 31}},
    {"too_small", {kNone, 1000, kNone}, 500, 10, false, {true, false, 6}},
    {"too_small_steps_at_least_one", {kNone, 1000, kNone}, 990, 10, false, {true, false, 9}},
    {"too_small_after_too_large_stays", {kNone, 1000, kNone}, 500, 10, true, {false, false, 10}},
    {"too_small_at_1_is_accepted", {kNone, 1000, kNone}, 500, 1, false, {false, false, 1}},
    {"over_the_allowance", {kNone, 0, 1000}, 1500, 4, false, {true, true, 6}},
    // With the bank positive the allowance is above the plain average.
    {"bank_covers_the_excess", {kNone, 0, 3000}, 1500, 4, false, {false, false, 4}},
    {"drained_bank", {kNone, 0, -200}, 1500, 4, false, {true, true, 31}},
};

INSTANTIATE_TEST_SUITE_P(Cases, GopRule, ::testing::ValuesIn(kDecisions),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Peak rate in the sequence headers -----------------------------------

TEST(MaxBitrateEmbedding, EverySequenceHeaderCarriesTheMeasuredPeak) {
  kavrol_test::TempDir dir;
  struct Run {
    int frames;
    bool full_second;
  };
  for (Run r : {Run{80, true}, Run{12, false}}) {
    SCOPED_TRACE(r.frames);
    EncoderContext ctx;
    const std::string file = dir.file("peak.m2v");
    video_test::configure(ctx, kMpeg2, 176, 144, r.frames, file);
    ASSERT_EQ(ctx.work.max_bit_rate, 0);
    ctx.work.gop_size = 12;
    video_test::MovingPattern source(176, 144, 1000);
    video_test::Messages messages;
    ctx.frames = &source;
    ctx.status = &messages;
    ASSERT_TRUE(encode_video_stream(ctx));
    EXPECT_TRUE(messages.Has("Embedding max bitrate value in sequence headers ..."));
    const std::vector<std::uint8_t> bytes = video_test::read_file(file);
    const Stream s = parse(bytes);
    ASSERT_GE(s.sequence_headers.size(), r.full_second ? 6u : 1u);
    const double peak = reported(messages, "   Max bitrate over any one second = ");
    if (r.full_second) {
      ASSERT_GT(peak, 0);
      // The encoder's one-second windows start every 25 pictures.
      double from_stream = 0;
      for (std::size_t k = 0; k + 25 <= s.pictures.size(); k += 25) {
        double sum = 0;
        for (std::size_t j = k; j < k + 25; ++j) sum += s.frame_bits(j);
        from_stream = std::max(from_stream, sum);
      }
      EXPECT_NEAR(from_stream, peak, 16);
      for (std::size_t h = 0; h < s.sequence_headers.size(); ++h)
        EXPECT_EQ(s.header_rate_value(h, bytes), static_cast<std::uint32_t>(std::ceil(peak / 400)))
            << "header " << h;
    } else {
      // Shorter than a second: the average stands in for the peak, never 0.
      EXPECT_EQ(peak, 0);
      const double average = 8.0 * static_cast<double>(bytes.size()) * 25 / r.frames;
      EXPECT_NEAR(s.header_rate_value(0, bytes), average / 400, average / 400 * 0.01 + 1);
    }
    EXPECT_TRUE(video_test::decode_strict(file).ok);
  }
}

// --- Stuffing ------------------------------------------------------------

TEST(ZeroStuffing, WholeZeroWordsThenByteAlignment) {
  kavrol_test::TempDir dir;
  struct Case {
    int lead_bits;     // already written, not byte aligned when not a multiple of 8
    double shortfall;
    double written;
  };
  for (Case c : {Case{8, 1, 32}, Case{8, 32, 32}, Case{8, 33, 64}, Case{8, 0.5, 0}, Case{3, 1, 37},
                 Case{8, 100.9, 128}}) {
    EncoderContext ctx;
    BitWriter bs;
    const std::string file = dir.file("stuff.bin");
    ASSERT_TRUE(bs.open(ctx, file));
    bs.write_bits(0xFF, c.lead_bits);
    EXPECT_EQ(write_zero_stuffing(bs, c.shortfall), c.written) << c.shortfall;
    EXPECT_TRUE(bs.aligned());
    ASSERT_TRUE(bs.close());
    const std::vector<std::uint8_t> bytes = video_test::read_file(file);
    ASSERT_EQ(bytes.size() * 8.0, c.lead_bits + c.written);
    for (std::size_t i = 1; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0);
  }
}

}  // namespace
