// The 16-bit fixed-point forward DCT of the MMX kernel classes, written as
// plain code so that every vector form has an exact reference. Each step is
// one that 16-bit lanes can do: saturating adds, "multiply high" by Q16
// tangents (and Q15 cos(pi/4) on a doubled input), then a row pass of 16-bit
// coefficient pairs summed in 32 bits, rounded and packed with saturation.
//
// Column pass: inputs take 3 fraction bits; the butterflies give the DCT of
// each column scaled per output row u by k(u) (2*sqrt(2) for rows 0 and 4,
// 2/cos(pi/8) for 2 and 6, 2/cos(pi/16) for 1 and 7, 2/cos(3pi/16) for 3 and 5).
// Row pass: row u is multiplied by the 8-point DCT matrix divided by k(u), in
// Q16, and the sum is shifted down by 16 + 3.
#include "mpeg/video/fdct_fixed.h"

#include <cmath>

namespace corvexa::mpeg::video {

namespace {

constexpr int kTan1 = 13036;   // tan(pi/16), Q16
constexpr int kTan2 = 27146;   // tan(2pi/16), Q16
constexpr int kTan3m1 = -21746;  // tan(3pi/16) - 1, Q16
constexpr int kCos4 = 23170;   // cos(pi/4), Q15

inline std::int16_t sat(int v) {
  return static_cast<std::int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}
inline std::int16_t add(int a, int b) { return sat(a + b); }
inline std::int16_t sub(int a, int b) { return sat(a - b); }
// High half of the signed 16 x 16 product.
inline std::int16_t mulhi(int a, int c) { return static_cast<std::int16_t>((a * c) >> 16); }

struct RowTable {
  // [row class][output v][input n], row classes: 0/4, 1/7, 2/6, 3/5.
  std::int16_t c[4][8][8];
  RowTable() {
    const double pi = 3.14159265358979323846;
    const double k[4] = {2.0 * std::sqrt(2.0), 2.0 / std::cos(pi / 16), 2.0 / std::cos(pi / 8),
                         2.0 / std::cos(3 * pi / 16)};
    for (int r = 0; r < 4; ++r)
      for (int v = 0; v < 8; ++v)
        for (int n = 0; n < 8; ++n) {
          const double cv = v == 0 ? std::sqrt(0.5) : 1.0;
          const double m = cv / 2.0 * std::cos((2 * n + 1) * v * pi / 16) / k[r];
          c[r][v][n] = static_cast<std::int16_t>(std::lround(m * 65536.0));
        }
  }
};

constexpr int kRowClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};

}  // namespace

const std::int16_t (*fdct_fixed_row_table())[8][8] {
  static const RowTable table;
  return table.c;
}

void fdct_fixed(std::int16_t* block) {
  std::int16_t t[64];
  for (int col = 0; col < 8; ++col) {
    int x[8];
    for (int n = 0; n < 8; ++n) x[n] = sat(block[n * 8 + col] * 8);
    const int t0 = add(x[0], x[7]), t7 = sub(x[0], x[7]);
    const int t1 = add(x[1], x[6]), t6 = sub(x[1], x[6]);
    const int t2 = add(x[2], x[5]), t5 = sub(x[2], x[5]);
    const int t3 = add(x[3], x[4]), t4 = sub(x[3], x[4]);
    // Even half.
    const int tp03 = add(t0, t3), tm03 = sub(t0, t3);
    const int tp12 = add(t1, t2), tm12 = sub(t1, t2);
    t[0 * 8 + col] = add(tp03, tp12);
    t[4 * 8 + col] = sub(tp03, tp12);
    t[2 * 8 + col] = add(tm03, mulhi(tm12, kTan2));
    t[6 * 8 + col] = sub(mulhi(tm03, kTan2), tm12);
    // Odd half: (t6 +- t5) * cos(pi/4) from the doubled sum in Q15.
    const int tp65 = mulhi(sat(2 * add(t6, t5)), kCos4);
    const int tm65 = mulhi(sat(2 * sub(t6, t5)), kCos4);
    const int tp765 = add(t7, tp65), tm765 = sub(t7, tp65);
    const int tp465 = add(t4, tm65), tm465 = sub(t4, tm65);
    t[1 * 8 + col] = add(tp765, mulhi(tp465, kTan1));
    t[7 * 8 + col] = sub(mulhi(tp765, kTan1), tp465);
    t[3 * 8 + col] = sub(tm765, add(tm465, mulhi(tm465, kTan3m1)));
    t[5 * 8 + col] = add(add(tm765, mulhi(tm765, kTan3m1)), tm465);
  }
  const std::int16_t(*table)[8][8] = fdct_fixed_row_table();
  for (int u = 0; u < 8; ++u) {
    const std::int16_t(*m)[8] = table[kRowClass[u]];
    const std::int16_t* in = t + u * 8;
    for (int v = 0; v < 8; ++v) {
      int acc = 0;
      for (int n = 0; n < 8; ++n) acc += m[v][n] * in[n];
      block[u * 8 + v] = sat((acc + (1 << 18)) >> 19);
    }
  }
}

}  // namespace corvexa::mpeg::video
