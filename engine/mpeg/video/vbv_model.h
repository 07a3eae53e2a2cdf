// Decoder buffer model of a constant-rate stream: the decoding time of every
// picture, the vbv_delay written into its header and the size bounds that
// keep the following pictures inside the buffer.
#pragma once

namespace corvexa::mpeg::video {

struct VideoEncoder;

class VbvModel {
 public:
  void start(const VideoEncoder& e);
  // Runs at the picture start code; returns the vbv_delay for the header,
  // clamped to 0 ... 65535. Violations are counted in the statistics.
  int update(VideoEncoder& e);
  // After the picture's last bit.
  void picture_end(double bitcount);

  double min_picture_bits() const { return min_bits_; }
  double max_picture_bits() const { return max_bits_; }
  double vbv_max_delay() const { return vbv_max_delay_; }

 private:
  double display_delay(const VideoEncoder& e, bool field_rules) const;

  double vbv_max_delay_ = 0;
  double decoding_time_ = 0;
  double bitcnt_eop_ = 0;
  double ip_delay_ = 0;
  double min_bits_ = 0;
  double max_bits_ = 999999999;
  int pictures_ = 0;
};

}  // namespace corvexa::mpeg::video
