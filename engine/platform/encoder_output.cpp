#include "platform/encoder_output.h"

namespace corvexa::platform {

bool encode_frame(AVCodecContext* codec, AVFrame* frame, AVPacket* packet, const PacketSink& out) {
  if (avcodec_send_frame(codec, frame) < 0) return false;
  while (true) {
    const int got = avcodec_receive_packet(codec, packet);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
    if (got < 0) return false;
    const bool kept = out(packet);
    av_packet_unref(packet);
    if (!kept) return false;
  }
}

}  // namespace corvexa::platform
