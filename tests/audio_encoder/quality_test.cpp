// Quality on real sound: the decoded signal, aligned for the filterbank
// delay, against the same clip through FFmpeg's own MP2 encoder at the same
// settings (a comparison only).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "audio_encoder/audio_fixture.h"
#include "support/temp_dir.h"

namespace {

using namespace audio_test;

struct QualityCase {
  const char* clip;
  double start_s;
  int rate;
  int kbps;
};

double our_snr(const std::vector<short>& pcm, int rate, int kbps, int model, const std::string& path) {
  if (!encode_stereo(pcm, rate, model, kbps, path)) return -100.0;
  const Decoded d = decode_mpg123(path);
  if (!d.ok) return -100.0;
  return aligned_snr(pcm, d.pcm, 2, 1200);
}

double ffmpeg_snr(const std::vector<short>& pcm, int rate, int kbps, const kavrol_test::TempDir& dir) {
  const std::string raw = dir.file("in.raw"), mp2 = dir.file("ref.mp2");
  {
    std::ofstream f(raw, std::ios::binary);
    f.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
  }
  const std::string cmd = "ffmpeg -v error -nostdin -y -f s16le -ar " + std::to_string(rate) +
                          " -ac 2 -i '" + raw + "' -c:a mp2 -b:a " + std::to_string(kbps) + "k '" + mp2 + "'";
  if (std::system(cmd.c_str()) != 0) return -100.0;
  const Decoded d = decode_mpg123(mp2);
  if (!d.ok) return -100.0;
  return aligned_snr(pcm, d.pcm, 2, 1200);
}

class Quality : public ::testing::TestWithParam<QualityCase> {};

TEST_P(Quality, CloseToAMatureEncoder) {
  const QualityCase q = GetParam();
  const std::vector<short> pcm = decode_clip(kavrol_test::media_clip(q.clip), q.rate, 2, q.start_s, 3.0);
  if (pcm.size() < static_cast<std::size_t>(q.rate))
    GTEST_SKIP() << q.clip << " or the ffmpeg program is not available";
  kavrol_test::TempDir dir;
  const double reference = ffmpeg_snr(pcm, q.rate, q.kbps, dir);
  const double m1 = our_snr(pcm, q.rate, q.kbps, 1, dir.file("m1.mp2"));
  const double m2 = our_snr(pcm, q.rate, q.kbps, 2, dir.file("m2.mp2"));
  std::printf("%s %d Hz %d kbit/s: model 1 %.2f dB, model 2 %.2f dB, ffmpeg mp2 %.2f dB\n", q.clip, q.rate,
              q.kbps, m1, m2, reference);
  EXPECT_GT(m1, reference - 3.0);
  EXPECT_GT(m2, reference - 3.0);
}

INSTANTIATE_TEST_SUITE_P(
    RealSound, Quality,
    ::testing::Values(QualityCase{"src_tears-of-steel-battle-clip-medium.webm", 20.0, 48000, 224},
                      QualityCase{"src_tears-of-steel-battle-clip-medium.webm", 20.0, 44100, 128},
                      QualityCase{"src_video_02.mp4", 2.0, 44100, 224},
                      QualityCase{"src_left.avi", 0.5, 48000, 64},
                      QualityCase{"src_friday.mp4", 1.0, 32000, 128}));

}  // namespace
