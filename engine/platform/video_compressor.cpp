#include "platform/video_compressor.h"

#include "platform/encoder_output.h"

#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace corvexa::platform {

namespace {

AVPixelFormat picture_format_for(const AVCodec* codec) {
  if (codec->id == AV_CODEC_ID_RAWVIDEO) return AV_PIX_FMT_BGR24;
  if (codec->id == AV_CODEC_ID_MJPEG) return AV_PIX_FMT_YUVJ420P;
  if (codec->id == AV_CODEC_ID_FFV1) return AV_PIX_FMT_BGR0;  // lossless of what we decode
  if (codec->pix_fmts == nullptr) return AV_PIX_FMT_YUV420P;
  for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
    if (*f == AV_PIX_FMT_YUV420P) return *f;
  return codec->pix_fmts[0];
}

bool subsampled(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && (d->log2_chroma_w > 0 || d->log2_chroma_h > 0);
}

}  // namespace

std::unique_ptr<VideoCompressor> VideoCompressor::open(const std::string& encoder,
                                                       std::uint32_t fourcc, int width, int height,
                                                       int rate, int scale,
                                                       const VideoCompressorSettings& settings,
                                                       int global_header, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder.empty() ? "rawvideo" : encoder.c_str());
  if (codec == nullptr || width <= 0 || height <= 0 || rate <= 0 || scale <= 0) {
    *error = "no such video encoder: " + encoder;
    return nullptr;
  }
  std::unique_ptr<VideoCompressor> c(new VideoCompressor());
  c->source_width_ = width;
  c->source_height_ = height;
  c->codec_.reset(avcodec_alloc_context3(codec));
  c->frame_.reset(av_frame_alloc());
  c->packet_.reset(av_packet_alloc());
  if (!c->codec_ || !c->frame_ || !c->packet_) {
    *error = "out of memory";
    return nullptr;
  }
  AVCodecContext* ctx = c->codec_.get();
  const AVPixelFormat format = picture_format_for(codec);
  // 4:2:0 needs whole chroma samples: an odd edge row or column is dropped.
  const int w = subsampled(format) ? std::max(2, width & ~1) : width;
  const int h = subsampled(format) ? std::max(2, height & ~1) : height;
  ctx->width = w;
  ctx->height = h;
  ctx->pix_fmt = format;
  ctx->time_base = AVRational{scale, rate};
  ctx->framerate = AVRational{rate, scale};
  ctx->sample_aspect_ratio = AVRational{1, 1};
  // AVI keeps no time stamps: frames must come out in the order they show.
  ctx->max_b_frames = 0;
  ctx->thread_count = 0;
  if (fourcc != 0) ctx->codec_tag = fourcc;
  if (global_header) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (settings.key_frame_interval > 0) ctx->gop_size = settings.key_frame_interval;
  AVDictionary* options = nullptr;
  if (codec->id == AV_CODEC_ID_H264) {
    av_dict_set(&options, "bf", "0", 0);
    if (settings.bit_rate_kbps > 0)
      ctx->bit_rate = static_cast<std::int64_t>(settings.bit_rate_kbps) * 1000;
    else
      av_dict_set_int(&options, "crf", 12 + settings.quality * 2, 0);  // quality 4 -> crf 20
  } else if (settings.bit_rate_kbps > 0) {
    ctx->bit_rate = static_cast<std::int64_t>(settings.bit_rate_kbps) * 1000;
  } else if (codec->id != AV_CODEC_ID_RAWVIDEO && codec->id != AV_CODEC_ID_FFV1) {
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * std::clamp(settings.quality, 1, 31);
  }
  if (codec->id == AV_CODEC_ID_MJPEG) ctx->color_range = AVCOL_RANGE_JPEG;
  const int opened = avcodec_open2(ctx, codec, &options);
  av_dict_free(&options);
  if (opened < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(opened, text, sizeof text);
    *error = encoder + " refused the picture format: " + text;
    return nullptr;
  }
  c->bottom_up_output_ = codec->id == AV_CODEC_ID_RAWVIDEO;
  c->scale_.reset(sws_getContext(width, height, AV_PIX_FMT_BGR0, w, h, format, SWS_BICUBIC,
                                 nullptr, nullptr, nullptr));
  c->frame_->format = format;
  c->frame_->width = w;
  c->frame_->height = h;
  if (!c->scale_ || av_frame_get_buffer(c->frame_.get(), 0) < 0) {
    *error = "out of memory";
    return nullptr;
  }
  return c;
}

VideoCompressor::~VideoCompressor() = default;

bool VideoCompressor::encode(const std::uint8_t* picture,
                             const std::function<bool(AVPacket*)>& out) {
  if (picture == nullptr) return encode_frame(codec_.get(), nullptr, packet_.get(), out);
  if (av_frame_make_writable(frame_.get()) < 0) return false;
  const int stride = source_width_ * 4;
  // Our pictures are bottom-up. Uncompressed AVI video is bottom-up too, so
  // it keeps the row order; every other format wants the top row first.
  const std::uint8_t* rows[4] = {picture, nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  if (!bottom_up_output_) {
    rows[0] = picture + static_cast<std::ptrdiff_t>(stride) * (source_height_ - 1);
    strides[0] = -stride;
  }
  sws_scale(scale_.get(), rows, strides, 0, source_height_, frame_->data, frame_->linesize);
  frame_->pts = next_pts_++;
  return encode_frame(codec_.get(), frame_.get(), packet_.get(), out);
}

}  // namespace corvexa::platform
