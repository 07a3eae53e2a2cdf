// Whether a settings record describes a stream the encoders can produce.
#pragma once

#include "mpeg/settings/encoder_settings.h"

namespace corvexa::mpeg {

// Picture size of the source being validated against the level limits.
bool validate_video(const EncoderSettings& record, int width, int height);
bool validate_audio(const EncoderSettings& record);

// Limits of an MPEG-2 level (code 4, 6, 8 or 10); null for other codes.
struct LevelLimits {
  int level;
  int f_code_h, f_code_v;
  int width, height;
  double luma_rate;
  double bit_rate;
  int vbv_buffer_size;
};
const LevelLimits* level_limits(int level);

}  // namespace corvexa::mpeg
