// Start-up probe of the optional components the conversions lean on: the
// QuickTime/Flash library's own check, FFmpeg's libraries with the demuxers and
// decoders we rely on, and FFmpeg's Windows Media decoders. The probe only
// decides which labels the "Components missing" dialog enables.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kavrol {

class EngineBinding;

struct ComponentReport {
  bool quicktime = true;
  bool media_framework = true;
  bool windows_media = true;
  bool all_present() const { return quicktime && media_framework && windows_media; }
};

// One step of the framework probe: a check, the answer when it fails and the
// diagnostic written then.
struct ProbeStep {
  std::function<bool()> check;
  std::uint32_t answer_on_failure;
  const char* diagnostic;
};

// Runs the steps in order; the first failure gives its answer (its diagnostic
// goes to `log`), and when every step passes the answer is 0x0801.
std::uint32_t run_version_probe(const std::vector<ProbeStep>& steps,
                                const std::function<void(const char*)>& log);

// The framework counts as present from 0x0801 on (version 8.1 and later).
inline bool framework_answer_present(std::uint32_t answer) { return answer > 0x0800; }

// A version split into its high and low 32-bit halves is at least the needed
// one: high above the needed high, or equal with low at least the needed low.
inline bool version_at_least(std::uint32_t high, std::uint32_t low, std::uint32_t need_high,
                             std::uint32_t need_low) {
  return high > need_high || (high == need_high && low >= need_low);
}

// The Windows Media threshold, 9.0.0.2980, as high and low halves.
inline constexpr std::uint32_t kWindowsMediaHigh = 0x00090000;
inline constexpr std::uint32_t kWindowsMediaLow = 2980;

// Probes the running system; `binding` gives the QuickTime library's object.
ComponentReport probe_components(const EngineBinding& binding);

}  // namespace kavrol
