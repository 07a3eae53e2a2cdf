// One conversion of a movie or Flash file into a DivX AVI, by the engine's
// media-to-AVI job driven without its dialog. It runs on the QuickTime job's
// worker thread and outlives the job when the job is released from its own
// progress function.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "lumaport/lumaport.h"

namespace lumaport {

class ConversionRun {
 public:
  ConversionRun(std::string input, std::string output, ProgressFunction progress);

  // The whole conversion: progress reports, then its end exactly once. It
  // waits for begin(), so that the job has its thread in hand before a
  // listener hears anything (and perhaps releases the job).
  void run();
  void begin();
  // Any thread: ends the conversion early; the unfinished AVI is removed.
  void request_stop();
  // The job has gone: nothing more reaches the progress function.
  void silence();

  // What the engine's job tells its sink.
  void on_progress(std::int32_t value);
  void on_end(bool completed, const char* error);

 private:
  Result convert();
  // Forwards progress until the engine's job ends or a stop is asked for;
  // true when stopped.
  bool follow();
  void report(std::int32_t kind, std::int32_t value);

  const std::string input_, output_;
  const ProgressFunction progress_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool begun_ = false, stop_ = false, silent_ = false;
  std::int32_t progress_value_ = -1, reported_value_ = -1;
  bool ended_ = false, completed_ = false;
  std::string error_;
};

}  // namespace lumaport
