// Rate control as the picture loop sees it: hooks at sequence, GOP, picture
// and macroblock level. The variable-rate fixed-quantiser mode lives here; the
// constant-rate control (cbr_rate_control.cpp) sits behind the same interface.
#pragma once

#include <memory>

#include "mpeg/video/bit_writer.h"

namespace corvexa::mpeg::video {

struct VideoEncoder;
struct Statistics;

class RateControl {
 public:
  virtual ~RateControl() = default;
  virtual void sequence_start(VideoEncoder& enc) = 0;
  virtual void gop_start(VideoEncoder& enc, int np, int nb) = 0;
  virtual void picture_start(VideoEncoder& enc) = 0;
  // At the picture start code (also when the header carries a fixed value):
  // the vbv_delay for the header.
  virtual int vbv_delay(VideoEncoder& enc) = 0;
  virtual int slice_quantiser(VideoEncoder& enc) = 0;
  virtual int macroblock_quantiser(VideoEncoder& enc, int j) = 0;
  virtual void record_quantiser(VideoEncoder& enc, int q) = 0;
  virtual void picture_end(VideoEncoder& enc) = 0;
  // True when the quantisers do not depend on the bits written so far, so
  // the macroblocks of a picture may be coded in any order.
  virtual bool rows_independent() const { return false; }
};

// Every macroblock and slice at 2 x vbr_mquant (linear) or the non-linear
// scale value at vbr_mquant.
std::unique_ptr<RateControl> make_fixed_quantiser_control();

// Constant bit rate: targets per picture from the global complexities, a
// virtual buffer per picture type, macroblock quantisers modulated by spatial
// activity, all bounded by the VBV model.
std::unique_ptr<RateControl> make_constant_rate_control();

// Adds q to the run's quantiser figures.
void count_quantiser(Statistics& st, int q);

// Writes whole 32-bit zero words covering `shortfall` bits, then aligns to a
// byte; returns the bits written.
double write_zero_stuffing(BitWriter& bs, double shortfall);

// Quantiser held in the macroblock records for a scale code.
int quantiser_for_code(int q_scale_type, int code);
// quantiser_scale_code written for a held quantiser.
int code_for_quantiser(int q_scale_type, int quantiser);
// The next coarser quantiser of the scale; the largest stays.
int coarser_quantiser(int q_scale_type, int quantiser);

}  // namespace corvexa::mpeg::video
