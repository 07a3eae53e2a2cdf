// Byte layouts of the program stream: pack headers, system headers, packet
// headers, padding packets, for the ISO/IEC 11172-1 and 13818-1 forms.
#pragma once

#include <cstdint>
#include <vector>

namespace corvexa::mpeg::mux {

inline constexpr std::uint8_t kVideoId = 0xE0;
inline constexpr std::uint8_t kAudio1Id = 0xC0;
inline constexpr std::uint8_t kAudio2Id = 0xC1;
inline constexpr std::uint8_t kPrivate1Id = 0xBD;
inline constexpr std::uint8_t kPaddingId = 0xBE;
inline constexpr std::uint8_t kPrivate2Id = 0xBF;
inline constexpr std::uint32_t kProgramEndCode = 0x000001B9;

// Appends bytes to a sector under construction.
class SectorBuilder {
 public:
  explicit SectorBuilder(std::vector<std::uint8_t>& sector) : s_(sector) {}
  std::size_t size() const { return pos_; }
  std::size_t room() const { return s_.size() - pos_; }
  void byte(std::uint32_t v) { s_[pos_++] = static_cast<std::uint8_t>(v); }
  void u16(std::uint32_t v) { byte(v >> 8); byte(v); }
  void u32(std::uint32_t v) { u16(v >> 16); u16(v); }
  void bytes(const std::uint8_t* p, std::size_t n);
  void fill(std::uint8_t v, std::size_t n);
  std::uint8_t* at(std::size_t offset) { return s_.data() + offset; }

 private:
  std::vector<std::uint8_t>& s_;
  std::size_t pos_ = 0;
};

// Pack header: 12 bytes (MPEG-1 form) or 14 bytes (MPEG-2 form).
void write_pack_header(SectorBuilder& b, bool mpeg2, double scr_ticks, std::uint32_t mux_rate);
inline int pack_header_size(bool mpeg2) { return mpeg2 ? 14 : 12; }

struct SystemHeaderEntry {
  std::uint8_t stream_id;
  int scale;          // buffer bound scale: 0 = 128-byte units, 1 = 1024-byte units
  unsigned size;      // buffer size bound in those units
};

struct SystemHeader {
  std::uint32_t rate_bound = 0;
  unsigned audio_bound = 0;
  bool fixed = false;
  bool csps = false;
  bool audio_lock = false, video_lock = false;
  unsigned video_bound = 0;
  std::uint8_t reserved_byte = 0xFF;
  std::vector<SystemHeaderEntry> entries;
};

void write_system_header(SectorBuilder& b, const SystemHeader& header);
inline int system_header_size(std::size_t entries) { return 12 + 3 * static_cast<int>(entries); }

// 33-bit time stamp with a 4-bit prefix in the five-byte form.
void write_timestamp(SectorBuilder& b, unsigned prefix, double ticks);

struct PacketHeader {
  std::uint8_t stream_id = 0;
  bool mpeg2 = false;
  bool original = false;   // MPEG-2: original_or_copy (SuperVCD)
  bool has_pts = false, has_dts = false;
  double pts = 0, dts = 0;
  bool has_std = false;    // STD (MPEG-1) or P-STD extension (MPEG-2) buffer field
  int std_scale = 0;
  unsigned std_size = 0;
  int stuffing = 0;
};

// Bytes of the header including start code and length field.
int packet_header_size(const PacketHeader& h);
// Writes the header of a packet whose payload (after the header) is
// `payload_bytes` long.
void write_packet_header(SectorBuilder& b, const PacketHeader& h, std::size_t payload_bytes);
// A padding packet of exactly `total` bytes (at least 6, 7 for MPEG-1).
void write_padding_packet(SectorBuilder& b, bool mpeg2, std::size_t total);

}  // namespace corvexa::mpeg::mux
