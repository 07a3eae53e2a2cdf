// The compiled-in tables against the published counts and spot values, and
// the small fixed pieces built on them: FFT, CRC, frame parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "mpeg/audio/audio_tables.h"
#include "mpeg/audio/fft.h"
#include "mpeg/audio/layer_coder.h"
#include "mpeg/settings/encoder_settings.h"

namespace {

using namespace corvexa::mpeg::audio;

TEST(AudioTables, AnalysisWindowAndScaleFactors) {
  EXPECT_EQ(kAnalysisWindow[0], 0.0);
  EXPECT_DOUBLE_EQ(kAnalysisWindow[1], -0.000000477);
  EXPECT_DOUBLE_EQ(kAnalysisWindow[64], 0.000101566);
  EXPECT_DOUBLE_EQ(kAnalysisWindow[256], 0.035780907);
  for (int i = 1; i < 512; ++i) {
    const double sign = (i % 64 == 0) ? 1.0 : -1.0;
    EXPECT_DOUBLE_EQ(kAnalysisWindow[512 - i], sign * kAnalysisWindow[i]) << i;
  }
  EXPECT_DOUBLE_EQ(kScaleFactors[0], 2.0);
  EXPECT_DOUBLE_EQ(kScaleFactors[3], 1.0);
  EXPECT_DOUBLE_EQ(kScaleFactors[62], 0.00000120155435);
  for (int i = 1; i < 63; ++i) EXPECT_NEAR(kScaleFactors[i] / kScaleFactors[i - 1], std::pow(2.0, -1.0 / 3.0), 1e-7);
}

TEST(AudioTables, Layer2AllocationTables) {
  struct Expect {
    int sblimit, allocation_bits;
  } expect[4] = {{27, 88}, {30, 94}, {8, 26}, {12, 38}};
  for (int t = 0; t < 4; ++t) {
    const AllocTable& a = kAllocTables[t];
    EXPECT_EQ(a.sblimit, expect[t].sblimit);
    int bits = 0;
    for (int sb = 0; sb < a.sblimit; ++sb) {
      bits += a.nbal[sb];
      EXPECT_EQ(a.class_index[sb][0], -1);
      // Every index the field can carry has a class, and steps grow.
      for (int i = 1; i < (1 << a.nbal[sb]); ++i) {
        ASSERT_GE(a.class_index[sb][i], 0) << t << " " << sb << " " << i;
        if (i > 1) {
          EXPECT_GT(kQuantClasses[a.class_index[sb][i]].steps, kQuantClasses[a.class_index[sb][i - 1]].steps);
        }
      }
    }
    EXPECT_EQ(bits, expect[t].allocation_bits) << t;
  }
  // B.2a subband 0: 3, 7, 15, ... steps; B.2c subband 0: 3, 5, 9, 15, ...
  EXPECT_EQ(kQuantClasses[kAllocTables[0].class_index[0][2]].steps, 7);
  EXPECT_EQ(kQuantClasses[kAllocTables[2].class_index[0][3]].steps, 9);
}

TEST(AudioTables, QuantisationClasses) {
  for (int c = 0; c < 17; ++c) {
    const QuantClass& q = kQuantClasses[c];
    int pow2 = 1;
    while (pow2 < q.steps) pow2 *= 2;
    EXPECT_NEAR(q.a, static_cast<double>(q.steps) / pow2, 1e-9);
    EXPECT_NEAR(q.b, q.a - 1.0, 2e-9);  // both printed to 9 decimals
    if (q.grouped) {
      EXPECT_LE(q.steps * q.steps * q.steps, 1 << q.bits);
    }
  }
  EXPECT_TRUE(kQuantClasses[0].grouped && kQuantClasses[1].grouped && kQuantClasses[3].grouped);
  EXPECT_EQ(kQuantClasses[3].bits, 10);
  EXPECT_DOUBLE_EQ(kQuantClasses[3].snr_db, 20.84);
  EXPECT_EQ(kLayer1Quant[14].steps, 32767);
  EXPECT_DOUBLE_EQ(kLayer1Quant[3].snr_db, 25.28);
}

TEST(AudioTables, ModelTables) {
  const int lines[6] = {108, 106, 102, 132, 130, 126};
  const int bands[6] = {24, 25, 26, 25, 27, 27};
  for (int t = 0; t < 6; ++t) {
    const Model1Table& m = kModel1Tables[t];
    EXPECT_EQ(m.line_count, lines[t]);
    EXPECT_EQ(m.band_count, bands[t]);
    EXPECT_EQ(m.band_lines[0], 1);
    EXPECT_EQ(m.band_lines[m.band_count - 1], m.lines[m.line_count - 1].line);
    for (int i = 1; i < m.line_count; ++i) {
      EXPECT_GT(m.lines[i].line, m.lines[i - 1].line);
      EXPECT_GT(m.lines[i].bark, m.lines[i - 1].bark);
    }
  }
  EXPECT_DOUBLE_EQ(kModel1Tables[5].lines[0].abs_threshold_db, 42.10);
  EXPECT_DOUBLE_EQ(kModel1Tables[0].lines[1].bark, 1.232);
  // Model 2: the threshold in quiet is lowest near 3.2 kHz at every rate.
  const int lowest[3] = {104, 76, 68};
  for (int r = 0; r < 3; ++r) {
    int at = 0;
    for (int j = 1; j < 513; ++j)
      if (kModel2AbsThreshold[r][j] < kModel2AbsThreshold[r][at]) at = j;
    EXPECT_EQ(at, lowest[r]);
  }
  EXPECT_DOUBLE_EQ(kModel2AbsThreshold[2][0], 247592464.0);
  EXPECT_DOUBLE_EQ(kModel2BandEdgesHz[25], 25000.0);
  EXPECT_DOUBLE_EQ(kModel2MinSnrDb[8], 7.0);
}

TEST(AudioTables, ScaleFactorSelectionPatterns) {
  // Equal scale factors send one; a loud first part with quieter rest two.
  EXPECT_EQ(kScfsiPatterns[2][2].scfsi, 2);
  EXPECT_EQ(kScfsiPatterns[0][0].scfsi, 0);
  EXPECT_EQ(kScfsiPatterns[1][3].used[0], 3);
  EXPECT_EQ(kScfsiPatterns[0][1].scfsi, 3);
}

TEST(AudioFft, MatchesTheDirectTransform) {
  for (int n : {512, 1024}) {
    Fft fft(n);
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<std::size_t>(i)] = std::sin(i * 0.37) + 0.25 * std::cos(i * 2.1) + (i % 7) * 0.01;
    std::vector<double> re(static_cast<std::size_t>(n / 2 + 1)), im(re.size());
    fft.transform(x.data(), re.data(), im.data());
    for (int k : {0, 1, 5, n / 4, n / 2 - 1, n / 2}) {
      std::complex<double> s = 0.0;
      for (int i = 0; i < n; ++i) s += x[static_cast<std::size_t>(i)] * std::polar(1.0, -2.0 * M_PI * k * i / n);
      EXPECT_NEAR(re[static_cast<std::size_t>(k)], s.real(), 1e-9) << n << " " << k;
      EXPECT_NEAR(im[static_cast<std::size_t>(k)], s.imag(), 1e-9) << n << " " << k;
    }
  }
}

TEST(AudioCrc, Crc16WithGenerator8005) {
  std::uint16_t crc = 0xFFFF;
  for (char c : std::string("123456789")) crc_update(crc, static_cast<unsigned char>(c), 8);
  EXPECT_EQ(crc, 0xAEE7);  // CRC-16 0x8005, initial 0xFFFF, no reflection
}

struct ParamCase {
  int layer, rate, kbps, mode;
  int whole_slots;
  double fraction;
  int sblimit;
};

class AudioFrameParams : public ::testing::TestWithParam<ParamCase> {};

TEST_P(AudioFrameParams, SlotsAndTable) {
  const ParamCase c = GetParam();
  corvexa::mpeg::WorkingSettings w{};
  w.audio_layer = c.layer;
  w.audio_mode = c.mode;
  w.psych_model = 2;
  for (int i = 1; i <= 14; ++i)
    if (bitrate_kbps(c.layer, i) == c.kbps) w.audio_bitrate_index = i;
  FrameParams p;
  std::string error;
  ASSERT_TRUE(make_frame_params(w, c.rate, p, error)) << error;
  EXPECT_EQ(p.whole_slots, c.whole_slots);
  EXPECT_NEAR(p.fraction, c.fraction, 1e-6);
  EXPECT_EQ(p.sblimit, c.sblimit);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioFrameParams,
    ::testing::Values(ParamCase{2, 48000, 224, 0, 672, 0.0, 27}, ParamCase{2, 44100, 224, 0, 731, 3.0 / 7.0, 30},
                      ParamCase{2, 32000, 224, 1, 1008, 0.0, 30}, ParamCase{2, 48000, 192, 3, 576, 0.0, 27},
                      ParamCase{2, 44100, 64, 0, 208, 0.979592, 8}, ParamCase{2, 32000, 64, 0, 288, 0.0, 12},
                      ParamCase{2, 44100, 64, 3, 208, 0.979592, 27}, ParamCase{1, 44100, 224, 0, 60, 0.952381, 32},
                      ParamCase{1, 48000, 448, 2, 112, 0.0, 32}));

TEST(AudioFrameParams, RefusesFreeFormatAndOtherRates) {
  corvexa::mpeg::WorkingSettings w{};
  w.audio_layer = 2;
  w.audio_bitrate_index = 0;
  FrameParams p;
  std::string error;
  EXPECT_FALSE(make_frame_params(w, 48000, p, error));
  w.audio_bitrate_index = 11;
  EXPECT_FALSE(make_frame_params(w, 22050, p, error));
  EXPECT_EQ(error, "Unknown audio sampling rate");
}

}  // namespace

namespace {

TEST(AudioFilterbank, FoldedMatrixingMatchesTheDirectForm) {
  double y[64], a[32], b[32];
  for (int k = 0; k < 64; ++k) y[k] = std::sin(k * 1.7) * (k % 5 + 1) - 0.3 * std::cos(k * 0.2);
  corvexa::mpeg::audio::matrix_direct(y, a);
  corvexa::mpeg::audio::matrix_folded(y, b);
  for (int i = 0; i < 32; ++i) EXPECT_NEAR(a[i], b[i], 1e-12) << i;
}

}  // namespace
