// The 64-bit file layer: a read-only handle with its own position. Each file
// has two: a buffered one for scanning and an unbuffered one (O_DIRECT where
// the file system allows it) for streaming refills.
#pragma once

#include <cstdint>
#include <string>

namespace corvexa::avi {

class File64 {
 public:
  File64() = default;
  ~File64() { close(); }
  File64(const File64&) = delete;
  File64& operator=(const File64&) = delete;
  File64(File64&& other) noexcept;
  File64& operator=(File64&& other) noexcept;

  // Opens for reading; false with errno set on failure.
  bool open(const std::string& path, bool unbuffered);
  void close();
  bool is_open() const { return fd_ >= 0; }
  bool is_direct() const { return direct_; }

  // Bytes read (short at end of file) or -1; advances the position.
  std::int64_t read(void* buffer, std::int64_t size);
  // Exactly `size` bytes or a ReaderError.
  void read_exact(void* buffer, std::int64_t size);
  // An 8-byte chunk header; false on a short read.
  bool read_header(std::uint32_t& id, std::uint32_t& size);
  void seek(std::int64_t position);  // raises "File64: ..."
  bool try_seek(std::int64_t position);
  void skip(std::int64_t distance) { seek(position_ + distance); }
  std::int64_t position() const { return position_; }
  std::int64_t size() const;  // raises "Cannot determine file size: ..."

  // Unbuffered read at `position` into `buffer`, both aligned to 4096 when the
  // handle is direct; serialised by one process-wide lock. -1 on failure.
  std::int64_t read_unbuffered(std::int64_t position, void* buffer, std::int64_t size);

  // Positional read that leaves the position alone; -1 on failure.
  std::int64_t read_at(std::int64_t position, void* buffer, std::int64_t size) const;

 private:
  int fd_ = -1;
  bool direct_ = false;
  std::int64_t position_ = 0;
};

}  // namespace corvexa::avi
