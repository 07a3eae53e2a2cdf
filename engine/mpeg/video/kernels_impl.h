// Shared between the plain kernels and their vector forms.
#pragma once

#include <cstdint>

#include "mpeg/video/kernels.h"

namespace corvexa::mpeg::video {

// The SSE2 sad16, which the AVX2 table keeps for full-pel positions.
int sad16_sse2(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int hx, int hy, int h,
               int limit);

// Fill the entries that have a form for the instruction set; the others keep
// what the table already holds.
void use_sse2_kernels(KernelTable& k);
void use_avx2_kernels(KernelTable& k);

}  // namespace corvexa::mpeg::video
