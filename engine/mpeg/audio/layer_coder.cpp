#include "mpeg/audio/layer_coder.h"

#include <algorithm>
#include <cmath>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/video/bit_writer.h"

namespace corvexa::mpeg::audio {

namespace {

constexpr int kLayer1Kbps[15] = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
constexpr int kLayer2Kbps[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};

// Class of a scale factor index difference for the selection patterns.
int difference_class(int d) {
  if (d <= -3) return 0;
  if (d < 0) return 1;
  if (d == 0) return 2;
  if (d < 3) return 3;
  return 4;
}

// Smallest scale factor not below `peak` (the table falls with the index).
int scale_factor_index(double peak) {
  int i = 62;
  while (i > 0 && kScaleFactors[i] < peak) --i;
  return i;
}

int transmitted_count(int scfsi) { return scfsi == 0 ? 3 : scfsi == 2 ? 1 : 2; }

double rounded_cos(int i, int j) {
  return std::round(std::cos((2 * i + 1) * j * M_PI / 64.0) * 1e9) * 1e-9;
}

struct MatrixTables {
  double direct[32][64];
  double folded[16][32];  // cos((2i + 1) j pi / 64), i < 16
  MatrixTables() {
    for (int i = 0; i < 32; ++i)
      for (int k = 0; k < 64; ++k) direct[i][k] = rounded_cos(i, k - 16);
    for (int i = 0; i < 16; ++i)
      for (int j = 0; j < 32; ++j) folded[i][j] = rounded_cos(i, j);
  }
};

const MatrixTables& matrix_tables() {
  static const MatrixTables tables;
  return tables;
}

}  // namespace

void matrix_direct(const double y[64], double s[32]) {
  const MatrixTables& t = matrix_tables();
  for (int i = 0; i < 32; ++i) {
    double sum = 0.0;
    for (int k = 0; k < 64; ++k) sum += t.direct[i][k] * y[k];
    s[i] = sum;
  }
}

void matrix_folded(const double y[64], double s[32]) {
  // With j = k - 16 the coefficient is even in j, vanishes at j = 32 and is
  // odd about it; and row 31 - i is row i with the odd terms negated.
  double a[32];
  a[0] = y[16];
  for (int j = 1; j <= 16; ++j) a[j] = y[16 + j] + y[16 - j];
  for (int j = 17; j < 32; ++j) a[j] = y[16 + j] - y[80 - j];
  const MatrixTables& t = matrix_tables();
  for (int i = 0; i < 16; ++i) {
    const double* c = t.folded[i];
    double even = 0.0, odd = 0.0;
    for (int j = 0; j < 32; j += 2) {
      even += c[j] * a[j];
      odd += c[j + 1] * a[j + 1];
    }
    s[i] = even + odd;
    s[31 - i] = even - odd;
  }
}

int bitrate_kbps(int layer, int bitrate_index) {
  if (bitrate_index < 0 || bitrate_index > 14) return 0;
  return layer == 1 ? kLayer1Kbps[bitrate_index] : kLayer2Kbps[bitrate_index];
}

int sampling_frequency_code(int sample_rate) {
  switch (sample_rate) {
    case 44100: return 0;
    case 48000: return 1;
    case 32000: return 2;
    default: return -1;
  }
}

int select_alloc_table(int sample_rate, int kbps, int channels) {
  const int per_channel = kbps / channels;
  if (per_channel <= 48) return sample_rate == 32000 ? 3 : 2;
  if (per_channel <= 80) return 0;
  return sample_rate == 48000 ? 0 : 1;
}

void crc_update(std::uint16_t& crc, std::uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    const bool top = (crc & 0x8000u) != 0;
    const bool bit = ((value >> i) & 1u) != 0;
    crc = static_cast<std::uint16_t>(crc << 1);
    if (top != bit) crc ^= 0x8005u;
  }
}

bool make_frame_params(const WorkingSettings& w, int sample_rate, FrameParams& p,
                       std::string& error) {
  p = FrameParams{};
  p.layer = w.audio_layer;
  p.mode = w.audio_mode;
  p.bitrate_index = w.audio_bitrate_index;
  p.sample_rate = sample_rate;
  p.error_protection = w.error_protection ? 1 : 0;
  p.private_bit = w.private_bit & 1;
  p.copyright = w.copyright & 1;
  p.original = w.original & 1;
  p.emphasis = w.emphasis & 3;
  p.psych_model = w.psych_model == 1 ? 1 : 2;
  p.sampling_code = sampling_frequency_code(sample_rate);
  if (p.sampling_code < 0) {
    error = "Unknown audio sampling rate";
    return false;
  }
  if (p.layer != 1 && p.layer != 2) {
    error = "Unsupported audio layer.";
    return false;
  }
  if (p.mode < 0 || p.mode > 3) {
    error = "Unsupported audio mode.";
    return false;
  }
  const int kbps = bitrate_kbps(p.layer, p.bitrate_index);
  if (kbps == 0) {
    error = "Free format audio bit rates are not supported.";
    return false;
  }
  p.channels = p.mode == 3 ? 1 : 2;
  if (p.layer == 1) {
    p.sblimit = 32;
    p.samples_per_frame = 384;
    p.bits_per_slot = 32;
  } else {
    p.alloc_table = select_alloc_table(sample_rate, kbps, p.channels);
    p.sblimit = kAllocTables[p.alloc_table].sblimit;
    p.samples_per_frame = 1152;
    p.bits_per_slot = 8;
  }
  p.average_slots = p.samples_per_frame / (sample_rate / 1000.0) * kbps / p.bits_per_slot;
  p.whole_slots = static_cast<int>(p.average_slots);
  p.fraction = p.average_slots - p.whole_slots;
  // Rates such as 44.1 kHz give a fraction that is 0 but for rounding.
  if (p.fraction < 1e-9) p.fraction = 0.0;
  return true;
}

bool LayerCoder::start(const FrameParams& p) {
  p_ = p;
  lag_ = -p.fraction;
  blocks_ = p.layer == 1 ? 12 : 36;
  for (auto& f : fifo_) f.assign(1024, 0.0);
  fifo_pos_ = 0;
  info_ = FrameInfo{};
  const bool ok1 = model1_.reset(p.layer, p.sample_rate);
  const bool ok2 = model2_.reset(p.layer, p.sample_rate);
  return ok1 && ok2;
}

void LayerCoder::filter(const short* const pcm[2]) {
  double y[64];
  for (int ch = 0; ch < p_.channels; ++ch) {
    double* fifo = fifo_[ch].data();
    int pos = fifo_pos_;
    for (int b = 0; b < blocks_; ++b) {
      // The newest sample ends up at the front of the 512-sample window;
      // each sample is stored twice so the window is contiguous.
      const short* in = pcm[ch] + b * 32;
      for (int i = 0; i < 32; ++i) {
        pos = (pos - 1) & 511;
        fifo[pos] = fifo[pos + 512] = in[i] / 32768.0;
      }
      const double* x = fifo + pos;
      for (int k = 0; k < 64; ++k) {
        double s = 0.0;
        for (int j = 0; j < 8; ++j) s += kAnalysisWindow[k + 64 * j] * x[k + 64 * j];
        y[k] = s;
      }
      matrix_folded(y, sample_[ch][b]);
    }
    if (ch == p_.channels - 1) fifo_pos_ = pos;
  }
}

void LayerCoder::prime(const short* const pcm[2], int samples) {
  for (int ch = 0; ch < p_.channels; ++ch) {
    double* fifo = fifo_[ch].data();
    int pos = fifo_pos_;
    for (int i = 0; i < samples; ++i) {
      pos = (pos - 1) & 511;
      fifo[pos] = fifo[pos + 512] = pcm[ch][i] / 32768.0;
    }
    if (ch == p_.channels - 1) fifo_pos_ = pos;
  }
}

void LayerCoder::scale_factors() {
  const int parts = p_.layer == 1 ? 1 : 3;
  for (int ch = 0; ch < p_.channels; ++ch) {
    for (int sb = 0; sb < p_.sblimit; ++sb) {
      bool silent = true;
      for (int part = 0; part < parts; ++part) {
        double peak = 0.0;
        for (int b = part * 12; b < part * 12 + 12; ++b) peak = std::max(peak, std::fabs(sample_[ch][b][sb]));
        if (peak > 0.0) silent = false;
        scf_[ch][part][sb] = scale_factor_index(peak);
      }
      silent_[ch][sb] = silent;
      int smallest = scf_[ch][0][sb];
      for (int part = 1; part < parts; ++part) smallest = std::min(smallest, scf_[ch][part][sb]);
      scf_max_[ch][sb] = kScaleFactors[smallest];
      if (p_.layer == 1) {
        used_scf_[ch][0][sb] = scf_[ch][0][sb];
        scfsi_[ch][sb] = 0;
        continue;
      }
      const int i0 = scf_[ch][0][sb], i1 = scf_[ch][1][sb], i2 = scf_[ch][2][sb];
      const ScfsiPattern& pat = kScfsiPatterns[difference_class(i0 - i1)][difference_class(i1 - i2)];
      const int idx[3] = {i0, i1, i2};
      for (int part = 0; part < 3; ++part)
        used_scf_[ch][part][sb] = pat.used[part] == 3 ? smallest : idx[pat.used[part]];
      scfsi_[ch][sb] = pat.scfsi;
    }
    for (int sb = p_.sblimit; sb < 32; ++sb) {
      silent_[ch][sb] = true;
      scf_max_[ch][sb] = kScaleFactors[62];
    }
  }
  if (p_.mode == 1) {
    // Joint stereo: the averaged channels, with scale factors of their own.
    for (int b = 0; b < blocks_; ++b)
      for (int sb = 0; sb < p_.sblimit; ++sb) joint_[b][sb] = 0.5 * (sample_[0][b][sb] + sample_[1][b][sb]);
    for (int part = 0; part < parts; ++part)
      for (int sb = 0; sb < p_.sblimit; ++sb) {
        double peak = 0.0;
        for (int b = part * 12; b < part * 12 + 12; ++b) peak = std::max(peak, std::fabs(joint_[b][sb]));
        joint_scf_[part][sb] = scale_factor_index(peak);
      }
  }
}

int LayerCoder::max_alloc(int sb) const {
  return p_.layer == 1 ? 14 : (1 << kAllocTables[p_.alloc_table].nbal[sb]) - 1;
}

int LayerCoder::sample_bits(int sb, int alloc) const {
  if (alloc == 0) return 0;
  if (p_.layer == 1) return 12 * kLayer1Quant[alloc].bits;
  const QuantClass& q = kQuantClasses[kAllocTables[p_.alloc_table].class_index[sb][alloc]];
  return q.grouped ? 12 * q.bits : 36 * q.bits;
}

double LayerCoder::snr_db(int sb, int alloc) const {
  if (alloc == 0) return 0.0;
  if (p_.layer == 1) return kLayer1Quant[alloc].snr_db;
  return kQuantClasses[kAllocTables[p_.alloc_table].class_index[sb][alloc]].snr_db;
}

int LayerCoder::scf_bits(int ch, int sb) const {
  if (p_.layer == 1) return 6;
  return 2 + 6 * transmitted_count(scfsi_[ch][sb]);
}

int LayerCoder::alloc_field_bits(int bound) const {
  int bits = 0;
  for (int sb = 0; sb < p_.sblimit; ++sb) {
    const int width = p_.layer == 1 ? 4 : kAllocTables[p_.alloc_table].nbal[sb];
    bits += width * (sb < bound ? p_.channels : 1);
  }
  return bits;
}

int LayerCoder::bits_for_no_noise(int bound) const {
  int bits = 32 + 16 * p_.error_protection + alloc_field_bits(bound);
  auto needed = [&](int ch, int sb) {
    if (silent_[ch][sb]) return 0;
    const int top = max_alloc(sb);
    for (int a = 0; a < top; ++a)
      if (snr_db(sb, a) - smr_[ch][sb] >= 0.0) return a;
    return top;
  };
  for (int sb = 0; sb < p_.sblimit; ++sb) {
    if (sb < bound) {
      for (int ch = 0; ch < p_.channels; ++ch) {
        const int a = needed(ch, sb);
        if (a > 0) bits += sample_bits(sb, a) + scf_bits(ch, sb);
      }
    } else {
      const int a = std::max(needed(0, sb), needed(1, sb));
      if (a > 0) bits += sample_bits(sb, a) + scf_bits(0, sb) + scf_bits(1, sb);
    }
  }
  return bits;
}

void LayerCoder::allocate(int bound, int available_bits) {
  int left = available_bits - 32 - 16 * p_.error_protection - alloc_field_bits(bound);
  double mnr[2][32];
  bool done[2][32];
  for (int ch = 0; ch < 2; ++ch)
    for (int sb = 0; sb < 32; ++sb) {
      alloc_[ch][sb] = 0;
      mnr[ch][sb] = -smr_[ch][sb];
      done[ch][sb] = ch >= p_.channels || sb >= p_.sblimit || silent_[ch][sb];
    }
  // Joint subbands are allocated once for both channels (entry of channel 0).
  for (int sb = bound; sb < p_.sblimit && p_.channels == 2; ++sb) {
    done[0][sb] = silent_[0][sb] && silent_[1][sb];
    done[1][sb] = true;
    mnr[0][sb] = std::min(-smr_[0][sb], -smr_[1][sb]);
  }
  for (;;) {
    int best_ch = -1, best_sb = -1;
    double best = 0.0;
    for (int sb = 0; sb < p_.sblimit; ++sb)
      for (int ch = 0; ch < p_.channels; ++ch)
        if (!done[ch][sb] && (best_ch < 0 || mnr[ch][sb] < best)) {
          best = mnr[ch][sb];
          best_ch = ch;
          best_sb = sb;
        }
    if (best_ch < 0) break;
    const int ch = best_ch, sb = best_sb;
    const bool joint = sb >= bound && p_.channels == 2;
    const int a = alloc_[ch][sb];
    int cost = sample_bits(sb, a + 1) - sample_bits(sb, a);
    if (a == 0) cost += joint ? scf_bits(0, sb) + scf_bits(1, sb) : scf_bits(ch, sb);
    if (cost > left) {
      done[ch][sb] = true;
      continue;
    }
    left -= cost;
    alloc_[ch][sb] = a + 1;
    const double snr = snr_db(sb, a + 1);
    mnr[ch][sb] = joint ? std::min(snr - smr_[0][sb], snr - smr_[1][sb]) : snr - smr_[ch][sb];
    if (a + 1 >= max_alloc(sb)) done[ch][sb] = true;
  }
  for (int sb = bound; sb < p_.sblimit && p_.channels == 2; ++sb) alloc_[1][sb] = alloc_[0][sb];
}

void LayerCoder::encode_frame(const short* const pcm[2], BitWriter& out, EncoderContext* ctx,
                              bool verbose) {
  int padding = 0;
  if (p_.fraction != 0.0) {
    if (lag_ > p_.fraction - 1.0) {
      lag_ -= p_.fraction;
    } else {
      padding = 1;
      lag_ += 1.0 - p_.fraction;
    }
  }
  const int frame_bits = (p_.whole_slots + padding) * p_.bits_per_slot;

  filter(pcm);
  scale_factors();
  if (p_.psych_model == 1) {
    model1_.analyse(pcm, p_.channels, scf_max_, smr_);
  } else {
    for (int ch = 0; ch < p_.channels; ++ch) model2_.analyse(pcm[ch], ch, smr_[ch]);
  }
  for (int ch = p_.channels; ch < 2; ++ch)
    for (int sb = 0; sb < 32; ++sb) smr_[ch][sb] = 0.0;

  int header_mode = p_.mode, mode_extension = 0, bound = p_.sblimit;
  if (p_.mode == 1) {
    // Plain stereo when it needs no more bits than the frame has; otherwise
    // code more and more subbands jointly.
    header_mode = 0;
    if (bits_for_no_noise(p_.sblimit) > frame_bits) {
      header_mode = 1;
      for (mode_extension = 3; mode_extension >= 0; --mode_extension) {
        bound = std::min(4 + 4 * mode_extension, p_.sblimit);
        if (mode_extension == 0 || bits_for_no_noise(bound) <= frame_bits) break;
      }
    }
  }
  allocate(bound, frame_bits);
  write_frame(out, padding, header_mode, mode_extension, bound, frame_bits, ctx, verbose);
}

void LayerCoder::write_frame(BitWriter& out, int padding, int header_mode, int mode_extension,
                             int bound, int frame_bits, EncoderContext* ctx, bool verbose) {
  const bool layer1 = p_.layer == 1;
  auto alloc_width = [&](int sb) { return layer1 ? 4 : kAllocTables[p_.alloc_table].nbal[sb]; };
  auto coded_channels = [&](int sb) { return sb < bound ? p_.channels : 1; };

  std::uint16_t crc = 0xFFFF;
  if (p_.error_protection) {
    crc_update(crc, static_cast<std::uint32_t>(p_.bitrate_index), 4);
    crc_update(crc, static_cast<std::uint32_t>(p_.sampling_code), 2);
    crc_update(crc, static_cast<std::uint32_t>(padding), 1);
    crc_update(crc, static_cast<std::uint32_t>(p_.private_bit), 1);
    crc_update(crc, static_cast<std::uint32_t>(header_mode), 2);
    crc_update(crc, static_cast<std::uint32_t>(mode_extension), 2);
    crc_update(crc, static_cast<std::uint32_t>(p_.copyright), 1);
    crc_update(crc, static_cast<std::uint32_t>(p_.original), 1);
    crc_update(crc, static_cast<std::uint32_t>(p_.emphasis), 2);
    for (int sb = 0; sb < p_.sblimit; ++sb)
      for (int ch = 0; ch < coded_channels(sb); ++ch)
        crc_update(crc, static_cast<std::uint32_t>(alloc_[ch][sb]), alloc_width(sb));
    if (!layer1)
      for (int sb = 0; sb < p_.sblimit; ++sb)
        for (int ch = 0; ch < p_.channels; ++ch)
          if (alloc_[ch][sb]) crc_update(crc, static_cast<std::uint32_t>(scfsi_[ch][sb]), 2);
  }

  const double start_bits = out.bits_written();
  out.write_bits(0xFFF, 12);
  out.write_bits(1, 1);
  out.write_bits(static_cast<std::uint32_t>(4 - p_.layer), 2);
  out.write_bits(static_cast<std::uint32_t>(1 - p_.error_protection), 1);
  out.write_bits(static_cast<std::uint32_t>(p_.bitrate_index), 4);
  out.write_bits(static_cast<std::uint32_t>(p_.sampling_code), 2);
  out.write_bits(static_cast<std::uint32_t>(padding), 1);
  out.write_bits(static_cast<std::uint32_t>(p_.private_bit), 1);
  out.write_bits(static_cast<std::uint32_t>(header_mode), 2);
  out.write_bits(static_cast<std::uint32_t>(mode_extension), 2);
  out.write_bits(static_cast<std::uint32_t>(p_.copyright), 1);
  out.write_bits(static_cast<std::uint32_t>(p_.original), 1);
  out.write_bits(static_cast<std::uint32_t>(p_.emphasis), 2);
  if (p_.error_protection) out.write_bits(crc, 16);

  for (int sb = 0; sb < p_.sblimit; ++sb)
    for (int ch = 0; ch < coded_channels(sb); ++ch)
      out.write_bits(static_cast<std::uint32_t>(alloc_[ch][sb]), alloc_width(sb));
  if (!layer1)
    for (int sb = 0; sb < p_.sblimit; ++sb)
      for (int ch = 0; ch < p_.channels; ++ch)
        if (alloc_[ch][sb]) out.write_bits(static_cast<std::uint32_t>(scfsi_[ch][sb]), 2);
  for (int sb = 0; sb < p_.sblimit; ++sb)
    for (int ch = 0; ch < p_.channels; ++ch) {
      if (!alloc_[ch][sb]) continue;
      int sent[3];
      int count = 1;
      if (layer1) {
        sent[0] = used_scf_[ch][0][sb];
      } else {
        const int s0 = used_scf_[ch][0][sb], s1 = used_scf_[ch][1][sb], s2 = used_scf_[ch][2][sb];
        switch (scfsi_[ch][sb]) {
          case 0: sent[0] = s0; sent[1] = s1; sent[2] = s2; count = 3; break;
          case 1: sent[0] = s0; sent[1] = s2; count = 2; break;
          case 2: sent[0] = s0; count = 1; break;
          default: sent[0] = s0; sent[1] = s1; count = 2; break;
        }
      }
      for (int i = 0; i < count; ++i) out.write_bits(static_cast<std::uint32_t>(sent[i]), 6);
    }

  // Samples: layer I 12 rounds of one sample, layer II 12 rounds of three.
  const int per_round = layer1 ? 1 : 3;
  for (int round = 0; round < 12; ++round) {
    const int part = layer1 ? 0 : round / 4;
    for (int sb = 0; sb < p_.sblimit; ++sb)
      for (int ch = 0; ch < coded_channels(sb); ++ch) {
        const int a = alloc_[ch][sb];
        if (a == 0) continue;
        const bool joint = sb >= bound && p_.channels == 2;
        const double scale =
            kScaleFactors[joint ? joint_scf_[part][sb] : used_scf_[ch][part][sb]];
        int steps, bits, grouped;
        double qa, qb;
        if (layer1) {
          steps = kLayer1Quant[a].steps;
          bits = kLayer1Quant[a].bits;
          qa = kLayer1Quant[a].a;
          qb = kLayer1Quant[a].b;
          grouped = 0;
        } else {
          const QuantClass& q = kQuantClasses[kAllocTables[p_.alloc_table].class_index[sb][a]];
          steps = q.steps;
          bits = q.bits;
          qa = q.a;
          qb = q.b;
          grouped = q.grouped;
        }
        int levels_pow = 1;  // 2^(n-1), n the bits of one level
        while (levels_pow * 2 < steps) levels_pow *= 2;
        int code[3];
        for (int i = 0; i < per_round; ++i) {
          const int b = round * per_round + i;
          const double s = joint ? joint_[b][sb] : sample_[ch][b][sb];
          const double x = s / scale;
          if (verbose && ctx && std::fabs(x) > 1.0)
            report_message(*ctx, "Not scaled properly %d %d %d %d.", ch, sb, b, a);
          int c = static_cast<int>(std::floor((qa * x + qb + 1.0) * levels_pow));
          code[i] = std::clamp(c, 0, steps - 1);
        }
        if (grouped) {
          const std::uint32_t w = static_cast<std::uint32_t>(code[0] + steps * (code[1] + steps * code[2]));
          out.write_bits(w, bits);
        } else {
          for (int i = 0; i < per_round; ++i) out.write_bits(static_cast<std::uint32_t>(code[i]), bits);
        }
      }
  }

  const long used = static_cast<long>(out.bits_written() - start_bits);
  long rest = frame_bits - used;
  while (rest > 0) {
    const int n = rest > 32 ? 32 : static_cast<int>(rest);
    out.write_bits(0, n);
    rest -= n;
  }
  const long sent = static_cast<long>(out.bits_written() - start_bits);
  if (ctx && sent % p_.bits_per_slot != 0)
    report_message(*ctx, "   Sent %ld bits = %ld slots plus %ld\n", sent, sent / p_.bits_per_slot,
                   sent % p_.bits_per_slot);

  info_.padding = padding;
  info_.mode = header_mode;
  info_.mode_extension = mode_extension;
  info_.bound = bound;
  info_.frame_bits = frame_bits;
  info_.bits_used = static_cast<int>(used);
  for (int ch = 0; ch < 2; ++ch)
    for (int sb = 0; sb < 32; ++sb) {
      info_.allocation[ch][sb] = alloc_[ch][sb];
      info_.smr[ch][sb] = smr_[ch][sb];
    }
}

}  // namespace corvexa::mpeg::audio
