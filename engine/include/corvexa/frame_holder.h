// The encoder's frame buffer, handed to frame sources: they size it with
// Allocate(width x 4 x height) and fill it with a bottom-up 32-bit picture.
#pragma once

#include <cstdint>

namespace corvexa {

class FrameHolder {
 public:
  // Fails when a buffer is already held or memory runs out; on success the
  // holder owns a zero-filled buffer of `size` bytes.
  virtual bool Allocate(std::int32_t size) = 0;
  virtual std::uint8_t* Data() = 0;
  virtual std::int32_t Size() = 0;

 protected:
  ~FrameHolder() = default;
};

}  // namespace corvexa
