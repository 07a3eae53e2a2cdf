// AVX2 forms of the interpolating distances: a line of 16 samples is held as
// 16-bit lanes, so the half-pel averages need no unpacking; two-way half-pel
// distances stay in bytes, where PAVGB rounds as the plain form does. The row
// distances of the full-pel searches use MPSADBW (SSE4.1, present on every
// AVX2 processor). The early-terminating full-pel sad16 stays with SSE2,
// which already stops a line at a time.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "mpeg/video/fdct_fixed.h"
#include "mpeg/video/kernels_impl.h"

#define KAVROL_AVX2 __attribute__((target("avx2")))

namespace corvexa::mpeg::video {

namespace {

using u8 = std::uint8_t;

KAVROL_AVX2 inline __m256i wide16(const u8* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

template <int HX, int HY>
KAVROL_AVX2 inline __m256i pred16(const u8* p, int stride) {
  if constexpr (!HX && !HY) {
    return wide16(p);
  } else if constexpr (HX && !HY) {
    return _mm256_avg_epu16(wide16(p), wide16(p + 1));
  } else if constexpr (!HX && HY) {
    return _mm256_avg_epu16(wide16(p), wide16(p + stride));
  } else {
    const __m256i s = _mm256_add_epi16(_mm256_add_epi16(wide16(p), wide16(p + 1)),
                                       _mm256_add_epi16(wide16(p + stride), wide16(p + stride + 1)));
    return _mm256_srli_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(2)), 2);
  }
}

KAVROL_AVX2 inline __m256i pred16_any(const u8* p, int stride, int hx, int hy) {
  if (!hx && !hy) return pred16<0, 0>(p, stride);
  if (hx && !hy) return pred16<1, 0>(p, stride);
  if (!hx) return pred16<0, 1>(p, stride);
  return pred16<1, 1>(p, stride);
}

KAVROL_AVX2 inline int hsum32(__m256i v) {
  __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
  return _mm_cvtsi128_si32(s);
}

// |d| summed in 16-bit lanes (at most 16 lines x 255 each), widened at the end.
KAVROL_AVX2 inline int finish_sad(__m256i acc16) {
  return hsum32(_mm256_madd_epi16(acc16, _mm256_set1_epi16(1)));
}

// Two-way half-pel positions in bytes: PAVGB is the (a + b + 1) >> 1 of the
// plain form, and PSADBW sums a line in one step.
template <bool Vertical>
KAVROL_AVX2 int sad16_two_way(const u8* ref, const u8* cur, int stride, int h) {
  const int next = Vertical ? stride : 1;
  __m128i acc = _mm_setzero_si128();
  __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref));
  for (int j = 0; j < h; ++j) {
    if (!Vertical && j > 0) a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref + next));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_avg_epu8(a, b), c));
    ref += stride;
    cur += stride;
    if (Vertical) a = b;
  }
  return _mm_cvtsi128_si32(_mm_add_epi64(acc, _mm_unpackhi_epi64(acc, acc)));
}

// Four-way positions: each line's pair sums serve the line above and below.
KAVROL_AVX2 int sad16_four_way(const u8* ref, const u8* cur, int stride, int h) {
  __m256i acc = _mm256_setzero_si256();
  const __m256i two = _mm256_set1_epi16(2);
  __m256i upper = _mm256_add_epi16(wide16(ref), wide16(ref + 1));
  for (int j = 0; j < h; ++j) {
    ref += stride;
    const __m256i lower = _mm256_add_epi16(wide16(ref), wide16(ref + 1));
    const __m256i p = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(upper, lower), two), 2);
    acc = _mm256_add_epi16(acc, _mm256_abs_epi16(_mm256_sub_epi16(p, wide16(cur))));
    upper = lower;
    cur += stride;
  }
  return finish_sad(acc);
}

KAVROL_AVX2 int sad16_avx2(const u8* ref, const u8* cur, int stride, int hx, int hy, int h,
                           int limit) {
  if (!hx && !hy) return sad16_sse2(ref, cur, stride, 0, 0, h, limit);  // line-by-line stop
  if (hx && !hy) return sad16_two_way<false>(ref, cur, stride, h);
  if (!hx) return sad16_two_way<true>(ref, cur, stride, h);
  return sad16_four_way(ref, cur, stride, h);
}

template <int HX, int HY>
KAVROL_AVX2 int sse16_t(const u8* ref, const u8* cur, int stride, int h) {
  __m256i acc = _mm256_setzero_si256();
  for (int j = 0; j < h; ++j) {
    const __m256i d = _mm256_sub_epi16(pred16<HX, HY>(ref, stride), wide16(cur));
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(d, d));
    ref += stride;
    cur += stride;
  }
  return hsum32(acc);
}

KAVROL_AVX2 int sse16_avx2(const u8* ref, const u8* cur, int stride, int hx, int hy, int h) {
  if (!hx && !hy) return sse16_t<0, 0>(ref, cur, stride, h);
  if (hx && !hy) return sse16_t<1, 0>(ref, cur, stride, h);
  if (!hx) return sse16_t<0, 1>(ref, cur, stride, h);
  return sse16_t<1, 1>(ref, cur, stride, h);
}

KAVROL_AVX2 int sad16_bi_avx2(const u8* f, const u8* b, const u8* cur, int stride, int hxf,
                              int hyf, int hxb, int hyb, int h) {
  __m256i acc = _mm256_setzero_si256();
  for (int j = 0; j < h; ++j) {
    const __m256i p =
        _mm256_avg_epu16(pred16_any(f, stride, hxf, hyf), pred16_any(b, stride, hxb, hyb));
    acc = _mm256_add_epi16(acc, _mm256_abs_epi16(_mm256_sub_epi16(p, wide16(cur))));
    f += stride;
    b += stride;
    cur += stride;
  }
  return finish_sad(acc);
}

KAVROL_AVX2 int sse16_bi_avx2(const u8* f, const u8* b, const u8* cur, int stride, int hxf,
                              int hyf, int hxb, int hyb, int h) {
  __m256i acc = _mm256_setzero_si256();
  for (int j = 0; j < h; ++j) {
    const __m256i p =
        _mm256_avg_epu16(pred16_any(f, stride, hxf, hyf), pred16_any(b, stride, hxb, hyb));
    const __m256i d = _mm256_sub_epi16(p, wide16(cur));
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(d, d));
    f += stride;
    b += stride;
    cur += stride;
  }
  return hsum32(acc);
}

// Row distances with MPSADBW, which gives the distances of one 4-byte group
// of the current block at eight neighbouring positions. A 16 x h block takes
// two per line: the low lane does bytes 0-3 and 4-7 against ref + i, the high
// lane bytes 8-11 and 12-15 against ref + i + 8. Lane sums stay within 16 bits
// (16 lines x 2 x 1020 each, 65280 for both).
KAVROL_AVX2 inline __m256i lanes(const u8* lo, const u8* hi) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

KAVROL_AVX2 void sad16_row_avx2(const u8* ref, const u8* cur, int stride, int h, int n, int* out) {
  int i = 0;
  // A group of eight reads 24 bytes a line, whole only with nine positions
  // left; its high half is the ninth position's line, measured on the way.
  for (; n - i >= 9; i += 8) {
    __m256i a = _mm256_setzero_si256(), b = a;
    __m128i ninth = _mm_setzero_si128();
    const u8* r = ref + i;
    const u8* c = cur;
    for (int j = 0; j < h; ++j, r += stride, c += stride) {
      const __m128i c16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
      const __m128i r8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 8));
      const __m256i cv = _mm256_broadcastsi128_si256(c16);
      const __m256i rv = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r))), r8, 1);
      a = _mm256_add_epi16(a, _mm256_mpsadbw_epu8(rv, cv, 0x10));
      b = _mm256_add_epi16(b, _mm256_mpsadbw_epu8(rv, cv, 0x3D));
      ninth = _mm_add_epi64(ninth, _mm_sad_epu8(r8, c16));
    }
    const __m256i s = _mm256_add_epi16(a, b);
    const __m128i t = _mm_add_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cvtepu16_epi32(t));
    out[i + 8] = _mm_cvtsi128_si32(_mm_add_epi32(ninth, _mm_unpackhi_epi64(ninth, ninth)));
  }
  if (i > 0) ++i;  // the last group's ninth
  if (i < n) sad16_row_sse2(ref + i, cur, stride, h, n - i, out + i);
}

// Eight positions of a 4 x 4 block from 16-byte loads, or five from 8-byte ones.
template <bool Wide>
KAVROL_AVX2 inline __m128i group4x4(const u8* r, int stride, const int* q) {
  __m128i a = _mm_setzero_si128();
  for (int j = 0; j < 4; ++j, r += stride) {
    const __m128i* p = reinterpret_cast<const __m128i*>(r);
    const __m128i v = Wide ? _mm_loadu_si128(p) : _mm_loadl_epi64(p);
    a = _mm_add_epi16(a, _mm_mpsadbw_epu8(v, _mm_set1_epi32(q[j]), 0));
  }
  return a;
}

// 4 x 4 blocks: each line's group against 16 positions (eight a lane), or
// eight, or five from an 8-byte load, as far as the line's samples reach.
KAVROL_AVX2 void sad4x4_row_avx2(const u8* ref, const u8* cur, int stride, int n, int* out) {
  int q[4];
  for (int j = 0; j < 4; ++j) __builtin_memcpy(&q[j], cur + j * stride, 4);
  int i = 0;
  for (; n - i >= 21; i += 16) {
    __m256i a = _mm256_setzero_si256();
    for (int j = 0; j < 4; ++j) {
      const u8* r = ref + i + j * stride;
      a = _mm256_add_epi16(a, _mm256_mpsadbw_epu8(lanes(r, r + 8), _mm256_set1_epi32(q[j]), 0));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_cvtepu16_epi32(_mm256_castsi256_si128(a)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 8),
                        _mm256_cvtepu16_epi32(_mm256_extracti128_si256(a, 1)));
  }
  for (; n - i >= 13; i += 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_cvtepu16_epi32(group4x4<true>(ref + i, stride, q)));
  for (; n - i >= 5; i += 5) {
    alignas(32) int t[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(t),
                       _mm256_cvtepu16_epi32(group4x4<false>(ref + i, stride, q)));
    for (int k = 0; k < 5; ++k) out[i + k] = t[k];
  }
  if (i < n) sad4x4_row_sse2(ref + i, cur, stride, n - i, out + i);
}

// Inverse DCT: the SSE2 form's integer algorithm with all eight lanes of a
// pass in one register: lanes 0-3 in the low half, 4-7 in the high half.
KAVROL_AVX2 inline __m256i halves(__m128i v) {  // words 0-3 | words 4-7, each low
  return _mm256_permute4x64_epi64(_mm256_castsi128_si256(v), 0x50);
}
KAVROL_AVX2 inline __m256i pair(__m128i a, __m128i b) {
  return _mm256_unpacklo_epi16(halves(a), halves(b));
}
KAVROL_AVX2 inline __m256i coef(int a, int b) {
  return _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(b) << 16) |
                                            (static_cast<std::uint32_t>(a) & 0xFFFF)));
}
KAVROL_AVX2 inline __m256i mul181(__m256i v) {
  // 181 = 128 + 32 + 16 + 4 + 1
  return _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(v, 7), _mm256_slli_epi32(v, 5)),
                          _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(v, 4),
                                                            _mm256_slli_epi32(v, 2)),
                                           v));
}
// (181 * v + 128) >> 8 split at the low byte, as the plain form does it.
KAVROL_AVX2 inline __m256i mul181_round(__m256i v) {
  const __m256i high = mul181(_mm256_srai_epi32(v, 8));
  const __m256i low = mul181(_mm256_and_si256(v, _mm256_set1_epi32(255)));
  return _mm256_add_epi32(high, _mm256_srai_epi32(_mm256_add_epi32(low, _mm256_set1_epi32(128)), 8));
}

constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;

// Row pass (c[k]: coefficient k, lanes = rows) or column pass (c[k]: row k,
// lanes = columns); `out` receives eight 16-bit registers.
template <bool Column>
KAVROL_AVX2 inline void idct_pass(const __m128i* c, __m128i* out) {
  const __m256i p17 = pair(c[1], c[7]), p53 = pair(c[5], c[3]), p26 = pair(c[2], c[6]);
  __m256i x4 = _mm256_madd_epi16(p17, coef(W1, W7));
  __m256i x5 = _mm256_madd_epi16(p17, coef(W7, -W1));
  __m256i x6 = _mm256_madd_epi16(p53, coef(W5, W3));
  __m256i x7 = _mm256_madd_epi16(p53, coef(W3, -W5));
  __m256i x2 = _mm256_madd_epi16(p26, coef(W6, -W2));
  __m256i x3 = _mm256_madd_epi16(p26, coef(W2, W6));
  __m256i x0, x1;
  if constexpr (Column) {
    const __m256i four = _mm256_set1_epi32(4);
    x4 = _mm256_srai_epi32(_mm256_add_epi32(x4, four), 3);
    x5 = _mm256_srai_epi32(_mm256_add_epi32(x5, four), 3);
    x6 = _mm256_srai_epi32(_mm256_add_epi32(x6, four), 3);
    x7 = _mm256_srai_epi32(_mm256_add_epi32(x7, four), 3);
    x2 = _mm256_srai_epi32(_mm256_add_epi32(x2, four), 3);
    x3 = _mm256_srai_epi32(_mm256_add_epi32(x3, four), 3);
    x1 = _mm256_slli_epi32(_mm256_cvtepi16_epi32(c[4]), 8);
    x0 = _mm256_add_epi32(_mm256_slli_epi32(_mm256_cvtepi16_epi32(c[0]), 8),
                          _mm256_set1_epi32(8192));
  } else {
    x1 = _mm256_slli_epi32(_mm256_cvtepi16_epi32(c[4]), 11);
    x0 = _mm256_add_epi32(_mm256_slli_epi32(_mm256_cvtepi16_epi32(c[0]), 11),
                          _mm256_set1_epi32(128));
  }
  __m256i x8 = _mm256_add_epi32(x0, x1);
  x0 = _mm256_sub_epi32(x0, x1);
  x1 = _mm256_add_epi32(x4, x6);
  x4 = _mm256_sub_epi32(x4, x6);
  x6 = _mm256_add_epi32(x5, x7);
  x5 = _mm256_sub_epi32(x5, x7);
  x7 = _mm256_add_epi32(x8, x3);
  x8 = _mm256_sub_epi32(x8, x3);
  x3 = _mm256_add_epi32(x0, x2);
  x0 = _mm256_sub_epi32(x0, x2);
  x2 = mul181_round(_mm256_add_epi32(x4, x5));
  x4 = mul181_round(_mm256_sub_epi32(x4, x5));
  const __m256i o[8] = {_mm256_add_epi32(x7, x1), _mm256_add_epi32(x3, x2),
                        _mm256_add_epi32(x0, x4), _mm256_add_epi32(x8, x6),
                        _mm256_sub_epi32(x8, x6), _mm256_sub_epi32(x0, x4),
                        _mm256_sub_epi32(x3, x2), _mm256_sub_epi32(x7, x1)};
  for (int k = 0; k < 8; ++k) {
    __m256i r = _mm256_srai_epi32(o[k], Column ? 14 : 8);
    // Rows keep the low 16 bits as the plain form's narrowing does; columns
    // saturate and clip to -256..255.
    if constexpr (!Column) r = _mm256_srai_epi32(_mm256_slli_epi32(r, 16), 16);
    const __m128i n = _mm_packs_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
    out[k] = Column ? _mm_min_epi16(_mm_max_epi16(n, _mm_set1_epi16(-256)), _mm_set1_epi16(255)) : n;
  }
}

KAVROL_AVX2 void idct_avx2(std::int16_t* block) {
  __m128i r[8];
  for (int n = 0; n < 8; ++n) r[n] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * n));
  transpose8_epi16(r);  // r[k]: coefficient k of every row
  __m128i o[8];
  idct_pass<false>(r, o);
  transpose8_epi16(o);  // o[k]: row k
  idct_pass<true>(o, r);
  for (int n = 0; n < 8; ++n) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * n), r[n]);
}

// Colour conversion, eight pixels a step: the SSE2 form's arithmetic with
// pixels 0-3 in the low half of a register and 4-7 in the high half.
KAVROL_AVX2 inline __m256i weigh8(__m256i lo, __m256i hi, __m256i w) {
  const __m256i a = _mm256_madd_epi16(lo, w), b = _mm256_madd_epi16(hi, w);
  // a = [p0 bg, p0 r, p1 bg, p1 r] a half; add the two halves of every pixel.
  const __m256i even = _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
  const __m256i odd = _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm256_add_epi32(even, odd);
}

// ((219 or 224) * s >> 8) + offset, >> 15; the low byte of each lane kept,
// as the plain cast keeps it, the eight in pixel order.
template <int Scale>
KAVROL_AVX2 inline void store8(__m256i s, int offset, u8* out) {
  const __m256i scaled = Scale == 219
      ? _mm256_sub_epi32(_mm256_sub_epi32(_mm256_slli_epi32(s, 8), _mm256_slli_epi32(s, 5)),
                         _mm256_add_epi32(_mm256_slli_epi32(s, 2), s))
      : _mm256_sub_epi32(_mm256_slli_epi32(s, 8), _mm256_slli_epi32(s, 5));
  __m256i v = _mm256_srai_epi32(
      _mm256_add_epi32(_mm256_srai_epi32(scaled, 8), _mm256_set1_epi32(offset)), 15);
  v = _mm256_and_si256(v, _mm256_set1_epi32(0xFF));
  v = _mm256_packs_epi32(v, v);
  v = _mm256_packus_epi16(v, v);
  v = _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(v));
}

// Byte order B, G, R, x -> 16-bit pairs (B, G) and (R, 0).
KAVROL_AVX2 inline __m256i weights(const int* t) {
  const short b = static_cast<short>(t[2]), g = static_cast<short>(t[1]),
              r = static_cast<short>(t[0]);
  return _mm256_setr_epi16(b, g, r, 0, b, g, r, 0, b, g, r, 0, b, g, r, 0);
}

KAVROL_AVX2 void rgb_row_avx2(const u8* src, int width, const int* q, u8* yo, u8* bo, u8* ro) {
  const __m256i wy = weights(q), wb = weights(q + 3), wr = weights(q + 6);
  const __m256i z = _mm256_setzero_si256();
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
    const __m256i lo = _mm256_unpacklo_epi8(px, z), hi = _mm256_unpackhi_epi8(px, z);
    store8<219>(weigh8(lo, hi, wy), 540672, yo + x);
    store8<224>(weigh8(lo, hi, wb), 4210688, bo + x);
    store8<224>(weigh8(lo, hi, wr), 4210688, ro + x);
  }
  if (x < width) rgb_row_sse2(src + 4 * x, width - x, q, yo + x, bo + x, ro + x);
}

// Forward DCT: the SSE2 column pass, then each row against two lines of its
// row matrix a register (outputs v and v + 4), so two horizontal adds leave
// the eight sums in order. The sums are exact, as in the plain form.
struct FdctPairs {
  alignas(32) std::int16_t c[4][4][16];  // [row class][v 0..3]: m[v] | m[v + 4]
  FdctPairs() {
    const std::int16_t(*table)[8][8] = fdct_fixed_row_table();
    for (int r = 0; r < 4; ++r)
      for (int v = 0; v < 4; ++v)
        for (int n = 0; n < 8; ++n) {
          c[r][v][n] = table[r][v][n];
          c[r][v][8 + n] = table[r][v + 4][n];
        }
  }
};

KAVROL_AVX2 inline __m256i row_product(__m256i y, const std::int16_t* m) {
  return _mm256_madd_epi16(y, _mm256_load_si256(reinterpret_cast<const __m256i*>(m)));
}

KAVROL_AVX2 void fdct_avx2(std::int16_t* block) {
  static const FdctPairs pairs;
  static constexpr int kRowClass[8] = {0, 1, 2, 3, 0, 3, 2, 1};
  alignas(16) std::int16_t t[64];
  fdct_columns_sse2(block, t);
  const __m256i round = _mm256_set1_epi32(1 << 18);
  for (int u = 0; u < 8; ++u) {
    const std::int16_t(*m)[16] = pairs.c[kRowClass[u]];
    const __m256i y =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t + 8 * u)));
    const __m256i s = _mm256_hadd_epi32(_mm256_hadd_epi32(row_product(y, m[0]), row_product(y, m[1])),
                                        _mm256_hadd_epi32(row_product(y, m[2]), row_product(y, m[3])));
    const __m256i r = _mm256_srai_epi32(_mm256_add_epi32(s, round), 19);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * u),
                     _mm_packs_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1)));
  }
}

KAVROL_AVX2 unsigned variance16_avx2(const u8* p, int stride) {
  __m256i sum = _mm256_setzero_si256(), sq = _mm256_setzero_si256();
  for (int j = 0; j < 16; ++j) {
    const __m256i v = wide16(p);
    sum = _mm256_add_epi16(sum, v);  // at most 16 x 255 a lane
    sq = _mm256_add_epi32(sq, _mm256_madd_epi16(v, v));
    p += stride;
  }
  const unsigned s = static_cast<unsigned>(finish_sad(sum));
  const unsigned s2 = static_cast<unsigned>(hsum32(sq));
  return s2 - ((s * s) >> 8);
}

}  // namespace

void use_avx2_kernels(KernelTable& k) {
  k.sad16 = sad16_avx2;
  k.sse16 = sse16_avx2;
  k.sad16_bi = sad16_bi_avx2;
  k.sse16_bi = sse16_bi_avx2;
  k.variance16 = variance16_avx2;
  k.forward_dct = fdct_avx2;
  k.sad16_row = sad16_row_avx2;
  k.inverse_dct = idct_avx2;
  k.rgb_to_ycc = rgb_row_avx2;
  k.sad4x4_row = sad4x4_row_avx2;
}

}  // namespace corvexa::mpeg::video

#endif
