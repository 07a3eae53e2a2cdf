// Motion-compensated prediction pieces shared by frame and field pictures.
#pragma once

#include <cstdint>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

// Dual-prime prediction of a frame-picture macroblock from the previous
// reference frame.
void predict_dual_prime_frame(VideoEncoder& e, const MacroblockInfo& mb, int bx, int by);

// The prediction of macroblock row j of the current field picture.
void predict_field_row(VideoEncoder& e, int j);

}  // namespace corvexa::mpeg::video
