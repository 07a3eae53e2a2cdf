// The job object behind `_NEW_LUMAPORT`: each Start runs one conversion on
// a worker thread of the job's own.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "content_kind.h"
#include "conversion_run.h"
#include "ffmpeg_query.h"
#include "lumaport/lumaport.h"

namespace lumaport {
namespace {

bool copy_path(const char* from, std::string& to) {
  if (from == nullptr || std::strlen(from) >= static_cast<std::size_t>(corvexa::kMaxPath)) {
    to.clear();
    return false;
  }
  to = from;
  return true;
}

class QuickTimeJobImpl final : public QuickTimeJob {
 public:
  void Destroy(std::int32_t flags) override {
    end_run(/*silently=*/true);  // a released job reports nothing more
    if (flags & 1) delete this;
  }
  void Release() override { Destroy(1); }
  bool Init() override { return true; }
  bool IsReady() override { return true; }

  void SetFiles(const char* input, const char* output) override {
    copy_path(input, input_);
    copy_path(output, output_);
  }
  void SetWindow(void* window, ProgressFunction progress) override {
    window_ = window;
    progress_ = progress;
  }
  void Start() override {
    end_run(false);  // one run at a time: a running one is stopped first
    auto run = std::make_shared<ConversionRun>(input_, output_, progress_);
    run_ = run;
    worker_ = std::thread([run] { run->run(); });
    run->begin();  // the last touch: a listener may release the job from here on
  }
  std::int32_t InstalledCheck() override { return movie_support_present() ? 0 : kNotInstalled; }
  void Stop() override { end_run(false); }
  std::uint8_t CanConvert(const char* input) override {
    return file_content_kind(input) != ContentKind::kUnknown ? 1 : 0;
  }

 private:
  std::string input_, output_;
  void* window_ = nullptr;
  ProgressFunction progress_ = nullptr;
  std::shared_ptr<ConversionRun> run_;
  std::thread worker_;

  // Stops the run and waits for its thread. Called from the progress
  // function itself, the thread is left to finish on its own: it holds the
  // run, nothing of the job.
  void end_run(bool silently) {
    if (run_) {
      if (silently) run_->silence();
      run_->request_stop();
    }
    if (worker_.joinable()) {
      if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
      } else {
        worker_.join();
      }
    }
    run_.reset();
  }
};

}  // namespace
}  // namespace lumaport

extern "C" __attribute__((visibility("default"))) corvexa::EngineObject* _NEW_LUMAPORT() {
  auto* job = new (std::nothrow) lumaport::QuickTimeJobImpl();
  if (job == nullptr) return nullptr;
  if (!job->Init()) {
    job->Release();
    return nullptr;
  }
  return job;
}
