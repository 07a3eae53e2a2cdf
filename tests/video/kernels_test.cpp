// Kernels, transforms, quantisation, colour conversion and filters.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "mpeg/video/cpu_features.h"
#include "mpeg/video/frame_input.h"
#include "mpeg/video/kernels.h"
#include "mpeg/video/video_encoder.h"
#include "mpeg/video/vlc_tables.h"

namespace {

using namespace corvexa::mpeg;
using namespace corvexa::mpeg::video;

void reference_dct(const std::int16_t* in, double* out, bool inverse) {
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      double s = 0;
      for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) {
          const int a = inverse ? x : u, b = inverse ? y : v, p = inverse ? u : x,
                    q = inverse ? v : y;
          const double ca = a == 0 ? std::sqrt(0.125) : 0.5, cb = b == 0 ? std::sqrt(0.125) : 0.5;
          s += ca * cb * in[inverse ? a * 8 + b : p * 8 + q] *
               std::cos((2 * p + 1) * a * M_PI / 16) * std::cos((2 * q + 1) * b * M_PI / 16);
        }
      out[u * 8 + v] = s;
    }
}

TEST(Transforms, ForwardDctsStayWithinOneOfTheExactTransform) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> sample(-255, 255);
  for (auto* dct : {fdct_float, fdct_integer}) {
    for (int trial = 0; trial < 200; ++trial) {
      std::int16_t block[64];
      for (auto& v : block) v = static_cast<std::int16_t>(sample(rng));
      double exact[64];
      reference_dct(block, exact, false);
      dct(block);
      for (int k = 0; k < 64; ++k) ASSERT_LE(std::abs(block[k] - exact[k]), 1.0) << k;
    }
  }
}

TEST(Transforms, InverseDctMeetsThePeakErrorOfOne) {
  std::mt19937 rng(11);
  for (int range : {5, 300}) {
    std::uniform_int_distribution<int> coefficient(-range, range);
    for (int trial = 0; trial < 300; ++trial) {
      std::int16_t block[64];
      for (auto& v : block) v = static_cast<std::int16_t>(coefficient(rng));
      double exact[64];
      reference_dct(block, exact, true);
      idct_chen_wang(block);
      for (int k = 0; k < 64; ++k) {
        const double want = std::clamp(std::floor(exact[k] + 0.5), -256.0, 255.0);
        ASSERT_LE(std::abs(block[k] - want), 1.0);
      }
    }
  }
  std::int16_t dc_only[64] = {};
  dc_only[0] = 80;  // a DC-only block is flat at (80 * 8 + 32) >> 6
  idct_chen_wang(dc_only);
  for (int v : dc_only) EXPECT_EQ(v, 10);
}

TEST(Distances, PlainKernelsOnKnownBlocks) {
  const KernelTable k = kernel_table(0, false);
  std::vector<std::uint8_t> ref(32 * 20), cur(32 * 20, 10);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 32; ++x) ref[y * 32 + x] = static_cast<std::uint8_t>(x * 2 + y * 4);
  // Half-pel horizontal: (a + b + 1) >> 1 of x*2 and x*2+2 is x*2+1.
  int want = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) want += std::abs((x * 2 + 1 + y * 4) - 10);
  EXPECT_EQ(k.sad16(ref.data(), cur.data(), 32, 1, 0, 16, 65536), want);
  // Early exit: the sum stops at the first line that reaches the limit.
  const int first_line = k.sad16(ref.data(), cur.data(), 32, 0, 0, 1, 65536);
  EXPECT_EQ(k.sad16(ref.data(), cur.data(), 32, 0, 0, 16, 1), first_line);
  EXPECT_EQ(k.sse16(cur.data(), cur.data(), 32, 0, 0, 16), 0);
  EXPECT_EQ(k.variance16(cur.data(), 32), 0u);
  EXPECT_EQ(k.sad16_bi(ref.data(), ref.data(), ref.data(), 32, 0, 0, 0, 0, 16), 0);
  EXPECT_EQ(k.sad4x4_sub(cur.data(), cur.data(), 32, 65536), 0);
}

TEST(Processor, KernelClassFollowsTheFeatureBits) {
  EXPECT_EQ(kernel_class(0), 0);
  EXPECT_EQ(kernel_class(1u << 5), 1);
  EXPECT_EQ(kernel_class((1u << 5) | (1u << 7)), 2);
  EXPECT_EQ(kernel_class((1u << 5) | (1u << 9)), 3);
  EXPECT_EQ(kernel_class((1u << 9) | (1u << 8) | (1u << 7)), 4);
  const std::uint32_t here = detect_cpu();
  EXPECT_TRUE(here & 1u);
#if defined(__x86_64__)
  EXPECT_EQ(kernel_class(here), 3);  // every x86-64 has SSE
#endif
}

TEST(Quantiser, IntraLimits) {
  int flat[64];
  for (int& w : flat) w = 16;
  std::int16_t in[64] = {}, out[64];
  in[0] = 0;
  in[1] = 600;  // (32*600 + 8)/16 = 1200, (1200 + 2)/4 = 300
  in[2] = -600;
  EXPECT_FALSE(quantise_intra(in, out, 0, flat, 2, true));
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[2], -255);
  EXPECT_FALSE(quantise_intra(in, out, 0, flat, 2, false));  // 256 and more flags MPEG-2 too
  EXPECT_EQ(out[1], 300);
  in[1] = 20000;
  quantise_intra(in, out, 0, flat, 2, false);
  EXPECT_EQ(out[1], 2047);
  // DC by precision: step 8 >> precision, rounding away from zero.
  in[0] = -13;
  quantise_intra(in, out, 0, flat, 2, false);
  EXPECT_EQ(out[0], -2);
  quantise_intra(in, out, 2, flat, 2, false);
  EXPECT_EQ(out[0], -7);
}

TEST(Quantiser, NonIntraLimitsAndCodedFlag) {
  int flat[64];
  for (int& w : flat) w = 16;
  std::int16_t in[64] = {}, out[64];
  EXPECT_FALSE(quantise_non_intra(in, out, flat, 2, true));
  in[5] = 30000;
  EXPECT_TRUE(quantise_non_intra(in, out, flat, 2, true));
  EXPECT_EQ(out[5], 255);
  quantise_non_intra(in, out, flat, 2, false);
  EXPECT_EQ(out[5], 2047);
}

TEST(Quantiser, InverseFollowsEachStandard) {
  int flat[64];
  for (int& w : flat) w = 16;
  std::int16_t in[64] = {}, out[64];
  in[1] = 3;  // non-intra: (2*3 + 1) * 16 * 4 / 32 = 14, even -> 13 in MPEG-1
  dequantise_non_intra(in, out, flat, 4, true);
  EXPECT_EQ(out[1], 13);
  dequantise_non_intra(in, out, flat, 4, false);
  EXPECT_EQ(out[1], 14);
  EXPECT_EQ(out[63], 1);  // the sum 14 is even: mismatch control toggles the last one
  in[1] = 2047;
  dequantise_intra(in, out, 0, flat, 62, false);
  EXPECT_EQ(out[1], 2047);  // saturated
  in[1] = -2047;
  dequantise_intra(in, out, 0, flat, 62, true);
  EXPECT_EQ(out[1], -2048);  // saturation comes after the oddification
}

TEST(ColourConversion, WhiteBlackAndGreyOnBothPaths) {
  const std::uint8_t pixels[3][4] = {{255, 255, 255, 0}, {0, 0, 0, 0}, {200, 200, 200, 0}};
  for (bool plain : {false, true}) {
    for (int code : {1, 4, 5, 7, 9}) {
      std::uint8_t y[3], u[3], v[3];
      // One line of three pixels; bottom-up with one line is the same line.
      convert_rgb(&pixels[0][0], 12, 3, 1, code, plain, y, u, v, 3);
      // Luma scales by 219/256: white lands on 234.
      EXPECT_EQ(y[0], 234) << plain << code;
      EXPECT_EQ(y[1], 16);
      EXPECT_EQ(y[2], 187) << plain << code;
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(u[i], 128);
        EXPECT_EQ(v[i], 128);
      }
    }
  }
  // Bottom-up: the last line of the buffer is the top of the picture.
  const std::uint8_t two_lines[2][4] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  std::uint8_t y[2], u[2], v[2];
  convert_rgb(&two_lines[0][0], 4, 1, 2, 5, false, y, u, v, 1);
  EXPECT_EQ(y[0], 234);
  EXPECT_EQ(y[1], 16);
  // Pure red through the integer path: Cr saturates at 240.
  const std::uint8_t red[4] = {0, 0, 255, 0};
  convert_rgb(red, 4, 1, 1, 5, false, y, u, v, 1);
  EXPECT_EQ(v[0], 240);
  EXPECT_EQ(y[0], 81);
}

TEST(ChromaFilters, FlatInputStaysFlatAndEdgesClamp) {
  for (int value : {0, 77, 255}) {
    std::vector<std::uint8_t> src(16 * 8, static_cast<std::uint8_t>(value)), dst(8 * 8);
    for (bool mpeg1 : {true, false}) {
      filter_horizontal(src.data(), dst.data(), 16, 8, mpeg1);
      for (int s : dst) EXPECT_EQ(s, value) << mpeg1;  // 514/512 rounds back for MPEG-2
    }
    std::vector<std::uint8_t> half(16 * 4);
    for (bool progressive : {true, false}) {
      filter_vertical(src.data(), half.data(), 16, 8, progressive);
      for (int s : half) EXPECT_EQ(s, value) << progressive;
    }
  }
  // A bright first column: the clamped taps see it repeated to the left.
  std::vector<std::uint8_t> src(16, 0), dst(8);
  src[0] = 255;
  filter_horizontal(src.data(), dst.data(), 16, 1, true);
  EXPECT_EQ(dst[0], (255 * (228 + 70 - 37 - 21 + 11 + 5) + 256) >> 9);
  EXPECT_EQ(dst[7], 0);
  // Field-wise filtering keeps the fields apart: a bright bottom field does
  // not leak into the top field's output rows.
  std::vector<std::uint8_t> fields(1 * 16), out(8);
  for (int r = 0; r < 16; ++r) fields[static_cast<std::size_t>(r)] = r & 1 ? 200 : 20;
  filter_vertical(fields.data(), out.data(), 1, 16, false);
  for (int r = 0; r < 8; ++r) EXPECT_EQ(out[static_cast<std::size_t>(r)], r & 1 ? 200 : 20) << r;
}

TEST(Padding, RepeatsTheLastSampleAndLine) {
  std::vector<std::uint8_t> p(4 * 3, 0);
  p[0] = 1;
  p[1] = 2;
  p[4] = 3;
  p[5] = 4;
  pad_plane(p.data(), 2, 2, 4, 3);
  const std::vector<std::uint8_t> want = {1, 2, 2, 2, 3, 4, 4, 4, 3, 4, 4, 4};
  EXPECT_EQ(p, want);
  EXPECT_EQ(clip_table()[-384], 0);
  EXPECT_EQ(clip_table()[639], 255);
  EXPECT_EQ(clip_table()[100], 100);
}

// No code of a table may be the prefix of another (a decoder could not tell
// them apart), counting the sign bit that follows each run/level code.
TEST(VlcTables, CodesArePrefixFree) {
  struct Code {
    std::uint32_t bits;
    int length;
  };
  auto prefix_free = [](const std::vector<Code>& codes) {
    for (std::size_t a = 0; a < codes.size(); ++a)
      for (std::size_t b = 0; b < codes.size(); ++b) {
        if (a == b || codes[a].length > codes[b].length) continue;
        if ((codes[b].bits >> (codes[b].length - codes[a].length)) == codes[a].bits) return false;
      }
    return true;
  };
  for (int table = 0; table < 2; ++table) {
    std::vector<Code> codes = {{table ? 0x6u : 0x2u, table ? 4 : 2}, {1, 6}};
    for (int run = 0; run < 32; ++run)
      for (int level = 1; level <= 40; ++level) {
        const Vlc v = run_level_code(table, run, level);
        if (v.length) codes.push_back({static_cast<std::uint32_t>(v.code) << 1, v.length + 1});
      }
    EXPECT_TRUE(prefix_free(codes)) << "table " << table;
  }
  std::vector<Code> increments;
  for (const Vlc& v : kAddressIncrement) increments.push_back({v.code, v.length});
  increments.push_back({kAddressEscape.code, kAddressEscape.length});
  EXPECT_TRUE(prefix_free(increments));
  std::vector<Code> patterns;
  for (const Vlc& v : kCodedBlockPattern) patterns.push_back({v.code, v.length});
  EXPECT_TRUE(prefix_free(patterns));
  for (const auto* dc : {kDcSizeLuma, kDcSizeChroma}) {
    std::vector<Code> sizes;
    for (int i = 0; i < 12; ++i) sizes.push_back({dc[i].code, dc[i].length});
    EXPECT_TRUE(prefix_free(sizes));
  }
  for (int type = 1; type <= 3; ++type) {
    std::vector<Code> types;
    for (int flags = 0; flags < 32; ++flags) {
      const Vlc v = macroblock_type_code(type, flags);
      if (v.length) types.push_back({v.code, v.length});
    }
    EXPECT_TRUE(prefix_free(types)) << type;
  }
}

}  // namespace
