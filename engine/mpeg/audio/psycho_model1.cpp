#include "mpeg/audio/psycho_model1.h"

#include <algorithm>
#include <cmath>

namespace corvexa::mpeg::audio {

namespace {

constexpr double kPowerNorm = 90.309;  // 20 log10(2^15): full scale of the 2^-15 samples
constexpr double kEnergyFloor = 1e-20;
constexpr double kNoLevel = -1000.0;

inline double db_to_power(double db) { return std::exp(db * (M_LN10 / 10.0)); }
inline double power_to_db(double p) { return 10.0 * std::log10(p); }

}  // namespace

bool PsychoModel1::reset(int layer, int sample_rate) {
  table_ = nullptr;
  for (const Model1Table& t : kModel1Tables)
    if (t.layer == layer && t.sample_rate == sample_rate) table_ = &t;
  if (table_ == nullptr) return false;
  layer_ = layer;
  fft_size_ = layer == 1 ? 512 : 1024;
  ring_size_ = layer == 1 ? 640 : 1408;
  new_samples_ = layer == 1 ? 384 : 1152;
  ring_pos_ = 0;
  fft_ = std::make_unique<Fft>(fft_size_);
  for (auto& r : ring_) r.assign(static_cast<std::size_t>(ring_size_), 0.0);
  const int n = fft_size_;
  window_.resize(static_cast<std::size_t>(n));
  // Hann window with power normalisation sqrt(8/3), and the transform's 1/N.
  for (int i = 0; i < n; ++i)
    window_[static_cast<std::size_t>(i)] =
        std::sqrt(8.0 / 3.0) * 0.5 * (1.0 - std::cos(2.0 * M_PI * i / n)) / n;
  input_.assign(static_cast<std::size_t>(n), 0.0);
  re_.assign(static_cast<std::size_t>(n / 2 + 1), 0.0);
  im_.assign(static_cast<std::size_t>(n / 2 + 1), 0.0);
  spectrum_.assign(static_cast<std::size_t>(n / 2 + 1), 0.0);
  masked_.assign(static_cast<std::size_t>(n / 2 + 1), 0);
  // A spectral line belongs to the table entry at or just below it.
  line_to_entry_.assign(static_cast<std::size_t>(n / 2 + 1), 0);
  int e = 0;
  for (int k = 0; k <= n / 2; ++k) {
    while (e + 1 < table_->line_count && table_->lines[e + 1].line <= k) ++e;
    line_to_entry_[static_cast<std::size_t>(k)] = e;
  }
  threshold_power_.assign(static_cast<std::size_t>(table_->line_count), 0.0);
  abs_power_.resize(static_cast<std::size_t>(table_->line_count));
  for (int i = 0; i < table_->line_count; ++i)
    abs_power_[static_cast<std::size_t>(i)] = db_to_power(table_->lines[i].abs_threshold_db);
  tonal_.reserve(256);
  noise_.reserve(32);
  return true;
}

void PsychoModel1::analyse(const short* const pcm[2], int channels, const double scf_max[2][32],
                           double smr[2][32]) {
  // Append the new samples to each ring; the transform reads 1024 (512)
  // samples starting 1216 (448) after the previous write position.
  const int start = (ring_pos_ + (layer_ == 1 ? 448 : 1216)) % ring_size_;
  for (int ch = 0; ch < channels; ++ch) {
    std::vector<double>& ring = ring_[ch];
    int pos = ring_pos_;
    for (int i = 0; i < new_samples_; ++i) {
      ring[static_cast<std::size_t>(pos)] = pcm[ch][i] / 32768.0;
      if (++pos == ring_size_) pos = 0;
    }
    int p = start;
    for (int i = 0; i < fft_size_; ++i) {
      input_[static_cast<std::size_t>(i)] = ring[static_cast<std::size_t>(p)] *
                                            window_[static_cast<std::size_t>(i)];
      if (++p == ring_size_) p = 0;
    }
    analyse_channel(scf_max[ch], smr[ch], ch);
  }
  ring_pos_ = (ring_pos_ + new_samples_) % ring_size_;
}

void PsychoModel1::analyse_channel(const double scf_max[32], double smr[32], int) {
  const int n = fft_size_;
  const int lines = n / 2;
  fft_->transform(input_.data(), re_.data(), im_.data());
  double* x = spectrum_.data();
  for (int k = 0; k <= lines; ++k) {
    const double e = re_[static_cast<std::size_t>(k)] * re_[static_cast<std::size_t>(k)] +
                     im_[static_cast<std::size_t>(k)] * im_[static_cast<std::size_t>(k)];
    x[k] = power_to_db(std::max(e, kEnergyFloor)) + kPowerNorm;
  }

  // Sound pressure level per subband.
  const int per_subband = n / 64;
  double spl[32];
  for (int sb = 0; sb < 32; ++sb) {
    double m = kNoLevel;
    for (int k = sb * per_subband; k < (sb + 1) * per_subband; ++k) m = std::max(m, x[k]);
    const double scf_level = 20.0 * std::log10(std::max(scf_max[sb], 1e-10) * 32768.0) - 10.0;
    spl[sb] = std::max(m, scf_level);
  }

  // Tonal components: local maxima standing 7 dB above their neighbourhood.
  const int search_end = layer_ == 1 ? 250 : 500;
  std::fill(masked_.begin(), masked_.end(), 0);
  tonal_.clear();
  for (int k = 2; k < search_end; ++k) {
    if (!(x[k] > x[k - 1] && x[k] >= x[k + 1])) continue;
    int reach;
    if (k < 63) reach = 2;
    else if (k < 127) reach = 3;
    else if (k < 255) reach = 6;
    else reach = 12;
    bool tonal = true;
    for (int j = 2; j <= reach && tonal; ++j) {
      if (k - j >= 0 && x[k] - x[k - j] < 7.0) tonal = false;
      if (k + j <= lines && x[k] - x[k + j] < 7.0) tonal = false;
    }
    if (!tonal) continue;
    const double level = power_to_db(db_to_power(x[k - 1]) + db_to_power(x[k]) + db_to_power(x[k + 1]));
    tonal_.push_back({line_to_entry_[static_cast<std::size_t>(k)], level});
    for (int j = std::max(0, k - reach); j <= std::min(lines, k + reach); ++j)
      masked_[static_cast<std::size_t>(j)] = 1;
    k += 1;  // the next line cannot be a maximum
  }

  // Non-tonal components: the remaining power of each critical band, placed
  // at the line nearest the band's geometric mean.
  noise_.clear();
  for (int b = 0; b + 1 < table_->band_count; ++b) {
    const int lo = table_->band_lines[b];
    const int hi = table_->band_lines[b + 1];
    double sum = 0.0;
    for (int k = lo; k < hi; ++k)
      if (!masked_[static_cast<std::size_t>(k)]) sum += db_to_power(x[k]);
    if (sum <= 0.0) continue;
    const int centre = static_cast<int>(std::lround(std::sqrt(static_cast<double>(lo) * (hi - 1))));
    noise_.push_back({line_to_entry_[static_cast<std::size_t>(std::clamp(centre, lo, hi - 1))],
                      power_to_db(sum)});
  }

  // Decimation: nothing below the threshold in quiet; of tonal components
  // closer than 0.5 Bark only the stronger stays.
  const Model1Line* t = table_->lines;
  auto below_quiet = [&](const Component& c) { return c.level < t[c.entry].abs_threshold_db; };
  tonal_.erase(std::remove_if(tonal_.begin(), tonal_.end(), below_quiet), tonal_.end());
  noise_.erase(std::remove_if(noise_.begin(), noise_.end(), below_quiet), noise_.end());
  for (std::size_t i = 0; i + 1 < tonal_.size();) {
    if (t[tonal_[i + 1].entry].bark - t[tonal_[i].entry].bark < 0.5) {
      if (tonal_[i + 1].level > tonal_[i].level) tonal_.erase(tonal_.begin() + static_cast<long>(i));
      else tonal_.erase(tonal_.begin() + static_cast<long>(i + 1));
    } else {
      ++i;
    }
  }

  // Individual masking thresholds summed with the threshold in quiet.
  const int entries = table_->line_count;
  std::copy(abs_power_.begin(), abs_power_.end(), threshold_power_.begin());
  auto spread = [&](const Component& c, bool tonal) {
    const double zj = t[c.entry].bark;
    const double index = tonal ? -1.525 - 0.275 * zj - 4.5 : -1.525 - 0.175 * zj - 0.5;
    const double base = c.level + index;
    int i = c.entry;
    while (i > 0 && t[i - 1].bark - zj >= -3.0) --i;
    for (; i < entries; ++i) {
      const double dz = t[i].bark - zj;
      if (dz >= 8.0) break;
      double vf;
      if (dz < -1.0) vf = 17.0 * (dz + 1.0) - (0.4 * c.level + 6.0);
      else if (dz < 0.0) vf = (0.4 * c.level + 6.0) * dz;
      else if (dz < 1.0) vf = -17.0 * dz;
      else vf = -(dz - 1.0) * (17.0 - 0.15 * c.level) - 17.0;
      threshold_power_[static_cast<std::size_t>(i)] += db_to_power(base + vf);
    }
  };
  for (const Component& c : tonal_) spread(c, true);
  for (const Component& c : noise_) spread(c, false);

  // Minimum of the global threshold per subband; subbands above the table's
  // last line take the last entry's value.
  double min_power[32];
  std::fill(min_power, min_power + 32, -1.0);
  for (int i = 0; i < entries; ++i) {
    const int sb = std::min(31, t[i].line / per_subband);
    const double p = threshold_power_[static_cast<std::size_t>(i)];
    if (min_power[sb] < 0.0 || p < min_power[sb]) min_power[sb] = p;
  }
  double last = threshold_power_[static_cast<std::size_t>(entries - 1)];
  for (int sb = 31; sb >= 0; --sb) {
    if (min_power[sb] < 0.0) min_power[sb] = last;
    else last = min_power[sb];
  }
  for (int sb = 0; sb < 32; ++sb) smr[sb] = spl[sb] - power_to_db(min_power[sb]);
}

}  // namespace corvexa::mpeg::audio
