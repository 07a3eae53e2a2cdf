// 16-bit fixed-point forward DCT: tangent-form butterflies with the products
// taken as the high half of a 16 x 16-bit multiply, so the vector forms can
// reproduce it lane for lane. Every intermediate wraps at 16 bits as a
// vector register would.
#include <cmath>
#include <cstdint>

#include "mpeg/video/kernels.h"
#include "mpeg/video/kernels_impl.h"

namespace corvexa::mpeg::video {

namespace {

using i16 = std::int16_t;

inline i16 w16(int v) { return static_cast<i16>(v); }
inline i16 add(i16 a, i16 b) { return w16(a + b); }
inline i16 sub(i16 a, i16 b) { return w16(a - b); }
inline i16 mulhi(i16 a, int c) { return w16((static_cast<int>(a) * c) >> 16); }

constexpr int kTan1 = 13036;   // tan(pi/16), Q16
constexpr int kTan2 = 27146;   // tan(2pi/16), Q16
constexpr int kTan3m1 = -21746;  // tan(3pi/16) - 1, Q16
constexpr int kCos4 = 23170;   // cos(pi/4), Q15

// One 1-D pass; outputs are the DCT scaled per frequency by fdct_fixed_gain.
void pass(const i16* x, i16* y) {
  const i16 t0 = add(x[0], x[7]), t7 = sub(x[0], x[7]);
  const i16 t1 = add(x[1], x[6]), t6 = sub(x[1], x[6]);
  const i16 t2 = add(x[2], x[5]), t5 = sub(x[2], x[5]);
  const i16 t3 = add(x[3], x[4]), t4 = sub(x[3], x[4]);
  const i16 tp03 = add(t0, t3), tm03 = sub(t0, t3);
  const i16 tp12 = add(t1, t2), tm12 = sub(t1, t2);
  y[0] = add(tp03, tp12);
  y[4] = sub(tp03, tp12);
  y[2] = add(tm03, mulhi(tm12, kTan2));
  y[6] = sub(mulhi(tm03, kTan2), tm12);
  const i16 s65 = add(t6, t5), d65 = sub(t6, t5);
  const i16 tp65 = mulhi(add(s65, s65), kCos4), tm65 = mulhi(add(d65, d65), kCos4);
  const i16 a = add(t7, tp65), b = sub(t7, tp65);
  const i16 c = add(t4, tm65), d = sub(t4, tm65);
  y[1] = add(a, mulhi(c, kTan1));
  y[7] = sub(mulhi(a, kTan1), c);
  y[3] = sub(b, add(d, mulhi(d, kTan3m1)));
  y[5] = add(add(b, mulhi(b, kTan3m1)), d);
}

}  // namespace

// Gain of one pass at frequency k relative to the orthonormal DCT.
double fdct_fixed_gain(int k) {
  // DC and the middle frequency: 2 * sqrt(2); the others 2 / cos(k' pi / 16).
  if (k == 0 || k == 4) return 2.0 * std::sqrt(2.0);
  const int kk = k < 4 ? k : 8 - k;
  return 2.0 / std::cos(kk * M_PI / 16.0);
}

const std::int16_t* fdct_fixed_scale() {
  // Columns run on 8x input and hand on 2x (rounded); the rows end with one
  // rounding multiply by 1 / (2 * gain_u * gain_v) in Q16.
  static const struct Scale {
    std::int16_t m[64];
    Scale() {
      for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v)
          m[u * 8 + v] = static_cast<std::int16_t>(
              std::lround(65536.0 / (2.0 * fdct_fixed_gain(u) * fdct_fixed_gain(v))));
    }
  } scale;
  return scale.m;
}

void fdct_fixed(std::int16_t* block) {
  const std::int16_t* m = fdct_fixed_scale();
  i16 tmp[64];
  for (int c = 0; c < 8; ++c) {
    i16 x[8], y[8];
    for (int n = 0; n < 8; ++n) x[n] = w16(block[n * 8 + c] * 8);
    pass(x, y);
    for (int k = 0; k < 8; ++k) tmp[k * 8 + c] = w16(add(y[k], 2) >> 2);
  }
  for (int r = 0; r < 8; ++r) {
    i16 y[8];
    pass(tmp + r * 8, y);
    for (int k = 0; k < 8; ++k)
      block[r * 8 + k] = w16((static_cast<int>(y[k]) * m[r * 8 + k] + 32768) >> 16);
  }
}

}  // namespace corvexa::mpeg::video
