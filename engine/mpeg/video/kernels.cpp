#include "mpeg/video/kernels.h"

#include "mpeg/video/fdct_fixed.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "mpeg/video/frame_input.h"
#include "mpeg/video/kernels_impl.h"

namespace corvexa::mpeg::video {

namespace {

struct AbsTable {
  std::uint8_t d[256][256];
  AbsTable() {
    for (int i = 0; i < 256; ++i)
      for (int j = 0; j < 256; ++j) d[i][j] = static_cast<std::uint8_t>(std::abs(i - j));
  }
};
const AbsTable& abs_table() {
  static const AbsTable table;
  return table;
}

// Reference sample at half-pel offsets (hx, hy) from p.
inline int interp(const std::uint8_t* p, int stride, int hx, int hy) {
  if (!hx && !hy) return p[0];
  if (hx && !hy) return (p[0] + p[1] + 1) >> 1;
  if (!hx && hy) return (p[0] + p[stride] + 1) >> 1;
  return (p[0] + p[1] + p[stride] + p[stride + 1] + 2) >> 2;
}

int sad16_plain(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int hx, int hy,
                int h, int limit) {
  const AbsTable& t = abs_table();
  int s = 0;
  if (!hx && !hy) {
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < 16; ++i) s += t.d[ref[i]][cur[i]];
      if (s >= limit) return s;
      ref += stride;
      cur += stride;
    }
    return s;
  }
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < 16; ++i) s += t.d[interp(ref + i, stride, hx, hy)][cur[i]];
    ref += stride;
    cur += stride;
  }
  return s;
}

int sse16_plain(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int hx, int hy,
                int h) {
  int s = 0;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < 16; ++i) {
      int v = interp(ref + i, stride, hx, hy) - cur[i];
      s += v * v;
    }
    ref += stride;
    cur += stride;
  }
  return s;
}

int sad16_bi_plain(const std::uint8_t* f, const std::uint8_t* b, const std::uint8_t* cur,
                   int stride, int hxf, int hyf, int hxb, int hyb, int h) {
  int s = 0;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < 16; ++i) {
      int v = (interp(f + i, stride, hxf, hyf) + interp(b + i, stride, hxb, hyb) + 1) >> 1;
      s += std::abs(v - cur[i]);
    }
    f += stride;
    b += stride;
    cur += stride;
  }
  return s;
}

int sse16_bi_plain(const std::uint8_t* f, const std::uint8_t* b, const std::uint8_t* cur,
                   int stride, int hxf, int hyf, int hxb, int hyb, int h) {
  int s = 0;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < 16; ++i) {
      int v = ((interp(f + i, stride, hxf, hyf) + interp(b + i, stride, hxb, hyb) + 1) >> 1) -
              cur[i];
      s += v * v;
    }
    f += stride;
    b += stride;
    cur += stride;
  }
  return s;
}

unsigned variance16_plain(const std::uint8_t* p, int stride) {
  unsigned s = 0, s2 = 0;
  for (int j = 0; j < 16; ++j) {
    for (int i = 0; i < 16; ++i) {
      s += p[i];
      s2 += static_cast<unsigned>(p[i]) * p[i];
    }
    p += stride;
  }
  return s2 - ((s * s) >> 8);
}

int sad4x4_sub_plain(const std::uint8_t* a, const std::uint8_t* b, int stride, int limit) {
  const AbsTable& t = abs_table();
  int s = 0;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) s += t.d[a[i]][b[i]];
    if (s >= limit) return s;
    a += stride;
    b += stride;
  }
  return s;
}

void sad16_row_plain(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int h, int n,
                     int* out) {
  for (int i = 0; i < n; ++i) out[i] = sad16_plain(ref + i, cur, stride, 0, 0, h, INT_MAX);
}

void sad4x4_row_plain(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int n,
                      int* out) {
  for (int i = 0; i < n; ++i) out[i] = sad4x4_sub_plain(cur, ref + i, stride, INT_MAX);
}

void subtract_plain(const std::uint8_t* src, const std::uint8_t* pred, int stride,
                    std::int16_t* block) {
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) block[i] = static_cast<std::int16_t>(src[i] - pred[i]);
    src += stride;
    pred += stride;
    block += 8;
  }
}

void add_plain(const std::int16_t* block, const std::uint8_t* pred, int stride,
               std::uint8_t* out) {
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) {
      int v = pred[i] + block[i];
      out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
    pred += stride;
    out += stride;
    block += 8;
  }
}

bool quantise_fast_plain(const std::int16_t* in, std::int16_t* out, const std::uint16_t* matrix,
                         const std::uint16_t* reciprocal, int mquant, int limit, bool* nonzero) {
  if (mquant < 2) return false;  // 65536 / mquant must fit 16 bits
  const unsigned rq = 65536u / static_cast<unsigned>(mquant);
  std::int16_t y[64];
  bool any = false;
  for (int i = 0; i < 64; ++i) {
    const int x = in[i];
    const unsigned a = static_cast<unsigned>(std::abs(x));
    if (a > 1023) return false;
    const unsigned t = 32 * a + (matrix[i] >> 1);
    const unsigned g = (t * reciprocal[i]) >> 16;
    const int v = static_cast<int>(((g * rq) >> 16) >> 1);
    if (v > limit) return false;
    if (v) any = true;
    y[i] = static_cast<std::int16_t>(x < 0 ? -v : v);
  }
  for (int i = 0; i < 64; ++i) out[i] = y[i];
  *nonzero = any;
  return true;
}

void rgb_row_plain(const std::uint8_t* src, int width, const int* q, std::uint8_t* yo,
                   std::uint8_t* bo, std::uint8_t* ro) {
  for (int x = 0; x < width; ++x) {
    const int b = src[4 * x], g = src[4 * x + 1], r = src[4 * x + 2];
    const int sy = q[0] * r + q[1] * g + q[2] * b;
    const int su = q[3] * r + q[4] * g + q[5] * b;
    const int sv = q[6] * r + q[7] * g + q[8] * b;
    yo[x] = static_cast<std::uint8_t>((((sy * 219) >> 8) + 540672) >> 15);
    bo[x] = static_cast<std::uint8_t>((((su * 224) >> 8) + 4210688) >> 15);
    ro[x] = static_cast<std::uint8_t>((((sv * 224) >> 8) + 4210688) >> 15);
  }
}

struct FloatScale {
  double s[64];
  FloatScale() {
    static const double c[8] = {1, 1.387039845, 1.306562965, 1.175875602,
                                1, 0.785694958, 0.5411961,   0.275899379};
    for (int u = 0; u < 8; ++u)
      for (int v = 0; v < 8; ++v) s[u * 8 + v] = 1.0 / (c[u] * c[v] * 8.0);
  }
};

// One Arai-Agui-Nakajima pass over 8 values spaced `step` apart.
void aan_pass(double* d, int step) {
  double* p[8];
  for (int k = 0; k < 8; ++k) p[k] = d + k * step;
  double t0 = *p[0] + *p[7], t7 = *p[0] - *p[7];
  double t1 = *p[1] + *p[6], t6 = *p[1] - *p[6];
  double t2 = *p[2] + *p[5], t5 = *p[2] - *p[5];
  double t3 = *p[3] + *p[4], t4 = *p[3] - *p[4];
  double t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  *p[0] = t10 + t11;
  *p[4] = t10 - t11;
  double z1 = (t12 + t13) * 0.707106781;
  *p[2] = t13 + z1;
  *p[6] = t13 - z1;
  t10 = t4 + t5;
  t11 = t5 + t6;
  t12 = t6 + t7;
  double z5 = (t10 - t12) * 0.382683433;
  double z2 = 0.5411961 * t10 + z5;
  double z4 = 1.306562965 * t12 + z5;
  double z3 = t11 * 0.707106781;
  double z11 = t7 + z3, z13 = t7 - z3;
  *p[5] = z13 + z2;
  *p[3] = z13 - z2;
  *p[1] = z11 + z4;
  *p[7] = z11 - z4;
}

}  // namespace

void fdct_float(std::int16_t* block) {
  static const FloatScale scale;
  double d[64];
  for (int k = 0; k < 64; ++k) d[k] = block[k];
  for (int r = 0; r < 8; ++r) aan_pass(d + r * 8, 1);
  for (int c = 0; c < 8; ++c) aan_pass(d + c, 8);
  for (int k = 0; k < 64; ++k)
    block[k] = static_cast<std::int16_t>(std::floor(d[k] * scale.s[k] + 0.499999));
}

void fdct_integer(std::int16_t* block) {
  constexpr int c0298 = 2446, c0390 = 3196, c0541 = 4433, c0765 = 6270, c0899 = 7373,
                c1175 = 9633, c1501 = 12299, c1847 = 15137, c1961 = 16069, c2053 = 16819,
                c2562 = 20995, c3072 = 25172;
  int w[64];
  for (int k = 0; k < 64; ++k) w[k] = block[k];
  // Row pass keeps two fraction bits; the column pass removes them.
  for (int pass = 0; pass < 2; ++pass) {
    const int step = pass == 0 ? 1 : 8;
    const int stride = pass == 0 ? 8 : 1;
    const int odd_shift = pass == 0 ? 11 : 15;
    for (int r = 0; r < 8; ++r) {
      int* p = w + r * stride;
      auto at = [&](int k) -> int& { return p[k * step]; };
      long t0 = at(0) + at(7), t7 = at(0) - at(7);
      long t1 = at(1) + at(6), t6 = at(1) - at(6);
      long t2 = at(2) + at(5), t5 = at(2) - at(5);
      long t3 = at(3) + at(4), t4 = at(3) - at(4);
      long t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
      auto descale = [](long x, int n) { return static_cast<int>((x + (1L << (n - 1))) >> n); };
      if (pass == 0) {
        at(0) = static_cast<int>((t10 + t11) * 4);
        at(4) = static_cast<int>((t10 - t11) * 4);
      } else {
        at(0) = descale(t10 + t11, 2);
        at(4) = descale(t10 - t11, 2);
      }
      long z1 = (t12 + t13) * c0541;
      at(2) = descale(z1 + t13 * c0765, odd_shift);
      at(6) = descale(z1 - t12 * c1847, odd_shift);
      long z1o = t4 + t7, z2 = t5 + t6, z3 = t4 + t6, z4 = t5 + t7;
      long z5 = (z3 + z4) * c1175;
      long a4 = t4 * c0298, a5 = t5 * c2053, a6 = t6 * c3072, a7 = t7 * c1501;
      z1o *= -c0899;
      z2 *= -c2562;
      z3 = z3 * -c1961 + z5;
      z4 = z4 * -c0390 + z5;
      at(7) = descale(a4 + z1o + z3, odd_shift);
      at(5) = descale(a5 + z2 + z4, odd_shift);
      at(3) = descale(a6 + z2 + z3, odd_shift);
      at(1) = descale(a7 + z1o + z4, odd_shift);
    }
  }
  for (int k = 0; k < 64; ++k) block[k] = static_cast<std::int16_t>((w[k] + 4) >> 3);
}

namespace {

// (181 * v + 128) >> 8 without the 32-bit overflow of 181 * v that
// coefficients near the +-2048 limit cause: v = 256q + r splits it exactly.
inline int mul181_round(int v) { return 181 * (v >> 8) + ((181 * (v & 255) + 128) >> 8); }

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

struct IdctClip {
  short v[1024];
  IdctClip() {
    for (int i = -512; i < 512; ++i) v[i + 512] = static_cast<short>(i < -256 ? -256 : (i > 255 ? 255 : i));
  }
  short operator()(int i) const {
    if (i < -512) i = -512;
    if (i > 511) i = 511;
    return v[i + 512];
  }
};

void idct_row(std::int16_t* blk) {
  int x1 = blk[4] << 11, x2 = blk[6], x3 = blk[2], x4 = blk[1], x5 = blk[7], x6 = blk[5],
      x7 = blk[3];
  if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
    const std::int16_t dc = static_cast<std::int16_t>(blk[0] * 8);
    for (int i = 0; i < 8; ++i) blk[i] = dc;
    return;
  }
  int x0 = (blk[0] << 11) + 128;
  int x8 = W7 * (x4 + x5);
  x4 = x8 + (W1 - W7) * x4;
  x5 = x8 - (W1 + W7) * x5;
  x8 = W3 * (x6 + x7);
  x6 = x8 - (W3 - W5) * x6;
  x7 = x8 - (W3 + W5) * x7;
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2);
  x2 = x1 - (W2 + W6) * x2;
  x3 = x1 + (W2 - W6) * x3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = mul181_round(x4 + x5);
  x4 = mul181_round(x4 - x5);
  blk[0] = static_cast<std::int16_t>((x7 + x1) >> 8);
  blk[1] = static_cast<std::int16_t>((x3 + x2) >> 8);
  blk[2] = static_cast<std::int16_t>((x0 + x4) >> 8);
  blk[3] = static_cast<std::int16_t>((x8 + x6) >> 8);
  blk[4] = static_cast<std::int16_t>((x8 - x6) >> 8);
  blk[5] = static_cast<std::int16_t>((x0 - x4) >> 8);
  blk[6] = static_cast<std::int16_t>((x3 - x2) >> 8);
  blk[7] = static_cast<std::int16_t>((x7 - x1) >> 8);
}

void idct_col(std::int16_t* blk, const IdctClip& clip) {
  int x1 = blk[8 * 4] << 8, x2 = blk[8 * 6], x3 = blk[8 * 2], x4 = blk[8 * 1], x5 = blk[8 * 7],
      x6 = blk[8 * 5], x7 = blk[8 * 3];
  if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
    const std::int16_t v = clip((blk[0] + 32) >> 6);
    for (int i = 0; i < 8; ++i) blk[8 * i] = v;
    return;
  }
  int x0 = (blk[0] << 8) + 8192;
  int x8 = W7 * (x4 + x5) + 4;
  x4 = (x8 + (W1 - W7) * x4) >> 3;
  x5 = (x8 - (W1 + W7) * x5) >> 3;
  x8 = W3 * (x6 + x7) + 4;
  x6 = (x8 - (W3 - W5) * x6) >> 3;
  x7 = (x8 - (W3 + W5) * x7) >> 3;
  x8 = x0 + x1;
  x0 -= x1;
  x1 = W6 * (x3 + x2) + 4;
  x2 = (x1 - (W2 + W6) * x2) >> 3;
  x3 = (x1 + (W2 - W6) * x3) >> 3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = mul181_round(x4 + x5);
  x4 = mul181_round(x4 - x5);
  blk[8 * 0] = clip((x7 + x1) >> 14);
  blk[8 * 1] = clip((x3 + x2) >> 14);
  blk[8 * 2] = clip((x0 + x4) >> 14);
  blk[8 * 3] = clip((x8 + x6) >> 14);
  blk[8 * 4] = clip((x8 - x6) >> 14);
  blk[8 * 5] = clip((x0 - x4) >> 14);
  blk[8 * 6] = clip((x3 - x2) >> 14);
  blk[8 * 7] = clip((x7 - x1) >> 14);
}

}  // namespace

void idct_chen_wang(std::int16_t* block) {
  static const IdctClip clip;
  for (int i = 0; i < 8; ++i) idct_row(block + 8 * i);
  for (int i = 0; i < 8; ++i) idct_col(block + i, clip);
}

// One motion-compensated block: w x h samples at (x, y) of a plane whose lines
// are `lx` apart, displaced by the half-pel vector (dx, dy); `average` folds
// it into what dst already holds (second prediction of a B macroblock).
void pred_comp_plain(const std::uint8_t* src, std::uint8_t* dst, int lx, int w, int h, int x,
                     int y, int dx, int dy, bool average) {
  const int xh = dx & 1, yh = dy & 1;
  const std::uint8_t* s = src + lx * (y + (dy >> 1)) + x + (dx >> 1);
  std::uint8_t* d = dst + lx * y + x;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      int v;
      if (!xh && !yh)
        v = s[i];
      else if (xh && !yh)
        v = (s[i] + s[i + 1] + 1) >> 1;
      else if (!xh)
        v = (s[i] + s[i + lx] + 1) >> 1;
      else
        v = (s[i] + s[i + 1] + s[i + lx] + s[i + lx + 1] + 2) >> 2;
      d[i] = static_cast<std::uint8_t>(average ? (d[i] + v + 1) >> 1 : v);
    }
    s += lx;
    d += lx;
  }
}

bool isa_available(VectorIsa isa) {
  switch (isa) {
    case VectorIsa::kNone:
      return true;
#if defined(__x86_64__)
    case VectorIsa::kSse2:
      return true;
    case VectorIsa::kAvx2:
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

VectorIsa widest_isa() {
  if (isa_available(VectorIsa::kAvx2)) return VectorIsa::kAvx2;
  if (isa_available(VectorIsa::kSse2)) return VectorIsa::kSse2;
  return VectorIsa::kNone;
}

std::uint64_t nonzero_mask_plain(const std::int16_t* block) {
  std::uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) mask |= static_cast<std::uint64_t>(block[i] != 0) << i;
  return mask;
}

KernelTable kernel_table(int kernel_class, bool plain_transforms) {
  return kernel_table(kernel_class, plain_transforms, widest_isa());
}

KernelTable kernel_table(int kernel_class, bool plain_transforms, VectorIsa isa) {
  KernelTable k{};
  k.sad16 = sad16_plain;
  k.sse16 = sse16_plain;
  k.sad16_bi = sad16_bi_plain;
  k.sse16_bi = sse16_bi_plain;
  k.variance16 = variance16_plain;
  k.sad4x4_sub = sad4x4_sub_plain;
  k.sad16_row = sad16_row_plain;
  k.sad4x4_row = sad4x4_row_plain;
  k.forward_dct = kernel_class > 0 ? fdct_fixed : fdct_integer;
  k.inverse_dct = idct_chen_wang;
  k.subtract_prediction = subtract_plain;
  k.add_prediction = add_plain;
  k.quantise_non_intra_fast = quantise_fast_plain;
  k.rgb_to_ycc = rgb_row_plain;
  k.chroma_filter_h = filter_horizontal;
  k.chroma_filter_v = filter_vertical;
  k.pred_comp = pred_comp_plain;
  k.dequantise_intra = dequantise_intra;
  k.dequantise_non_intra = dequantise_non_intra;
  k.quantise_intra = quantise_intra;
  k.nonzero_mask = nonzero_mask_plain;
  if (kernel_class > 0 && isa_available(isa)) {
    // Each wider set only replaces what it does better.
#if defined(__x86_64__)
    if (isa >= VectorIsa::kSse2) use_sse2_kernels(k);
    if (isa >= VectorIsa::kAvx2) use_avx2_kernels(k);
#endif
  }
  if (plain_transforms) {
    k.forward_dct = fdct_float;
    k.inverse_dct = idct_chen_wang;
  }
  return k;
}

}  // namespace corvexa::mpeg::video
