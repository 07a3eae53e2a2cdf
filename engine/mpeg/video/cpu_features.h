// Processor feature detection and the kernel class chosen from it.
#pragma once

#include <cstdint>

namespace corvexa::mpeg {

// Feature word: bit 0 CPUID works, 1 standard levels, 2 extended levels,
// 4 TSC, 5 MMX, 6 CMOV, 7 3DNow!, 8 extended 3DNow!, 9 SSE integer / AMD MMX
// extensions, 10 SSE, 11 AMD K6-2 model range, 12 MTRR.
std::uint32_t detect_cpu();
// 0 plain, 1 MMX, 2 MMX + 3DNow!, 3 MMX + SSE integer, 4 extended 3DNow!.
int kernel_class(std::uint32_t features);

}  // namespace corvexa::mpeg
