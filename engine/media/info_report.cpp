#include "media/info_report.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace corvexa::media {

std::string clock_text(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  std::string text;
  append_format(text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

void append_format(std::string& text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (size > 0) {
    std::vector<char> line(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(line.data(), line.size(), format, again);
    text.append(line.data(), static_cast<std::size_t>(size));
  }
  va_end(again);
}

InfoReport describe_file(const std::string& path) {
  if (std::optional<InfoReport> avi = describe_avi(path)) return *avi;
  return describe_media(path);
}

}  // namespace corvexa::media
