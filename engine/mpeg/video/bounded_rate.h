// Variable bit rate with bounds: every GOP is measured when the next one is
// reached and coded again with another quantiser when its size breaks the
// maximum, minimum or average bound.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

// Everything the coding of a GOP changes, taken at its start.
class GopSnapshot {
 public:
  // Reserves the copies; false (with the message) when memory runs out.
  bool allocate(VideoEncoder& e);
  bool take(VideoEncoder& e);
  bool restore(VideoEncoder& e);

 private:
  PictureStore stores_[7];
  std::vector<MacroblockInfo> mb_info_;
  std::vector<std::int16_t> blocks_;
  std::vector<std::uint8_t> sub_new_, sub_old_;
  std::int32_t motion_ranges_[16][8] = {};
  BitWriter::Position position_;
  Statistics stats_;
  long max_rate_offset_ = 0;
};

// Bit limits of one GOP; the defaults bound nothing.
struct GopLimits {
  double max_bits = std::numeric_limits<double>::infinity();
  double min_bits = 0;
  double allowed = std::numeric_limits<double>::infinity();  // the average bound with the bank
};

struct GopDecision {
  bool redo = false;
  bool too_large = false;
  int quantiser = 0;
};

// The measure-and-redo rule: `redone_large` tells that this GOP was already
// coded again for being too large, which rules out a redo for being small.
GopDecision decide_gop(const GopLimits& limits, double bits, int quantiser, bool redone_large);

class BoundedRate {
 public:
  // On when the rate is variable and at least one bound is given.
  static bool wanted(const WorkingSettings& s);

  // After the first sequence header: the first snapshot.
  bool start(VideoEncoder& e);
  // At coding index i where a GOP starts, or at the end of the run: measures
  // the GOP just coded. `resume` is i when it is accepted, else the GOP's
  // first index, with the stream and the stores rewound to it.
  bool gop_boundary(VideoEncoder& e, int i, int& resume);
  // The quantiser of the run is given back.
  void finish(VideoEncoder& e) const;

  int redone_gops() const { return redone_gops_; }

 private:
  GopSnapshot snapshot_;
  int gop_counter_ = 1;
  int gop_index_ = 0;
  double gop_start_bits_ = 0;
  double bank_ = 0;
  int q0_ = 0;
  bool redone_large_ = false;
  bool reported_ = false;
  bool counted_ = false;
  int redone_gops_ = 0;
};

}  // namespace corvexa::mpeg::video
