#include "core/frame_rate_map.h"

#include <cmath>

namespace corvexa::core {

bool map_frame_rate(double fps, FrameRateMapping& m) {
  if (!(fps >= 0.01) || !std::isfinite(fps)) return false;
  const double hundredths = std::trunc(fps * 100.0);
  const std::int64_t v = hundredths > 1e9 ? 1000000000 : static_cast<std::int64_t>(hundredths);
  struct Row {
    std::int64_t low, high;
    std::int32_t code, repeat;
  };
  static constexpr Row kRows[] = {
      {951, 1009, 5, 3},   {1150, 1224, 2, 2}, {1225, 1274, 3, 2},
      {1451, 1549, 5, 2},  {2351, 2399, 1, 1}, {2400, 2449, 2, 1},
      {2450, 2549, 3, 1},  {2951, 2999, 4, 1}, {3000, 3049, 5, 1},
  };
  for (const Row& row : kRows) {
    if (v >= row.low && v <= row.high) {
      m.frame_rate_code = row.code;
      m.frame_repeat = row.repeat;
      return true;
    }
  }
  if (v < 1) return false;
  if (v < 3000) {
    m.frame_rate_code = 5;
    m.frame_repeat = static_cast<std::int32_t>(3000 / v);
  } else {
    m.frame_rate_code = 0;
    m.frame_repeat = 1;
  }
  return true;
}

}  // namespace corvexa::core
