// Public contract of libLumaport.so, the QuickTime/MP4/Flash conversion
// library. Its one export `_NEW_LUMAPORT` hands out a job object whose
// operations follow the engine's object base (slots 0-3) in slot order.
#pragma once

#include <cstdint>

#include "corvexa/object.h"

namespace lumaport {

// What the progress function receives: kind 1 is progress with value =
// percent x 100; any other kind ends the job with value as its result.
struct ProgressReport {
  std::int32_t kind;
  std::int32_t value;
};

inline constexpr std::int32_t kReportProgress = 1;
inline constexpr std::int32_t kReportFinished = 2;

// Result codes carried by the report that ends a job.
enum Result : std::int32_t {
  kCompleted = 0,
  kNotInstalled = 1,
  kMinimalInstallation = 2,
  kConvertError = 3,
  kOpenFailed = 4,
  kOpenFailedToo = 5,
  kInitialiseError = 6,
};

// Called from the job's own thread; the first argument carries nothing.
using ProgressFunction = void (*)(std::int32_t unused, const ProgressReport* report);

class QuickTimeJob : public corvexa::EngineObject {
 public:
  // 4: both paths are copied; a path longer than corvexa::kMaxPath - 1 is
  // refused and left empty.
  virtual void SetFiles(const char* input, const char* output) = 0;
  // 5: the conversion dialog's window and the function that hears progress.
  virtual void SetWindow(void* window, ProgressFunction progress) = 0;
  // 6: starts the conversion on a thread of the job's own.
  virtual void Start() = 0;
  // 7: 1 when the conversion support is not installed, 0 when it is.
  virtual std::int32_t InstalledCheck() = 0;
  // 8: stops a running conversion and waits for its thread.
  virtual void Stop() = 0;
  // 9: non-zero when the file's content is ISO media, QuickTime or Flash.
  virtual std::uint8_t CanConvert(const char* input) = 0;

 protected:
  ~QuickTimeJob() = default;
};

}  // namespace lumaport

extern "C" {
using LumaportFactory = corvexa::EngineObject* (*)();
}
