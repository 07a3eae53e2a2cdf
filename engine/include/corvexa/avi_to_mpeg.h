// AVITOMPEG: one conversion of an AVI file into an MPEG program stream (or a
// single elementary stream), run on a worker thread of the job's own.
#pragma once

#include <cstdint>

#include "corvexa/object.h"
#include "corvexa/preview.h"
#include "corvexa/sinks.h"

namespace corvexa {

class AviToMpegJob : public EngineObject {
 public:
  virtual void SetTarget(std::int32_t kind, std::uint8_t pal) = 0;   // 4
  virtual void SetSplitSize(std::int32_t megabytes) = 0;             // 5
  virtual void Reserved6(std::int32_t value) = 0;                    // 6
  // 7: false when the path does not fit kMaxPath.
  virtual bool SetSourceFile(const char* path) = 0;
  // 8: an empty path selects the default name at Start; a path that does not
  // fit kMaxPath makes Start fail.
  virtual void SetOutputFile(const char* path) = 0;
  virtual void SetPreviewWindow(PreviewSurface* surface) = 0;        // 9
  virtual void SetSink(ConvertSink* sink) = 0;                       // 10
  virtual void Stop() = 0;                                           // 11
  // 12: opens and measures the source on the caller's thread, then runs the
  // encoding on the worker. Failures reach the sink as "Convert Error".
  virtual void Start() = 0;
  // 13: why the last Start or run failed, in the engine's words ("" when
  // nothing failed). The sink still receives "Convert Error".
  virtual const char* LastError() = 0;
  // 14: whether VideoCD, SuperVCD and DVD conversions bring the picture,
  // rate and sound to what the disc requires (on unless turned off).
  virtual void SetConforming(std::uint8_t on) = 0;
  // 15: whether Start picks the PAL or NTSC form of the target from the
  // source's frame rate instead of the form SetTarget named (off unless
  // turned on).
  virtual void SetStandardFromSource(std::uint8_t on) = 0;
  // 16: after Start, one line for each change made to the source (picture
  // size, rate, sound), separated by newlines; "" when none.
  virtual const char* Adjustments() = 0;
  // 17: after Start, the file the run writes.
  virtual const char* OutputPath() = 0;

 protected:
  ~AviToMpegJob() = default;
};

}  // namespace corvexa
