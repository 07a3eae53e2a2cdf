#include "mpeg/video/rate_control.h"

#include "mpeg/video/video_encoder.h"
#include "mpeg/video/vlc_tables.h"

namespace corvexa::mpeg::video {

int quantiser_for_code(int q_scale_type, int code) {
  if (code < 1) code = 1;
  if (code > 31) code = 31;
  return q_scale_type ? kNonLinearScale[code] : 2 * code;
}

int code_for_quantiser(int q_scale_type, int quantiser) {
  return q_scale_type ? non_linear_code(quantiser) : quantiser / 2;
}

int coarser_quantiser(int q_scale_type, int quantiser) {
  if (!q_scale_type) return quantiser < 62 ? quantiser + 2 : 62;
  const int code = non_linear_code(quantiser);
  return kNonLinearScale[code < 31 ? code + 1 : 31];
}

void count_quantiser(Statistics& st, int q) {
  if (q > st.max_mquant) st.max_mquant = q;
  if (q < st.min_mquant) st.min_mquant = q;
  st.mquant_sum += q;
  ++st.mquant_count;
}

double write_zero_stuffing(BitWriter& bs, double shortfall) {
  const double start = bs.bits_written();
  const long n = static_cast<long>(shortfall);
  for (long words = (n + 31) / 32; words > 0; --words) bs.write_bits(0, 32);
  bs.byte_align();
  return bs.bits_written() - start;
}

namespace {

class FixedQuantiser final : public RateControl {
 public:
  void sequence_start(VideoEncoder&) override {}
  void gop_start(VideoEncoder&, int, int) override {}
  void picture_start(VideoEncoder&) override {}
  // The model does not run in variable-rate streams; a fixed value stands.
  int vbv_delay(VideoEncoder&) override { return 0xFFFF; }
  int slice_quantiser(VideoEncoder& e) override { return fixed(e); }
  int macroblock_quantiser(VideoEncoder& e, int) override { return fixed(e); }
  void record_quantiser(VideoEncoder& e, int q) override { count_quantiser(e.stats, q); }
  void picture_end(VideoEncoder&) override {}
  bool rows_independent() const override { return true; }

 private:
  static int fixed(const VideoEncoder& e) {
    return quantiser_for_code(e.q_scale_type, e.s.vbr_mquant);
  }
};

}  // namespace

std::unique_ptr<RateControl> make_fixed_quantiser_control() {
  return std::make_unique<FixedQuantiser>();
}

}  // namespace corvexa::mpeg::video
