// The fixed-point forward DCT of the MMX kernel classes (plain reference).
#pragma once

#include <cstdint>

namespace corvexa::mpeg::video {

void fdct_fixed(std::int16_t* block);
// Q16 row-pass coefficients [row class][output][input] that vector forms use.
const std::int16_t (*fdct_fixed_row_table())[8][8];

}  // namespace corvexa::mpeg::video
