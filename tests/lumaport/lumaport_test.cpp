// libLumaport.so as the desktop program drives it: slot 9 on real files,
// conversions of generated movies and Flash files into DivX AVIs (checked
// with FFmpeg and with our own AVI reader), the failures with their result
// codes, stopping and releasing mid-run, the shared clips, kavrol-cli.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "avi/avi_reader.h"
#include "corvexa/avi_types.h"
#include "corvexa/zelavilib.h"
#include "lumaport/lumaport.h"
#include "media/media_fixtures.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using lumaport::ProgressReport;
using lumaport::QuickTimeJob;

// What the progress function heard, and from which thread.
struct Heard {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<ProgressReport> reports;
  std::vector<std::thread::id> threads;

  void clear() {
    std::lock_guard<std::mutex> hold(lock);
    reports.clear();
    threads.clear();
  }
  int ends() const {
    int n = 0;
    for (const ProgressReport& r : reports) n += r.kind != lumaport::kReportProgress;
    return n;
  }
};
Heard g_heard;

void hear(std::int32_t, const ProgressReport* report) {
  std::lock_guard<std::mutex> hold(g_heard.lock);
  g_heard.reports.push_back(*report);
  g_heard.threads.push_back(std::this_thread::get_id());
  g_heard.changed.notify_all();
}

// Waits until `done` holds; the bound only keeps a broken build from hanging.
template <class Predicate>
bool wait_until(Predicate done) {
  std::unique_lock<std::mutex> hold(g_heard.lock);
  return g_heard.changed.wait_for(hold, std::chrono::minutes(5), done);
}

struct Ended {
  int result = -1;  // the end's value; -1 when none came
  int ends = 0;
  std::vector<int> progress;
  bool on_own_thread = true;
};

class Lumaport : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    library_ = ::dlopen(KAVROL_BIN_DIR "/libLumaport.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library_ != nullptr)
      factory_ = reinterpret_cast<LumaportFactory>(::dlsym(library_, "_NEW_LUMAPORT"));
  }

  void SetUp() override { ASSERT_NE(factory_, nullptr) << ::dlerror(); }

  QuickTimeJob* new_job() { return static_cast<QuickTimeJob*>(factory_()); }

  bool can_convert(const std::string& path) {
    QuickTimeJob* job = new_job();
    const bool yes = job->CanConvert(path.c_str()) != 0;
    job->Release();
    return yes;
  }

  // One conversion through slots 4, 5 and 6, waited for and released.
  Ended convert(const std::string& input, const std::string& output) {
    g_heard.clear();
    QuickTimeJob* job = new_job();
    job->SetFiles(input.c_str(), output.c_str());
    job->SetWindow(nullptr, hear);
    job->Start();
    wait_until([] { return g_heard.ends() > 0; });
    job->Release();
    return summary();
  }

  static Ended summary() {
    std::lock_guard<std::mutex> hold(g_heard.lock);
    Ended e;
    e.ends = g_heard.ends();
    for (std::size_t i = 0; i < g_heard.reports.size(); ++i) {
      const ProgressReport& r = g_heard.reports[i];
      if (r.kind == lumaport::kReportProgress) {
        e.progress.push_back(r.value);
      } else {
        e.result = r.value;
      }
      if (g_heard.threads[i] == std::this_thread::get_id()) e.on_own_thread = false;
    }
    return e;
  }

  static void* library_;
  static LumaportFactory factory_;
};
void* Lumaport::library_ = nullptr;
LumaportFactory Lumaport::factory_ = nullptr;

std::string probe(const std::string& file, const std::string& entries) {
  std::string out = media_test::command_output("ffprobe -v error " + entries + " -of csv=p=0 '" + file + "'");
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

// Every file of the folder: a failed or stopped run leaves nothing behind.
std::vector<std::string> listing(const kavrol_test::TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
  return names;
}

// The AVI as our own reader sees it: seconds of video and of sound.
struct AviLengths {
  double video = 0, sound = 0;
  std::int32_t frames = 0;
};
AviLengths read_with_our_reader(const std::string& path) {
  AviLengths out;
  corvexa::avi::AviReader* file = corvexa::avi::AviReader::open(path);
  for (const bool video : {true, false}) {
    corvexa::AviStreamApi* stream =
        file->GetStream(video ? corvexa::fourcc("vids") : corvexa::fourcc("auds"), 0);
    if (stream == nullptr) continue;
    corvexa::AviStreamInfo info{};
    stream->Info(&info, sizeof info);
    const double seconds = info.rate > 0 ? double(stream->End()) * info.scale / info.rate : 0;
    if (video) {
      out.video = seconds;
      out.frames = stream->End();
    } else {
      out.sound = seconds;
    }
    stream->Destroy(1);
  }
  file->Release();
  return out;
}

// What a converted AVI must be: MPEG-4 tagged DIVX with MP3 sound, decoded
// by FFmpeg without an error, both streams as long as the source's.
void expect_divx_avi(const std::string& avi, double seconds, int frames) {
  ASSERT_TRUE(fs::exists(avi));
  EXPECT_EQ(probe(avi, "-show_entries format=format_name"), "avi");
  EXPECT_EQ(probe(avi, "-select_streams v:0 -show_entries stream=codec_name,codec_tag_string"),
            "mpeg4,DIVX");
  EXPECT_EQ(probe(avi, "-select_streams a:0 -show_entries stream=codec_name"), "mp3");
  EXPECT_EQ(std::system(("ffmpeg -nostdin -v error -xerror -i '" + avi + "' -f null - 2>/dev/null").c_str()), 0);
  const AviLengths ours = read_with_our_reader(avi);
  EXPECT_EQ(ours.frames, frames);
  EXPECT_NEAR(ours.video, seconds, 0.05);
  // The whole sound: not cut at the last picture, not padded past it.
  EXPECT_NEAR(ours.sound, seconds, 0.1);
  const double ffmpeg_sound = std::atof(probe(avi, "-select_streams a:0 -show_entries stream=duration").c_str());
  EXPECT_NEAR(ffmpeg_sound, seconds, 0.1);
}

// The picture's PSNR against the source, as FFmpeg's psnr filter measures it.
double psnr(const std::string& avi, const std::string& source) {
  const std::string out = media_test::command_output(
      "ffmpeg -nostdin -v info -i '" + avi + "' -i '" + source +
      "' -lavfi '[0:v][1:v]psnr' -f null - 2>&1 | grep -o 'average:[0-9.inf]*'");
  return out.size() > 8 ? std::atof(out.c_str() + 8) : 0;
}

const std::string kOneSecond =
    "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 "
    "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 ";

struct Movie {
  const char* name;
  const char* codecs;
};
const Movie kMovies[] = {
    {"h264_aac.mov", "-c:v libx264 -pix_fmt yuv420p -c:a aac"},
    {"mpeg4_aac.mp4", "-c:v mpeg4 -q:v 3 -c:a aac"},
    {"h263_aac.3gp", "-s 176x144 -c:v h263 -c:a aac -ar 22050"},
    {"flv1_mp3.swf", "-c:v flv -q:v 3 -c:a libmp3lame -f swf"},
};

// A whole conversion of `source`: recognised, progress rising to 10000 and
// one end with success, all from the job's thread; the AVI as the source is
// and keeping its picture; nothing else left in the folder.
void expect_converted(Lumaport& test, const std::string& source, double seconds, int frames,
                      double min_psnr) {
  EXPECT_TRUE(test.can_convert(source));
  kavrol_test::TempDir dir;
  const std::string avi = dir.file("out.avi");
  const Ended e = test.convert(source, avi);
  EXPECT_EQ(e.ends, 1);
  ASSERT_EQ(e.result, lumaport::kCompleted);
  EXPECT_TRUE(e.on_own_thread);
  ASSERT_FALSE(e.progress.empty());
  for (std::size_t i = 1; i < e.progress.size(); ++i) EXPECT_GT(e.progress[i], e.progress[i - 1]);
  EXPECT_GE(e.progress.front(), 0);
  EXPECT_EQ(e.progress.back(), 10000);
  expect_divx_avi(avi, seconds, frames);
  EXPECT_EQ(listing(dir), std::vector<std::string>{"out.avi"});
  EXPECT_GT(psnr(avi, source), min_psnr);
}

TEST_F(Lumaport, ConvertsMoviesAndFlashIntoDivxAviWithMp3Sound) {
  for (const Movie& m : kMovies) {
    SCOPED_TRACE(m.name);
    const std::string source = media_test::ffmpeg_fixture(m.name, kOneSecond + m.codecs);
    ASSERT_FALSE(source.empty());
    expect_converted(*this, source, 1.0, 25, 30.0);
  }
}

// An uncompressed Flash file whose one frame is a vector shape: nothing in
// it is video FFmpeg can decode.
std::string vector_only_swf(const kavrol_test::TempDir& dir) {
  std::string body;
  body += std::string("\x00", 1);      // frame size: an empty rectangle
  body += std::string("\x00\x19", 2);  // 25 frames per second (8.8)
  body += std::string("\x01\x00", 2);  // one frame
  auto tag = [&body](int code, const std::string& data) {
    const int header = code << 6 | static_cast<int>(data.size());
    body += static_cast<char>(header & 0xFF);
    body += static_cast<char>(header >> 8);
    body += data;
  };
  tag(9, std::string("\xff\xff\xff", 3));                  // background colour
  tag(2, std::string("\x01\x00\x00\x00\x00\x00\x00", 7));  // an empty shape
  tag(1, "");                                               // show the frame
  tag(0, "");                                               // end
  const std::uint32_t length = static_cast<std::uint32_t>(8 + body.size());
  std::string file = "FWS\x06";
  for (int i = 0; i < 4; ++i) file += static_cast<char>(length >> (8 * i) & 0xFF);
  file += body;
  const std::string path = dir.file("drawing.swf");
  std::ofstream(path, std::ios::binary) << file;
  return path;
}

TEST_F(Lumaport, FailuresEndOnceWithTheirResultAndLeaveNoFile) {
  kavrol_test::TempDir inputs;
  const std::string mp4 = media_test::ffmpeg_fixture("whole.mp4", kOneSecond + "-c:v mpeg4 -c:a aac");
  ASSERT_FALSE(mp4.empty());
  // Cut in half: the movie's index, written at the end, is gone.
  const std::string truncated = inputs.file("truncated.mp4");
  fs::copy_file(mp4, truncated);
  fs::resize_file(truncated, fs::file_size(mp4) / 2);
  const std::string words = inputs.file("words.mov");
  ASSERT_TRUE(media_test::write_text_file(words, "no pictures here\n"));
  const std::string sound_only = media_test::ffmpeg_fixture(
      "sound_only.swf", "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:a libmp3lame -f swf");
  ASSERT_FALSE(sound_only.empty());
  const std::string drawing = vector_only_swf(inputs);
  const std::string avi = media_test::raw_avi_fixture("plain.avi", 5, true);

  struct Case {
    const char* what;
    std::string input;
    bool recognised;
    int result;
    std::string output;  // empty: out.avi in the case's own folder
  } cases[] = {
      {"truncated MP4", truncated, true, lumaport::kOpenFailed, ""},
      {"text under a movie's name", words, false, lumaport::kOpenFailed, ""},
      {"an AVI", avi, false, lumaport::kOpenFailed, ""},
      {"absent file", inputs.file("absent.mov"), false, lumaport::kOpenFailed, ""},
      {"Flash with sound only", sound_only, true, lumaport::kConvertError, ""},
      {"Flash with vector drawings only", drawing, true, lumaport::kConvertError, ""},
      {"output in a missing folder", mp4, true, lumaport::kConvertError, "/nonexistent/out.avi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(can_convert(c.input), c.recognised);
    kavrol_test::TempDir dir;
    const std::string output = c.output.empty() ? dir.file("out.avi") : c.output;
    const Ended e = convert(c.input, output);
    EXPECT_EQ(e.ends, 1);
    EXPECT_EQ(e.result, c.result);
    EXPECT_TRUE(e.on_own_thread);
    EXPECT_FALSE(fs::exists(output));
    EXPECT_TRUE(listing(dir).empty());
  }
}

TEST_F(Lumaport, AnOutputNamingItsSourceIsRefusedAndTheSourceKept) {
  kavrol_test::TempDir dir;
  const std::string mp4 = dir.file("movie.mp4");
  fs::copy_file(media_test::ffmpeg_fixture("whole.mp4", kOneSecond + "-c:v mpeg4 -c:a aac"), mp4);
  const auto size = fs::file_size(mp4);
  const Ended e = convert(mp4, mp4);
  EXPECT_EQ(e.ends, 1);
  EXPECT_EQ(e.result, lumaport::kConvertError);
  EXPECT_EQ(fs::file_size(mp4), size);
  EXPECT_EQ(probe(mp4, "-select_streams v:0 -show_entries stream=codec_name"), "mpeg4");
}

TEST_F(Lumaport, StopOrReleaseMidRunLeavesNoFile) {
  // Long enough that the run is still going when the first progress comes.
  const std::string source = media_test::ffmpeg_fixture(
      "long.mp4",
      "-f lavfi -i testsrc=size=320x240:rate=25:duration=40 "
      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=40 -c:v mpeg4 -q:v 8 -c:a aac");
  ASSERT_FALSE(source.empty());
  for (const bool release : {false, true}) {
    SCOPED_TRACE(release ? "released" : "stopped");
    kavrol_test::TempDir dir;
    const std::string avi = dir.file("out.avi");
    g_heard.clear();
    QuickTimeJob* job = new_job();
    job->SetFiles(source.c_str(), avi.c_str());
    job->SetWindow(nullptr, hear);
    job->Start();
    ASSERT_TRUE(wait_until([] {
      for (const ProgressReport& r : g_heard.reports)
        if (r.kind == lumaport::kReportProgress && r.value > 0) return true;
      return false;
    }));
    if (release) {
      job->Release();  // waits too, and nothing more is heard
    } else {
      job->Stop();  // waits: the end has come when it returns
      job->Stop();  // a second stop adds nothing
    }
    const Ended e = summary();
    if (!release) job->Release();
    EXPECT_EQ(e.ends, release ? 0 : 1);
    if (!release) {
      EXPECT_EQ(e.result, lumaport::kConvertError);
    }
    EXPECT_LT(e.progress.back(), 10000);
    EXPECT_EQ(summary().ends, e.ends);  // nothing after the release either
    EXPECT_TRUE(listing(dir).empty());
  }
}

TEST_F(Lumaport, InstalledWhenFfmpegReadsMovies) {
  QuickTimeJob* job = new_job();
  EXPECT_EQ(job->InstalledCheck(), 0);
  job->Release();
}

// Clips of the shared media folder, when present.
TEST_F(Lumaport, SharedClips) {
  const char* clips[] = {"mpeg4_aac.mov", "src_friday.mp4", "src_flower.mp4"};
  int found = 0;
  for (const char* name : clips) {
    const std::string clip = kavrol_test::media_clip(name);
    if (clip.empty()) continue;
    ++found;
    SCOPED_TRACE(name);
    const double seconds = std::atof(probe(clip, "-select_streams v:0 -show_entries stream=duration").c_str());
    const int frames = std::atoi(probe(clip, "-select_streams v:0 -show_entries stream=nb_frames").c_str());
    expect_converted(*this, clip, seconds, frames, 32.0);
  }
  if (found == 0) GTEST_SKIP() << "the shared media folder is absent";
}

TEST_F(Lumaport, CliRoutesMoviesAndFlashThroughTheLibrary) {
  const std::string mov = media_test::ffmpeg_fixture("h264_aac.mov", kOneSecond + kMovies[0].codecs);
  kavrol_test::TempDir dir;
  const std::string drawing = vector_only_swf(dir);
  const std::string cli = KAVROL_BIN_DIR "/kavrol-cli";
  int status = -1;
  const std::string out = dir.file("movie.avi");
  const std::string said =
      media_test::command_output(cli + " to-avi '" + mov + "' -o '" + out + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_NE(said.find("100%"), std::string::npos) << said;
  expect_divx_avi(out, 1.0, 25);

  const std::string failed = media_test::command_output(
      "KAVROL_LOG=stderr " + cli + " to-avi '" + drawing + "' -o '" + dir.file("drawing.avi") + "' 2>&1",
      &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(failed.find("Convert error!"), std::string::npos) << failed;
  EXPECT_NE(failed.find("vector drawings only"), std::string::npos) << failed;
  EXPECT_FALSE(fs::exists(dir.file("drawing.avi")));
}

}  // namespace
