// Plain file handles of the multiplexer: the elementary stream inputs, the
// program file, and temporary files that remove themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvexa::mpeg::mux {

class File {
 public:
  File() = default;
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept;

  bool open_read(const std::string& path);
  // Creates or truncates `path` for reading and writing.
  bool create(const std::string& path);
  void adopt(int fd) { close(); fd_ = fd; }
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Whole writes only; false on any short write.
  bool write_all(const void* data, std::size_t size);
  // Reads up to `size` bytes (fewer only at the end of the file); -1 on error.
  long long read_some(void* data, std::size_t size);
  // Reads up to `size` bytes at `offset` (fewer at the end); -1 on error.
  long long read_some_at(std::int64_t offset, void* data, std::size_t size);
  // Reads exactly `size` bytes at `offset`.
  bool read_at(std::int64_t offset, void* data, std::size_t size);
  bool write_at(std::int64_t offset, const void* data, std::size_t size);
  bool seek(std::int64_t offset);
  std::int64_t size() const;  // -1 on error
  bool flush();
  bool truncate_here();  // sets the end of the file at the current position
  bool close();

 private:
  int fd_ = -1;
};

// A file created in `folder` under a unique name of the run's own that ends
// in "." + `tag`, deleted when the object goes.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool create(const std::string& folder, const std::string& tag);
  const std::string& path() const { return path_; }
  File& file() { return file_; }
  void remove();

 private:
  std::string path_;
  File file_;
};

}  // namespace corvexa::mpeg::mux
