#include <cmath>

#include "mpeg/video/video_encoder.h"
#include "mpeg/video/vlc_tables.h"

namespace corvexa::mpeg::video {

namespace {

// Counts the header bits a writer adds.
class HeaderBits {
 public:
  explicit HeaderBits(VideoEncoder& e) : e_(e), start_(e.bs.bits_written()) {}
  ~HeaderBits() { e_.stats.header_bits += e_.bs.bits_written() - start_; }

 private:
  VideoEncoder& e_;
  double start_;
};

std::uint32_t header_rate_value(const VideoEncoder& e) {
  if (e.s.constant_bit_rate) return static_cast<std::uint32_t>(std::ceil(e.s.bit_rate / 400.0));
  if (e.mpeg1) return 0x3FFFF;
  return static_cast<std::uint32_t>(std::ceil(e.s.max_bit_rate / 400.0));
}

void write_matrix(BitWriter& bs, const int* matrix) {
  for (int k = 0; k < 64; ++k) bs.write_bits(static_cast<std::uint32_t>(matrix[kScan[0][k]]), 8);
}

}  // namespace

void write_sequence_header(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.write_bits(0x1B3, 32);
  bs.write_bits(static_cast<std::uint32_t>(e.horizontal_size) & 0xFFF, 12);
  bs.write_bits(static_cast<std::uint32_t>(e.vertical_size) & 0xFFF, 12);
  bs.write_bits(static_cast<std::uint32_t>(e.s.aspect_ratio_information), 4);
  int rate_code = e.s.frame_rate_code;
  if (e.s.pulldown == 1 || e.s.pulldown == 2) rate_code = rate_code == 1 ? 4 : 5;
  bs.write_bits(static_cast<std::uint32_t>(rate_code), 4);
  bs.write_bits(header_rate_value(e) & 0x3FFFF, 18);
  bs.write_bit(1);
  bs.write_bits(static_cast<std::uint32_t>(e.s.vbv_buffer_size) & 0x3FF, 10);
  bs.write_bit(static_cast<std::uint32_t>(e.s.constrained_parameters_flag));
  bs.write_bit(e.load_iquant);
  if (e.load_iquant) write_matrix(bs, e.intra_q);
  bs.write_bit(e.load_niquant);
  if (e.load_niquant) write_matrix(bs, e.inter_q);
}

void write_sequence_extension(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x1B5, 32);
  bs.write_bits(1, 4);
  bs.write_bits(static_cast<std::uint32_t>((e.s.profile << 4) | e.s.level), 8);
  bs.write_bit(static_cast<std::uint32_t>(e.s.progressive_sequence));
  bs.write_bits(static_cast<std::uint32_t>(e.s.chroma_format), 2);
  bs.write_bits(static_cast<std::uint32_t>(e.horizontal_size >> 12), 2);
  bs.write_bits(static_cast<std::uint32_t>(e.vertical_size >> 12), 2);
  bs.write_bits((header_rate_value(e) >> 18) & 0xFFF, 12);
  bs.write_bit(1);
  bs.write_bits(static_cast<std::uint32_t>(e.s.vbv_buffer_size >> 10) & 0xFF, 8);
  bs.write_bit(0);
  bs.write_bits(0, 2);
  bs.write_bits(0, 5);
}

void write_sequence_display_extension(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x1B5, 32);
  bs.write_bits(2, 4);
  bs.write_bits(static_cast<std::uint32_t>(e.s.video_format), 3);
  bs.write_bit(1);
  bs.write_bits(static_cast<std::uint32_t>(e.s.colour_primaries), 8);
  bs.write_bits(static_cast<std::uint32_t>(e.s.transfer_characteristics), 8);
  bs.write_bits(static_cast<std::uint32_t>(e.s.matrix_coefficients), 8);
  bs.write_bits(static_cast<std::uint32_t>(e.s.display_horizontal_size), 14);
  bs.write_bit(1);
  bs.write_bits(static_cast<std::uint32_t>(e.s.display_vertical_size), 14);
}

std::uint32_t gop_time_code(const EncoderSettings& s, int frame) {
  int f = s.timecode_start + frame;
  int fps;
  if (s.pulldown == 1 || s.pulldown == 2) {
    fps = 30;
    f = ((f / 2) * 5) >> 1;
  } else {
    fps = static_cast<int>(s.frame_rate + 0.5);
  }
  if (fps <= 0) fps = 1;
  const int pictures = f % fps;
  f /= fps;
  const int seconds = f % 60;
  f /= 60;
  const int minutes = f % 60;
  const int hours = (f / 60) % 24;
  return static_cast<std::uint32_t>(hours << 19 | minutes << 13 | 1 << 12 | seconds << 6 |
                                    pictures);
}

void write_gop_header(VideoEncoder& e, int frame, bool closed) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x1B8, 32);
  bs.write_bits(gop_time_code(e.s, frame), 25);
  bs.write_bit(closed);
  bs.write_bit(0);
}

void write_picture_header(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x100, 32);
  // The buffer model runs even when the header carries the fixed value: its
  // bounds still steer the picture sizes.
  const int model = e.rc->vbv_delay(e);
  const int vbv = e.s.fixed_vbv_delay ? 0xFFFF : model;
  bs.write_bits(static_cast<std::uint32_t>(e.temp_ref) & 0x3FF, 10);
  bs.write_bits(static_cast<std::uint32_t>(e.pict_type), 3);
  bs.write_bits(static_cast<std::uint32_t>(vbv) & 0xFFFF, 16);
  if (e.pict_type == kPictureP || e.pict_type == kPictureB) {
    bs.write_bit(0);
    bs.write_bits(e.mpeg1 ? static_cast<std::uint32_t>(e.f_code[0][0]) : 7u, 3);
  }
  if (e.pict_type == kPictureB) {
    bs.write_bit(0);
    bs.write_bits(e.mpeg1 ? static_cast<std::uint32_t>(e.f_code[1][0]) : 7u, 3);
  }
  bs.write_bit(0);
}

void write_picture_coding_extension(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x1B5, 32);
  bs.write_bits(8, 4);
  bs.write_bits(static_cast<std::uint32_t>(e.f_code[0][0]), 4);
  bs.write_bits(static_cast<std::uint32_t>(e.f_code[0][1]), 4);
  bs.write_bits(static_cast<std::uint32_t>(e.f_code[1][0]), 4);
  bs.write_bits(static_cast<std::uint32_t>(e.f_code[1][1]), 4);
  bs.write_bits(static_cast<std::uint32_t>(e.s.intra_dc_precision), 2);
  bs.write_bits(static_cast<std::uint32_t>(e.pict_struct), 2);
  bs.write_bit(e.pict_struct == kFramePicture ? static_cast<std::uint32_t>(e.top_field_first) : 0);
  bs.write_bit(static_cast<std::uint32_t>(e.frame_pred_dct));
  bs.write_bit(0);
  bs.write_bit(static_cast<std::uint32_t>(e.q_scale_type));
  bs.write_bit(static_cast<std::uint32_t>(e.intra_vlc_format));
  bs.write_bit(static_cast<std::uint32_t>(e.altscan));
  bs.write_bit(static_cast<std::uint32_t>(e.repeat_first_field));
  bs.write_bit(e.s.chroma_format == 1 ? static_cast<std::uint32_t>(e.progressive_frame) : 0);
  bs.write_bit(static_cast<std::uint32_t>(e.progressive_frame));
  bs.write_bit(0);
}

void write_picture_display_extension(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x1B5, 32);
  bs.write_bits(7, 4);
  bs.write_bits(static_cast<std::uint32_t>(e.s.frame_centre_horizontal_offset) & 0xFFFF, 16);
  bs.write_bit(1);
  bs.write_bits(static_cast<std::uint32_t>(e.s.frame_centre_vertical_offset) & 0xFFFF, 16);
  bs.write_bit(1);
}

void write_svcd_user_data(VideoEncoder& e) {
  HeaderBits count(e);
  BitWriter& bs = e.bs;
  bs.byte_align();
  bs.write_bits(0x1B2, 32);
  bs.write_bits(0x10, 8);
  bs.write_bits(0x0E, 8);
  for (int k = 0; k < 4; ++k) {
    bs.write_bits(0x00, 8);
    bs.write_bits(0x80, 8);
    bs.write_bits(0x80, 8);
  }
}

void write_slice_header(VideoEncoder& e, int row, int quantiser) {
  HeaderBits count(e);
  write_slice_header(e, e.bs, row, quantiser);
}

void write_slice_header(const VideoEncoder& e, BitWriter& bs, int row, int quantiser) {
  bs.byte_align();
  if (!e.mpeg1 && e.vertical_size > 2800) {
    bs.write_bits(0x101u + static_cast<std::uint32_t>(row & 127), 32);
    bs.write_bits(static_cast<std::uint32_t>(row >> 7), 3);
  } else {
    bs.write_bits(0x101u + static_cast<std::uint32_t>(row), 32);
  }
  bs.write_bits(static_cast<std::uint32_t>(code_for_quantiser(e.q_scale_type, quantiser)), 5);
  bs.write_bit(0);
}

void write_sequence_end(VideoEncoder& e) {
  HeaderBits count(e);
  e.bs.byte_align();
  e.bs.write_bits(0x1B7, 32);
}

}  // namespace corvexa::mpeg::video
