#include "mpeg/video/vbv_model.h"

#include <cmath>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

void VbvModel::start(const VideoEncoder& e) {
  vbv_max_delay_ = (1474560000.0 / e.s.bit_rate) * e.s.vbv_buffer_size;
  decoding_time_ = 0;
  bitcnt_eop_ = 0;
  ip_delay_ = 0;
  min_bits_ = 0;
  max_bits_ = 999999999;
  pictures_ = 0;
}

// How long the picture is shown, in 90 kHz ticks: the delay until the
// picture after it is decoded.
double VbvModel::display_delay(const VideoEncoder& e, bool field_rules) const {
  const WorkingSettings& s = e.s;
  const double fr = s.pulldown ? 29.97 : s.frame_rate;
  if (!s.progressive_sequence) {
    if (field_rules) return 90000.0 / (2 * s.frame_rate);
    return (e.repeat_first_field ? 270000.0 : 180000.0) / (2 * fr);
  }
  if (!e.repeat_first_field) return 90000.0 / s.frame_rate;
  return (e.top_field_first ? 270000.0 : 180000.0) / s.frame_rate;
}

int VbvModel::update(VideoEncoder& e) {
  const WorkingSettings& s = e.s;
  Statistics& st = e.stats;
  const double rate = s.bit_rate;
  const double bitcount = e.bs.bits_written();
  const bool field = e.pict_struct != kFramePicture;
  const bool second_field =
      field && e.pict_struct != (e.top_field_first ? kTopField : kBottomField);
  const double half_frame = 90000.0 / (2 * s.frame_rate);

  // An I or P picture waits for the display of the reference before it.
  double delay;
  if (e.pict_type == kPictureB) {
    delay = display_delay(e, field);
  } else if (!field) {
    delay = ip_delay_;
    ip_delay_ = display_delay(e, false);
  } else if (!second_field) {
    delay = half_frame;
  } else {
    delay = ip_delay_ - half_frame;
    ip_delay_ = display_delay(e, false);
  }
  if (pictures_ == 0) {
    // The first picture waits for a buffer seven-eighths full.
    delay = 90000.0 / rate * (7.0 / 8.0 * s.vbv_buffer_size * 16384.0);
    if (field) ip_delay_ = std::floor(90000.0 / s.frame_rate + 0.5);
  }

  const bool tested = !s.skip_vbv_check && !s.fixed_vbv_delay;
  bool underflow = false, overflow = false;
  const double t_eop = bitcnt_eop_ * 90000.0 / rate;
  if (tested && decoding_time_ < t_eop) {
    underflow = true;
    ++st.vbv_underflows;
    if (s.verbose)
      report_message(e.ctx,
                     "vbv_delay underflow! (decoding_time=%.1f, t_EOP=%.1f, bitcount=%.1f, frame=%d)",
                     decoding_time_, t_eop, bitcount, pictures_);
  }
  decoding_time_ += delay;
  ++pictures_;

  const double v = std::floor(decoding_time_ - t_eop);
  if (tested && v > vbv_max_delay_) {
    overflow = true;
    ++st.vbv_overflows;
    if (s.verbose)
      report_message(e.ctx,
                     "vbv_delay overflow! (decoding_time=%.1f, bitcnt_EOP=%.1f, bit_rate=%.1f, "
                     "vbv_buffer_size=%d, bitcount=%.1f, frame=%d)",
                     decoding_time_, bitcnt_eop_, rate, s.vbv_buffer_size, bitcount, pictures_);
  }

  double vbv_delay = std::floor(decoding_time_ - bitcount * 90000.0 / rate);
  min_bits_ = 8 * std::floor(((2 / s.frame_rate + (vbv_delay - vbv_max_delay_) / 90000.0) * rate + 7) / 8);
  if (min_bits_ < 0) min_bits_ = 0;
  max_bits_ = 8 * std::floor((rate * decoding_time_ / 90000.0 - bitcount) / 8) - 100;

  if (vbv_delay < 0) {
    if (!s.fixed_vbv_delay && !underflow) {
      ++st.vbv_underflows;
      if (s.verbose)
        report_message(e.ctx, "vbv_delay underflow=%d, bitcount=%.1f, frame=%d",
                       static_cast<int>(vbv_delay), bitcount, pictures_);
    }
    vbv_delay = 0;
  } else if (vbv_delay > 65535) {
    if (!s.fixed_vbv_delay && !overflow) {
      ++st.vbv_overflows;
      if (s.verbose)
        report_message(e.ctx, "vbv_delay overflow=%d, bitcount=%.1f, frame=%d",
                       static_cast<int>(vbv_delay), bitcount, pictures_);
    }
    vbv_delay = 65535;
  }
  return static_cast<int>(vbv_delay);
}

void VbvModel::picture_end(double bitcount) { bitcnt_eop_ = 8 * std::floor((bitcount + 7) / 8); }

}  // namespace corvexa::mpeg::video
