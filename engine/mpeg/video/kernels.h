// The per-class kernel table: distances for motion search, the transforms,
// the prediction add/subtract, motion-compensated prediction, the fast
// non-intra quantiser, the intra quantiser, the dequantisers, the colour
// conversion and the non-zero mask of a block. Each vector form returns exactly what its plain form does.
#pragma once

#include <cstdint>

#include "mpeg/video/fdct_fixed.h"

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
  // Whole full-pel distances at n >= 1 neighbouring positions of one line of
  // a search window: out[i] is the distance of the block at ref + i, read no
  // further than that block. The searches take a window a line at a time and
  // then pick from it in their own order.
  void (*sad16_row)(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int h, int n,
                    int* out);
  void (*sad4x4_row)(const std::uint8_t* ref, const std::uint8_t* cur, int stride, int n,
                     int* out);
  void (*forward_dct)(std::int16_t* block);
  void (*inverse_dct)(std::int16_t* block);
  // error = source - prediction over 8x8; reconstruction = clip(pred + error).
  void (*subtract_prediction)(const std::uint8_t* src, const std::uint8_t* pred, int stride,
                              std::int16_t* block);
  void (*add_prediction)(const std::int16_t* block, const std::uint8_t* pred, int stride,
                         std::uint8_t* out);
  // Reciprocal non-intra quantiser (kernel classes above 0, mquant > 1):
  // false when some |x| > 1023 or some level passes `limit`; `out` (which may
  // be `in`) is then untouched and the caller quantises exactly.
  bool (*quantise_non_intra_fast)(const std::int16_t* in, std::int16_t* out,
                                  const std::uint16_t* matrix, const std::uint16_t* reciprocal,
                                  int mquant, int limit, bool* nonzero);
  // One line of BGRx pixels to Y', Cb, Cr with Q15 weights (Y, Cb, Cr rows,
  // each R, G, B).
  void (*rgb_to_ycc)(const std::uint8_t* bgrx, int width, const int* q15, std::uint8_t* y,
                     std::uint8_t* cb, std::uint8_t* cr);
  // Chroma down-sampling of a whole plane: 4:4:4 -> 4:2:2 horizontally (MPEG-1
  // or MPEG-2 taps), 4:2:2 -> 4:2:0 vertically (progressive or by field).
  void (*chroma_filter_h)(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                          bool mpeg1);
  void (*chroma_filter_v)(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                          bool progressive);
  // One motion-compensated block: w x h samples at (x, y) of a plane whose
  // lines are `lx` apart, displaced by the half-pel vector (dx, dy); `average`
  // folds it into what dst already holds (second prediction of a B macroblock,
  // dual prime).
  void (*pred_comp)(const std::uint8_t* src, std::uint8_t* dst, int lx, int w, int h, int x,
                    int y, int dx, int dy, bool average);
  // Inverse quantisation of one 8x8 block with saturation, MPEG-1
  // oddification or MPEG-2 mismatch control; matrix entries 1..255, mquant
  // 1..112 (the vector forms scale the matrix in 16 bits).
  void (*dequantise_intra)(const std::int16_t* in, std::int16_t* out, int dc_precision,
                           const int* matrix, int mquant, bool mpeg1);
  void (*dequantise_non_intra)(const std::int16_t* in, std::int16_t* out, const int* matrix,
                               int mquant, bool mpeg1);
  // Intra quantisation of one 8x8 block (`out` apart from `in`): false when a
  // level passed 255 (MPEG-1 levels stop there, MPEG-2 ones at 2047).
  bool (*quantise_intra)(const std::int16_t* in, std::int16_t* out, int dc_precision,
                         const int* matrix, int mquant, bool mpeg1);
  // Bit i set where coefficient i (raster order) of an 8x8 block is not 0.
  std::uint64_t (*nonzero_mask)(const std::int16_t* block);
};

// Instruction sets the vector kernels are written for, narrowest first.
enum class VectorIsa { kNone = 0, kSse2 = 1, kAvx2 = 2 };
// True when this processor (and build) can run kernels of `isa`.
bool isa_available(VectorIsa isa);
// The widest instruction set available here.
VectorIsa widest_isa();

// The table for a kernel class; `plain_transforms` (use_plain_kernels) forces
// the floating-point forward DCT and the plain inverse DCT.
// Classes above 0 take their vector forms from the widest instruction set the
// processor has; `isa` names one explicitly (kNone: the plain forms of the
// class's algorithms, which the vector forms must match).
KernelTable kernel_table(int kernel_class, bool plain_transforms);
KernelTable kernel_table(int kernel_class, bool plain_transforms, VectorIsa isa);

// Plain kernels, also used directly by the tests.
void fdct_float(std::int16_t* block);
void fdct_integer(std::int16_t* block);
void idct_chen_wang(std::int16_t* block);
void pred_comp_plain(const std::uint8_t* src, std::uint8_t* dst, int lx, int w, int h, int x,
                     int y, int dx, int dy, bool average);
void dequantise_intra(const std::int16_t* in, std::int16_t* out, int dc_precision,
                      const int* matrix, int mquant, bool mpeg1);
void dequantise_non_intra(const std::int16_t* in, std::int16_t* out, const int* matrix,
                          int mquant, bool mpeg1);
bool quantise_intra(const std::int16_t* in, std::int16_t* out, int dc_precision,
                    const int* matrix, int mquant, bool mpeg1);
std::uint64_t nonzero_mask_plain(const std::int16_t* block);
// The forward DCT of the vector classes, fdct_fixed, is in fdct_fixed.h.

}  // namespace corvexa::mpeg::video
