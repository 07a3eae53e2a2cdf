// Scan offsets, split files, range limits, rate notes and failures of the
// multiplexer stage.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>

#include "mpeg/mux/multiplexer.h"
#include "mpeg/mux/scan_offsets.h"
#include "mpeg/stages.h"
#include "mux/mux_test_support.h"
#include "support/temp_dir.h"

namespace {

using corvexa::mpeg::EncoderContext;
using mux_test::Fixtures;

std::set<std::string> files_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Offsets in `es` of every start code with the given code byte.
std::vector<std::size_t> start_codes(const std::vector<std::uint8_t>& es, std::uint8_t code) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i + 3 < es.size(); ++i)
    if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1 && es[i + 3] == code) at.push_back(i);
  return at;
}

class MuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Fixtures::get().ok) GTEST_SKIP() << "ffmpeg could not make the fixtures";
    ctx.status = &sink;
  }
  void setup(int kind, bool pal, const std::string& video, const std::string& audio) {
    mux_test::fill_target(ctx.work, kind, pal);
    ctx.video_file = video;
    ctx.audio_file = audio;
    ctx.output_name = dir.file("out.mpg");
  }
  bool mux() { return corvexa::mpeg::run_multiplexer(ctx); }

  EncoderContext ctx;
  mux_test::RecordingSink sink;
  kavrol_test::TempDir dir;
};

TEST(SectorAddress, IsMinutesSecondsAndSectorsInBcd) {
  struct Case {
    std::uint32_t sector;
    std::uint8_t bytes[3];
  } cases[] = {{0, {0x00, 0x80, 0x80}},   {74, {0x00, 0x80, 0xF4}}, {75, {0x00, 0x81, 0x80}},
               {4575, {0x01, 0x81, 0x80}}, {4499, {0x00, 0xD9, 0xF4}}, {45000, {0x10, 0x80, 0x80}}};
  for (const auto& c : cases) {
    std::uint8_t out[3];
    corvexa::mpeg::mux::sector_address(c.sector, out);
    EXPECT_EQ(out[0], c.bytes[0]) << c.sector;
    EXPECT_EQ(out[1], c.bytes[1]) << c.sector;
    EXPECT_EQ(out[2], c.bytes[2]) << c.sector;
  }
}

TEST(JumpDistance, CoversAboutSevenSeconds) {
  corvexa::mpeg::mux::VideoInfo info;
  info.frame_rate_code = 3;
  info.pictures = 120;
  info.gops = 10;
  EXPECT_EQ(corvexa::mpeg::mux::jump_distance(info), 15);  // ceil(175 / 12)
  info.frame_rate_code = 4;
  info.pulldown = 1;
  info.pictures = 150;
  EXPECT_EQ(corvexa::mpeg::mux::jump_distance(info), 12);  // ceil(168 / 15)
}

TEST(SplitFileName, NumbersBeforeTheExtensionOrReusesAZeroPair) {
  using corvexa::mpeg::mux::split_file_name;
  EXPECT_EQ(split_file_name("/a.b/movie.mpg", 0), "/a.b/movie00.mpg");
  EXPECT_EQ(split_file_name("/a.b/movie.mpg", 12), "/a.b/movie12.mpg");
  EXPECT_EQ(split_file_name("/x00/part00.mpg", 3), "/x00/part03.mpg");
  EXPECT_EQ(split_file_name("/a.b/movie", 1), "/a.b/movie01");
}

TEST_F(MuxTest, SuperVcdScanOffsetsPointAtTheIPictureSectors) {
  setup(3, true, Fixtures::get().iframes, Fixtures::get().mp2_44k);
  ASSERT_TRUE(mux()) << sink.all();
  mux_test::ProgramStream ps = mux_test::parse_program_stream(ctx.output_name);
  ASSERT_EQ(ps.error, "");
  // Every I picture's unit begins with its sequence header.
  std::vector<std::size_t> headers = start_codes(ps.video, 0xB3);
  std::vector<std::uint32_t> sectors;
  for (std::size_t at : headers) sectors.push_back(static_cast<std::uint32_t>(ps.video_offsets[at] / 2324));
  const int n = static_cast<int>(sectors.size());
  ASSERT_EQ(n, 200);
  const int g = 175;  // seven seconds of one-picture groups
  std::vector<std::size_t> blocks;
  for (std::size_t at : start_codes(ps.video, 0xB2))
    if (ps.video[at + 4] == 0x10 && ps.video[at + 5] == 0x0E) blocks.push_back(at);
  ASSERT_EQ(static_cast<int>(blocks.size()), n);
  auto expect_address = [&](std::size_t at, int slot, int index, int k) {
    std::uint8_t want[3] = {0xFF, 0xFF, 0xFF};
    if (index >= 0) corvexa::mpeg::mux::sector_address(sectors[static_cast<std::size_t>(index)], want);
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(ps.video[at + 6 + static_cast<std::size_t>(3 * slot + i)], want[i])
          << "I picture " << k << " address " << slot;
  };
  for (int k = 0; k < n; ++k) {
    std::size_t at = blocks[static_cast<std::size_t>(k)];
    ASSERT_GT(at, headers[static_cast<std::size_t>(k)]);
    expect_address(at, 0, k == 0 ? -1 : k - 1, k);
    expect_address(at, 1, k == n - 1 ? -1 : k + 1, k);
    expect_address(at, 2, k >= g ? k - g : 0, k);
    expect_address(at, 3, k < n - g - 1 ? k + g : n - 1, k);
  }
  EXPECT_TRUE(sink.has_message("  Calculating 200 SVCD user data scan offsets for file"));
  // Each I picture gained its 18-byte block.
  EXPECT_EQ(ps.video.size(), std::filesystem::file_size(Fixtures::get().iframes) + 18u * 200);
  EXPECT_EQ(files_in(dir.path()), std::set<std::string>{"out.mpg"});
}

TEST_F(MuxTest, EncoderWrittenScanBlocksAreFilledWithoutNewOnes) {
  setup(3, true, Fixtures::get().svcd_own_blocks, Fixtures::get().mp2_44k);
  ASSERT_TRUE(mux()) << sink.all();
  mux_test::ProgramStream ps = mux_test::parse_program_stream(ctx.output_name);
  ASSERT_EQ(ps.error, "");
  // This encoder gives every picture a block; those of I pictures get filled.
  std::vector<std::size_t> pictures = start_codes(ps.video, 0x00);
  std::vector<std::size_t> blocks, others;
  for (std::size_t at : start_codes(ps.video, 0xB2)) {
    if (ps.video[at + 4] != 0x10 || ps.video[at + 5] != 0x0E) continue;
    std::size_t pic = *(std::upper_bound(pictures.begin(), pictures.end(), at) - 1);
    ((ps.video[pic + 5] >> 3 & 7) == 1 ? blocks : others).push_back(at);
  }
  ASSERT_EQ(blocks.size(), start_codes(ps.video, 0xB3).size());
  ASSERT_FALSE(others.empty());
  std::vector<std::uint8_t> original;
  {
    std::FILE* f = std::fopen(Fixtures::get().svcd_own_blocks.c_str(), "rb");
    int c;
    while ((c = std::fgetc(f)) != EOF) original.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
  }
  for (std::size_t at : others)
    EXPECT_TRUE(std::equal(ps.video.begin() + static_cast<std::ptrdiff_t>(at),
                           ps.video.begin() + static_cast<std::ptrdiff_t>(at + 18),
                           original.begin() + static_cast<std::ptrdiff_t>(at)));
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    const std::uint8_t* next = &ps.video[blocks[k] + 9];
    if (k + 1 == blocks.size()) {
      EXPECT_TRUE(next[0] == 0xFF && next[1] == 0xFF && next[2] == 0xFF);
    } else {
      // A later sector than the first one: not the placeholder.
      EXPECT_FALSE(next[0] == 0x00 && next[1] == 0x80 && next[2] == 0x80) << k;
      EXPECT_TRUE((next[1] & 0x80) && (next[2] & 0x80)) << k;
    }
  }
  EXPECT_EQ(ps.video.size(), std::filesystem::file_size(Fixtures::get().svcd_own_blocks));
}

const std::uint8_t kSequenceEnd[4] = {0x00, 0x00, 0x01, 0xB7};

TEST_F(MuxTest, SplitFilesEachStartWithSystemHeaderAndIPicture) {
  setup(2, true, Fixtures::get().dvd_pal, Fixtures::get().mp2_48k);
  ctx.work.split_size_mb = 1;
  ctx.work.mux_rate = 20000;  // 1000000 bytes/s: a new file after about 48 KB
  ASSERT_TRUE(mux()) << sink.all();
  std::set<std::string> names = files_in(dir.path());
  ASSERT_GE(names.size(), 2u);
  std::size_t pictures = 0;
  int index = 0;
  for (const auto& name : names) {
    char want[32];
    std::snprintf(want, sizeof want, "out%02d.mpg", index++);
    ASSERT_EQ(name, want);
    mux_test::ProgramStream ps = mux_test::parse_program_stream(dir.file(name));
    ASSERT_EQ(ps.error, "") << name;
    ASSERT_FALSE(ps.packs.empty());
    EXPECT_TRUE(ps.packs[0].system_header) << name;
    EXPECT_TRUE(ps.end_code) << name;
    ASSERT_GE(ps.video.size(), 4u);
    EXPECT_EQ(ps.video[3], 0xB3) << name;
    std::vector<std::size_t> pics = start_codes(ps.video, 0x00);
    ASSERT_FALSE(pics.empty());
    EXPECT_EQ((ps.video[pics[0] + 5] >> 3) & 7, 1) << name << " starts with another picture type";
    pictures += pics.size();
    EXPECT_EQ(mux_test::decode_errors(dir.file(name)), "") << name;
    // Each file before the last closes its video with a sequence end code.
    ASSERT_GE(ps.video.size(), 8u);
    if (static_cast<std::size_t>(index) < names.size()) {
      EXPECT_TRUE(std::equal(ps.video.end() - 4, ps.video.end(), std::begin(kSequenceEnd))) << name;
    }
    // Later files flag the open group they start with as broken.
    std::vector<std::size_t> gops = start_codes(ps.video, 0xB8);
    ASSERT_FALSE(gops.empty());
    std::uint8_t flags = ps.video[gops[0] + 7];
    bool closed = flags & 0x40, broken = flags & 0x20;
    EXPECT_EQ(broken, index > 1 && !closed) << name;
  }
  EXPECT_EQ(pictures, 50u);
}

TEST_F(MuxTest, IPicturesWithoutSequenceHeaderGetTheFirstOne) {
  std::vector<std::uint8_t> in;
  {
    std::FILE* f = std::fopen(Fixtures::get().svcd_pal.c_str(), "rb");
    int c;
    while ((c = std::fgetc(f)) != EOF) in.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
  }
  // Keep the first sequence header only: cut the others up to their GOP header.
  std::vector<std::uint8_t> stripped;
  std::vector<std::size_t> headers = start_codes(in, 0xB3), gops = start_codes(in, 0xB8);
  std::size_t from = 0;
  for (std::size_t k = 1; k < headers.size(); ++k) {
    std::size_t to = *std::upper_bound(gops.begin(), gops.end(), headers[k]);
    stripped.insert(stripped.end(), in.begin() + static_cast<std::ptrdiff_t>(from),
                    in.begin() + static_cast<std::ptrdiff_t>(headers[k]));
    from = to;
  }
  stripped.insert(stripped.end(), in.begin() + static_cast<std::ptrdiff_t>(from), in.end());
  ASSERT_EQ(start_codes(stripped, 0xB3).size(), 1u);
  std::string path = dir.file("one_header.m2v");
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(stripped.data(), 1, stripped.size(), f);
    std::fclose(f);
  }
  setup(3, true, path, Fixtures::get().mp2_44k);
  ctx.output_name = dir.file("out.mpg");
  ASSERT_TRUE(mux()) << sink.all();
  mux_test::ProgramStream ps = mux_test::parse_program_stream(ctx.output_name);
  ASSERT_EQ(ps.error, "");
  std::vector<std::size_t> seq = start_codes(ps.video, 0xB3);
  EXPECT_EQ(seq.size(), headers.size());
  for (std::size_t at : seq)
    EXPECT_TRUE(std::equal(ps.video.begin() + static_cast<std::ptrdiff_t>(at),
                           ps.video.begin() + static_cast<std::ptrdiff_t>(at + 12), in.begin()));
  EXPECT_EQ(mux_test::probe(ctx.output_name).video_frames, 50);
}

TEST_F(MuxTest, MuxRateBelowTheDataRateStillMultiplexesWithANote) {
  setup(0, true, Fixtures::get().m1v_pal, Fixtures::get().mp2_44k);
  ctx.work.mux_rate = 1500;  // 75000 bytes/s for about 172000 of data
  ASSERT_TRUE(mux()) << sink.all();
  ASSERT_FALSE(sink.messages.empty());
  std::size_t note = 0, summary = 0;
  for (std::size_t i = 0; i < sink.messages.size(); ++i) {
    if (sink.messages[i].find("NOTE: Mux rate may be too low") != std::string::npos) note = i + 1;
    if (sink.messages[i].find("video underflows (SCR >= PTS or DTS)") != std::string::npos) summary = i + 1;
  }
  EXPECT_GT(note, 0u);
  EXPECT_GT(summary, note);
  EXPECT_TRUE(sink.has_message("Try increasing the mux rate."));
  EXPECT_EQ(mux_test::parse_program_stream(ctx.output_name).packs[0].mux_rate, 1500u);
}

TEST_F(MuxTest, Ac3AudioTravelsInPrivateStreamOne) {
  setup(4, true, Fixtures::get().dvd_pal, Fixtures::get().ac3_48k);
  ASSERT_TRUE(mux()) << sink.all();
  EXPECT_EQ(mux_test::decode_errors(ctx.output_name), "");
  mux_test::ProgramStream ps = mux_test::parse_program_stream(ctx.output_name);
  ASSERT_EQ(ps.error, "");
  bool seen = false;
  for (const auto& pk : ps.packs)
    for (const auto& p : pk.packets)
      if (p.id == 0xBD) {
        seen = true;
        ASSERT_EQ(ps.bytes[static_cast<std::size_t>(p.payload_offset)], 0x80);
        std::size_t first = (ps.bytes[p.payload_offset + 2] << 8) | ps.bytes[p.payload_offset + 3];
        if (first) {
          std::size_t at = static_cast<std::size_t>(p.payload_offset) + 3 + first;
          ASSERT_EQ(ps.bytes[at], 0x0B);
          ASSERT_EQ(ps.bytes[at + 1], 0x77);
        }
      }
  EXPECT_TRUE(seen);
  std::string streams = mux_test::run_output("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" +
                                             ctx.output_name + "'");
  EXPECT_NE(streams.find("ac3"), std::string::npos) << streams;
}

TEST_F(MuxTest, StartAndStopTimesLimitTheRange) {
  setup(0, true, Fixtures::get().m1v_pal, Fixtures::get().mp2_44k);
  ctx.work.mux_start_s = 1;
  ASSERT_TRUE(mux()) << sink.all();
  mux_test::ProbeResult p = mux_test::probe(ctx.output_name);
  EXPECT_EQ(p.video_frames, 20);  // from the I picture at 1.2 s
  ctx.work.mux_start_s = 3;
  sink.messages.clear();
  EXPECT_FALSE(mux());
  EXPECT_TRUE(sink.has_message("Mux start time is greater than the total time 2 seconds."));
  ctx.work.mux_start_s = 0;
  ctx.work.mux_stop_s = 1;
  ASSERT_TRUE(mux()) << sink.all();
  p = mux_test::probe(ctx.output_name);
  // Up to the I picture at 1.2 s (decode order); the two B pictures shown just
  // before it follow it in the stream and go with it.
  EXPECT_EQ(p.video_frames, 28);
  EXPECT_NEAR(p.audio_end, p.video_start + 28 / 25.0, 1152.0 / 44100);
}

struct FailureCase {
  const char* name;
  int what;  // 0 missing video, 1 not MPEG video, 2 not MPEG audio, 3 stop while packing,
             // 4 no video buffer
  const char* message;
};

class MuxFailureTest : public MuxTest, public ::testing::WithParamInterface<FailureCase> {};

// Raises the stop flag halfway through the packs.
class StoppingSink : public mux_test::RecordingSink {
 public:
  explicit StoppingSink(EncoderContext& ctx) : ctx_(ctx) {}
  void Progress(const char* text, int percent) override {
    RecordingSink::Progress(text, percent);
    if (std::string(text).rfind("Multiplexing:", 0) == 0 && percent >= 50) ctx_.stop_requested = true;
  }

 private:
  EncoderContext& ctx_;
};

TEST_P(MuxFailureTest, FailsCleanly) {
  const FailureCase& c = GetParam();
  std::string junk = dir.file("junk.bin");
  {
    std::FILE* f = std::fopen(junk.c_str(), "wb");
    for (int i = 0; i < 5000; ++i) std::fputc(i * 7, f);
    std::fclose(f);
  }
  setup(3, true, Fixtures::get().svcd_pal, Fixtures::get().mp2_44k);
  StoppingSink stopper(ctx);
  if (c.what == 0) ctx.video_file = dir.file("missing.m2v");
  if (c.what == 1) ctx.video_file = junk;
  if (c.what == 2) ctx.audio_file = junk;
  if (c.what == 3) ctx.status = &stopper;
  if (c.what == 4) ctx.work.video_buffer_kb = 0;
  EXPECT_FALSE(mux());
  const auto& messages = c.what == 3 ? stopper : sink;
  if (c.message) {
    EXPECT_TRUE(messages.has_message(c.message)) << messages.all();
  }
  if (c.what == 3) {
    // Stopped inside the pack loop: the part written goes with the rest.
    ASSERT_FALSE(stopper.progress.empty());
    EXPECT_LT(stopper.progress.back().second, 100);
  }
  std::set<std::string> left = files_in(dir.path());
  left.erase("junk.bin");
  EXPECT_TRUE(left.empty()) << *left.begin();
}

const FailureCase kFailures[] = {
    {"MissingVideo", 0, "was not found."},
    {"NotMpegVideo", 1, "is not a 11172-2 or 13818-2 Video stream."},
    {"NotMpegAudio", 2, "is not an AC3 or MPEG Audio stream."},
    {"StopWhilePacking", 3, nullptr},
    {"NoVideoBuffer", 4, "Invalid decoder buffer size for multiplexing."},
};

INSTANTIATE_TEST_SUITE_P(Failures, MuxFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Settings that no preset uses still give whole sectors FFmpeg plays.
struct VariantCase {
  const char* name;
  int kind;
  void (*change)(corvexa::mpeg::WorkingSettings&);
  bool second_audio;
};

const VariantCase kVariants[] = {
    {"SystemHeaderEveryPack", 0, [](auto& w) { w.system_header_every_pack = 1; }, false},
    {"TwoPacketsPerPack", 2, [](auto& w) { w.packets_per_pack = 2; }, false},
    {"VideoCdZeroFilledAudioSectors", 1, [](auto& w) { w.audio_sector_zero_fill = 1; }, false},
    {"NoEndCode", 3, [](auto& w) { w.write_end_code = 0; }, false},
    {"StampsOnIAndPOnly", 2, [](auto& w) { w.timestamp_policy = 1; }, false},
    {"ComputedDelays", 0, [](auto& w) { w.video_delay = w.audio1_delay = w.audio2_delay = 0; }, false},
    {"ConstantPackRate", 2, [](auto& w) { w.skip_idle_time = 0; }, false},
    {"SecondAudioStream", 2, [](auto&) {}, true},
    {"AudioBufferSmallerThanAPacket", 0, [](auto& w) { w.audio1_buffer_kb = 1; }, false},
};

class VariantTest : public MuxTest, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(VariantTest, StreamStaysWholeAndPlayable) {
  const VariantCase& c = GetParam();
  const Fixtures& f = Fixtures::get();
  bool vcd = c.kind == 1;
  setup(c.kind, true, vcd ? f.m1v_pal : f.svcd_pal, f.mp2_44k);
  c.change(ctx.work);
  if (c.second_audio) ctx.audio2_file = f.ac3_48k;
  ASSERT_TRUE(mux()) << sink.all();
  EXPECT_EQ(mux_test::decode_errors(ctx.output_name), "");
  mux_test::ProbeResult p = mux_test::probe(ctx.output_name);
  EXPECT_EQ(p.video_frames, 50);
  mux_test::ProgramStream ps = mux_test::parse_program_stream(ctx.output_name);
  ASSERT_EQ(ps.error, "");
  const std::size_t sector = static_cast<std::size_t>(ctx.work.sector_size);
  const bool end_sector = ctx.work.write_end_code && c.kind != 0 && c.kind != 2;
  EXPECT_EQ(ps.end_code, ctx.work.write_end_code != 0);
  std::set<int> ids;
  for (std::size_t i = 0; i < ps.packs.size(); ++i) {
    bool last = i + 1 == ps.packs.size();
    ASSERT_EQ(ps.packs[i].size + (last && end_sector ? 4 : 0), sector) << "pack " << i;
    if (ctx.work.system_header_every_pack) {
      ASSERT_TRUE(ps.packs[i].system_header) << "pack " << i;
    }
    for (const auto& pkt : ps.packs[i].packets) {
      ids.insert(pkt.id);
      if (ctx.work.timestamp_policy == 1 && pkt.id == 0xE0 && pkt.has_pts) {
        ASSERT_TRUE(pkt.has_dts) << "B picture stamped in pack " << i;
      }
    }
    if (ctx.work.audio_sector_zero_fill && !ps.packs[i].packets.empty() &&
        ps.packs[i].packets[0].id == 0xC0) {
      const std::uint8_t* end = &ps.bytes[static_cast<std::size_t>(ps.packs[i].offset) + sector - 20];
      ASSERT_TRUE(std::all_of(end, end + 20, [](std::uint8_t b) { return b == 0; })) << "pack " << i;
    }
  }
  if (c.second_audio) {
    EXPECT_TRUE(ids.count(0xBD));
    std::string streams = mux_test::run_output(
        "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + ctx.output_name + "'");
    EXPECT_NE(streams.find("ac3"), std::string::npos) << streams;
    EXPECT_NE(streams.find("mp2"), std::string::npos) << streams;
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, VariantTest, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

TEST_F(MuxTest, OneStreamAloneIsMultiplexed) {
  const Fixtures& f = Fixtures::get();
  setup(0, true, f.m1v_pal, "");
  ASSERT_TRUE(mux()) << sink.all();
  EXPECT_EQ(mux_test::probe(ctx.output_name).video_frames, 50);
  EXPECT_EQ(mux_test::decode_errors(ctx.output_name), "");

  setup(2, true, "", f.mp2_48k);
  ctx.work.mux_video = 0;
  ASSERT_TRUE(mux()) << sink.all();
  mux_test::ProbeResult p = mux_test::probe(ctx.output_name);
  EXPECT_EQ(p.video_frames, 0);
  EXPECT_NEAR(p.audio_end - p.audio_start, 84 * 1152 / 48000.0, 0.001);
  EXPECT_EQ(mux_test::decode_errors(ctx.output_name), "");
}

// A program file that cannot grow: the stage fails with the write message and
// leaves no units files. Runs in a child process with a file size limit.
TEST_F(MuxTest, WriteErrorFailsTheStage) {
  setup(0, true, Fixtures::get().m1v_pal, Fixtures::get().mp2_44k);
  std::string log = dir.file("log.txt");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = 64 * 1024;  // units files fit, the program file does not
    ::setrlimit(RLIMIT_FSIZE, &limit);
    bool ok = corvexa::mpeg::run_multiplexer(ctx);
    std::FILE* out = std::fopen(log.c_str(), "w");
    for (const auto& m : sink.messages) std::fprintf(out, "%s\n", m.c_str());
    std::fclose(out);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::string messages = mux_test::run_output("cat '" + log + "'");
  EXPECT_NE(messages.find("Unable to write to program file " + ctx.output_name + "."), std::string::npos)
      << messages;
  std::set<std::string> left = files_in(dir.path());
  EXPECT_EQ(left, (std::set<std::string>{"log.txt"}));  // no partial program file
}

}  // namespace

namespace {

// Damaged streams: cut short or with bytes overwritten. The stage may succeed
// or fail, but it reports, never crashes and leaves no temporary files.
TEST_F(MuxTest, DamagedStreamsAreHandled) {
  const Fixtures& f = Fixtures::get();
  struct Source {
    std::string path;
    int kind;
  } sources[] = {{f.m1v_pal, 1}, {f.svcd_pal, 3}};
  std::uint32_t seed = 12345;
  auto next = [&]() { return seed = seed * 1103515245u + 12345u; };
  int round = 0;
  for (const auto& src : sources) {
    std::vector<std::uint8_t> in;
    {
      std::FILE* fp = std::fopen(src.path.c_str(), "rb");
      int c;
      while ((c = std::fgetc(fp)) != EOF) in.push_back(static_cast<std::uint8_t>(c));
      std::fclose(fp);
    }
    for (int variant = 0; variant < 6; ++variant, ++round) {
      std::vector<std::uint8_t> bytes = in;
      if (variant < 2) {
        bytes.resize(variant == 0 ? 40 : bytes.size() / 3);  // cut short
      } else {
        // Overwrite bytes after the sequence header, start codes included.
        for (int k = 0; k < 200 * variant; ++k) {
          std::size_t at = 16 + next() % (bytes.size() - 16);
          bytes[at] = static_cast<std::uint8_t>(next() >> 24);
          if (k % 20 == 0 && at + 4 < bytes.size()) {
            bytes[at] = 0;
            bytes[at + 1] = 0;
            bytes[at + 2] = 1;
            bytes[at + 3] = static_cast<std::uint8_t>(next() >> 16);
          }
        }
      }
      std::string path = dir.file("damaged.mpv");
      std::FILE* fp = std::fopen(path.c_str(), "wb");
      std::fwrite(bytes.data(), 1, bytes.size(), fp);
      std::fclose(fp);
      setup(src.kind, true, path, f.mp2_44k);
      sink.messages.clear();
      bool ok = mux();
      if (!ok) {
        EXPECT_FALSE(sink.messages.empty()) << "round " << round;
      }
      std::set<std::string> left = files_in(dir.path());
      left.erase("damaged.mpv");
      left.erase("out.mpg");
      EXPECT_TRUE(left.empty()) << "round " << round;
    }
  }
}

}  // namespace
