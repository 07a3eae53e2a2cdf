// Motion-compensated prediction pieces shared by frame and field pictures.
#pragma once

#include <cstdint>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

// One motion-compensated block: w x h samples at (x, y) of a plane whose lines
// are `lx` apart, displaced by the half-pel vector (dx, dy); `average` folds
// it into what dst already holds.
void pred_comp(const std::uint8_t* src, std::uint8_t* dst, int lx, int w, int h, int x, int y,
               int dx, int dy, bool average);

// Dual-prime prediction of a frame-picture macroblock from the previous
// reference frame.
void predict_dual_prime_frame(VideoEncoder& e, const MacroblockInfo& mb, int bx, int by);

// pred_frame for every macroblock of the current field picture.
void predict_field_picture(VideoEncoder& e);

}  // namespace corvexa::mpeg::video
