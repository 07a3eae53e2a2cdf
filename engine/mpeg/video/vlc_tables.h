// Scan orders, quantiser matrices and the variable-length code tables of the
// MPEG-1/MPEG-2 video syntax.
#pragma once

#include <cstdint>

namespace corvexa::mpeg::video {

struct Vlc {
  std::uint16_t code;
  std::uint8_t length;
};

// scan[k] = raster index of the k-th coefficient; [0] zig-zag, [1] alternate.
extern const std::uint8_t kScan[2][64];
extern const std::uint8_t kDefaultIntraMatrix[64];
extern const std::uint8_t kRampNonIntraMatrix[64];
// Non-linear quantiser_scale values by quantiser_scale_code (0 unused).
extern const std::uint8_t kNonLinearScale[32];

extern const Vlc kAddressIncrement[33];   // increments 1..33
inline constexpr Vlc kAddressEscape{0x08, 11};
// macroblock_type by picture type (1 I, 2 P, 3 B), indexed by the type flags
// (intra 1, pattern 2, backward 4, forward 8, quant 16); length 0 = not allowed.
Vlc macroblock_type_code(int picture_type, int flags);
extern const Vlc kCodedBlockPattern[64];
extern const Vlc kMotionCode[17];          // |motion_code| 0..16, sign bit follows
extern const Vlc kDcSizeLuma[12];
extern const Vlc kDcSizeChroma[12];

// Run/level code without the sign bit, or length 0 when the pair needs the
// escape. `table` 0 = the default table, 1 = the alternative intra table.
Vlc run_level_code(int table, int run, int level);
// The table behind run_level_code, [run 0..31][level 0..40], for loops that
// look up many pairs.
using RunLevelTable = Vlc[32][41];
const RunLevelTable& run_level_table(int table);

// Nearest code of the non-linear scale for a quantiser value.
int non_linear_code(int quantiser);

}  // namespace corvexa::mpeg::video
