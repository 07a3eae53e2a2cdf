// The ten presets (five target kinds, NTSC and PAL) and the rules that derive
// settings from other settings: motion rows, automatic rates, stream name.
#pragma once

#include <string>

#include "mpeg/settings/encoder_settings.h"

namespace corvexa::mpeg {

struct EncoderContext;

// Fills `record` for target `kind` (0..4); `pal` selects the PAL variant.
// The stereo flag of the last described source picks the audio mode; the
// video stream name gets its extension fixed for the new type.
int apply_preset(EncoderContext& ctx, EncoderSettings& record, int kind, bool pal);

// Motion rows from the pel movement settings (rows 0..M-1).
void derive_motion_rows(EncoderSettings& record);
int horizontal_f_code(const EncoderSettings& record, int range);
int vertical_f_code(const EncoderSettings& record, int range);

// Bit rate and buffer sizes from the picture size, when auto_bit_rate is set
// and the source's dimensions are known.
void recompute_rates(EncoderContext& ctx, EncoderSettings& record);

// ".m1v" <-> ".m2v" to match the stream type; an empty name is left alone.
void fix_video_extension(std::string& name, int mpeg_type);

}  // namespace corvexa::mpeg
