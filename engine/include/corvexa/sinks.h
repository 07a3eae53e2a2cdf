// Event sinks: implemented by the caller, called by an engine job (from its
// worker thread, except an OnError raised by Start itself).
#pragma once

#include <cstdint>

namespace corvexa {

// The AVI-to-MPEG job's sink, four slots.
class ConvertSink {
 public:
  // Slot 0: the job could not start, or a run failed without a stop request.
  virtual void OnError(const char* text) = 0;
  // Slot 1: never called by the AVI-to-MPEG job.
  virtual void OnSpare(std::int32_t value) = 0;
  // Slot 2: a run finished successfully.
  virtual void OnCompleted() = 0;
  // Slot 3: percent x 100 (0..10000), or -100 when a stage ends early.
  virtual void OnProgress(std::int32_t value) = 0;

 protected:
  ~ConvertSink() = default;
};

}  // namespace corvexa

namespace corvexa {

// The media-to-AVI job's sink, five slots. Every call comes from the job's
// worker thread, except the errors and the cancel that Start itself reports.
class MediaToAviSink {
 public:
  // Slot 0: a start step failed, or the conversion failed while running.
  virtual void OnError(const char* text) = 0;
  // Slot 1: the whole range was converted and the file is complete.
  virtual void OnCompleted() = 0;
  // Slot 2: reserved for window activation; this job does not call it.
  virtual void OnActivated() = 0;
  // Slot 3: the user cancelled the codec dialog.
  virtual void OnCancelled() = 0;
  // Slot 4: percent x 100 (0..10000), every 100 ms while running.
  virtual void OnProgress(std::int32_t value) = 0;

 protected:
  ~MediaToAviSink() = default;
};

}  // namespace corvexa
