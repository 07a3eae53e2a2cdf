// Every target, PAL and NTSC, converted by kavrol-cli from an AVI with the
// picture size, rate and sound its discs want; the program stream is then
// taken apart byte by byte and handed to FFmpeg and the authoring tools.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

struct Case {
  const char* name;
  const char* target;
  bool pal;
  int width, height;
  const char* rate;  // frame rate as FFmpeg takes it
  double fps;
  int sample_rate;
  int sector_size;
  int mux_rate;  // 0: computed from the streams
  bool mpeg2;
  bool dvd;
  const char* disc_tool;  // vcdimager type, "dvd", or nullptr
};

constexpr double kNtsc = 30000.0 / 1001.0;

const Case kCases[] = {
    {"mpeg1_pal", "mpeg1", true, 352, 288, "25", 25.0, 48000, 2048, 0, false, false, nullptr},
    {"mpeg1_ntsc", "mpeg1", false, 352, 240, "30000/1001", kNtsc, 48000, 2048, 0, false, false, nullptr},
    {"vcd_pal", "vcd", true, 352, 288, "25", 25.0, 44100, 2324, 3528, false, false, "vcd2"},
    {"vcd_ntsc", "vcd", false, 352, 240, "30000/1001", kNtsc, 44100, 2324, 3528, false, false, "vcd2"},
    {"mpeg2_pal", "mpeg2", true, 720, 576, "25", 25.0, 48000, 2048, 0, true, false, nullptr},
    {"mpeg2_ntsc", "mpeg2", false, 720, 480, "30000/1001", kNtsc, 48000, 2048, 0, true, false, nullptr},
    {"svcd_pal", "svcd", true, 480, 576, "25", 25.0, 44100, 2324, 6972, true, false, "svcd"},
    {"svcd_ntsc", "svcd", false, 480, 480, "30000/1001", kNtsc, 44100, 2324, 6972, true, false, "svcd"},
    {"dvd_pal", "dvd", true, 720, 576, "25", 25.0, 48000, 2048, 25200, true, true, "dvd"},
    {"dvd_ntsc", "dvd", false, 720, 480, "30000/1001", kNtsc, 48000, 2048, 25200, true, true, "dvd"},
};

std::string run(const std::string& cmd, int* status) {
  std::string out;
  *status = -1;
  if (std::FILE* pipe = popen((cmd + " 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  return out;
}

bool tool_available(const std::string& tool) {
  return std::system(("command -v " + tool + " > /dev/null 2>&1").c_str()) == 0;
}

// Lines where a tool warns or complains.
std::string complaints(const std::string& output) {
  std::istringstream in(output);
  std::string line, bad;
  while (std::getline(in, line))
    if (line.find("WARN") != std::string::npos || line.find("ERR") != std::string::npos ||
        line.find("rror") != std::string::npos)
      bad += line + "\n";
  return bad;
}

std::string probe(const std::string& file, const std::string& entries) {
  int status = 0;
  std::string out = run("ffprobe -v error " + entries + " -of csv=p=0 '" + file + "'", &status);
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

// What the pack layer of a program stream shows.
struct PackLayer {
  std::string fault;
  int sectors = 0;
  std::set<int> mux_rates;
  std::vector<std::int64_t> scr;  // 90 kHz base of every pack
  std::set<int> stream_ids;
};

// Disc targets end on a whole sector carrying the end code; the others put
// the bare 4-byte end code after the last sector.
PackLayer read_packs(std::vector<std::uint8_t> b, int sector, bool mpeg2, bool disc) {
  PackLayer p;
  if (!disc) {
    const std::uint8_t end_code[4] = {0, 0, 1, 0xB9};
    if (b.size() < 4 || !std::equal(end_code, end_code + 4, b.end() - 4)) {
      p.fault = "no end code after the last sector";
      return p;
    }
    b.resize(b.size() - 4);
  }
  if (b.empty() || b.size() % static_cast<std::size_t>(sector) != 0) {
    p.fault = "size " + std::to_string(b.size()) + " is not whole sectors";
    return p;
  }
  for (std::size_t at = 0; at < b.size(); at += static_cast<std::size_t>(sector)) {
    const std::uint8_t* s = b.data() + at;
    ++p.sectors;
    if (s[0] != 0 || s[1] != 0 || s[2] != 1 || s[3] != 0xBA) {
      p.fault = "sector " + std::to_string(p.sectors - 1) + " does not begin with a pack header";
      return p;
    }
    std::size_t pos;
    if (mpeg2) {
      const std::int64_t scr = (static_cast<std::int64_t>((s[4] >> 3) & 7) << 30) |
                               (static_cast<std::int64_t>(s[4] & 3) << 28) | (s[5] << 20) |
                               ((s[6] >> 3) << 15) | ((s[6] & 3) << 13) | (s[7] << 5) | (s[8] >> 3);
      p.scr.push_back(scr);
      p.mux_rates.insert((s[10] << 14) | (s[11] << 6) | (s[12] >> 2));
      pos = 14 + (s[13] & 7);
    } else {
      const std::int64_t scr = (static_cast<std::int64_t>((s[4] >> 1) & 7) << 30) |
                               (((s[5] << 7) | (s[6] >> 1)) << 15) | ((s[7] << 7) | (s[8] >> 1));
      p.scr.push_back(scr);
      p.mux_rates.insert(((s[9] & 0x7F) << 15) | (s[10] << 7) | (s[11] >> 1));
      pos = 12;
    }
    // Packets (and the system header) fill the rest of the sector exactly;
    // an end code may close the last one.
    while (pos + 4 <= static_cast<std::size_t>(sector)) {
      if (s[pos] != 0 || s[pos + 1] != 0 || s[pos + 2] != 1) {
        p.fault = "sector " + std::to_string(p.sectors - 1) + " has no packet at byte " + std::to_string(pos);
        return p;
      }
      const int id = s[pos + 3];
      if (id == 0xB9) break;
      if (pos + 6 > static_cast<std::size_t>(sector)) {
        p.fault = "packet header cut at the end of sector " + std::to_string(p.sectors - 1);
        return p;
      }
      p.stream_ids.insert(id);
      pos += 6 + static_cast<std::size_t>((s[pos + 4] << 8) | s[pos + 5]);
    }
    if (pos > static_cast<std::size_t>(sector)) {
      p.fault = "a packet runs past the end of sector " + std::to_string(p.sectors - 1);
      return p;
    }
  }
  return p;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CliConversion : public ::testing::TestWithParam<Case> {};

TEST_P(CliConversion, GivesAProgramStreamThatPlaysAndAuthors) {
  const Case& c = GetParam();
  kavrol_test::TempDir dir;
  const std::string source = dir.file("clip.avi");
  int status = 0;
  const std::string made = run(
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + std::to_string(c.width) + "x" +
          std::to_string(c.height) + ":rate=" + c.rate + ":duration=2 -f lavfi -i sine=frequency=440:sample_rate=" +
          std::to_string(c.sample_rate) + ":duration=2 -c:v mpeg4 -vtag XVID -q:v 4 -c:a pcm_s16le -ac 2 '" +
          source + "'",
      &status);
  ASSERT_EQ(status, 0) << made;
  const std::string source_frames =
      probe(source, "-select_streams v:0 -count_packets -show_entries stream=nb_read_packets");

  // Temporary files go to the working folder: run there, so that any left
  // behind are seen.
  const std::string cli = std::string(KAVROL_BIN_DIR) + "/kavrol-cli";
  const std::string out = run("cd '" + dir.path().string() + "' && '" + cli + "' convert --target " + c.target +
                                  (c.pal ? "" : " --ntsc") + " clip.avi -o out.mpg",
                              &status);
  ASSERT_EQ(status, 0) << out;
  const std::string output = dir.file("out.mpg");

  // FFmpeg reads it to the end without a complaint.
  const std::string decoded = run("ffmpeg -nostdin -v error -xerror -i '" + output + "' -f null -", &status);
  EXPECT_EQ(status, 0) << decoded;
  EXPECT_EQ(decoded, "");

  // Every source frame once; sound as long as the pictures, to one audio
  // frame; both start together, to one picture.
  const int frames = std::atoi(
      probe(output, "-select_streams v:0 -count_frames -show_entries stream=nb_read_frames").c_str());
  EXPECT_EQ(std::to_string(frames), source_frames);
  const int audio_frames = std::atoi(
      probe(output, "-select_streams a:0 -count_frames -show_entries stream=nb_read_frames").c_str());
  // NTSC DVD sound is AC-3, frames of 1536 samples.
  const bool ac3 = c.dvd && !c.pal;
  const double audio_frame = (ac3 ? 1536.0 : 1152.0) / c.sample_rate;
  const double video_seconds = frames / c.fps;
  EXPECT_LE(std::fabs(audio_frames * audio_frame - video_seconds), audio_frame + 1e-6)
      << audio_frames << " audio frames against " << frames << " pictures";
  EXPECT_EQ(probe(output, "-select_streams a:0 -show_entries stream=sample_rate"), std::to_string(c.sample_rate));
  const double video_start = std::atof(probe(output, "-select_streams v:0 -show_entries stream=start_time").c_str());
  const double audio_start = std::atof(probe(output, "-select_streams a:0 -show_entries stream=start_time").c_str());
  EXPECT_LE(std::fabs(video_start - audio_start), 1.0 / c.fps) << video_start << " " << audio_start;

  // The pack layer: whole sectors, each a pack; the target's mux rate and
  // stream ids; VideoCD's 75 sectors to the second of SCR.
  std::ifstream in(output, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const PackLayer p = read_packs(bytes, c.sector_size, c.mpeg2, c.disc_tool != nullptr);
  ASSERT_EQ(p.fault, "");
  ASSERT_EQ(p.mux_rates.size(), 1u);
  if (c.mux_rate > 0) {
    EXPECT_EQ(*p.mux_rates.begin(), c.mux_rate);
  }
  std::set<int> ids{0xBB, 0xE0, ac3 ? 0xBD : 0xC0};
  if (c.dvd) ids.insert(0xBF);
  for (int id : p.stream_ids) EXPECT_TRUE(id == 0xBE || ids.count(id)) << "stream id " << std::hex << id;
  for (int id : ids) EXPECT_TRUE(p.stream_ids.count(id)) << "no stream id " << std::hex << id;
  if (std::string(c.target) == "vcd") {
    for (std::size_t k = 1; k < p.scr.size(); ++k)
      ASSERT_EQ(p.scr[k] - p.scr[0], static_cast<std::int64_t>(k) * 1200) << "pack " << k;
  }

  // Only the source and the program stream are left.
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"clip.avi", "out.mpg"}));

  // The disc's authoring tool takes it as it is.
  if (c.disc_tool == nullptr) return;
  const bool dvd = std::string(c.disc_tool) == "dvd";
  const char* tool = dvd ? "dvdauthor" : "vcdimager";
  if (!tool_available(tool)) GTEST_SKIP() << tool << " is not installed";
  kavrol_test::TempDir disc;
  const std::string cd = "cd '" + disc.path().string() + "' && ";
  const std::string authored =
      dvd ? run(cd + "VIDEO_FORMAT=" + (c.pal ? "PAL" : "NTSC") + " dvdauthor -o dvd -t '" + output + "'", &status)
          : run(cd + "vcdimager -t " + c.disc_tool + " -c disc.cue -b disc.bin '" + output + "'", &status);
  EXPECT_EQ(status, 0) << authored;
  EXPECT_EQ(complaints(authored), "") << authored;
  if (!dvd) {
    EXPECT_NE(authored.find("finished ok"), std::string::npos) << authored;
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, CliConversion, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
