// Psychoacoustic model 2: unpredictability-weighted tonality per threshold
// partition, spreading, pre-echo limited threshold, SMR per subband.
#pragma once

#include <memory>
#include <vector>

#include "mpeg/audio/fft.h"

namespace corvexa::mpeg::audio {

class PsychoModel2 {
 public:
  static constexpr int kFftSize = 1024;
  static constexpr int kLines = 513;

  // Builds the window, partitions and spreading function for the rate and
  // clears both channels' histories. False for a rate without tables.
  bool reset(int layer, int sample_rate_hz);
  // `pcm`: the frame's new samples of `channel` (384 or 1152).
  void analyse(const short* pcm, int channel, double smr[32]);

  int absthr_index() const { return absthr_index_; }
  int partition_count() const { return partitions_; }

 private:
  struct History {
    std::vector<double> buffer;          // the analysis buffer
    std::vector<double> r1, r2;          // magnitudes one and two calls back
    std::vector<double> u1r, u1i;        // unit phasors one call back
    std::vector<double> u2r, u2i;        // and two calls back
    std::vector<double> last_threshold;  // previous call's threshold
    bool first = true;
  };
  void granule(History& h, double smr[32]);

  int layer_ = 2;
  int absthr_index_ = 2;
  int buffer_size_ = 1056;
  int new_samples_ = 576;
  int granules_ = 2;
  int partitions_ = 0;
  const double* absthr_ = nullptr;
  std::unique_ptr<Fft> fft_;
  std::vector<double> window_;
  std::vector<int> partition_of_line_;
  std::vector<int> partition_first_, partition_lines_;
  std::vector<double> min_snr_db_;
  std::vector<double> spread_;     // [masked][masker]
  std::vector<int> spread_lo_, spread_hi_;  // non-zero masker range per partition
  std::vector<double> norm_;       // 1 / sum of the spreading row
  History history_[2];
  // Per-call scratch.
  std::vector<double> input_, re_, im_, energy_, r_, ur_, ui_, unpred_, eb_, cb_, nb_, thr_;
};

}  // namespace corvexa::mpeg::audio
