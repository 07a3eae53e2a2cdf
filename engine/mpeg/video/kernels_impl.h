// Shared between the plain kernels and their vector forms.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "mpeg/video/kernels.h"

namespace corvexa::mpeg::video {

// The SSE2 sad16, which the AVX2 table keeps for full-pel positions.
int sad16_sse2(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int hx, int hy, int h,
               int limit);
// The SSE2 row distances, which the AVX2 forms use for the ends of a line too
// short for a whole group.
void sad16_row_sse2(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int h, int n,
                    int* out);
void sad4x4_row_sse2(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int n,
                     int* out);

// The SSE2 colour conversion, which the AVX2 form uses for a line's last
// pixels.
void rgb_row_sse2(const std::uint8_t* src, int width, const int* q, std::uint8_t* yo,
                  std::uint8_t* bo, std::uint8_t* ro);

// The column pass of the fixed-point forward DCT, whose rows the AVX2 form
// then transforms two outputs a register.
void fdct_columns_sse2(const std::int16_t* block, std::int16_t* t);

#if defined(__x86_64__)
// Transposes an 8 x 8 block of 16-bit values held a row a register.
inline void transpose8_epi16(__m128i* r) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}
#endif

// Fill the entries that have a form for the instruction set; the others keep
// what the table already holds.
void use_sse2_kernels(KernelTable& k);
void use_avx2_kernels(KernelTable& k);

}  // namespace corvexa::mpeg::video
