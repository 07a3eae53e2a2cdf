// The information report the preview object shows for a file: AVI files
// described through our AVI services, everything else (and AVI files those
// cannot open) through the media layer. Texts end their lines in CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvexa::media {

struct InfoReport {
  std::string text;
  bool from_avi = false;      // which description answered
  bool is_media = false;      // false: the text says the file is not media
  std::int32_t width = 0, height = 0;
  std::int32_t frame_count = 0;
  std::int32_t seconds = 0;
  std::int64_t time_per_frame = 0;  // 100 ns units; 0 when unknown
  bool has_video = false, has_audio = false;
  bool video_decodable = false;
  bool can_seek = false;
};

// Nothing when the file does not open as an AVI file.
std::optional<InfoReport> describe_avi(const std::string& path);
// Any file; one that is not media gives "<path> is not a media file".
InfoReport describe_media(const std::string& path);
// The AVI description when there is one, else the media one.
InfoReport describe_file(const std::string& path);

// "h:mm:ss" of a whole number of seconds.
std::string clock_text(std::int64_t seconds);
// printf into the end of `text`.
void append_format(std::string& text, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace corvexa::media
