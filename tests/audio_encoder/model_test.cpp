// The frame coder and the psychoacoustic models on signals whose right
// answer is known: silence, pure tones, swapped channels, joint stereo,
// the padding rhythm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "audio_encoder/audio_fixture.h"
#include "mpeg/audio/layer_coder.h"
#include "mpeg/audio/psycho_model2.h"
#include "mpeg/video/bit_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa::mpeg::audio;
using corvexa::mpeg::BitWriter;
using corvexa::mpeg::EncoderContext;

// Codes `frames` frames of a per-channel signal and keeps each frame's info.
class CoderRun {
 public:
  CoderRun(int layer, int model, int mode, int rate, int kbps) {
    corvexa::mpeg::WorkingSettings w{};
    w.audio_layer = layer;
    w.audio_mode = mode;
    w.psych_model = model;
    w.audio_bitrate_index = audio_test::bitrate_index_for(layer, kbps);
    std::string error;
    EXPECT_TRUE(make_frame_params(w, rate, params_, error)) << error;
    EXPECT_TRUE(coder_.start(params_));
    EXPECT_TRUE(writer_.open(ctx_, dir_.file("x.mp2")));
  }
  // `signal(ch, n)` gives sample n of channel ch.
  template <typename F>
  void run(int frames, F signal) {
    const int spf = params_.samples_per_frame;
    std::vector<short> a(static_cast<std::size_t>(spf)), b(static_cast<std::size_t>(spf));
    const short* pcm[2] = {a.data(), b.data()};
    for (int f = 0; f < frames; ++f) {
      for (int i = 0; i < spf; ++i) {
        a[static_cast<std::size_t>(i)] = signal(0, f * spf + i);
        b[static_cast<std::size_t>(i)] = signal(1, f * spf + i);
      }
      const double before = writer_.bits_written();
      coder_.encode_frame(pcm, writer_, nullptr, false);
      infos.push_back(coder_.last_frame());
      EXPECT_EQ(writer_.bits_written() - before, infos.back().frame_bits);
    }
  }
  // Quantisation steps of an allocation (0 = nothing sent).
  int steps(int sb, int alloc) const {
    if (alloc == 0) return 0;
    if (params_.layer == 1) return kLayer1Quant[alloc].steps;
    return kQuantClasses[kAllocTables[params_.alloc_table].class_index[sb][alloc]].steps;
  }
  std::vector<FrameInfo> infos;

 private:
  kavrol_test::TempDir dir_;
  EncoderContext ctx_;
  FrameParams params_;
  LayerCoder coder_;
  BitWriter writer_;
};

struct ModelCase {
  int layer, model;
};

class ModelBehaviour : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelBehaviour, DigitalSilenceCostsNoAllocation) {
  const ModelCase c = GetParam();
  CoderRun run(c.layer, c.model, 0, 48000, 224);
  run.run(6, [](int, int) { return short{0}; });
  for (const FrameInfo& f : run.infos)
    for (int ch = 0; ch < 2; ++ch)
      for (int sb = 0; sb < 32; ++sb) {
        EXPECT_EQ(f.allocation[ch][sb], 0) << ch << " " << sb;
        EXPECT_LT(f.smr[ch][sb], 0.0) << ch << " " << sb;
      }
}

TEST_P(ModelBehaviour, PureToneLandsInItsOwnSubband) {
  const ModelCase c = GetParam();
  for (int band : {2, 9, 17}) {
    for (int kbps : {224, 64}) {
      const double hz = (band + 0.5) * 48000.0 / 64.0;
      CoderRun run(c.layer, c.model, 3, 48000, kbps == 224 ? 192 : 64);
      run.run(c.layer == 1 ? 24 : 8, [hz](int, int n) {
        return static_cast<short>(std::lround(12000.0 * std::sin(2.0 * M_PI * hz * n / 48000.0)));
      });
      const FrameInfo& f = run.infos.back();
      const int* alloc = f.allocation[0];
      const double* smr = f.smr[0];
      const int top = static_cast<int>(std::max_element(smr, smr + 27) - smr);
      EXPECT_EQ(top, band) << "band " << band << " kbps " << kbps;
      EXPECT_GT(smr[band], 10.0);
      EXPECT_GT(alloc[band], 0);
      // Its quantiser is the finest of all subbands (ties only at the top
      // class, when the rate leaves bits over).
      for (int sb = 0; sb < 27; ++sb)
        if (sb != band) {
          if (kbps == 64) {
            EXPECT_GT(run.steps(band, alloc[band]), run.steps(sb, alloc[sb])) << sb;
          } else {
            EXPECT_GE(run.steps(band, alloc[band]), run.steps(sb, alloc[sb])) << sb;
          }
        }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Models, ModelBehaviour,
                         ::testing::Values(ModelCase{1, 1}, ModelCase{1, 2}, ModelCase{2, 1}, ModelCase{2, 2}),
                         [](const auto& info) {
                           return "L" + std::to_string(info.param.layer) + "_M" + std::to_string(info.param.model);
                         });

TEST(PsychoModel2, ChannelsKeepSeparateHistories) {
  const auto tone = audio_test::sine(1152 * 4, 1, 44100, 3000.0, 9000.0);
  const auto noise = audio_test::test_signal(1152 * 4, 1, 44100, 7);
  PsychoModel2 straight, swapped;
  ASSERT_TRUE(straight.reset(2, 44100));
  ASSERT_TRUE(swapped.reset(2, 44100));
  double a[2][32], b[2][32];
  for (int f = 0; f < 4; ++f) {
    straight.analyse(tone.data() + f * 1152, 0, a[0]);
    straight.analyse(noise.data() + f * 1152, 1, a[1]);
    swapped.analyse(noise.data() + f * 1152, 0, b[0]);
    swapped.analyse(tone.data() + f * 1152, 1, b[1]);
    for (int sb = 0; sb < 32; ++sb) {
      EXPECT_DOUBLE_EQ(a[0][sb], b[1][sb]);
      EXPECT_DOUBLE_EQ(a[1][sb], b[0][sb]);
    }
  }
  EXPECT_EQ(straight.absthr_index(), 1);
  EXPECT_EQ(straight.partition_count(), 63);
}

TEST(PsychoModel2, PartitionsFollowTheRate) {
  PsychoModel2 m;
  const int expect[3][2] = {{32000, 59}, {44100, 63}, {48000, 63}};
  for (const auto& e : expect) {
    ASSERT_TRUE(m.reset(2, e[0]));
    EXPECT_EQ(m.partition_count(), e[1]) << e[0];
  }
  EXPECT_FALSE(m.reset(2, 22050));
}

TEST(JointStereo, PlainStereoWhenItFitsJointWhenItDoesNot) {
  // A tone at a generous rate fits as plain stereo.
  CoderRun easy(2, 2, 1, 48000, 384);
  easy.run(4, [](int ch, int n) {
    return static_cast<short>(std::lround(8000.0 * std::sin(2.0 * M_PI * (ch ? 660.0 : 440.0) * n / 48000.0)));
  });
  for (const FrameInfo& f : easy.infos) {
    EXPECT_EQ(f.mode, 0);
    EXPECT_EQ(f.bound, 27);
  }
  // A busy signal at 96 kbit/s does not: more and more subbands go joint.
  const auto busy = audio_test::test_signal(1152 * 6, 2, 48000, 3);
  CoderRun hard(2, 2, 1, 48000, 128);
  hard.run(6, [&busy](int ch, int n) { return busy[static_cast<std::size_t>(2 * n + ch)]; });
  bool joint = false;
  for (const FrameInfo& f : hard.infos) {
    if (f.mode == 1) {
      joint = true;
      EXPECT_EQ(f.bound, 4 + 4 * f.mode_extension);
      for (int sb = f.bound; sb < 27; ++sb) EXPECT_EQ(f.allocation[0][sb], f.allocation[1][sb]);
    }
  }
  EXPECT_TRUE(joint);
}

TEST(Padding, FollowsTheLagAccumulator) {
  CoderRun run(2, 1, 0, 44100, 224);
  run.run(70, [](int, int n) { return static_cast<short>((n * 37) % 2000 - 1000); });
  int padded = 0;
  for (std::size_t i = 0; i < run.infos.size(); ++i) {
    padded += run.infos[i].padding;
    EXPECT_EQ(run.infos[i].frame_bits, (731 + run.infos[i].padding) * 8);
    if (i % 7 == 6) {
      EXPECT_EQ(padded, static_cast<int>(3 * (i + 1) / 7)) << i;
    }
  }
  EXPECT_EQ(padded, 30);
  CoderRun whole(2, 1, 0, 48000, 224);
  whole.run(10, [](int, int n) { return static_cast<short>((n * 37) % 2000 - 1000); });
  for (const FrameInfo& f : whole.infos) {
    EXPECT_EQ(f.padding, 0);
    EXPECT_EQ(f.frame_bits, 672 * 8);
  }
}

}  // namespace
