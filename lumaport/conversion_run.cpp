#include "conversion_run.h"

#include <filesystem>
#include <utility>

#include "content_kind.h"
#include "corvexa/media_to_avi.h"
#include "engine_link.h"
#include "ffmpeg_query.h"
#include "platform/log.h"

namespace lumaport {

namespace {

void log(const std::string& text) { corvexa::platform::log_line(("Lumaport: " + text).c_str()); }

// Writing the AVI over its own source would lose the source.
bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

class RunSink final : public corvexa::MediaToAviSink {
 public:
  explicit RunSink(ConversionRun& run) : run_(run) {}
  void OnError(const char* text) override { run_.on_end(false, text); }
  void OnCompleted() override { run_.on_end(true, nullptr); }
  void OnActivated() override {}
  void OnCancelled() override { run_.on_end(false, "the compressor choice was cancelled"); }
  void OnProgress(std::int32_t value) override { run_.on_progress(value); }

 private:
  ConversionRun& run_;
};

}  // namespace

ConversionRun::ConversionRun(std::string input, std::string output, ProgressFunction progress)
    : input_(std::move(input)), output_(std::move(output)), progress_(progress) {}

void ConversionRun::run() {
  {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return begun_; });
  }
  const Result result = convert();
  report(kReportFinished, result);
}

void ConversionRun::begin() {
  std::lock_guard<std::mutex> hold(lock_);
  begun_ = true;
  changed_.notify_all();
}

void ConversionRun::request_stop() {
  std::lock_guard<std::mutex> hold(lock_);
  stop_ = true;
  changed_.notify_all();
}

void ConversionRun::silence() {
  std::lock_guard<std::mutex> hold(lock_);
  silent_ = true;
}

void ConversionRun::on_progress(std::int32_t value) {
  std::lock_guard<std::mutex> hold(lock_);
  progress_value_ = value;
  changed_.notify_all();
}

void ConversionRun::on_end(bool completed, const char* error) {
  std::lock_guard<std::mutex> hold(lock_);
  if (ended_) return;
  ended_ = true;
  completed_ = completed;
  error_ = error != nullptr ? error : "";
  changed_.notify_all();
}

void ConversionRun::report(std::int32_t kind, std::int32_t value) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (kind == kReportProgress) {
      // Never backwards, never the same value twice.
      if (value <= reported_value_) return;
      reported_value_ = value;
    }
    if (silent_ || progress_ == nullptr) return;
  }
  const ProgressReport message{kind, value};
  progress_(0, &message);
}

bool ConversionRun::follow() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return stop_ || ended_ || progress_value_ > reported_value_; });
    if (stop_) return true;
    if (progress_value_ > reported_value_) {
      const std::int32_t value = progress_value_;
      hold.unlock();
      report(kReportProgress, value);  // the listener may ask for a stop here
      hold.lock();
      continue;
    }
    if (ended_) return false;
  }
}

Result ConversionRun::convert() {
  const ContentKind kind = file_content_kind(input_.c_str());
  if (kind == ContentKind::kUnknown) {
    log("'" + input_ + "' cannot be read, or is neither a QuickTime/MP4 nor a Flash file");
    return kOpenFailed;
  }
  if (same_file(input_, output_)) {
    log("the output '" + output_ + "' is the source itself");
    return kConvertError;
  }
  EngineLink engine;
  std::string why;
  if (!engine.load(&why)) {
    log(why);
    return kInitialiseError;
  }
  if (kind == ContentKind::kFlash && !has_decodable_video(input_)) {
    log("'" + input_ + "' has no video to convert: its frames are vector drawings only");
    return kConvertError;
  }
  auto* job = static_cast<corvexa::MediaToAvi*>(engine.create("MEDIATOAVI"));
  if (job == nullptr) {
    log("the engine has no media-to-AVI job");
    return kInitialiseError;
  }
  RunSink sink(*this);
  job->SetSink(&sink);
  job->SetDialogParent(corvexa::headless_dialog_parent());
  // MPEG-4 tagged DIVX, sound in MP3 (PCM without an MP3 encoder).
  if (!job->SetCompressorPreset(corvexa::kPresetDivx)) {
    job->Release();
    log("no MPEG-4 (DivX) compressor is available");
    return kInitialiseError;
  }
  if (!job->SetSourceFile(input_.c_str())) {
    job->Release();
    log("'" + input_ + "' cannot be opened as media");
    return kOpenFailed;
  }
  job->SetOutputFile(output_.c_str());
  job->Start();
  const bool stopped = follow();
  if (stopped) job->Stop();
  job->Release();  // waits for the engine's worker; a stopped file is removed

  std::unique_lock<std::mutex> hold(lock_);
  if (completed_) {
    hold.unlock();
    report(kReportProgress, 10000);
    return kCompleted;
  }
  if (!stopped) log("'" + input_ + "': " + error_);
  return kConvertError;
}

}  // namespace lumaport
