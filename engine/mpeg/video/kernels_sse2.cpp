// SSE2 forms of the kernels. Each returns exactly what its plain form in
// kernels.cpp / fdct_fixed.cpp returns, including the partial sums of the
// early-terminating distances.
#if defined(__x86_64__)

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>

#include "mpeg/video/fdct_fixed.h"
#include "mpeg/video/frame_input.h"

#include "mpeg/video/kernels_impl.h"

namespace corvexa::mpeg::video {

namespace {

using u8 = std::uint8_t;

inline __m128i load16(const u8* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline int hsum64(__m128i v) {
  return _mm_cvtsi128_si32(_mm_add_epi32(v, _mm_unpackhi_epi64(v, v)));
}

inline int hsum32(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
  return _mm_cvtsi128_si32(v);
}

// 16 reference samples at half-pel offsets, as the plain interpolation.
template <int HX, int HY>
inline __m128i pred16(const u8* p, int stride) {
  if constexpr (!HX && !HY) {
    return load16(p);
  } else if constexpr (HX && !HY) {
    return _mm_avg_epu8(load16(p), load16(p + 1));
  } else if constexpr (!HX && HY) {
    return _mm_avg_epu8(load16(p), load16(p + stride));
  } else {
    const __m128i z = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    const __m128i a = load16(p), b = load16(p + 1), c = load16(p + stride),
                  d = load16(p + stride + 1);
    __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z)),
                               _mm_add_epi16(_mm_unpacklo_epi8(c, z), _mm_unpacklo_epi8(d, z)));
    __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z)),
                               _mm_add_epi16(_mm_unpackhi_epi8(c, z), _mm_unpackhi_epi8(d, z)));
    lo = _mm_srli_epi16(_mm_add_epi16(lo, two), 2);
    hi = _mm_srli_epi16(_mm_add_epi16(hi, two), 2);
    return _mm_packus_epi16(lo, hi);
  }
}

// Squared differences of 16 bytes, as four 32-bit partial sums.
inline __m128i sq16(__m128i a, __m128i b) {
  const __m128i z = _mm_setzero_si128();
  const __m128i dl = _mm_sub_epi16(_mm_unpacklo_epi8(a, z), _mm_unpacklo_epi8(b, z));
  const __m128i dh = _mm_sub_epi16(_mm_unpackhi_epi8(a, z), _mm_unpackhi_epi8(b, z));
  return _mm_add_epi32(_mm_madd_epi16(dl, dl), _mm_madd_epi16(dh, dh));
}

int sad16_full(const u8* ref, const u8* cur, int stride, int h, int limit) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < h; ++j) {
    acc = _mm_add_epi64(acc, _mm_sad_epu8(load16(ref), load16(cur)));
    const int s = hsum64(acc);
    if (s >= limit) return s;
    ref += stride;
    cur += stride;
  }
  return hsum64(acc);
}

template <int HX, int HY>
int sad16_half(const u8* ref, const u8* cur, int stride, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < h; ++j) {
    acc = _mm_add_epi64(acc, _mm_sad_epu8(pred16<HX, HY>(ref, stride), load16(cur)));
    ref += stride;
    cur += stride;
  }
  return hsum64(acc);
}

template <int HX, int HY>
int sse16_t(const u8* ref, const u8* cur, int stride, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < h; ++j) {
    acc = _mm_add_epi32(acc, sq16(pred16<HX, HY>(ref, stride), load16(cur)));
    ref += stride;
    cur += stride;
  }
  return hsum32(acc);
}

int sse16_sse2(const u8* ref, const u8* cur, int stride, int hx, int hy, int h) {
  if (!hx && !hy) return sse16_t<0, 0>(ref, cur, stride, h);
  if (hx && !hy) return sse16_t<1, 0>(ref, cur, stride, h);
  if (!hx) return sse16_t<0, 1>(ref, cur, stride, h);
  return sse16_t<1, 1>(ref, cur, stride, h);
}

inline __m128i pred16_any(const u8* p, int stride, int hx, int hy) {
  if (!hx && !hy) return pred16<0, 0>(p, stride);
  if (hx && !hy) return pred16<1, 0>(p, stride);
  if (!hx) return pred16<0, 1>(p, stride);
  return pred16<1, 1>(p, stride);
}

int sad16_bi_sse2(const u8* f, const u8* b, const u8* cur, int stride, int hxf, int hyf, int hxb,
                  int hyb, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < h; ++j) {
    const __m128i p = _mm_avg_epu8(pred16_any(f, stride, hxf, hyf), pred16_any(b, stride, hxb, hyb));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(p, load16(cur)));
    f += stride;
    b += stride;
    cur += stride;
  }
  return hsum64(acc);
}

int sse16_bi_sse2(const u8* f, const u8* b, const u8* cur, int stride, int hxf, int hyf, int hxb,
                  int hyb, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int j = 0; j < h; ++j) {
    const __m128i p = _mm_avg_epu8(pred16_any(f, stride, hxf, hyf), pred16_any(b, stride, hxb, hyb));
    acc = _mm_add_epi32(acc, sq16(p, load16(cur)));
    f += stride;
    b += stride;
    cur += stride;
  }
  return hsum32(acc);
}

unsigned variance16_sse2(const u8* p, int stride) {
  const __m128i z = _mm_setzero_si128();
  __m128i sum = z, sq = z;
  for (int j = 0; j < 16; ++j) {
    const __m128i v = load16(p);
    sum = _mm_add_epi64(sum, _mm_sad_epu8(v, z));
    const __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
    sq = _mm_add_epi32(sq, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
    p += stride;
  }
  const unsigned s = static_cast<unsigned>(hsum64(sum));
  const unsigned s2 = static_cast<unsigned>(hsum32(sq));
  return s2 - ((s * s) >> 8);
}

inline __m128i load4(const u8* p) {
  std::int32_t v;
  __builtin_memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

int sad4x4_sub_sse2(const u8* a, const u8* b, int stride, int limit) {
  // Two lines per register, one in each 64-bit half, so each line keeps its
  // own sum for the line-by-line stop.
  const __m128i a01 = _mm_unpacklo_epi64(load4(a), load4(a + stride));
  const __m128i b01 = _mm_unpacklo_epi64(load4(b), load4(b + stride));
  const __m128i a23 = _mm_unpacklo_epi64(load4(a + 2 * stride), load4(a + 3 * stride));
  const __m128i b23 = _mm_unpacklo_epi64(load4(b + 2 * stride), load4(b + 3 * stride));
  const __m128i s01 = _mm_sad_epu8(a01, b01), s23 = _mm_sad_epu8(a23, b23);
  const int r[4] = {_mm_cvtsi128_si32(s01), _mm_cvtsi128_si32(_mm_unpackhi_epi64(s01, s01)),
                    _mm_cvtsi128_si32(s23), _mm_cvtsi128_si32(_mm_unpackhi_epi64(s23, s23))};
  int s = 0;
  for (int j = 0; j < 4; ++j) {
    s += r[j];
    if (s >= limit) return s;
  }
  return s;
}

}  // namespace

// Four positions at a time, each with its own sum; the current block's line
// is loaded once for all four.
void sad16_row_sse2(const u8* ref, const u8* cur, int stride, int h, int n, int* out) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
    const u8* r = ref + i;
    const u8* c = cur;
    for (int j = 0; j < h; ++j, r += stride, c += stride) {
      const __m128i cv = load16(c);
      a0 = _mm_add_epi64(a0, _mm_sad_epu8(load16(r), cv));
      a1 = _mm_add_epi64(a1, _mm_sad_epu8(load16(r + 1), cv));
      a2 = _mm_add_epi64(a2, _mm_sad_epu8(load16(r + 2), cv));
      a3 = _mm_add_epi64(a3, _mm_sad_epu8(load16(r + 3), cv));
    }
    out[i] = hsum64(a0);
    out[i + 1] = hsum64(a1);
    out[i + 2] = hsum64(a2);
    out[i + 3] = hsum64(a3);
  }
  for (; i < n; ++i) {
    __m128i a = _mm_setzero_si128();
    const u8* r = ref + i;
    const u8* c = cur;
    for (int j = 0; j < h; ++j, r += stride, c += stride)
      a = _mm_add_epi64(a, _mm_sad_epu8(load16(r), load16(c)));
    out[i] = hsum64(a);
  }
}

// The four lines of a 4 x 4 block side by side in one register.
static inline __m128i block4x4(const u8* p, int stride) {
  return _mm_unpacklo_epi64(_mm_unpacklo_epi32(load4(p), load4(p + stride)),
                            _mm_unpacklo_epi32(load4(p + 2 * stride), load4(p + 3 * stride)));
}

void sad4x4_row_sse2(const u8* ref, const u8* cur, int stride, int n, int* out) {
  const __m128i c = block4x4(cur, stride);
  for (int i = 0; i < n; ++i) out[i] = hsum64(_mm_sad_epu8(block4x4(ref + i, stride), c));
}

namespace {

inline __m128i load8(const void* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

void subtract_sse2(const u8* src, const u8* pred, int stride, std::int16_t* block) {
  const __m128i z = _mm_setzero_si128();
  for (int j = 0; j < 8; ++j) {
    const __m128i d = _mm_sub_epi16(_mm_unpacklo_epi8(load8(src), z), _mm_unpacklo_epi8(load8(pred), z));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * j), d);
    src += stride;
    pred += stride;
  }
}

void add_sse2(const std::int16_t* block, const u8* pred, int stride, u8* out) {
  const __m128i z = _mm_setzero_si128();
  for (int j = 0; j < 8; ++j) {
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * j));
    // Saturating add then pack: the same clip as the plain sum for every input.
    const __m128i v = _mm_adds_epi16(_mm_unpacklo_epi8(load8(pred), z), e);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
    pred += stride;
    out += stride;
  }
}

// 8x8 transpose of 16-bit lanes.

// Forward DCT: the fixed-point algorithm of fdct_fixed.cpp. The column pass
// runs with lanes = columns, so its output registers are already the rows
// that the row pass multiplies by its Q16 table.
}  // namespace

// The column pass of the fixed-point forward DCT; `t` takes its rows.
void fdct_columns_sse2(const std::int16_t* block, std::int16_t* t) {
  const __m128i tan1 = _mm_set1_epi16(13036), tan2 = _mm_set1_epi16(27146),
                tan3m1 = _mm_set1_epi16(-21746), cos4 = _mm_set1_epi16(23170);
  __m128i x[8];
  for (int n = 0; n < 8; ++n) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * n));
    v = _mm_adds_epi16(v, v);  // x 8, saturating as the plain form does
    v = _mm_adds_epi16(v, v);
    x[n] = _mm_adds_epi16(v, v);
  }
  const __m128i t0 = _mm_adds_epi16(x[0], x[7]), t7 = _mm_subs_epi16(x[0], x[7]);
  const __m128i t1 = _mm_adds_epi16(x[1], x[6]), t6 = _mm_subs_epi16(x[1], x[6]);
  const __m128i t2 = _mm_adds_epi16(x[2], x[5]), t5 = _mm_subs_epi16(x[2], x[5]);
  const __m128i t3 = _mm_adds_epi16(x[3], x[4]), t4 = _mm_subs_epi16(x[3], x[4]);
  const __m128i tp03 = _mm_adds_epi16(t0, t3), tm03 = _mm_subs_epi16(t0, t3);
  const __m128i tp12 = _mm_adds_epi16(t1, t2), tm12 = _mm_subs_epi16(t1, t2);
  __m128i y[8];
  y[0] = _mm_adds_epi16(tp03, tp12);
  y[4] = _mm_subs_epi16(tp03, tp12);
  y[2] = _mm_adds_epi16(tm03, _mm_mulhi_epi16(tm12, tan2));
  y[6] = _mm_subs_epi16(_mm_mulhi_epi16(tm03, tan2), tm12);
  const __m128i s65 = _mm_adds_epi16(t6, t5), d65 = _mm_subs_epi16(t6, t5);
  const __m128i tp65 = _mm_mulhi_epi16(_mm_adds_epi16(s65, s65), cos4);
  const __m128i tm65 = _mm_mulhi_epi16(_mm_adds_epi16(d65, d65), cos4);
  const __m128i tp765 = _mm_adds_epi16(t7, tp65), tm765 = _mm_subs_epi16(t7, tp65);
  const __m128i tp465 = _mm_adds_epi16(t4, tm65), tm465 = _mm_subs_epi16(t4, tm65);
  y[1] = _mm_adds_epi16(tp765, _mm_mulhi_epi16(tp465, tan1));
  y[7] = _mm_subs_epi16(_mm_mulhi_epi16(tp765, tan1), tp465);
  y[3] = _mm_subs_epi16(tm765, _mm_adds_epi16(tm465, _mm_mulhi_epi16(tm465, tan3m1)));
  y[5] = _mm_adds_epi16(_mm_adds_epi16(tm765, _mm_mulhi_epi16(tm765, tan3m1)), tm465);
  for (int u = 0; u < 8; ++u) _mm_storeu_si128(reinterpret_cast<__m128i*>(t + 8 * u), y[u]);
}

namespace {

void fdct_sse2(std::int16_t* block) {
  alignas(16) std::int16_t t[64];
  fdct_columns_sse2(block, t);
  __m128i y[8];
  for (int u = 0; u < 8; ++u) y[u] = _mm_load_si128(reinterpret_cast<const __m128i*>(t + 8 * u));

  static constexpr int kRowClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};
  const std::int16_t(*table)[8][8] = fdct_fixed_row_table();
  const __m128i round = _mm_set1_epi32(1 << 18);
  for (int u = 0; u < 8; ++u) {
    const std::int16_t(*m)[8] = table[kRowClass[u]];
    __m128i p[8];
    for (int v = 0; v < 8; ++v)
      p[v] = _mm_madd_epi16(y[u], _mm_loadu_si128(reinterpret_cast<const __m128i*>(m[v])));
    // Lane sums of four registers into one: [sum p0, sum p1, sum p2, sum p3].
    auto sums = [](__m128i a, __m128i b, __m128i c, __m128i d) {
      const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
      const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
      return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
    };
    const __m128i lo = _mm_srai_epi32(_mm_add_epi32(sums(p[0], p[1], p[2], p[3]), round), 19);
    const __m128i hi = _mm_srai_epi32(_mm_add_epi32(sums(p[4], p[5], p[6], p[7]), round), 19);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * u), _mm_packs_epi32(lo, hi));
  }
}

// Inverse DCT: the integer algorithm with 32-bit lanes; the products come
// from madd on (a, b) pairs, which is exact for 16-bit inputs.
inline __m128i pair(__m128i a, __m128i b, bool high) {
  return high ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
}
inline __m128i coef(int a, int b) {
  return _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) |
                                         (static_cast<std::uint32_t>(a) & 0xFFFF)));
}
inline __m128i widen(__m128i v, bool high) {
  const __m128i w = high ? _mm_unpackhi_epi16(v, v) : _mm_unpacklo_epi16(v, v);
  return _mm_srai_epi32(w, 16);
}
inline __m128i mul181(__m128i v) {
  // 181 = 128 + 32 + 16 + 4 + 1
  return _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(v, 7), _mm_slli_epi32(v, 5)),
                       _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(v, 4), _mm_slli_epi32(v, 2)), v));
}
// (181 * v + 128) >> 8 as the plain form splits it: 181 * (v >> 8) plus the
// rounded product of the low byte, so no lane overflows.
inline __m128i mul181_round(__m128i v) {
  const __m128i high = mul181(_mm_srai_epi32(v, 8));
  const __m128i low = mul181(_mm_and_si128(v, _mm_set1_epi32(255)));
  return _mm_add_epi32(high, _mm_srai_epi32(_mm_add_epi32(low, _mm_set1_epi32(128)), 8));
}
inline __m128i narrow_wrap(__m128i lo, __m128i hi) {
  lo = _mm_srai_epi32(_mm_slli_epi32(lo, 16), 16);
  hi = _mm_srai_epi32(_mm_slli_epi32(hi, 16), 16);
  return _mm_packs_epi32(lo, hi);
}

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

// Row pass (c[k]: coefficient k, lanes = rows) or column pass (c[k]: row k,
// lanes = columns); `out` receives eight 16-bit registers.
template <bool Column>
inline void idct_pass(const __m128i* c, __m128i* out) {
  __m128i res[2][8];
  for (int half = 0; half < 2; ++half) {
    const bool high = half == 1;
    const __m128i p17 = pair(c[1], c[7], high), p53 = pair(c[5], c[3], high),
                  p26 = pair(c[2], c[6], high);
    __m128i x4 = _mm_madd_epi16(p17, coef(W1, W7));
    __m128i x5 = _mm_madd_epi16(p17, coef(W7, -W1));
    __m128i x6 = _mm_madd_epi16(p53, coef(W5, W3));
    __m128i x7 = _mm_madd_epi16(p53, coef(W3, -W5));
    __m128i x2 = _mm_madd_epi16(p26, coef(W6, -W2));
    __m128i x3 = _mm_madd_epi16(p26, coef(W2, W6));
    __m128i x0, x1;
    if constexpr (Column) {
      const __m128i four = _mm_set1_epi32(4);
      x4 = _mm_srai_epi32(_mm_add_epi32(x4, four), 3);
      x5 = _mm_srai_epi32(_mm_add_epi32(x5, four), 3);
      x6 = _mm_srai_epi32(_mm_add_epi32(x6, four), 3);
      x7 = _mm_srai_epi32(_mm_add_epi32(x7, four), 3);
      x2 = _mm_srai_epi32(_mm_add_epi32(x2, four), 3);
      x3 = _mm_srai_epi32(_mm_add_epi32(x3, four), 3);
      x1 = _mm_slli_epi32(widen(c[4], high), 8);
      x0 = _mm_add_epi32(_mm_slli_epi32(widen(c[0], high), 8), _mm_set1_epi32(8192));
    } else {
      x1 = _mm_slli_epi32(widen(c[4], high), 11);
      x0 = _mm_add_epi32(_mm_slli_epi32(widen(c[0], high), 11), _mm_set1_epi32(128));
    }
    __m128i x8 = _mm_add_epi32(x0, x1);
    x0 = _mm_sub_epi32(x0, x1);
    x1 = _mm_add_epi32(x4, x6);
    x4 = _mm_sub_epi32(x4, x6);
    x6 = _mm_add_epi32(x5, x7);
    x5 = _mm_sub_epi32(x5, x7);
    x7 = _mm_add_epi32(x8, x3);
    x8 = _mm_sub_epi32(x8, x3);
    x3 = _mm_add_epi32(x0, x2);
    x0 = _mm_sub_epi32(x0, x2);
    x2 = mul181_round(_mm_add_epi32(x4, x5));
    x4 = mul181_round(_mm_sub_epi32(x4, x5));
    const __m128i o[8] = {_mm_add_epi32(x7, x1), _mm_add_epi32(x3, x2), _mm_add_epi32(x0, x4),
                          _mm_add_epi32(x8, x6), _mm_sub_epi32(x8, x6), _mm_sub_epi32(x0, x4),
                          _mm_sub_epi32(x3, x2), _mm_sub_epi32(x7, x1)};
    for (int k = 0; k < 8; ++k) res[half][k] = _mm_srai_epi32(o[k], Column ? 14 : 8);
  }
  if constexpr (Column) {
    const __m128i lo = _mm_set1_epi16(-256), hi = _mm_set1_epi16(255);
    for (int k = 0; k < 8; ++k)
      out[k] = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(res[0][k], res[1][k]), lo), hi);
  } else {
    for (int k = 0; k < 8; ++k) out[k] = narrow_wrap(res[0][k], res[1][k]);
  }
}

void idct_sse2(std::int16_t* block) {
  __m128i r[8];
  for (int n = 0; n < 8; ++n) r[n] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * n));
  transpose8_epi16(r);  // r[k]: coefficient k of every row
  __m128i o[8];
  idct_pass<false>(r, o);
  transpose8_epi16(o);  // o[k]: row k
  idct_pass<true>(o, r);
  for (int n = 0; n < 8; ++n) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * n), r[n]);
}

bool quantise_fast_sse2(const std::int16_t* in, std::int16_t* out, const std::uint16_t* matrix,
                        const std::uint16_t* reciprocal, int mquant, int limit, bool* nonzero) {
  if (mquant < 2) return false;
  const __m128i rq = _mm_set1_epi16(static_cast<short>(65536u / static_cast<unsigned>(mquant)));
  const __m128i lim = _mm_set1_epi16(static_cast<short>(limit)), z = _mm_setzero_si128();
  __m128i y[8];
  __m128i big = z, over = z, any = z;
  for (int i = 0; i < 8; ++i) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * i));
    const __m128i sign = _mm_srai_epi16(x, 15);
    const __m128i a = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);  // |x| as unsigned 16 bits
    big = _mm_or_si128(big, _mm_srli_epi16(a, 10));                // |x| > 1023
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(matrix + 8 * i));
    const __m128i t = _mm_add_epi16(_mm_slli_epi16(a, 5), _mm_srli_epi16(w, 1));
    const __m128i g = _mm_mulhi_epu16(
        t, _mm_loadu_si128(reinterpret_cast<const __m128i*>(reciprocal + 8 * i)));
    const __m128i v = _mm_srli_epi16(_mm_mulhi_epu16(g, rq), 1);
    over = _mm_or_si128(over, _mm_cmpgt_epi16(v, lim));
    any = _mm_or_si128(any, v);
    y[i] = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
  }
  if (_mm_movemask_epi8(over) || _mm_movemask_epi8(_mm_cmpeq_epi16(big, z)) != 0xFFFF)
    return false;
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * i), y[i]);
  *nonzero = _mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF;
  return true;
}

// Colour conversion, four pixels a step.
inline __m128i mul219(__m128i s) {
  return _mm_sub_epi32(_mm_sub_epi32(_mm_slli_epi32(s, 8), _mm_slli_epi32(s, 5)),
                       _mm_add_epi32(_mm_slli_epi32(s, 2), s));
}
inline __m128i mul224(__m128i s) { return _mm_sub_epi32(_mm_slli_epi32(s, 8), _mm_slli_epi32(s, 5)); }

// Weighted sums of four pixels (lo/hi: pixels 0-1 and 2-3 widened to 16 bits).
inline __m128i weigh(__m128i lo, __m128i hi, __m128i w) {
  const __m128i a = _mm_madd_epi16(lo, w), b = _mm_madd_epi16(hi, w);
  // a = [p0 bg, p0 r, p1 bg, p1 r]; add the two halves of every pixel.
  const __m128i even = _mm_castps_si128(
      _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i odd = _mm_castps_si128(
      _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_add_epi32(even, odd);
}

inline std::uint32_t bytes4(__m128i v) {
  // Low byte of each 32-bit lane, as the plain cast keeps it.
  v = _mm_and_si128(v, _mm_set1_epi32(0xFF));
  v = _mm_packs_epi32(v, v);
  v = _mm_packus_epi16(v, v);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

}  // namespace

void rgb_row_sse2(const u8* src, int width, const int* q, u8* yo, u8* bo, u8* ro) {
  auto weights = [](const int* t) {
    // Byte order B, G, R, x -> 16-bit pairs (B, G) and (R, 0).
    return _mm_setr_epi16(static_cast<short>(t[2]), static_cast<short>(t[1]),
                          static_cast<short>(t[0]), 0, static_cast<short>(t[2]),
                          static_cast<short>(t[1]), static_cast<short>(t[0]), 0);
  };
  const __m128i wy = weights(q), wb = weights(q + 3), wr = weights(q + 6);
  const __m128i oy = _mm_set1_epi32(540672), oc = _mm_set1_epi32(4210688);
  const __m128i z = _mm_setzero_si128();
  int x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i px = load16(src + 4 * x);
    const __m128i lo = _mm_unpacklo_epi8(px, z), hi = _mm_unpackhi_epi8(px, z);
    const __m128i sy = weigh(lo, hi, wy), su = weigh(lo, hi, wb), sv = weigh(lo, hi, wr);
    const std::uint32_t y4 = bytes4(_mm_srai_epi32(_mm_add_epi32(_mm_srai_epi32(mul219(sy), 8), oy), 15));
    const std::uint32_t u4 = bytes4(_mm_srai_epi32(_mm_add_epi32(_mm_srai_epi32(mul224(su), 8), oc), 15));
    const std::uint32_t v4 = bytes4(_mm_srai_epi32(_mm_add_epi32(_mm_srai_epi32(mul224(sv), 8), oc), 15));
    __builtin_memcpy(yo + x, &y4, 4);
    __builtin_memcpy(bo + x, &u4, 4);
    __builtin_memcpy(ro + x, &v4, 4);
  }
  for (; x < width; ++x) {
    const int b = src[4 * x], g = src[4 * x + 1], r = src[4 * x + 2];
    const int sy = q[0] * r + q[1] * g + q[2] * b;
    const int su = q[3] * r + q[4] * g + q[5] * b;
    const int sv = q[6] * r + q[7] * g + q[8] * b;
    yo[x] = static_cast<u8>((((sy * 219) >> 8) + 540672) >> 15);
    bo[x] = static_cast<u8>((((su * 224) >> 8) + 4210688) >> 15);
    ro[x] = static_cast<u8>((((sv * 224) >> 8) + 4210688) >> 15);
  }
}

namespace {

// Chroma filters. Both end as clamp((v + 256) >> 9, 0, 255), which is what
// the clip table gives; the saturating packs do the clamp.
inline __m128i round_pack(__m128i lo, __m128i hi) {
  const __m128i r = _mm_set1_epi32(256);
  lo = _mm_srai_epi32(_mm_add_epi32(lo, r), 9);
  hi = _mm_srai_epi32(_mm_add_epi32(hi, r), 9);
  const __m128i w = _mm_packs_epi32(lo, hi);
  return _mm_packus_epi16(w, w);
}

inline int clip_out(int v) {
  v = (v + 256) >> 9;
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

inline __m128i taps2(int a, int b) {
  return _mm_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) |
                                         (static_cast<std::uint32_t>(a) & 0xFFFF)));
}

// One output line from twelve source lines and their taps.
void filter_line12(const u8* const* rows, const int* taps, int width, u8* out) {
  const __m128i z = _mm_setzero_si128();
  __m128i t[6];
  for (int p = 0; p < 6; ++p) t[p] = taps2(taps[2 * p], taps[2 * p + 1]);
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    __m128i lo = z, hi = z;
    for (int p = 0; p < 6; ++p) {
      const __m128i a = _mm_unpacklo_epi8(load8(rows[2 * p] + x), z);
      const __m128i b = _mm_unpacklo_epi8(load8(rows[2 * p + 1] + x), z);
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), t[p]));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), t[p]));
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), round_pack(lo, hi));
  }
  for (; x < width; ++x) {
    int v = 0;
    for (int k = 0; k < 12; ++k) v += taps[k] * rows[k][x];
    out[x] = static_cast<u8>(clip_out(v));
  }
}

inline int clamp_row(int r, int lo, int hi) { return r < lo ? lo : (r > hi ? hi : r); }

void filter_vertical_sse2(const u8* src, u8* dst, int width, int height, bool progressive) {
  if (height < 2) {
    filter_vertical(src, dst, width, height, progressive);
    return;
  }
  const u8* rows[12];
  auto line = [&](int r) { return src + static_cast<std::size_t>(clamp_row(r, 0, height - 1)) * width; };
  auto put = [&](int r, const int* taps) {
    if (r < height / 2) filter_line12(rows, taps, width, dst + static_cast<std::size_t>(r) * width);
  };
  if (progressive) {
    static const int kTaps[12] = {5, 11, -21, -37, 70, 228, 228, 70, -37, -21, 11, 5};
    for (int j = 0; j < height; j += 2) {
      for (int k = 0; k < 12; ++k) rows[k] = line(j - 5 + k);
      put(j / 2, kTaps);
    }
    return;
  }
  static const int kField[12] = {8, 5, -30, -18, 113, 242, 192, 35, -38, -10, 11, 2};
  const int last_even = (height - 1) & ~1;
  const int last_odd = std::min((height - 1) | 1, height - 1);
  for (int j = 0; j < height; j += 4) {
    for (int k = 0; k < 12; ++k) rows[k] = line(clamp_row(j - 10 + 2 * k, 0, last_even));
    put(j / 2, kField);
    for (int k = 0; k < 12; ++k) rows[k] = line(clamp_row(j + 13 - 2 * k, 1, last_odd));
    put(j / 2 + 1, kField);
  }
}

void filter_horizontal_sse2(const u8* src, u8* dst, int width, int height, bool mpeg1) {
  // Even and odd samples of a line apart, with four clamped samples of
  // margin on each side, so the taps become unaligned loads.
  constexpr int kMax = 4096, kPad = 4;
  if (width > 2 * kMax || width < 2 || (width & 1)) {
    filter_horizontal(src, dst, width, height, mpeg1);
    return;
  }
  alignas(16) std::int16_t even[kMax + 2 * kPad + 8], odd[kMax + 2 * kPad + 8];
  const int half = width / 2;
  const __m128i c1 = mpeg1 ? taps2(228, 70) : taps2(159, -52);
  const __m128i c2 = mpeg1 ? taps2(-37, -21) : taps2(22, 256);
  const __m128i c3 = taps2(11, 5);
  for (int row = 0; row < height; ++row) {
    const u8* x = src + static_cast<std::size_t>(row) * width;
    u8* out = dst + static_cast<std::size_t>(row) * half;
    // Inside the line a 16-byte load splits into eight even and eight odd
    // samples as words; only the margins are clamped.
    int m = 0;
    const __m128i low_bytes = _mm_set1_epi16(0xFF);
    for (; m + 8 <= half; m += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 2 * m));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(even + kPad + m), _mm_and_si128(v, low_bytes));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(odd + kPad + m), _mm_srli_epi16(v, 8));
    }
    for (; m < half + kPad; ++m) {
      even[m + kPad] = x[clamp_row(2 * m, 0, width - 1)];
      odd[m + kPad] = x[clamp_row(2 * m + 1, 0, width - 1)];
    }
    for (m = -kPad; m < 0; ++m) {
      even[m + kPad] = x[0];
      odd[m + kPad] = x[0];
    }
    const std::int16_t* e = even + kPad;
    const std::int16_t* o = odd + kPad;
    auto at = [](const std::int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    for (m = 0; m + 8 <= half; m += 8) {
      __m128i lo, hi;
      if (mpeg1) {
        const __m128i s1 = _mm_add_epi16(at(e + m), at(o + m));
        const __m128i s2 = _mm_add_epi16(at(o + m - 1), at(e + m + 1));
        const __m128i s3 = _mm_add_epi16(at(e + m - 1), at(o + m + 1));
        const __m128i s4 = _mm_add_epi16(at(o + m - 2), at(e + m + 2));
        const __m128i s5 = _mm_add_epi16(at(e + m - 2), at(o + m + 2));
        const __m128i s6 = _mm_add_epi16(at(o + m - 3), at(e + m + 3));
        lo = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(s1, s2), c1),
                                         _mm_madd_epi16(_mm_unpacklo_epi16(s3, s4), c2)),
                           _mm_madd_epi16(_mm_unpacklo_epi16(s5, s6), c3));
        hi = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(s1, s2), c1),
                                         _mm_madd_epi16(_mm_unpackhi_epi16(s3, s4), c2)),
                           _mm_madd_epi16(_mm_unpackhi_epi16(s5, s6), c3));
      } else {
        const __m128i s1 = _mm_add_epi16(at(o + m - 1), at(o + m));
        const __m128i s2 = _mm_add_epi16(at(o + m - 2), at(o + m + 1));
        const __m128i s3 = _mm_add_epi16(at(o + m - 3), at(o + m + 2));
        const __m128i c = at(e + m);
        lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(s1, s2), c1),
                           _mm_madd_epi16(_mm_unpacklo_epi16(s3, c), c2));
        hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(s1, s2), c1),
                           _mm_madd_epi16(_mm_unpackhi_epi16(s3, c), c2));
      }
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + m), round_pack(lo, hi));
    }
    for (; m < half; ++m) {
      const int v = mpeg1 ? 228 * (e[m] + o[m]) + 70 * (o[m - 1] + e[m + 1]) -
                                37 * (e[m - 1] + o[m + 1]) - 21 * (o[m - 2] + e[m + 2]) +
                                11 * (e[m - 2] + o[m + 2]) + 5 * (o[m - 3] + e[m + 3])
                          : 22 * (o[m - 3] + o[m + 2]) - 52 * (o[m - 2] + o[m + 1]) +
                                159 * (o[m - 1] + o[m]) + 256 * e[m];
      out[m] = static_cast<u8>(clip_out(v));
    }
  }
}

// 8 reference samples at half-pel offsets in the low half, as pred16.
template <int HX, int HY>
inline __m128i pred8(const u8* p, int stride) {
  const auto load8 = [](const u8* q) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q));
  };
  if constexpr (!HX && !HY) {
    return load8(p);
  } else if constexpr (HX && !HY) {
    return _mm_avg_epu8(load8(p), load8(p + 1));
  } else if constexpr (!HX && HY) {
    return _mm_avg_epu8(load8(p), load8(p + stride));
  } else {
    const __m128i z = _mm_setzero_si128();
    __m128i s = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(load8(p), z),
                                            _mm_unpacklo_epi8(load8(p + 1), z)),
                              _mm_add_epi16(_mm_unpacklo_epi8(load8(p + stride), z),
                                            _mm_unpacklo_epi8(load8(p + stride + 1), z)));
    s = _mm_srli_epi16(_mm_add_epi16(s, _mm_set1_epi16(2)), 2);
    return _mm_packus_epi16(s, s);
  }
}

template <int HX, int HY>
void pred_block_sse2(const u8* s, u8* d, int lx, int w, int h, bool average) {
  if (w == 16) {
    for (int j = 0; j < h; ++j, s += lx, d += lx) {
      __m128i v = pred16<HX, HY>(s, lx);
      if (average) v = _mm_avg_epu8(load16(d), v);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
    }
  } else {
    for (int j = 0; j < h; ++j, s += lx, d += lx) {
      __m128i v = pred8<HX, HY>(s, lx);
      if (average) v = _mm_avg_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(d)), v);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d), v);
    }
  }
}

void pred_comp_sse2(const u8* src, u8* dst, int lx, int w, int h, int x, int y, int dx, int dy,
                    bool average) {
  if (w != 16 && w != 8) {
    pred_comp_plain(src, dst, lx, w, h, x, y, dx, dy, average);
    return;
  }
  const u8* s = src + lx * (y + (dy >> 1)) + x + (dx >> 1);
  u8* d = dst + lx * y + x;
  switch ((dx & 1) | (dy & 1) << 1) {
    case 0: pred_block_sse2<0, 0>(s, d, lx, w, h, average); break;
    case 1: pred_block_sse2<1, 0>(s, d, lx, w, h, average); break;
    case 2: pred_block_sse2<0, 1>(s, d, lx, w, h, average); break;
    default: pred_block_sse2<1, 1>(s, d, lx, w, h, average); break;
  }
}

// matrix[k] * mquant as 16-bit lanes (at most 255 * 112).
inline void scale_matrix(const int* matrix, int mquant, __m128i* m) {
  const __m128i q = _mm_set1_epi16(static_cast<short>(mquant));
  for (int r = 0; r < 8; ++r) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(matrix + 8 * r));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(matrix + 8 * r + 4));
    m[r] = _mm_mullo_epi16(_mm_packs_epi32(a, b), q);
  }
}

// Signed 32-bit division by 2^S rounding toward zero, as C's '/'.
template <int S>
inline __m128i div_pow2(__m128i v) {
  const __m128i bias = _mm_and_si128(_mm_srai_epi32(v, 31), _mm_set1_epi32((1 << S) - 1));
  return _mm_srai_epi32(_mm_add_epi32(v, bias), S);
}

// To 16 bits, MPEG-1 oddification (even non-zero values one step towards
// zero), then the clamp to [-2048, 2047]. Packing saturates first, which
// leaves the clamped result unchanged.
inline __m128i finish8(__m128i lo, __m128i hi, bool mpeg1) {
  __m128i v = _mm_packs_epi32(lo, hi);
  if (mpeg1) {
    const __m128i one = _mm_set1_epi16(1), z = _mm_setzero_si128();
    const __m128i odd_or_zero =
        _mm_or_si128(_mm_cmpeq_epi16(_mm_and_si128(v, one), one), _mm_cmpeq_epi16(v, z));
    const __m128i sgn = _mm_or_si128(_mm_srai_epi16(v, 15), one);
    v = _mm_sub_epi16(v, _mm_andnot_si128(odd_or_zero, sgn));
  }
  return _mm_max_epi16(_mm_min_epi16(v, _mm_set1_epi16(2047)), _mm_set1_epi16(-2048));
}

// MPEG-2 mismatch control: the sum's parity is the xor of the low bits.
inline void mismatch_sse2(std::int16_t* out, __m128i parity) {
  parity = _mm_xor_si128(parity, _mm_shuffle_epi32(parity, 0x4E));
  parity = _mm_xor_si128(parity, _mm_shuffle_epi32(parity, 0xB1));
  parity = _mm_xor_si128(parity, _mm_srli_epi32(parity, 16));
  if ((_mm_cvtsi128_si32(parity) & 1) == 0) out[63] = static_cast<std::int16_t>(out[63] ^ 1);
}

// Non-zero mask: each pair of lines compared with 0 and packed to bytes.
std::uint64_t nonzero_mask_sse2(const std::int16_t* block) {
  const __m128i z = _mm_setzero_si128();
  std::uint64_t zero = 0;
  for (int r = 0; r < 4; ++r) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * r));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * r + 8));
    const __m128i e = _mm_packs_epi16(_mm_cmpeq_epi16(a, z), _mm_cmpeq_epi16(b, z));
    zero |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(e))) << (16 * r);
  }
  return ~zero;
}

// Intra quantiser: both divisions in single precision. The dividends stay
// below 2^21 and the divisors within 1..255 and 2..224, where the float
// quotient truncates to the integer quotient exactly.
bool quantise_intra_sse2(const std::int16_t* in, std::int16_t* out, int dc_precision,
                         const int* matrix, int mquant, bool mpeg1) {
  const int b = 8 >> dc_precision;
  const int x0 = in[0];
  const std::int16_t dc = static_cast<std::int16_t>(x0 >= 0 ? (x0 + b / 2) / b : -((b / 2 - x0) / b));
  const __m128 step = _mm_set1_ps(static_cast<float>(2 * mquant));
  const __m128i bias = _mm_set1_epi32((3 * mquant + 2) >> 2);
  const __m128i cap = _mm_set1_epi32(mpeg1 ? 255 : 2047), flag = _mm_set1_epi32(255);
  __m128i over = _mm_setzero_si128();
  __m128i counted = _mm_setr_epi32(0, -1, -1, -1);  // the DC term is no level
  for (int i = 0; i < 64; i += 4) {
    const __m128i x16 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
    const __m128i x = _mm_srai_epi32(_mm_unpacklo_epi16(x16, x16), 16);
    const __m128i sign = _mm_srai_epi32(x, 31);
    const __m128i a = _mm_sub_epi32(_mm_xor_si128(x, sign), sign);
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(matrix + i));
    const __m128i num = _mm_add_epi32(_mm_slli_epi32(a, 5), _mm_srai_epi32(w, 1));
    const __m128i y1 = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(num), _mm_cvtepi32_ps(w)));
    __m128i y = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(_mm_add_epi32(y1, bias)), step));
    over = _mm_or_si128(over, _mm_and_si128(counted, _mm_cmpgt_epi32(y, flag)));
    counted = _mm_set1_epi32(-1);
    const __m128i big = _mm_cmpgt_epi32(y, cap);
    y = _mm_or_si128(_mm_andnot_si128(big, y), _mm_and_si128(big, cap));
    y = _mm_sub_epi32(_mm_xor_si128(y, sign), sign);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(y, y));
  }
  out[0] = dc;
  return _mm_movemask_epi8(over) == 0;
}

void dequantise_intra_sse2(const std::int16_t* in, std::int16_t* out, int dc_precision,
                           const int* matrix, int mquant, bool mpeg1) {
  __m128i m[8];
  scale_matrix(matrix, mquant, m);
  const int dc = std::clamp(in[0] << (3 - dc_precision), -2048, 2047);
  __m128i parity = _mm_setzero_si128();
  for (int r = 0; r < 8; ++r) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r));
    const __m128i lo = _mm_mullo_epi16(x, m[r]), hi = _mm_mulhi_epi16(x, m[r]);
    __m128i v = finish8(div_pow2<4>(_mm_unpacklo_epi16(lo, hi)),
                        div_pow2<4>(_mm_unpackhi_epi16(lo, hi)), mpeg1);
    if (r == 0) v = _mm_insert_epi16(v, dc, 0);
    parity = _mm_xor_si128(parity, v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * r), v);
  }
  if (!mpeg1) mismatch_sse2(out, parity);
}

void dequantise_non_intra_sse2(const std::int16_t* in, std::int16_t* out, const int* matrix,
                               int mquant, bool mpeg1) {
  __m128i m[8];
  scale_matrix(matrix, mquant, m);
  const __m128i z = _mm_setzero_si128();
  __m128i parity = z;
  for (int r = 0; r < 8; ++r) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r));
    // (2x + sign(x)) * m = 2 * x * m + sign(x) * m; zero where x is zero.
    const __m128i lo = _mm_mullo_epi16(x, m[r]), hi = _mm_mulhi_epi16(x, m[r]);
    const __m128i sm = _mm_sub_epi16(_mm_and_si128(_mm_cmpgt_epi16(x, z), m[r]),
                                     _mm_and_si128(_mm_cmpgt_epi16(z, x), m[r]));
    const __m128i sm_ext = _mm_srai_epi16(sm, 15);
    const __m128i p_lo = _mm_add_epi32(_mm_slli_epi32(_mm_unpacklo_epi16(lo, hi), 1),
                                       _mm_unpacklo_epi16(sm, sm_ext));
    const __m128i p_hi = _mm_add_epi32(_mm_slli_epi32(_mm_unpackhi_epi16(lo, hi), 1),
                                       _mm_unpackhi_epi16(sm, sm_ext));
    const __m128i v = finish8(div_pow2<5>(p_lo), div_pow2<5>(p_hi), mpeg1);
    parity = _mm_xor_si128(parity, v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * r), v);
  }
  if (!mpeg1) mismatch_sse2(out, parity);
}

}  // namespace

int sad16_sse2(const u8* ref, const u8* cur, int stride, int hx, int hy, int h, int limit) {
  if (!hx && !hy) return sad16_full(ref, cur, stride, h, limit);
  if (hx && !hy) return sad16_half<1, 0>(ref, cur, stride, h);
  if (!hx) return sad16_half<0, 1>(ref, cur, stride, h);
  return sad16_half<1, 1>(ref, cur, stride, h);
}

void use_sse2_kernels(KernelTable& k) {
  k.sad16 = sad16_sse2;
  k.sse16 = sse16_sse2;
  k.sad16_bi = sad16_bi_sse2;
  k.sse16_bi = sse16_bi_sse2;
  k.variance16 = variance16_sse2;
  k.sad4x4_sub = sad4x4_sub_sse2;
  k.sad16_row = sad16_row_sse2;
  k.sad4x4_row = sad4x4_row_sse2;
  k.forward_dct = fdct_sse2;
  k.inverse_dct = idct_sse2;
  k.subtract_prediction = subtract_sse2;
  k.add_prediction = add_sse2;
  k.quantise_non_intra_fast = quantise_fast_sse2;
  k.rgb_to_ycc = rgb_row_sse2;
  k.chroma_filter_h = filter_horizontal_sse2;
  k.chroma_filter_v = filter_vertical_sse2;
  k.pred_comp = pred_comp_sse2;
  k.dequantise_intra = dequantise_intra_sse2;
  k.quantise_intra = quantise_intra_sse2;
  k.nonzero_mask = nonzero_mask_sse2;
  k.dequantise_non_intra = dequantise_non_intra_sse2;
}

}  // namespace corvexa::mpeg::video

#endif
