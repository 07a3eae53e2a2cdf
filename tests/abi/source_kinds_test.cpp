// Ordinary AVIs that do not have the disc's picture size, rate or sound,
// converted by kavrol-cli as a user would; FFmpeg, vcdimager and dvdauthor
// judge the results.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::string run(const std::string& cmd, int* status = nullptr) {
  std::string out;
  int raw = -1;
  if (std::FILE* pipe = popen((cmd + " 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    raw = pclose(pipe);
  }
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

bool ffmpeg(const std::string& args) {
  int status = 0;
  run("ffmpeg -nostdin -v error -y " + args, &status);
  return status == 0;
}

std::string cli() { return std::string(KAVROL_BIN_DIR) + "/kavrol-cli"; }

// Converts; the status and what kavrol-cli said (progress lines left out).
int convert(const std::string& args, std::string* said = nullptr) {
  int status = 0;
  std::string out = run(cli() + " convert " + args, &status);
  if (said) {
    said->clear();
    std::size_t at = 0;
    while (at < out.size()) {
      std::size_t end = out.find_first_of("\r\n", at);
      if (end == std::string::npos) end = out.size();
      const std::string line = out.substr(at, end - at);
      if (line.find('%') == std::string::npos && !line.empty()) *said += line + "\n";
      at = end + 1;
    }
  }
  return status;
}

std::string probe(const std::string& file, const std::string& entries) {
  std::string out = run("ffprobe -v error " + entries + " -of csv=p=0 '" + file + "'");
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

// Seconds of sound FFmpeg decodes from the first audio stream.
double sound_seconds(const std::string& file) {
  const std::string raw = file + ".raw";
  if (!ffmpeg("-i '" + file + "' -map 0:a:0 -f s16le -ac 1 -ar 48000 '" + raw + "'")) return -1;
  std::FILE* f = std::fopen(raw.c_str(), "rb");
  if (f == nullptr) return -1;
  std::fseek(f, 0, SEEK_END);
  const long bytes = std::ftell(f);
  std::fclose(f);
  std::remove(raw.c_str());
  return bytes / 96000.0;
}

int video_frames(const std::string& file) {
  return std::atoi(probe(file, "-select_streams v:0 -count_frames -show_entries stream=nb_read_frames").c_str());
}

double mean_luma(const std::string& file) {
  const std::string out =
      run("ffmpeg -nostdin -v error -i '" + file +
          "' -vf signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=- -f null -");
  double sum = 0;
  int n = 0;
  for (std::size_t at = out.find("YAVG="); at != std::string::npos; at = out.find("YAVG=", at + 1)) {
    sum += std::atof(out.c_str() + at + 5);
    ++n;
  }
  return n > 0 ? sum / n : -1;
}

// An MPEG-4 AVI from FFmpeg's test sources.
std::string make_source(const kavrol_test::TempDir& dir, const std::string& name, const std::string& video,
                        const std::string& sound, const std::string& sound_codec = "libmp3lame",
                        const std::string& extra = "") {
  const std::string path = dir.file(name);
  std::string args = "-f lavfi -i " + video;
  if (!sound.empty()) args += " -f lavfi -i " + sound;
  args += " -c:v mpeg4 -q:v 3 " + extra;
  args += sound.empty() ? " -an" : " -c:a " + sound_codec;
  return ffmpeg(args + " '" + path + "'") ? path : "";
}

std::string tone(int rate, int channels, double seconds) {
  return "sine=frequency=440:sample_rate=" + std::to_string(rate) + ":duration=" + std::to_string(seconds) +
         (channels == 2 ? ",aformat=channel_layouts=stereo" : "");
}

std::string picture(const std::string& size, const std::string& rate, double seconds) {
  return "testsrc2=size=" + size + ":rate=" + rate + ":duration=" + std::to_string(seconds);
}

// Low frame rates with MP3 sound keep all of it (and go to VideoCD at all);
// high ones keep it without the decoded sound piling up.
TEST(SourceKinds, SoundIsWholeAtEveryFrameRate) {
  kavrol_test::TempDir dir;
  const char* rates[] = {"10", "12.5", "15", "25", "30"};
  for (const char* rate : rates) {
    SCOPED_TRACE(rate);
    const std::string source = make_source(dir, "s.avi", picture("352x288", rate, 3), tone(44100, 2, 3));
    ASSERT_FALSE(source.empty());
    const std::string output = dir.file("s.mpg");
    ASSERT_EQ(convert("--target vcd '" + source + "' -o '" + output + "'"), 0);
    // Against what FFmpeg decodes of the source's MP3 (with its priming).
    EXPECT_NEAR(sound_seconds(output), sound_seconds(source), 1152.0 / 44100);
  }
}

// Rates with no code of their own come to the target's: 50 and 59.94 fps
// drop every second frame, 20 fps repeats frames evenly; the duration stays.
TEST(SourceKinds, FrameRatesAreBroughtToTheCodedRate) {
  kavrol_test::TempDir dir;
  struct Case {
    const char* rate;
    const char* target;
    const char* coded;
    int frames;  // in 2 s
  };
  const Case cases[] = {{"50", "mpeg1", "25/1", 50},
                        {"60000/1001", "mpeg2", "30000/1001", 60},
                        {"20", "mpeg1", "30/1", 60},
                        {"50", "dvd", "25/1", 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.rate) + " " + c.target);
    const std::string source =
        make_source(dir, "r.avi", picture("352x288", c.rate, 2), tone(48000, 2, 2), "pcm_s16le");
    ASSERT_FALSE(source.empty());
    const std::string output = dir.file("r.mpg");
    ASSERT_EQ(convert("--target " + std::string(c.target) + " '" + source + "' -o '" + output + "'"), 0);
    EXPECT_EQ(probe(output, "-select_streams v:0 -show_entries stream=r_frame_rate"), c.coded);
    EXPECT_NEAR(video_frames(output), c.frames, 1);
    EXPECT_NEAR(sound_seconds(output), 2.0, 1152.0 / 48000);
  }
}

// Decoded frames reach the encoder with exact colours: a flat grey and a
// gradient come back with the source's mean luma.
TEST(SourceKinds, PicturesKeepTheirLuma) {
  kavrol_test::TempDir dir;
  const char* sources[] = {"color=c=0x808080:size=352x288:rate=25:duration=1",
                           "gradients=size=352x288:rate=25:duration=1:speed=0.00001"};
  for (const char* video : sources) {
    SCOPED_TRACE(video);
    const std::string source =
        make_source(dir, "l.avi", std::string(video) + ",format=yuv420p", "", "", "-q:v 2");
    ASSERT_FALSE(source.empty());
    const std::string output = dir.file("l.mpg");
    ASSERT_EQ(convert("--target mpeg2 '" + source + "' -o '" + output + "'"), 0);
    EXPECT_NEAR(mean_luma(output), mean_luma(source), 0.5);
  }
}

// DVD sound: time stamps strictly increasing and exact to the 90 kHz tick,
// and a click in the sound lands where the picture says it is.
TEST(SourceKinds, SoundStartsWithThePictureAndItsTimeStampsAreExact) {
  kavrol_test::TempDir dir;
  // Silence with one click at 0.5 s.
  const std::string source = dir.file("click.avi");
  ASSERT_TRUE(ffmpeg("-f lavfi -i " + picture("352x288", "25", 2) +
                     " -f lavfi -i \"aevalsrc='if(between(n,24000,24003),0.6,0)':s=48000:d=2\" "
                     "-ac 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le '" + source + "'"));
  const std::string output = dir.file("click.mpg");
  ASSERT_EQ(convert("--target dvd --pal '" + source + "' -o '" + output + "'"), 0);

  std::vector<long long> pts;
  const std::string packets = probe(output, "-select_streams a:0 -show_entries packet=pts");
  for (std::size_t at = 0; at < packets.size();) {
    pts.push_back(std::atoll(packets.c_str() + at));
    at = packets.find('\n', at);
    if (at == std::string::npos) break;
    ++at;
  }
  ASSERT_GT(pts.size(), 50u);
  for (std::size_t k = 1; k < pts.size(); ++k) {
    ASSERT_GT(pts[k], pts[k - 1]) << k;
    ASSERT_EQ(pts[k] - pts[0], static_cast<long long>(std::llround(k * 1152 * 90000.0 / 48000))) << k;
  }
  const double audio_start = std::atof(probe(output, "-select_streams a:0 -show_entries stream=start_time").c_str());
  const double video_start = std::atof(probe(output, "-select_streams v:0 -show_entries stream=start_time").c_str());
  EXPECT_NEAR(audio_start, video_start, 0.001);

  const std::string raw = dir.file("click.raw");
  ASSERT_TRUE(ffmpeg("-i '" + output + "' -map 0:a:0 -f s16le -ac 1 '" + raw + "'"));
  std::FILE* f = std::fopen(raw.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::int16_t> pcm(48000 * 3);
  pcm.resize(std::fread(pcm.data(), 2, pcm.size(), f));
  std::fclose(f);
  std::size_t peak = 0;
  for (std::size_t i = 0; i < pcm.size(); ++i)
    if (std::abs(pcm[i]) > std::abs(pcm[peak])) peak = i;
  EXPECT_NEAR(audio_start + peak / 48000.0, video_start + 0.5, 0.001);
}

// What conforming does is said before the run; kept as it is, a source the
// disc cannot take fails with the engine's reason.
TEST(SourceKinds, SaysWhatWasDoneAndWhyItFailed) {
  kavrol_test::TempDir dir;
  const std::string source =
      make_source(dir, "w.avi", picture("640x360", "24000/1001", 1), tone(22050, 1, 1), "pcm_s16le");
  ASSERT_FALSE(source.empty());
  std::string said;
  ASSERT_EQ(convert("--target dvd '" + source + "' -o '" + dir.file("w.mpg") + "'", &said), 0) << said;
  EXPECT_NE(said.find("640x360 \u2192 720x480, 16:9"), std::string::npos) << said;  // NTSC for film
  EXPECT_NE(said.find("23.976 fps \u2192 29.97 fps with 3:2 pulldown"), std::string::npos) << said;
  EXPECT_NE(said.find("22050 Hz \u2192 48000 Hz"), std::string::npos) << said;
  EXPECT_NE(said.find("sound coded as AC-3, 192 kbit/s"), std::string::npos) << said;
  EXPECT_EQ(probe(dir.file("w.mpg"), "-select_streams v:0 -show_entries stream=display_aspect_ratio"), "16:9");
  EXPECT_EQ(probe(dir.file("w.mpg"), "-select_streams a:0 -show_entries stream=codec_name,channels,bit_rate"),
            "ac3,2,192000");

  EXPECT_EQ(convert("--target vcd --keep-source '" + source + "' -o '" + dir.file("k.mpg") + "'", &said), 1);
  EXPECT_NE(said.find("Convert Error"), std::string::npos) << said;
  EXPECT_NE(said.find("cannot code a 640x360 picture"), std::string::npos) << said;
}

// Every kind of source becomes a disc stream the authoring tools take
// without a word, FFmpeg decodes whole, and that keeps the duration.
TEST(SourceKinds, EveryKindMakesADiscTheToolsAccept) {
  const bool have_vcdimager = run("command -v vcdimager").find("vcdimager") != std::string::npos;
  const bool have_dvdauthor = run("command -v dvdauthor").find("dvdauthor") != std::string::npos;
  kavrol_test::TempDir dir;
  struct Kind {
    const char* name;
    double fps;
    std::string video, sound, codec, extra;
  };
  const double d = 1.5;
  const Kind kinds[] = {
      {"640x360", 25, picture("640x360", "25", d), tone(44100, 2, d), "libmp3lame", ""},
      {"anamorphic", 25, picture("720x576", "25", d), tone(48000, 2, d), "pcm_s16le", "-aspect 16:9"},
      {"23.976", 24000.0 / 1001, picture("320x240", "24000/1001", d), tone(48000, 2, d), "libmp3lame", ""},
      {"30", 30, picture("320x240", "30", d), tone(44100, 2, d), "pcm_s16le", ""},
      {"12.5", 12.5, picture("352x288", "12.5", d), tone(44100, 2, d), "libmp3lame", ""},
      {"22050 mono", 25, picture("320x240", "25", d), tone(22050, 1, d), "pcm_s16le", ""},
      {"32 kHz", 25, picture("320x240", "25", d), tone(32000, 2, d), "libmp3lame", ""},
  };
  for (const Kind& k : kinds) {
    const std::string source = make_source(dir, "k.avi", k.video, k.sound, k.codec, k.extra);
    ASSERT_FALSE(source.empty()) << k.name;
    const double seconds = sound_seconds(source);
    // As long as its header says (the last frame may be an empty chunk).
    const double shown = std::atoi(probe(source, "-select_streams v:0 -show_entries stream=nb_frames").c_str()) / k.fps;
    for (const char* target : {"vcd", "svcd", "dvd"}) {
      SCOPED_TRACE(std::string(k.name) + " " + target);
      const std::string output = dir.file(std::string("k_") + target + ".mpg");
      std::string said;
      ASSERT_EQ(convert("--target " + std::string(target) + " '" + source + "' -o '" + output + "'", &said), 0)
          << said;
      int status = 0;
      const std::string errors = run("ffmpeg -nostdin -v error -i '" + output + "' -f null -", &status);
      EXPECT_EQ(status, 0);
      EXPECT_EQ(errors, "");
      EXPECT_NEAR(sound_seconds(output), seconds, 1152.0 / 44100);
      const double fps = std::string(target) != "vcd" && std::string(k.name) == "23.976" ? 24000.0 / 1001
                         : std::string(k.name) == "23.976"                                 ? 30000.0 / 1001
                                                                                            : 25.0;
      // The source's frames, shown for as long at the disc's rate.
      EXPECT_NEAR(video_frames(output) / fps, shown, 1.5 / fps);
      const std::string disc = dir.file("disc");
      std::string tool;
      if (std::string(target) == "dvd") {
        if (!have_dvdauthor) continue;
        const char* standard = std::string(k.name) == "23.976" ? "NTSC" : "PAL";
        tool = run("rm -rf '" + disc + "' && VIDEO_FORMAT=" + standard + " dvdauthor -o '" + disc + "' -t '" +
                       output + "'",
                   &status);
      } else {
        if (!have_vcdimager) continue;
        tool = run("rm -rf '" + disc + "' && mkdir '" + disc + "' && cd '" + disc + "' && vcdimager -t " +
                       (std::string(target) == "vcd" ? "vcd2" : "svcd") + " -c d.cue -b d.bin '" + output + "'",
                   &status);
      }
      EXPECT_EQ(status, 0) << tool;
      EXPECT_EQ(tool.find("WARN"), std::string::npos) << tool;
      EXPECT_EQ(tool.find("ERR"), std::string::npos) << tool;
    }
  }
}

}  // namespace
