// The macroblock rows of a picture shared out among worker threads, for the
// stages where every macroblock depends only on the pictures: motion search,
// prediction and forward transform, coding of independent slices,
// reconstruction. Which thread takes a row does not change what the row
// produces.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvexa::mpeg::video {

struct VideoEncoder;

// Workers for a picture of `rows` rows: the context's motion_threads, or one
// per processor core; at least one, at most one per row.
int row_workers(const VideoEncoder& e, int rows);

// Worker threads kept for a whole run, so that the passes over a picture's
// rows cost a wake-up rather than a thread start each.
class RowPool {
 public:
  RowPool() = default;
  ~RowPool() { stop(); }
  RowPool(const RowPool&) = delete;
  RowPool& operator=(const RowPool&) = delete;

  // Starts workers - 1 threads beside the caller's; fewer when the system
  // gives no more.
  void start(int workers);
  void stop();
  // Workers that take part in a pass, the caller included.
  int workers() const { return static_cast<int>(threads_.size()) + 1; }

  // Calls row(worker, j) once for every j in [0, rows), rows taken in order
  // one at a time, worker 0 being the caller. Once a call returns false no
  // further row is started, and the result is false.
  bool for_each_row(int rows, const std::function<bool(int worker, int row)>& row);

 private:
  void take_rows(int worker);
  void serve(int worker);

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  const std::function<bool(int, int)>* job_ = nullptr;
  int rows_ = 0;
  std::atomic<int> next_{0};
  std::atomic<bool> stopped_{false};
  unsigned pass_ = 0;  // counts the passes handed out
  int busy_ = 0;       // threads still in the current pass
  bool quit_ = false;
};

}  // namespace corvexa::mpeg::video
