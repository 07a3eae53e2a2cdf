#include "mpeg/mux/multiplexer.h"
#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"

namespace corvexa::mpeg {

bool run_multiplexer(EncoderContext& ctx) {
  return mux::multiplex(ctx, ctx.work.mux_video != 0, ctx.work.mux_audio != 0);
}

}  // namespace corvexa::mpeg
