// Sound to the desktop's sound service (PulseAudio, or PipeWire through its
// PulseAudio service): 16-bit interleaved PCM, written as it plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace corvexa::platform {

class SoundOutput {
 public:
  // Null when no sound service or device answers.
  static std::unique_ptr<SoundOutput> open(int rate, int channels);
  ~SoundOutput();
  // Blocks while the device's buffer is full; false when the device has
  // gone, after which nothing more should be written.
  bool write(const std::uint8_t* pcm, std::size_t bytes);
  // Forgets what is buffered and not yet played.
  void discard();

 private:
  SoundOutput() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvexa::platform
