#include "mpeg/video/bit_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg {

namespace {

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

BitWriter::~BitWriter() { close(); }

bool BitWriter::open(EncoderContext& ctx, const std::string& name) {
  close();
  memory_ = false;
  capacity_ = kBufferSize;
  fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    report_message(ctx, "Unable to open file %s for writing.", name.c_str());
    return false;
  }
  try {
    buffer_.assign(kBufferSize, 0);
  } catch (const std::bad_alloc&) {
    report_message(ctx, "Unable to allocate memory for bitstream file %s.", name.c_str());
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  byte_count_ = 0;
  acc_ = 0;
  acc_bits_ = 0;
  total_bits_ = 0;
  error_ = false;
  return true;
}

void BitWriter::open_memory() {
  close();
  memory_ = true;
  constexpr int kFirstSize = 65536;
  try {
    if (buffer_.size() < static_cast<std::size_t>(kFirstSize)) buffer_.resize(kFirstSize);
    error_ = false;
  } catch (const std::bad_alloc&) {
    error_ = true;
  }
  capacity_ = static_cast<int>(buffer_.size());
  byte_count_ = 0;
  acc_ = 0;
  acc_bits_ = 0;
  total_bits_ = 0;
}

void BitWriter::append(BitWriter& other) {
  other.settle();
  settle();
  const int whole = other.byte_count_;
  if (aligned() && !error_) {
    int done = 0;
    while (done < whole && !error_) {
      const int n = std::min(whole - done, capacity_ - byte_count_);
      std::memcpy(buffer_.data() + byte_count_, other.buffer_.data() + done,
                  static_cast<std::size_t>(n));
      byte_count_ += n;
      done += n;
      total_bits_ += 8LL * n;
      if (byte_count_ == capacity_) flush_buffer();
    }
  } else {
    for (int k = 0; k < whole; ++k) write_bits(other.buffer_[static_cast<std::size_t>(k)], 8);
  }
  if (other.acc_bits_ > 0)
    write_bits(static_cast<std::uint32_t>(other.acc_) & ((1u << other.acc_bits_) - 1u),
               other.acc_bits_);
  if (other.error_) error_ = true;
}

void BitWriter::flush_buffer() {
  if (memory_) {
    // Room for as much again; a writer in memory holds one slice or so.
    try {
      if (capacity_ > (1 << 29)) throw std::bad_alloc();
      buffer_.resize(static_cast<std::size_t>(capacity_) * 2);
      capacity_ *= 2;
    } catch (const std::bad_alloc&) {
      error_ = true;
      byte_count_ = 0;
    }
    return;
  }
  if (byte_count_ == 0) return;
  if (!error_ && !write_all(fd_, buffer_.data(), static_cast<std::size_t>(byte_count_)))
    error_ = true;
  byte_count_ = 0;
}

void BitWriter::byte_align() {
  if (acc_bits_ & 7) write_bits(0, 8 - (acc_bits_ & 7));
}

bool BitWriter::save_position(Position& area) {
  if (fd_ < 0) return false;
  settle();
  area.undo.assign(buffer_.begin(), buffer_.end());
  off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) return false;
  area.file_position = pos;
  area.current_byte = static_cast<std::uint8_t>(acc_ << (8 - acc_bits_));
  area.byte_count = byte_count_;
  area.bits_left = 8 - acc_bits_;
  area.total_bits = total_bits_;
  area.error = error_;
  return true;
}

bool BitWriter::restore_position(const Position& area) {
  if (fd_ < 0 || area.undo.size() != buffer_.size()) return false;
  buffer_ = area.undo;
  if (::lseek(fd_, static_cast<off_t>(area.file_position), SEEK_SET) < 0) return false;
  // Whatever was flushed past the saved point is overwritten by the redo;
  // cut it off so a shorter redo leaves no stale tail.
  if (::ftruncate(fd_, static_cast<off_t>(area.file_position)) != 0) return false;
  byte_count_ = area.byte_count;
  acc_bits_ = 8 - area.bits_left;
  acc_ = static_cast<std::uint64_t>(area.current_byte >> area.bits_left);
  total_bits_ = area.total_bits;
  error_ = area.error;
  return true;
}

bool BitWriter::close() {
  settle();
  if (memory_) {
    memory_ = false;
    return !error_;
  }
  if (fd_ < 0) return !error_;
  flush_buffer();
  if (::close(fd_) != 0) error_ = true;
  fd_ = -1;
  buffer_.clear();
  buffer_.shrink_to_fit();
  return !error_;
}

}  // namespace corvexa::mpeg
