#include "mpeg/audio/psycho_model2.h"

#include <algorithm>
#include <cmath>

#include "mpeg/audio/audio_tables.h"

namespace corvexa::mpeg::audio {

namespace {

constexpr double kTonalMaskingNoiseDb = 29.0;
constexpr double kNoiseMaskingToneDb = 6.0;

double bark_of(double hz) {
  const double* e = kModel2BandEdgesHz;
  if (hz >= e[26]) return 26.0;
  int b = 0;
  while (b < 25 && hz >= e[b + 1]) ++b;
  return b + (hz - e[b]) / (e[b + 1] - e[b]);
}

// Spreading of a masker at bark `masker` onto a partition at bark `masked`.
double spreading(double masked, double masker) {
  double tempx = (masked - masker) * 1.05;
  double x = 0.0;
  if (tempx >= 0.5 && tempx <= 2.5) {
    const double t = tempx - 0.5;
    x = 8.0 * (t * t - 2.0 * t);
  }
  tempx += 0.474;
  const double tempy = 15.811389 + 7.5 * tempx - 17.5 * std::sqrt(1.0 + tempx * tempx);
  if (tempy <= -60.0) return 0.0;
  return std::exp((x + tempy) * (M_LN10 / 10.0));
}

}  // namespace

bool PsychoModel2::reset(int layer, int sample_rate_hz) {
  switch (sample_rate_hz) {
    case 32000: absthr_index_ = 0; break;
    case 44100: absthr_index_ = 1; break;
    case 48000: absthr_index_ = 2; break;
    default: return false;
  }
  layer_ = layer;
  absthr_ = kModel2AbsThreshold[absthr_index_];
  buffer_size_ = layer == 1 ? 1024 : 1056;
  new_samples_ = layer == 1 ? 384 : 576;
  granules_ = layer == 1 ? 1 : 2;
  if (!fft_) fft_ = std::make_unique<Fft>(kFftSize);

  window_.resize(kFftSize);
  for (int i = 0; i < kFftSize; ++i)
    window_[static_cast<std::size_t>(i)] = 0.5 * (1.0 - std::cos(2.0 * M_PI * (i - 0.5) / kFftSize));

  // Threshold partitions: about a third of a Bark each.
  partition_of_line_.assign(kLines, 0);
  partition_first_.clear();
  partition_lines_.clear();
  std::vector<double> bval;
  double first_bark = 0.0, bark_sum = 0.0;
  for (int j = 0; j < kLines; ++j) {
    const double bark = bark_of(static_cast<double>(j) * sample_rate_hz / kFftSize);
    if (j == 0 || bark - first_bark > 0.33) {
      if (j > 0) bval.push_back(bark_sum / partition_lines_.back());
      partition_first_.push_back(j);
      partition_lines_.push_back(0);
      first_bark = bark;
      bark_sum = 0.0;
    }
    partition_of_line_[static_cast<std::size_t>(j)] = static_cast<int>(partition_first_.size()) - 1;
    ++partition_lines_.back();
    bark_sum += bark;
  }
  bval.push_back(bark_sum / partition_lines_.back());
  partitions_ = static_cast<int>(bval.size());

  const std::size_t np = static_cast<std::size_t>(partitions_);
  min_snr_db_.resize(np);
  for (std::size_t b = 0; b < np; ++b)
    min_snr_db_[b] = kModel2MinSnrDb[std::min(26, static_cast<int>(bval[b] + 0.5))];
  spread_.assign(np * np, 0.0);
  spread_lo_.assign(np, 0);
  spread_hi_.assign(np, 0);
  norm_.assign(np, 1.0);
  for (std::size_t i = 0; i < np; ++i) {
    double sum = 0.0;
    int lo = partitions_, hi = -1;
    for (std::size_t j = 0; j < np; ++j) {
      const double s = spreading(bval[i], bval[j]);
      spread_[i * np + j] = s;
      sum += s;
      if (s > 0.0) {
        lo = std::min(lo, static_cast<int>(j));
        hi = std::max(hi, static_cast<int>(j));
      }
    }
    spread_lo_[i] = lo;
    spread_hi_[i] = hi;
    norm_[i] = sum > 0.0 ? 1.0 / sum : 1.0;
  }

  for (History& h : history_) {
    h.buffer.assign(static_cast<std::size_t>(buffer_size_), 0.0);
    h.r1.assign(kLines, 0.0);
    h.r2.assign(kLines, 0.0);
    h.u1r.assign(kLines, 1.0);
    h.u1i.assign(kLines, 0.0);
    h.u2r.assign(kLines, 1.0);
    h.u2i.assign(kLines, 0.0);
    h.last_threshold.assign(kLines, 0.0);
    h.first = true;
  }
  input_.assign(kFftSize, 0.0);
  for (auto* v : {&re_, &im_, &energy_, &r_, &ur_, &ui_, &unpred_, &thr_}) v->assign(kLines, 0.0);
  eb_.assign(np, 0.0);
  cb_.assign(np, 0.0);
  nb_.assign(np, 0.0);
  return true;
}

void PsychoModel2::analyse(const short* pcm, int channel, double smr[32]) {
  History& h = history_[channel];
  for (int sb = 0; sb < 32; ++sb) smr[sb] = -1e9;
  const int keep = buffer_size_ - new_samples_;
  for (int g = 0; g < granules_; ++g) {
    // Shift the buffer and take the granule's new samples.
    std::copy(h.buffer.begin() + new_samples_, h.buffer.end(), h.buffer.begin());
    const short* src = pcm + g * new_samples_;
    for (int i = 0; i < new_samples_; ++i) h.buffer[static_cast<std::size_t>(keep + i)] = src[i];
    double part[32];
    granule(h, part);
    // Layer II: the larger SMR of the two granules.
    for (int sb = 0; sb < 32; ++sb) smr[sb] = std::max(smr[sb], part[sb]);
  }
}

void PsychoModel2::granule(History& h, double smr[32]) {
  for (int i = 0; i < kFftSize; ++i)
    input_[static_cast<std::size_t>(i)] = h.buffer[static_cast<std::size_t>(i)] * window_[static_cast<std::size_t>(i)];
  fft_->transform(input_.data(), re_.data(), im_.data());

  // Unpredictability of each line against the linear prediction of
  // magnitude and phase from the two previous calls.
  for (int j = 0; j < kLines; ++j) {
    const std::size_t u = static_cast<std::size_t>(j);
    const double e = re_[u] * re_[u] + im_[u] * im_[u];
    energy_[u] = e;
    const double r = std::sqrt(e);
    r_[u] = r;
    double cr = 1.0, ci = 0.0;
    if (r > 0.0) {
      cr = re_[u] / r;
      ci = im_[u] / r;
    }
    ur_[u] = cr;
    ui_[u] = ci;
    const double rp = 2.0 * h.r1[u] - h.r2[u];
    // Predicted phase 2 phi1 - phi2 as a phasor: u1^2 * conj(u2).
    const double sr = h.u1r[u] * h.u1r[u] - h.u1i[u] * h.u1i[u];
    const double si = 2.0 * h.u1r[u] * h.u1i[u];
    const double pr = sr * h.u2r[u] + si * h.u2i[u];
    const double pi = si * h.u2r[u] - sr * h.u2i[u];
    const double dr = re_[u] - rp * pr;
    const double di = im_[u] - rp * pi;
    const double denom = r + std::fabs(rp);
    unpred_[u] = denom > 0.0 ? std::sqrt(dr * dr + di * di) / denom : 1.0;
  }
  h.r2.swap(h.r1);
  h.r1 = r_;
  h.u2r.swap(h.u1r);
  h.u2i.swap(h.u1i);
  h.u1r = ur_;
  h.u1i = ui_;

  // Energy and unpredictability-weighted energy per partition.
  const std::size_t np = static_cast<std::size_t>(partitions_);
  std::fill(eb_.begin(), eb_.end(), 0.0);
  std::fill(cb_.begin(), cb_.end(), 0.0);
  for (int j = 0; j < kLines; ++j) {
    const std::size_t u = static_cast<std::size_t>(j);
    const std::size_t b = static_cast<std::size_t>(partition_of_line_[u]);
    eb_[b] += energy_[u];
    cb_[b] += energy_[u] * unpred_[u];
  }

  // Spreading, tonality, required SNR and the threshold energy.
  for (std::size_t b = 0; b < np; ++b) {
    double ecb = 0.0, ct = 0.0;
    const double* row = &spread_[b * np];
    for (int k = spread_lo_[b]; k <= spread_hi_[b]; ++k) {
      ecb += row[k] * eb_[static_cast<std::size_t>(k)];
      ct += row[k] * cb_[static_cast<std::size_t>(k)];
    }
    double c = ecb > 0.0 ? ct / ecb : 1.0;
    c = std::clamp(c, 0.05, 1.0);
    const double tonality = std::clamp(-0.299 - 0.43 * std::log(c), 0.0, 1.0);
    const double snr = std::max(min_snr_db_[b], tonality * kTonalMaskingNoiseDb +
                                                    (1.0 - tonality) * kNoiseMaskingToneDb);
    const double bc = std::exp(-snr * (M_LN10 / 10.0));
    nb_[b] = ecb * norm_[b] * bc / partition_lines_[b];
  }

  // Threshold per line: not below the threshold in quiet, and at most twice
  // the previous call's threshold (pre-echo).
  for (int j = 0; j < kLines; ++j) {
    const std::size_t u = static_cast<std::size_t>(j);
    const double t = std::max(nb_[static_cast<std::size_t>(partition_of_line_[u])], absthr_[j]);
    thr_[u] = h.first ? t : std::min(t, 2.0 * h.last_threshold[u]);
    h.last_threshold[u] = t;
  }
  h.first = false;

  // SMR per subband: the subband's energy over its lowest threshold.
  for (int sb = 0; sb < 32; ++sb) {
    double e = 0.0, m = 1e300;
    for (int j = sb * 16; j < sb * 16 + 16; ++j) {
      e += energy_[static_cast<std::size_t>(j)];
      m = std::min(m, thr_[static_cast<std::size_t>(j)]);
    }
    smr[sb] = 10.0 * std::log10(std::max(e, 1e-20) / (m * 16.0));
  }
}

}  // namespace corvexa::mpeg::audio
