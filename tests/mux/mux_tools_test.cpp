// The disc authoring tools accept the VideoCD, SuperVCD and DVD streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <sstream>

#include "mpeg/stages.h"
#include "mux/mux_test_support.h"
#include "support/temp_dir.h"

namespace {

using corvexa::mpeg::EncoderContext;
using mux_test::Fixtures;

struct ToolCase {
  const char* name;
  int kind;
  bool pal;
  std::string Fixtures::*video;
  std::string Fixtures::*audio;
};

const ToolCase kCases[] = {
    {"VideoCdPal", 1, true, &Fixtures::m1v_pal, &Fixtures::mp2_44k},
    {"VideoCdNtsc", 1, false, &Fixtures::m1v_ntsc, &Fixtures::mp2_44k},
    {"SuperVcdPal", 3, true, &Fixtures::svcd_pal, &Fixtures::mp2_44k},
    {"SuperVcdNtsc", 3, false, &Fixtures::svcd_ntsc, &Fixtures::mp2_44k},
    {"DvdPal", 4, true, &Fixtures::dvd_pal, &Fixtures::mp2_48k},
    {"DvdNtsc", 4, false, &Fixtures::dvd_ntsc, &Fixtures::mp2_48k},
};

// Lines of a tool's output that complain.
std::string complaints(const std::string& output) {
  std::istringstream in(output);
  std::string line, bad;
  while (std::getline(in, line)) {
    if (line.find("WARN") != std::string::npos || line.find("ERR") != std::string::npos ||
        line.find("rror") != std::string::npos)
      bad += line + "\n";
  }
  return bad;
}

int count_gops(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  int gops = 0;
  std::uint32_t window = 0xFFFFFFFF;
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    window = (window << 8) | static_cast<std::uint32_t>(c);
    if (window == 0x000001B8) ++gops;
  }
  std::fclose(f);
  return gops;
}

// Cases show by name in test listings.
void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

class ToolTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolTest, AuthoringToolAcceptsTheStream) {
  const ToolCase& c = GetParam();
  const bool dvd = c.kind == 4;
  const char* tool = dvd ? "dvdauthor" : "vcdimager";
  if (!mux_test::tool_available(tool)) GTEST_SKIP() << tool << " is not installed";
  const Fixtures& f = Fixtures::get();
  if (!f.ok) GTEST_SKIP() << "ffmpeg could not make the fixtures";
  kavrol_test::TempDir dir;
  EncoderContext ctx;
  mux_test::RecordingSink sink;
  mux_test::fill_target(ctx.work, c.kind, c.pal);
  ctx.status = &sink;
  ctx.video_file = f.*c.video;
  ctx.audio_file = f.*c.audio;
  ctx.output_name = dir.file("out.mpg");
  ASSERT_TRUE(corvexa::mpeg::run_multiplexer(ctx)) << sink.all();

  int status = -1;
  std::string cd = "cd '" + dir.path().string() + "' && ";
  if (dvd) {
    std::string out = mux_test::run_output(cd + "dvdauthor -o dvd -t out.mpg", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(complaints(out), "");
    // One VOBU per group of pictures: a navigation pack leads every GOP.
    std::string expected = "VOBU " + std::to_string(count_gops(f.*c.video)) + " at";
    EXPECT_NE(out.find(expected), std::string::npos) << out;
  } else {
    std::string type = c.kind == 1 ? "vcd2" : "svcd";
    std::string out = mux_test::run_output(
        cd + "vcdimager -t " + type + " -c disc.cue -b disc.bin out.mpg", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(complaints(out), "");
    EXPECT_NE(out.find("finished ok"), std::string::npos) << out;
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
