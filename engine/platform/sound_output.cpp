#include "platform/sound_output.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace corvexa::platform {

struct SoundOutput::Impl {
  pa_simple* stream = nullptr;
  ~Impl() {
    if (stream != nullptr) pa_simple_free(stream);
  }
};

std::unique_ptr<SoundOutput> SoundOutput::open(int rate, int channels) {
  if (rate <= 0 || channels < 1 || channels > 2) return nullptr;
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S16LE;
  spec.rate = static_cast<std::uint32_t>(rate);
  spec.channels = static_cast<std::uint8_t>(channels);
  // A short buffer keeps the sound close to the pictures.
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(100000, &spec));
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "Kavrol Video Convert", PA_STREAM_PLAYBACK, nullptr,
                                    "Preview", &spec, nullptr, &attr, &error);
  if (stream == nullptr) return nullptr;
  std::unique_ptr<SoundOutput> output(new SoundOutput());
  output->impl_ = std::make_unique<Impl>();
  output->impl_->stream = stream;
  return output;
}

SoundOutput::~SoundOutput() = default;

bool SoundOutput::write(const std::uint8_t* pcm, std::size_t bytes) {
  int error = 0;
  return pa_simple_write(impl_->stream, pcm, bytes, &error) >= 0;
}

void SoundOutput::discard() {
  int error = 0;
  pa_simple_flush(impl_->stream, &error);
}

}  // namespace corvexa::platform
