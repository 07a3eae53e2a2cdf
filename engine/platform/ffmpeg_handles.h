// Owning handles for the FFmpeg objects the platform layers use.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace corvexa::platform {

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

using FormatHandle = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecHandle = std::unique_ptr<AVCodecContext, CodecCloser>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFree>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFree>;
using SwsHandle = std::unique_ptr<SwsContext, SwsFree>;
using SwrHandle = std::unique_ptr<SwrContext, SwrFree>;

// A decoded frame's colour description as the picture scaler takes it.
// Pictures that say nothing of their matrix follow their size.
inline bool frame_full_range(const AVFrame& f) { return f.color_range == AVCOL_RANGE_JPEG; }
inline bool frame_hd_matrix(const AVFrame& f) {
  return f.colorspace == AVCOL_SPC_BT709 || (f.colorspace == AVCOL_SPC_UNSPECIFIED && f.height > 576);
}

// Opens `path` with FFmpeg and reads its stream parameters; null on failure.
// `format_name` restricts the demuxer (null: probe).
FormatHandle open_media(const char* path, const char* format_name);

}  // namespace corvexa::platform
