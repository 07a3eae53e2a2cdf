// Hands one frame (null: the end) to a libavcodec encoder and passes every
// packet it gives back on to `out`.
#pragma once

#include <functional>

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

using PacketSink = std::function<bool(AVPacket*)>;

// False when the encoder fails or `out` refuses a packet.
bool encode_frame(AVCodecContext* codec, AVFrame* frame, AVPacket* packet, const PacketSink& out);

}  // namespace corvexa::platform
