#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

FormatHandle open_media(const char* path, const char* format_name) {
  av_log_set_level(AV_LOG_QUIET);
  const AVInputFormat* format = format_name ? av_find_input_format(format_name) : nullptr;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path, format, nullptr) < 0) return nullptr;
  FormatHandle context(raw);
  if (avformat_find_stream_info(context.get(), nullptr) < 0) return nullptr;
  return context;
}

}  // namespace corvexa::platform
