#include <cmath>
#include <cstring>
#include <vector>

#include "mpeg/mux/bit_reader.h"
#include "mpeg/mux/record_writer.h"
#include "mpeg/mux/scanner.h"
#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg::mux {

namespace {

constexpr std::uint32_t kPictureCode = 0x00;
constexpr std::uint32_t kUserDataCode = 0xB2;
constexpr std::uint32_t kSequenceHeaderCode = 0xB3;
constexpr std::uint32_t kExtensionCode = 0xB5;
constexpr std::uint32_t kSequenceEndCode = 0xB7;
constexpr std::uint32_t kGopCode = 0xB8;

bool is_slice(std::uint32_t code) { return code >= 0x01 && code <= 0xAF; }

// Reads the first sequence header with its extensions (up to the first GOP or
// picture start code, at most 256 bytes) and detects pulldown from the picture
// coding extensions of the first group.
bool capture_first_header(EncoderContext& ctx, const std::string& path, VideoInfo& info,
                          bool& has_extension) {
  File f;
  if (!f.open_read(path)) {
    report_message(ctx, "Input file %s was not found.", path.c_str());
    return false;
  }
  std::uint8_t head[kMaxSequenceHeader + 4] = {};
  long long n = f.read_some(head, sizeof head);
  if (n < 12 || head[0] != 0 || head[1] != 0 || head[2] != 1 || head[3] != kSequenceHeaderCode) {
    report_message(ctx, "Invalid MPEG Video stream header.");
    return false;
  }
  int length = static_cast<int>(n < kMaxSequenceHeader ? n : kMaxSequenceHeader);
  has_extension = false;
  for (int i = 4; i + 3 < static_cast<int>(n) && i < kMaxSequenceHeader; ++i) {
    if (head[i] == 0 && head[i + 1] == 0 && head[i + 2] == 1) {
      std::uint8_t code = head[i + 3];
      if (code == kGopCode || code == kPictureCode) {
        length = i;
        break;
      }
      if (code == kExtensionCode) has_extension = true;
    }
  }
  std::memcpy(info.first_sequence_header, head, static_cast<std::size_t>(length));
  info.first_sequence_header_length = length;
  return parse_sequence_header(ctx, head, length, info);
}

// Pulldown from the repeat_first_field flags of the first group's pictures.
int detect_pulldown(const std::string& path) {
  BitReader r;
  if (!r.open(path)) return 0;
  bool after_picture = false;
  bool any_rff = false, rff_at_zero = false;
  unsigned tref = 0;
  int groups = 0, sequences = 0;
  while (r.next_start_code()) {
    r.get_bits(24);
    std::uint32_t code = r.get_bits(8);
    if (code == kSequenceHeaderCode && ++sequences > 1) break;
    if (code == kGopCode && ++groups > 1) break;
    if (code == kPictureCode) {
      tref = r.get_bits(10);
      after_picture = true;
      continue;
    }
    if (code == kExtensionCode && after_picture && r.peek_bits(4) == 8) {
      r.get_bits(4 + 16 + 2 + 2 + 6);
      if (r.get_bits(1)) {
        any_rff = true;
        if (tref == 0) rff_at_zero = true;
      }
    }
    after_picture = false;
  }
  if (!any_rff) return 0;
  return rff_at_zero ? 2 : 1;
}

struct VideoWalk {
  VideoWalk(EncoderContext& c, const VideoScanOptions& o, VideoInfo& i, RecordWriter& w,
            const std::string& path)
      : ctx(c), options(o), info(i), out(w), units_path(path) {}

  EncoderContext& ctx;
  const VideoScanOptions& options;
  VideoInfo& info;
  RecordWriter& out;
  const std::string& units_path;

  bool unit_open = false;
  std::int64_t unit_start = 0;
  VideoUnit cur;
  std::int64_t pending_start = -1;
  std::uint16_t pending_flags = 0;
  unsigned decode_index = 0;
  unsigned gop_start = 0;
  bool gop_pending = false;
  bool second_field_expected = false;
  // Scan-offset block search of the current I picture.
  bool svcd_search = false;
  std::int64_t picture_pos = 0;
  // Statistics.
  int window = 25;
  double window_start_bits = 0;
  double max_window_bits = 0;
  int pulldown = 0;
  double period = 0;

  double display_start(long long n) const {
    if (pulldown == 0) return static_cast<double>(n) * period;
    double field = period / 2;
    long long pair = n / 2;
    int long_first = pulldown == 1 ? 3 : 2;
    return (5.0 * static_cast<double>(pair) + ((n % 2) ? long_first : 0)) * field;
  }

  bool complete(std::int64_t end) {
    if (!unit_open) return true;
    cur.size = static_cast<std::uint32_t>(end - unit_start);
    if (cur.insert_offset != 0) cur.size += kScanOffsetBlockSize;
    if (cur.type >= 1 && cur.type <= 4) {
      info.type_count[cur.type]++;
      info.type_bytes[cur.type] += cur.size;
    }
    if (!out.write_video(cur)) {
      report_message(ctx, "Error writing to temporary video units file %s.", units_path.c_str());
      return false;
    }
    unit_open = false;
    return true;
  }

  bool picture(std::int64_t pos, unsigned tref, unsigned type, unsigned structure) {
    if (structure != 3) {
      if (second_field_expected) {
        second_field_expected = false;
        return true;  // same frame, same unit
      }
      second_field_expected = true;
    } else {
      second_field_expected = false;
    }
    std::int64_t start = pending_start >= 0 ? pending_start : pos;
    if (!complete(start)) return false;
    if (decode_index % static_cast<unsigned>(window) == 0) {
      double bits = static_cast<double>(start) * 8.0;
      if (decode_index > 0 && bits - window_start_bits > max_window_bits)
        max_window_bits = bits - window_start_bits;
      window_start_bits = bits;
    }
    if (gop_pending) {
      gop_start = decode_index;
      gop_pending = false;
    }
    cur = VideoUnit{};
    cur.type = static_cast<std::uint16_t>(type);
    cur.flags = pending_flags;
    cur.header_bytes = static_cast<std::uint16_t>(pos - start > 0xFFFF ? 0xFFFF : pos - start);
    long long disp = static_cast<long long>(gop_start) + tref;
    cur.pts = display_start(disp) + period;
    cur.dts = decode_index == 0 ? 0.0 : display_start(decode_index - 1LL) + period;
    if (pulldown == 0) cur.dts = decode_index * period;
    if (decode_index == gop_start && (pending_flags & 2))
      cur.gop_reference_ticks = static_cast<std::uint32_t>(display_start(tref));
    if (decode_index == 0 || cur.pts < info.earliest_pts) info.earliest_pts = cur.pts;
    unit_start = start;
    unit_open = true;
    pending_start = -1;
    pending_flags = 0;
    ++decode_index;
    info.pictures++;
    svcd_search = options.svcd_scan_offsets && type == kPictureI;
    picture_pos = pos;
    return true;
  }

  void header_start(std::int64_t pos, std::uint16_t flag) {
    if (pending_start < 0) pending_start = pos;
    pending_flags |= flag;
  }

  // Start codes between an I picture's header and its first slice decide
  // where the scan-offset block goes.
  void svcd_check(std::uint32_t code, std::int64_t pos, BitReader& r) {
    if (!svcd_search) return;
    if (code == kUserDataCode) {
      if (r.peek_bits(16) == 0x100E) {
        svcd_search = false;  // the encoder wrote the block itself
        return;
      }
    } else if (!is_slice(code)) {
      return;
    }
    svcd_search = false;
    std::int64_t offset = pos - picture_pos;
    if (offset > 0 && offset <= 0xFFFF) cur.insert_offset = static_cast<std::uint16_t>(offset);
  }
};

}  // namespace

bool parse_sequence_header(EncoderContext& ctx, const std::uint8_t* bytes, int length,
                           VideoInfo& info) {
  if (length < 12) {
    report_message(ctx, "Invalid MPEG Video stream header.");
    return false;
  }
  const std::uint8_t* p = bytes + 4;
  info.horizontal_size = (p[0] << 4) | (p[1] >> 4);
  info.vertical_size = ((p[1] & 0x0F) << 8) | p[2];
  info.aspect_ratio = p[3] >> 4;
  info.frame_rate_code = p[3] & 0x0F;
  info.bit_rate = (static_cast<unsigned>(p[4]) << 10) | (p[5] << 2) | (p[6] >> 6);
  if (((p[6] >> 5) & 1) == 0) {
    report_message(ctx, "Error in MPEG stream at offset (bits) %.0f: supposed marker bit not found.",
                   32.0 + 12 + 12 + 4 + 4 + 18);
    return false;
  }
  info.vbv_buffer_size = ((p[6] & 0x1F) << 5) | (p[7] >> 3);
  info.constrained_parameters_flag = (p[7] >> 2) & 1;
  return true;
}

bool scan_video(EncoderContext& ctx, const std::string& stream_path, TempFile& units,
                const VideoScanOptions& options, VideoInfo& info, unsigned& unit_count,
                double& total_bytes) {
  info = VideoInfo{};
  unit_count = 0;
  total_bytes = 0;
  auto fail = [&]() {
    units.file().seek(0);
    units.file().truncate_here();
    return false;
  };

  bool has_extension = false;
  if (options.pulldown_mode == 3)
    report_message(ctx, "Scanning video stream for a sequence header and pulldown type ...");
  else
    report_message(ctx, "Scanning video stream for a sequence header ...");
  if (!capture_first_header(ctx, stream_path, info, has_extension)) return fail();
  info.mpeg2 = has_extension;

  double rate = frame_rate_of_code(info.frame_rate_code);
  if (rate <= 0) rate = 25.0;
  int pulldown = 0;
  if (has_extension) {
    if (options.pulldown_mode == 3) {
      pulldown = detect_pulldown(stream_path);
      if (pulldown == 1) report_message(ctx, "2:3 pulldown detected ...");
      else if (pulldown == 2) report_message(ctx, "3:2 pulldown detected ...");
      else report_message(ctx, "no pulldown detected ...");
    } else if (options.pulldown_mode == 1 || options.pulldown_mode == 2) {
      pulldown = options.pulldown_mode;
    }
  }
  bool rate_30 = std::lround(rate) == 30;
  if (!rate_30) pulldown = 0;
  info.pulldown = pulldown;
  info.frame_period = kTicksPerSecond / rate;

  BitReader r;
  if (!r.open(stream_path)) {
    report_message(ctx, "Input file %s was not found.", stream_path.c_str());
    return fail();
  }
  File probe;
  double file_size = 0;
  if (probe.open_read(stream_path)) file_size = static_cast<double>(probe.size());
  probe.close();

  RecordWriter out(units.file(), options.with_extension);
  VideoWalk walk(ctx, options, info, out, units.path());
  walk.period = info.frame_period;
  walk.pulldown = pulldown;
  walk.window = pulldown != 0 ? 24 : static_cast<int>(std::lround(rate));
  if (walk.window < 1) walk.window = 1;

  bool expect_coding_extension = false;
  std::int64_t picture_pos = 0;
  unsigned picture_tref = 0, picture_type = 0;
  int last_percent = -1;
  while (r.next_start_code()) {
    std::int64_t pos = r.byte_position();
    r.get_bits(24);
    std::uint32_t code = r.get_bits(8);
    if (expect_coding_extension) {
      expect_coding_extension = false;
      if (code != kExtensionCode || r.peek_bits(4) != 8) {
        report_message(ctx, "Invalid MPEG2 Video stream, no picture coding extension present.");
        return fail();
      }
      r.get_bits(4 + 16 + 2);
      unsigned structure = r.get_bits(2);
      if (!walk.picture(picture_pos, picture_tref, picture_type, structure)) return fail();
      continue;
    }
    walk.svcd_check(code, pos, r);
    switch (code) {
      case kSequenceHeaderCode:
        info.sequence_headers++;
        walk.header_start(pos, 1);
        break;
      case kExtensionCode:
        info.mpeg2 = true;
        break;
      case kGopCode:
        info.gops++;
        walk.gop_pending = true;
        walk.header_start(pos, 2);
        break;
      case kSequenceEndCode:
        info.sequence_ends++;
        break;
      case kPictureCode: {
        picture_tref = r.get_bits(10);
        picture_type = r.get_bits(3);
        picture_pos = pos;
        if (stop_requested(ctx)) return fail();
        if (info.mpeg2) {
          expect_coding_extension = true;
        } else if (!walk.picture(pos, picture_tref, picture_type, 3)) {
          return fail();
        }
        if (file_size > 0) {
          int percent = static_cast<int>(static_cast<double>(pos) * 100.0 / file_size);
          if (percent != last_percent) {
            last_percent = percent;
            report_progress(ctx, percent, "Scanning video stream: %d%% - byte offset %.0f of %.0f.",
                            percent, static_cast<double>(pos), file_size);
          }
        }
        break;
      }
      default:
        break;
    }
  }
  if (r.failed()) {
    report_message(ctx, "Error reading video stream %s.", stream_path.c_str());
    return fail();
  }
  if (expect_coding_extension) {
    report_message(ctx, "Invalid MPEG2 Video stream, no picture coding extension present.");
    return fail();
  }
  std::int64_t end = r.byte_position();
  if (!walk.complete(end) || !out.flush()) {
    report_message(ctx, "Error writing to temporary video units file %s.", units.path().c_str());
    return fail();
  }
  if (info.pictures == 0) {
    report_message(ctx, "File %s is not a 11172-2 or 13818-2 Video stream.", stream_path.c_str());
    return fail();
  }

  info.stream_length = static_cast<double>(end);
  double period_s = 1.0 / rate;
  if (pulldown != 0) period_s = info.frame_rate_code == 4 ? 1001.0 / 24000.0 : 1.0 / 24.0;
  double max_bits = walk.max_window_bits;
  if (info.pictures < static_cast<unsigned>(walk.window)) {
    // Shorter than one second: the whole stream stands for the second.
    max_bits = info.stream_length * 8.0 / (info.pictures * period_s);
  }
  info.computed_max_rate = static_cast<unsigned>(std::ceil(max_bits * 0.0025));
  info.computed_avg_rate = static_cast<unsigned>(
      std::ceil(info.stream_length / info.pictures / period_s * 0.0008) * 25);
  unit_count = info.pictures;
  total_bytes = info.stream_length;
  report_message(ctx, "  Found %d picture headers.", static_cast<int>(info.pictures));
  print_video_info(ctx, info, options.svcd_target);
  return true;
}

}  // namespace corvexa::mpeg::mux
