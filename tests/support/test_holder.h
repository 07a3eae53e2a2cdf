// A frame holder for tests: owns a zero-filled buffer, refuses a second one.
#pragma once

#include <vector>

#include "corvexa/frame_holder.h"

namespace kavrol_test {

class TestHolder final : public corvexa::FrameHolder {
 public:
  bool Allocate(std::int32_t size) override {
    if (allocated_ || size < 0) return false;
    buffer_.assign(static_cast<std::size_t>(size), 0);
    allocated_ = true;
    return true;
  }
  std::uint8_t* Data() override { return buffer_.data(); }
  std::int32_t Size() override { return static_cast<std::int32_t>(buffer_.size()); }
  void Reset() {
    buffer_.clear();
    allocated_ = false;
  }
  const std::vector<std::uint8_t>& bytes() const { return buffer_; }

 private:
  std::vector<std::uint8_t> buffer_;
  bool allocated_ = false;
};

}  // namespace kavrol_test
