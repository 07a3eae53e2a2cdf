#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/audio_reader.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace {

using corvexa::core::AudioReader;
using kavrol_test::AviAudioFormat;
using kavrol_test::AviWriter;

// An AVI with a small raw video track and the given sound chunks.
std::string write_sound_avi(const kavrol_test::TempDir& dir, const std::string& name,
                            const AviAudioFormat& audio, const std::vector<std::vector<std::uint8_t>>& chunks) {
  AviWriter writer;
  kavrol_test::AviVideoFormat video;
  video.width = 16;
  video.height = 16;
  int v = writer.add_video(video);
  int a = writer.add_audio(audio);
  for (const auto& c : chunks) {
    writer.add_chunk(v, kavrol_test::test_picture_bgr24(16, 16, 0));
    writer.add_chunk(a, c);
  }
  const std::string path = dir.file(name);
  EXPECT_TRUE(writer.write(path));
  return path;
}

// Every block of the track, concatenated.
std::vector<std::uint8_t> read_all(AudioReader& reader, int max_blocks = 100000) {
  std::vector<std::uint8_t> all;
  reader.BeginRun();
  for (int i = 0; i < max_blocks; ++i) {
    std::int32_t n = 0;
    std::uint8_t* data = nullptr;
    int code = reader.ReadBlock(n, data);
    if (code == 50) break;
    EXPECT_EQ(code, 0);
    if (code != 0) break;
    all.insert(all.end(), data, data + n);
  }
  reader.EndRun();
  return all;
}

std::int16_t sample16(const std::vector<std::uint8_t>& pcm, std::size_t i) {
  return static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
}

TEST(AudioReader, RateFactorsForTheCommonRates) {
  kavrol_test::TempDir dir;
  struct Case {
    int rate, channels, factor, out_rate;
  };
  const Case cases[] = {{22050, 2, 2, 44100}, {11025, 2, 4, 44100}, {8000, 1, 4, 32000},
                        {24000, 2, 2, 48000}, {16000, 1, 2, 32000}, {44100, 2, 1, 44100},
                        {32000, 1, 1, 32000}, {48000, 2, 1, 48000}};
  for (const Case& c : cases) {
    AviAudioFormat audio;
    audio.format = kavrol_test::pcm_format(c.channels, c.rate, 16);
    const int samples = c.rate / 5;  // 0.2 s
    const std::string path = write_sound_avi(dir, "r.avi", audio,
                                             {kavrol_test::tone_pcm16(c.rate, c.channels, samples, 440)});
    AudioReader reader;
    ASSERT_TRUE(reader.Open(path)) << c.rate;
    ASSERT_TRUE(reader.Prepare(25, 1)) << c.rate;
    EXPECT_FALSE(reader.decoded_by_platform());
    EXPECT_EQ(reader.rate_factor(), c.factor) << c.rate;
    EXPECT_EQ(reader.Describe().sample_rate, c.out_rate) << c.rate;
    EXPECT_EQ(reader.Describe().stereo, c.channels == 2);
    EXPECT_EQ(reader.Describe().bits, 16);
    std::vector<std::uint8_t> pcm = read_all(reader);
    ASSERT_EQ(pcm.size(), static_cast<std::size_t>(samples) * c.channels * 2 * c.factor) << c.rate;
    // Each sample frame (a left-right pair for stereo) is written `factor` times.
    std::vector<std::uint8_t> source = kavrol_test::tone_pcm16(c.rate, c.channels, samples, 440);
    for (int i = 0; i < samples; i += 97)
      for (int r = 0; r < c.factor; ++r)
        for (int ch = 0; ch < c.channels; ++ch)
          ASSERT_EQ(sample16(pcm, (static_cast<std::size_t>(i) * c.factor + r) * c.channels + ch),
                    sample16(source, static_cast<std::size_t>(i) * c.channels + ch));
  }
}

TEST(AudioReader, BlockHoldsOneVideoFramesWorth) {
  kavrol_test::TempDir dir;
  AviAudioFormat audio;
  audio.format = kavrol_test::pcm_format(2, 44100, 16);
  const std::string path = write_sound_avi(dir, "b.avi", audio,
                                           {kavrol_test::tone_pcm16(44100, 2, 44100, 440)});
  AudioReader reader;
  ASSERT_TRUE(reader.Open(path));
  ASSERT_TRUE(reader.Prepare(25, 1));
  EXPECT_EQ(reader.frame_samples(), 1764);
  reader.BeginRun();
  std::int32_t n = 0;
  std::uint8_t* data = nullptr;
  ASSERT_EQ(reader.ReadBlock(n, data), 0);
  EXPECT_EQ(n, 7056);
  // The whole second, then the end is "no more audio", not a read failure.
  for (int i = 1; i < 25; ++i) ASSERT_EQ(reader.ReadBlock(n, data), 0) << i;
  EXPECT_EQ(reader.ReadBlock(n, data), 50);
}

TEST(AudioReader, TheEnginesOwnReaderTakesOverWhenThePlatformCannotRead) {
  kavrol_test::TempDir dir;
  AviAudioFormat audio;
  audio.format = kavrol_test::pcm_format(2, 22050, 16);
  std::vector<std::vector<std::uint8_t>> chunks;
  for (int i = 0; i < 10; ++i) chunks.push_back(kavrol_test::tone_pcm16(22050, 2, 2205, 440, i * 2205));
  const std::string path = write_sound_avi(dir, "fb.avi", audio, chunks);
  AudioReader normal;
  ASSERT_TRUE(normal.Open(path));
  ASSERT_TRUE(normal.Prepare(25, 1));
  AudioReader fallback;
  ASSERT_TRUE(fallback.Open(path));
  EXPECT_TRUE(fallback.has_fallback());
  ASSERT_TRUE(fallback.Prepare(25, 1));
  fallback.FailPlatformReadsForTest();
  std::vector<std::uint8_t> expected = read_all(normal);
  ASSERT_EQ(expected.size(), 22050u * 4 * 2);
  EXPECT_EQ(read_all(fallback), expected);
}

TEST(AudioReader, EightBitSamplesBecomeSixteenAndAreRepeated) {
  kavrol_test::TempDir dir;
  AviAudioFormat audio;
  audio.format = kavrol_test::pcm_format(1, 22050, 8);
  std::vector<std::uint8_t> bytes(2205, 128);
  bytes[0] = 0;
  bytes[1] = 128;
  bytes[2] = 255;
  const std::string path = write_sound_avi(dir, "u8.avi", audio, {bytes});
  AudioReader reader;
  ASSERT_TRUE(reader.Open(path));
  ASSERT_TRUE(reader.Prepare(25, 1));
  EXPECT_EQ(reader.rate_factor(), 2);
  std::vector<std::uint8_t> pcm = read_all(reader);
  ASSERT_EQ(pcm.size(), 2205u * 2 * 2);
  const std::int16_t expected[6] = {-32768, -32768, 0, 0, 32512, 32512};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(sample16(pcm, static_cast<std::size_t>(i)), expected[i]);
}

// Runs ffmpeg to make a fixture; false when it cannot.
bool ffmpeg(const std::string& args) {
  return std::system(("ffmpeg -nostdin -v error -y " + args).c_str()) == 0;
}

std::vector<std::uint8_t> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// Correlation of two 16-bit tracks over their common length.
double correlation(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  const std::size_t n = std::min(a.size(), b.size()) / 2;
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    double x = sample16(a, i), y = sample16(b, i);
    ab += x * y;
    aa += x * x;
    bb += y * y;
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

TEST(AudioReader, OtherSoundIsDecodedAndResampled) {
  kavrol_test::TempDir dir;
  struct Case {
    const char* what;
    const char* codec;
    int rate, channels, out_rate, out_channels;
  };
  const Case cases[] = {
      {"96 kHz PCM", "pcm_s16le", 96000, 2, 48000, 2},
      {"22 kHz PCM", "pcm_s16le", 22000, 1, 48000, 1},
      {"24-bit PCM", "pcm_s24le", 44100, 2, 44100, 2},
      {"AC-3 5.1", "ac3", 48000, 6, 48000, 2},
      {"MP2", "mp2", 44100, 2, 44100, 2},
      {"ADPCM", "adpcm_ima_wav", 22050, 1, 44100, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.file("f.avi");
    ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc=size=32x32:rate=25:duration=1 -f lavfi -i sine=frequency=500:sample_rate=" +
                       std::to_string(c.rate) + ":duration=1 -ac " + std::to_string(c.channels) +
                       " -c:v rawvideo -pix_fmt bgr24 -c:a " + c.codec + " '" + path + "'"));
    AudioReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.Prepare(25, 1));
    EXPECT_TRUE(reader.decoded_by_platform());
    EXPECT_EQ(reader.Describe().sample_rate, c.out_rate);
    EXPECT_EQ(reader.Describe().stereo, c.out_channels == 2);
    EXPECT_EQ(reader.Describe().bits, 16);
    std::vector<std::uint8_t> pcm = read_all(reader);
    const double seconds = static_cast<double>(pcm.size()) / (c.out_rate * c.out_channels * 2);
    EXPECT_NEAR(seconds, 1.0, 0.1);
    // A second run starts from the beginning again.
    std::vector<std::uint8_t> again = read_all(reader);
    EXPECT_EQ(again.size(), pcm.size());
  }
}

TEST(AudioReader, Mp3InBothLayoutsDeliversTheWholeTrack) {
  kavrol_test::TempDir dir;
  // FFmpeg writes the one-frame-per-chunk layout.
  const std::string vbr = dir.file("mp3.avi");
  ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc=size=32x32:rate=25:duration=3 -f lavfi -i "
                     "sine=frequency=700:sample_rate=44100:duration=3 -ac 2 -c:v rawvideo -pix_fmt bgr24 "
                     "-c:a libmp3lame -b:a 128k '" + vbr + "'"));
  const std::string reference = dir.file("ref.raw");
  ASSERT_TRUE(ffmpeg("-i '" + vbr + "' -vn -f s16le -ac 2 -ar 44100 '" + reference + "'"));
  std::vector<std::uint8_t> ref = file_bytes(reference);

  std::vector<std::string> sources = {vbr};
  // The byte-counted layout, with a rate that does not match its byte rate.
  const std::string cbr = kavrol_test::media_clip("src_left.avi");
  if (!cbr.empty()) sources.push_back(cbr);
  for (const std::string& path : sources) {
    SCOPED_TRACE(path);
    AudioReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.Prepare(25, 1));
    EXPECT_FALSE(reader.decoded_by_platform());
    EXPECT_EQ(reader.Describe().sample_rate, 44100);
    std::vector<std::uint8_t> pcm = read_all(reader);
    const double seconds = pcm.size() / (44100.0 * 4);
    if (path == vbr) {
      EXPECT_NEAR(seconds, 3.0, 0.1);
      // The same sound as an independent decode (decoders differ in rounding
      // and in the priming they drop).
      std::size_t best_shift = 0;
      double best = 0;
      for (std::size_t shift = 0; shift <= 4 * 1200 && shift < pcm.size(); shift += 4) {
        std::vector<std::uint8_t> shifted(pcm.begin() + static_cast<std::ptrdiff_t>(shift), pcm.end());
        double r = correlation(shifted, ref);
        if (r > best) best = r, best_shift = shift;
      }
      EXPECT_GT(best, 0.99) << "shift " << best_shift;
    } else {
      EXPECT_NEAR(seconds, 5.08, 0.1);
    }
  }
}

// Whatever the frame rate, every MP3 sample reaches a block, and the sound
// waiting between blocks stays below one block and one decoded frame.
TEST(AudioReader, Mp3AtAnyFrameRateKeepsTheWholeTrackWithFlatMemory) {
  kavrol_test::TempDir dir;
  const std::string path = dir.file("mp3.avi");
  ASSERT_TRUE(ffmpeg("-f lavfi -i testsrc=size=32x32:rate=10:duration=6 -f lavfi -i "
                     "sine=frequency=700:sample_rate=44100:duration=6 -ac 2 -c:v rawvideo -pix_fmt bgr24 "
                     "-c:a libmp3lame -b:a 128k '" + path + "'"));
  struct Case {
    std::uint32_t rate, scale;
  };
  const Case cases[] = {{10, 1}, {25, 2}, {15, 1}, {25, 1}, {30000, 1001}, {50, 1}};
  std::size_t first_total = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + "/" + std::to_string(c.scale));
    AudioReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.Prepare(c.rate, c.scale));
    reader.BeginRun();
    std::size_t total = 0, most_waiting = 0, largest_block = 0;
    for (int i = 0; i < 100000; ++i) {
      std::int32_t n = 0;
      std::uint8_t* data = nullptr;
      int code = reader.ReadBlock(n, data);
      if (code == 50) break;
      ASSERT_EQ(code, 0);
      total += static_cast<std::size_t>(n);
      largest_block = std::max(largest_block, static_cast<std::size_t>(n));
      most_waiting = std::max(most_waiting, reader.waiting_bytes());
    }
    reader.EndRun();
    // The track as decoded keeps the encoder's priming and padding (at most
    // two frames); it is the same at every rate.
    EXPECT_NEAR(total / (44100.0 * 4), 6.0, 2 * 1152.0 / 44100);
    if (first_total == 0) first_total = total;
    EXPECT_EQ(total, first_total);
    EXPECT_LT(most_waiting, largest_block + 1152 * 4);
  }
}

// A rate the disc needs is reached by filtering: a 5 kHz tone at 22050 Hz
// comes out at 44100 Hz without its mirror image at 17050 Hz, and a single
// channel comes out on both.
TEST(AudioReader, ConformingResamplesAndDoublesOneChannel) {
  kavrol_test::TempDir dir;
  AviAudioFormat audio;
  audio.format = kavrol_test::pcm_format(1, 22050, 16);
  const std::string path = write_sound_avi(dir, "c.avi", audio,
                                           {kavrol_test::tone_pcm16(22050, 1, 22050, 5000)});
  AudioReader reader;
  ASSERT_TRUE(reader.Open(path));
  reader.ConformTo(44100, true);
  ASSERT_TRUE(reader.Prepare(25, 1));
  EXPECT_EQ(reader.Describe().sample_rate, 44100);
  EXPECT_TRUE(reader.Describe().stereo);
  std::vector<std::uint8_t> pcm = read_all(reader);
  const std::size_t frames = pcm.size() / 4;
  EXPECT_NEAR(frames / 44100.0, 1.0, 0.01);
  auto power = [&](double hz) {
    // Goertzel over the middle of the left channel.
    const double k = 2 * std::cos(2 * M_PI * hz / 44100);
    double a = 0, b = 0;
    for (std::size_t i = 4000; i < 40000 && i < frames; ++i) {
      const double v = sample16(pcm, 2 * i) + k * a - b;
      b = a;
      a = v;
    }
    return a * a + b * b - k * a * b;
  };
  EXPECT_LT(power(17050), power(5000) * 1e-6);
  for (std::size_t i = 0; i < frames; i += 101) ASSERT_EQ(sample16(pcm, 2 * i), sample16(pcm, 2 * i + 1));
}

TEST(AudioReader, RealClipsKeepTheirSound) {
  struct Clip {
    const char* name;
    double seconds;
  };
  const Clip clips[] = {{"xvid_mp3.avi", 10.04}, {"divx_mp3_ntsc.avi", 8.04},
                        {"mjpeg_pcm.avi", 5.04}, {"raw_rgb24_pcm22k.avi", 0.48},
                        {"raw_pal8_u8mono.avi", 3.0}, {"odd_size.avi", 8.16},
                        {"src_xvid_aac.avi", 1.07}, {"audio_only.avi", 6.19}};
  int tested = 0;
  for (const Clip& clip : clips) {
    const std::string path = kavrol_test::media_clip(clip.name);
    if (path.empty()) continue;
    SCOPED_TRACE(clip.name);
    AudioReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.Prepare(25, 1));
    const AudioReader::Output out = reader.Describe();
    std::vector<std::uint8_t> pcm = read_all(reader);
    const double seconds = static_cast<double>(pcm.size()) / (out.sample_rate * (out.stereo ? 4 : 2));
    EXPECT_NEAR(seconds, clip.seconds, 0.15);
    ++tested;
  }
  if (tested == 0) GTEST_SKIP() << "no clips in the shared media folder";
}

TEST(AudioReader, SoundThatCannotBeReadLeavesNoAudio) {
  kavrol_test::TempDir dir;
  AviAudioFormat audio;
  audio.format = kavrol_test::pcm_format(2, 44100, 16);
  audio.format.format_tag = 0x7777;  // nobody's codec
  const std::string path = write_sound_avi(dir, "x.avi", audio, {std::vector<std::uint8_t>(1000, 3)});
  AudioReader reader;
  if (reader.Open(path)) {
    EXPECT_FALSE(reader.Prepare(25, 1));
  }
  AudioReader none;
  EXPECT_FALSE(none.Open(dir.file("missing.avi")));
  std::int32_t n = 0;
  std::uint8_t* data = nullptr;
  EXPECT_EQ(none.ReadBlock(n, data), 4);
}

}  // namespace
