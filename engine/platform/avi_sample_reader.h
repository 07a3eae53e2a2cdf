// Reads an AVI stream's data by sample number, the way the AVI file services
// do: with a fixed sample size the stream is a run of samples of that many
// bytes across its chunks; without one every chunk is one sample. Chunks are
// found through the demuxer's index and read from the file directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/avi_services.h"

namespace corvexa::platform {

class AviSampleReader {
 public:
  // Null when the stream's chunks cannot be located. `sample_size` replaces
  // the stream header's when non-zero.
  static std::unique_ptr<AviSampleReader> open(std::shared_ptr<AviStream> stream,
                                               std::int64_t sample_size = 0);
  ~AviSampleReader();

  // Up to `count` samples from `start` into `buffer` (`size` bytes): whole
  // samples only. False when `start` lies past the end, the buffer holds not
  // one sample, or the file cannot be read.
  bool read(std::int64_t start, std::int32_t count, std::uint8_t* buffer, std::int32_t size,
            std::int32_t* bytes, std::int32_t* samples);
  // The stream's data as one run of bytes: up to `size` bytes from `offset`.
  // -1 on a read error, 0 at the end.
  std::int64_t read_bytes(std::int64_t offset, std::uint8_t* buffer, std::int64_t size);

  std::int64_t total_bytes() const { return total_bytes_; }
  std::int64_t sample_size() const { return sample_size_; }
  std::int64_t chunk_count() const { return static_cast<std::int64_t>(chunks_.size()); }

 private:
  struct Chunk {
    std::int64_t data_pos;  // file position of the chunk's data
    std::int64_t size;
    std::int64_t offset;    // bytes of the stream before this chunk
  };
  AviSampleReader() = default;
  bool read_chunk_part(const Chunk& c, std::int64_t from, std::uint8_t* out, std::int64_t n);
  std::size_t chunk_at(std::int64_t offset) const;

  int fd_ = -1;
  std::int64_t sample_size_ = 0;
  std::int64_t total_bytes_ = 0;
  std::vector<Chunk> chunks_;
};

}  // namespace corvexa::platform
