// The encoding package's entry points: initialisation, the settings copies
// and the run that orders video, audio and multiplexing.
#pragma once

#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg {

inline constexpr int kRunSucceeded = 3;
inline constexpr int kRunFailed = 2;

// Once per encoder object: processor features, audio input mode, default
// names, and the MPEG-1 PAL preset.
void init_encoder(EncoderContext& ctx);

// What the package can do, for a caller that asks.
struct EncoderDescriptor {
  int max_width = 0;
  int max_height = 0;
  const char* default_output_name = nullptr;
  unsigned flags = 0;
};
void describe_encoder(const EncoderContext& ctx, EncoderDescriptor& descriptor);

// Record -> working state, and back.
void load_settings(EncoderContext& ctx, const EncoderSettings& record);
void store_settings(const EncoderContext& ctx, EncoderSettings& record);

// Sets the stop flag, but only while a run is marked running.
void request_stop(EncoderContext& ctx);

// One whole run over ctx.record. kRunSucceeded or kRunFailed.
int encode(EncoderContext& ctx, FrameSource* frames, const SourceInfo& source);

// The source adjustment of a run: level, profile and frame rate lowered to fit
// the picture, mono audio rate clamped. False when a stream of the source
// cannot be encoded at all.
bool adjust_to_source(EncoderContext& ctx, EncoderSettings& work);

}  // namespace corvexa::mpeg
