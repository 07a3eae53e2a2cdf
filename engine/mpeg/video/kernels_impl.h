// Shared between the plain kernels and their vector forms.
#pragma once

#include <cstdint>

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

// The column pass of the fixed-point forward DCT, whose rows the AVX2 form
// then transforms two outputs a register.
void fdct_columns_sse2(const std::int16_t* block, std::int16_t* t);

// Fill the entries that have a form for the instruction set; the others keep
// what the table already holds.
void use_sse2_kernels(KernelTable& k);
void use_avx2_kernels(KernelTable& k);

}  // namespace corvexa::mpeg::video
