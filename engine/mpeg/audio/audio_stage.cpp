#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"

namespace corvexa::mpeg {

// The audio encoder is not part of this build yet: the stage fails honestly.
bool run_audio_encoder(EncoderContext& ctx) {
  report_message(ctx, "Audio encoding is not available in this build.");
  return false;
}

}  // namespace corvexa::mpeg
