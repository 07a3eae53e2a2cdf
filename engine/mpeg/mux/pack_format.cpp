#include "mpeg/mux/pack_format.h"

#include <cstring>

#include "mpeg/mux/timestamp.h"

namespace corvexa::mpeg::mux {

void SectorBuilder::bytes(const std::uint8_t* p, std::size_t n) {
  if (n == 0) return;
  std::memcpy(s_.data() + pos_, p, n);
  pos_ += n;
}

void SectorBuilder::fill(std::uint8_t v, std::size_t n) {
  std::memset(s_.data() + pos_, v, n);
  pos_ += n;
}

void write_pack_header(SectorBuilder& b, bool mpeg2, double scr_ticks, std::uint32_t mux_rate) {
  b.u32(0x000001BA);
  if (mpeg2) {
    std::uint64_t base = scr_base_90khz(scr_ticks);
    std::uint32_t ext = extension_27mhz(scr_ticks);
    b.byte(0x40 | ((base >> 27) & 0x38) | 0x04 | ((base >> 28) & 0x03));
    b.byte(base >> 20);
    b.byte(((base >> 12) & 0xF8) | 0x04 | ((base >> 13) & 0x03));
    b.byte(base >> 5);
    b.byte(((base << 3) & 0xF8) | 0x04 | ((ext >> 7) & 0x03));
    b.byte(((ext << 1) & 0xFE) | 0x01);
    b.byte(mux_rate >> 14);
    b.byte(mux_rate >> 6);
    b.byte(((mux_rate << 2) & 0xFC) | 0x03);
    b.byte(0xF8);  // reserved, no pack stuffing
  } else {
    write_timestamp(b, 0x2, scr_ticks);
    b.byte(0x80 | ((mux_rate >> 15) & 0x7F));
    b.byte(mux_rate >> 7);
    b.byte(((mux_rate << 1) & 0xFE) | 0x01);
  }
}

void write_timestamp(SectorBuilder& b, unsigned prefix, double ticks) {
  std::uint64_t t = base_90khz(ticks);
  b.byte((prefix << 4) | ((t >> 29) & 0x0E) | 0x01);
  b.byte(t >> 22);
  b.byte(((t >> 14) & 0xFE) | 0x01);
  b.byte(t >> 7);
  b.byte(((t << 1) & 0xFE) | 0x01);
}

void write_system_header(SectorBuilder& b, const SystemHeader& h) {
  b.u32(0x000001BB);
  b.u16(static_cast<std::uint32_t>(6 + 3 * h.entries.size()));
  b.byte(0x80 | ((h.rate_bound >> 15) & 0x7F));
  b.byte(h.rate_bound >> 7);
  b.byte(((h.rate_bound << 1) & 0xFE) | 0x01);
  b.byte((h.audio_bound << 2) | (h.fixed ? 2 : 0) | (h.csps ? 1 : 0));
  b.byte((h.audio_lock ? 0x80 : 0) | (h.video_lock ? 0x40 : 0) | 0x20 | (h.video_bound & 0x1F));
  b.byte(h.reserved_byte);
  for (const auto& e : h.entries) {
    b.byte(e.stream_id);
    b.byte(0xC0 | (e.scale ? 0x20 : 0) | ((e.size >> 8) & 0x1F));
    b.byte(e.size);
  }
}

int packet_header_size(const PacketHeader& h) {
  int ts = h.has_pts ? (h.has_dts ? 10 : 5) : 0;
  if (h.mpeg2) return 9 + ts + (h.has_std ? 3 : 0) + h.stuffing;
  return 6 + h.stuffing + (h.has_std ? 2 : 0) + (ts == 0 ? 1 : ts);
}

void write_packet_header(SectorBuilder& b, const PacketHeader& h, std::size_t payload_bytes) {
  int size = packet_header_size(h);
  b.u32(0x00000100 | h.stream_id);
  b.u16(static_cast<std::uint32_t>(size - 6 + static_cast<int>(payload_bytes)));
  auto std_field = [&]() {
    b.byte(0x40 | (h.std_scale ? 0x20 : 0) | ((h.std_size >> 8) & 0x1F));
    b.byte(h.std_size);
  };
  if (h.mpeg2) {
    b.byte(h.original ? 0x81 : 0x80);
    b.byte((h.has_pts ? 0x80 : 0) | (h.has_pts && h.has_dts ? 0x40 : 0) | (h.has_std ? 0x01 : 0));
    b.byte(static_cast<std::uint32_t>(size - 9));
    if (h.has_pts) write_timestamp(b, h.has_dts ? 0x3 : 0x2, h.pts);
    if (h.has_pts && h.has_dts) write_timestamp(b, 0x1, h.dts);
    if (h.has_std) {
      b.byte(0x1E);
      std_field();
    }
    b.fill(0xFF, static_cast<std::size_t>(h.stuffing));
  } else {
    b.fill(0xFF, static_cast<std::size_t>(h.stuffing));
    if (h.has_std) std_field();
    if (h.has_pts) {
      write_timestamp(b, h.has_dts ? 0x3 : 0x2, h.pts);
      if (h.has_dts) write_timestamp(b, 0x1, h.dts);
    } else {
      b.byte(0x0F);
    }
  }
}

void write_padding_packet(SectorBuilder& b, bool mpeg2, std::size_t total) {
  b.u32(0x00000100 | kPaddingId);
  b.u16(static_cast<std::uint32_t>(total - 6));
  if (!mpeg2 && total > 6) {
    b.byte(0x0F);
    b.fill(0xFF, total - 7);
  } else {
    b.fill(0xFF, total - 6);
  }
}

}  // namespace corvexa::mpeg::mux
