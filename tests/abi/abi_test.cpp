#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "corvexa/avi_to_mpeg.h"
#include "corvexa/media_player.h"
#include "corvexa/mpeg_encoder.h"
#include "corvexa/object.h"
#include "support/avi_writer.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace {

const std::string kLibrary = std::string(KAVROL_BIN_DIR) + "/libCorvexaDll.so";
const char* kKinds[] = {"CORVEXADLL", "AVITOMPEG",  "MYMPEGENC",      "MYMEDIASOURCE",
                        "MYMPGLIB",   "ZELAVILIB",  "MEDIAVIDEOINFO", "MEDIATOAVI",
                        "CODECLIST",  "MEDIAPLAYDLL"};

class Engine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { handle_ = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL); }
  static void TearDownTestSuite() {
    if (handle_) dlclose(handle_);
  }
  static CorvexaFactory factory(const std::string& name) {
    return reinterpret_cast<CorvexaFactory>(dlsym(handle_, name.c_str()));
  }
  void SetUp() override { ASSERT_NE(handle_, nullptr) << dlerror(); }
  static void* handle_;
};
void* Engine::handle_ = nullptr;

TEST_F(Engine, ExportsExactlyTheTwentyFactories) {
  std::set<std::string> expected;
  for (const char* kind : kKinds) {
    expected.insert(std::string("_NEW_") + kind);
    expected.insert(std::string("_NEW_00_") + kind);
  }
  std::set<std::string> exported;
  std::string cmd = "nm -D --defined-only '" + kLibrary + "'";
  std::FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) exported.insert(name);
  }
  pclose(pipe);
  EXPECT_EQ(exported, expected);
  for (const std::string& name : expected) EXPECT_NE(factory(name), nullptr) << name;
}

TEST_F(Engine, LibraryObjectAndSingletons) {
  corvexa::EngineObject* library = factory("_NEW_CORVEXADLL")();
  ASSERT_NE(library, nullptr);
  EXPECT_TRUE(library->Init());
  EXPECT_TRUE(library->IsReady());
  library->Release();
  corvexa::EngineObject* one = factory("_NEW_00_CORVEXADLL")();
  EXPECT_NE(one, nullptr);
  EXPECT_EQ(factory("_NEW_00_CORVEXADLL")(), one);
  EXPECT_EQ(factory("_NEW_00_MYMPEGENC")(), factory("_NEW_00_MYMPEGENC")());
}

// Sound alone gives the MPEG audio elementary stream at the output name.
TEST_F(Engine, JobOnASourceWithOnlySoundGivesTheAudioStream) {
  kavrol_test::TempDir dir;
  kavrol_test::AviWriter writer;
  kavrol_test::AviAudioFormat pcm;
  pcm.format = kavrol_test::pcm_format(1, 32000, 16);
  int a = writer.add_audio(pcm);
  writer.add_chunk(a, kavrol_test::tone_pcm16(32000, 1, 32000, 440));
  const std::string source = dir.file("sound.avi");
  ASSERT_TRUE(writer.write(source));

  auto* job = static_cast<corvexa::AviToMpegJob*>(factory("_NEW_AVITOMPEG")());
  ASSERT_NE(job, nullptr);
  EXPECT_TRUE(job->IsReady());
  kavrol_test::RecordingSink sink;
  job->SetTarget(corvexa::kTargetMpeg1, 1);
  job->SetSink(&sink);
  job->Stop();  // nothing runs yet
  ASSERT_TRUE(job->SetSourceFile(source.c_str()));
  job->SetOutputFile("");
  job->Start();
  ASSERT_TRUE(sink.wait_for_end());
  EXPECT_EQ(std::string(job->OutputPath()), dir.file("sound.mp2"));
  job->Release();
  EXPECT_TRUE(sink.errors.empty());
  EXPECT_EQ(sink.completed, 1);
  // One second of sound: 1 s at 32 kHz is 27.8 layer II frames.
  std::string out;
  if (std::FILE* pipe = popen(("ffprobe -v error -show_entries format=format_name:stream=codec_name,duration "
                               "-of csv=p=0 '" + dir.file("sound.mp2") + "'").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  EXPECT_NE(out.find("mp2"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir.file("sound.mpg")));
}

// The desktop program's information window: slots 21, 25, 26 and 29.
TEST_F(Engine, MediaKindsAndTheInformationSlots) {
  for (const char* kind : {"MYMEDIASOURCE", "MEDIAVIDEOINFO", "MEDIAPLAYDLL"}) {
    corvexa::EngineObject* heap = factory(std::string("_NEW_") + kind)();
    ASSERT_NE(heap, nullptr) << kind;
    EXPECT_TRUE(heap->IsReady());
    heap->Release();
    EXPECT_EQ(factory(std::string("_NEW_00_") + kind)(), factory(std::string("_NEW_00_") + kind)());
  }
  kavrol_test::TempDir dir;
  kavrol_test::AviWriter writer;
  kavrol_test::AviVideoFormat video;
  const int v = writer.add_video(video);
  for (int f = 0; f < 50; ++f) writer.add_chunk(v, kavrol_test::test_picture_bgr24(video.width, video.height, f));
  const std::string source = dir.file("two seconds.avi");
  ASSERT_TRUE(writer.write(source));
  auto* info = static_cast<corvexa::MediaPlayer*>(factory("_NEW_MEDIAPLAYDLL")());
  ASSERT_NE(info, nullptr);
  ASSERT_TRUE(info->OpenInfo(source.c_str()));
  EXPECT_EQ(info->InfoSeconds(), 2);
  EXPECT_EQ(std::string(info->InfoText()).rfind("File Type:AVI\r\n\r\nVideo Info:\r\n", 0), 0u);
  info->CloseInfo();
  EXPECT_EQ(info->InfoSeconds(), 0);
  info->Release();
}

TEST(Cli, UsageVersionAndAFailingConversion) {
  const std::string cli = std::string(KAVROL_BIN_DIR) + "/kavrol-cli";
  EXPECT_EQ(std::system((cli + " --help > /dev/null").c_str()), 0);
  EXPECT_EQ(std::system((cli + " --version > /dev/null").c_str()), 0);
  EXPECT_NE(std::system((cli + " convert --target nope x.avi 2> /dev/null").c_str()), 0);
  EXPECT_NE(std::system((cli + " convert --target dvd a.avi b.avi -o c.mpg 2> /dev/null").c_str()), 0);
  kavrol_test::TempDir dir;
  const std::string missing = dir.file("missing.avi");
  int status = std::system((cli + " convert --target dvd '" + missing + "' 2> /dev/null").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.mpg")));
}

}  // namespace
