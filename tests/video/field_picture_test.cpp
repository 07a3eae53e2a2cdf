// Field pictures, 16 x 8 and dual-prime prediction and 3:2 pulldown: the
// streams must decode strictly, agree with the encoder's reconstruction and
// carry the picture flags the settings ask for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;

// What the headers above the slices say, picture by picture.
struct PictureHeader {
  int type = 0, temporal_reference = 0;
  int structure = 3, top_field_first = 0, frame_pred_frame_dct = 0;
  int repeat_first_field = 0, progressive_frame = 0;
};
struct StreamHeaders {
  std::vector<int> frame_rate_codes;  // every sequence header
  std::vector<std::uint32_t> time_codes;  // every GOP header
  std::vector<PictureHeader> pictures;
  int slices = 0;
};

class Bits {
 public:
  Bits(const std::vector<std::uint8_t>& b, std::size_t at) : b_(b), pos_(at * 8) {}
  std::uint32_t get(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++pos_) {
      const std::size_t byte = pos_ / 8;
      const int bit = byte < b_.size() ? (b_[byte] >> (7 - pos_ % 8)) & 1 : 0;
      v = (v << 1) | static_cast<std::uint32_t>(bit);
    }
    return v;
  }

 private:
  const std::vector<std::uint8_t>& b_;
  std::size_t pos_;
};

StreamHeaders parse_headers(const std::vector<std::uint8_t>& s) {
  StreamHeaders h;
  for (std::size_t i = 0; i + 4 < s.size(); ++i) {
    if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
    const int code = s[i + 3];
    Bits b(s, i + 4);
    if (code == 0xB3) {
      b.get(24 + 4);
      h.frame_rate_codes.push_back(static_cast<int>(b.get(4)));
    } else if (code == 0xB8) {
      h.time_codes.push_back(b.get(25));
    } else if (code == 0x00) {
      PictureHeader p;
      p.temporal_reference = static_cast<int>(b.get(10));
      p.type = static_cast<int>(b.get(3));
      h.pictures.push_back(p);
    } else if (code == 0xB5 && !h.pictures.empty() && (s[i + 4] >> 4) == 8) {
      PictureHeader& p = h.pictures.back();
      b.get(4 + 16 + 2);
      p.structure = static_cast<int>(b.get(2));
      p.top_field_first = static_cast<int>(b.get(1));
      p.frame_pred_frame_dct = static_cast<int>(b.get(1));
      b.get(4);
      p.repeat_first_field = static_cast<int>(b.get(1));
      b.get(1);
      p.progressive_frame = static_cast<int>(b.get(1));
    } else if (code >= 0x01 && code <= 0xAF) {
      ++h.slices;
    }
  }
  return h;
}

// Slowly drifting texture under fresh noise in every frame: averaging two
// references, as dual prime does, halves the noise of the prediction.
class NoisyPattern : public FrameSource {
 public:
  NoisyPattern(int width, int height) : width_(width), height_(height) {}
  int GetFrame(int n, corvexa::FrameHolder& holder, int& line_bytes, int& repeat) override {
    line_bytes = width_ * 4;
    if (!holder.Allocate(line_bytes * height_)) return 4;
    std::uint32_t seed = 0x9E3779B9u * static_cast<std::uint32_t>(n + 1);
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* line = holder.Data() + static_cast<std::size_t>(height_ - 1 - y) * line_bytes;
      for (int x = 0; x < width_; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = static_cast<int>((seed >> 24) % 41) - 20;
        const int base = 128 + ((x + n) * 7 % 64) + ((y * 5) % 48) - 56;
        for (int c = 0; c < 3; ++c)
          line[4 * x + c] = static_cast<std::uint8_t>(std::clamp(base + noise + 10 * c, 0, 255));
      }
    }
    repeat = 0;
    return 0;
  }
  int GetAudio(int, const std::uint8_t*&, int&, int&) override { return 50; }

 private:
  int width_, height_;
};

struct Case {
  const char* name;
  int kind;
  int width, height, frames;
  int ip_distance;
  int search_level;
  int field_pictures;
  int frame_pred_frame_dct;
  int top_field_first;
  int pulldown;
  int chroma_format;  // 0 = preset
  int slice_per_row;  // -1 = preset
  bool noisy = false;
};

void apply(EncoderContext& ctx, const Case& c) {
  WorkingSettings& w = ctx.work;
  w.gop_size = 12;
  w.ip_distance = c.ip_distance;
  w.motion_search_level = c.search_level;
  w.field_pictures = c.field_pictures;
  for (int t = 0; t < 3; ++t) w.frame_pred_frame_dct[t] = c.frame_pred_frame_dct;
  w.top_field_first = c.top_field_first;
  w.pulldown = c.pulldown;
  if (c.pulldown) {
    w.frame_rate_code = 1;
    w.frame_rate = 24000.0 / 1001.0;
  }
  if (c.chroma_format > 0) {
    w.chroma_format = c.chroma_format;
    if (c.chroma_format == 2) w.profile = 1;
  }
  if (c.slice_per_row >= 0) w.slice_per_row = c.slice_per_row;
  if (w.ip_distance == 1) w.motion_ranges[0][kFwdRangeH] = w.motion_ranges[0][kFwdRangeV] = 6;
}

// Cases show by name in test listings.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class FieldStreams : public ::testing::TestWithParam<Case> {};

TEST_P(FieldStreams, DecodeLikeTheReconstructionWithTheirPictureFlags) {
  const Case& c = GetParam();
  kavrol_test::TempDir dir;
  EncoderContext ctx;
  const std::string file = dir.file(std::string(c.name) + ".m2v");
  video_test::configure(ctx, c.kind, c.width, c.height, c.frames, file);
  apply(ctx, c);
  video_test::MovingPattern moving(c.width, c.height, 1000, 3, 2);
  NoisyPattern noisy(c.width, c.height);
  FrameSource& source = c.noisy ? static_cast<FrameSource&>(noisy) : moving;
  video_test::ReconstructionLog recon;
  video_test::Messages messages;
  ctx.frames = &source;
  ctx.video_observer = &recon;
  ctx.status = &messages;
  ASSERT_TRUE(encode_video_stream(ctx)) << (messages.messages.empty() ? "" : messages.messages.back());

  const video_test::Decoded d =
      video_test::decode_strict(file, {.packet_per_picture = c.field_pictures != 0});
  ASSERT_TRUE(d.ok) << d.error << " (" << d.errors_logged << " errors logged)";
  ASSERT_EQ(static_cast<int>(d.frames.size()), c.frames);
  ASSERT_EQ(static_cast<int>(recon.by_display.size()), c.frames);
  for (int n = 0; n < c.frames; ++n) {
    const video_test::Frame& a = recon.by_display[static_cast<std::size_t>(n)];
    const video_test::Frame& b = d.frames[static_cast<std::size_t>(n)];
    EXPECT_GT(video_test::worst_plane_psnr(a, b), 50.0) << "frame " << n;
  }

  const StreamHeaders h = parse_headers(video_test::read_file(file));
  const int per_frame = c.field_pictures ? 2 : 1;
  ASSERT_EQ(static_cast<int>(h.pictures.size()), per_frame * c.frames);
  const int mb_rows = 2 * ((c.height + 31) / 32);
  const int slice_rows = c.field_pictures ? mb_rows / 2 : mb_rows;
  EXPECT_EQ(h.slices, static_cast<int>(h.pictures.size()) * (ctx.work.slice_per_row ? slice_rows : 1));
  int repeated = 0;
  for (std::size_t k = 0; k < h.pictures.size(); ++k) {
    const PictureHeader& p = h.pictures[k];
    if (c.field_pictures) {
      const bool first = k % 2 == 0;
      const int first_structure = c.top_field_first ? 1 : 2;
      EXPECT_EQ(p.structure, first ? first_structure : 3 - first_structure) << k;
      EXPECT_EQ(p.frame_pred_frame_dct, 0) << k;
      EXPECT_EQ(p.top_field_first, 0) << k;
      EXPECT_EQ(p.repeat_first_field, 0) << k;
      if (!first) {
        EXPECT_EQ(p.temporal_reference, h.pictures[k - 1].temporal_reference) << k;
        // The second field of an I frame is a P field.
        const int first_type = h.pictures[k - 1].type;
        EXPECT_EQ(p.type, first_type == 1 ? 2 : first_type) << k;
      }
    } else {
      EXPECT_EQ(p.structure, 3) << k;
    }
    if (c.pulldown) {
      // The cadence follows the display number of the frame.
      static const int kCadence[2][4][2] = {{{1, 0}, {1, 1}, {0, 0}, {0, 1}},
                                            {{1, 1}, {0, 0}, {0, 1}, {1, 0}}};
      const int display = static_cast<int>(k);  // M = 1: coding order is display order
      EXPECT_EQ(p.progressive_frame, 1) << k;
      EXPECT_EQ(p.frame_pred_frame_dct, 1) << k;
      EXPECT_EQ(p.top_field_first, kCadence[c.pulldown - 1][display & 3][0]) << "picture " << k;
      EXPECT_EQ(p.repeat_first_field, kCadence[c.pulldown - 1][display & 3][1]) << "picture " << k;
    }
    repeated += p.repeat_first_field;
  }
  if (c.pulldown) {
    ASSERT_FALSE(h.frame_rate_codes.empty());
    for (int code : h.frame_rate_codes) EXPECT_EQ(code, 4);
    // Every four frames show as five: two of each four repeat a field.
    EXPECT_EQ(2 * c.frames + repeated, 5 * c.frames / 2);
    // Time codes count 30 pictures a second over 5/4 of the frames: the GOP
    // at frame 12 starts at picture 15.
    ASSERT_EQ(h.time_codes.size(), static_cast<std::size_t>((c.frames + 11) / 12));
    if (h.time_codes.size() > 1) {
      EXPECT_EQ(h.time_codes[1], (1u << 12) | 15u);
    }
    // The decoder shows the same cadence: five frames' worth of fields for
    // every four coded frames, first fields as flagged.
    int fields = 0;
    for (std::size_t n = 0; n < d.repeat_pict.size(); ++n) {
      fields += 2 + d.repeat_pict[n];
      EXPECT_EQ(d.top_field_first[n], h.pictures[n].top_field_first) << "frame " << n;
    }
    EXPECT_EQ(fields, 5 * c.frames / 2);
  }
}

const Case kCases[] = {
    // name, kind, w, h, frames, M, search level, field pictures, frame_pred_frame_dct,
    // top_field_first, pulldown, chroma, slice_per_row
    {"field_m3_fixed", kMpeg2, 96, 64, 14, 3, 0, 1, 0, 1, 0, 0, -1},
    {"field_m3_variable", kMpeg2, 96, 64, 14, 3, 58, 1, 0, 1, 0, 0, -1},
    {"field_bottom_first", kMpeg2, 96, 64, 10, 3, 0, 1, 0, 0, 0, 0, -1},
    {"field_m1_dual_prime", kMpeg2, 96, 64, 10, 1, 0, 1, 0, 1, 0, 0, -1},
    {"field_m1_dual_prime_variable", kMpeg2, 96, 64, 10, 1, 58, 1, 0, 1, 0, 0, -1},
    {"field_422", kMpeg2, 96, 64, 8, 3, 0, 1, 0, 1, 0, 2, -1},
    {"field_dvd_odd_height_one_slice", kDvd, 80, 50, 8, 2, 58, 1, 0, 1, 0, 0, 0},
    {"frame_dual_prime_fixed", kMpeg2, 96, 64, 10, 1, 0, 0, 0, 1, 0, 0, -1},
    {"frame_dual_prime_variable", kMpeg2, 96, 64, 10, 1, 58, 0, 0, 0, 0, 0, -1},
    {"frame_dual_prime_noisy", kMpeg2, 96, 64, 8, 1, 0, 0, 0, 1, 0, 0, -1, true},
    {"frame_dual_prime_noisy_bottom_first", kMpeg2, 96, 64, 8, 1, 58, 0, 0, 0, 0, 0, -1, true},
    {"field_dual_prime_noisy", kMpeg2, 96, 64, 8, 1, 0, 1, 0, 0, 0, 0, -1, true},
    {"pulldown_1", kMpeg2, 96, 64, 8, 1, 0, 0, 1, 1, 1, 0, -1},
    {"pulldown_2", kMpeg2, 96, 64, 16, 1, 58, 0, 1, 1, 2, 0, -1},
};

INSTANTIATE_TEST_SUITE_P(Streams, FieldStreams, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Field pictures exist only in interlaced MPEG-2 and carry no pulldown
// flags; pulldown needs the picture flags of interlaced MPEG-2 as well.
TEST(FieldPictures, RefusedWhereTheyOrPulldownCannotBeCoded) {
  struct Refusal {
    const char* name;
    int kind;
    int field_pictures;
    int progressive_sequence;
    int pulldown;
  };
  const Refusal cases[] = {{"mpeg1", kMpeg1, 1, 1, 0},
                           {"progressive sequence", kMpeg2, 1, 1, 0},
                           {"field pictures with pulldown", kMpeg2, 1, 0, 2},
                           {"pulldown in mpeg1", kMpeg1, 0, 1, 1},
                           {"pulldown in a progressive sequence", kMpeg2, 0, 1, 1}};
  for (const Refusal& r : cases) {
    kavrol_test::TempDir dir;
    EncoderContext ctx;
    video_test::configure(ctx, r.kind, 64, 64, 4, dir.file("refused.m2v"));
    ctx.work.field_pictures = r.field_pictures;
    ctx.work.progressive_sequence = r.progressive_sequence;
    ctx.work.pulldown = r.pulldown;
    video_test::MovingPattern source(64, 64, 100);
    video_test::Messages messages;
    ctx.frames = &source;
    ctx.status = &messages;
    EXPECT_FALSE(encode_video_stream(ctx)) << r.name;
    EXPECT_TRUE(messages.Has("Invalid video encoder settings.")) << r.name;
    EXPECT_EQ(source.calls, 0) << r.name;
  }
}

}  // namespace
