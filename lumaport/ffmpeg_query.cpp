#include "ffmpeg_query.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace lumaport {

bool movie_support_present() {
  if (av_find_input_format("mov") == nullptr) return false;
  for (AVCodecID id : {AV_CODEC_ID_H264, AV_CODEC_ID_MPEG4, AV_CODEC_ID_AAC})
    if (avcodec_find_decoder(id) == nullptr) return false;
  return avcodec_find_encoder(AV_CODEC_ID_MPEG4) != nullptr;
}

bool has_decodable_video(const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return false;
  bool found = false;
  if (avformat_find_stream_info(context, nullptr) >= 0) {
    const AVCodec* decoder = nullptr;
    found = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0) >= 0 &&
            decoder != nullptr;
  }
  avformat_close_input(&context);
  return found;
}

}  // namespace lumaport
