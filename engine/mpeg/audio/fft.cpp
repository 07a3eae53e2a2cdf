#include "mpeg/audio/fft.h"

#include <cmath>

namespace corvexa::mpeg::audio {

// A real transform of N points as a complex transform of N/2 points over the
// even/odd samples, then one split step.
Fft::Fft(int size) : size_(size) {
  const int half = size / 2;
  int bits = 0;
  while ((1 << bits) < half) ++bits;
  bit_reverse_.resize(static_cast<std::size_t>(half));
  for (int i = 0; i < half; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b)
      if (i & (1 << b)) r |= 1 << (bits - 1 - b);
    bit_reverse_[static_cast<std::size_t>(i)] = r;
  }
  cos_.resize(static_cast<std::size_t>(half));
  sin_.resize(static_cast<std::size_t>(half));
  for (int k = 0; k < half; ++k) {
    cos_[static_cast<std::size_t>(k)] = std::cos(2.0 * M_PI * k / size);
    sin_[static_cast<std::size_t>(k)] = std::sin(2.0 * M_PI * k / size);
  }
  work_re_.resize(static_cast<std::size_t>(half));
  work_im_.resize(static_cast<std::size_t>(half));
}

void Fft::transform(const double* input, double* re, double* im) {
  const int half = size_ / 2;
  double* zr = work_re_.data();
  double* zi = work_im_.data();
  for (int i = 0; i < half; ++i) {
    const int r = bit_reverse_[static_cast<std::size_t>(i)];
    zr[r] = input[2 * i];
    zi[r] = input[2 * i + 1];
  }
  // Iterative butterflies of the half-size complex transform; its twiddles
  // are every second twiddle of the full size.
  for (int len = 2; len <= half; len <<= 1) {
    const int step = size_ / len;
    const int h = len / 2;
    for (int start = 0; start < half; start += len) {
      for (int k = 0; k < h; ++k) {
        const double wr = cos_[static_cast<std::size_t>(k * step)];
        const double wi = -sin_[static_cast<std::size_t>(k * step)];
        const int a = start + k, b = a + h;
        const double tr = zr[b] * wr - zi[b] * wi;
        const double ti = zr[b] * wi + zi[b] * wr;
        zr[b] = zr[a] - tr;
        zi[b] = zi[a] - ti;
        zr[a] += tr;
        zi[a] += ti;
      }
    }
  }
  // Split: X[k] = E[k] + W^k O[k], with E, O from Z[k] and conj(Z[half-k]).
  for (int k = 0; k <= half; ++k) {
    const int k1 = k % half;
    const int k2 = (half - k) % half;
    const double ar = zr[k1], ai = zi[k1];
    const double br = zr[k2], bi = -zi[k2];
    const double er = 0.5 * (ar + br), ei = 0.5 * (ai + bi);
    const double or_ = 0.5 * (ai - bi), oi = -0.5 * (ar - br);
    double wr, wi;
    if (k < half) {
      wr = cos_[static_cast<std::size_t>(k)];
      wi = -sin_[static_cast<std::size_t>(k)];
    } else {
      wr = -1.0;
      wi = 0.0;
    }
    re[k] = er + (or_ * wr - oi * wi);
    im[k] = ei + (or_ * wi + oi * wr);
  }
}

}  // namespace corvexa::mpeg::audio
