// A stand-in libLumaport.so whose job reports what its input's name asks
// for: "end<N>" ends with result N (0 when absent) after progress at 50% and
// 100%, "slow" reports until stopped, "notqt" is not a QuickTime file. A
// completed job writes its output.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "lumaport/lumaport.h"

namespace {

class FakeQuickTimeJob final : public lumaport::QuickTimeJob {
 public:
  void Destroy(std::int32_t flags) override {
    Stop();
    if (flags & 1) delete this;
  }
  void Release() override { Destroy(1); }
  bool Init() override { return true; }
  bool IsReady() override { return true; }
  void SetFiles(const char* input, const char* output) override {
    input_ = input != nullptr ? input : "";
    output_ = output != nullptr ? output : "";
  }
  void SetWindow(void*, lumaport::ProgressFunction progress) override { progress_ = progress; }
  void Start() override {
    Stop();
    stop_ = false;
    worker_ = std::thread([this] { run(); });
  }
  std::int32_t InstalledCheck() override { return 0; }
  void Stop() override {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
  }
  std::uint8_t CanConvert(const char* input) override {
    return input != nullptr && std::strstr(input, "notqt") == nullptr ? 1 : 0;
  }

 private:
  void report(std::int32_t kind, std::int32_t value) {
    const lumaport::ProgressReport r{kind, value};
    if (progress_ != nullptr) progress_(0, &r);
  }
  void run() {
    if (input_.find("slow") != std::string::npos) {
      for (std::int32_t v = 0; !stop_; v = (v + 100) % 9000) {
        report(lumaport::kReportProgress, v);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return;
    }
    report(lumaport::kReportProgress, 5000);
    report(lumaport::kReportProgress, 10000);
    const std::size_t at = input_.find("end");
    const int result = at == std::string::npos ? 0 : std::atoi(input_.c_str() + at + 3);
    if (result == 0) {
      if (std::FILE* f = std::fopen(output_.c_str(), "wb")) {
        std::fputs("RIFF", f);
        std::fclose(f);
      }
    }
    report(lumaport::kReportFinished, result);
  }

  std::string input_, output_;
  lumaport::ProgressFunction progress_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) corvexa::EngineObject* _NEW_LUMAPORT() {
  return new FakeQuickTimeJob;
}
