// The job object behind `_NEW_LUMAPORT`. The conversion itself is not built
// yet: Start ends the job at once with kInitialiseError, reported from the
// job's own thread as a real conversion will report its end.
#include <cstring>
#include <new>
#include <string>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

#include "content_kind.h"
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
    Stop();
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
    Stop();  // one run at a time: a finished run's thread is joined first
    ProgressFunction progress = progress_;
    worker_ = std::thread([progress] {
      const ProgressReport end{kReportFinished, kInitialiseError};
      if (progress != nullptr) progress(0, &end);
    });
  }
  std::int32_t InstalledCheck() override {
    return av_find_input_format("mov") != nullptr ? 0 : kNotInstalled;
  }
  // Called from the progress function itself, the job's thread is left to
  // finish on its own: it holds nothing of the object.
  void Stop() override {
    if (!worker_.joinable()) return;
    if (worker_.get_id() == std::this_thread::get_id()) {
      worker_.detach();
    } else {
      worker_.join();
    }
  }
  std::uint8_t CanConvert(const char* input) override {
    return file_content_kind(input) != ContentKind::kUnknown ? 1 : 0;
  }

 private:
  std::string input_, output_;
  void* window_ = nullptr;
  ProgressFunction progress_ = nullptr;
  std::thread worker_;
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
