#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"

namespace corvexa::mpeg {

// The video encoder is not part of this build yet: the stage fails honestly.
bool encode_video_stream(EncoderContext& ctx) {
  report_message(ctx, "Video encoding is not available in this build.");
  return false;
}

}  // namespace corvexa::mpeg
