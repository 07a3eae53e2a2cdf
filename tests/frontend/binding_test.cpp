// Binding the engine and the QuickTime library, the QuickTime library's own
// slots, and the start-up probe of optional components.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "component_probe.h"
#include "engine_binding.h"
#include "lumaport/lumaport.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kavrol::EngineBinding;

const fs::path kBin = KAVROL_BIN_DIR;
const fs::path kFakes = KAVROL_FAKE_LIBRARY_DIR;

// A program folder holding the given libraries under their real names.
void link_library(const kavrol_test::TempDir& dir, const fs::path& from, const char* as) {
  fs::create_symlink(from, dir.path() / as);
}

struct BindingCase {
  const char* name;
  fs::path engine;     // empty: no engine library
  fs::path quicktime;  // empty: no QuickTime library
  const char* error;   // part of the reason given
};

class BindingFailure : public ::testing::TestWithParam<BindingCase> {};

TEST_P(BindingFailure, EndsTheBindingWithTheReason) {
  const BindingCase& c = GetParam();
  kavrol_test::TempDir dir;
  if (!c.engine.empty()) link_library(dir, c.engine, kavrol::kEngineLibrary);
  if (!c.quicktime.empty()) link_library(dir, c.quicktime, kavrol::kQuickTimeLibrary);
  EngineBinding binding;
  EXPECT_FALSE(binding.bind(dir.path().string()));
  EXPECT_NE(binding.error().find(c.error), std::string::npos) << binding.error();
  // Nothing half-bound is left to call.
  EXPECT_EQ(binding.new_media_player(), nullptr);
  EXPECT_EQ(binding.new_quicktime_job(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, BindingFailure,
    ::testing::Values(
        BindingCase{"NoLibraries", {}, {}, "libCorvexaDll.so"},
        // The QuickTime library is required even by users who never need it.
        BindingCase{"NoQuickTimeLibrary", kBin / "libCorvexaDll.so", {}, "libLumaport.so"},
        BindingCase{"EngineWithoutMediaToAvi", kFakes / "partial/libCorvexaDll.so",
                    kBin / "libLumaport.so", "_NEW_MEDIATOAVI"},
        BindingCase{"QuickTimeWithoutFactory", kBin / "libCorvexaDll.so",
                    kFakes / "nofactory/libLumaport.so", "_NEW_LUMAPORT"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Binding, BuiltLibrariesBindAndHandOutObjects) {
  EngineBinding binding;
  ASSERT_TRUE(binding.bind(kBin.string())) << binding.error();
  corvexa::EngineObject* job = binding.new_quicktime_job();
  ASSERT_NE(job, nullptr);
  job->Release();
  corvexa::EngineObject* mpeg = binding.new_avi_to_mpeg();
  ASSERT_NE(mpeg, nullptr);
  mpeg->Release();
}

// ---- the QuickTime library ------------------------------------------------

class QuickTimeJob : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(binding_.bind(kBin.string())) << binding_.error();
    job_ = static_cast<lumaport::QuickTimeJob*>(binding_.new_quicktime_job());
    ASSERT_NE(job_, nullptr);
  }
  void TearDown() override {
    if (job_ != nullptr) job_->Release();
  }
  std::string write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_.file(name), std::ios::binary) << bytes;
    return dir_.file(name);
  }
  EngineBinding binding_;
  lumaport::QuickTimeJob* job_ = nullptr;
  kavrol_test::TempDir dir_;
};

TEST_F(QuickTimeJob, RecognisesMovieAndFlashFilesByContent) {
  const std::string box = std::string("\0\0\0\x14", 4);
  struct {
    const char* name;
    std::string bytes;
    bool convertible;
  } cases[] = {
      {"a.mp4", box + "ftypisom", true},
      {"b.mov", box + "moov", true},
      {"c.mov", box + "mdat", true},
      {"d.mov", box + "wide", true},
      {"e.swf", "FWS\x06", true},
      {"f.swf", "CWS\x0a", true},
      {"g.swf", "ZWS\x0d", true},
      {"renamed.mov", "RIFF\0\0\0\0AVI ", false},  // an AVI under a movie's name
      {"short.mov", box + "ft", false},
      {"empty.mov", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(job_->CanConvert(write(c.name, c.bytes).c_str()) != 0, c.convertible) << c.name;
  }
  EXPECT_EQ(job_->CanConvert(dir_.file("absent.mov").c_str()), 0);
  EXPECT_EQ(job_->CanConvert(nullptr), 0);
}

TEST_F(QuickTimeJob, InstalledWhenTheMovDemuxerIsThere) { EXPECT_EQ(job_->InstalledCheck(), 0); }

std::mutex g_lock;
std::condition_variable g_ended;
std::vector<std::pair<lumaport::ProgressReport, std::thread::id>> g_reports;

void record_progress(std::int32_t, const lumaport::ProgressReport* report) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_reports.push_back({*report, std::this_thread::get_id()});
  g_ended.notify_all();
}

// A Flash header with nothing after it holds no video to convert.
TEST_F(QuickTimeJob, StartEndsTheJobOnItsOwnThreadWithAConversionError) {
  g_reports.clear();
  job_->SetFiles(write("in.swf", "FWS").c_str(), dir_.file("out.avi").c_str());
  job_->SetWindow(nullptr, record_progress);
  job_->Start();
  job_->Stop();  // waits for the job's thread
  std::lock_guard<std::mutex> hold(g_lock);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_NE(g_reports[0].first.kind, lumaport::kReportProgress);
  EXPECT_EQ(g_reports[0].first.value, lumaport::kConvertError);
  EXPECT_NE(g_reports[0].second, std::this_thread::get_id());
  EXPECT_FALSE(fs::exists(dir_.file("out.avi")));
}

TEST_F(QuickTimeJob, ReleaseRightAfterStartIsSafeAndAnOverlongPathIsRefused) {
  job_->SetFiles(std::string(5000, 'x').c_str(), std::string(5000, 'y').c_str());
  job_->SetWindow(nullptr, nullptr);  // no one listening
  job_->Start();
  job_->Release();
  job_ = nullptr;
}

lumaport::QuickTimeJob* g_releasing_job = nullptr;
bool g_released = false;

void release_on_end(std::int32_t, const lumaport::ProgressReport*) {
  g_releasing_job->Release();  // a listener that drops the job as soon as it ends
  std::lock_guard<std::mutex> hold(g_lock);
  g_released = true;
  g_ended.notify_all();
}

TEST_F(QuickTimeJob, ReleaseFromTheProgressFunctionIsSafe) {
  g_releasing_job = job_;
  job_ = nullptr;
  g_releasing_job->SetWindow(nullptr, release_on_end);
  g_releasing_job->Start();
  std::unique_lock<std::mutex> hold(g_lock);
  g_ended.wait(hold, [] { return g_released; });
}

// ---- optional components ---------------------------------------------------

TEST(ComponentProbe, FirstFailingStepGivesItsAnswer) {
  auto pass = [] { return true; };
  auto fail = [] { return false; };
  std::vector<std::string> log;
  auto logger = [&](const char* text) { log.push_back(text); };
  // The last step failing, like a system with version 8.0 but without its
  // final piece, answers 0x0800: not enough.
  std::vector<kavrol::ProbeStep> steps = {
      {pass, 0, "first"}, {pass, 0x0100, "second"}, {fail, 0x0800, "last"}};
  std::uint32_t answer = kavrol::run_version_probe(steps, logger);
  EXPECT_EQ(answer, 0x0800u);
  EXPECT_FALSE(kavrol::framework_answer_present(answer));
  EXPECT_EQ(log, std::vector<std::string>{"last"});

  steps[2].check = pass;
  answer = kavrol::run_version_probe(steps, logger);
  EXPECT_EQ(answer, 0x0801u);
  EXPECT_TRUE(kavrol::framework_answer_present(answer));

  steps[0].check = fail;
  steps[1].check = fail;  // never reached
  EXPECT_EQ(kavrol::run_version_probe(steps, logger), 0u);
  EXPECT_EQ(log.back(), "first");
}

TEST(ComponentProbe, VersionThreshold) {
  struct {
    std::uint32_t high, low;
    bool present;
  } cases[] = {
      {0x00090000, 2979, false},  // 9.0.0.2979
      {0x00090000, 2980, true},   // 9.0.0.2980
      {0x000A0000, 0, true},      // 10.0.0.0
      {0x00080000, 0xFFFFFFFF, false},
      {0x00090001, 0, true},      // 9.1.0.0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kavrol::version_at_least(c.high, c.low, kavrol::kWindowsMediaHigh,
                                       kavrol::kWindowsMediaLow),
              c.present)
        << std::hex << c.high << "." << c.low;
  }
}

TEST(ComponentProbe, ThisSystemHasEveryComponent) {
  EngineBinding binding;
  ASSERT_TRUE(binding.bind(kBin.string())) << binding.error();
  const kavrol::ComponentReport report = kavrol::probe_components(binding);
  EXPECT_TRUE(report.quicktime);
  EXPECT_TRUE(report.media_framework);
  EXPECT_TRUE(report.windows_media);
  // Without the QuickTime object the answer is "missing".
  EXPECT_FALSE(kavrol::probe_components(EngineBinding()).quicktime);
}

}  // namespace
