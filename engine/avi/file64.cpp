#include "avi/file64.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "avi/reader_error.h"

namespace corvexa::avi {

namespace {

std::mutex& unbuffered_lock() {
  static std::mutex lock;  // created on first use
  return lock;
}

}  // namespace

File64::File64(File64&& other) noexcept
    : fd_(other.fd_), direct_(other.direct_), position_(other.position_) {
  other.fd_ = -1;
}

File64& File64::operator=(File64&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    direct_ = other.direct_;
    position_ = other.position_;
    other.fd_ = -1;
  }
  return *this;
}

bool File64::open(const std::string& path, bool unbuffered) {
  close();
  direct_ = false;
  position_ = 0;
  if (unbuffered) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (fd_ >= 0) {
      direct_ = true;
      return true;
    }
  }
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    close();
    errno = EISDIR;
    return false;
  }
  return true;
}

void File64::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::int64_t File64::read_at(std::int64_t position, void* buffer, std::int64_t size) const {
  if (position < 0 || size < 0) {
    errno = EINVAL;
    return -1;
  }
  auto* out = static_cast<unsigned char*>(buffer);
  std::int64_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(size - done), position + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t File64::read(void* buffer, std::int64_t size) {
  const std::int64_t got = read_at(position_, buffer, size);
  if (got > 0) position_ += got;
  return got;
}

void File64::read_exact(void* buffer, std::int64_t size) {
  const std::int64_t got = read(buffer, size);
  if (got < 0) throw ReaderSystemError(errno, "Failure reading file: %%s.");
  if (got < size) throw ReaderError("Failure reading file: Unexpected end of file");
}

bool File64::read_header(std::uint32_t& id, std::uint32_t& size) {
  unsigned char bytes[8];
  if (read(bytes, 8) != 8) return false;
  id = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  size = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<std::uint32_t>(bytes[7]) << 24;
  return true;
}

bool File64::try_seek(std::int64_t position) {
  if (position < 0 || fd_ < 0) return false;
  position_ = position;
  return true;
}

void File64::seek(std::int64_t position) {
  if (!try_seek(position)) throw ReaderSystemError(fd_ < 0 ? EBADF : EINVAL, "File64: %%s");
}

std::int64_t File64::size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0)
    throw ReaderSystemError(fd_ < 0 ? EBADF : errno, "Cannot determine file size: %%s");
  return st.st_size;
}

std::int64_t File64::read_unbuffered(std::int64_t position, void* buffer, std::int64_t size) {
  std::lock_guard<std::mutex> guard(unbuffered_lock());
  std::int64_t got = read_at(position, buffer, size);
  if (got < 0 && direct_ && errno == EINVAL) {
    // The file system refused direct I/O for this request: read it normally.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0 && ::fcntl(fd_, F_SETFL, flags & ~O_DIRECT) == 0) {
      direct_ = false;
      got = read_at(position, buffer, size);
    }
  }
  return got;
}

}  // namespace corvexa::avi
