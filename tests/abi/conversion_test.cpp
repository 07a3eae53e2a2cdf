#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "corvexa/avi_to_mpeg.h"
#include "corvexa/object.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

// The whole conversion, reached as the front-ends reach it.
class Conversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    handle_ = dlopen((std::string(KAVROL_BIN_DIR) + "/libCorvexaDll.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  static void TearDownTestSuite() {
    if (handle_) dlclose(handle_);
  }
  void SetUp() override { ASSERT_NE(handle_, nullptr); }

  // Runs one job to its end; true when it completed.
  bool convert(const std::string& source, const std::string& output, int kind, bool pal) {
    auto make = reinterpret_cast<CorvexaFactory>(dlsym(handle_, "_NEW_AVITOMPEG"));
    auto* job = static_cast<corvexa::AviToMpegJob*>(make());
    if (job == nullptr) return false;
    kavrol_test::RecordingSink sink;
    job->SetTarget(kind, pal ? 1 : 0);
    job->SetSink(&sink);
    job->SetSourceFile(source.c_str());
    job->SetOutputFile(output.c_str());
    job->Start();
    bool ended = sink.wait_for_end(std::chrono::seconds(300));
    job->Release();
    return ended && sink.completed == 1 && sink.errors.empty();
  }

  static std::string probe(const std::string& file, const std::string& entries) {
    std::string cmd = "ffprobe -v error " + entries + " -of csv=p=0 '" + file + "'";
    std::string out;
    if (std::FILE* pipe = popen(cmd.c_str(), "r")) {
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
      pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
    return out;
  }

  static bool decodes_cleanly(const std::string& file) {
    return std::system(("ffmpeg -nostdin -v error -xerror -i '" + file + "' -f null - 2>/dev/null").c_str()) == 0;
  }

  static int decoded_video_frames(const std::string& file) {
    return std::atoi(probe(file, "-select_streams v:0 -count_frames -show_entries stream=nb_read_frames").c_str());
  }

  static double audio_seconds(const std::string& file) {
    return std::atof(probe(file, "-select_streams a:0 -show_entries stream=duration").c_str());
  }

  static void *handle_;
  kavrol_test::TempDir dir_;
};
void* Conversion::handle_ = nullptr;

bool make_source(const std::string& path, const std::string& inputs, const std::string& codecs) {
  std::string cmd = "ffmpeg -nostdin -v error -y " + inputs + " " + codecs + " '" + path + "'";
  return std::system(cmd.c_str()) == 0;
}

TEST_F(Conversion, EveryTargetFromAnAviWithSound) {
  // 2 s of a moving picture at 25 fps and a tone; 352x288 keeps it quick.
  const std::string source = dir_.file("clip.avi");
  ASSERT_TRUE(make_source(source,
                          "-f lavfi -i testsrc2=size=352x288:rate=25:duration=2 "
                          "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2",
                          "-c:v mpeg4 -vtag XVID -q:v 3 -c:a pcm_s16le -ac 2"));
  struct Target {
    const char* name;
    int kind;
    bool pal;
  };
  for (Target t : {Target{"mpeg1", 0, true}, Target{"vcd", 1, true}, Target{"mpeg2", 2, true},
                   Target{"svcd", 3, true}, Target{"dvd", 4, false}}) {
    SCOPED_TRACE(t.name);
    const std::string output = dir_.file(std::string(t.name) + ".mpg");
    ASSERT_TRUE(convert(source, output, t.kind, t.pal));
    EXPECT_TRUE(decodes_cleanly(output));
    // 25 fps into the NTSC DVD is brought to the disc's 29.97 fps: the same
    // 2 s in 60 frames.
    EXPECT_EQ(decoded_video_frames(output), t.kind == 4 && !t.pal ? 60 : 50);
    EXPECT_NEAR(audio_seconds(output), 2.0, 0.1);
  }
  // The VideoCD program stream is one an authoring tool takes as it is.
  if (std::system("command -v vcdimager > /dev/null 2>&1") == 0) {
    kavrol_test::TempDir disc;
    const std::string cmd = "cd '" + disc.path().string() + "' && vcdimager -t vcd2 -c disc.cue -b disc.bin '" +
                            dir_.file("vcd.mpg") + "' 2>&1";
    std::string out;
    int status = -1;
    if (std::FILE* pipe = popen(cmd.c_str(), "r")) {
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
      status = pclose(pipe);
    }
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("finished ok"), std::string::npos) << out;
    EXPECT_EQ(out.find("WARN"), std::string::npos) << out;
  }
  // Only the source and the outputs remain: no streams, units or temporary files.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    const std::string ext = entry.path().extension().string();
    EXPECT_TRUE(ext == ".mpg" || ext == ".avi") << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 6);
}

TEST_F(Conversion, VideoOnlySourceBecomesAnElementaryStreamAtTheOutputName) {
  const std::string source = dir_.file("silent.avi");
  ASSERT_TRUE(make_source(source, "-f lavfi -i testsrc2=size=176x144:rate=10:duration=1", "-c:v mjpeg -an"));
  const std::string output = dir_.file("silent.mpg");
  ASSERT_TRUE(convert(source, output, 0, true));
  EXPECT_EQ(probe(output, "-show_entries format=format_name"), "mpegvideo");
  EXPECT_EQ(decoded_video_frames(output), 30);  // 10 fps, every frame three times
  EXPECT_FALSE(std::filesystem::exists(dir_.file("silent.m1v")));
}

}  // namespace
