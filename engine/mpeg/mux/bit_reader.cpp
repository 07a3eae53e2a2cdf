#include "mpeg/mux/bit_reader.h"

#include <cstring>

namespace corvexa::mpeg::mux {

bool BitReader::open(const std::string& path) {
  buffer_.assign(kBufferSize, 0);
  begin_ = fill_ = 0;
  bit_ = 0;
  bits_consumed_ = 0;
  eof_ = end_ = error_ = false;
  return file_.open_read(path);
}

bool BitReader::ensure(std::size_t bytes) {
  if (fill_ - begin_ >= bytes) return true;
  if (eof_ || error_) return false;
  // Keep the unread tail, refill behind it.
  std::size_t keep = fill_ - begin_;
  if (begin_ > 0) std::memmove(buffer_.data(), buffer_.data() + begin_, keep);
  begin_ = 0;
  fill_ = keep;
  while (fill_ < bytes && !eof_) {
    long long n = file_.read_some(buffer_.data() + fill_, buffer_.size() - fill_);
    if (n < 0) {
      error_ = true;
      return false;
    }
    if (n == 0) eof_ = true;
    fill_ += static_cast<std::size_t>(n);
  }
  return fill_ - begin_ >= bytes;
}

std::uint32_t BitReader::get_bits(int n) {
  std::uint32_t value = 0;
  while (n > 0) {
    if (!ensure(1)) {
      end_ = true;
      value <<= n;
      bits_consumed_ += n;
      return value;
    }
    int avail = 8 - bit_;
    int take = n < avail ? n : avail;
    std::uint32_t byte = buffer_[begin_];
    std::uint32_t chunk = (byte >> (avail - take)) & ((1u << take) - 1u);
    value = (take == 32) ? chunk : ((value << take) | chunk);
    bit_ += take;
    n -= take;
    bits_consumed_ += take;
    if (bit_ == 8) {
      bit_ = 0;
      ++begin_;
    }
  }
  return value;
}

std::uint32_t BitReader::peek_bits(int n) {
  // Peeks are only asked for at byte-aligned or near positions: copy the state.
  std::size_t need = static_cast<std::size_t>((bit_ + n + 7) / 8);
  ensure(need);
  std::uint32_t value = 0;
  int pos_bit = bit_;
  std::size_t pos = begin_;
  for (int i = 0; i < n; ++i) {
    std::uint32_t bit = 0;
    if (pos < fill_) bit = (buffer_[pos] >> (7 - pos_bit)) & 1u;
    value = (value << 1) | bit;
    if (++pos_bit == 8) {
      pos_bit = 0;
      ++pos;
    }
  }
  return value;
}

int BitReader::peek_byte(int ahead) {
  if (bit_ != 0) {
    bits_consumed_ += 8 - bit_;
    bit_ = 0;
    ++begin_;
  }
  if (!ensure(static_cast<std::size_t>(ahead) + 1)) return -1;
  return buffer_[begin_ + static_cast<std::size_t>(ahead)];
}

void BitReader::skip_bytes(std::int64_t n) {
  if (bit_ != 0) {
    bits_consumed_ += 8 - bit_;
    bit_ = 0;
    ++begin_;
  }
  while (n > 0) {
    if (!ensure(1)) {
      end_ = true;
      return;
    }
    std::size_t avail = fill_ - begin_;
    std::size_t take = static_cast<std::uint64_t>(n) < avail ? static_cast<std::size_t>(n) : avail;
    begin_ += take;
    n -= static_cast<std::int64_t>(take);
    bits_consumed_ += 8.0 * static_cast<double>(take);
  }
}

bool BitReader::next_start_code() {
  if (bit_ != 0) {
    bits_consumed_ += 8 - bit_;
    bit_ = 0;
    ++begin_;
  }
  for (;;) {
    if (!ensure(3)) {
      // Nothing more can start here: consume the tail.
      bits_consumed_ += 8.0 * static_cast<double>(fill_ - begin_);
      begin_ = fill_;
      end_ = true;
      return false;
    }
    const std::uint8_t* p = buffer_.data() + begin_;
    std::size_t avail = fill_ - begin_;
    std::size_t i = 0;
    for (; i + 2 < avail; ++i) {
      if (p[i + 2] > 1) {
        i += 2;  // neither of the next bytes can end a prefix here
        continue;
      }
      if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) break;
    }
    if (i + 2 < avail) {
      begin_ += i;
      bits_consumed_ += 8.0 * static_cast<double>(i);
      return true;
    }
    // Keep the last two bytes: a prefix may straddle the refill.
    std::size_t skip = avail - 2;
    begin_ += skip;
    bits_consumed_ += 8.0 * static_cast<double>(skip);
    if (eof_) {
      bits_consumed_ += 16;
      begin_ = fill_;
      end_ = true;
      return false;
    }
    if (!ensure(3)) {
      bits_consumed_ += 8.0 * static_cast<double>(fill_ - begin_);
      begin_ = fill_;
      end_ = true;
      return false;
    }
  }
}

}  // namespace corvexa::mpeg::mux
