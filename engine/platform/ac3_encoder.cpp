#include "platform/ac3_encoder.h"

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

struct Ac3Encoder::Impl {
  CodecHandle codec;
  FrameHandle frame;
  PacketHandle packet;
  std::int64_t next_pts = 0;
};

Ac3Encoder::~Ac3Encoder() = default;

std::unique_ptr<Ac3Encoder> Ac3Encoder::open(int sample_rate, int channels, int bit_rate) {
  if (channels < 1 || channels > 2) return nullptr;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AC3);
  if (codec == nullptr) return nullptr;
  std::unique_ptr<Ac3Encoder> e(new Ac3Encoder());
  e->impl_ = std::make_unique<Impl>();
  Impl& m = *e->impl_;
  m.codec.reset(avcodec_alloc_context3(codec));
  if (!m.codec) return nullptr;
  m.codec->sample_rate = sample_rate;
  m.codec->bit_rate = bit_rate;
  m.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&m.codec->ch_layout, channels);
  if (avcodec_open2(m.codec.get(), codec, nullptr) < 0) return nullptr;
  m.frame.reset(av_frame_alloc());
  m.packet.reset(av_packet_alloc());
  if (!m.frame || !m.packet) return nullptr;
  e->channels_ = channels;
  e->frame_samples_ = m.codec->frame_size > 0 ? m.codec->frame_size : 1536;
  return e;
}

bool Ac3Encoder::drain(std::vector<std::uint8_t>& out) {
  Impl& m = *impl_;
  while (true) {
    const int got = avcodec_receive_packet(m.codec.get(), m.packet.get());
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
    if (got < 0) return false;
    out.insert(out.end(), m.packet->data, m.packet->data + m.packet->size);
    av_packet_unref(m.packet.get());
  }
}

bool Ac3Encoder::encode(const short* const pcm[2], int frames, std::vector<std::uint8_t>& out) {
  if (frames <= 0) return true;
  if (frames > frame_samples_) return false;
  Impl& m = *impl_;
  AVFrame* f = m.frame.get();
  av_frame_unref(f);
  f->nb_samples = frame_samples_;  // a short last frame is padded with silence
  f->format = AV_SAMPLE_FMT_FLTP;
  f->sample_rate = m.codec->sample_rate;
  if (av_channel_layout_copy(&f->ch_layout, &m.codec->ch_layout) < 0) return false;
  if (av_frame_get_buffer(f, 0) < 0) return false;
  for (int ch = 0; ch < channels_; ++ch) {
    auto* plane = reinterpret_cast<float*>(f->extended_data[ch]);
    for (int i = 0; i < frame_samples_; ++i) plane[i] = i < frames ? pcm[ch][i] / 32768.0f : 0.0f;
  }
  f->pts = m.next_pts;
  m.next_pts += frame_samples_;
  if (avcodec_send_frame(m.codec.get(), f) < 0) return false;
  return drain(out);
}

bool Ac3Encoder::flush(std::vector<std::uint8_t>& out) {
  if (avcodec_send_frame(impl_->codec.get(), nullptr) < 0) return false;
  return drain(out);
}

}  // namespace corvexa::platform
