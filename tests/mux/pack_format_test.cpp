// Pack and packet headers read back by an independent parser.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "mpeg/mux/pack_format.h"
#include "mux/mux_test_support.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa::mpeg::mux;

struct HeaderCase {
  bool mpeg2;
  double scr;  // 27 MHz ticks
  std::uint32_t mux_rate;
  bool std_field;
  bool dts;
  int stuffing;
};

TEST(PackFormat, HeadersReadBackAsWritten) {
  const HeaderCase cases[] = {
      {false, 0, 3528, true, true, 0},
      {false, 8589934591.0 * 300, 1, false, false, 6},   // largest 33-bit base
      {true, (4294967296.0 + 777) * 300 + 299, 25200, true, true, 3},
      {true, 12345 * 300.0 + 1, 0x3FFFFF, false, false, 0},
  };
  kavrol_test::TempDir dir;
  for (const auto& c : cases) {
    std::vector<std::uint8_t> sector(2048, 0);
    SectorBuilder b(sector);
    write_pack_header(b, c.mpeg2, c.scr, c.mux_rate);
    ASSERT_EQ(b.size(), static_cast<std::size_t>(pack_header_size(c.mpeg2)));
    PacketHeader h;
    h.stream_id = kVideoId;
    h.mpeg2 = c.mpeg2;
    h.has_pts = true;
    h.has_dts = c.dts;
    h.pts = 90000.0 * 300 * 2;  // 2 s
    h.dts = 90000.0 * 300 * 1.5;
    h.has_std = c.std_field;
    h.std_scale = 1;
    h.std_size = 46;
    h.stuffing = c.stuffing;
    std::size_t payload = 100;
    write_packet_header(b, h, payload);
    for (std::size_t i = 0; i < payload; ++i) b.byte(0x42);
    write_padding_packet(b, c.mpeg2, b.room());
    ASSERT_EQ(b.room(), 0u);
    std::string path = dir.file("pack.mpg");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(sector.data(), 1, sector.size(), f);
    std::fclose(f);

    mux_test::ProgramStream ps = mux_test::parse_program_stream(path);
    ASSERT_EQ(ps.error, "");
    ASSERT_EQ(ps.packs.size(), 1u);
    const mux_test::Pack& pk = ps.packs[0];
    EXPECT_EQ(pk.mpeg2, c.mpeg2);
    EXPECT_EQ(pk.mux_rate, c.mux_rate);
    EXPECT_EQ(static_cast<double>(pk.scr_27mhz), c.mpeg2 ? c.scr : std::floor(c.scr / 300) * 300);
    ASSERT_EQ(pk.packets.size(), 2u);
    const mux_test::Packet& p = pk.packets[0];
    EXPECT_EQ(p.id, kVideoId);
    EXPECT_EQ(p.payload_size, payload);
    EXPECT_EQ(ps.bytes[static_cast<std::size_t>(p.payload_offset)], 0x42);
    EXPECT_TRUE(p.has_pts);
    EXPECT_DOUBLE_EQ(p.pts, 2.0);
    EXPECT_EQ(p.has_dts, c.dts);
    if (c.dts) {
      EXPECT_DOUBLE_EQ(p.dts, 1.5);
    }
    EXPECT_EQ(pk.packets[1].id, kPaddingId);
  }
}

TEST(PackFormat, SystemHeaderLengthFollowsItsEntries) {
  std::vector<std::uint8_t> sector(64, 0);
  SectorBuilder b(sector);
  SystemHeader h;
  h.rate_bound = 3528;
  h.audio_bound = 1;
  h.video_bound = 1;
  h.csps = true;
  h.entries = {{kVideoId, 1, 46}, {kAudio1Id, 0, 32}};
  write_system_header(b, h);
  ASSERT_EQ(b.size(), static_cast<std::size_t>(system_header_size(2)));
  EXPECT_EQ((sector[4] << 8) | sector[5], 12);
  EXPECT_EQ(sector[12], kVideoId);
  EXPECT_EQ(sector[13], 0xE0);  // '11', scale 1, size 46 >> 8
  EXPECT_EQ(sector[14], 46);
  EXPECT_EQ(sector[15], kAudio1Id);
  EXPECT_EQ(sector[16], 0xC0);
  EXPECT_EQ(sector[17], 32);
}

}  // namespace
