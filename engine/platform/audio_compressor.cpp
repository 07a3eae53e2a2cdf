#include "platform/audio_compressor.h"

#include "platform/encoder_output.h"

#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace corvexa::platform {

namespace {

AVSampleFormat sample_format_for(const AVCodec* codec) {
  if (codec->sample_fmts == nullptr) return AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_S16) return *f;
  return codec->sample_fmts[0];
}

}  // namespace

std::unique_ptr<AudioCompressor> AudioCompressor::open(const std::string& encoder, int sample_rate,
                                                       int channels, int global_header,
                                                       std::string* error) {
  const AVCodec* codec =
      avcodec_find_encoder_by_name(encoder.empty() ? "pcm_s16le" : encoder.c_str());
  if (codec == nullptr || sample_rate <= 0 || channels < 1 || channels > 2) {
    *error = "no such audio encoder: " + encoder;
    return nullptr;
  }
  std::unique_ptr<AudioCompressor> c(new AudioCompressor());
  c->channels_ = channels;
  c->codec_.reset(avcodec_alloc_context3(codec));
  c->frame_.reset(av_frame_alloc());
  c->packet_.reset(av_packet_alloc());
  if (!c->codec_ || !c->frame_ || !c->packet_) {
    *error = "out of memory";
    return nullptr;
  }
  AVCodecContext* ctx = c->codec_.get();
  ctx->sample_rate = sample_rate;
  ctx->sample_fmt = sample_format_for(codec);
  av_channel_layout_default(&ctx->ch_layout, channels);
  ctx->time_base = AVRational{1, sample_rate};
  if (codec->id == AV_CODEC_ID_MP3) ctx->bit_rate = channels == 2 ? 192000 : 96000;
  if (global_header) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int opened = avcodec_open2(ctx, codec, nullptr);
  if (opened < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(opened, text, sizeof text);
    *error = encoder + " refused " + std::to_string(sample_rate) + " Hz: " + text;
    return nullptr;
  }
  c->block_ = ctx->frame_size > 0 ? ctx->frame_size : 1152;
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &ctx->ch_layout, ctx->sample_fmt, sample_rate, &ctx->ch_layout,
                          AV_SAMPLE_FMT_S16, sample_rate, 0, nullptr) < 0 ||
      swr_init(swr) < 0) {
    swr_free(&swr);
    *error = "cannot convert the sound for " + encoder;
    return nullptr;
  }
  c->convert_.reset(swr);
  c->frame_->format = ctx->sample_fmt;
  c->frame_->nb_samples = c->block_;
  c->frame_->sample_rate = sample_rate;
  if (av_channel_layout_copy(&c->frame_->ch_layout, &ctx->ch_layout) < 0 ||
      av_frame_get_buffer(c->frame_.get(), 0) < 0) {
    *error = "out of memory";
    return nullptr;
  }
  return c;
}

AudioCompressor::~AudioCompressor() = default;

bool AudioCompressor::encode(const std::uint8_t* pcm, std::size_t bytes,
                             const std::function<bool(AVPacket*)>& out) {
  const std::size_t block_bytes = static_cast<std::size_t>(block_) * channels_ * 2;
  held_.insert(held_.end(), pcm, pcm + bytes);
  std::size_t used = 0;
  while (held_.size() - used >= block_bytes) {
    if (!encode_block(held_.data() + used, block_, out)) return false;
    used += block_bytes;
  }
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(used));
  return true;
}

bool AudioCompressor::finish(const std::function<bool(AVPacket*)>& out) {
  if (!held_.empty()) {
    const int samples = static_cast<int>(held_.size() / (channels_ * 2));
    const bool fixed_frames = codec_->frame_size > 0 &&
                              !(codec_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    // Encoders with fixed frames get the last one filled up with silence.
    if (fixed_frames) held_.resize(static_cast<std::size_t>(block_) * channels_ * 2, 0);
    if (samples > 0 && !encode_block(held_.data(), fixed_frames ? block_ : samples, out))
      return false;
    held_.clear();
  }
  return encode_frame(codec_.get(), nullptr, packet_.get(), out);
}

bool AudioCompressor::encode_block(const std::uint8_t* pcm, int samples,
                                   const std::function<bool(AVPacket*)>& out) {
  if (av_frame_make_writable(frame_.get()) < 0) return false;
  frame_->nb_samples = samples;
  const std::uint8_t* in[1] = {pcm};
  if (swr_convert(convert_.get(), frame_->data, samples, in, samples) != samples) return false;
  frame_->pts = next_pts_;
  next_pts_ += samples;
  return encode_frame(codec_.get(), frame_.get(), packet_.get(), out);
}

}  // namespace corvexa::platform
