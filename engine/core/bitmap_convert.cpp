#include "core/bitmap_convert.h"

#include <algorithm>
#include <cstring>

#include "corvexa/avi_types.h"

namespace corvexa::core {

namespace {

bool read_header(const std::uint8_t* bitmap, std::size_t size, BitmapInfoHeader& h) {
  if (bitmap == nullptr || size < sizeof h) return false;
  std::memcpy(&h, bitmap, sizeof h);
  return h.size >= sizeof h && h.size <= size && h.compression == kBiRgb && h.width > 0 &&
         h.height > 0;
}

}  // namespace

int bitmap_depth(const std::uint8_t* bitmap, std::size_t size) {
  BitmapInfoHeader h;
  if (!read_header(bitmap, size, h)) return 0;
  switch (h.bit_count) {
    case 1: case 4: case 8: case 16: case 24: case 32: return h.bit_count;
    default: return 0;
  }
}

bool convert_bitmap_to_32(const std::uint8_t* bitmap, std::size_t size, int width, int height,
                          std::uint8_t* out) {
  BitmapInfoHeader h;
  const int depth = bitmap_depth(bitmap, size);
  if (depth == 0 || !read_header(bitmap, size, h) || width <= 0 || height <= 0) return false;

  std::size_t colours = h.clr_used;
  if (colours == 0 && depth <= 8) colours = 1u << depth;
  const std::uint8_t* table = bitmap + h.size;
  const std::size_t table_bytes = colours * 4;
  if (h.size + table_bytes > size) return false;
  const std::uint8_t* rows = table + table_bytes;
  const std::size_t src_stride = static_cast<std::size_t>(((static_cast<std::int64_t>(h.width) * depth + 31) & ~31) / 8);
  const std::size_t available = size - h.size - table_bytes;

  // Rows beyond what the picture holds stay as they are (zero in a new holder).
  const int copy_w = std::min(width, h.width);
  const int copy_h = std::min<int>(height, h.height);
  if (src_stride * static_cast<std::size_t>(copy_h) > available) return false;
  const std::size_t dst_stride = static_cast<std::size_t>(width) * 4;

  // An index into a short colour table reads as black rather than past it.
  auto palette = [&](unsigned index, std::uint8_t* px) {
    if (index < colours) std::memcpy(px, table + 4 * index, 4);
    else std::memset(px, 0, 4);
  };

  for (int y = 0; y < copy_h; ++y) {
    const std::uint8_t* src = rows + static_cast<std::size_t>(y) * src_stride;
    std::uint8_t* dst = out + static_cast<std::size_t>(y) * dst_stride;
    for (int x = 0; x < copy_w; ++x) {
      std::uint8_t* px = dst + 4 * x;
      switch (depth) {
        case 1: palette((src[x >> 3] >> (7 - (x & 7))) & 1, px); break;
        case 4: palette((x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4), px); break;
        case 8: palette(src[x], px); break;
        case 16: {
          unsigned v = src[2 * x] | src[2 * x + 1] << 8;
          px[0] = static_cast<std::uint8_t>((v & 31) * 8);
          px[1] = static_cast<std::uint8_t>(((v >> 5) & 31) * 8);
          px[2] = static_cast<std::uint8_t>(((v >> 10) & 31) * 8);
          break;
        }
        case 24: std::memcpy(px, src + 3 * x, 3); break;
        case 32: std::memcpy(px, src + 4 * x, 4); break;
      }
    }
  }
  return true;
}

}  // namespace corvexa::core
