// Most-significant-bit-first reader over a file, refilled through a
// 262144-byte buffer, with a start-code search and a bit position counter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/mux/mux_files.h"

namespace corvexa::mpeg::mux {

class BitReader {
 public:
  static constexpr int kBufferSize = 262144;

  bool open(const std::string& path);
  void close() { file_.close(); }

  // The next `n` bits (0 <= n <= 32). Past the end zeros are returned and
  // end() becomes true.
  std::uint32_t get_bits(int n);
  std::uint32_t peek_bits(int n);
  void skip_bytes(std::int64_t n);
  // Aligns to a byte and stops in front of the next 0x000001 prefix. False at
  // the end of the data.
  bool next_start_code();
  // Byte at `ahead` bytes from the current (aligned) position; -1 past the end.
  int peek_byte(int ahead);

  double bit_position() const { return bits_consumed_; }
  std::int64_t byte_position() const { return static_cast<std::int64_t>(bits_consumed_ / 8); }
  bool end() const { return end_; }
  bool failed() const { return error_; }

 private:
  bool ensure(std::size_t bytes);  // at least `bytes` unread bytes buffered

  File file_;
  std::vector<std::uint8_t> buffer_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t fill_ = 0;   // bytes held
  int bit_ = 0;            // bits of buffer_[begin_] already consumed
  double bits_consumed_ = 0;
  bool eof_ = false;       // the file has no more data
  bool end_ = false;       // a read went past the data
  bool error_ = false;
};

}  // namespace corvexa::mpeg::mux
