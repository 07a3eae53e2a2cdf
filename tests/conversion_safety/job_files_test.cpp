// The conversion job's files, through the job in this process with the real
// encoders: stops at each stage and a full filesystem leave the folder as it
// was; claimed frame counts, cut files and unusable sound give what the file
// holds and say so; what is not a file is refused without blocking; fifty runs
// in a row keep the process flat.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/avi_to_mpeg.h"
#include "corvexa/mpeg_encoder.h"
#include "safety_fixtures.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa;
using kavrol_test::listing;

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Records the run, and stops it at the first progress of `stop_stage`.
class StageSink final : public ConvertSink {
 public:
  explicit StageSink(int stop_stage = 0) : stop_stage_(stop_stage) {}
  void OnError(const char*) override { end(false); }
  void OnSpare(std::int32_t stage) override {
    std::lock_guard<std::mutex> hold(lock_);
    stages.push_back(stage);
    progress.emplace_back();
  }
  void OnCompleted() override { end(true); }
  void OnProgress(std::int32_t value) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (progress.empty()) progress.emplace_back();
    progress.back().push_back(value);
    if (job != nullptr && !stages.empty() && stages.back() == stop_stage_ && !stop_sent) {
      job->Stop();
      stop_sent = true;
      changed_.notify_all();
    }
  }
  // Until the run has ended, or has been asked to stop (it then reports nothing).
  bool wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, limit, [&] { return ended || stop_sent; });
  }

  AviToMpegJob* job = nullptr;
  std::vector<int> stages;
  std::vector<std::vector<int>> progress;  // per stage
  bool stop_sent = false;
  bool ended = false, completed = false;

 private:
  void end(bool ok) {
    std::lock_guard<std::mutex> hold(lock_);
    ended = true;
    completed = ok;
    changed_.notify_all();
  }
  int stop_stage_;
  std::mutex lock_;
  std::condition_variable changed_;
};

AviToMpegJob* new_job() {
  return static_cast<AviToMpegJob*>(core::make_heap_object(core::construct_avitompeg));
}

// Converts and waits for the job to end; the job is released before return.
void convert(const std::string& source, const std::string& output, int target, StageSink& sink) {
  AviToMpegJob* job = new_job();
  ASSERT_NE(job, nullptr);
  job->SetTarget(target, 1);
  sink.job = job;
  job->SetSink(&sink);
  job->SetSourceFile(source.c_str());
  job->SetOutputFile(output.c_str());
  job->Start();
  sink.wait();
  job->Release();  // waits for the worker
  sink.job = nullptr;
}

TEST(JobFiles, StopAtEachStageLeavesTheFolderAndThePreviousOutputAsTheyWere) {
  for (int stage : {kConvertStageVideo, kConvertStageAudio, kConvertStageMultiplex}) {
    kavrol_test::TempDir dir;
    const std::string source = kavrol_test::write_source(dir.file("src.avi"));
    const std::string previous = dir.file("prev.mpg");
    { std::ofstream(previous) << "a finished output of an earlier run"; }
    const auto before = listing(dir.path().string());
    StageSink sink(stage);
    convert(source, previous, kTargetDvd, sink);
    EXPECT_TRUE(sink.stop_sent) << stage;
    EXPECT_FALSE(sink.ended) << "a stopped run reports nothing; stage " << stage;
    EXPECT_EQ(listing(dir.path().string()), before) << stage;
    EXPECT_EQ(contents(previous), "a finished output of an earlier run") << stage;
  }
}

TEST(JobFiles, StagesAreAnnouncedAndProgressNeverGoesBackWithinOne) {
  kavrol_test::TempDir dir;
  // Noise-like pictures make the bounded-rate coder code groups again.
  kavrol_test::SourceLayout layout = kavrol_test::sized(352, 288, 40);
  layout.noise = true;
  const std::string source = kavrol_test::write_source(dir.file("src.avi"), layout);
  StageSink sink;
  convert(source, dir.file("out.mpg"), kTargetDvd, sink);
  ASSERT_TRUE(sink.completed);
  EXPECT_EQ(sink.stages, (std::vector<int>{kConvertStageVideo, kConvertStageAudio,
                                           kConvertStageMultiplex}));
  ASSERT_EQ(sink.progress.size(), 3u);
  for (std::size_t s = 0; s < sink.progress.size(); ++s) {
    ASSERT_FALSE(sink.progress[s].empty()) << s;
    for (std::size_t i = 1; i < sink.progress[s].size(); ++i)
      ASSERT_GE(sink.progress[s][i], sink.progress[s][i - 1]) << "stage " << s << " at " << i;
    EXPECT_GE(sink.progress[s].back(), 9900) << s;  // sound stops at 99%
  }
  EXPECT_EQ(listing(dir.path().string()), (std::set<std::string>{"src.avi", "out.mpg"}));
}

// A small tmpfs as the output folder; skipped where it cannot be mounted.
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = dir_.file("disk");
    std::filesystem::create_directory(disk_);
    if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=200k") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
  }
  kavrol_test::TempDir dir_;
  std::string disk_;
  bool mounted_ = false;
};

TEST_F(FullDisk, FailsAndLeavesNothingButWhatWasThere) {
  const std::string source =
      kavrol_test::write_source(dir_.file("src.avi"), kavrol_test::sized(352, 288, 25));
  const std::string previous = disk_ + "/prev.mpg";
  { std::ofstream(previous) << "earlier"; }
  for (int target : {kTargetMpeg1, kTargetDvd}) {
    StageSink sink;
    convert(source, previous, target, sink);
    EXPECT_TRUE(sink.ended && !sink.completed) << target;
    EXPECT_EQ(listing(disk_), std::set<std::string>{"prev.mpg"}) << target;
    EXPECT_EQ(contents(previous), "earlier") << target;
  }
}

struct HostileCase {
  const char* what;
  int frames;             // frames written
  std::uint32_t claimed;  // frames the headers claim (0: as written)
  double keep_fraction;   // of the file's bytes (1: whole)
  std::uint16_t channels;
  int target;
  int want_frames;  // -1: at least one, fewer than written
  const char* note;
  const char* want_container;
};

TEST(JobFiles, DamagedSourcesGiveWhatTheyHoldAndSaySo) {
  const HostileCase cases[] = {
      {"claims 10^8 frames", 10, 100000000, 1.0, 2, kTargetMpeg1, 10, "the file holds 10",
       "mpeg"},
      {"cut to 24%", 20, 0, 0.24, 2, kTargetMpeg1, -1, "the video ends there", "mpeg"},
      {"0 channels, DVD", 10, 0, 1.0, 0, kTargetDvd, 10, "0 channels", "mpeg"},
      {"0 channels, MPEG-1", 10, 0, 1.0, 0, kTargetMpeg1, 10, "0 channels", "mpeg"},
  };
  for (const HostileCase& c : cases) {
    kavrol_test::TempDir dir;
    kavrol_test::SourceLayout layout;
    layout.frames = c.frames;
    layout.sound_channels = c.channels;
    const std::string source = kavrol_test::write_source(dir.file("src.avi"), layout);
    if (c.claimed) kavrol_test::claim_frames(source, c.claimed);
    if (c.keep_fraction < 1)
      std::filesystem::resize_file(
          source, static_cast<std::uintmax_t>(std::filesystem::file_size(source) * c.keep_fraction));
    const std::string output = dir.file("out.mpg");
    StageSink sink;
    ::testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    convert(source, output, c.target, sink);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << c.what;
    ASSERT_TRUE(sink.completed) << c.what << "\n" << said;
    EXPECT_NE(said.find(c.note), std::string::npos) << c.what << "\n" << said;
    const int frames = kavrol_test::decoded_frames(output);
    if (c.want_frames > 0) {
      EXPECT_EQ(frames, c.want_frames) << c.what;
    } else {
      EXPECT_GE(frames, 1) << c.what;
      EXPECT_LT(frames, c.frames / 2) << c.what;
    }
    EXPECT_EQ(kavrol_test::container_of(output), c.want_container) << c.what;
    EXPECT_EQ(listing(dir.path().string()), (std::set<std::string>{"src.avi", "out.mpg"}))
        << c.what;
  }
}

TEST(JobFiles, WhatIsNotAFileAndTheInputItselfAreRefusedBeforeAnythingIsWritten) {
  kavrol_test::TempDir dir;
  const std::string source = kavrol_test::write_source(dir.file("src.avi"));
  const std::string fifo = dir.file("pipe.avi");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(source, dir.file("link.avi"));
  std::filesystem::create_hard_link(source, dir.file("hard.avi"));
  const std::string original = contents(source);
  struct Refused {
    std::string input, output;
  } cases[] = {
      {fifo, dir.file("out.mpg")},
      {dir.path().string(), dir.file("out.mpg")},
      {source, source},
      {source, dir.file("link.avi")},
      {source, dir.file("hard.avi")},
      {source, dir.path().string()},
  };
  const auto before = listing(dir.path().string());
  for (const Refused& c : cases) {
    // Start must come back at once: a FIFO without a writer must not be opened.
    auto started = std::async(std::launch::async, [&] {
      StageSink sink;
      convert(c.input, c.output, kTargetMpeg1, sink);
      return sink.ended && !sink.completed;
    });
    if (started.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      std::ofstream unblock(fifo);  // lets the blocked open go on
      ADD_FAILURE() << c.input << " blocked the job";
    }
    EXPECT_TRUE(started.get()) << c.input << " -> " << c.output;
    EXPECT_EQ(listing(dir.path().string()), before) << c.input << " -> " << c.output;
  }
  EXPECT_EQ(contents(source), original);
}

int count_entries(const char* folder) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++n;
  }
  return n;
}

// Resident memory of this process in kilobytes.
long resident_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

TEST(JobFiles, FiftyRunsInOneProcessKeepFilesThreadsAndOutputsTheSame) {
  kavrol_test::TempDir dir;
  const std::string source =
      kavrol_test::write_source(dir.file("src.avi"), kavrol_test::sized(64, 48, 4));
  std::string first;
  int fds = 0, threads = 0;
  long memory = 0;
  for (int run = 0; run < 50; ++run) {
    if (run == 10) memory = resident_kb();
    const std::string output = dir.file("out" + std::to_string(run) + ".mpg");
    StageSink sink;
    convert(source, output, run % 2 ? kTargetDvd : kTargetMpeg1, sink);
    ASSERT_TRUE(sink.completed) << run;
    if (run < 2) {
      if (run == 0) first = contents(output);
      fds = count_entries("/proc/self/fd");
      threads = count_entries("/proc/self/task");
      continue;
    }
    EXPECT_EQ(count_entries("/proc/self/fd"), fds) << run;
    EXPECT_EQ(count_entries("/proc/self/task"), threads) << run;
    if (run % 2 == 0) {
      EXPECT_EQ(contents(output), first) << run;
    }
    std::filesystem::remove(output);
  }
#ifndef __SANITIZE_ADDRESS__  // its quarantine holds freed memory on purpose
  EXPECT_LT(resident_kb() - memory, 8 * 1024);
#endif
}

}  // namespace

namespace {

TEST(JobFiles, Mp3SoundOfAFileWithoutIdx1ComesThrough) {
  kavrol_test::TempDir dir;
  const std::string with_index = dir.file("indexed.avi");
  int status = 0;
  kavrol_test::run_command("ffmpeg -v error -y -f lavfi -i testsrc=size=176x144:rate=25:duration=2 "
                           "-f lavfi -i sine=f=440:r=48000:d=2 -c:v rawvideo -pix_fmt bgr24 "
                           "-c:a libmp3lame -b:a 128k '" + with_index + "'", &status);
  if (status != 0) GTEST_SKIP() << "ffmpeg cannot write MP3 in AVI here";
  // The same file without its idx1 index (which ends it).
  std::string bytes = contents(with_index);
  const std::size_t idx1 = bytes.rfind("idx1");
  ASSERT_NE(idx1, std::string::npos);
  const std::string source = dir.file("src.avi");
  std::ofstream(source, std::ios::binary) << bytes.substr(0, idx1);
  std::filesystem::remove(with_index);

  StageSink sink;
  convert(source, dir.file("out.mpg"), kTargetMpeg1, sink);
  ASSERT_TRUE(sink.completed);
  const std::string audio = kavrol_test::run_command(
      "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,duration -of csv=p=0 '" +
      dir.file("out.mpg") + "'", &status);
  EXPECT_EQ(audio.rfind("mp2,", 0), 0u) << audio;
  EXPECT_NEAR(std::atof(audio.c_str() + 4), 2.0, 0.1) << audio;
}

}  // namespace
