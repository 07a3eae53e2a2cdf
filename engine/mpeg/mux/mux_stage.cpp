#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"

namespace corvexa::mpeg {

// The multiplexer is not part of this build yet: the stage fails honestly.
bool run_multiplexer(EncoderContext& ctx) {
  report_message(ctx, "Multiplexing is not available in this build.");
  return false;
}

}  // namespace corvexa::mpeg
