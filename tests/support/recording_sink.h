// A conversion sink that records what a job reports, for tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "corvexa/sinks.h"

namespace kavrol_test {

class RecordingSink final : public corvexa::ConvertSink {
 public:
  void OnError(const char* text) override {
    std::lock_guard<std::mutex> hold(lock_);
    errors.push_back(text ? text : "");
    changed_.notify_all();
  }
  void OnSpare(std::int32_t) override {}
  void OnCompleted() override {
    std::lock_guard<std::mutex> hold(lock_);
    ++completed;
    changed_.notify_all();
  }
  void OnProgress(std::int32_t value) override {
    std::lock_guard<std::mutex> hold(lock_);
    progress.push_back(value);
  }
  // Waits until the job reported an end (error or completion).
  bool wait_for_end(std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, limit, [&] { return !errors.empty() || completed > 0; });
  }
  std::vector<std::string> errors;
  int completed = 0;
  std::vector<int> progress;

 private:
  std::mutex lock_;
  std::condition_variable changed_;
};

}  // namespace kavrol_test
