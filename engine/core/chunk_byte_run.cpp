#include "core/chunk_byte_run.h"

#include <algorithm>
#include <cstring>

namespace corvexa::core {

bool ChunkByteRun::open(AviAudioSource* source) {
  close();
  if (source == nullptr || source->stream == nullptr || source->end <= source->start) return false;
  starts_.reserve(static_cast<std::size_t>(source->end - source->start) + 1);
  std::int64_t at = 0;
  for (std::int32_t n = source->start; n < source->end; ++n) {
    starts_.push_back(at);
    std::int32_t bytes = 0, samples = 0;
    source->stream->Read(n, 1, nullptr, 0, &bytes, &samples);
    at += std::max(bytes, 0);
  }
  starts_.push_back(at);
  if (at == 0) {
    starts_.clear();
    return false;
  }
  source_ = source;
  return true;
}

void ChunkByteRun::close() {
  source_ = nullptr;
  starts_.clear();
  chunk_.clear();
}

std::int64_t ChunkByteRun::read(std::int64_t offset, std::uint8_t* buffer, std::int64_t size) {
  if (source_ == nullptr || offset < 0 || size < 0) return -1;
  if (offset >= total_bytes() || size == 0) return 0;
  // The chunk that holds `offset`.
  std::size_t i = static_cast<std::size_t>(
      std::upper_bound(starts_.begin(), starts_.end() - 1, offset) - starts_.begin() - 1);
  std::int64_t done = 0;
  while (done < size && i + 1 < starts_.size()) {
    const std::int64_t length = starts_[i + 1] - starts_[i];
    if (length > 0) {
      chunk_.resize(static_cast<std::size_t>(length));
      std::int32_t bytes = 0, samples = 0;
      const std::int32_t n = source_->start + static_cast<std::int32_t>(i);
      if (source_->stream->Read(n, 1, chunk_.data(), static_cast<std::int32_t>(length), &bytes,
                                &samples) != kAviErrOk ||
          bytes != length)
        return done > 0 ? done : -1;
      const std::int64_t from = offset + done - starts_[i];
      const std::int64_t take = std::min(length - from, size - done);
      std::memcpy(buffer + done, chunk_.data() + from, static_cast<std::size_t>(take));
      done += take;
    }
    ++i;
  }
  return done;
}

}  // namespace corvexa::core
