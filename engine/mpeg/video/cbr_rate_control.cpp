// Constant-rate control in three stages: a bit target per picture from the
// global complexities of the picture types, a virtual buffer per type that
// sets the quantiser, and a per-macroblock modulation by spatial activity.
// The VBV model bounds the targets and forces stuffing for small pictures.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "mpeg/video/rate_control.h"
#include "mpeg/video/vbv_model.h"
#include "mpeg/video/video_encoder.h"
#include "mpeg/video/vlc_tables.h"

namespace corvexa::mpeg::video {

namespace {

double block_variance(const std::uint8_t* p, int stride) {
  int sum = 0, squares = 0;
  for (int y = 0; y < 8; ++y, p += stride)
    for (int x = 0; x < 8; ++x) {
      sum += p[x];
      squares += p[x] * p[x];
    }
  const double mean = sum / 64.0;
  return squares / 64.0 - mean * mean;
}

int non_linear_value(int k) { return kNonLinearScale[non_linear_code(std::clamp(k, 1, 112))]; }

class ConstantRate final : public RateControl {
 public:
  void sequence_start(VideoEncoder& e) override;
  void gop_start(VideoEncoder& e, int np, int nb) override;
  void picture_start(VideoEncoder& e) override;
  int vbv_delay(VideoEncoder& e) override { return vbv_.update(e); }
  int slice_quantiser(VideoEncoder& e) override;
  int macroblock_quantiser(VideoEncoder& e, int j) override;
  void record_quantiser(VideoEncoder&, int q) override {
    last_mquant_ = q;
    quantiser_sum_ += q;
  }
  void picture_end(VideoEncoder& e) override;

 private:
  void measure_activity(VideoEncoder& e);

  VbvModel vbv_;
  double R_ = 0, T_ = 0, d_ = 0, picture_start_bits_ = 0;
  double frame_floor_ = 0;
  // Whole numbers, held as doubles: at the highest rates they pass 2^31.
  double r_ = 1;
  double Xi_ = 0, Xp_ = 0, Xb_ = 0;
  double d0i_ = 0, d0p_ = 0, d0b_ = 0;
  int Np_ = 0, Nb_ = 0;
  double avg_act_ = 400.0, activity_sum_ = 0, quantiser_sum_ = 0;
  int last_mquant_ = 0;
};

double pick(int setting, double computed) {
  return setting != 0 ? setting : std::floor(computed + 0.5);
}

void ConstantRate::sequence_start(VideoEncoder& e) {
  const WorkingSettings& s = e.s;
  vbv_.start(e);
  frame_floor_ = std::floor(s.bit_rate / (3 * s.frame_rate) + 0.5);
  r_ = std::max(1.0, pick(s.reaction_parameter, 2 * s.bit_rate / s.frame_rate));
  avg_act_ = s.init_avg_act != 0 ? s.init_avg_act : 400.0;
  Xi_ = pick(s.init_xi, s.bit_rate * 160 / 115);
  Xp_ = pick(s.init_xp, s.bit_rate * 60 / 115);
  Xb_ = pick(s.init_xb, s.bit_rate * 42 / 115);
  d0i_ = pick(s.init_d0i, r_ * 10.0 / 31);
  d0p_ = pick(s.init_d0p, r_ * 10.0 / 31);
  d0b_ = pick(s.init_d0b, r_ * 14.0 / 31);
  R_ = 0;
  last_mquant_ = 0;
}

void ConstantRate::gop_start(VideoEncoder& e, int np, int nb) {
  const WorkingSettings& s = e.s;
  // Savings are not carried into the next GOP, an overspend is.
  if (R_ > 0) R_ = 0;
  R_ += std::floor(s.bit_rate / s.frame_rate * (np + 1 + nb) + 0.5);
  // Field pictures count each field.
  Np_ = s.field_pictures ? 2 * np + 1 : np;
  Nb_ = s.field_pictures ? 2 * nb : nb;
  d0i_ = std::max(d0i_, static_cast<double>(s.init_d0i));
  if (s.reset_pb_fullness) {
    d0p_ = s.init_d0p;
    d0b_ = s.init_d0b;
  } else {
    d0p_ = std::max(d0p_, static_cast<double>(s.init_d0p));
    d0b_ = std::max(d0b_, static_cast<double>(s.init_d0b));
  }
}

void ConstantRate::picture_start(VideoEncoder& e) {
  const double xi = std::max(Xi_, 1.0), xp = std::max(Xp_, 1.0), xb = std::max(Xb_, 1.0);
  switch (e.pict_type) {
    case kPictureI:
      T_ = std::floor(R_ / (1 + Np_ * xp / xi + Nb_ * xb / (1.4 * xi)) + 0.5);
      d_ = d0i_;
      break;
    case kPictureP:
      T_ = std::floor(R_ / std::max(Np_ + Nb_ * xb / (1.4 * xp), 1e-9) + 0.5);
      d_ = d0p_;
      break;
    default:
      T_ = std::floor(R_ / std::max(Nb_ + 1.4 * Np_ * xp / xb, 1e-9) + 0.5);
      d_ = d0b_;
      break;
  }
  T_ = std::min(T_, vbv_.max_picture_bits());
  T_ = std::max(T_, vbv_.min_picture_bits());
  if (R_ <= 0 || (T_ / R_ > 0.9 && T_ < frame_floor_)) T_ = frame_floor_;
  picture_start_bits_ = e.bs.bits_written();
  quantiser_sum_ = 0;
  activity_sum_ = 0;
  measure_activity(e);
}

// Activity of a macroblock: 1 + the smallest variance of its luma blocks,
// also of its field blocks where the frame may be coded with field DCT.
void ConstantRate::measure_activity(VideoEncoder& e) {
  const int stride = e.line_stride;
  const std::uint8_t* base = e.cur_org->plane[0].data();
  if (e.pict_struct == kBottomField) base += e.coded_width;
  const bool fields = e.pict_struct == kFramePicture && !e.s.progressive_sequence;
  int index = 0;
  for (int j = 0; j < e.mb_rows_pic; ++j)
    for (int i = 0; i < e.mb_cols; ++i, ++index) {
      const std::uint8_t* p = base + static_cast<std::size_t>(16 * j) * stride + 16 * i;
      double least = 1e300;
      for (int b = 0; b < 4; ++b)
        least = std::min(least, block_variance(p + 8 * (b & 1) + static_cast<std::size_t>(8 * (b >> 1)) * stride, stride));
      if (fields)
        for (int b = 0; b < 4; ++b)
          least = std::min(least, block_variance(p + 8 * (b & 1) + (b >> 1) * stride, 2 * stride));
      e.mb_info[static_cast<std::size_t>(index)].activity = 1.0 + least;
    }
}

int ConstantRate::slice_quantiser(VideoEncoder& e) {
  int q;
  if (!e.q_scale_type) {
    q = 2 * static_cast<int>(std::clamp(std::floor(d_ * 31 / r_ + 0.5), 1.0, 31.0));
    last_mquant_ = q;
  } else {
    q = non_linear_value(static_cast<int>(std::clamp(std::floor(d_ * 62 / r_ + 0.5), 1.0, 112.0)));
  }
  count_quantiser(e.stats, q);
  return q;
}

int ConstantRate::macroblock_quantiser(VideoEncoder& e, int j) {
  const double mbs = static_cast<double>(e.mb_cols) * e.mb_rows_pic;
  const double dj = d_ + (e.bs.bits_written() - picture_start_bits_) - j * T_ / mbs;
  const double Qj = dj * 31 / r_;
  const double act = e.mb_info[static_cast<std::size_t>(j)].activity;
  activity_sum_ += act;
  const double n_act = (2 * act + avg_act_) / (act + 2 * avg_act_);
  int q;
  if (!e.q_scale_type) {
    const double k = std::clamp(std::floor(Qj * n_act + 0.5), 1.0, 31.0);
    q = 2 * static_cast<int>(k);
    // Small changes of a coarse quantiser cost more in the header than
    // they gain.
    if (q >= 8 && std::abs(q - last_mquant_) <= 4) q = last_mquant_;
  } else {
    q = non_linear_value(static_cast<int>(std::clamp(std::floor(2 * Qj * n_act + 0.5), 1.0, 112.0)));
  }
  count_quantiser(e.stats, q);
  return q;
}

void ConstantRate::picture_end(VideoEncoder& e) {
  Statistics& st = e.stats;
  const double mbs = static_cast<double>(e.mb_cols) * e.mb_rows_pic;
  double S = e.bs.bits_written() - picture_start_bits_;
  double padding = 0;
  if (S < vbv_.min_picture_bits()) padding = write_zero_stuffing(e.bs, vbv_.min_picture_bits() - S);
  S = e.bs.bits_written() - picture_start_bits_;
  R_ -= S;
  const double X = std::floor(S * (quantiser_sum_ / 2) / mbs + 0.5);
  d_ += S - T_;
  avg_act_ = activity_sum_ / mbs;
  const double d = std::floor(d_ + 0.5);
  switch (e.pict_type) {
    case kPictureI:
      Xi_ = X;
      d0i_ = d;
      break;
    case kPictureP:
      Xp_ = X;
      d0p_ = d;
      --Np_;
      break;
    default:
      Xb_ = X;
      d0b_ = d;
      --Nb_;
      break;
  }
  st.padding_bits += padding;
  st.max_padding_bits = std::max(st.max_padding_bits, padding);
  vbv_.picture_end(e.bs.bits_written());
}

}  // namespace

std::unique_ptr<RateControl> make_constant_rate_control() {
  return std::make_unique<ConstantRate>();
}

}  // namespace corvexa::mpeg::video
