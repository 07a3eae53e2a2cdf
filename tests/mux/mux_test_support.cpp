#include "mux/mux_test_support.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <vector>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_entry.h"

namespace mux_test {

using corvexa::mpeg::WorkingSettings;

void fill_target(WorkingSettings& w, int kind, bool pal) {
  corvexa::mpeg::EncoderContext scratch;
  corvexa::mpeg::EncoderSettings record{};
  corvexa::mpeg::apply_preset(scratch, record, kind, pal);
  corvexa::mpeg::load_settings(scratch, record);
  w = scratch.work;
}

void RecordingSink::Progress(const char* text, int percent) { progress.emplace_back(text, percent); }
void RecordingSink::Message(const char* text) { messages.emplace_back(text); }

bool RecordingSink::has_message(const std::string& part) const {
  for (const auto& m : messages)
    if (m.find(part) != std::string::npos) return true;
  return false;
}

std::string RecordingSink::all() const {
  std::string s;
  for (const auto& m : messages) s += m + "\n";
  return s;
}

int run(const std::string& command) {
  int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string run_output(const std::string& command, int* status) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) {
    if (status) *status = -1;
    return out;
  }
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int st = ::pclose(p);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

bool tool_available(const std::string& name) {
  return run("command -v " + name + " >/dev/null 2>&1") == 0;
}

namespace {

bool make(const std::string& args, const std::string& out) {
  return run("ffmpeg -nostdin -v error -y " + args + " '" + out + "'") == 0 &&
         std::filesystem::exists(out);
}

// The fixtures are made once per build tree: CTest runs every test in a
// process of its own. They are made in a scratch folder that is then renamed
// into place, so concurrent test processes never see half-made files.
std::string fixture_home() {
#ifdef KAVROL_BIN_DIR
  return std::string(KAVROL_BIN_DIR) + "/../mux-fixtures-v1";
#else
  return "/tmp/kavrol-mux-fixtures-v1";
#endif
}

struct FixtureHolder {
  Fixtures f;
  FixtureHolder() {
    const std::string home = fixture_home();
    if (std::filesystem::exists(home + "/complete")) {
      fill(home);
      f.ok = true;
      return;
    }
    std::string templ_s = home + ".tmp-XXXXXX";
    std::vector<char> templ(templ_s.begin(), templ_s.end());
    templ.push_back('\0');
    if (::mkdtemp(templ.data()) == nullptr) return;
    std::string scratch = templ.data();
    fill(scratch);
    bool made = make_all();
    std::error_code ec;
    if (made) {
      std::ofstream(scratch + "/complete") << "1\n";
      std::filesystem::rename(scratch, home, ec);
    }
    if (std::filesystem::exists(home + "/complete")) {
      std::filesystem::remove_all(scratch, ec);
      fill(home);
      f.ok = true;
    } else {
      f.ok = made;  // keep using the scratch copy
    }
  }

  void fill(const std::string& dir) {
    f.dir = dir;
    auto p = [&](const char* name) { return f.dir + "/" + name; };
    f.m1v_pal = p("vcd_pal.m1v");
    f.m1v_ntsc = p("vcd_ntsc.m1v");
    f.svcd_pal = p("svcd_pal.m2v");
    f.svcd_ntsc = p("svcd_ntsc.m2v");
    f.dvd_pal = p("dvd_pal.m2v");
    f.dvd_ntsc = p("dvd_ntsc.m2v");
    f.svcd_own_blocks = p("svcd_blocks.m2v");
    f.iframes = p("iframes.m2v");
    f.mp2_44k = p("a44.mp2");
    f.mp2_48k = p("a48.mp2");
    f.ac3_48k = p("a48.ac3");
  }

  bool make_all() {
    const std::string pal = "-f lavfi -i testsrc=size=%s:rate=25 -t 2 ";
    const std::string ntsc = "-f lavfi -i testsrc=size=%s:rate=30000/1001 -t 2 ";
    auto src = [](const std::string& pattern, const char* size) {
      char buf[256];
      std::snprintf(buf, sizeof buf, pattern.c_str(), size);
      return std::string(buf);
    };
    const std::string vcd = "-c:v mpeg1video -b:v 1150k -minrate 1150k -maxrate 1150k -bufsize 320k -g 15 -bf 2 ";
    const std::string svcd = "-c:v mpeg2video -b:v 2300k -maxrate 2376k -bufsize 1835k -g 15 -bf 2 -aspect 4:3 ";
    const std::string dvd = "-c:v mpeg2video -b:v 5M -maxrate 9.8M -bufsize 1835k -bf 2 -aspect 4:3 ";
    return make(src(pal, "352x288") + vcd, f.m1v_pal) && make(src(ntsc, "352x240") + vcd, f.m1v_ntsc) &&
           make(src(pal, "480x576") + svcd, f.svcd_pal) &&
           make(src(ntsc, "480x480") + svcd, f.svcd_ntsc) &&
           make(src(pal, "720x576") + dvd + "-g 12", f.dvd_pal) &&
           make(src(ntsc, "720x480") + dvd + "-g 15", f.dvd_ntsc) &&
           make(src(pal, "480x576") + svcd + "-scan_offset 1", f.svcd_own_blocks) &&
           make("-f lavfi -i testsrc=size=64x64:rate=25 -t 8 -c:v mpeg2video -g 1 -bf 0 -b:v 300k",
                f.iframes) &&
           make("-f lavfi -i sine=f=440:r=44100 -t 2 -ac 2 -c:a mp2 -b:a 224k", f.mp2_44k) &&
           make("-f lavfi -i sine=f=440:r=48000 -t 2 -ac 2 -c:a mp2 -b:a 224k", f.mp2_48k) &&
           make("-f lavfi -i sine=f=440:r=48000 -t 2 -ac 2 -c:a ac3 -b:a 192k", f.ac3_48k);
  }
};

double ts_seconds(const std::uint8_t* p) {
  std::uint64_t v = (static_cast<std::uint64_t>((p[0] >> 1) & 7) << 30) |
                    (static_cast<std::uint64_t>(p[1]) << 22) |
                    (static_cast<std::uint64_t>(p[2] >> 1) << 15) |
                    (static_cast<std::uint64_t>(p[3]) << 7) | (p[4] >> 1);
  return static_cast<double>(v) / 90000.0;
}

}  // namespace

const Fixtures& Fixtures::get() {
  static FixtureHolder holder;
  return holder.f;
}

ProgramStream parse_program_stream(const std::string& path) {
  ProgramStream ps;
  std::ifstream in(path, std::ios::binary);
  ps.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  const auto& b = ps.bytes;
  std::size_t off = 0;
  auto fail = [&](const std::string& why) {
    ps.error = why + " at offset " + std::to_string(off);
    return ps;
  };
  while (off + 4 <= b.size()) {
    // Zero bytes may fill a sector's end (VideoCD audio sectors).
    while (off + 4 <= b.size() && b[off] == 0 && b[off + 1] == 0 && b[off + 2] == 0) ++off;
    if (off + 4 > b.size()) break;
    if (b[off] != 0 || b[off + 1] != 0 || b[off + 2] != 1) return fail("no start code");
    std::uint8_t id = b[off + 3];
    if (id == 0xB9) {
      ps.end_code = true;
      off += 4;
      if (off != b.size()) return fail("data after the end code");
      break;
    }
    if (id == 0xBA) {
      if (!ps.packs.empty()) ps.packs.back().size = off - static_cast<std::size_t>(ps.packs.back().offset);
      Pack pk;
      pk.offset = static_cast<std::int64_t>(off);
      if (off + 14 > b.size()) return fail("short pack header");
      const std::uint8_t* p = &b[off + 4];
      if ((p[0] & 0xC0) == 0x40) {
        pk.mpeg2 = true;
        std::uint64_t base = (static_cast<std::uint64_t>((p[0] >> 3) & 7) << 30) |
                             (static_cast<std::uint64_t>(p[0] & 3) << 28) |
                             (static_cast<std::uint64_t>(p[1]) << 20) |
                             (static_cast<std::uint64_t>(p[2] >> 3) << 15) |
                             (static_cast<std::uint64_t>(p[2] & 3) << 13) |
                             (static_cast<std::uint64_t>(p[3]) << 5) | (p[4] >> 3);
        unsigned ext = ((p[4] & 3) << 7) | (p[5] >> 1);
        pk.scr_27mhz = base * 300 + ext;
        pk.mux_rate = (static_cast<std::uint32_t>(p[6]) << 14) | (p[7] << 6) | (p[8] >> 2);
        off += 14 + (p[9] & 7);
      } else {
        std::uint64_t base = static_cast<std::uint64_t>(ts_seconds(p) * 90000.0 + 0.5);
        pk.scr_27mhz = base * 300;
        pk.mux_rate = (static_cast<std::uint32_t>(p[5] & 0x7F) << 15) | (p[6] << 7) | (p[7] >> 1);
        off += 12;
      }
      pk.scr = static_cast<double>(pk.scr_27mhz) / 27e6;
      ps.packs.push_back(pk);
      continue;
    }
    if (ps.packs.empty()) return fail("packet before the first pack");
    if (off + 6 > b.size()) return fail("short packet");
    std::size_t len = (b[off + 4] << 8) | b[off + 5];
    if (off + 6 + len > b.size()) return fail("packet beyond the end");
    if (id == 0xBB) {
      ps.packs.back().system_header = true;
      off += 6 + len;
      continue;
    }
    Packet pkt;
    pkt.id = id;
    pkt.offset = static_cast<std::int64_t>(off);
    pkt.total = 6 + len;
    std::size_t p = off + 6, end = off + 6 + len;
    if (id != 0xBE && id != 0xBF) {
      if ((b[p] & 0xC0) == 0x80) {
        unsigned flags = b[p + 1] >> 6;
        std::size_t hlen = b[p + 2];
        if (flags & 2) {
          pkt.has_pts = true;
          pkt.pts = ts_seconds(&b[p + 3]);
        }
        if (flags == 3) {
          pkt.has_dts = true;
          pkt.dts = ts_seconds(&b[p + 8]);
        }
        p += 3 + hlen;
      } else {
        while (p < end && b[p] == 0xFF) ++p;
        if ((b[p] & 0xC0) == 0x40) p += 2;
        if ((b[p] & 0xF0) == 0x20) {
          pkt.has_pts = true;
          pkt.pts = ts_seconds(&b[p]);
          p += 5;
        } else if ((b[p] & 0xF0) == 0x30) {
          pkt.has_pts = pkt.has_dts = true;
          pkt.pts = ts_seconds(&b[p]);
          pkt.dts = ts_seconds(&b[p + 5]);
          p += 10;
        } else if (b[p] == 0x0F) {
          p += 1;
        } else {
          return fail("bad packet header");
        }
      }
      if (p > end) return fail("header longer than its packet");
    }
    pkt.payload_offset = static_cast<std::int64_t>(p);
    pkt.payload_size = end - p;
    if (id == 0xE0) {
      for (std::size_t i = p; i < end; ++i) {
        ps.video.push_back(b[i]);
        ps.video_offsets.push_back(static_cast<std::int64_t>(i));
      }
    }
    ps.packs.back().packets.push_back(pkt);
    off = end;
  }
  if (!ps.packs.empty() && ps.packs.back().size == 0) {
    std::size_t last_end = ps.end_code ? b.size() - 4 : b.size();
    ps.packs.back().size = last_end - static_cast<std::size_t>(ps.packs.back().offset);
  }
  return ps;
}

ProbeResult probe(const std::string& path) {
  ProbeResult r;
  int status = 0;
  std::string out = run_output(
      "ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames "
      "-of default=nw=1 '" + path + "'", &status);
  std::istringstream in(out);
  std::string line, type;
  while (std::getline(in, line)) {
    if (line.rfind("codec_type=", 0) == 0) type = line.substr(11);
    else if (line.rfind("nb_read_frames=", 0) == 0 && type == "video")
      r.video_frames = std::atoi(line.c_str() + 15);
    else if (!line.empty()) r.errors += line + "\n";
  }
  // First and last frame times per kind, from the decoded frames.
  std::string frames = run_output(
      "ffprobe -v error -show_entries frame=media_type,best_effort_timestamp_time,pkt_duration_time,duration_time "
      "-of csv=p=0 '" + path + "'");
  std::istringstream fin(frames);
  while (std::getline(fin, line)) {
    std::istringstream fields(line);
    std::string kind, pts, dur;
    std::getline(fields, kind, ',');
    std::getline(fields, pts, ',');
    std::getline(fields, dur, ',');
    if (pts.empty() || pts == "N/A") continue;
    double t = std::atof(pts.c_str());
    double d = dur.empty() || dur == "N/A" ? 0 : std::atof(dur.c_str());
    double& start = kind == "video" ? r.video_start : r.audio_start;
    double& end = kind == "video" ? r.video_end : r.audio_end;
    if (start < 0 || t < start) start = t;
    if (t + d > end) end = t + d;
  }
  r.ok = status == 0;
  return r;
}

std::string decode_errors(const std::string& path) {
  return run_output("ffmpeg -nostdin -v error -i '" + path + "' -f null -");
}

}  // namespace mux_test
