#include <sys/stat.h>

#include <cmath>

#include "mpeg/mux/bit_reader.h"
#include "mpeg/mux/record_writer.h"
#include "mpeg/mux/scanner.h"
#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg::mux {

namespace {

// Offset of the first AC-3 sync word within the first 64 KB, or -1.
std::int64_t find_ac3_sync(File& f) {
  std::uint8_t buf[65536];
  long long n = f.read_some_at(0, buf, sizeof buf);
  for (long long i = 0; i + 1 < n; ++i)
    if (buf[i] == 0x0B && buf[i + 1] == 0x77) return i;
  return -1;
}

struct MpegHeader {
  unsigned id, layer, protection, bitrate_index, sampling, padding, mode, mode_extension,
      copyright, original, emphasis;
};

bool read_mpeg_header(BitReader& r, MpegHeader& h) {
  if (r.peek_bits(12) != 0xFFF) return false;
  r.get_bits(12);
  h.id = r.get_bits(1);
  unsigned layer_bits = r.get_bits(2);
  h.layer = layer_bits == 0 ? 0 : 4 - layer_bits;
  h.protection = r.get_bits(1) == 0 ? 1 : 0;
  h.bitrate_index = r.get_bits(4);
  h.sampling = r.get_bits(2);
  h.padding = r.get_bits(1);
  r.get_bits(1);  // private bit
  h.mode = r.get_bits(2);
  h.mode_extension = r.get_bits(2);
  h.copyright = r.get_bits(1);
  h.original = r.get_bits(1);
  h.emphasis = r.get_bits(2);
  return !r.end();
}

}  // namespace

bool check_inputs(EncoderContext& ctx, unsigned flags, const std::string& video_path,
                  const std::string& audio1_path, const std::string& audio2_path) {
  const std::string* paths[3] = {&video_path, &audio1_path, &audio2_path};
  for (int s = 0; s < 3; ++s) {
    if ((flags & (1u << s)) == 0) continue;
    const std::string& path = *paths[s];
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
      report_message(ctx, "Input file %s was not found.", path.c_str());
      return false;
    }
    File f;
    if (!S_ISREG(st.st_mode) || !f.open_read(path) || f.size() < 0) {
      report_message(ctx, "Error getting size of input file %s.", path.c_str());
      return false;
    }
    std::uint8_t head[4] = {};
    long long n = f.read_some_at(0, head, sizeof head);
    if (s == 0) {
      if (n < 4 || head[0] != 0 || head[1] != 0 || head[2] != 1 || head[3] != 0xB3) {
        report_message(ctx, "File %s is not a 11172-2 or 13818-2 Video stream.", path.c_str());
        return false;
      }
    } else {
      bool mpeg = n >= 2 && head[0] == 0xFF && (head[1] & 0xF0) == 0xF0;
      if (!mpeg && find_ac3_sync(f) < 0) {
        report_message(ctx, "File %s is not an AC3 or MPEG Audio stream.", path.c_str());
        return false;
      }
    }
  }
  return true;
}

bool scan_audio(EncoderContext& ctx, const std::string& stream_path, TempFile& units,
                bool with_extension, double start_time, AudioInfo& info, unsigned& unit_count,
                double& total_bytes, std::int64_t& data_start) {
  info = AudioInfo{};
  unit_count = 0;
  total_bytes = 0;
  data_start = 0;
  auto fail = [&]() {
    units.file().seek(0);
    units.file().truncate_here();
    return false;
  };
  File probe;
  if (!probe.open_read(stream_path)) {
    report_message(ctx, "Input file %s was not found.", stream_path.c_str());
    return fail();
  }
  double file_size = static_cast<double>(probe.size());
  std::uint8_t head[2] = {};
  probe.read_some_at(0, head, 2);
  bool mpeg = head[0] == 0xFF && (head[1] & 0xF0) == 0xF0;
  if (!mpeg) {
    data_start = find_ac3_sync(probe);
    if (data_start < 0) {
      report_message(ctx, "File %s is not an AC3 or MPEG Audio stream.", stream_path.c_str());
      return fail();
    }
    info.ac3 = true;
  }
  probe.close();

  BitReader r;
  if (!r.open(stream_path)) {
    report_message(ctx, "Input file %s was not found.", stream_path.c_str());
    return fail();
  }
  r.skip_bytes(data_start);
  RecordWriter out(units.file(), with_extension);
  double offset = static_cast<double>(data_start);
  int last_percent = -1;
  for (;;) {
    if (stop_requested(ctx)) return fail();
    unsigned size = 0, samples = 0, rate = 0;
    if (info.ac3) {
      if (r.peek_bits(16) != 0x0B77) break;
      r.get_bits(16 + 16);  // sync word, crc1
      unsigned fscod = r.get_bits(2);
      unsigned frmsizecod = r.get_bits(6);
      if (r.end()) break;
      size = ac3_frame_size(fscod, frmsizecod);
      rate = fscod == 0 ? 48000 : fscod == 1 ? 44100 : fscod == 2 ? 32000 : 0;
      samples = 1536;
      if (size == 0 || rate == 0) break;
      if (info.frames == 0) {
        info.sampling_code = fscod;
        info.ac3_bitrate_code = frmsizecod;
        info.ac3_frame_size = size;
        info.bit_rate_kbps = ac3_bitrate_kbps(frmsizecod);
      }
      if (offset + size > file_size) break;  // truncated last frame
      r.skip_bytes(static_cast<std::int64_t>(size) - 5);
    } else {
      MpegHeader h{};
      if (!read_mpeg_header(r, h)) break;
      size = mpeg_audio_frame_size(h.id, h.layer, h.bitrate_index, h.sampling, h.padding);
      rate = mpeg_audio_sample_rate(h.id, h.sampling);
      samples = h.layer == 1 ? 384 : (h.layer == 3 && h.id == 0) ? 576 : 1152;
      if (size < 4 || rate == 0) break;
      if (info.frames == 0) {
        info.id = h.id;
        info.layer = h.layer;
        info.protection = h.protection;
        info.bitrate_index = h.bitrate_index;
        info.sampling_code = h.sampling;
        info.padding = h.padding;
        info.mode = h.mode;
        info.mode_extension = h.mode_extension;
        info.copyright = h.copyright;
        info.original = h.original;
        info.emphasis = h.emphasis;
        info.frame_size[0] = mpeg_audio_frame_size(h.id, h.layer, h.bitrate_index, h.sampling, 0);
        info.frame_size[1] = mpeg_audio_frame_size(h.id, h.layer, h.bitrate_index, h.sampling, 1);
        info.bit_rate_kbps = mpeg_audio_bitrate_kbps(h.id, h.layer, h.bitrate_index);
      }
      if (offset + size > file_size) break;  // truncated last frame
      r.skip_bytes(static_cast<std::int64_t>(size) - 4);
    }
    if (info.frames == 0) {
      info.sample_rate = rate;
      info.samples_per_frame = samples;
    }
    info.syncwords++;
    AudioUnit unit;
    unit.size = size;
    unit.pts = start_time + static_cast<double>(info.frames) * info.samples_per_frame /
                                info.sample_rate * kTicksPerSecond;
    if (!out.write_audio(unit)) {
      report_message(ctx, "Error writing to temporary audio units file %s.", units.path().c_str());
      return fail();
    }
    info.frames++;
    offset += size;
    int percent = file_size > 0 ? static_cast<int>(offset * 100.0 / file_size) : 100;
    if (percent != last_percent) {
      last_percent = percent;
      report_progress(ctx, percent, "Scanning audio stream: %d%% - byte offset %.0f of %.0f.",
                      percent, offset, file_size);
    }
  }
  if (r.failed()) {
    report_message(ctx, "Error reading audio stream %s.", stream_path.c_str());
    return fail();
  }
  if (!out.flush()) {
    report_message(ctx, "Error writing to temporary audio units file %s.", units.path().c_str());
    return fail();
  }
  if (info.frames == 0) {
    report_message(ctx, "File %s is not an AC3 or MPEG Audio stream.", stream_path.c_str());
    return fail();
  }
  info.stream_length = offset - static_cast<double>(data_start);
  unit_count = info.frames;
  total_bytes = info.stream_length;
  report_message(ctx, "  Found %d audio frame headers.", static_cast<int>(info.frames));
  print_audio_info(ctx, info);
  return true;
}

}  // namespace corvexa::mpeg::mux
