// The three stages of an encoding run, in the order the run entry calls them.
// Each reads the working state of the context, reports through its status
// sink, polls the stop flag and returns whether it succeeded.
#pragma once

namespace corvexa::mpeg {

struct EncoderContext;

// Video elementary stream into ctx.video_file.
bool encode_video_stream(EncoderContext& ctx);
// Audio elementary stream into ctx.audio_file.
bool run_audio_encoder(EncoderContext& ctx);
// Program stream(s) into ctx.output_name from the elementary streams.
bool run_multiplexer(EncoderContext& ctx);

}  // namespace corvexa::mpeg
