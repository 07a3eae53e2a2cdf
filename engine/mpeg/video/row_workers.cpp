#include "mpeg/video/row_workers.h"

#include <algorithm>
#include <system_error>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

int row_workers(const VideoEncoder& e, int rows) {
  const int wanted = e.ctx.motion_threads > 0
                         ? e.ctx.motion_threads
                         : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(wanted, 1, std::max(1, rows));
}

void RowPool::start(int workers) {
  stop();
  quit_ = false;
  for (int w = 1; w < workers; ++w) {
    try {
      threads_.emplace_back(&RowPool::serve, this, w);
    } catch (const std::system_error&) {
      break;  // the rows go to the workers running
    }
  }
}

void RowPool::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void RowPool::take_rows(int worker) {
  const std::function<bool(int, int)>& row = *job_;
  for (int j = next_++; j < rows_ && !stopped_; j = next_++)
    if (!row(worker, j)) stopped_ = true;
}

void RowPool::serve(int worker) {
  unsigned seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || pass_ != seen; });
      if (quit_) return;
      seen = pass_;
    }
    take_rows(worker);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (--busy_ == 0) finished_.notify_one();
    }
  }
}

bool RowPool::for_each_row(int rows, const std::function<bool(int, int)>& row) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &row;
    rows_ = rows;
    next_ = 0;
    stopped_ = false;
    busy_ = static_cast<int>(threads_.size());
    ++pass_;
  }
  wake_.notify_all();
  take_rows(0);
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [&] { return busy_ == 0; });
  job_ = nullptr;
  return !stopped_;
}

}  // namespace corvexa::mpeg::video
