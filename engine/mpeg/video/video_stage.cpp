#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/stages.h"
#include "mpeg/video/bounded_rate.h"
#include "mpeg/video/frame_input.h"
#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg {

namespace video {
namespace {

constexpr int kSecondWindow[9] = {25, 24, 24, 25, 30, 30, 50, 60, 60};

bool allocate_store(VideoEncoder& e, PictureStore& p, int comp, const char* message) {
  const std::size_t size = comp == 0
                               ? static_cast<std::size_t>(e.coded_width) * e.coded_height
                               : static_cast<std::size_t>(e.chroma_width) * e.chroma_height;
  try {
    p.plane[comp].assign(size, comp == 0 ? 0 : 128);
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "%s", message);
    return false;
  }
  return true;
}

void set_geometry(VideoEncoder& e) {
  const WorkingSettings& s = e.s;
  e.mpeg1 = !is_mpeg2(s.mpeg_type);
  e.horizontal_size = e.ctx.source.width & ~1;
  e.vertical_size = e.ctx.source.height & ~1;
  e.mb_cols = (e.horizontal_size + 15) / 16;
  e.mb_rows = s.progressive_sequence ? (e.vertical_size + 15) / 16
                                     : 2 * ((e.vertical_size + 31) / 32);
  e.mb_rows_pic = s.field_pictures ? e.mb_rows / 2 : e.mb_rows;
  e.coded_width = 16 * e.mb_cols;
  e.coded_height = 16 * e.mb_rows;
  e.chroma_width = s.chroma_format == 3 ? e.coded_width : e.coded_width / 2;
  e.chroma_height = s.chroma_format == 1 ? e.coded_height / 2 : e.coded_height;
  if (s.field_pictures) {
    e.line_stride = 2 * e.coded_width;
    e.pic_height = e.coded_height / 2;
    e.chroma_stride = 2 * e.chroma_width;
  } else {
    e.line_stride = e.coded_width;
    e.pic_height = e.coded_height;
    e.chroma_stride = e.chroma_width;
  }
  e.blocks_per_mb = s.chroma_format == 1 ? 6 : (s.chroma_format == 2 ? 8 : 12);
}

bool allocate_stores(VideoEncoder& e) {
  struct Store {
    PictureStore* p;
    const char* message;
  };
  const Store stores[] = {{&e.new_ref, "Cannot allocate memory for new ref frame."},
                          {&e.old_ref, "Cannot allocate memory for old ref frame."},
                          {&e.aux, "Cannot allocate memory for aux frame."},
                          {&e.new_org, "Cannot allocate memory for new org frame."},
                          {&e.old_org, "Cannot allocate memory for old org frame."},
                          {&e.aux_org, "Cannot allocate memory for aux org frame."},
                          {&e.pred, "Cannot allocate memory for pred frame."}};
  for (int comp = 0; comp < 3; ++comp)
    for (const Store& st : stores)
      if (!allocate_store(e, *st.p, comp, st.message)) return false;
  const std::size_t mbs = static_cast<std::size_t>(e.mb_cols) * e.mb_rows_pic;
  try {
    e.mb_info.assign(mbs, MacroblockInfo{});
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for mb info.");
    return false;
  }
  try {
    e.blocks.assign(mbs * static_cast<std::size_t>(e.blocks_per_mb) * 64, 0);
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for blocks.");
    return false;
  }
  return true;
}

// Appends where the coming sequence header's bit_rate_value lies.
bool note_header_position(VideoEncoder& e) {
  if (e.max_rate_file == nullptr) return true;
  const std::uint32_t pos = static_cast<std::uint32_t>(std::floor(e.bs.bits_written() / 8.0)) + 8;
  if (std::fwrite(&pos, 4, 1, e.max_rate_file) != 1) {
    report_message(e.ctx, "Unable to write to temporary max bitrate file.");
    return false;
  }
  return true;
}

bool write_sequence_headers(VideoEncoder& e) {
  e.bs.byte_align();
  if (!note_header_position(e)) return false;
  write_sequence_header(e);
  if (!e.mpeg1) {
    write_sequence_extension(e);
    if (e.s.sequence_display_extension) write_sequence_display_extension(e);
  }
  return true;
}

void frame_statistics(VideoEncoder& e) {
  Statistics& st = e.stats;
  const double now = e.bs.bits_written();
  const double bits = std::floor(now - st.frame_start_bits);
  st.max_frame_bits = std::max(st.max_frame_bits, bits);
  st.min_frame_bits = std::min(st.min_frame_bits, bits);
  ++st.frames;
  const int code = e.s.frame_rate_code;
  const int window = code >= 1 && code <= 8 ? kSecondWindow[code] : 25;
  if (++st.frames_in_second >= window) {
    const double second = std::floor(now - st.second_start_bits);
    st.max_second_bits = std::max(st.max_second_bits, second);
    st.min_second_bits = std::min(st.min_second_bits, second);
    st.frames_in_second = 0;
    st.second_start_bits = now;
  }
  st.frame_start_bits = now;
}

// Rewrites bit_rate_value in every sequence header with the measured peak.
bool embed_max_bitrate(VideoEncoder& e) {
  std::FILE* video = std::fopen(e.ctx.video_file.c_str(), "r+b");
  if (video == nullptr) {
    report_message(e.ctx, "Unable to open video stream.");
    return false;
  }
  std::FILE* positions = std::fopen(e.max_rate_name.c_str(), "rb");
  if (positions == nullptr) {
    std::fclose(video);
    report_message(e.ctx, "Unable to open temporary max bitrate file.");
    return false;
  }
  long size = -1;
  if (std::fseek(positions, 0, SEEK_END) == 0) size = std::ftell(positions);
  if (size < 0 || std::fseek(positions, 0, SEEK_SET) != 0) {
    std::fclose(video);
    std::fclose(positions);
    report_message(e.ctx, "Unable to get size of temporary max bitrate file.");
    return false;
  }
  report_message(e.ctx, "Embedding max bitrate value in sequence headers ...");
  // A run shorter than one second has no full second measured; its average
  // stands in, as bit_rate_value 0 is forbidden.
  double peak = e.stats.max_second_bits;
  if (peak <= 0 && e.stats.frames > 0) peak = e.bs.bits_written() * e.s.frame_rate / e.stats.frames;
  const std::uint32_t v =
      std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::ceil(peak * 0.0025)));
  const std::uint8_t bytes[3] = {
      static_cast<std::uint8_t>(v >> 10), static_cast<std::uint8_t>((v >> 2) & 0xFF),
      static_cast<std::uint8_t>(((v & 3) << 6) | 0x20 | ((e.s.vbv_buffer_size >> 5) & 0x1F))};
  const long n = size / 4;
  bool ok = true;
  for (long k = 0; k < n && ok; ++k) {
    report_progress(e.ctx, static_cast<int>(100 * k / n), "Embedding max bitrate values: %d%% - %ld of %ld.",
                    static_cast<int>(100 * k / n), k, n);
    std::uint32_t offset = 0;
    if (std::fread(&offset, 4, 1, positions) != 1) {
      report_message(e.ctx, "Unable to read from temporary max bitrate file.");
      ok = false;
    } else if (std::fseek(video, static_cast<long>(offset), SEEK_SET) != 0) {
      report_message(e.ctx, "Unable to seek in video stream, offset = %u.", offset);
      ok = false;
    } else if (std::fwrite(bytes, 1, 3, video) != 3) {
      report_message(e.ctx, "Unable to write to video stream");
      ok = false;
    }
  }
  if (std::fclose(video) != 0 && ok) {
    report_message(e.ctx, "Unable to write to video stream");
    ok = false;
  }
  std::fclose(positions);
  return ok;
}

void report_summary(VideoEncoder& e) {
  const Statistics& st = e.stats;
  const bool cbr = e.s.constant_bit_rate != 0;
  const double per_second = st.frames > 0 ? e.s.frame_rate / st.frames : 0.0;
  if (cbr && !e.s.verbose) {
    if (st.vbv_overflows) report_message(e.ctx, "   VBV delay overflows = %d", st.vbv_overflows);
    if (st.vbv_underflows) report_message(e.ctx, "   VBV delay underflows = %d", st.vbv_underflows);
  }
  report_message(e.ctx, "   Min bitrate of any one frame = %u bits",
                 static_cast<unsigned>(st.min_frame_bits));
  report_message(e.ctx, "   Max bitrate of any one frame = %u bits",
                 static_cast<unsigned>(st.max_frame_bits));
  report_message(e.ctx, "   Min bitrate over any one second = %u bps",
                 static_cast<unsigned>(st.min_second_bits));
  report_message(e.ctx, "   Avg bitrate over any one second = %.0f bps",
                 st.frames > 0 ? e.bs.bits_written() * e.s.frame_rate / st.frames : 0.0);
  report_message(e.ctx, "   Max bitrate over any one second = %u bps",
                 static_cast<unsigned>(st.max_second_bits));
  if (!cbr) return;
  if (st.padding_bits > 0) {
    report_message(e.ctx, "   Avg padding bits over any one second = %.0f", st.padding_bits * per_second);
    report_message(e.ctx, "   Max padding in any one frame = %u bits",
                   static_cast<unsigned>(st.max_padding_bits));
  }
  report_message(e.ctx, "   Avg header bits over any one second = %.0f", st.header_bits * per_second);
  report_message(e.ctx, "   Min mquant = %u", static_cast<unsigned>(st.min_mquant));
  report_message(e.ctx, "   Avg mquant = %.3f",
                 st.mquant_count > 0 ? st.mquant_sum / static_cast<double>(st.mquant_count) : 0.0);
  report_message(e.ctx, "   Max mquant = %u", static_cast<unsigned>(st.max_mquant));
}

// The run entry validates the settings; the stage still refuses values that
// would take its own arithmetic or tables out of range.
// f_codes and search ranges of the coming picture from a row of the motion
// table; a picture without backward vectors gets the unused code 15.
void take_vector_ranges(VideoEncoder& e, const int* row, bool backward) {
  e.f_code[0][0] = row[kFwdFcodeH];
  e.f_code[0][1] = row[kFwdFcodeV];
  e.search[0][0] = row[kFwdRangeH];
  e.search[0][1] = row[kFwdRangeV];
  if (!backward) {
    e.f_code[1][0] = e.f_code[1][1] = 15;
    return;
  }
  e.f_code[1][0] = row[kBwdFcodeH];
  e.f_code[1][1] = row[kBwdFcodeV];
  e.search[1][0] = row[kBwdRangeH];
  e.search[1][1] = row[kBwdRangeV];
}

bool settings_usable(const VideoEncoder& e) {
  const WorkingSettings& s = e.s;
  const int m = s.ip_distance;
  if (s.gop_size < 1 || s.gop_size > 1024 || m < 1 || m > 16 || m > s.gop_size) return false;
  if (s.chroma_format < 1 || s.chroma_format > 3 || (e.mpeg1 && s.chroma_format != 1))
    return false;
  if (s.intra_dc_precision < 0 || s.intra_dc_precision > 3) return false;
  if (s.vbr_mquant < 1 || s.vbr_mquant > 31 || !(s.frame_rate > 0)) return false;
  if (e.horizontal_size > 4095 || e.vertical_size > 4095) return false;
  // Field pictures exist only in interlaced MPEG-2, and the pulldown flags
  // belong to frame pictures.
  if (s.field_pictures &&
      (e.mpeg1 || s.progressive_sequence || s.pulldown == 1 || s.pulldown == 2))
    return false;
  // 3:2 pulldown repeats fields through the picture coding extension, which
  // only interlaced MPEG-2 sequences have.
  if ((s.pulldown == 1 || s.pulldown == 2) && (e.mpeg1 || s.progressive_sequence)) return false;
  for (int row = 0; row < m; ++row) {
    for (int col : {kFwdFcodeH, kFwdFcodeV, kBwdFcodeH, kBwdFcodeV}) {
      if (row == 0 && col >= kBwdFcodeH) continue;
      const int f = s.motion_ranges[row][col];
      if (f < 1 || f > (e.mpeg1 ? 7 : 9)) return false;
      const int range = s.motion_ranges[row][col + 2];
      if (range < 0 || range > (4 << f) - 1) return false;
    }
  }
  return true;
}

class Run {
 public:
  explicit Run(EncoderContext& ctx) : e_(ctx), input_(e_) {}
  ~Run() {
    cleanup();
    if (!e_.max_rate_name.empty()) std::remove(e_.max_rate_name.c_str());
  }
  bool execute();

 private:
  bool set_up();
  bool loop();
  bool code_picture(int f, int gop_start);
  bool code_one_picture();
  void cleanup();
  void notify_reconstruction();

  VideoEncoder e_;
  FrameInput input_;
  std::unique_ptr<BoundedRate> bounded_;
  std::time_t start_ = 0;
  bool cleaned_ = false;
  bool source_error_ = false;
};

void Run::cleanup() {
  if (cleaned_) return;
  cleaned_ = true;
  e_.pool.stop();
  e_.bs.close();
  input_.release();
  if (e_.max_rate_file != nullptr) std::fclose(e_.max_rate_file);
  e_.max_rate_file = nullptr;
  for (PictureStore* p : {&e_.new_ref, &e_.old_ref, &e_.aux, &e_.new_org, &e_.old_org,
                          &e_.aux_org, &e_.pred})
    for (auto& plane : p->plane) std::vector<std::uint8_t>().swap(plane);
  std::vector<MacroblockInfo>().swap(e_.mb_info);
  std::vector<std::int16_t>().swap(e_.blocks);
  std::vector<std::unique_ptr<CodedSlice>>().swap(e_.slices);
}

bool Run::set_up() {
  EncoderContext& ctx = e_.ctx;
  WorkingSettings& s = e_.s;
  if (ctx.video_file.empty() || !e_.bs.open(ctx, ctx.video_file)) {
    if (ctx.video_file.empty()) report_message(ctx, "Unable to open file %s for writing.", "");
    return false;
  }
  if (!load_quant_matrices(e_)) return false;
  set_geometry(e_);
  if (e_.horizontal_size <= 0 || e_.vertical_size <= 0) {
    report_message(ctx, "Invalid picture size %dx%d.", ctx.source.width, ctx.source.height);
    return false;
  }
  if (!settings_usable(e_)) {
    report_message(ctx, "Invalid video encoder settings.");
    return false;
  }
  e_.nframes = ctx.source.last_frame - ctx.source.first_frame + 1;
  if (e_.nframes <= 0) {
    report_message(ctx, "No frames to encode.");
    return false;
  }
  if (!e_.mpeg1 && !s.constant_bit_rate && s.max_bit_rate == 0) {
    // Beside the video stream, not in whatever folder the process runs in.
    std::string name;
    const int fd = create_unique_file(folder_of(ctx.video_file), ".maxrate", name);
    if (fd >= 0) {
      e_.max_rate_name = name;
      e_.max_rate_file = ::fdopen(fd, "wb");
    }
    if (e_.max_rate_file == nullptr) {
      if (fd >= 0) ::close(fd);
      report_message(ctx, "Could not create temporary max bitrate output file.");
      return false;
    }
  }
  if (!allocate_stores(e_)) return false;
  e_.pool.start(row_workers(e_, e_.mb_rows_pic));
  if (!input_.allocate()) return false;
  e_.variable_search = s.motion_search_level >= 8;
  if (e_.variable_search) {
    if (!allocate_motion_buffers(e_)) return false;
    e_.coarse_fwd = s.motion_search_level / 4;
    e_.coarse_bwd = e_.coarse_fwd * 3 / 4;
  }
  start_ = std::time(nullptr);
  e_.k = kernel_table(ctx.kernel_class, s.use_plain_kernels != 0);
  e_.rc = s.constant_bit_rate ? make_constant_rate_control() : make_fixed_quantiser_control();
  e_.rc->sequence_start(e_);
  e_.stats = Statistics{};
  if (!write_sequence_headers(e_)) return false;
  if (BoundedRate::wanted(s)) {
    bounded_ = std::make_unique<BoundedRate>();
    if (!bounded_->start(e_)) return false;
  }
  return true;
}

void Run::notify_reconstruction() {
  VideoReconstructionObserver* o = e_.ctx.video_observer;
  if (o == nullptr) return;
  const PictureStore& p = *e_.cur_ref;
  const int cf = e_.s.chroma_format;
  o->Picture(e_.display_frame, p.plane[0].data(), p.plane[1].data(), p.plane[2].data(),
             e_.horizontal_size, e_.vertical_size,
             cf == 3 ? e_.horizontal_size : e_.horizontal_size / 2,
             cf == 1 ? e_.vertical_size / 2 : e_.vertical_size, e_.coded_width, e_.chroma_width);
}

bool Run::code_picture(int f, int gop_start) {
  VideoEncoder& e = e_;
  const WorkingSettings& s = e.s;
  e.display_frame = f;
  e.temp_ref = f - gop_start;
  if (s.pulldown == 1 || s.pulldown == 2) {
    static const int kCadence[2][4][2] = {{{1, 0}, {1, 1}, {0, 0}, {0, 1}},
                                          {{1, 1}, {0, 0}, {0, 1}, {1, 0}}};
    const int phase = (e.ctx.source.first_frame + f) & 3;
    e.progressive_frame = 1;
    e.top_field_first = kCadence[s.pulldown - 1][phase][0];
    e.repeat_first_field = kCadence[s.pulldown - 1][phase][1];
  } else {
    e.progressive_frame = s.progressive_frame;
    e.top_field_first = s.top_field_first;
    e.repeat_first_field = s.repeat_first_field;
  }
  if (!s.field_pictures) {
    e.pict_struct = kFramePicture;
    e.second_field = e.ip_field = false;
    if (!code_one_picture()) return false;
  } else {
    // Two field pictures, the first in display order first; the second field
    // of an I frame is a P field predicted from the first.
    e.repeat_first_field = 0;
    e.pict_struct = e.top_field_first ? kTopField : kBottomField;
    e.second_field = e.ip_field = false;
    if (!code_one_picture()) return false;
    e.pict_struct = e.pict_struct == kTopField ? kBottomField : kTopField;
    e.second_field = true;
    if (e.pict_type == kPictureI) {
      e.pict_type = kPictureP;
      e.ip_field = true;
      take_vector_ranges(e, s.motion_ranges[0], false);
    }
    if (!code_one_picture()) return false;
  }
  notify_reconstruction();
  frame_statistics(e);
  return true;
}

bool Run::code_one_picture() {
  VideoEncoder& e = e_;
  const WorkingSettings& s = e.s;
  const int type_index = e.pict_type - 1;
  e.frame_pred_dct = e.mpeg1 ? 1 : s.frame_pred_frame_dct[type_index];
  // Progressive frames (pulldown) allow frame prediction and DCT only; field
  // pictures always signal their motion type.
  if (e.progressive_frame && e.pict_struct == kFramePicture) e.frame_pred_dct = 1;
  if (e.pict_struct != kFramePicture) e.frame_pred_dct = 0;
  e.q_scale_type = e.mpeg1 ? 0 : s.q_scale_type[type_index];
  e.intra_vlc_format = e.mpeg1 ? 0 : s.intra_vlc_format[type_index];
  e.altscan = e.mpeg1 ? 0 : s.alternate_scan[type_index];
  e.largest = LargestVectors{};
  if (e.mpeg1)
    for (int dir = 0; dir < 2; ++dir)
      if (e.f_code[dir][0] != 15) e.f_code[dir][0] = e.f_code[dir][1] = std::max(e.f_code[dir][0], e.f_code[dir][1]);
  if (!motion_estimation(e)) return false;
  if (e.variable_search) derive_f_codes(e);
  if (rows_coded_apart(e)) return code_picture_by_rows(e);
  predict_and_transform(e);
  if (!write_picture(e)) return false;
  inverse_transform(e);
  return true;
}

bool Run::loop() {
  VideoEncoder& e = e_;
  EncoderContext& ctx = e.ctx;
  const WorkingSettings& s = e.s;
  const int n_gop = s.gop_size, m = s.ip_distance;
  const int first_frame = ctx.source.first_frame;
  double rate = 0;
  int hours = 0, minutes = 0;
  for (int i = 0;; ++i) {
    // A bounded-rate GOP is measured where the next one starts (and at the
    // end) and may be coded again from its first picture.
    if (bounded_ && i > 0 &&
        (i >= e.nframes || i == std::max(0, n_gop * ((i + m - 1) / n_gop) - (m - 1)))) {
      if (!bounded_->gop_boundary(e, i, i)) return false;
    }
    if (i >= e.nframes) break;
    if (stop_requested(ctx)) return false;
    if (e.bs.failed()) {
      report_message(ctx, "Unable to write to video stream %s.", ctx.video_file.c_str());
      return false;
    }
    const int percent = static_cast<int>(100LL * i / e.nframes);
    if (i >= 10 && i % 10 == 0) {
      const double elapsed = std::max(1.0, std::difftime(std::time(nullptr), start_));
      rate = i / elapsed;
      const int total = static_cast<int>(std::floor(e.nframes / rate + 0.5));
      const int left = std::max(0, total - static_cast<int>(elapsed));
      hours = left / 3600;
      minutes = (left / 60) % 60;
    }
    const double current_mb = e.bs.bits_written() / 8388608.0;
    report_progress(ctx, std::min(percent, 99),
                    "Video: %d%% - frame %d of %d,  %.1ffps,  %dhr %dmin left,  cur/est size: %.0f/%.0fMB",
                    percent, i, e.nframes, rate, hours, minutes, current_mb,
                    i > 0 ? e.nframes / static_cast<double>(i) * current_mb : 0.0);

    const int gop_start = std::max(0, n_gop * ((i + m - 1) / n_gop) - (m - 1));
    int f;
    if (i == 0 || (i - 1) % m == 0) {
      std::swap(e.old_ref, e.new_ref);
      std::swap(e.old_org, e.new_org);
      e.cur_org = &e.new_org;
      e.cur_ref = &e.new_ref;
      f = i == 0 ? 0 : std::min(i + m - 1, e.nframes - 1);
      if (i == gop_start) {
        e.pict_type = kPictureI;
        e.f_code[0][0] = e.f_code[0][1] = e.f_code[1][0] = e.f_code[1][1] = 15;
        const GopCounts g = gop_counts(gop_start, n_gop, m, e.nframes);
        if (s.constant_bit_rate) e.rc->gop_start(e, g.np, g.nb);
        if (i > 0 && !write_sequence_headers(e)) return false;
        write_gop_header(e, gop_start, i == 0);
      } else {
        e.pict_type = kPictureP;
        take_vector_ranges(e, s.motion_ranges[0], false);
      }
    } else {
      e.pict_type = kPictureB;
      e.cur_org = &e.aux_org;
      e.cur_ref = &e.aux;
      f = i - 1;
      take_vector_ranges(e, s.motion_ranges[(i - 2) % m + 1], true);
    }
    if (!input_.fetch(first_frame + f, *e.cur_org)) {
      if (i == 0) return false;
      if (input_.source_failed()) {
        // A source error leaves a complete, shorter stream, but the run
        // does not count as a success.
        source_error_ = true;
        break;
      }
      // The input ended early: code the last frame that exists instead, or
      // close the sequence when every frame is coded.
      if (i >= e.nframes) break;
      f = std::min(f, e.nframes - 1);
      if (!input_.fetch(first_frame + f, *e.cur_org)) return false;
    }
    if (!code_picture(f, gop_start)) return false;
  }
  return true;
}

bool Run::execute() {
  if (!set_up()) return false;
  const bool coded = loop();
  if (bounded_) bounded_->finish(e_);
  if (!coded) return false;
  if (e_.s.sequence_end_code) write_sequence_end(e_);
  const bool written = e_.bs.close() && !e_.bs.failed();
  if (!written) report_message(e_.ctx, "Unable to write to video stream %s.", e_.ctx.video_file.c_str());
  const bool embed = e_.max_rate_file != nullptr;
  cleanup();
  if (!written) return false;
  report_summary(e_);
  const double elapsed = std::max(0.0, std::difftime(std::time(nullptr), start_));
  const int secs = static_cast<int>(elapsed);
  const int frames = e_.stats.frames;
  report_progress(e_.ctx, 100, "Video: 100%% - frame %u of %u.", static_cast<unsigned>(frames),
                  static_cast<unsigned>(frames));
  report_message(e_.ctx,
                 "   Total time: %d seconds (%02d:%02d:%02d), %.2f frames/sec, %.3f sec/frame.",
                 secs, secs / 3600, (secs / 60) % 60, secs % 60,
                 secs > 0 ? frames / elapsed : 0.0, frames > 0 ? elapsed / frames : 0.0);
  if (embed && !embed_max_bitrate(e_)) return false;
  return !source_error_;
}

}  // namespace
}  // namespace video

bool encode_video_stream(EncoderContext& ctx) {
  begin_stage(ctx, kStageVideo);
  video::Run run(ctx);
  const bool ok = run.execute();
  return ok;
}

}  // namespace corvexa::mpeg
