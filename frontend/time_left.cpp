#include "time_left.h"

namespace kavrol {

QString time_left_text(std::int64_t elapsed_ms, std::int32_t value) {
  if (value < 100 || value >= 10000 || elapsed_ms < 1000) return QString();
  const std::int64_t left_ms = elapsed_ms * (10000 - value) / value;
  const std::int64_t seconds = (left_ms + 999) / 1000;
  if (seconds >= 3600) {
    return QString("%1:%2:%3 left")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
  }
  return QString("%1:%2 left").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace kavrol
