#include "mpeg/mux/timestamp.h"

#include <cmath>

#include "mpeg/mux/byte_order.h"

namespace corvexa::mpeg::mux {

TimestampRecord to_record(double ticks, bool with_extension) {
  TimestampRecord r;
  if (ticks < 0) {
    r.negative = 1;
    ticks = -ticks;
  }
  // Times are computed in fractions of a tick: the nearest tick is meant, and
  // without the extension the nearest 90 kHz step.
  double base, ext;
  if (with_extension) {
    const double whole = std::round(ticks);
    base = std::floor(whole / 300.0);
    ext = whole - 300.0 * base;
  } else {
    base = std::round(ticks / 300.0);
    ext = 0;
  }
  if (base > 4294967295.0) {
    r.base_bit32 = 1;
    base -= 4294967296.0;
  }
  // Values beyond 33 bits cannot occur for real streams; keep the low bits.
  r.base = static_cast<std::uint32_t>(std::fmod(base, 4294967296.0));
  r.extension = with_extension ? static_cast<std::uint32_t>(ext) % 300u : 0u;
  return r;
}

double from_record(const TimestampRecord& record) {
  double v = (record.base_bit32 * 4294967296.0 + record.base) * 300.0 + record.extension;
  return record.negative ? -v : v;
}

std::uint64_t base_90khz(double ticks) {
  if (ticks < 0) ticks = 0;
  auto base = static_cast<std::uint64_t>(std::round(ticks / 300.0));
  return base & ((std::uint64_t{1} << 33) - 1);
}

std::uint64_t scr_base_90khz(double ticks) {
  if (ticks < 0) ticks = 0;
  auto base = static_cast<std::uint64_t>(std::floor(std::round(ticks) / 300.0));
  return base & ((std::uint64_t{1} << 33) - 1);
}

std::uint32_t extension_27mhz(double ticks) {
  if (ticks < 0) ticks = 0;
  const double whole = std::round(ticks);
  double base = std::floor(whole / 300.0);
  return static_cast<std::uint32_t>(whole - base * 300.0) % 300u;
}

void store_record(const TimestampRecord& record, std::uint8_t* out) {
  put_le32(out, record.base_bit32);
  put_le32(out + 4, record.base);
  put_le32(out + 8, record.extension);
  put_le32(out + 12, record.negative);
}

TimestampRecord load_record(const std::uint8_t* in) {
  TimestampRecord r;
  r.base_bit32 = get_le32(in);
  r.base = get_le32(in + 4);
  r.extension = get_le32(in + 8);
  r.negative = get_le32(in + 12);
  return r;
}

}  // namespace corvexa::mpeg::mux
