// The stream as written: headers, escapes, GOP structure, slices, matrices,
// and the driver's behaviour at the edges of its input.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "mpeg/video/bit_writer.h"
#include "mpeg/video/video_encoder.h"
#include "mpeg/video/vlc_tables.h"
#include "support/temp_dir.h"
#include "video_harness.h"

namespace {

using namespace corvexa::mpeg;
using namespace corvexa::mpeg::video;

// Positions of the start codes with value `code` (the byte after 00 00 01).
std::vector<std::size_t> start_codes(const std::vector<std::uint8_t>& s, int lo, int hi) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i + 3 < s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] >= lo && s[i + 3] <= hi)
      at.push_back(i);
  return at;
}

std::uint32_t bits_at(const std::vector<std::uint8_t>& s, std::size_t bit, int n) {
  std::uint32_t v = 0;
  for (int k = 0; k < n; ++k, ++bit) v = (v << 1) | ((s[bit / 8] >> (7 - bit % 8)) & 1u);
  return v;
}

struct Encoded {
  bool ok = false;
  std::vector<std::uint8_t> bytes;
  video_test::Messages messages;
  std::string file;
};

void encode(Encoded& out, const kavrol_test::TempDir& dir, int kind, int frames,
            void (*tweak)(EncoderContext&) = nullptr, video_test::MovingPattern* source = nullptr,
            int width = 64, int height = 48) {
  EncoderContext ctx;
  out.file = dir.file("out.mpv");
  video_test::configure(ctx, kind, width, height, frames, out.file);
  video_test::MovingPattern own(width, height, 1000);
  ctx.frames = source ? source : &own;
  ctx.status = &out.messages;
  if (tweak) tweak(ctx);
  out.ok = encode_video_stream(ctx);
  out.bytes = video_test::read_file(out.file);
}

TEST(RunLevel, Mpeg1EscapesOfLargeLevels) {
  struct Case {
    int level;
    std::uint32_t tail;  // bits after the 6-bit escape and 6-bit run
    int tail_bits;
  };
  const Case cases[] = {
      {-128, 0x8080, 16}, {200, 0x00C8, 16}, {-127, 0x81, 8}, {127, 0x7F, 8}, {-200, 0x8038, 16}};
  for (const Case& c : cases) {
    kavrol_test::TempDir dir;
    EncoderContext ctx;
    BitWriter bs;
    ASSERT_TRUE(bs.open(ctx, dir.file("bits")));
    ASSERT_TRUE(write_run_level(ctx, bs, true, 5, c.level, 0, false));
    bs.byte_align();
    ASSERT_TRUE(bs.close());
    const std::vector<std::uint8_t> b = video_test::read_file(dir.file("bits"));
    EXPECT_EQ(bits_at(b, 0, 6), 1u) << c.level;
    EXPECT_EQ(bits_at(b, 6, 6), 5u);
    EXPECT_EQ(bits_at(b, 12, c.tail_bits), c.tail) << c.level;
  }
  EncoderContext ctx;
  video_test::Messages m;
  ctx.status = &m;
  kavrol_test::TempDir dir;
  BitWriter bs;
  ASSERT_TRUE(bs.open(ctx, dir.file("bits")));
  EXPECT_FALSE(write_run_level(ctx, bs, true, 0, 256, 0, false));
  EXPECT_FALSE(write_run_level(ctx, bs, false, 0, 2048, 0, false));
  EXPECT_FALSE(write_run_level(ctx, bs, false, 64, 1, 0, false));
  EXPECT_TRUE(m.Has("AC value out of range (run=0, signed_level=256)"));
  // MPEG-2 escapes carry 12 bits of level.
  ASSERT_TRUE(write_run_level(ctx, bs, false, 0, -300, 0, false));
}

// Bits gathered in memory and appended give the bytes of writing them
// directly, whether the stream is at a byte boundary or not, across the
// memory writer's growth and the file writer's buffer.
TEST(BitWriterMemory, AppendedBitsEqualDirectWrites) {
  struct Case {
    int lead_bits;  // written before the append
    int words;      // 17-bit values in the memory writer
    int tail_bits;  // an unfinished byte at its end
  };
  const Case cases[] = {{0, 3, 0}, {0, 40000, 5}, {3, 10, 7}, {13, 200000, 1}, {8, 0, 4}};
  for (const Case& c : cases) {
    kavrol_test::TempDir dir;
    EncoderContext ctx;
    BitWriter direct, joined, memory;
    ASSERT_TRUE(direct.open(ctx, dir.file("direct")));
    ASSERT_TRUE(joined.open(ctx, dir.file("joined")));
    memory.open_memory();
    if (c.lead_bits) {
      direct.write_bits(0x5A5A5A5Au, c.lead_bits);
      joined.write_bits(0x5A5A5A5Au, c.lead_bits);
    }
    std::uint32_t v = 12345;
    for (int n = 0; n < c.words; ++n) {
      v = v * 1103515245u + 12345u;
      direct.write_bits(v >> 15, 17);
      memory.write_bits(v >> 15, 17);
    }
    if (c.tail_bits) {
      direct.write_bits(0x55, c.tail_bits);
      memory.write_bits(0x55, c.tail_bits);
    }
    joined.append(memory);
    EXPECT_EQ(joined.bits_written(), direct.bits_written());
    direct.write_bits(0x3, 2);
    joined.write_bits(0x3, 2);
    ASSERT_TRUE(direct.close());
    ASSERT_TRUE(joined.close());
    EXPECT_TRUE(video_test::read_file(dir.file("direct")) == video_test::read_file(dir.file("joined")))
        << c.lead_bits << " " << c.words << " " << c.tail_bits;
  }
}

TEST(Gop, CountsOfTheFirstAndLaterGroups) {
  const GopCounts first = gop_counts(0, 15, 3, 1000);
  EXPECT_EQ(first.n, 13);
  EXPECT_EQ(first.np, 4);
  EXPECT_EQ(first.nb, 8);
  const GopCounts later = gop_counts(13, 15, 3, 1000);
  EXPECT_EQ(later.n, 15);
  EXPECT_EQ(later.np, 4);
  EXPECT_EQ(later.nb, 10);
  const GopCounts cut = gop_counts(13, 15, 3, 20);
  EXPECT_EQ(cut.n, 7);
  const GopCounts no_b = gop_counts(0, 12, 1, 1000);
  EXPECT_EQ(no_b.n, 12);
  EXPECT_EQ(no_b.np, 11);
  EXPECT_EQ(no_b.nb, 0);
}

TEST(Gop, StructureOrderAndHeaders) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg1, 20, [](EncoderContext& c) {
    c.work.gop_size = 6;
    c.work.timecode_start = 25 * 61 + 3;
  });
  ASSERT_TRUE(e.ok);
  // A sequence header before every GOP; the first GOP is closed.
  const auto seq = start_codes(e.bytes, 0xB3, 0xB3);
  const auto gops = start_codes(e.bytes, 0xB8, 0xB8);
  ASSERT_EQ(gops.size(), 4u);  // GOPs start at coding index 0, 4, 10, 16
  ASSERT_EQ(seq.size(), gops.size());
  for (std::size_t g = 0; g < gops.size(); ++g) {
    EXPECT_LT(seq[g], gops[g]);
    const std::size_t bit = (gops[g] + 4) * 8;
    EXPECT_EQ(bits_at(e.bytes, bit + 25, 1), g == 0 ? 1u : 0u) << g;  // closed_gop
  }
  // Time code of the first GOP: 1 min 1 s and 3 pictures at 25 fps.
  const std::size_t tc = (gops[0] + 4) * 8;
  EXPECT_EQ(bits_at(e.bytes, tc + 6, 6), 1u);   // minutes
  EXPECT_EQ(bits_at(e.bytes, tc + 13, 6), 1u);  // seconds
  EXPECT_EQ(bits_at(e.bytes, tc + 19, 6), 3u);  // pictures
  // Picture types and temporal references in coding order.
  const auto pics = start_codes(e.bytes, 0x00, 0x00);
  ASSERT_EQ(pics.size(), 20u);
  std::string types;
  std::vector<int> refs;
  for (std::size_t p : pics) {
    types += " IPB"[bits_at(e.bytes, (p + 4) * 8 + 10, 3)];
    refs.push_back(static_cast<int>(bits_at(e.bytes, (p + 4) * 8, 10)));
  }
  EXPECT_EQ(types, "IPBBIBBPBBIBBPBBIBBP");
  EXPECT_EQ(refs[0], 0);
  EXPECT_EQ(refs[1], 3);
  EXPECT_EQ(refs[4], 2);  // the I picture of the second GOP after its two B pictures
  EXPECT_EQ(refs[5], 0);
}

TEST(Gop, TimeCodesWithAndWithoutPulldown) {
  EncoderSettings s{};
  s.frame_rate = 25;
  EXPECT_EQ(gop_time_code(s, 25 * 3600 + 25 * 61 + 7),
            (1u << 19) | (1u << 13) | (1u << 12) | (1u << 6) | 7u);
  s.pulldown = 2;
  s.frame_rate = 24000.0 / 1001.0;
  // 100 coded frames stand for 125 at 30 pictures a second: 4 s 5 pictures.
  EXPECT_EQ(gop_time_code(s, 100), (1u << 12) | (4u << 6) | 5u);
}

TEST(Slices, TallPicturesUseTheExtendedSliceHeader) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg2, 2, nullptr, nullptr, 16, 2802);
  ASSERT_TRUE(e.ok);
  const auto pics = start_codes(e.bytes, 0x00, 0x00);
  ASSERT_EQ(pics.size(), 2u);
  // Rows 0..175 of the first picture (2816 coded lines): 128 + 48 slices, the last with
  // slice_vertical_position_extension 1.
  std::vector<std::size_t> slices;
  for (std::size_t at : start_codes(e.bytes, 0x01, 0xAF))
    if (at > pics[0] && at < pics[1]) slices.push_back(at);
  ASSERT_EQ(slices.size(), 176u);
  EXPECT_EQ(e.bytes[slices[127] + 3], 0x80);
  EXPECT_EQ(e.bytes[slices[128] + 3], 0x01);
  EXPECT_EQ(bits_at(e.bytes, (slices[128] + 4) * 8, 3), 1u);
  EXPECT_EQ(bits_at(e.bytes, (slices[127] + 4) * 8, 3), 0u);
  const video_test::Decoded d = video_test::decode_strict(e.file);
  EXPECT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.height, 2802);
}

TEST(Slices, OnePerPictureOrOnePerRow) {
  for (int per_row : {0, 1}) {
    kavrol_test::TempDir dir;
    Encoded e;
    encode(e, dir, kMpeg1, 4, per_row ? [](EncoderContext& c) { c.work.slice_per_row = 1; }
                                      : [](EncoderContext& c) { c.work.slice_per_row = 0; });
    ASSERT_TRUE(e.ok);
    const auto slices = start_codes(e.bytes, 0x01, 0xAF);
    EXPECT_EQ(slices.size(), per_row ? 4u * 3u : 4u);
    const video_test::Decoded d = video_test::decode_strict(e.file);
    EXPECT_TRUE(d.ok) << d.error;
  }
}

TEST(Headers, SequenceHeaderAndExtensionFields) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kDvd, 3, nullptr, nullptr, 96, 64);
  ASSERT_TRUE(e.ok);
  const auto seq = start_codes(e.bytes, 0xB3, 0xB3);
  ASSERT_FALSE(seq.empty());
  const std::size_t b = (seq[0] + 4) * 8;
  EXPECT_EQ(bits_at(e.bytes, b, 12), 96u);
  EXPECT_EQ(bits_at(e.bytes, b + 12, 12), 64u);
  EXPECT_EQ(bits_at(e.bytes, b + 24, 4), 2u);                // aspect
  EXPECT_EQ(bits_at(e.bytes, b + 28, 4), 3u);                // 25 fps
  EXPECT_EQ(bits_at(e.bytes, b + 32, 18), 9800000u / 400);   // max_bit_rate
  EXPECT_EQ(bits_at(e.bytes, b + 51, 10), 112u);
  EXPECT_EQ(bits_at(e.bytes, b + 62, 1), 0u);                // default intra matrix
  EXPECT_EQ(bits_at(e.bytes, b + 63, 1), 1u);                // the ramp is sent
  for (int k = 0; k < 64; ++k)
    EXPECT_EQ(bits_at(e.bytes, b + 64 + 8 * k, 8), kRampNonIntraMatrix[kScan[0][k]]) << k;
  const auto ext = start_codes(e.bytes, 0xB5, 0xB5);
  ASSERT_GE(ext.size(), 2u);
  const std::size_t x = (ext[0] + 4) * 8;
  EXPECT_EQ(bits_at(e.bytes, x, 4), 1u);
  EXPECT_EQ(bits_at(e.bytes, x + 4, 8), 0x48u);  // Main profile, Main level
  EXPECT_EQ(bits_at(e.bytes, (ext[1] + 4) * 8, 4), 2u);  // display extension follows
  // Picture coding extension of the I picture: all f_codes 15, frame picture.
  const auto pics = start_codes(e.bytes, 0x00, 0x00);
  std::size_t pce = 0;
  for (std::size_t p : ext)
    if (p > pics[0]) {
      pce = p;
      break;
    }
  const std::size_t c = (pce + 4) * 8;
  EXPECT_EQ(bits_at(e.bytes, c, 4), 8u);
  EXPECT_EQ(bits_at(e.bytes, c + 4, 16), 0xFFFFu);
  EXPECT_EQ(bits_at(e.bytes, c + 20, 2), 1u);  // intra_dc_precision
  EXPECT_EQ(bits_at(e.bytes, c + 22, 2), 3u);  // frame picture
}

TEST(Headers, MeasuredPeakIsEmbeddedIntoEverySequenceHeader) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg2, 30, [](EncoderContext& c) { c.work.gop_size = 12; });
  ASSERT_TRUE(e.ok);
  ASSERT_TRUE(e.messages.Has("Embedding max bitrate value in sequence headers ..."));
  const auto seq = start_codes(e.bytes, 0xB3, 0xB3);
  ASSERT_EQ(seq.size(), 3u);
  const std::uint32_t first = bits_at(e.bytes, (seq[0] + 4) * 8 + 32, 18);
  EXPECT_GT(first, 0u);
  for (std::size_t s : seq) {
    EXPECT_EQ(bits_at(e.bytes, (s + 4) * 8 + 32, 18), first);
    EXPECT_EQ(bits_at(e.bytes, (s + 4) * 8 + 50, 1), 1u);     // marker
    EXPECT_EQ(bits_at(e.bytes, (s + 4) * 8 + 51, 10), 112u);  // buffer size intact
  }
  // No temporary offsets file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator("."))
    EXPECT_NE(entry.path().filename().string().rfind("tmp_s", 0), 0u) << entry.path();
  const video_test::Decoded d = video_test::decode_strict(e.file);
  EXPECT_TRUE(d.ok) << d.error;
}

struct MatrixCase {
  const char* what;
  const char* intra;      // file contents, nullptr = no file named
  const char* non_intra;  // file contents, "mpeg default", or nullptr
  bool missing;
  const char* message;
  int load_intra, load_non_intra;  // -1 = the run fails
};

TEST(Matrices, FilesDefaultsAndErrors) {
  std::string flat64;
  for (int k = 0; k < 64; ++k) flat64 += "20 ";
  std::string with_zero = flat64, with_256 = flat64;
  with_zero.replace(0, 2, " 0");
  with_256.replace(0, 3, "256");
  const MatrixCase cases[] = {
      {"intra file", flat64.c_str(), nullptr, false, nullptr, 1, 1},
      {"mpeg default", nullptr, "mpeg default", false, nullptr, 0, 0},
      {"non-intra file", nullptr, flat64.c_str(), false, nullptr, 0, 1},
      {"intra value 0", with_zero.c_str(), nullptr, false, "Invalid value in intra quant matrix file", -1, -1},
      {"non-intra value 256", nullptr, with_256.c_str(), false, "Invalid value in non-intra quant matrix file", -1, -1},
      {"missing intra", nullptr, nullptr, true, "Could not open intra quant matrix file", -1, -1},
  };
  for (const MatrixCase& c : cases) {
    kavrol_test::TempDir dir;
    static std::string intra_path, non_intra_path, contents_intra, contents_non;
    intra_path = c.missing ? dir.file("absent.txt") : (c.intra ? dir.file("intra.txt") : "");
    non_intra_path = c.non_intra == nullptr ? ""
                     : std::string(c.non_intra) == "mpeg default" ? "mpeg default"
                                                                  : dir.file("non_intra.txt");
    if (c.intra) std::ofstream(intra_path) << c.intra;
    if (c.non_intra && non_intra_path != "mpeg default") std::ofstream(non_intra_path) << c.non_intra;
    Encoded e;
    encode(e, dir, kMpeg1, 2, [](EncoderContext& ctx) {
      std::snprintf(ctx.work.intra_matrix_file, kSettingsPathSize, "%s", intra_path.c_str());
      std::snprintf(ctx.work.non_intra_matrix_file, kSettingsPathSize, "%s",
                    non_intra_path.c_str());
    });
    if (c.load_intra < 0) {
      EXPECT_FALSE(e.ok) << c.what;
      EXPECT_TRUE(e.messages.Has(c.message)) << c.what;
      continue;
    }
    ASSERT_TRUE(e.ok) << c.what;
    const std::size_t b = (start_codes(e.bytes, 0xB3, 0xB3)[0] + 4) * 8;
    EXPECT_EQ(bits_at(e.bytes, b + 62, 1), static_cast<std::uint32_t>(c.load_intra)) << c.what;
    const std::size_t ni = b + 63 + (c.load_intra ? 512 : 0);
    EXPECT_EQ(bits_at(e.bytes, ni, 1), static_cast<std::uint32_t>(c.load_non_intra)) << c.what;
    if (c.load_intra) {
      EXPECT_EQ(bits_at(e.bytes, b + 63, 8), 20u);
    }
    const video_test::Decoded d = video_test::decode_strict(e.file);
    EXPECT_TRUE(d.ok) << c.what << ": " << d.error;
  }
}

TEST(VariableSearch, StaticSceneNeedsOnlyTheSmallestFCodes) {
  kavrol_test::TempDir dir;
  video_test::MovingPattern still(64, 48, 100, 0, 0);
  Encoded e;
  encode(e, dir, kMpeg2, 7, nullptr, &still);
  ASSERT_TRUE(e.ok);
  const auto pics = start_codes(e.bytes, 0x00, 0x00);
  const auto ext = start_codes(e.bytes, 0xB5, 0xB5);
  int checked = 0;
  for (std::size_t p : pics) {
    const int type = static_cast<int>(bits_at(e.bytes, (p + 4) * 8 + 10, 3));
    std::size_t pce = 0;
    for (std::size_t x : ext)
      if (x > p) {
        pce = x;
        break;
      }
    const std::size_t c = (pce + 4) * 8 + 4;
    if (type == 2) {
      EXPECT_EQ(bits_at(e.bytes, c, 8), 0x11u);
      EXPECT_EQ(bits_at(e.bytes, c + 8, 8), 0xFFu);
      ++checked;
    }
    if (type == 3) {
      EXPECT_EQ(bits_at(e.bytes, c, 16), 0x1111u);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 6);
}

TEST(Driver, SameInputSameBytes) {
  kavrol_test::TempDir a, b;
  Encoded x, y;
  encode(x, a, kMpeg2, 12);
  encode(y, b, kMpeg2, 12);
  ASSERT_TRUE(x.ok && y.ok);
  EXPECT_EQ(x.bytes, y.bytes);
}

TEST(Driver, InputEndingEarlyLeavesACompleteShorterStream) {
  for (int available : {10, 11, 12}) {
    kavrol_test::TempDir dir;
    video_test::MovingPattern source(64, 48, available);
    Encoded e;
    encode(e, dir, kMpeg1, 30, nullptr, &source);
    ASSERT_TRUE(e.ok) << available;
    EXPECT_TRUE(e.messages.Has("   Video Encoding finished at frame # " +
                               std::to_string(available - 1) + "."));
    const video_test::Decoded d = video_test::decode_strict(e.file);
    EXPECT_TRUE(d.ok) << d.error;
    EXPECT_EQ(static_cast<int>(d.frames.size()), available);  // no frame lost at the end
  }
}

TEST(Driver, SourceErrorsStopsAndStop) {
  {
    kavrol_test::TempDir dir;
    video_test::MovingPattern source(64, 48, 100);
    source.error_at = 0;
    Encoded e;
    encode(e, dir, kMpeg1, 10, nullptr, &source);
    EXPECT_FALSE(e.ok);
    EXPECT_TRUE(e.messages.Has("  Could not get frame # 0, error code 4."));
    EXPECT_EQ(e.messages.percents.back(), -1);
  }
  {
    kavrol_test::TempDir dir;
    video_test::MovingPattern source(64, 48, 100);
    source.error_at = 6;
    Encoded e;
    encode(e, dir, kMpeg1, 10, nullptr, &source);
    EXPECT_FALSE(e.ok);  // reported as a failure, though the stream is closed
    const video_test::Decoded d = video_test::decode_strict(e.file);
    EXPECT_TRUE(d.ok) << d.error;
    // The P picture of display frame 6 could not be read: 0, 3, 1, 2 remain.
    EXPECT_EQ(d.frames.size(), 4u);
  }
  {
    kavrol_test::TempDir dir;
    Encoded e;
    encode(e, dir, kMpeg1, 10, [](EncoderContext& c) { c.stop_requested = true; });
    EXPECT_FALSE(e.ok);
  }
}

TEST(Driver, RepeatedFramesComeFromTheRepeatBuffer) {
  kavrol_test::TempDir dir;
  video_test::MovingPattern source(64, 48, 100);
  source.repeat_count = 3;
  Encoded e;
  encode(e, dir, kMpeg1, 9, nullptr, &source);
  ASSERT_TRUE(e.ok);
  EXPECT_EQ(source.calls, 3);  // frames 0, 3 and 6 are fetched; the rest repeat
}

TEST(Driver, GreyChromaIsFlat) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg2, 6, [](EncoderContext& c) { c.work.grey_chroma = 1; });
  ASSERT_TRUE(e.ok);
  const video_test::Decoded d = video_test::decode_strict(e.file);
  ASSERT_TRUE(d.ok) << d.error;
  for (const video_test::Frame& f : d.frames)
    for (std::uint8_t v : f.cb.data) ASSERT_EQ(v, 128);
}

TEST(Driver, OddAndInterlacedSizesArePadded) {
  // 66 x 40 interlaced: coded as 80 x 64 (two rows of 32 lines).
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg2, 4, nullptr, nullptr, 67, 40);
  ASSERT_TRUE(e.ok);
  const video_test::Decoded d = video_test::decode_strict(e.file);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.width, 66);
  EXPECT_EQ(d.height, 40);
}

TEST(Driver, ProgressTextAndSummary) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg1, 12);
  ASSERT_TRUE(e.ok);
  EXPECT_TRUE(e.messages.Has("Video: 0% - frame 0 of 12,  "));
  EXPECT_TRUE(e.messages.Has("Video: 100% - frame 12 of 12."));
  EXPECT_TRUE(e.messages.Has("   Max bitrate of any one frame = "));
  EXPECT_TRUE(e.messages.Has("   Total time: "));
  EXPECT_EQ(e.messages.percents.back(), 100);
}

TEST(Driver, SetUpFailuresAreReported) {
  kavrol_test::TempDir dir;
  Encoded e;
  encode(e, dir, kMpeg1, 3, [](EncoderContext& c) { c.video_file = "/nonexistent/dir/x.m1v"; });
  EXPECT_FALSE(e.ok);
  EXPECT_TRUE(e.messages.Has("Unable to open file /nonexistent/dir/x.m1v for writing."));
  // Settings that bypassed validation are refused, not run.
  void (*bad[])(EncoderContext&) = {
      [](EncoderContext& c) { c.work.ip_distance = 0; },
      [](EncoderContext& c) { c.work.gop_size = 0; },
      [](EncoderContext& c) { c.work.motion_ranges[0][kFwdFcodeH] = 0; },
      [](EncoderContext& c) { c.work.motion_ranges[1][kBwdRangeV] = 500; },
      [](EncoderContext& c) { c.work.intra_dc_precision = 4; },
      [](EncoderContext& c) { c.work.vbr_mquant = 0; },
      [](EncoderContext& c) { c.work.chroma_format = 2; },  // MPEG-1
  };
  for (auto* tweak : bad) {
    kavrol_test::TempDir d;
    Encoded x;
    encode(x, d, kMpeg1, 3, tweak);
    EXPECT_FALSE(x.ok);
    EXPECT_TRUE(x.messages.Has("Invalid video encoder settings."));
  }
}

}  // namespace
