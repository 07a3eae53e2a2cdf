// Helpers of the multiplexer tests: target settings, elementary stream
// fixtures made with the ffmpeg tool, a program stream parser and the outside
// tools that judge the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"

namespace mux_test {

// The working settings of target preset `kind` (0 MPEG-1 .. 4 DVD), PAL or NTSC.
void fill_target(corvexa::mpeg::WorkingSettings& work, int kind, bool pal);

// Collects everything the stage reports.
class RecordingSink : public corvexa::mpeg::StatusSink {
 public:
  void Progress(const char* text, int percent) override;
  void Message(const char* text) override;
  bool has_message(const std::string& part) const;
  std::string all() const;
  std::vector<std::string> messages;
  std::vector<std::pair<std::string, int>> progress;
};

// Runs a shell command; its exit status (-1 when it could not run).
int run(const std::string& command);
// Runs a command and returns what it printed on stdout and stderr.
std::string run_output(const std::string& command, int* status = nullptr);
bool tool_available(const std::string& name);

// Elementary stream fixtures, made once per process in a shared folder.
struct Fixtures {
  static const Fixtures& get();
  std::string dir;
  std::string m1v_pal, m1v_ntsc;          // 352x288@25 / 352x240@29.97, 2 s
  std::string svcd_pal, svcd_ntsc;        // 480x576@25 / 480x480@29.97 MPEG-2
  std::string dvd_pal, dvd_ntsc;          // 720x576@25 / 720x480@29.97 MPEG-2
  std::string svcd_own_blocks;            // I pictures carry scan-offset blocks already
  std::string iframes;                    // 64x64@25 MPEG-2, I pictures only, 8 s
  std::string mp2_44k, mp2_48k, ac3_48k;  // 2 s of sound
  bool ok = false;
};

struct Packet {
  std::uint8_t id = 0;
  std::int64_t offset = 0;   // of the start code
  std::size_t total = 0;     // whole packet with header
  bool has_pts = false, has_dts = false;
  double pts = 0, dts = 0;   // seconds
  std::int64_t payload_offset = 0;
  std::size_t payload_size = 0;
};

struct Pack {
  std::int64_t offset = 0;
  std::size_t size = 0;       // bytes up to the next pack or end code
  bool mpeg2 = false;
  double scr = 0;             // seconds
  std::uint64_t scr_27mhz = 0;
  std::uint32_t mux_rate = 0;
  bool system_header = false;
  std::vector<Packet> packets;
};

struct ProgramStream {
  std::vector<std::uint8_t> bytes;
  std::vector<Pack> packs;
  bool end_code = false;
  std::string error;          // empty when the whole file parsed
  // The video elementary stream and, per byte, its file offset.
  std::vector<std::uint8_t> video;
  std::vector<std::int64_t> video_offsets;
};

ProgramStream parse_program_stream(const std::string& path);

// ffprobe: number of decoded video frames, first presentation time of the
// first stream of a kind (seconds) and the duration of its decoded frames.
struct ProbeResult {
  int video_frames = 0;
  double video_start = -1, audio_start = -1;
  double video_end = -1, audio_end = -1;  // end of the last frame
  bool ok = false;
  std::string errors;
};
ProbeResult probe(const std::string& path);
// Decodes everything; the errors ffmpeg printed (empty = clean).
std::string decode_errors(const std::string& path);

}  // namespace mux_test
