#include "mpeg/video/row_workers.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

int row_workers(const VideoEncoder& e, int rows) {
  const int wanted = e.ctx.motion_threads > 0
                         ? e.ctx.motion_threads
                         : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(wanted, 1, std::max(1, rows));
}

bool for_each_row(int workers, int rows, const std::function<bool(int, int)>& row) {
  std::atomic<int> next{0};
  std::atomic<bool> stopped{false};
  auto work = [&](int worker) {
    for (int j = next++; j < rows && !stopped; j = next++)
      if (!row(worker, j)) stopped = true;
  };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(std::max(0, workers - 1)));
  for (int w = 1; w < workers; ++w) {
    try {
      threads.emplace_back(work, w);
    } catch (const std::system_error&) {
      break;  // the rows left go to the workers running
    }
  }
  work(0);
  for (std::thread& t : threads) t.join();
  return !stopped;
}

}  // namespace corvexa::mpeg::video
