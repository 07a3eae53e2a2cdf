#include "mpeg/audio/audio_input.h"

#include <algorithm>
#include <cstring>

#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg::audio {

AudioInput::AudioInput(EncoderContext& ctx, int input_channels)
    : ctx_(ctx),
      input_channels_(input_channels),
      per_sample_(ctx.audio_input_mode == AudioInputMode::kPerSample),
      delivery_(kDeliveryLimit) {
  first_ = ctx.source.first_frame;
  last_ = ctx.source.last_frame;
  next_ = first_;
}

void AudioInput::finish(bool early) {
  if (ended_) return;
  ended_ = true;
  // The caller learns that the stage's input ended before its range did.
  if (early)
    report_progress(ctx_, -1, per_sample_ ? "Audio: %d%% - sample %d of %d." : "Audio: %d%% - frame %d of %d.",
                    last_percent_, delivered_, last_ - first_ + 1);
}

bool AudioInput::next_delivery(int wanted_samples) {
  if (ended_) return false;
  if (next_ > last_ || ctx_.frames == nullptr) {
    finish(ctx_.frames == nullptr);
    return false;
  }
  const std::uint8_t* data = nullptr;
  int bytes = 0;
  int step = 1;
  int code;
  if (per_sample_) {
    const int wanted = std::min(wanted_samples, last_ - next_ + 1);
    code = ctx_.frames->GetAudioSamples(next_, wanted, data, bytes, step);
  } else {
    code = ctx_.frames->GetAudio(next_, data, bytes, step);
  }
  if (code == 50) {
    finish(true);
    return false;
  }
  if (code != 0) {
    if (next_ < last_) {
      report_message(ctx_, per_sample_ ? "  Could not get audio data at sample %d, error code %d."
                                       : "  Could not get audio data at frame %d, error code %d.",
                     next_, code);
      failed_ = true;
    }
    finish(next_ < last_);
    return false;
  }
  if (bytes > kDeliveryLimit) {
    report_message(ctx_, "Returned buffer size is greater than temporary audio buffer size.");
    // What follows the refused block would be lost: the stage fails.
    failed_ = true;
    finish(true);
    return false;
  }
  if (bytes <= 0 || data == nullptr) {
    finish(true);
    return false;
  }
  std::memcpy(delivery_.data(), data, static_cast<std::size_t>(bytes));
  delivery_size_ = bytes;
  delivery_pos_ = 0;
  if (per_sample_) {
    step = std::max(1, step);
    next_ += step;
    delivered_ += step;
  } else {
    // A block may stand for several video frames (repeated frames).
    step = std::max(1, step);
    next_ += step;
    delivered_ += step;
  }
  const int count = last_ - first_ + 1;
  const long long percent = count > 0 ? static_cast<long long>(delivered_) * 100 / count : 99;
  last_percent_ = static_cast<int>(std::min<long long>(99, percent));
  report_progress(ctx_, last_percent_,
                  per_sample_ ? "Audio: %d%% - sample %d of %d." : "Audio: %d%% - frame %d of %d.",
                  last_percent_, std::min(delivered_, count), count);
  return true;
}

int AudioInput::fetch(short* const pcm[2], int samples, int coded_channels) {
  const int frame_size = 2 * input_channels_;
  const int need = samples * frame_size;
  frame_bytes_.assign(static_cast<std::size_t>(need), 0);
  int copied = 0;
  while (copied < need) {
    if (delivery_pos_ >= delivery_size_) {
      if (!next_delivery((need - copied + frame_size - 1) / frame_size)) break;
    }
    const int take = std::min(need - copied, delivery_size_ - delivery_pos_);
    std::memcpy(frame_bytes_.data() + copied, delivery_.data() + delivery_pos_, static_cast<std::size_t>(take));
    copied += take;
    delivery_pos_ += take;
  }
  if (copied < 2) return 0;
  const std::uint8_t* b = frame_bytes_.data();
  auto value = [b](int index) {
    return static_cast<short>(static_cast<std::uint16_t>(b[2 * index] | (b[2 * index + 1] << 8)));
  };
  for (int i = 0; i < samples; ++i) {
    if (input_channels_ == 2) {
      const short l = value(2 * i), r = value(2 * i + 1);
      if (coded_channels == 2) {
        pcm[0][i] = l;
        pcm[1][i] = r;
      } else {
        pcm[0][i] = static_cast<short>((l + r) >> 1);
      }
    } else {
      const short m = value(i);
      pcm[0][i] = m;
      if (coded_channels == 2) pcm[1][i] = m;
    }
  }
  return (copied + frame_size - 1) / frame_size;
}

}  // namespace corvexa::mpeg::audio
