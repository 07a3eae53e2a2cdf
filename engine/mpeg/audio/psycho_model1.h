// Psychoacoustic model 1: tonal and non-tonal maskers on the standard's
// frequency lines, individual and global masking thresholds, SMR per subband.
#pragma once

#include <memory>
#include <vector>

#include "mpeg/audio/audio_tables.h"
#include "mpeg/audio/fft.h"

namespace corvexa::mpeg::audio {

class PsychoModel1 {
 public:
  // Picks the tables and clears the sample rings (silence history).
  // False for a rate without tables.
  bool reset(int layer, int sample_rate);
  // `pcm[ch]`: the frame's new samples (384 or 1152); `scf_max[ch][sb]`: the
  // largest scale factor value of the subband in this frame.
  void analyse(const short* const pcm[2], int channels, const double scf_max[2][32],
               double smr[2][32]);

 private:
  struct Component {
    int entry;     // index into the frequency-line table
    double level;  // dB
  };
  void analyse_channel(const double scf_max[32], double smr[32], int ch);

  int layer_ = 2;
  int fft_size_ = 1024;
  int ring_size_ = 1408;
  int new_samples_ = 1152;
  int ring_pos_ = 0;
  const Model1Table* table_ = nullptr;
  std::unique_ptr<Fft> fft_;
  std::vector<double> ring_[2];
  std::vector<double> window_, input_, re_, im_, spectrum_;
  std::vector<int> line_to_entry_;
  std::vector<char> masked_;
  std::vector<Component> tonal_, noise_;
  std::vector<double> threshold_power_;  // per entry, linear
  std::vector<double> abs_power_;        // per entry, linear
};

}  // namespace corvexa::mpeg::audio
