// Most-significant-bit-first writer of an elementary stream file, shared by
// the video and audio encoders. Bytes gather in a 262144-byte buffer that is
// written to the file in one piece when full. A writer opened in memory keeps
// everything in a growing buffer instead, to be appended to another writer
// (the video encoder codes the slices of a picture apart this way).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvexa::mpeg {

struct EncoderContext;

class BitWriter {
 public:
  static constexpr int kBufferSize = 262144;

  // A rewind point: the writer state plus a copy of the buffer.
  struct Position {
    std::int64_t file_position = 0;
    std::uint8_t current_byte = 0;
    int byte_count = 0;
    int bits_left = 8;
    std::int64_t total_bits = 0;
    bool error = false;
    std::vector<std::uint8_t> undo;  // kBufferSize bytes once saved
  };

  BitWriter() = default;
  ~BitWriter();
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Creates or truncates `name`. Failures are reported through `ctx`.
  bool open(EncoderContext& ctx, const std::string& name);
  // Starts an empty writer in memory (keeping what it allocated before).
  void open_memory();
  // Appends every bit another writer holds in memory, its unfinished byte
  // included; whole bytes are copied as they are when this writer is at a
  // byte boundary.
  void append(BitWriter& other);
  // Writes the low `n` bits of `value` (1 <= n <= 32), most significant first.
  void write_bits(std::uint32_t value, int n) {
    total_bits_ += n;
    if (fd_ < 0 && !memory_) {
      error_ = true;
      return;
    }
    if (n < 32) value &= (1u << n) - 1u;
    acc_ = (acc_ << n) | value;
    acc_bits_ += n;
    if (acc_bits_ >= 32) put_word();
  }
  void write_bit(std::uint32_t value) { write_bits(value & 1u, 1); }
  // Pads the current byte with zero bits.
  void byte_align();
  // Every bit ever written, also those dropped after an error.
  double bits_written() const { return static_cast<double>(total_bits_); }
  bool failed() const { return error_; }
  bool is_open() const { return fd_ >= 0 || memory_; }
  bool aligned() const { return (acc_bits_ & 7) == 0; }

  bool save_position(Position& area);
  bool restore_position(const Position& area);

  // Writes what is held (unless an error occurred) and closes the file.
  // False when any write failed.
  bool close();

 private:
  void put_byte(std::uint8_t byte) {
    if (error_) return;
    buffer_[static_cast<std::size_t>(byte_count_++)] = byte;
    if (byte_count_ == capacity_) flush_buffer();
  }
  // The oldest 32 of the pending bits into the buffer.
  void put_word() {
    acc_bits_ -= 32;
    const std::uint32_t word = static_cast<std::uint32_t>(acc_ >> acc_bits_);
    if (error_) return;
    if (capacity_ - byte_count_ > 4) {
      std::uint8_t* p = buffer_.data() + byte_count_;
      p[0] = static_cast<std::uint8_t>(word >> 24);
      p[1] = static_cast<std::uint8_t>(word >> 16);
      p[2] = static_cast<std::uint8_t>(word >> 8);
      p[3] = static_cast<std::uint8_t>(word);
      byte_count_ += 4;
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8) put_byte(static_cast<std::uint8_t>(word >> shift));
  }
  // Moves the pending whole bytes into the buffer, leaving under eight bits.
  void settle() {
    while (acc_bits_ >= 8) {
      acc_bits_ -= 8;
      put_byte(static_cast<std::uint8_t>(acc_ >> acc_bits_));
    }
  }
  // Writes the full buffer to the file; in memory, makes room for more.
  void flush_buffer();

  int fd_ = -1;
  bool memory_ = false;
  std::vector<std::uint8_t> buffer_;
  int capacity_ = kBufferSize;
  int byte_count_ = 0;
  // Bits written but not yet in the buffer: the low acc_bits_ (under 32
  // between writes) of acc_.
  std::uint64_t acc_ = 0;
  int acc_bits_ = 0;
  std::int64_t total_bits_ = 0;  // an integer add a write, no float chain
  bool error_ = false;
};

}  // namespace corvexa::mpeg
