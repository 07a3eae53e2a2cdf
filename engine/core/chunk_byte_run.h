// The data of a stream that stores one sample per chunk (MP3 written frame by
// frame), read through the engine's own AVI reader as one run of bytes. The
// reader indexes a file without idx1 by scanning it, so such sound comes
// through where the platform finds no index.
#pragma once

#include <cstdint>
#include <vector>

#include "corvexa/zelavilib.h"

namespace corvexa::core {

class ChunkByteRun {
 public:
  // Measures the chunks of `source`; false when there are none.
  bool open(AviAudioSource* source);
  void close();
  bool is_open() const { return source_ != nullptr; }
  // Up to `size` bytes from `offset`; 0 at the end, -1 on a read error.
  std::int64_t read(std::int64_t offset, std::uint8_t* buffer, std::int64_t size);
  std::int64_t total_bytes() const { return starts_.empty() ? 0 : starts_.back(); }

 private:
  AviAudioSource* source_ = nullptr;
  std::vector<std::int64_t> starts_;  // bytes before each chunk, then the total
  std::vector<std::uint8_t> chunk_;
};

}  // namespace corvexa::core
