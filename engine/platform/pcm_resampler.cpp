#include "platform/pcm_resampler.h"

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

struct PcmResampler::Impl {
  SwrHandle swr;
};

PcmResampler::~PcmResampler() = default;

std::unique_ptr<PcmResampler> PcmResampler::open(int in_rate, int out_rate, int channels) {
  if (in_rate <= 0 || out_rate <= 0 || channels < 1 || channels > 2) return nullptr;
  std::unique_ptr<PcmResampler> r(new PcmResampler());
  r->impl_ = std::make_unique<Impl>();
  r->channels_ = channels;
  AVChannelLayout layout;
  av_channel_layout_default(&layout, channels);
  SwrContext* swr = nullptr;
  const int made = swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, out_rate, &layout,
                                       AV_SAMPLE_FMT_S16, in_rate, 0, nullptr);
  av_channel_layout_uninit(&layout);
  if (made < 0 || swr == nullptr) return nullptr;
  r->impl_->swr.reset(swr);
  if (swr_init(swr) < 0) return nullptr;
  return r;
}

bool PcmResampler::run(const std::uint8_t* in, int frames, std::vector<std::uint8_t>& out) {
  SwrContext* swr = impl_->swr.get();
  const int room = swr_get_out_samples(swr, frames);
  if (room < 0) return false;
  if (room == 0) return true;
  const std::size_t frame_bytes = 2 * static_cast<std::size_t>(channels_);
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(room) * frame_bytes);
  std::uint8_t* planes[1] = {out.data() + at};
  const std::uint8_t* inputs[1] = {in};
  const int n = swr_convert(swr, planes, room, in != nullptr ? inputs : nullptr, frames);
  if (n < 0) {
    out.resize(at);
    return false;
  }
  out.resize(at + static_cast<std::size_t>(n) * frame_bytes);
  return true;
}

bool PcmResampler::convert(const std::uint8_t* in, int frames, std::vector<std::uint8_t>& out) {
  if (frames <= 0) return true;
  return run(in, frames, out);
}

bool PcmResampler::flush(std::vector<std::uint8_t>& out) { return run(nullptr, 0, out); }

bool PcmResampler::reset() {
  SwrContext* swr = impl_->swr.get();
  swr_close(swr);
  return swr_init(swr) >= 0;
}

}  // namespace corvexa::platform
