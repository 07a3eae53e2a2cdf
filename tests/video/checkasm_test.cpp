// Every vector kernel against the plain form of its class, on random and
// edge inputs, for every instruction set this processor runs; and the
// IEEE 1180 accuracy of every inverse DCT form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "mpeg/video/kernels.h"

namespace {

using namespace corvexa::mpeg::video;

struct Variant {
  int kernel_class;
  VectorIsa isa;
  std::string name() const {
    static const char* isa_names[] = {"plain", "sse2", "avx2"};
    return "class" + std::to_string(kernel_class) + "_" + isa_names[static_cast<int>(isa)];
  }
};

std::vector<Variant> runnable_variants() {
  std::vector<Variant> v;
  for (int c = 1; c <= 4; ++c)
    for (VectorIsa isa : {VectorIsa::kSse2, VectorIsa::kAvx2})
      if (isa_available(isa)) v.push_back({c, isa});
  return v;
}

// Cases show by name in test listings.
void PrintTo(const Variant& c, std::ostream* os) { *os << c.name(); }

class Checkasm : public ::testing::TestWithParam<Variant> {
 protected:
  KernelTable ref_ = kernel_table(GetParam().kernel_class, false, VectorIsa::kNone);
  KernelTable vec_ = kernel_table(GetParam().kernel_class, false, GetParam().isa);
  std::mt19937 rng_{1234};

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // A picture of `kind`: 0 random, 1 all 0, 2 all 255, 3 a 0/255 checkerboard,
  // 4 smooth ramps (small differences), 5 random 0 or 255.
  void fill(std::vector<std::uint8_t>& p, int kind) {
    for (std::size_t i = 0; i < p.size(); ++i) {
      switch (kind) {
        case 0: p[i] = static_cast<std::uint8_t>(uniform(0, 255)); break;
        case 1: p[i] = 0; break;
        case 2: p[i] = 255; break;
        case 3: p[i] = static_cast<std::uint8_t>(((i ^ (i / 7)) & 1) ? 255 : 0); break;
        case 4: p[i] = static_cast<std::uint8_t>((i * 3 / 5) & 255); break;
        default: p[i] = static_cast<std::uint8_t>(uniform(0, 1) * 255); break;
      }
    }
  }
};

constexpr int kStrides[] = {16, 17, 37, 64, 97, 720};

TEST_P(Checkasm, DistancesMatchThePlainKernels) {
  for (int stride : kStrides) {
    std::vector<std::uint8_t> a(static_cast<std::size_t>(stride) * 20 + 64),
        b(a.size()), c(a.size());
    for (int kind = 0; kind < 6; ++kind) {
      fill(a, kind);
      fill(b, (kind + 1) % 6);
      fill(c, (kind + 2) % 6);
      for (int trial = 0; trial < 12; ++trial) {
        // Unaligned starts; 17 lines plus one sample stay inside the buffers.
        const std::uint8_t* pa = a.data() + uniform(0, stride - 16);
        const std::uint8_t* pb = b.data() + uniform(0, stride - 16);
        const std::uint8_t* pc = c.data() + uniform(0, stride - 16);
        for (int h : {8, 16}) {
          for (int hx = 0; hx < 2; ++hx) {
            for (int hy = 0; hy < 2; ++hy) {
              for (int limit : {0, 1, 100, uniform(0, 40000), 65536, 1 << 30}) {
                ASSERT_EQ(vec_.sad16(pa, pc, stride, hx, hy, h, limit),
                          ref_.sad16(pa, pc, stride, hx, hy, h, limit))
                    << stride << " " << kind << " " << h << hx << hy << " " << limit;
              }
              ASSERT_EQ(vec_.sse16(pa, pc, stride, hx, hy, h), ref_.sse16(pa, pc, stride, hx, hy, h));
              for (int hxb = 0; hxb < 2; ++hxb) {
                for (int hyb = 0; hyb < 2; ++hyb) {
                  ASSERT_EQ(vec_.sad16_bi(pa, pb, pc, stride, hx, hy, hxb, hyb, h),
                            ref_.sad16_bi(pa, pb, pc, stride, hx, hy, hxb, hyb, h));
                  ASSERT_EQ(vec_.sse16_bi(pa, pb, pc, stride, hx, hy, hxb, hyb, h),
                            ref_.sse16_bi(pa, pb, pc, stride, hx, hy, hxb, hyb, h));
                }
              }
            }
          }
        }
        ASSERT_EQ(vec_.variance16(pa, stride), ref_.variance16(pa, stride));
        for (int limit : {0, 1, 50, uniform(0, 4000), 65536})
          ASSERT_EQ(vec_.sad4x4_sub(pa, pc, stride, limit), ref_.sad4x4_sub(pa, pc, stride, limit));
      }
    }
  }
}

// The row distances on every run length, in buffers that end right after the
// last sample the row may read, so a read past it shows under AddressSanitizer;
// the output is sized exactly too.
TEST_P(Checkasm, RowDistancesMatchAndStayInsideTheirSamples) {
  for (int n = 1; n <= 40; ++n) {
    for (int kind = 0; kind < 6; ++kind) {
      // Besides the mixed pairs, all 0 against all 255: the largest sums.
      const int cur_kind = kind == 2 ? 1 : kind == 1 ? 2 : (kind + 3) % 6;
      for (int h : {4, 8, 16}) {
        const int width = n - 1 + (h == 4 ? 4 : 16);
        const int stride = width + uniform(0, 3);
        std::vector<std::uint8_t> ref(static_cast<std::size_t>(stride) * (h - 1) + width),
            cur(static_cast<std::size_t>(stride) * (h - 1) + 16);
        fill(ref, kind);
        fill(cur, cur_kind);
        std::vector<int> got(static_cast<std::size_t>(n), -1), want(got);
        if (h == 4) {
          vec_.sad4x4_row(ref.data(), cur.data(), stride, n, got.data());
          ref_.sad4x4_row(ref.data(), cur.data(), stride, n, want.data());
        } else {
          vec_.sad16_row(ref.data(), cur.data(), stride, h, n, got.data());
          ref_.sad16_row(ref.data(), cur.data(), stride, h, n, want.data());
        }
        ASSERT_EQ(got, want) << "n " << n << " kind " << kind << " h " << h;
      }
    }
  }
}

TEST_P(Checkasm, PredictionAddAndSubtractMatch) {
  for (int stride : kStrides) {
    std::vector<std::uint8_t> src(static_cast<std::size_t>(stride) * 8 + 16), pred(src.size());
    for (int kind = 0; kind < 6; ++kind) {
      fill(src, kind);
      fill(pred, (kind + 3) % 6);
      const int off = uniform(0, stride - 8);
      std::int16_t got[64], want[64];
      vec_.subtract_prediction(src.data() + off, pred.data() + off, stride, got);
      ref_.subtract_prediction(src.data() + off, pred.data() + off, stride, want);
      ASSERT_EQ(std::memcmp(got, want, sizeof got), 0);
      // Errors across the whole 16-bit range, including the clip at both ends.
      std::int16_t block[64];
      for (auto& v : block) {
        const int pick = uniform(0, 3);
        v = static_cast<std::int16_t>(pick == 0 ? uniform(-32768, 32767)
                                      : pick == 1 ? uniform(-300, 300)
                                      : pick == 2 ? -32768
                                                  : 32767);
      }
      std::vector<std::uint8_t> out_v(src.size(), 7), out_r(src.size(), 7);
      vec_.add_prediction(block, pred.data() + off, stride, out_v.data() + off);
      ref_.add_prediction(block, pred.data() + off, stride, out_r.data() + off);
      ASSERT_EQ(out_v, out_r);
    }
  }
}

TEST_P(Checkasm, ForwardDctMatchesTheFixedPointAlgorithm) {
  EXPECT_EQ(ref_.forward_dct, &fdct_fixed);
  for (int trial = 0; trial < 4000; ++trial) {
    std::int16_t a[64], b[64];
    const int mode = trial % 6;
    for (int k = 0; k < 64; ++k) {
      switch (mode) {
        case 0: a[k] = static_cast<std::int16_t>(uniform(-256, 255)); break;
        case 1: a[k] = static_cast<std::int16_t>(uniform(-8, 8)); break;
        case 2: a[k] = -256; break;
        case 3: a[k] = 255; break;
        case 4: a[k] = static_cast<std::int16_t>(((k ^ (k >> 3)) & 1) ? 255 : -256); break;
        default: a[k] = static_cast<std::int16_t>(uniform(0, 1) ? 255 : -256); break;
      }
    }
    std::memcpy(b, a, sizeof a);
    vec_.forward_dct(a);
    ref_.forward_dct(b);
    ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << trial;
  }
}

TEST_P(Checkasm, InverseDctMatchesTheIntegerAlgorithm) {
  for (int trial = 0; trial < 6000; ++trial) {
    std::int16_t a[64] = {}, b[64];
    const int mode = trial % 5;
    for (int k = 0; k < 64; ++k) {
      switch (mode) {
        case 0: a[k] = static_cast<std::int16_t>(uniform(-2048, 2047)); break;
        case 1: a[k] = static_cast<std::int16_t>(uniform(0, 9) == 0 ? uniform(-2048, 2047) : 0); break;
        case 2: a[k] = static_cast<std::int16_t>(k == 0 ? uniform(-2048, 2047) : 0); break;
        case 3: a[k] = static_cast<std::int16_t>(uniform(0, 1) ? 2047 : -2048); break;
        default: a[k] = static_cast<std::int16_t>(uniform(-300, 300)); break;
      }
    }
    std::memcpy(b, a, sizeof a);
    vec_.inverse_dct(a);
    ref_.inverse_dct(b);
    ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << trial;
  }
}

TEST_P(Checkasm, FastQuantiserMatchesIncludingItsFallback) {
  std::uint16_t flat[64], ramp[64], random[64], recip_flat[64], recip_ramp[64], recip_random[64];
  for (int k = 0; k < 64; ++k) {
    flat[k] = 16;
    ramp[k] = static_cast<std::uint16_t>(16 + (k >> 3) + (k & 7));
    random[k] = static_cast<std::uint16_t>(uniform(2, 255));
    recip_flat[k] = static_cast<std::uint16_t>(65536 / flat[k]);
    recip_ramp[k] = static_cast<std::uint16_t>(65536 / ramp[k]);
    recip_random[k] = static_cast<std::uint16_t>(65536 / random[k]);
  }
  const std::uint16_t* matrices[3][2] = {
      {flat, recip_flat}, {ramp, recip_ramp}, {random, recip_random}};
  int fallbacks = 0, fast = 0;
  for (int trial = 0; trial < 6000; ++trial) {
    std::int16_t in[64];
    const int mode = trial % 4;
    for (auto& v : in) {
      switch (mode) {
        case 0: v = static_cast<std::int16_t>(uniform(-1023, 1023)); break;
        case 1: v = static_cast<std::int16_t>(uniform(-1100, 1100)); break;
        case 2: v = static_cast<std::int16_t>(uniform(-40, 40)); break;
        default: v = static_cast<std::int16_t>(uniform(0, 30) == 0 ? -32768 : uniform(-3, 3)); break;
      }
    }
    const int m = trial % 3;
    const int mquant = trial % 17 == 0 ? 1 : uniform(2, 112);
    const int limit = trial % 2 ? 255 : 2047;
    std::int16_t out_v[64], out_r[64];
    std::memset(out_v, 0x55, sizeof out_v);
    std::memset(out_r, 0x55, sizeof out_r);
    bool nz_v = false, nz_r = false;
    const bool ok_v =
        vec_.quantise_non_intra_fast(in, out_v, matrices[m][0], matrices[m][1], mquant, limit, &nz_v);
    const bool ok_r =
        ref_.quantise_non_intra_fast(in, out_r, matrices[m][0], matrices[m][1], mquant, limit, &nz_r);
    ASSERT_EQ(ok_v, ok_r) << trial;
    ASSERT_EQ(std::memcmp(out_v, out_r, sizeof out_v), 0) << trial;
    if (ok_r) {
      ASSERT_EQ(nz_v, nz_r);
      ++fast;
      // In place, as the picture writer calls it.
      std::int16_t inplace[64];
      std::memcpy(inplace, in, sizeof in);
      bool nz = false;
      ASSERT_TRUE(vec_.quantise_non_intra_fast(inplace, inplace, matrices[m][0], matrices[m][1],
                                               mquant, limit, &nz));
      ASSERT_EQ(std::memcmp(inplace, out_r, sizeof in), 0);
    } else {
      ++fallbacks;
    }
  }
  EXPECT_GT(fast, 1000);
  EXPECT_GT(fallbacks, 100);
}

TEST_P(Checkasm, ColourConversionMatchesTheIntegerPath) {
  // Q15 rows of matrix_coefficients 1, 2 (3, 5, 6), 4 and 7.
  const int q[4][9] = {{6963, 23442, 2363, -3768, -12648, 16384, 16384, -14877, -1507},
                       {9798, 19235, 3736, -5538, -10846, 16384, 16384, -13730, -2654},
                       {9830, 19333, 3604, -5538, -10846, 16384, 16384, -13795, -2589},
                       {6947, 22970, 2851, -3801, -12583, 16384, 16384, -14582, -1802}};
  for (int width : {1, 3, 4, 5, 15, 16, 17, 63, 352, 720}) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(width) * 4);
    for (int kind = 0; kind < 6; ++kind) {
      fill(px, kind);
      for (const auto& row : q) {
        std::vector<std::uint8_t> yv(width), bv(width), rv(width), yr(width), br(width), rr(width);
        vec_.rgb_to_ycc(px.data(), width, row, yv.data(), bv.data(), rv.data());
        ref_.rgb_to_ycc(px.data(), width, row, yr.data(), br.data(), rr.data());
        ASSERT_EQ(yv, yr) << width << " " << kind;
        ASSERT_EQ(bv, br);
        ASSERT_EQ(rv, rr);
      }
    }
  }
}

TEST_P(Checkasm, ChromaFiltersMatchOnEveryPlaneShape) {
  struct Shape {
    int width, height;
  };
  for (const Shape sh : {Shape{2, 2}, Shape{4, 3}, Shape{16, 8}, Shape{18, 16}, Shape{30, 20},
                         Shape{64, 32}, Shape{106, 38}, Shape{360, 64}, Shape{720, 36}}) {
    std::vector<std::uint8_t> src(static_cast<std::size_t>(sh.width) * sh.height);
    for (int kind = 0; kind < 6; ++kind) {
      fill(src, kind);
      for (bool flag : {false, true}) {
        const std::size_t h_out = static_cast<std::size_t>(sh.width / 2) * sh.height;
        std::vector<std::uint8_t> hv(h_out, 1), hr(h_out, 1);
        vec_.chroma_filter_h(src.data(), hv.data(), sh.width, sh.height, flag);
        ref_.chroma_filter_h(src.data(), hr.data(), sh.width, sh.height, flag);
        ASSERT_EQ(hv, hr) << sh.width << "x" << sh.height << " " << kind << flag;
        std::vector<std::uint8_t> vv(src.size(), 1), vr(src.size(), 1);
        vec_.chroma_filter_v(src.data(), vv.data(), sh.width, sh.height, flag);
        ref_.chroma_filter_v(src.data(), vr.data(), sh.width, sh.height, flag);
        ASSERT_EQ(vv, vr) << sh.width << "x" << sh.height << " " << kind << flag;
      }
    }
  }
}

TEST_P(Checkasm, MotionCompensatedPredictionMatches) {
  // Strides leave room for x up to stride - 19 and vectors of +-1.5 samples
  // around the block; the margin keeps every read inside the buffers.
  for (int stride : {19, 24, 37, 64, 97, 720}) {
    const int rows = 2 + 16 + 5;
    std::vector<std::uint8_t> src(static_cast<std::size_t>(stride) * rows + 4);
    std::vector<std::uint8_t> start(src.size());
    for (int kind = 0; kind < 6; ++kind) {
      fill(src, kind);
      fill(start, (kind + 2) % 6);
      for (int w : {8, 16}) {
        if (stride < w + 3) continue;
        for (int h : {1, 4, 8, 16}) {
          for (int trial = 0; trial < 4; ++trial) {
            const int x = uniform(0, stride - w - 3), y = uniform(0, 2);
            const int base = 2 * stride + 2;
            for (int dx = -3; dx <= 3; ++dx) {
              for (int dy = -3; dy <= 3; ++dy) {
                for (bool average : {false, true}) {
                  std::vector<std::uint8_t> got(start), want(start);
                  vec_.pred_comp(src.data() + base, got.data() + base, stride, w, h, x, y, dx, dy,
                                 average);
                  ref_.pred_comp(src.data() + base, want.data() + base, stride, w, h, x, y, dx,
                                 dy, average);
                  ASSERT_EQ(got, want) << stride << " " << kind << " " << w << "x" << h << " at "
                                       << x << "," << y << " (" << dx << "," << dy << ") "
                                       << average;
                }
              }
            }
          }
        }
      }
    }
  }
}

TEST_P(Checkasm, IntraQuantiserAndDequantisersMatchOnEveryStandard) {
  int flat[64], ones[64], top[64], ramp[64], random[64];
  for (int k = 0; k < 64; ++k) {
    flat[k] = 16;
    ones[k] = 1;
    top[k] = 255;
    ramp[k] = 8 + 3 * ((k >> 3) + (k & 7));
    random[k] = uniform(1, 255);
  }
  const int* matrices[] = {flat, ones, top, ramp, random};
  for (int trial = 0; trial < 8000; ++trial) {
    std::int16_t in[64];
    const int mode = trial % 5;
    for (auto& v : in) {
      switch (mode) {
        case 0: v = static_cast<std::int16_t>(uniform(-2048, 2047)); break;
        case 1: v = static_cast<std::int16_t>(uniform(-255, 255)); break;
        case 2: v = static_cast<std::int16_t>(uniform(-32768, 32767)); break;
        case 3: v = static_cast<std::int16_t>(uniform(0, 8) == 0 ? uniform(-3, 3) : 0); break;
        default: {
          const int pick = uniform(0, 3);
          v = static_cast<std::int16_t>(pick == 0 ? -32768 : pick == 1 ? 32767 : pick == 2 ? 0 : 1);
        }
      }
    }
    // A large DC over small AC levels: the DC term never counts as a level
    // out of range.
    if (trial % 13 == 0) in[0] = static_cast<std::int16_t>(uniform(-2048, 2047));
    const int* matrix = matrices[trial % 5];
    const int mquant = trial % 7 == 0 ? 1 : trial % 11 == 0 ? 112 : uniform(1, 112);
    const bool mpeg1 = (trial / 5) % 2 != 0;
    const int dc_precision = uniform(0, 3);
    std::int16_t got[64], want[64];
    std::memset(got, 0x55, sizeof got);
    std::memset(want, 0x55, sizeof want);
    const bool fine = vec_.quantise_intra(in, got, dc_precision, matrix, mquant, mpeg1);
    ASSERT_EQ(fine, ref_.quantise_intra(in, want, dc_precision, matrix, mquant, mpeg1)) << trial;
    ASSERT_EQ(std::memcmp(got, want, sizeof got), 0) << "quantise intra " << trial;
    vec_.dequantise_intra(in, got, dc_precision, matrix, mquant, mpeg1);
    ref_.dequantise_intra(in, want, dc_precision, matrix, mquant, mpeg1);
    ASSERT_EQ(std::memcmp(got, want, sizeof got), 0) << "intra " << trial;
    vec_.dequantise_non_intra(in, got, matrix, mquant, mpeg1);
    ref_.dequantise_non_intra(in, want, matrix, mquant, mpeg1);
    ASSERT_EQ(std::memcmp(got, want, sizeof got), 0) << "non-intra " << trial;
    if (!mpeg1) {
      // Mismatch control leaves every MPEG-2 block with an odd sum.
      int sum = 0;
      for (int v : got) sum += v;
      ASSERT_EQ(sum & 1, 1) << trial;
    }
  }
}

TEST_P(Checkasm, NonZeroMasksMatch) {
  for (int trial = 0; trial < 2000; ++trial) {
    std::int16_t block[64] = {};
    if (trial < 64) {
      block[trial] = static_cast<std::int16_t>(trial % 2 ? -32768 : 1);  // each position alone
    } else {
      const int density = uniform(0, 8);
      for (auto& v : block)
        if (uniform(0, 7) < density) v = static_cast<std::int16_t>(uniform(-32768, 32767));
    }
    ASSERT_EQ(vec_.nonzero_mask(block), ref_.nonzero_mask(block)) << trial;
  }
}

INSTANTIATE_TEST_SUITE_P(AllRunnable, Checkasm, ::testing::ValuesIn(runnable_variants()),
                         [](const auto& info) { return info.param.name(); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Checkasm);

TEST(KernelChoice, EachClassTakesTheWidestInstructionSet) {
  for (int c = 1; c <= 4; ++c) {
    const KernelTable chosen = kernel_table(c, false);
    const KernelTable widest = kernel_table(c, false, widest_isa());
    EXPECT_EQ(chosen.sse16, widest.sse16);
    EXPECT_EQ(chosen.inverse_dct, widest.inverse_dct);
  }
  // Class 0 and use_plain_kernels keep the plain transforms.
  EXPECT_EQ(kernel_table(0, false).forward_dct, &fdct_integer);
  EXPECT_EQ(kernel_table(3, true).forward_dct, &fdct_float);
  EXPECT_EQ(kernel_table(3, true).inverse_dct, &idct_chen_wang);
}

// Separable double-precision DCTs for the accuracy tests.
void exact_dct(const double* in, double* out, bool inverse) {
  double c[8][8];
  for (int u = 0; u < 8; ++u)
    for (int x = 0; x < 8; ++x)
      c[u][x] = (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * u * M_PI / 16);
  double tmp[64];
  for (int r = 0; r < 8; ++r)
    for (int k = 0; k < 8; ++k) {
      double s = 0;
      for (int n = 0; n < 8; ++n) s += in[r * 8 + n] * (inverse ? c[n][k] : c[k][n]);
      tmp[r * 8 + k] = s;
    }
  for (int col = 0; col < 8; ++col)
    for (int k = 0; k < 8; ++k) {
      double s = 0;
      for (int n = 0; n < 8; ++n) s += tmp[n * 8 + col] * (inverse ? c[n][k] : c[k][n]);
      out[k * 8 + col] = s;
    }
}

TEST(Checkasm1180, EveryInverseDctFormMeetsIeee1180) {
  std::vector<std::pair<std::string, void (*)(std::int16_t*)>> forms = {
      {"plain", idct_chen_wang}};
  for (const Variant& v : runnable_variants())
    forms.push_back({v.name(), kernel_table(v.kernel_class, false, v.isa).inverse_dct});
  struct Range {
    int lo, hi;
  };
  for (const auto& [name, idct] : forms) {
    for (const Range range : {Range{-256, 255}, Range{-5, 5}, Range{-300, 300}}) {
      for (int sign : {1, -1}) {
        std::mt19937 rng(1180);
        std::uniform_int_distribution<int> pixel(range.lo, range.hi);
        double err_sum[64] = {}, sq_sum[64] = {};
        int peak = 0;
        constexpr int kBlocks = 10000;
        for (int n = 0; n < kBlocks; ++n) {
          double px[64], coef[64];
          for (double& p : px) p = sign * pixel(rng);
          exact_dct(px, coef, false);
          std::int16_t block[64];
          double in[64];
          for (int k = 0; k < 64; ++k) {
            const double q = std::clamp(std::floor(coef[k] + 0.5), -2048.0, 2047.0);
            block[k] = static_cast<std::int16_t>(q);
            in[k] = q;
          }
          double want[64];
          exact_dct(in, want, true);
          idct(block);
          for (int k = 0; k < 64; ++k) {
            const double w = std::clamp(std::floor(want[k] + 0.5), -256.0, 255.0);
            const double e = block[k] - w;
            peak = std::max(peak, static_cast<int>(std::abs(e)));
            err_sum[k] += e;
            sq_sum[k] += e * e;
          }
        }
        double total_err = 0, total_sq = 0, worst_mse = 0, worst_me = 0;
        for (int k = 0; k < 64; ++k) {
          total_err += err_sum[k];
          total_sq += sq_sum[k];
          worst_mse = std::max(worst_mse, sq_sum[k] / kBlocks);
          worst_me = std::max(worst_me, std::abs(err_sum[k]) / kBlocks);
        }
        const std::string where = name + " range " + std::to_string(range.hi) + " sign " +
                                  std::to_string(sign);
        EXPECT_LE(peak, 1) << where;
        EXPECT_LE(worst_mse, 0.06) << where;
        EXPECT_LE(total_sq / (64.0 * kBlocks), 0.02) << where;
        EXPECT_LE(worst_me, 0.015) << where;
        EXPECT_LE(std::abs(total_err) / (64.0 * kBlocks), 0.0015) << where;
      }
    }
    std::int16_t zero[64] = {};
    idct(zero);
    for (int v : zero) EXPECT_EQ(v, 0) << name;
  }
}

TEST(Checkasm1180, FixedPointForwardDctStaysCloseToTheExactTransform) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> sample(-256, 255);
  int worst = 0;
  double sq = 0;
  constexpr int kBlocks = 3000;
  for (int n = 0; n < kBlocks; ++n) {
    std::int16_t block[64];
    double px[64], exact[64];
    for (int k = 0; k < 64; ++k) px[k] = block[k] = static_cast<std::int16_t>(sample(rng));
    exact_dct(px, exact, false);
    fdct_fixed(block);
    for (int k = 0; k < 64; ++k) {
      const double e = block[k] - exact[k];
      worst = std::max(worst, static_cast<int>(std::ceil(std::abs(e))));
      sq += e * e;
    }
  }
  EXPECT_LE(worst, 2);
  EXPECT_LE(sq / (64.0 * kBlocks), 0.25);
}

}  // namespace
