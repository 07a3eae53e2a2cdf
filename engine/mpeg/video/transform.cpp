#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mpeg/video/video_encoder.h"
#include "mpeg/video/prediction.h"
#include "mpeg/video/vlc_tables.h"

namespace corvexa::mpeg::video {

namespace {

// 64 values 1..255 read with "%d". 0 = fine, 1 = cannot open, 2 = bad value.
int read_matrix(const char* name, int* out) {
  std::FILE* f = std::fopen(name, "r");
  if (f == nullptr) return 1;
  int result = 0;
  for (int k = 0; k < 64; ++k) {
    int v = 0;
    if (std::fscanf(f, "%d", &v) != 1 || v < 1 || v > 255) {
      result = 2;
      break;
    }
    out[k] = v;
  }
  std::fclose(f);
  return result;
}

}  // namespace

bool load_quant_matrices(VideoEncoder& e) {
  const char* intra = e.s.intra_matrix_file;
  if (intra[0] != '\0') {
    e.load_iquant = true;
    const int r = read_matrix(intra, e.intra_q);
    if (r == 1) report_message(e.ctx, "Could not open intra quant matrix file %s.", intra);
    if (r == 2) report_message(e.ctx, "Invalid value in intra quant matrix file %s.", intra);
    if (r != 0) return false;
  } else {
    e.load_iquant = false;
    for (int k = 0; k < 64; ++k) e.intra_q[k] = kDefaultIntraMatrix[k];
  }
  const char* inter = e.s.non_intra_matrix_file;
  if (inter[0] == '\0') {
    // The ramp differs from the standard's flat default, so it is sent:
    // otherwise decoders would rebuild non-intra blocks with another matrix.
    e.load_niquant = true;
    for (int k = 0; k < 64; ++k) e.inter_q[k] = kRampNonIntraMatrix[k];
  } else if (std::strcmp(inter, "mpeg default") == 0) {
    e.load_niquant = false;
    for (int k = 0; k < 64; ++k) e.inter_q[k] = 16;
  } else {
    e.load_niquant = true;
    const int r = read_matrix(inter, e.inter_q);
    if (r == 1) report_message(e.ctx, "Could not open non-intra quant matrix file %s.", inter);
    if (r == 2) report_message(e.ctx, "Invalid value in non-intra quant matrix file %s.", inter);
    if (r != 0) return false;
  }
  e.fast_quant = true;
  for (int k = 0; k < 64; ++k) {
    e.inter_q16[k] = static_cast<std::uint16_t>(e.inter_q[k]);
    if (e.inter_q[k] < 2) e.fast_quant = false;
    e.inter_recip[k] = static_cast<std::uint16_t>(e.inter_q[k] < 2 ? 0 : 65536 / e.inter_q[k]);
  }
  return true;
}

bool quantise_non_intra_block(const VideoEncoder& e, const std::int16_t* in, std::int16_t* out,
                              int mquant) {
  if (e.fast_quant && e.ctx.kernel_class > 0 && mquant > 1) {
    bool nonzero = false;
    if (e.k.quantise_non_intra_fast(in, out, e.inter_q16, e.inter_recip, mquant,
                                    e.mpeg1 ? 255 : 2047, &nonzero))
      return nonzero;
  }
  return quantise_non_intra(in, out, e.inter_q, mquant, e.mpeg1);
}

namespace {

// Chroma vector for a luma component by the chroma format.
inline int chroma_vec(int v, bool halve) { return halve ? v / 2 : v; }

void predict_macroblock(VideoEncoder& e, const PictureStore& ref, int dir, const MacroblockInfo& mb,
                        int bx, int by, bool average) {
  const int cf = e.s.chroma_format;
  const bool half_x = cf != 3, half_y = cf == 1;
  const int cw = e.chroma_width;
  const int cbx = half_x ? bx / 2 : bx, cby = half_y ? by / 2 : by;
  const int cbw = half_x ? 8 : 16, cbh = half_y ? 8 : 16;
  if (mb.motion_type == kMcFrame) {
    const int dx = mb.mv[0][dir][0], dy = mb.mv[0][dir][1];
    e.k.pred_comp(ref.plane[0].data(), e.pred.plane[0].data(), e.coded_width, 16, 16, bx, by, dx, dy,
              average);
    for (int c = 1; c < 3; ++c)
      e.k.pred_comp(ref.plane[c].data(), e.pred.plane[c].data(), cw, cbw, cbh, cbx, cby,
                chroma_vec(dx, half_x), chroma_vec(dy, half_y), average);
  } else if (mb.motion_type == kMcField) {
    for (int field = 0; field < 2; ++field) {
      const int sel = mb.field_select[field][dir];
      const int dx = mb.mv[field][dir][0], dy = mb.mv[field][dir][1];
      e.k.pred_comp(ref.plane[0].data() + (sel ? e.coded_width : 0),
                e.pred.plane[0].data() + (field ? e.coded_width : 0), 2 * e.coded_width, 16, 8,
                bx, by / 2, dx, dy, average);
      for (int c = 1; c < 3; ++c)
        e.k.pred_comp(ref.plane[c].data() + (sel ? cw : 0), e.pred.plane[c].data() + (field ? cw : 0),
                  2 * cw, cbw, cbh / 2, cbx, cby / 2, chroma_vec(dx, half_x),
                  chroma_vec(dy, half_y), average);
    }
  } else if (mb.motion_type == kMcDualPrime) {
    predict_dual_prime_frame(e, mb, bx, by);
  } else {
    report_message(e.ctx, "Invalid motion_type.");
  }
}

void fill_block(PictureStore& p, const VideoEncoder& e, int bx, int by, std::uint8_t value) {
  const int cf = e.s.chroma_format;
  for (int j = 0; j < 16; ++j)
    std::memset(p.plane[0].data() + (by + j) * e.coded_width + bx, value, 16);
  const int cbx = cf != 3 ? bx / 2 : bx, cby = cf == 1 ? by / 2 : by;
  const int cbw = cf != 3 ? 8 : 16, cbh = cf == 1 ? 8 : 16;
  for (int c = 1; c < 3; ++c)
    for (int j = 0; j < cbh; ++j)
      std::memset(p.plane[c].data() + (cby + j) * e.chroma_width + cbx, value,
                  static_cast<std::size_t>(cbw));
}

// Where block k of the macroblock at (bx, by) lives: plane, offset, stride.
struct BlockPlace {
  int comp;
  std::size_t offset;
  int stride;
};

// In field pictures (by counted in field lines) the lines of the current
// field only: they start one line down for the bottom field and lie two
// frame lines apart; field DCT exists in frame pictures only.
BlockPlace block_place(const VideoEncoder& e, int k, int bx, int by, int dct_type) {
  const int w = e.coded_width;
  const bool frame = e.pict_struct == kFramePicture;
  const int lw = frame ? w : e.line_stride;
  const std::size_t base = e.pict_struct == kBottomField ? static_cast<std::size_t>(w) : 0;
  if (k < 4) {
    if (dct_type)
      return {0, static_cast<std::size_t>((by + (k >> 1)) * w + bx + (k & 1) * 8), 2 * w};
    return {0, base + static_cast<std::size_t>((by + (k >> 1) * 8) * lw + bx + (k & 1) * 8), lw};
  }
  const int c = k - 4;
  const int comp = 1 + (c & 1);
  const int cw = e.chroma_width;
  const int lc = frame ? cw : e.chroma_stride;
  const std::size_t cbase = e.pict_struct == kBottomField ? static_cast<std::size_t>(cw) : 0;
  const int cf = e.s.chroma_format;
  if (cf == 1) return {comp, cbase + static_cast<std::size_t>((by / 2) * lc + bx / 2), lc};
  int cx = cf == 2 ? bx / 2 : bx;
  int pair = c >> 1;
  int col = cf == 3 ? (pair >> 1) : 0;
  int row = cf == 3 ? (pair & 1) : pair;
  cx += col * 8;
  if (dct_type) return {comp, static_cast<std::size_t>((by + row) * cw + cx), 2 * cw};
  return {comp, cbase + static_cast<std::size_t>((by + row * 8) * lc + cx), lc};
}

void predict_row(VideoEncoder& e, int j) {
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    const MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    const int bx = 16 * i, by = 16 * j;
    if (mb.mb_type & kMbIntra) {
      fill_block(e.pred, e, bx, by, 128);
      continue;
    }
    if (e.pict_type == kPictureP) {
      predict_macroblock(e, e.old_ref, 0, mb, bx, by, false);
    } else {
      bool have = false;
      if (mb.mb_type & kMbForward) {
        predict_macroblock(e, e.old_ref, 0, mb, bx, by, false);
        have = true;
      }
      if (mb.mb_type & kMbBackward) predict_macroblock(e, e.new_ref, 1, mb, bx, by, have);
    }
  }
}

void choose_dct_type_row(VideoEncoder& e, int j) {
  const int w = e.coded_width;
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    if (e.frame_pred_dct || e.pict_struct != kFramePicture) {
      mb.dct_type = 0;
      continue;
    }
    const std::uint8_t* org = e.cur_org->plane[0].data() + 16 * j * w + 16 * i;
    const std::uint8_t* prd = e.pred.plane[0].data() + 16 * j * w + 16 * i;
    double st = 0, sb = 0, stt = 0, sbb = 0, stb = 0;
    for (int y = 0; y < 16; y += 2) {
      for (int x = 0; x < 16; ++x) {
        const double t = org[y * w + x] - prd[y * w + x];
        const double b = org[(y + 1) * w + x] - prd[(y + 1) * w + x];
        st += t;
        sb += b;
        stt += t * t;
        sbb += b * b;
        stb += t * b;
      }
    }
    const double d = (stt - st * st / 128.0) * (sbb - sb * sb / 128.0);
    mb.dct_type = (d > 0 && (stb - st * sb / 128.0) / std::sqrt(d) > 0.5) ? 0 : 1;
  }
}

void transform_row(VideoEncoder& e, int j) {
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    const MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    for (int k = 0; k < e.blocks_per_mb; ++k) {
      const BlockPlace p = block_place(e, k, 16 * i, 16 * j, mb.dct_type);
      std::int16_t* blk =
          e.blocks.data() + (static_cast<std::size_t>(index) * e.blocks_per_mb + k) * 64;
      e.k.subtract_prediction(e.cur_org->plane[p.comp].data() + p.offset,
                              e.pred.plane[p.comp].data() + p.offset, p.stride, blk);
      e.k.forward_dct(blk);
    }
  }
}

}  // namespace

void predict_and_transform_row(VideoEncoder& e, int j) {
  e.pict_struct == kFramePicture ? predict_row(e, j) : predict_field_row(e, j);
  choose_dct_type_row(e, j);
  transform_row(e, j);
}

void reconstruct_row(VideoEncoder& e, int j) {
  const int dc_precision = e.mpeg1 ? 0 : e.s.intra_dc_precision;
  std::int16_t tmp[64];
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    const MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    const bool intra = (mb.mb_type & kMbIntra) != 0;
    for (int k = 0; k < e.blocks_per_mb; ++k) {
      const BlockPlace p = block_place(e, k, 16 * i, 16 * j, mb.dct_type);
      const std::uint8_t* prd = e.pred.plane[p.comp].data() + p.offset;
      std::uint8_t* out = e.cur_ref->plane[p.comp].data() + p.offset;
      const bool coded = intra || (mb.cbp & (1 << (e.blocks_per_mb - 1 - k)));
      if (!coded) {
        for (int y = 0; y < 8; ++y)
          std::memcpy(out + y * p.stride, prd + y * p.stride, 8);
        continue;
      }
      const std::int16_t* blk =
          e.blocks.data() + (static_cast<std::size_t>(index) * e.blocks_per_mb + k) * 64;
      if (intra)
        e.k.dequantise_intra(blk, tmp, dc_precision, e.intra_q, mb.mquant, e.mpeg1);
      else
        e.k.dequantise_non_intra(blk, tmp, e.inter_q, mb.mquant, e.mpeg1);
      e.k.inverse_dct(tmp);
      e.k.add_prediction(tmp, prd, p.stride, out);
    }
  }
}

void predict_and_transform(VideoEncoder& e) {
  e.pool.for_each_row(e.mb_rows_pic, [&e](int, int j) {
    predict_and_transform_row(e, j);
    return true;
  });
}

void inverse_transform(VideoEncoder& e) {
  e.pool.for_each_row(e.mb_rows_pic, [&e](int, int j) {
    reconstruct_row(e, j);
    return true;
  });
}

bool quantise_intra(const std::int16_t* in, std::int16_t* out, int dc_precision,
                    const int* matrix, int mquant, bool mpeg1) {
  bool limited = false;
  const int b = 8 >> dc_precision;
  const int x0 = in[0];
  out[0] = static_cast<std::int16_t>(x0 >= 0 ? (x0 + b / 2) / b : -((b / 2 - x0) / b));
  for (int i = 1; i < 64; ++i) {
    const int x = in[i];
    const int w = matrix[i];
    int y = (32 * std::abs(x) + w / 2) / w;
    y = (y + ((3 * mquant + 2) >> 2)) / (2 * mquant);
    if (mpeg1) {
      if (y > 255) {
        y = 255;
        limited = true;
      }
    } else {
      if (y >= 256) limited = true;
      if (y > 2047) y = 2047;
    }
    out[i] = static_cast<std::int16_t>(x < 0 ? -y : y);
  }
  return !limited;
}

bool quantise_non_intra(const std::int16_t* in, std::int16_t* out, const int* matrix, int mquant,
                        bool mpeg1) {
  bool nonzero = false;
  const int limit = mpeg1 ? 255 : 2047;
  for (int i = 0; i < 64; ++i) {
    const int x = in[i];
    const int w = matrix[i];
    int y = (32 * std::abs(x) + w / 2) / (2 * mquant * w);
    if (y > limit) y = limit;
    if (y) nonzero = true;
    out[i] = static_cast<std::int16_t>(x < 0 ? -y : y);
  }
  return nonzero;
}

namespace {

inline int saturate(int v) { return v < -2048 ? -2048 : (v > 2047 ? 2047 : v); }

void finish_mpeg2(std::int16_t* out, int sum) {
  if ((sum & 1) == 0) out[63] = static_cast<std::int16_t>(out[63] ^ 1);
}

}  // namespace

void dequantise_intra(const std::int16_t* in, std::int16_t* out, int dc_precision,
                      const int* matrix, int mquant, bool mpeg1) {
  int sum = out[0] = static_cast<std::int16_t>(saturate(in[0] << (3 - dc_precision)));
  for (int i = 1; i < 64; ++i) {
    int v = in[i] * matrix[i] * mquant / 16;
    if (mpeg1 && v != 0 && (v & 1) == 0) v -= v > 0 ? 1 : -1;
    v = saturate(v);
    out[i] = static_cast<std::int16_t>(v);
    sum += v;
  }
  if (!mpeg1) finish_mpeg2(out, sum);
}

void dequantise_non_intra(const std::int16_t* in, std::int16_t* out, const int* matrix,
                          int mquant, bool mpeg1) {
  int sum = 0;
  for (int i = 0; i < 64; ++i) {
    const int x = in[i];
    int v = 0;
    if (x != 0) {
      v = (2 * x + (x > 0 ? 1 : -1)) * matrix[i] * mquant / 32;
      if (mpeg1 && v != 0 && (v & 1) == 0) v -= v > 0 ? 1 : -1;
    }
    v = saturate(v);
    out[i] = static_cast<std::int16_t>(v);
    sum += v;
  }
  if (!mpeg1) finish_mpeg2(out, sum);
}

}  // namespace corvexa::mpeg::video
