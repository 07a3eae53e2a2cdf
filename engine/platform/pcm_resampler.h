// Changes the rate of 16-bit interleaved PCM with libswresample, so that a
// source at any rate reaches the rate a disc requires without the images
// that repeating samples would fold into the upper band.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace corvexa::platform {

class PcmResampler {
 public:
  // Null when the conversion cannot be set up.
  static std::unique_ptr<PcmResampler> open(int in_rate, int out_rate, int channels);
  ~PcmResampler();

  // Converts `frames` sample frames and appends what comes out to `out`.
  bool convert(const std::uint8_t* in, int frames, std::vector<std::uint8_t>& out);
  // Appends what the filter still holds at the end of the input.
  bool flush(std::vector<std::uint8_t>& out);
  // Forgets everything, for a new run from the start.
  bool reset();

 private:
  PcmResampler() = default;
  bool run(const std::uint8_t* in, int frames, std::vector<std::uint8_t>& out);

  struct Impl;
  std::unique_ptr<Impl> impl_;
  int channels_ = 0;
};

}  // namespace corvexa::platform
