#include "mpeg/mux/multiplexer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "mpeg/mux/byte_order.h"
#include "mpeg/mux/pack_format.h"
#include "mpeg/mux/record_writer.h"
#include "mpeg/mux/scan_offsets.h"
#include "mpeg/mux/scanner.h"
#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/run_files.h"

namespace corvexa::mpeg::mux {

namespace {

constexpr double kVideoLookAhead = 0.7 * kTicksPerSecond;
constexpr double kAudioLookAhead = 0.1 * kTicksPerSecond;
constexpr double kSlackMargin = 0.5 * kTicksPerSecond;
// A picture larger than this is not a picture: refuse rather than allocate.
constexpr std::uint32_t kMaxUnitSize = 64u << 20;
constexpr int kMaxStuffing = 6;
// Shares of the stage's progress: scanning is quick next to packing.
constexpr int kScanVideoShare = 5;
constexpr int kScanAudioShare = 5;
constexpr int kScanOffsetsShare = 5;

enum StreamIndex { kVideo = 0, kAudio1 = 1, kAudio2 = 2 };

struct Stream {
  bool present = false;
  bool is_video = false;
  bool ac3 = false;
  std::uint8_t stream_id = 0;
  std::uint8_t substream = 0;
  std::string path;
  File es;
  std::int64_t es_offset = 0;
  TempFile units;
  std::unique_ptr<RecordReader> reader;
  unsigned unit_total = 0;
  unsigned units_done = 0;  // units fully sent or skipped
  double data_rate = 0;     // bytes/s
  unsigned payload = 0;     // payload bytes of a full packet
  unsigned capacity = 0;    // decoder buffer bytes
  int std_scale = 0;
  unsigned std_size = 0;
  double delay = 0;         // ticks
  double frame_ticks = 0;   // audio frame duration

  // The unit whose bytes go out next.
  bool loaded = false;
  bool done = false;
  VideoUnit vu;
  AudioUnit au;
  std::uint32_t first_size = 0;
  std::vector<std::uint8_t> bytes;
  std::size_t pos = 0;
  std::size_t stamp_pos = 0;  // where the time stamp's access unit begins
  long long unit_index = -1;
  std::uint16_t prev_type = 0;
  double shown_until = -1;    // video: end of display of the units sent so far
  double end_limit = -1;      // audio: no units at or after this stream time

  // Decoder buffer model: (bytes, removal time).
  std::deque<std::pair<unsigned, double>> buffer;
  unsigned buffered = 0;
  bool sent_in_file = false;
  bool first_packet_in_file = true;
  unsigned underflows = 0;

  double dts() const { return is_video ? vu.dts : au.pts; }
  double pts() const { return is_video ? vu.pts : au.pts; }
  unsigned free_space() const { return capacity > buffered ? capacity - buffered : 0; }
};

struct Taken {
  std::size_t length = 0;
  bool stamp = false;       // an access unit starts in the payload
  double pts = 0, dts = 0;
  std::uint16_t type = 0;
  int unit_starts = 0;      // AC-3 sync words starting in the payload
  std::size_t first_start = 0;
  int i_picture_starts = 0;  // I picture units whose first byte is in the payload
};

class Multiplexer {
 public:
  Multiplexer(EncoderContext& ctx, bool video, bool audio) : ctx_(ctx), w_(ctx.work) {
    want_video_ = video;
    want_audio_ = audio;
  }
  bool run();
  // The program files written, under their temporary names.
  std::vector<PendingOutput>& written() { return written_; }

 private:
  // Set-up.
  bool scan_streams();
  bool open_inputs();
  bool compute_rates();
  bool apply_start_time();

  // Units.
  bool load_next(Stream& s);
  bool build_video_bytes(Stream& s);
  bool cut_due(const Stream& s) const;
  std::size_t take(Stream& s, std::size_t max, std::uint8_t* out, Taken& t);

  // Time of a unit in this file's clock.
  double out_time(const Stream& s, double t) const { return t - base_ + s.delay; }

  // Packs.
  bool open_program_file();
  bool write_sector();
  void begin_pack(SectorBuilder& b, bool with_system_header);
  void add_system_header(SectorBuilder& b);
  bool write_first_pack();
  bool write_nav_pack();
  bool write_data_pack(int first_choice);
  void write_packet(SectorBuilder& b, Stream& s, bool last_slot, std::size_t reserve_end);
  bool ready(const Stream& s) const;
  bool nav_needed(const Stream& v) const;
  int choose() const;
  void drain();
  bool finish_file(bool last);
  bool start_new_file();
  void reset_file_state(bool reset_clock);
  bool all_done() const;
  void report_units();
  bool io_error_ = false;
  bool unit_end_only_ = false;  // packets stop at the end of the current unit
  bool advance_scr_ = false;

  EncoderContext& ctx_;
  WorkingSettings& w_;
  bool want_video_ = false, want_audio_ = false;
  Stream st_[3];
  VideoInfo vinfo_;
  AudioInfo ainfo_[3];
  bool mpeg2_ = false;
  bool vcd_ = false, svcd_ = false, dvd_ = false;
  unsigned sector_size_ = 2048;
  int packets_per_pack_ = 1;
  double mux_bytes_per_s_ = 0;
  std::uint32_t mux_rate_ = 0;
  double packs_per_s_ = 0;
  double pack_ticks_ = 0;
  double split_threshold_ = 0;
  double start_ms_ = 0, stop_ms_ = 0;
  double scr_start_ = 0;
  double base_ = 0;

  std::string output_;
  std::string current_name_;
  int file_number_ = 0;
  File program_;
  std::vector<PendingOutput> written_;
  double file_bytes_ = 0;
  std::uint32_t file_packs_ = 0;
  std::uint32_t total_packs_ = 0;
  std::vector<std::uint8_t> sector_;
  std::vector<std::uint8_t> staging_;
  double scr_ = 0;
  double slack_ = 0;
  bool cut_pending_ = false;
  bool stop_cut_ = false;
  long long nav_done_for_ = -2;
  bool after_nav_ = false;
  TempFile scan_sectors_;
  int last_percent_ = -1;
};

// ---------------------------------------------------------------- set-up

bool Multiplexer::scan_streams() {
  unsigned flags = 0;
  if (want_video_) flags |= kVideoStream;
  if (want_audio_ && !ctx_.audio_file.empty()) flags |= kAudio1Stream;
  if (want_audio_ && w_.mux_type != kVideoCd && !ctx_.audio2_file.empty()) flags |= kAudio2Stream;
  if (flags == 0) {
    report_message(ctx_, "No streams selected for multiplexing.");
    return false;
  }
  if (!check_inputs(ctx_, flags, ctx_.video_file, ctx_.audio_file, ctx_.audio2_file)) return false;
  std::string folder = folder_of(output_);
  bool ext = w_.mux_type >= kMpeg2;
  double start_time = 0;
  if (flags & kVideoStream) {
    Stream& v = st_[kVideo];
    v.present = true;
    v.is_video = true;
    v.path = ctx_.video_file;
    if (!v.units.create(folder, "video-units")) {
      report_message(ctx_, "Unable to create temporary video units file %s.",
                     (folder + "/" + temporary_prefix() + "*.video-units").c_str());
      return false;
    }
    VideoScanOptions o;
    o.svcd_scan_offsets = w_.svcd_scan_offsets != 0;
    o.pulldown_mode = w_.pulldown_mode;
    o.with_extension = ext;
    o.svcd_target = w_.mux_type == kSuperVcd;
    double total = 0;
    set_progress_window(ctx_, 0, kScanVideoShare);
    if (!scan_video(ctx_, v.path, v.units, o, vinfo_, v.unit_total, total)) return false;
    if (w_.pulldown_mode == 3 && mpeg2_) w_.pulldown_mode = vinfo_.pulldown;
    start_time = vinfo_.earliest_pts;
  }
  for (int a = kAudio1; a <= kAudio2; ++a) {
    if ((flags & (1u << a)) == 0) continue;
    Stream& s = st_[a];
    s.present = true;
    s.path = a == kAudio1 ? ctx_.audio_file : ctx_.audio2_file;
    if (!s.units.create(folder, "audio-units")) {
      report_message(ctx_, "Unable to create temporary audio units file %s.",
                     (folder + "/" + temporary_prefix() + "*.audio-units").c_str());
      return false;
    }
    double total = 0;
    set_progress_window(ctx_, kScanVideoShare, kScanAudioShare);
    if (!scan_audio(ctx_, s.path, s.units, ext, start_time, ainfo_[a], s.unit_total, total,
                    s.es_offset))
      return false;
    s.ac3 = ainfo_[a].ac3;
  }
  return true;
}

bool Multiplexer::open_inputs() {
  static const char* const kOpenEs[3] = {"Unable to open video file %s.",
                                         "Unable to open audio file %s.",
                                         "Unable to open secondary audio file %s."};
  static const char* const kOpenUnits[3] = {"Unable to open video units file %s.",
                                            "Unable to open audio units file %s.",
                                            "Unable to open secondary audio units file %s."};
  for (int i = 0; i < 3; ++i) {
    Stream& s = st_[i];
    if (!s.present) continue;
    if (!s.es.open_read(s.path)) {
      report_message(ctx_, kOpenEs[i], s.path.c_str());
      return false;
    }
    if (!s.units.file().is_open()) {
      report_message(ctx_, kOpenUnits[i], s.units.path().c_str());
      return false;
    }
    s.reader = std::make_unique<RecordReader>(
        s.units.file(), i == kVideo ? kVideoUnitRecordSize : kAudioUnitRecordSize);
  }
  // Stream ids: AC-3 goes into private stream 1 with a sub-stream number.
  st_[kVideo].stream_id = kVideoId;
  st_[kAudio1].stream_id = st_[kAudio1].ac3 ? kPrivate1Id : kAudio1Id;
  st_[kAudio1].substream = 0x80;
  st_[kAudio2].stream_id = st_[kAudio2].ac3 ? kPrivate1Id : kAudio2Id;
  st_[kAudio2].substream = st_[kAudio1].present && st_[kAudio1].ac3 ? 0x81 : 0x80;
  return true;
}

bool Multiplexer::compute_rates() {
  sector_size_ = static_cast<unsigned>(w_.sector_size);
  packets_per_pack_ = w_.packets_per_pack;
  int absent = 0;
  for (const auto& s : st_) absent += s.present ? 0 : 1;
  int f = 0;
  if (w_.system_header_every_pack) {
    f = static_cast<int>(sector_size_) - (mpeg2_ ? 57 : 51) + 3 * absent;
    packets_per_pack_ = 1;
  } else {
    f = static_cast<int>(sector_size_) - packets_per_pack_ * (mpeg2_ ? 22 : 18) - (mpeg2_ ? 14 : 12);
  }
  if (f / packets_per_pack_ < 64) {
    report_message(ctx_, "Invalid sector size or packets per pack for multiplexing.");
    return false;
  }
  unsigned v = static_cast<unsigned>(f / packets_per_pack_);
  st_[kVideo].payload = v;
  for (int a = kAudio1; a <= kAudio2; ++a) {
    unsigned p = vcd_ ? v - 15 : v + 5;
    if (st_[a].ac3) p -= 4;
    st_[a].payload = p;
  }

  // Data rates.
  Stream& vs = st_[kVideo];
  if (vs.present) {
    unsigned units = 0;
    switch (w_.video_rate_source) {
      case 1: units = vinfo_.computed_avg_rate; break;
      case 2: units = vinfo_.computed_max_rate; break;
      default:
        units = (vinfo_.bit_rate == 0 || vinfo_.bit_rate == 0x3FFFF) ? vinfo_.computed_max_rate
                                                                     : vinfo_.bit_rate;
        break;
    }
    vs.data_rate = 50.0 * units;
    vs.capacity = static_cast<unsigned>(w_.video_buffer_kb) * 1024u;
    vs.std_scale = 1;
    vs.std_size = static_cast<unsigned>(w_.video_buffer_kb);
  }
  for (int a = kAudio1; a <= kAudio2; ++a) {
    Stream& s = st_[a];
    if (!s.present) continue;
    const AudioInfo& ai = ainfo_[a];
    s.data_rate = ai.bit_rate_kbps * (s.ac3 ? 128.0 : 125.0);
    s.frame_ticks = ai.samples_per_frame / (ai.sample_rate / 1000.0) * kTicksPerMs;
    int kb = a == kAudio1 ? w_.audio1_buffer_kb : w_.audio2_buffer_kb;
    s.capacity = static_cast<unsigned>(kb) * 1024u;
    s.std_scale = s.ac3 ? 1 : 0;
    s.std_size = s.ac3 ? static_cast<unsigned>(kb) : static_cast<unsigned>(kb) * 8u;
  }
  // A buffer smaller than a packet must still get data.
  for (auto& s : st_) {
    if (!s.present) continue;
    if (s.capacity == 0) {
      report_message(ctx_, "Invalid decoder buffer size for multiplexing.");
      return false;
    }
    if (s.capacity < s.payload) s.payload = s.capacity;
  }

  double total = 0;
  for (const auto& s : st_) total += s.present ? s.data_rate : 0;
  double y = std::ceil(sector_size_ / static_cast<double>(f) * total);
  auto computed = static_cast<std::uint32_t>(std::ceil(y * 0.02));
  bool computed_used = w_.mux_rate == 0;
  if (!computed_used) {
    if (static_cast<std::uint32_t>(w_.mux_rate) < computed)
      report_message(ctx_, "NOTE: Mux rate may be too low for data rate, watch for PTS/DTS underflows.");
    mux_rate_ = static_cast<std::uint32_t>(w_.mux_rate);
  } else {
    mux_rate_ = computed;
  }
  if (mux_rate_ == 0) mux_rate_ = 1;
  if (mux_rate_ > 0x3FFFFF) mux_rate_ = 0x3FFFFF;
  mux_bytes_per_s_ = mux_rate_ * 50.0;
  if (vcd_ && mux_rate_ == 3528)
    packs_per_s_ = 75;
  else
    packs_per_s_ = std::floor(mux_bytes_per_s_ / sector_size_);
  if (packs_per_s_ < 1) packs_per_s_ = 1;
  pack_ticks_ = kTicksPerSecond / packs_per_s_;
  split_threshold_ = w_.split_size_mb > 0 ? w_.split_size_mb * 1048576.0 - mux_bytes_per_s_ : 0;
  if (w_.split_size_mb > 0 && split_threshold_ < sector_size_) split_threshold_ = sector_size_;
  start_ms_ = w_.mux_start_s * 1000.0;
  stop_ms_ = w_.mux_stop_s * 1000.0;

  // Start-up delays.
  double packs = 0;
  for (int i = 2; i >= 0; --i) {
    Stream& s = st_[i];
    if (s.present && s.payload > 0) packs += static_cast<double>(s.first_size) / s.payload;
  }
  double delay = std::ceil(packs) * sector_size_ / mux_bytes_per_s_ * kTicksPerSecond;
  if (!w_.system_header_every_pack) delay += pack_ticks_;
  double lead = w_.lead_in_delay * kTicksPerMs;
  const std::int32_t delays[3] = {w_.video_delay, w_.audio1_delay, w_.audio2_delay};
  for (int i = 0; i < 3; ++i) st_[i].delay = (delays[i] != 0 ? delays[i] * kTicksPerMs : delay) + lead;
  scr_start_ = lead;

  if (vs.present)
    report_message(ctx_, "    Video stream data rate : %d bytes/sec (%d bits/sec)",
                   static_cast<int>(vs.data_rate), static_cast<int>(vs.data_rate * 8));
  if (st_[kAudio1].present)
    report_message(ctx_, "    Audio stream 1 data rate : %d bytes/sec (%d bits/sec)",
                   static_cast<int>(st_[kAudio1].data_rate), static_cast<int>(st_[kAudio1].data_rate * 8));
  if (st_[kAudio2].present)
    report_message(ctx_, "    Audio stream 2 data rate : %d bytes/sec (%d bits/sec)",
                   static_cast<int>(st_[kAudio2].data_rate), static_cast<int>(st_[kAudio2].data_rate * 8));
  if (computed_used)
    report_message(ctx_, "    Overhead data rate : %d bytes/sec (%d bits/sec)",
                   static_cast<int>(mux_bytes_per_s_ - total), static_cast<int>((mux_bytes_per_s_ - total) * 8));
  report_message(ctx_, "    Total data rate : %d bytes/sec (%d bits/sec)",
                 static_cast<int>(mux_bytes_per_s_), static_cast<int>(mux_bytes_per_s_ * 8));
  return true;
}

// ---------------------------------------------------------------- units

bool Multiplexer::build_video_bytes(Stream& s) {
  std::uint32_t inserted = s.vu.insert_offset != 0 ? kScanOffsetBlockSize : 0;
  if (s.vu.size < inserted || s.vu.size - inserted > kMaxUnitSize) {
    report_message(ctx_, "Unable to read from video units file %s.", s.units.path().c_str());
    return false;
  }
  std::uint32_t file_bytes = s.vu.size - inserted;
  bool add_header = w_.repeat_sequence_header && s.vu.type == kPictureI && (s.vu.flags & 1) == 0 &&
                    vinfo_.first_sequence_header_length > 0;
  std::size_t prefix = add_header ? static_cast<std::size_t>(vinfo_.first_sequence_header_length) : 0;
  s.bytes.resize(prefix + file_bytes + inserted);
  if (add_header) std::memcpy(s.bytes.data(), vinfo_.first_sequence_header, prefix);
  std::size_t split = inserted ? std::min<std::size_t>(s.vu.header_bytes + s.vu.insert_offset, file_bytes)
                               : file_bytes;
  std::uint8_t* dst = s.bytes.data() + prefix;
  if (!s.es.read_at(s.es_offset, dst, split) ||
      !s.es.read_at(s.es_offset + static_cast<std::int64_t>(split), dst + split + inserted,
                    file_bytes - split)) {
    report_message(ctx_, "Unable to read from video file %s.", s.path.c_str());
    return false;
  }
  if (inserted) {
    static const std::uint8_t kBlock[kScanOffsetBlockSize] = {
        0x00, 0x00, 0x01, 0xB2, 0x10, 0x0E, 0x00, 0x80, 0x80, 0x00, 0x80, 0x80,
        0x00, 0x80, 0x80, 0x00, 0x80, 0x80};
    std::memcpy(dst + split, kBlock, sizeof kBlock);
  }
  s.es_offset += file_bytes;
  s.stamp_pos = prefix + s.vu.header_bytes;
  return true;
}

bool Multiplexer::load_next(Stream& s) {
  if (s.loaded) {
    s.units_done++;
    if (s.is_video) {
      s.prev_type = s.vu.type;
      s.shown_until = std::max(s.shown_until, s.vu.pts + vinfo_.frame_period);
    }
  }
  s.loaded = false;
  s.bytes.clear();
  s.pos = 0;
  if (s.done) return true;
  std::uint8_t rec[kVideoUnitRecordSize];
  if (!s.reader->next(rec)) {
    if (s.reader->failed()) {
      report_message(ctx_, s.is_video ? "Unable to read from video units file %s."
                                      : "Unable to read from audio units file %s.",
                     s.units.path().c_str());
      return false;
    }
    s.done = true;
    return true;
  }
  s.unit_index++;
  if (s.is_video) {
    s.vu = decode_video_unit(rec);
    if (s.unit_index == 0) s.first_size = s.vu.size;
    if (!build_video_bytes(s)) return false;
  } else {
    s.au = decode_audio_unit(rec);
    if (s.unit_index == 0) s.first_size = s.au.size;
    if (s.end_limit >= 0 && s.au.pts >= s.end_limit) {
      s.done = true;
      return true;
    }
    if (s.au.size > kMaxUnitSize) {
      report_message(ctx_, "Unable to read from audio units file %s.", s.units.path().c_str());
      return false;
    }
    s.bytes.resize(s.au.size);
    if (!s.es.read_at(s.es_offset, s.bytes.data(), s.au.size)) {
      report_message(ctx_, "Unable to read from audio file %s.", s.path.c_str());
      return false;
    }
    s.es_offset += s.au.size;
    s.stamp_pos = 0;
  }
  s.loaded = true;
  return true;
}

// Split and range cuts happen in front of I pictures.
bool Multiplexer::cut_due(const Stream& s) const {
  if (!s.is_video || !s.loaded || s.vu.type != kPictureI || s.pos != 0) return false;
  if (split_threshold_ > 0 && file_bytes_ >= split_threshold_) return true;
  if (stop_ms_ > 0 && s.vu.pts - vinfo_.earliest_pts >= stop_ms_ * kTicksPerMs) return true;
  return false;
}

std::size_t Multiplexer::take(Stream& s, std::size_t max, std::uint8_t* out, Taken& t) {
  std::size_t got = 0;
  while (got < max && s.loaded) {
    if (unit_end_only_ && s.pos == 0 && got > 0) break;
    std::size_t n = std::min(max - got, s.bytes.size() - s.pos);
    bool starts = s.stamp_pos >= s.pos && s.stamp_pos < s.pos + n;
    if (s.is_video && s.pos == 0 && s.vu.type == kPictureI) t.i_picture_starts++;
    if (starts) {
      if (!t.stamp && t.unit_starts == 0) {
        t.stamp = true;
        t.pts = out_time(s, s.pts());
        t.dts = out_time(s, s.dts());
        t.type = s.is_video ? s.vu.type : 0;
        t.first_start = got + (s.stamp_pos - s.pos);
      }
      t.unit_starts++;
    }
    std::memcpy(out + got, s.bytes.data() + s.pos, n);
    got += n;
    s.pos += n;
    double removal = out_time(s, s.dts());
    if (!s.buffer.empty() && s.buffer.back().second == removal)
      s.buffer.back().first += static_cast<unsigned>(n);
    else
      s.buffer.emplace_back(static_cast<unsigned>(n), removal);
    s.buffered += static_cast<unsigned>(n);
    if (s.pos == s.bytes.size()) {
      if (!load_next(s)) {
        io_error_ = true;
        break;
      }
      if (cut_due(s)) {
        cut_pending_ = true;
        break;
      }
      if (s.is_video && nav_needed(s)) break;  // the I picture waits for its nav pack
    }
  }
  t.length = got;
  return got;
}

// ---------------------------------------------------------------- packs

void Multiplexer::drain() {
  for (auto& s : st_) {
    while (!s.buffer.empty() && s.buffer.front().second <= scr_) {
      s.buffered -= s.buffer.front().first;
      s.buffer.pop_front();
    }
  }
}

bool Multiplexer::ready(const Stream& s) const {
  if (!s.present || !s.loaded || s.payload == 0 || s.free_space() < s.payload) return false;
  if (s.is_video) return !cut_pending_ && out_time(s, s.vu.dts) - scr_ < kVideoLookAhead;
  if (out_time(s, s.au.pts) - scr_ < kAudioLookAhead) return true;
  return !s.sent_in_file && scr_ - scr_start_ > kAudioLookAhead;
}

// Stream index to send, -1 when nothing is ready, -2 for a DVD navigation pack.
int Multiplexer::choose() const {
  const Stream& v = st_[kVideo];
  bool video_ready = ready(v);
  if (after_nav_ && video_ready) return kVideo;  // the VOBU's picture follows its nav pack
  if (ready(st_[kAudio2])) return kAudio2;
  const Stream& a1 = st_[kAudio1];
  if (ready(a1) || (vcd_ && file_packs_ == 3 && a1.present && a1.loaded)) return kAudio1;
  if (video_ready) return nav_needed(v) ? -2 : kVideo;
  return -1;
}

// DVD: a navigation pack goes in front of every I picture that opens a group
// or follows another kind of picture.
bool Multiplexer::nav_needed(const Stream& v) const {
  return dvd_ && v.loaded && v.vu.type == kPictureI && v.pos == 0 &&
         nav_done_for_ != v.unit_index &&
         (v.prev_type != kPictureI || (v.vu.flags & 2) != 0 || v.unit_index == 0);
}

bool Multiplexer::write_sector() {
  if (!program_.write_all(sector_.data(), sector_.size())) {
    report_message(ctx_, "Unable to write to program file %s.", current_name_.c_str());
    io_error_ = true;
    return false;
  }
  file_bytes_ += static_cast<double>(sector_.size());
  file_packs_++;
  total_packs_++;
  return true;
}

void Multiplexer::add_system_header(SectorBuilder& b) {
  SystemHeader h;
  h.rate_bound = mux_rate_;
  h.csps = !mpeg2_;
  h.audio_lock = h.video_lock = !mpeg2_;
  h.reserved_byte = mpeg2_ ? 0x7F : 0xFF;
  for (const auto& s : st_) {
    if (!s.present) continue;
    if (s.is_video) h.video_bound = 1;
    else h.audio_bound++;
    h.entries.push_back({s.stream_id, s.std_scale, s.std_size});
  }
  write_system_header(b, h);
}

void Multiplexer::begin_pack(SectorBuilder& b, bool with_system_header) {
  std::fill(sector_.begin(), sector_.end(), 0);
  write_pack_header(b, mpeg2_, scr_, mux_rate_);
  if (with_system_header) add_system_header(b);
}

bool Multiplexer::write_first_pack() {
  if (dvd_) return write_nav_pack();
  SectorBuilder b(sector_);
  begin_pack(b, true);
  write_padding_packet(b, mpeg2_, b.room());
  return write_sector();
}

bool Multiplexer::write_nav_pack() {
  SectorBuilder b(sector_);
  begin_pack(b, false);
  SystemHeader h;
  h.rate_bound = mux_rate_;
  h.audio_bound = 1;
  h.audio_lock = h.video_lock = true;
  h.video_bound = 1;
  h.reserved_byte = 0x7F;
  h.entries = {{0xB9, 1, 232}, {0xB8, 0, 32}, {kPrivate1Id, 1, 58}, {kPrivate2Id, 1, 2}};
  write_system_header(b, h);
  if (w_.dvd_nav_packets) {
    b.u32(0x00000100 | kPrivate2Id);  // presentation control information
    b.u16(980);
    b.byte(0x00);
    b.fill(0, 979);
    std::size_t dsi = b.room() - 6;   // data search information
    b.u32(0x00000100 | kPrivate2Id);
    b.u16(static_cast<std::uint32_t>(dsi));
    b.byte(0x01);
    b.fill(0, dsi - 1);
  } else {
    write_padding_packet(b, mpeg2_, b.room());
  }
  const Stream& v = st_[kVideo];
  if (v.loaded && v.vu.type == kPictureI && v.pos == 0) nav_done_for_ = v.unit_index;
  after_nav_ = true;
  return write_sector();
}

void Multiplexer::write_packet(SectorBuilder& b, Stream& s, bool last_slot, std::size_t reserve_end) {
  std::size_t room = b.room() - reserve_end;
  PacketHeader h;
  h.stream_id = s.stream_id;
  h.mpeg2 = mpeg2_;
  h.original = svcd_;
  h.has_std = vcd_ || svcd_ || s.first_packet_in_file;
  h.std_scale = s.std_scale;
  h.std_size = s.std_size;
  h.has_pts = true;
  h.has_dts = s.is_video;
  std::size_t extra = s.ac3 ? 4 : 0;
  std::size_t largest = static_cast<std::size_t>(packet_header_size(h)) + extra;
  std::size_t max_payload = room > largest ? std::min<std::size_t>(s.payload, room - largest) : 0;
  staging_.resize(std::max<std::size_t>(max_payload, 1));
  Taken t;
  take(s, max_payload, staging_.data(), t);

  h.has_pts = h.has_dts = false;
  if (t.stamp) {
    if (!s.is_video) {
      h.has_pts = true;
    } else if (t.type == kPictureB) {
      h.has_pts = w_.timestamp_policy == 0;
    } else if (t.type == kPictureI || w_.timestamp_policy != 2) {
      h.has_pts = true;
      h.has_dts = t.dts != t.pts;
    }
    h.pts = t.pts;
    h.dts = t.dts;
  }
  std::size_t used = static_cast<std::size_t>(packet_header_size(h)) + extra + t.length;
  std::size_t rem = room - used;
  if (rem > 0 && rem <= kMaxStuffing) {
    h.stuffing = static_cast<int>(rem);
    rem = 0;
  }
  write_packet_header(b, h, extra + t.length);
  if (s.ac3) {
    b.byte(s.substream);
    b.byte(static_cast<std::uint32_t>(t.unit_starts));
    b.u16(t.stamp ? static_cast<std::uint32_t>(t.first_start + 1) : 0);
  }
  b.bytes(staging_.data(), t.length);
  if (rem > 0 && last_slot) write_padding_packet(b, mpeg2_, rem);
  s.first_packet_in_file = false;
  s.sent_in_file = true;

  for (int i = 0; i < t.i_picture_starts && scan_sectors_.file().is_open() && !io_error_; ++i) {
    std::uint8_t le[4];
    put_le32(le, file_packs_);
    if (!scan_sectors_.file().write_all(le, 4)) {
      report_message(ctx_, "Unable to write to SVCD temporary file %s.", scan_sectors_.path().c_str());
      io_error_ = true;
    }
  }
  if (s.is_video && s.loaded) slack_ = std::max(0.0, out_time(s, s.vu.dts) - scr_ - kSlackMargin);

  // Late time stamps.
  const double ms = kTicksPerMs;
  if (h.has_pts && s.is_video) {
    bool b_picture = t.type == kPictureB;
    double stamp = b_picture ? t.pts : t.dts;
    if (stamp < scr_) {
      s.underflows++;
      report_message(ctx_, b_picture ? "    video PTS (%.02fms) underflow at pack %u by %.02fms"
                                     : "    video DTS (%.02fms) underflow at pack %u by %.02fms",
                     stamp / ms, total_packs_, (scr_ - stamp) / ms);
    } else if (stamp - scr_ > kTicksPerSecond) {
      report_message(ctx_, "    video DTS (%.02fms) > 1 second from SCR (%.02f) at pack %u by %.02fms",
                     stamp / ms, scr_ / ms, total_packs_, (stamp - scr_ - kTicksPerSecond) / ms);
    }
  } else if (h.has_pts && t.pts < scr_) {
    s.underflows++;
    report_message(ctx_, "    audio PTS underflow at pack %u by %.02fms", total_packs_,
                   (scr_ - t.pts) / ms);
  }
}

bool Multiplexer::write_data_pack(int first_choice) {
  SectorBuilder b(sector_);
  begin_pack(b, w_.system_header_every_pack != 0);
  after_nav_ = false;
  bool zero_fill = false;
  int choice = first_choice;
  for (int slot = 0; slot < packets_per_pack_; ++slot) {
    if (slot > 0) choice = choose();
    if (choice < 0) break;
    Stream& s = st_[choice];
    std::size_t reserve = 0;
    if (vcd_ && !s.is_video && w_.audio_sector_zero_fill) {
      reserve = 20;
      zero_fill = true;
    }
    write_packet(b, s, slot == packets_per_pack_ - 1, reserve);
    if (io_error_ || cut_pending_) break;
    if (b.room() < 7 + (zero_fill ? 20u : 0u)) break;
  }
  std::size_t tail = zero_fill ? 20 : 0;
  if (b.room() > tail) {
    std::size_t pad = b.room() - tail;
    if (pad >= 7) write_padding_packet(b, mpeg2_, pad);
  }
  return !io_error_ && write_sector();
}

bool Multiplexer::open_program_file() {
  current_name_ = w_.split_size_mb > 0 ? split_file_name(output_, file_number_) : output_;
  // Written under a name of its own; it becomes current_name_ when the whole
  // multiplex has succeeded.
  PendingOutput pending;
  pending.final_name = current_name_;
  const int fd = current_name_.empty()
                     ? -1
                     : create_unique_file(folder_of(current_name_), ".mpg", pending.temporary);
  if (fd < 0) {
    report_message(ctx_, "Unable to open program file %s.", current_name_.c_str());
    return false;
  }
  program_.adopt(fd);
  written_.push_back(std::move(pending));
  return true;
}

void Multiplexer::reset_file_state(bool reset_clock) {
  file_bytes_ = 0;
  file_packs_ = 0;
  nav_done_for_ = -2;
  after_nav_ = false;
  for (auto& s : st_) {
    s.sent_in_file = false;
    s.first_packet_in_file = true;
  }
  if (reset_clock) {
    double base = -1;
    for (auto& s : st_) {
      s.buffer.clear();
      s.buffered = 0;
      if (s.present && s.loaded) {
        double t = s.dts();
        if (base < 0 || t < base) base = t;
      }
    }
    if (base >= 0) base_ = base;
    scr_ = scr_start_;
    slack_ = 0;
    advance_scr_ = false;
  }
  if (scan_sectors_.file().is_open()) {
    scan_sectors_.file().seek(0);
    scan_sectors_.file().truncate_here();
  }
}

bool Multiplexer::finish_file(bool last) {
  bool end_sector = w_.write_end_code && (last || w_.end_code_per_file);
  if (!last && w_.end_code_per_file && st_[kVideo].present) {
    // The split file's video ends with a sequence end code of its own.
    scr_ += pack_ticks_;
    SectorBuilder b(sector_);
    begin_pack(b, false);
    PacketHeader h;
    h.stream_id = kVideoId;
    h.mpeg2 = mpeg2_;
    h.original = svcd_;
    h.has_std = vcd_ || svcd_;
    h.std_scale = st_[kVideo].std_scale;
    h.std_size = st_[kVideo].std_size;
    write_packet_header(b, h, 4);
    b.u32(0x000001B7);
    write_padding_packet(b, mpeg2_, b.room());
    if (!write_sector()) return false;
  }
  if (end_sector) {
    if (vcd_ || svcd_ || dvd_) {
      scr_ += pack_ticks_;
      SectorBuilder b(sector_);
      begin_pack(b, false);
      write_padding_packet(b, mpeg2_, b.room() - 4);
      b.u32(kProgramEndCode);
      if (!write_sector()) return false;
    } else {
      std::uint8_t code[4] = {0x00, 0x00, 0x01, 0xB9};
      if (!program_.write_all(code, 4)) {
        report_message(ctx_, "Unable to write to program file %s.", current_name_.c_str());
        return false;
      }
    }
  }
  report_message(ctx_, "  Finished multiplexing %s", current_name_.c_str());
  if (scan_sectors_.file().is_open()) {
    if (!program_.flush()) {
      report_message(ctx_, "Unable to flush the buffers of program file %s.", current_name_.c_str());
      return false;
    }
    if (!program_.truncate_here()) {
      report_message(ctx_, "Unable to set the end of file for program file %s.", current_name_.c_str());
      return false;
    }
    set_progress_window(ctx_, 100 - kScanOffsetsShare, kScanOffsetsShare);
    if (!write_scan_offsets(ctx_, vinfo_, program_, current_name_, scan_sectors_)) return false;
  }
  if (!program_.close()) {
    report_message(ctx_, "Unable to write to program file %s.", current_name_.c_str());
    return false;
  }
  return true;
}

bool Multiplexer::start_new_file() {
  ++file_number_;
  if (file_number_ > 99) {
    report_message(ctx_, "Unable to open program file %s.", current_name_.c_str());
    return false;
  }
  if (!open_program_file()) return false;
  report_message(ctx_, "  Multiplexing file %s", current_name_.c_str());
  reset_file_state(w_.reset_timestamps_per_file != 0);
  Stream& v = st_[kVideo];
  if (w_.broken_link_per_file && v.loaded && (v.vu.flags & 2)) {
    // Leading B pictures of an open GOP lost their references in the cut.
    for (std::size_t i = 0; i + 7 < v.bytes.size() && i < v.stamp_pos; ++i) {
      if (v.bytes[i] == 0 && v.bytes[i + 1] == 0 && v.bytes[i + 2] == 1 && v.bytes[i + 3] == 0xB8) {
        if ((v.bytes[i + 7] & 0x40) == 0) v.bytes[i + 7] |= 0x20;
        break;
      }
    }
  }
  return true;
}

bool Multiplexer::all_done() const {
  for (const auto& s : st_)
    if (s.present && s.loaded) return false;
  return true;
}

void Multiplexer::report_units() {
  unsigned done = 0, total = 0;
  for (const auto& s : st_) {
    if (!s.present) continue;
    done += s.units_done;
    total += s.unit_total;
  }
  int percent = total ? static_cast<int>(done * 100.0 / total) : 100;
  if (percent != last_percent_) {
    last_percent_ = percent;
    report_progress(ctx_, percent, "Multiplexing: %d%% - %d of %d  A/V units.", percent,
                    static_cast<int>(done), static_cast<int>(total));
  }
}

bool Multiplexer::apply_start_time() {
  if (start_ms_ <= 0) return true;
  Stream& v = st_[kVideo];
  double limit = start_ms_ * kTicksPerMs;
  if (v.present) {
    double total_s = vinfo_.pictures * vinfo_.frame_period / kTicksPerSecond;
    if (start_ms_ > total_s * 1000.0) {
      report_message(ctx_, "Mux start time is greater than the total time %u seconds.",
                     static_cast<unsigned>(total_s));
      return false;
    }
    while (v.loaded && !(v.vu.type == kPictureI && v.vu.pts - vinfo_.earliest_pts >= limit)) {
      v.pos = v.bytes.size();
      if (!load_next(v)) return false;
    }
    limit = v.loaded ? v.vu.pts : vinfo_.earliest_pts + limit;
  }
  for (int a = kAudio1; a <= kAudio2; ++a) {
    Stream& s = st_[a];
    while (s.present && s.loaded && s.au.pts + s.frame_ticks <= limit)
      if (!load_next(s)) return false;
  }
  double base = -1;
  for (auto& s : st_)
    if (s.present && s.loaded && (base < 0 || s.dts() < base)) base = s.dts();
  if (base >= 0) base_ = base;
  return true;
}

bool Multiplexer::run() {
  output_ = ctx_.output_name;
  mpeg2_ = w_.mux_type >= kMpeg2;
  vcd_ = w_.mux_type == kVideoCd;
  svcd_ = w_.mux_type == kSuperVcd;
  dvd_ = w_.mux_type == kDvd;
  if (w_.sector_size < 256 || w_.sector_size > 65535 || w_.packets_per_pack < 1 ||
      w_.packets_per_pack > 16) {
    report_message(ctx_, "Invalid sector size or packets per pack for multiplexing.");
    return false;
  }
  if (!scan_streams() || !open_inputs()) return false;
  for (auto& s : st_)
    if (s.present && !load_next(s)) return false;
  if (!compute_rates() || !apply_start_time()) return false;
  if (w_.svcd_scan_offsets && st_[kVideo].present) {
    if (!scan_sectors_.create(folder_of(output_), "scan-sectors")) {
      report_message(ctx_, "Unable to open SVCD scan offsets temporary file %s.",
                     (folder_of(output_) + "/" + temporary_prefix() + "*.scan-sectors").c_str());
      return false;
    }
  }
  sector_.assign(sector_size_, 0);
  const int packing_base = kScanVideoShare + kScanAudioShare;
  set_progress_window(ctx_, packing_base,
                      100 - packing_base - (scan_sectors_.file().is_open() ? kScanOffsetsShare : 0));
  report_message(ctx_, "  Multiplexing file %s", output_.c_str());
  if (!open_program_file()) return false;
  reset_file_state(true);

  // Every stream becomes ready within a minute of clock at most; a longer run
  // of empty slots means the settings can never drain a buffer.
  const double max_idle = 60.0 * packs_per_s_ + 1000;
  double idle = 0;
  while (!all_done()) {
    if (stop_requested(ctx_)) return false;
    if (idle > max_idle) {
      report_message(ctx_, "Multiplexing stalled: no stream became ready.");
      return false;
    }
    if (advance_scr_) scr_ += pack_ticks_;
    advance_scr_ = true;
    if (w_.skip_idle_time && slack_ >= pack_ticks_) {
      double jump = std::floor(slack_ / pack_ticks_) * pack_ticks_;
      for (int a = kAudio1; a <= kAudio2; ++a) {
        const Stream& s = st_[a];
        if (!s.present || !s.loaded) continue;
        double room = out_time(s, s.au.pts) - kAudioLookAhead - scr_;
        double allowed = room > 0 ? std::floor(room / pack_ticks_) * pack_ticks_ : 0;
        jump = std::min(jump, allowed);
      }
      scr_ += jump;
      slack_ = 0;
    }
    drain();
    report_units();
    bool ok = true;
    if (file_packs_ == 0 && !w_.system_header_every_pack) {
      ok = write_first_pack();
    } else {
      int choice = choose();
      if (choice == -2) {
        ok = write_nav_pack();
      } else if (choice >= 0) {
        ok = write_data_pack(choice);
      } else if (!w_.skip_idle_time) {
        SectorBuilder b(sector_);
        begin_pack(b, w_.system_header_every_pack != 0);
        write_padding_packet(b, mpeg2_, b.room());
        ok = write_sector();
      }
      idle = choice == -1 ? idle + 1 : 0;
    }
    if (!ok || io_error_) return false;
    if (cut_pending_) {
      cut_pending_ = false;
      Stream& v = st_[kVideo];
      if (stop_ms_ > 0 && v.vu.pts - vinfo_.earliest_pts >= stop_ms_ * kTicksPerMs) {
        // Sound runs to the end of the last picture shown.
        for (int a = kAudio1; a <= kAudio2; ++a) {
          Stream& s = st_[a];
          s.end_limit = v.shown_until >= 0 ? v.shown_until - s.frame_ticks / 2 : v.vu.pts;
          if (s.loaded && s.au.pts >= s.end_limit) {
            s.loaded = false;
            s.done = true;
          }
        }
        v.loaded = false;
        v.done = true;
      } else {
        // Frames must not straddle files: the partly sent ones end here.
        unit_end_only_ = true;
        for (int a = kAudio1; a <= kAudio2 && ok; ++a) {
          Stream& s = st_[a];
          while (ok && s.present && s.loaded && s.pos > 0) {
            scr_ += pack_ticks_;
            ok = write_data_pack(a);
          }
        }
        unit_end_only_ = false;
        if (!ok || !finish_file(false) || !start_new_file()) return false;
      }
    }
  }
  if (!finish_file(true)) return false;

  unsigned total_under = 0;
  static const char* const kUnder[3] = {"    %u video underflows (SCR >= PTS or DTS)",
                                        "    %u audio 1 underflows (SCR >= PTS)",
                                        "    %u audio 2 underflows (SCR >= PTS)"};
  for (int i = 0; i < 3; ++i) {
    if (st_[i].underflows == 0) continue;
    total_under += st_[i].underflows;
    report_message(ctx_, kUnder[i], st_[i].underflows);
  }
  if (total_under > 0) {
    report_message(ctx_, "NOTE: The resulting file may not play back correctly.");
    if (vcd_ || svcd_) {
      report_message(ctx_, "Try reducing the video bitrate or increasing the video and");
      report_message(ctx_, "audio startup delays.");
    } else {
      report_message(ctx_, "Try increasing the mux rate.");
    }
  }
  unsigned total = 0;
  for (const auto& s : st_) total += s.present ? s.unit_total : 0;
  report_progress(ctx_, 100, "Multiplexing: 100%% - %d of %d  A/V units.", static_cast<int>(total),
                  static_cast<int>(total));
  return true;
}

}  // namespace

std::string split_file_name(const std::string& output, int index) {
  char digits[3] = {static_cast<char>('0' + (index / 10) % 10), static_cast<char>('0' + index % 10), 0};
  auto slash = output.find_last_of('/');
  std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  auto zero = output.find("00", name_start);
  if (zero != std::string::npos) {
    std::string s = output;
    s.replace(zero, 2, digits);
    return s;
  }
  auto dot = output.find_last_of('.');
  if (dot == std::string::npos || dot < name_start) return output + digits;
  return output.substr(0, dot) + digits + output.substr(dot);
}

bool multiplex(EncoderContext& ctx, bool video_selected, bool audio_selected) {
  begin_stage(ctx, kStageMultiplex);
  Multiplexer m(ctx, video_selected, audio_selected);
  std::vector<PendingOutput>& written = m.written();
  if (!m.run()) {
    discard_outputs(written);
    return false;
  }
  if (ctx.hold_outputs) {
    ctx.pending_outputs.insert(ctx.pending_outputs.end(), written.begin(), written.end());
    written.clear();
    return true;
  }
  std::string failed;
  if (!commit_outputs(written, failed)) {
    report_message(ctx, "Unable to open program file %s.", failed.c_str());
    return false;
  }
  return true;
}

}  // namespace corvexa::mpeg::mux
