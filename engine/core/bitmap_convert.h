// Turns a packed device-independent bitmap (header, colour table, rows) into
// the encoder's bottom-up 32-bit picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvexa::core {

// Converts `bitmap` (of `bitmap_size` bytes) to width x height 32-bit pixels
// in `out` (width x 4 bytes a row, bottom-up). Only uncompressed 1-, 4-, 8-,
// 16-, 24- and 32-bit pictures are converted; false leaves `out` untouched.
// A picture smaller than width x height fills what it covers.
bool convert_bitmap_to_32(const std::uint8_t* bitmap, std::size_t bitmap_size, int width,
                          int height, std::uint8_t* out);

// Bits per pixel of an uncompressed bitmap, 0 otherwise.
int bitmap_depth(const std::uint8_t* bitmap, std::size_t bitmap_size);

}  // namespace corvexa::core
