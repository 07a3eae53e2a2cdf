// Whether a settings record describes a stream the encoders can produce.
#pragma once

#include "mpeg/settings/encoder_settings.h"

namespace corvexa::mpeg {

// Picture size of the source being validated against the level limits.
bool validate_video(const EncoderSettings& record, int width, int height);
bool validate_audio(const EncoderSettings& record);

// Whether layer II lets `bitrate_index` go with `audio_mode` (3: single
// channel): single channel runs at 32 to 192 kbit/s, the two-channel modes at
// 64 kbit/s and at 96 to 384 kbit/s. Other layers, free format and indexes
// out of range are left to validate_audio.
bool layer2_pair_allowed(int audio_layer, int audio_mode, int bitrate_index);
// The nearest rate layer II allows for `audio_mode`: the next higher one
// for two channels, the highest single-channel one (192 kbit/s) for one.
int layer2_allowed_index(int audio_layer, int audio_mode, int bitrate_index);

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
