// Maps a source frame rate onto an MPEG frame rate code and the number of
// output frames each source frame stands for.
#pragma once

#include <cstdint>

namespace corvexa::core {

struct FrameRateMapping {
  std::int32_t frame_rate_code = 0;  // 0: leave the preset's code as it is
  std::int32_t frame_repeat = 1;
};

// False for rates below 0.01 frames per second, which no repeat can serve.
bool map_frame_rate(double fps, FrameRateMapping& mapping);

}  // namespace corvexa::core
