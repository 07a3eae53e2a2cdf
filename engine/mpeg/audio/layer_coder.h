// MPEG-1 audio layer I/II frame coding: frame parameters, the analysis
// filterbank, scale factors, joint stereo, bit allocation, CRC and packing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/audio/audio_tables.h"
#include "mpeg/audio/psycho_model1.h"
#include "mpeg/audio/psycho_model2.h"

namespace corvexa::mpeg {
class BitWriter;
struct EncoderContext;
struct WorkingSettings;
}  // namespace corvexa::mpeg

namespace corvexa::mpeg::audio {

inline constexpr int kMaxFrameSamples = 1152;

// Matrixing of the analysis filterbank: 32 subband samples from the 64
// windowed partial sums, s[i] = sum_k cos((2i + 1)(k - 16) pi / 64) y[k] with
// each coefficient rounded to 1e-9. The direct form is the reference; the
// folded form uses the symmetries of the cosine (a quarter of the products).
void matrix_direct(const double y[64], double s[32]);
void matrix_folded(const double y[64], double s[32]);

// Bit rates in kbit/s by layer (1, 2) and bitrate_index 0..14; 0 = free.
int bitrate_kbps(int layer, int bitrate_index);
// Header code of a sampling frequency: 0 44100, 1 48000, 2 32000; -1 other.
int sampling_frequency_code(int sample_rate);
// Layer II allocation table (0..3 = B.2a..B.2d) for a total rate and rate.
int select_alloc_table(int sample_rate, int bitrate_kbps, int channels);
// CRC-16, generator 0x8005, over `bits` low bits of `value`, MSB first.
void crc_update(std::uint16_t& crc, std::uint32_t value, int bits);

struct FrameParams {
  int layer = 2;
  int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int bitrate_index = 0;
  int sample_rate = 48000;
  int sampling_code = 1;
  int error_protection = 0;
  int private_bit = 0, copyright = 0, original = 0, emphasis = 0;
  int psych_model = 2;
  int channels = 2;
  int sblimit = 32;
  int alloc_table = -1;  // layer II only
  int samples_per_frame = 1152;
  int bits_per_slot = 8;
  int whole_slots = 0;
  double fraction = 0.0;
  double average_slots = 0.0;
};

// Fills `p` from the settings and the source rate; false (with the reason in
// `error`) when the combination cannot be coded.
bool make_frame_params(const WorkingSettings& w, int sample_rate, FrameParams& p,
                       std::string& error);

// What the last coded frame chose, for tests and statistics.
struct FrameInfo {
  int padding = 0;
  int mode = 0;
  int mode_extension = 0;
  int bound = 32;
  int frame_bits = 0;
  int bits_used = 0;  // before the zero fill
  int allocation[2][32] = {};
  double smr[2][32] = {};
};

// Samples by which the analysis and synthesis filterbanks together delay the
// decoded sound: 512 taps of the window less one block of 32, plus one.
inline constexpr int kFilterbankDelay = 481;

class LayerCoder {
 public:
  // Tables, filterbank FIFOs, model histories and the padding lag are reset.
  bool start(const FrameParams& p);
  // Codes one frame of `pcm[ch][0 .. samples_per_frame)` into `out`.
  // `ctx` receives the verbose diagnostics (may be null).
  void encode_frame(const short* const pcm[2], BitWriter& out, EncoderContext* ctx, bool verbose);
  // Before the first frame: `samples` leading samples go into the
  // filterbank's window without a frame of their own, so that the decoded
  // sound starts with them instead of kFilterbankDelay samples late.
  void prime(const short* const pcm[2], int samples);
  const FrameInfo& last_frame() const { return info_; }
  const FrameParams& params() const { return p_; }

 private:
  void filter(const short* const pcm[2]);
  void scale_factors();
  int bits_for_no_noise(int bound) const;
  void allocate(int bound, int available_bits);
  int alloc_field_bits(int bound) const;
  int max_alloc(int sb) const;
  int sample_bits(int sb, int alloc) const;
  double snr_db(int sb, int alloc) const;
  int scf_bits(int ch, int sb) const;
  void write_frame(BitWriter& out, int padding, int header_mode, int mode_extension, int bound,
                   int frame_bits, EncoderContext* ctx, bool verbose);

  FrameParams p_;
  double lag_ = 0.0;
  int blocks_ = 36;  // blocks of 32 subband samples per frame
  // Filterbank: doubled FIFO per channel and the matrixing table.
  std::vector<double> fifo_[2];
  int fifo_pos_ = 0;
  // Per frame.
  double sample_[2][36][32] = {};
  double joint_[36][32] = {};
  int scf_[2][3][32] = {};
  int joint_scf_[3][32] = {};
  int scfsi_[2][32] = {};
  int used_scf_[2][3][32] = {};  // scale factor index each part is coded with
  double scf_max_[2][32] = {};
  bool silent_[2][32] = {};
  double smr_[2][32] = {};
  int alloc_[2][32] = {};
  PsychoModel1 model1_;
  PsychoModel2 model2_;
  FrameInfo info_;
};

}  // namespace corvexa::mpeg::audio
