#include "mpeg/mux/mux_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "mpeg/settings/run_files.h"

namespace corvexa::mpeg::mux {

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool File::open_read(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

bool File::create(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool File::write_all(const void* data, std::size_t size) {
  if (fd_ < 0) return false;
  auto p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

long long File::read_some(void* data, std::size_t size) {
  if (fd_ < 0) return -1;
  auto p = static_cast<std::uint8_t*>(data);
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = ::read(fd_, p + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(got);
}

long long File::read_some_at(std::int64_t offset, void* data, std::size_t size) {
  if (fd_ < 0) return -1;
  auto p = static_cast<std::uint8_t*>(data);
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = ::pread(fd_, p + got, size - got, offset + static_cast<std::int64_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(got);
}

bool File::read_at(std::int64_t offset, void* data, std::size_t size) {
  if (fd_ < 0) return false;
  auto p = static_cast<std::uint8_t*>(data);
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = ::pread(fd_, p + got, size - got, offset + static_cast<std::int64_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool File::write_at(std::int64_t offset, const void* data, std::size_t size) {
  if (fd_ < 0) return false;
  auto p = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(fd_, p + done, size - done, offset + static_cast<std::int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool File::seek(std::int64_t offset) {
  return fd_ >= 0 && ::lseek(fd_, offset, SEEK_SET) == offset;
}

std::int64_t File::size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool File::flush() { return fd_ >= 0 && ::fsync(fd_) == 0; }

bool File::truncate_here() {
  if (fd_ < 0) return false;
  off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  return pos >= 0 && ::ftruncate(fd_, pos) == 0;
}

bool File::close() {
  if (fd_ < 0) return true;
  bool ok = ::close(fd_) == 0;
  fd_ = -1;
  return ok;
}

bool TempFile::create(const std::string& folder, const std::string& tag) {
  remove();
  const int fd = create_unique_file(folder, "." + tag, path_);
  if (fd < 0) return false;
  file_.adopt(fd);
  return true;
}

void TempFile::remove() {
  file_.close();
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace corvexa::mpeg::mux
