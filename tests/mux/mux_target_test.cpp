// The program streams of the five targets, judged by FFmpeg and the disc
// authoring tools.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <ostream>
#include <set>

#include "mpeg/stages.h"
#include "mux/mux_test_support.h"
#include "support/temp_dir.h"

namespace {

using corvexa::mpeg::EncoderContext;
using mux_test::Fixtures;

struct TargetCase {
  const char* name;
  int kind;
  bool pal;
  std::string Fixtures::*video;
  std::string Fixtures::*audio;
  int frames;           // pictures in the video fixture
  double frame_rate;
};

const TargetCase kTargets[] = {
    {"Mpeg1Pal", 0, true, &Fixtures::m1v_pal, &Fixtures::mp2_44k, 50, 25},
    {"Mpeg1Ntsc", 0, false, &Fixtures::m1v_ntsc, &Fixtures::mp2_44k, 60, 29.97},
    {"VideoCdPal", 1, true, &Fixtures::m1v_pal, &Fixtures::mp2_44k, 50, 25},
    {"VideoCdNtsc", 1, false, &Fixtures::m1v_ntsc, &Fixtures::mp2_44k, 60, 29.97},
    {"Mpeg2Pal", 2, true, &Fixtures::dvd_pal, &Fixtures::mp2_48k, 50, 25},
    {"Mpeg2Ntsc", 2, false, &Fixtures::dvd_ntsc, &Fixtures::mp2_48k, 60, 29.97},
    {"SuperVcdPal", 3, true, &Fixtures::svcd_pal, &Fixtures::mp2_44k, 50, 25},
    {"SuperVcdNtsc", 3, false, &Fixtures::svcd_ntsc, &Fixtures::mp2_44k, 60, 29.97},
    {"DvdPal", 4, true, &Fixtures::dvd_pal, &Fixtures::mp2_48k, 50, 25},
    {"DvdNtsc", 4, false, &Fixtures::dvd_ntsc, &Fixtures::mp2_48k, 60, 29.97},
};

// Cases show by name in test listings.
void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class TargetTest : public ::testing::TestWithParam<TargetCase> {
 protected:
  void SetUp() override {
    if (!Fixtures::get().ok) GTEST_SKIP() << "ffmpeg could not make the fixtures";
  }

  // Multiplexes the case's fixtures into dir/out.mpg.
  bool mux(const TargetCase& c, const std::string& out) {
    const Fixtures& f = Fixtures::get();
    mux_test::fill_target(ctx.work, c.kind, c.pal);
    ctx.status = &sink;
    ctx.video_file = f.*c.video;
    ctx.audio_file = f.*c.audio;
    ctx.output_name = out;
    return corvexa::mpeg::run_multiplexer(ctx);
  }

  EncoderContext ctx;
  mux_test::RecordingSink sink;
  kavrol_test::TempDir dir;
};

TEST_P(TargetTest, FfmpegPlaysTheWholeStream) {
  const TargetCase& c = GetParam();
  std::string out = dir.file("out.mpg");
  ASSERT_TRUE(mux(c, out)) << sink.all();
  EXPECT_EQ(mux_test::decode_errors(out), "");
  mux_test::ProbeResult p = mux_test::probe(out);
  ASSERT_TRUE(p.ok) << p.errors;
  EXPECT_EQ(p.video_frames, c.frames);
  double audio_frame = 1152.0 / 44100;
  EXPECT_NEAR(p.audio_start, p.video_start, 1.0 / c.frame_rate);
  // The last pictures may carry no time stamp: count them from the first.
  double video_end = p.video_start + c.frames / c.frame_rate;
  EXPECT_NEAR(p.audio_end, video_end, audio_frame + 1.0 / c.frame_rate);
  ASSERT_FALSE(sink.progress.empty());
  EXPECT_EQ(sink.progress.back().second, 100);
  EXPECT_EQ(sink.progress.back().first.rfind("Multiplexing: 100% - ", 0), 0u);
  // Nothing but the program file is left in its folder.
  std::set<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    left.insert(e.path().filename().string());
  EXPECT_EQ(left, std::set<std::string>{"out.mpg"});
}

TEST_P(TargetTest, PacksFollowTheTarget) {
  const TargetCase& c = GetParam();
  std::string out = dir.file("out.mpg");
  ASSERT_TRUE(mux(c, out)) << sink.all();
  mux_test::ProgramStream ps = mux_test::parse_program_stream(out);
  ASSERT_EQ(ps.error, "");
  ASSERT_FALSE(ps.packs.empty());
  EXPECT_TRUE(ps.end_code);
  const std::size_t sector = (c.kind == 1 || c.kind == 3) ? 2324 : 2048;
  const bool mpeg2 = c.kind >= 2;
  static const std::uint32_t kRates[5] = {0, 3528, 0, 6972, 25200};
  std::set<int> ids;
  // The disc targets end with a whole sector holding the end code.
  const bool end_sector = c.kind == 1 || c.kind == 3 || c.kind == 4;
  for (std::size_t i = 0; i < ps.packs.size(); ++i) {
    const auto& pk = ps.packs[i];
    bool last = i + 1 == ps.packs.size();
    ASSERT_EQ(pk.size + (last && end_sector ? 4 : 0), sector) << "pack " << i;
    ASSERT_EQ(pk.mpeg2, mpeg2) << "pack " << i;
    ASSERT_EQ(pk.mux_rate, ps.packs[0].mux_rate) << "pack " << i;
    if (i > 0) {
      ASSERT_GT(pk.scr_27mhz, ps.packs[i - 1].scr_27mhz) << "pack " << i;
    }
    for (const auto& pkt : pk.packets) ids.insert(pkt.id);
  }
  EXPECT_TRUE(ps.packs[0].system_header);
  if (kRates[c.kind] != 0) {
    EXPECT_EQ(ps.packs[0].mux_rate, kRates[c.kind]);
  }
  EXPECT_GT(ps.packs[0].mux_rate, 0u);
  EXPECT_TRUE(ids.count(0xE0));
  EXPECT_TRUE(ids.count(0xC0));
  EXPECT_EQ(ids.count(0xBF), c.kind == 4 ? 1u : 0u);
  if (c.kind == 1) {
    // The fourth pack of the file carries sound.
    ASSERT_GE(ps.packs.size(), 4u);
    ASSERT_FALSE(ps.packs[3].packets.empty());
    EXPECT_EQ(ps.packs[3].packets[0].id, 0xC0);
  }
  if (c.kind == 4) {
    // Navigation packs: system header, a 980-byte PCI packet and the DSI packet.
    int nav = 0;
    for (const auto& pk : ps.packs) {
      if (!pk.system_header) continue;
      ++nav;
      ASSERT_EQ(pk.packets.size(), 2u);
      EXPECT_EQ(pk.packets[0].id, 0xBF);
      EXPECT_EQ(pk.packets[0].total, 986u);
      EXPECT_EQ(pk.packets[1].id, 0xBF);
    }
    EXPECT_GE(nav, c.frames / 15);
    // Only I pictures carry time stamps.
    for (const auto& pk : ps.packs)
      for (const auto& pkt : pk.packets)
        if (pkt.id == 0xE0 && pkt.has_pts) {
          std::size_t at = static_cast<std::size_t>(pkt.payload_offset);
          bool i_seen = false;
          for (std::size_t i = at; i + 5 < at + pkt.payload_size; ++i)
            if (ps.bytes[i] == 0 && ps.bytes[i + 1] == 0 && ps.bytes[i + 2] == 1 && ps.bytes[i + 3] == 0) {
              i_seen = ((ps.bytes[i + 5] >> 3) & 7) == 1;
              break;
            }
          EXPECT_TRUE(i_seen) << "time stamp on a packet at " << pkt.offset;
        }
  }
  if (c.kind == 1) {
    // 75 sectors a second: every SCR step is 1/75 s.
    for (std::size_t i = 1; i < ps.packs.size(); ++i)
      ASSERT_EQ(ps.packs[i].scr_27mhz - ps.packs[i - 1].scr_27mhz, 360000u) << "pack " << i;
  }
  // The fixed disc rates and the MPEG-1 rate carry these clips without a late
  // time stamp; the computed MPEG-2 rate may be short for the first GOP.
  if (c.kind != 2) {
    EXPECT_FALSE(sink.has_message("underflow")) << sink.all();
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetTest, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
