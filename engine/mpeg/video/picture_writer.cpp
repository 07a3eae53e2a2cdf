#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "mpeg/video/video_encoder.h"
#include "mpeg/video/vlc_tables.h"

namespace corvexa::mpeg::video {

namespace {

inline void put(BitWriter& bs, Vlc v) { bs.write_bits(v.code, v.length); }

bool run_level_codable(bool mpeg1, int run, int level) {
  const int magnitude = std::abs(level);
  return run >= 0 && run <= 63 && level != 0 && magnitude <= 2047 && !(mpeg1 && magnitude > 255);
}

// A pair known to be codable.
void put_run_level_pair(BitWriter& bs, bool mpeg1, int run, int level, int table, bool first) {
  const int magnitude = std::abs(level);
  if (first && run == 0 && magnitude == 1 && table == 0) {
    bs.write_bits(level < 0 ? 3u : 2u, 2);
    return;
  }
  const Vlc code = run_level_code(table, run, magnitude);
  if (code.length != 0) {
    put(bs, code);
    bs.write_bit(level < 0 ? 1 : 0);
    return;
  }
  bs.write_bits(1, 6);
  bs.write_bits(static_cast<std::uint32_t>(run), 6);
  if (!mpeg1) {
    bs.write_bits(static_cast<std::uint32_t>(level) & 0xFFF, 12);
  } else {
    if (level > 127) bs.write_bits(0x00, 8);
    if (level < -127) bs.write_bits(0x80, 8);
    bs.write_bits(static_cast<std::uint32_t>(level) & 0xFF, 8);
  }
}

}  // namespace

bool write_run_level(EncoderContext& ctx, BitWriter& bs, bool mpeg1, int run, int level,
                     int table, bool first) {
  if (!run_level_codable(mpeg1, run, level)) {
    report_message(ctx, "AC value out of range (run=%d, signed_level=%d)\n", run, level);
    return false;
  }
  put_run_level_pair(bs, mpeg1, run, level, table, first);
  return true;
}

GopCounts gop_counts(int gop_start, int gop_size, int m, int nframes) {
  GopCounts g;
  g.n = std::min(gop_start == 0 ? gop_size - (m - 1) : gop_size, nframes - gop_start);
  g.np = gop_start == 0 ? (g.n + 2 * (m - 1)) / m - 1 : (g.n + m - 1) / m - 1;
  g.nb = g.n - g.np - 1;
  return g;
}

namespace {

// Codes the macroblocks of whole rows into a writer: the run's stream, or a
// slice's own writer in memory when the rows of a picture are coded apart.
// Messages go to the run's hook, or into `held` to be passed on in row order;
// with `held` the quantisers are left for the caller to count.
class MacroblockWriter {
 public:
  MacroblockWriter(VideoEncoder& e, BitWriter& bs, std::vector<std::string>* held = nullptr)
      : e_(e), bs_(bs), held_(held) {}
  // Rows [first, end); the first row must start a slice.
  bool write(int first, int end);
  // Slice header bits written into a held writer.
  double header_bits() const { return header_bits_; }

 private:
  void note(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void reset_dc() { dc_pred_[0] = dc_pred_[1] = dc_pred_[2] = 0; }
  void reset_pmv() { std::memset(pmv_, 0, sizeof pmv_); }
  void put_address_increment(int inc);
  void put_motion_component(int delta, int f_code);
  void put_vectors(const MacroblockInfo& mb, int dir);
  void put_dmv(int d) {
    if (d == 0)
      bs_.write_bits(0, 1);
    else
      bs_.write_bits(d > 0 ? 2u : 3u, 2);
  }
  bool put_intra_block(const std::int16_t* blk, int cc);
  bool put_non_intra_block(const std::int16_t* blk);
  // The table of the block being written is in run_levels_.
  inline bool put_run_level(int run, int level, int table, bool first);
  bool put_escaped_run_level(int run, int level, int table, bool first);
  std::uint64_t scan_mask(const std::int16_t* blk) const;

  VideoEncoder& e_;
  BitWriter& bs_;
  std::vector<std::string>* held_;
  double header_bits_ = 0;
  const RunLevelTable* run_levels_ = nullptr;
  int dc_pred_[3] = {};
  int pmv_[2][2][2] = {};  // [first/second][forward/backward][x/y]
};

void MacroblockWriter::note(const char* format, ...) {
  char text[256];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (held_ != nullptr)
    held_->emplace_back(text);
  else
    report_message(e_.ctx, "%s", text);
}

void MacroblockWriter::put_address_increment(int inc) {
  while (inc > 33) {
    put(bs_, kAddressEscape);
    inc -= 33;
  }
  put(bs_, kAddressIncrement[inc - 1]);
}

void MacroblockWriter::put_motion_component(int delta, int f_code) {
  const int r_size = f_code - 1;
  const int f = 1 << r_size;
  const int high = 16 * f - 1, low = -16 * f, range = 32 * f;
  if (delta > high)
    delta -= range;
  else if (delta < low)
    delta += range;
  if ((delta > high || delta < low) && e_.s.verbose) note("Invalid motion vector.");
  if (delta == 0) {
    put(bs_, kMotionCode[0]);
    return;
  }
  const int magnitude = std::abs(delta) - 1;
  int code = magnitude / f + 1;
  if (code > 16) code = 16;
  const int residual = magnitude % f;
  put(bs_, kMotionCode[code]);
  bs_.write_bit(delta < 0 ? 1 : 0);
  if (r_size > 0) bs_.write_bits(static_cast<std::uint32_t>(residual), r_size);
}

void MacroblockWriter::put_vectors(const MacroblockInfo& mb, int dir) {
  const int fh = e_.mpeg1 ? e_.f_code[dir][0] : e_.f_code[dir][0];
  const int fv = e_.mpeg1 ? e_.f_code[dir][0] : e_.f_code[dir][1];
  const bool frame_picture = e_.pict_struct == kFramePicture;
  if (mb.motion_type == kMcDualPrime) {
    // One field vector with its differentials; frame pictures keep the
    // vertical predictor in frame units.
    const int shift = frame_picture ? 1 : 0;
    put_motion_component(mb.mv[0][dir][0] - pmv_[0][dir][0], fh);
    put_dmv(mb.dmv[0]);
    put_motion_component(mb.mv[0][dir][1] - (pmv_[0][dir][1] >> shift), fv);
    put_dmv(mb.dmv[1]);
    for (int r = 0; r < 2; ++r) {
      pmv_[r][dir][0] = mb.mv[0][dir][0];
      pmv_[r][dir][1] = mb.mv[0][dir][1] * (1 << shift);
    }
    return;
  }
  if (!frame_picture) {
    // Field pictures: one field vector, or two for 16 x 8, each with its
    // reference field.
    const int count = mb.motion_type == kMc16x8 ? 2 : 1;
    for (int r = 0; r < count; ++r) {
      bs_.write_bit(static_cast<std::uint32_t>(mb.field_select[r][dir]));
      for (int t = 0; t < 2; ++t) {
        put_motion_component(mb.mv[r][dir][t] - pmv_[r][dir][t], t ? fv : fh);
        pmv_[r][dir][t] = mb.mv[r][dir][t];
      }
    }
    if (count == 1)
      for (int t = 0; t < 2; ++t) pmv_[1][dir][t] = pmv_[0][dir][t];
    return;
  }
  if (mb.motion_type == kMcFrame) {
    for (int t = 0; t < 2; ++t) {
      put_motion_component(mb.mv[0][dir][t] - pmv_[0][dir][t], t ? fv : fh);
      pmv_[0][dir][t] = pmv_[1][dir][t] = mb.mv[0][dir][t];
    }
    return;
  }
  // Field vectors of a frame picture: vertical components in field units.
  for (int r = 0; r < 2; ++r) {
    bs_.write_bit(static_cast<std::uint32_t>(mb.field_select[r][dir]));
    put_motion_component(mb.mv[r][dir][0] - pmv_[r][dir][0], fh);
    put_motion_component(mb.mv[r][dir][1] - (pmv_[r][dir][1] >> 1), fv);
    pmv_[r][dir][0] = mb.mv[r][dir][0];
    pmv_[r][dir][1] = mb.mv[r][dir][1] * 2;
  }
}

bool MacroblockWriter::put_run_level(int run, int level, int table, bool first) {
  // The common pairs straight from the table, code and sign in one write.
  const int magnitude = level < 0 ? -level : level;
  if (run <= 31 && magnitude <= 40 && !(first && run == 0 && magnitude == 1 && table == 0)) {
    const Vlc code = (*run_levels_)[run][magnitude];
    if (code.length != 0) {
      bs_.write_bits((static_cast<std::uint32_t>(code.code) << 1) | (level < 0 ? 1u : 0u),
                     code.length + 1);
      return true;
    }
  }
  return put_escaped_run_level(run, level, table, first);
}

bool MacroblockWriter::put_escaped_run_level(int run, int level, int table, bool first) {
  if (!run_level_codable(e_.mpeg1, run, level)) {
    note("AC value out of range (run=%d, signed_level=%d)\n", run, level);
    return false;
  }
  put_run_level_pair(bs_, e_.mpeg1, run, level, table, first);
  return true;
}

// For each scan, nibble k of a raster-order mask (coefficients 4k..4k+3) and
// each value of it: the same coefficients as bits in scan order.
struct ScanOrderMasks {
  std::uint64_t bits[2][16][16];
  ScanOrderMasks() {
    for (int alt = 0; alt < 2; ++alt) {
      int position[64];
      for (int n = 0; n < 64; ++n) position[kScan[alt][n]] = n;
      for (int k = 0; k < 16; ++k)
        for (int v = 0; v < 16; ++v) {
          std::uint64_t m = 0;
          for (int b = 0; b < 4; ++b)
            if (v & (1 << b)) m |= 1ull << position[4 * k + b];
          bits[alt][k][v] = m;
        }
    }
  }
};

// The block's non-zero coefficients as a mask in scan order, so the writer
// steps from one coefficient to the next without testing each zero.
std::uint64_t MacroblockWriter::scan_mask(const std::int16_t* blk) const {
  static const ScanOrderMasks masks;
  const std::uint64_t raster = e_.k.nonzero_mask(blk);
  const std::uint64_t(*by_nibble)[16] = masks.bits[e_.altscan];
  std::uint64_t mask = 0;
  for (int k = 0; k < 16; ++k) mask |= by_nibble[k][(raster >> (4 * k)) & 15];
  return mask;
}

bool MacroblockWriter::put_intra_block(const std::int16_t* blk, int cc) {
  const int diff = blk[0] - dc_pred_[cc];
  dc_pred_[cc] = blk[0];
  const int magnitude = std::abs(diff);
  if (magnitude >= (e_.mpeg1 ? 256 : 2048)) {
    note("DC value out of range (%d)\n", diff);
    return false;
  }
  int size = 0;
  while ((1 << size) <= magnitude) ++size;
  put(bs_, cc == 0 ? kDcSizeLuma[size] : kDcSizeChroma[size]);
  if (size > 0)
    bs_.write_bits(static_cast<std::uint32_t>(diff > 0 ? diff : diff + (1 << size) - 1), size);
  const int table = e_.intra_vlc_format;
  run_levels_ = &run_level_table(table);
  const std::uint8_t* scan = kScan[e_.altscan];
  int last = 0;
  for (std::uint64_t mask = scan_mask(blk) & ~1ull; mask != 0; mask &= mask - 1) {
    const int n = __builtin_ctzll(mask);
    if (!put_run_level(n - last - 1, blk[scan[n]], table, false)) return false;
    last = n;
  }
  if (table == 1)
    bs_.write_bits(0x6, 4);
  else
    bs_.write_bits(0x2, 2);
  return true;
}

bool MacroblockWriter::put_non_intra_block(const std::int16_t* blk) {
  run_levels_ = &run_level_table(0);
  const std::uint8_t* scan = kScan[e_.altscan];
  int last = -1;
  for (std::uint64_t mask = scan_mask(blk); mask != 0; mask &= mask - 1) {
    const int n = __builtin_ctzll(mask);
    if (!put_run_level(n - last - 1, blk[scan[n]], 0, last < 0)) return false;
    last = n;
  }
  bs_.write_bits(0x2, 2);
  return true;
}

bool MacroblockWriter::write(int first, int end) {
  VideoEncoder& e = e_;
  const int bpm = e.blocks_per_mb;
  const bool mpeg1 = e.mpeg1;
  const int dc_precision = mpeg1 ? 0 : e.s.intra_dc_precision;
  const int slice_q = e.rc->slice_quantiser(e);
  int prev_mquant = slice_q;
  int prev_address = -1;
  int prev_flags = 0;
  int index = first * e.mb_cols;
  std::int16_t saved[12 * 64];
  const bool frame_picture = e.pict_struct == kFramePicture;
  for (int j = first; j < end; ++j) {
    for (int i = 0; i < e.mb_cols; ++i, ++index) {
      MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
      std::int16_t* blk = e.blocks.data() + static_cast<std::size_t>(index) * bpm * 64;
      if (i == 0 && (j == first || e.s.slice_per_row)) {
        if (held_ != nullptr) {
          const double before = bs_.bits_written();
          write_slice_header(e, bs_, j, slice_q);
          header_bits_ += bs_.bits_written() - before;
        } else {
          write_slice_header(e, j, slice_q);
        }
        reset_dc();
        reset_pmv();
        prev_mquant = slice_q;
        prev_address = j * e.mb_cols - 1;
        prev_flags = 0;
      }
      int mquant = e.rc->macroblock_quantiser(e, index);
      const bool intra = (mb.mb_type & kMbIntra) != 0;
      int cbp = 0;
      if (intra) {
        std::memcpy(saved, blk, sizeof(std::int16_t) * 64 * static_cast<std::size_t>(bpm));
        for (int k = 0; k < bpm; ++k) {
          const bool fine =
              e.k.quantise_intra(saved + 64 * k, blk + 64 * k, dc_precision, e.intra_q, mquant, mpeg1);
          // The coarser step must be one the scale can signal, or the
          // decoder would dequantise with a different value.
          if (!fine && e.s.constant_bit_rate && mquant < e.intra_q[31] &&
              coarser_quantiser(e.q_scale_type, mquant) != mquant) {
            mquant = coarser_quantiser(e.q_scale_type, mquant);
            k = -1;  // again from the first block with the coarser quantiser
          }
        }
        cbp = (1 << bpm) - 1;
      } else {
        for (int k = 0; k < bpm; ++k)
          if (quantise_non_intra_block(e, blk + 64 * k, blk + 64 * k, mquant))
            cbp |= 1 << (bpm - 1 - k);
      }
      mb.mquant = mquant;
      mb.cbp = cbp;
      mb.skipped = false;
      if (held_ == nullptr) e.rc->record_quantiser(e, mquant);

      const bool edge = i == 0 || i == e.mb_cols - 1;
      int flags = mb.mb_type & (kMbIntra | kMbForward | kMbBackward);
      if (!intra && cbp == 0 && !edge) {
        bool skip = false;
        if (e.pict_type == kPictureP) {
          skip = (flags & kMbForward) == 0;
        } else if (e.pict_type == kPictureB && flags == prev_flags &&
                   mb.motion_type == (frame_picture ? kMcFrame : kMcField)) {
          // A skipped B macroblock repeats the predictors; in field pictures
          // it predicts from the fields of the same parity.
          skip = true;
          for (int dir = 0; dir < 2; ++dir) {
            if (!(flags & (dir ? kMbBackward : kMbForward))) continue;
            if (mb.mv[0][dir][0] != pmv_[0][dir][0] || mb.mv[0][dir][1] != pmv_[0][dir][1])
              skip = false;
            if (!frame_picture && mb.field_select[0][dir] != field_parity(e)) skip = false;
          }
        }
        if (skip) {
          mb.skipped = true;
          reset_dc();
          if (e.pict_type == kPictureP) reset_pmv();
          continue;
        }
      }
      // A P macroblock without motion compensation and without coefficients
      // goes out as a forward one with the zero vector.
      if (e.pict_type == kPictureP && !intra && !(flags & kMbForward) && cbp == 0) {
        flags |= kMbForward;
        mb.motion_type = frame_picture ? kMcFrame : kMcField;
        std::memset(mb.mv, 0, sizeof mb.mv);
        mb.field_select[0][0] = mb.field_select[1][0] = frame_picture ? 0 : field_parity(e);
        mb.mb_type = kMbForward;
      }
      int type = flags;
      if (cbp) type |= kMbPattern;
      if ((intra || cbp) && mquant != prev_mquant) type |= kMbQuant;
      if (intra) type &= ~kMbPattern;

      put_address_increment(index - prev_address);
      prev_address = index;
      put(bs_, macroblock_type_code(e.pict_type, type));
      if (!mpeg1 && !e.frame_pred_dct && (type & (kMbForward | kMbBackward)))
        bs_.write_bits(static_cast<std::uint32_t>(mb.motion_type), 2);
      if (!mpeg1 && frame_picture && !e.frame_pred_dct && (intra || cbp))
        bs_.write_bit(static_cast<std::uint32_t>(mb.dct_type));
      if (type & kMbQuant) {
        bs_.write_bits(static_cast<std::uint32_t>(code_for_quantiser(e.q_scale_type, mquant)), 5);
        prev_mquant = mquant;
      }
      if (type & kMbForward) put_vectors(mb, 0);
      if (type & kMbBackward) put_vectors(mb, 1);
      if (type & kMbPattern) {
        put(bs_, kCodedBlockPattern[cbp >> (bpm - 6)]);
        if (bpm > 6)
          bs_.write_bits(static_cast<std::uint32_t>(cbp) & ((1u << (bpm - 6)) - 1), bpm - 6);
      }
      for (int k = 0; k < bpm; ++k) {
        if (!(cbp & (1 << (bpm - 1 - k)))) continue;
        const bool ok = intra ? put_intra_block(blk + 64 * k, k < 4 ? 0 : 1 + ((k - 4) & 1))
                              : put_non_intra_block(blk + 64 * k);
        if (!ok) return false;
      }
      if (!intra) reset_dc();
      if (intra || (e.pict_type == kPictureP && !(type & kMbForward))) reset_pmv();
      prev_flags = intra ? 0 : (type & (kMbForward | kMbBackward));
    }
  }
  return true;
}

void write_picture_headers(VideoEncoder& e) {
  write_picture_header(e);
  if (!e.mpeg1) {
    write_picture_coding_extension(e);
    if (e.s.picture_display_extension && e.s.sequence_display_extension &&
        e.pict_struct == kFramePicture)
      write_picture_display_extension(e);
  }
  if (e.s.svcd_user_data && e.pict_type == kPictureI) write_svcd_user_data(e);
}

}  // namespace

bool write_picture(VideoEncoder& e) {
  if (e.s.constant_bit_rate) e.rc->picture_start(e);
  write_picture_headers(e);
  MacroblockWriter writer(e, e.bs);
  if (!writer.write(0, e.mb_rows_pic)) return false;
  if (e.s.constant_bit_rate) e.rc->picture_end(e);
  return true;
}

bool rows_coded_apart(const VideoEncoder& e) {
  return e.s.slice_per_row && e.rc->rows_independent() && !e.ctx.whole_picture_stages;
}

bool code_picture_by_rows(VideoEncoder& e) {
  const int rows = e.mb_rows_pic;
  try {
    while (e.slices.size() < static_cast<std::size_t>(rows))
      e.slices.push_back(std::make_unique<CodedSlice>());
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for slices.");
    return false;
  }
  for (int j = 0; j < rows; ++j) {
    e.slices[static_cast<std::size_t>(j)]->state = CodedSlice::kNotCoded;
    e.slices[static_cast<std::size_t>(j)]->messages.clear();
  }
  write_picture_headers(e);
  e.pool.for_each_row(rows, [&e](int, int j) {
    CodedSlice& out = *e.slices[static_cast<std::size_t>(j)];
    out.bits.open_memory();
    predict_and_transform_row(e, j);
    MacroblockWriter writer(e, out.bits, &out.messages);
    const bool ok = writer.write(j, j + 1) && !out.bits.failed();
    out.header_bits = writer.header_bits();
    out.state = ok ? CodedSlice::kCoded : CodedSlice::kFailed;
    if (ok) reconstruct_row(e, j);
    return ok;
  });
  // The slices joined in order as one writer would have written them. Once
  // a row is found uncoded nothing more is joined; the rows pass on their
  // messages up to the one that failed.
  bool complete = true;
  for (int j = 0; j < rows; ++j) {
    CodedSlice& out = *e.slices[static_cast<std::size_t>(j)];
    for (const std::string& text : out.messages) report_message(e.ctx, "%s", text.c_str());
    if (out.state == CodedSlice::kFailed) {
      if (out.bits.failed()) report_message(e.ctx, "Cannot allocate memory for slices.");
      return false;
    }
    if (out.state == CodedSlice::kNotCoded) complete = false;
    if (!complete) continue;
    const double before = e.bs.bits_written();
    e.bs.byte_align();
    e.stats.header_bits += e.bs.bits_written() - before + out.header_bits;
    e.bs.append(out.bits);
  }
  if (!complete) return false;
  for (std::size_t n = 0; n < static_cast<std::size_t>(rows) * e.mb_cols; ++n)
    e.rc->record_quantiser(e, e.mb_info[n].mquant);
  return true;
}

}  // namespace corvexa::mpeg::video
