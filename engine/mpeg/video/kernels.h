// The per-class kernel table: distances for motion search, the transforms and
// the prediction add/subtract. Every class points at the plain kernels until
// vector forms exist; each vector form must return what the plain one does.
#pragma once

#include <cstdint>

namespace corvexa::mpeg::video {

struct KernelTable {
  int (*sad16)(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int hx, int hy,
               int h, int limit);
  int (*sse16)(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int hx, int hy,
               int h);
  int (*sad16_bi)(const std::uint8_t* fwd, const std::uint8_t* bwd, const std::uint8_t* cur,
                  int stride, int hxf, int hyf, int hxb, int hyb, int h);
  int (*sse16_bi)(const std::uint8_t* fwd, const std::uint8_t* bwd, const std::uint8_t* cur,
                  int stride, int hxf, int hyf, int hxb, int hyb, int h);
  unsigned (*variance16)(const std::uint8_t* cur, int stride);
  int (*sad4x4_sub)(const std::uint8_t* cur, const std::uint8_t* ref, int stride, int limit);
  void (*forward_dct)(std::int16_t* block);
  void (*inverse_dct)(std::int16_t* block);
  // error = source - prediction over 8x8; reconstruction = clip(pred + error).
  void (*subtract_prediction)(const std::uint8_t* src, const std::uint8_t* pred, int stride,
                              std::int16_t* block);
  void (*add_prediction)(const std::int16_t* block, const std::uint8_t* pred, int stride,
                         std::uint8_t* out);
};

// The table for a kernel class; `plain_transforms` (use_plain_kernels) forces
// the floating-point forward DCT and the plain inverse DCT.
KernelTable kernel_table(int kernel_class, bool plain_transforms);

// Plain kernels, also used directly by the tests.
void fdct_float(std::int16_t* block);
void fdct_integer(std::int16_t* block);
void idct_chen_wang(std::int16_t* block);

}  // namespace corvexa::mpeg::video
