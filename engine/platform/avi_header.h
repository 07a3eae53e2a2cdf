// The header list of an AVI file as stored: main header values, and per
// stream its header, format block and name. Tolerates what real files bend
// (a header list a few bytes short of its contents, odd chunk padding).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "corvexa/avi_types.h"

namespace corvexa::platform {

struct AviStreamHeader {
  AviStreamInfo info{};            // from strh, and strn for the name
  std::vector<std::uint8_t> format;  // the strf chunk as stored
};

struct AviHeader {
  std::uint32_t micro_sec_per_frame = 0;
  std::uint32_t max_bytes_per_sec = 0;
  std::uint32_t flags = 0;
  std::uint32_t total_frames = 0;
  std::uint32_t initial_frames = 0;
  std::uint32_t streams = 0;
  std::uint32_t suggested_buffer_size = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<AviStreamHeader> stream_list;
};

// Reads the header list of `path`; nothing when it is not an AVI file.
std::optional<AviHeader> read_avi_header(const std::string& path);

}  // namespace corvexa::platform
