#include <algorithm>
#include <cmath>

#include "mpeg/video/bounded_rate.h"

namespace corvexa::mpeg::video {

GopDecision decide_gop(const GopLimits& limits, double bits, int q, bool redone_large) {
  GopDecision d;
  d.quantiser = q;
  const bool large = (bits > limits.max_bits || bits > limits.allowed) && q < 31;
  // Once coarser for being too large, a GOP is not made finer again: the two
  // bounds could otherwise chase each other for ever.
  const bool small = bits < limits.min_bits && !redone_large && q > 1;
  if (small) {
    const double target = std::min(limits.min_bits, limits.allowed);
    int next = target > 0 ? static_cast<int>(std::floor(bits / target * q + 0.5)) + 1 : q;
    if (next >= q) next = q - 1;
    d.quantiser = std::clamp(next, 1, 31);
    d.redo = true;
  } else if (large) {
    const double target = std::min(limits.max_bits, limits.allowed);
    int next = target > 0 ? static_cast<int>(std::min(std::floor(bits / target * q + 0.5), 31.0)) : 31;
    if (next <= q) next = q + 1;
    d.quantiser = std::clamp(next, 1, 31);
    d.too_large = true;
    d.redo = true;
  }
  return d;
}

bool BoundedRate::wanted(const WorkingSettings& s) {
  return !s.constant_bit_rate && (s.max_bit_rate > 0 || s.avg_bit_rate > 0 || s.min_bit_rate > 0);
}

bool BoundedRate::start(VideoEncoder& e) {
  if (!snapshot_.allocate(e)) return false;
  if (!snapshot_.take(e)) {
    report_message(e.ctx, "Unable to save the video stream position.");
    return false;
  }
  q0_ = e.s.vbr_mquant;
  gop_counter_ = 1;
  gop_index_ = 0;
  gop_start_bits_ = e.bs.bits_written();
  bank_ = e.s.avg_bit_rate > 0 ? 40000000.0 : 0.0;
  return true;
}

bool BoundedRate::gop_boundary(VideoEncoder& e, int i, int& resume) {
  const WorkingSettings& s = e.s;
  // The limits follow the pictures the GOP really holds: the first and the
  // last GOP are shorter than gop_size.
  const int n = std::max(1, i - gop_index_);
  const double fr = s.frame_rate;
  const double bits = e.bs.bits_written() - gop_start_bits_;
  const double avg_gop = std::floor(n * s.avg_bit_rate / fr);
  GopLimits limits;
  if (s.max_bit_rate > 0) limits.max_bits = std::floor(n * s.max_bit_rate / fr);
  if (s.min_bit_rate > 0) limits.min_bits = std::floor(n * s.min_bit_rate / fr);
  if (s.avg_bit_rate > 0) limits.allowed = std::floor(bank_ / (fr * 10 / n) + avg_gop);

  const int q = s.vbr_mquant;
  if (s.verbose) {
    const unsigned rate = static_cast<unsigned>(bits * fr / n);
    if (!reported_)
      report_message(e.ctx, "  GOP #%5d, bitrate = %u, act mquant = %d", gop_counter_, rate, q);
    else
      report_message(e.ctx, "              bitrate = %u, new mquant = %d", rate, q);
  }
  reported_ = true;

  const GopDecision d = decide_gop(limits, bits, q, redone_large_);
  if (d.redo) {
    if (d.too_large) redone_large_ = true;
    if (!counted_) ++redone_gops_;
    counted_ = true;
    e.s.vbr_mquant = d.quantiser;
    if (!snapshot_.restore(e)) {
      report_message(e.ctx, "Unable to rewind the video stream to the start of GOP #%d.", gop_counter_);
      return false;
    }
    resume = gop_index_;
    return true;
  }

  redone_large_ = reported_ = counted_ = false;
  ++gop_counter_;
  if (s.avg_bit_rate > 0) bank_ += avg_gop - bits;
  gop_index_ = i;
  gop_start_bits_ = e.bs.bits_written();
  e.s.vbr_mquant = q0_;
  if (i < e.nframes && !snapshot_.take(e)) {
    report_message(e.ctx, "Unable to save the video stream position.");
    return false;
  }
  resume = i;
  return true;
}

void BoundedRate::finish(VideoEncoder& e) const { e.s.vbr_mquant = q0_; }

}  // namespace corvexa::mpeg::video
