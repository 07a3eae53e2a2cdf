// Time values of the multiplexer: doubles counted in 27 MHz ticks while
// computing, stored as 16-byte timestamp records in the units files.
#pragma once

#include <cstdint>

namespace corvexa::mpeg::mux {

inline constexpr double kTicksPerSecond = 27000000.0;
inline constexpr double kTicksPerMs = 27000.0;

struct TimestampRecord {
  std::uint32_t base_bit32 = 0;  // bit 32 of the 90 kHz base
  std::uint32_t base = 0;        // low 32 bits of the 90 kHz base
  std::uint32_t extension = 0;   // 27 MHz remainder, 0..299 (MPEG-2 types only)
  std::uint32_t negative = 0;
};

// `with_extension` keeps the 27 MHz remainder (mux_type 2 and above).
TimestampRecord to_record(double ticks, bool with_extension);
double from_record(const TimestampRecord& record);

// The 33-bit 90 kHz value nearest a (non-negative) tick value, wrapped like
// the stream's clock: time stamps, and clock references without extension.
std::uint64_t base_90khz(double ticks);
// The base of a clock reference that carries the extension: the nearest
// whole tick split into base and extension.
std::uint64_t scr_base_90khz(double ticks);
// The 9-bit 27 MHz extension of a tick value.
std::uint32_t extension_27mhz(double ticks);

// Little-endian 16-byte form used in the units files.
void store_record(const TimestampRecord& record, std::uint8_t* out);
TimestampRecord load_record(const std::uint8_t* in);

}  // namespace corvexa::mpeg::mux
