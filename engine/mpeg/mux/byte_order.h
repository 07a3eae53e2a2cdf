// Little-endian fields of the units and scan-offset files.
#pragma once

#include <cstdint>

namespace corvexa::mpeg::mux {

inline void put_le16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put_le32(std::uint8_t* p, std::uint32_t v) {
  put_le16(p, v);
  put_le16(p + 2, v >> 16);
}
inline std::uint32_t get_le16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}
inline std::uint32_t get_le32(const std::uint8_t* p) {
  return get_le16(p) | (get_le16(p + 2) << 16);
}

}  // namespace corvexa::mpeg::mux
