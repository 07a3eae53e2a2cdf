// Most-significant-bit-first writer of an elementary stream file, shared by
// the video and audio encoders. Bytes gather in a 262144-byte buffer that is
// written to the file in one piece when full.
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
    double total_bits = 0.0;
    bool error = false;
    std::vector<std::uint8_t> undo;  // kBufferSize bytes once saved
  };

  BitWriter() = default;
  ~BitWriter();
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Creates or truncates `name`. Failures are reported through `ctx`.
  bool open(EncoderContext& ctx, const std::string& name);
  // Writes the low `n` bits of `value` (1 <= n <= 32), most significant first.
  void write_bits(std::uint32_t value, int n);
  void write_bit(std::uint32_t value) { write_bits(value & 1u, 1); }
  // Pads the current byte with zero bits.
  void byte_align();
  // Every bit ever written, also those dropped after an error.
  double bits_written() const { return total_bits_; }
  bool failed() const { return error_; }
  bool is_open() const { return fd_ >= 0; }
  bool aligned() const { return bits_left_ == 8; }

  bool save_position(Position& area);
  bool restore_position(const Position& area);

  // Writes what is held (unless an error occurred) and closes the file.
  // False when any write failed.
  bool close();

 private:
  void put_byte(std::uint8_t byte);
  void flush_buffer();

  int fd_ = -1;
  std::vector<std::uint8_t> buffer_;
  std::uint8_t current_byte_ = 0;
  int byte_count_ = 0;
  int bits_left_ = 8;
  double total_bits_ = 0.0;
  bool error_ = false;
};

}  // namespace corvexa::mpeg
