// What an engine job has said so far, written by the sink on the job's worker
// thread and read by the command's own thread while it draws the progress.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace kavrol {

class JobEvents {
 public:
  void progress(std::int32_t value) {
    std::lock_guard<std::mutex> hold(lock_);
    progress_ = value;
    changed_.notify_all();
  }
  // A new stage: its progress counts from 0.
  void stage(std::int32_t stage) {
    std::lock_guard<std::mutex> hold(lock_);
    stage_ = stage;
    progress_ = 0;
    changed_.notify_all();
  }
  void finish(const std::string& error, bool completed) {
    std::lock_guard<std::mutex> hold(lock_);
    error_ = error;
    completed_ = completed;
    finished_ = true;
    changed_.notify_all();
  }

  // Waits for news; false once the job has ended.
  bool wait(int& stage, int& progress) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(200));
    stage = stage_;
    progress = progress_;
    return !finished_;
  }
  bool completed() {
    std::lock_guard<std::mutex> hold(lock_);
    return completed_;
  }
  std::string error() {
    std::lock_guard<std::mutex> hold(lock_);
    return error_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool finished_ = false, completed_ = false;
  std::string error_;
  int stage_ = 1;  // the first stage, video
  int progress_ = 0;
};

}  // namespace kavrol
