// Radix-2 FFT of real input for the psychoacoustic models, with precomputed
// twiddle factors and bit-reversal permutation.
#pragma once

#include <vector>

namespace corvexa::mpeg::audio {

class Fft {
 public:
  // `size` a power of two (512 or 1024 here).
  explicit Fft(int size);
  int size() const { return size_; }
  // Transforms `input` (size values) into re/im for lines 0..size/2.
  void transform(const double* input, double* re, double* im);

 private:
  int size_;
  std::vector<int> bit_reverse_;
  std::vector<double> cos_, sin_;  // size/2 twiddles of the full transform
  std::vector<double> work_re_, work_im_;
};

}  // namespace corvexa::mpeg::audio
