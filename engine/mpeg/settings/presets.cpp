#include "mpeg/settings/presets.h"

#include <cmath>
#include <cstring>

#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg {

namespace {

constexpr const char* kPresetNames[5][2] = {
    {"MPEG-1 NTSC video and MPEG audio", "MPEG-1 PAL video and MPEG audio"},
    {"MPEG-1 VideoCD NTSC video and MPEG audio", "MPEG-1 VideoCD PAL video and MPEG audio"},
    {"MPEG-2 NTSC video and MPEG audio", "MPEG-2 PAL video and MPEG audio"},
    {"MPEG-2 SuperVCD NTSC video and MPEG audio", "MPEG-2 SuperVCD PAL video and MPEG audio"},
    {"MPEG-2 DVD NTSC video and MPEG audio", "MPEG-2 DVD PAL video and MPEG audio"},
};

// The values in which the ten presets differ, one column per kind and variant.
struct PresetColumn {
  int constrained_parameters_flag, gop_size, aspect_ratio_information, frame_rate_code;
  double frame_rate, bit_rate, max_bit_rate;
  int vbv_buffer_size, constant_bit_rate, vbr_mquant, progressive_sequence;
  int sequence_display_extension, video_format, colour_primaries, transfer_characteristics;
  int display_horizontal_size, display_vertical_size, intra_dc_precision, top_field_first;
  int q_scale_type, intra_vlc_format_i, alternate_scan, progressive_frame, slice_per_row;
  int fixed_vbv_delay, zero_pad_threshold, zero_pad_fill, error_protection, lead_in_delay;
  int startup_delay, sector_size, video_buffer_kb, video_rate_source, pulldown_mode;
  int repeat_sequence_header, mux_rate, dvd_nav_packets, timestamp_policy, skip_idle_time;
  int svcd_scan_offsets, per_file_rules;
};

constexpr double kNtscRate = 30000.0 / 1001.0;

// [kind][pal]
constexpr PresetColumn kColumns[5][2] = {
    {
        {0, 15, 12, 4, kNtscRate, 1800000, 0, 23, 0, 4, 1, 1, 2, 4, 4, 352, 240, 0, 0, 0, 0, 0,
         1, 0, 0, 25, 90, 0, 0, 180, 2048, 46, 2, 0, 0, 0, 0, 0, 1, 0, 1},
        {0, 15, 8, 3, 25.0, 1800000, 0, 23, 0, 4, 1, 1, 1, 5, 5, 352, 288, 0, 0, 0, 0, 0, 1, 0,
         0, 25, 90, 0, 0, 180, 2048, 46, 2, 0, 0, 0, 0, 0, 1, 0, 1},
    },
    {
        {1, 15, 12, 4, kNtscRate, 1150000, 1151929, 20, 1, 4, 1, 1, 2, 4, 4, 352, 240, 0, 0, 0,
         0, 0, 1, 0, 0, 25, 90, 0, 400, 344, 2324, 46, 0, 0, 0, 3528, 0, 0, 0, 0, 1},
        {1, 15, 8, 3, 25.0, 1150000, 1151929, 20, 1, 4, 1, 1, 1, 5, 5, 352, 288, 0, 0, 0, 0, 0,
         1, 0, 0, 25, 90, 0, 400, 344, 2324, 46, 0, 0, 0, 3528, 0, 0, 0, 0, 1},
    },
    {
        {0, 15, 2, 4, kNtscRate, 6000000, 0, 112, 0, 4, 0, 1, 2, 4, 4, 720, 480, 1, 1, 1, 1, 1,
         0, 1, 1, 25, 90, 0, 0, 180, 2048, 224, 2, 3, 0, 0, 0, 0, 1, 0, 1},
        {0, 15, 2, 3, 25.0, 6000000, 0, 112, 0, 4, 0, 1, 1, 5, 5, 720, 576, 1, 1, 1, 1, 1, 0, 1,
         1, 25, 90, 0, 0, 180, 2048, 224, 2, 3, 0, 0, 0, 0, 1, 0, 1},
    },
    {
        {0, 15, 2, 4, kNtscRate, 2300000, 2376000, 112, 0, 10, 0, 0, 2, 4, 4, 720, 480, 1, 1, 1,
         1, 1, 0, 1, 1, 25, 90, 1, 0, 180, 2324, 230, 2, 3, 1, 6972, 0, 0, 1, 1, 1},
        {0, 15, 2, 3, 25.0, 2300000, 2376000, 112, 0, 10, 0, 0, 1, 5, 5, 720, 576, 1, 1, 1, 1,
         1, 0, 1, 1, 25, 90, 1, 0, 180, 2324, 230, 2, 3, 1, 6972, 0, 0, 1, 1, 1},
    },
    {
        {0, 15, 2, 4, kNtscRate, 6000000, 9800000, 112, 0, 4, 0, 1, 2, 4, 4, 720, 480, 1, 1, 1,
         1, 1, 0, 1, 1, 0, 0, 1, 0, 180, 2048, 232, 2, 3, 1, 25200, 1, 2, 1, 0, 0},
        {0, 12, 2, 3, 25.0, 6000000, 9800000, 112, 0, 4, 0, 1, 1, 5, 5, 720, 576, 1, 1, 1, 1, 1,
         0, 1, 1, 0, 0, 1, 0, 180, 2048, 232, 2, 3, 1, 25200, 1, 2, 1, 0, 0},
    },
};

void set_path(char (&field)[kSettingsPathSize], const char* value) {
  std::memset(field, 0, sizeof field);
  std::strncpy(field, value, sizeof field - 1);
}

// Everything the ten presets share.
void apply_common(const EncoderContext& ctx, EncoderSettings& r) {
  r.use_plain_kernels = 0;
  r.verbose = 0;
  r.mux_video = r.mux_audio = 1;
  r.want_video = r.want_audio = 1;
  r.encode_video = r.encode_audio = 1;
  r.keep_video_stream = r.keep_audio_stream = 0;
  r.grey_chroma = 0;
  set_path(r.intra_matrix_file, "");
  set_path(r.non_intra_matrix_file, "");
  set_path(r.spare_path, "");
  r.pulldown = 0;
  r.ip_distance = 3;
  r.reserved_a = 0;
  r.timecode_start = 0;
  std::memset(r.reserved_b, 0, sizeof r.reserved_b);
  r.field_pictures = 0;
  r.sequence_end_code = 1;
  r.svcd_user_data = 0;
  r.avg_bit_rate = 0;
  r.min_bit_rate = 0;
  r.auto_bit_rate = 0;
  r.profile = 4;
  r.level = 8;
  r.chroma_format = 1;
  r.skip_vbv_check = 0;
  r.max_pel_move_x = 3;
  r.max_pel_move_y = 3;
  r.auto_motion = 1;
  r.motion_search_level = 58;
  r.matrix_coefficients = 5;
  r.picture_display_extension = 0;
  r.frame_centre_horizontal_offset = r.frame_centre_vertical_offset = 0;
  for (int t = 0; t < 3; ++t) {
    r.frame_pred_frame_dct[t] = 1;
    r.concealment_motion_vectors[t] = 0;
  }
  r.repeat_first_field = 0;
  r.init_xi = r.init_xp = r.init_xb = 0;
  r.reaction_parameter = 0;
  r.init_d0i = r.init_d0p = r.init_d0b = 0;
  r.reset_pb_fullness = 1;
  r.init_avg_act = 0;
  r.audio_mode = ctx.source.stereo ? 0 : 3;
  r.audio_layer = 2;
  r.psych_model = 2;
  r.audio_bitrate_index = 11;
  r.emphasis = 0;
  r.private_bit = r.copyright = r.original = 0;
  r.packets_per_pack = 1;
  r.audio1_buffer_kb = r.audio2_buffer_kb = 4;
  r.system_header_every_pack = 0;
  r.audio_sector_zero_fill = 0;
  r.write_end_code = 1;
  r.split_size_mb = 0;
  r.mux_start_s = r.mux_stop_s = 0;
}

void apply_column(EncoderSettings& r, int kind, const PresetColumn& c) {
  r.mpeg_type = kind;
  r.constrained_parameters_flag = c.constrained_parameters_flag;
  r.gop_size = c.gop_size;
  r.aspect_ratio_information = c.aspect_ratio_information;
  r.frame_rate_code = c.frame_rate_code;
  r.frame_rate = c.frame_rate;
  r.bit_rate = c.bit_rate;
  r.max_bit_rate = c.max_bit_rate;
  r.vbv_buffer_size = c.vbv_buffer_size;
  r.constant_bit_rate = c.constant_bit_rate;
  r.vbr_mquant = c.vbr_mquant;
  r.progressive_sequence = c.progressive_sequence;
  r.sequence_display_extension = c.sequence_display_extension;
  r.video_format = c.video_format;
  r.colour_primaries = c.colour_primaries;
  r.transfer_characteristics = c.transfer_characteristics;
  r.display_horizontal_size = c.display_horizontal_size;
  r.display_vertical_size = c.display_vertical_size;
  r.intra_dc_precision = c.intra_dc_precision;
  r.top_field_first = c.top_field_first;
  for (int t = 0; t < 3; ++t) {
    r.q_scale_type[t] = c.q_scale_type;
    r.alternate_scan[t] = c.alternate_scan;
    r.intra_vlc_format[t] = t == kIndexI ? c.intra_vlc_format_i : 0;
  }
  r.progressive_frame = c.progressive_frame;
  r.slice_per_row = c.slice_per_row;
  r.fixed_vbv_delay = c.fixed_vbv_delay;
  r.zero_pad_threshold = c.zero_pad_threshold;
  r.zero_pad_fill = c.zero_pad_fill;
  r.error_protection = c.error_protection;
  r.lead_in_delay = c.lead_in_delay;
  r.video_delay = r.audio1_delay = r.audio2_delay = c.startup_delay;
  r.sector_size = c.sector_size;
  r.video_buffer_kb = c.video_buffer_kb;
  r.video_rate_source = c.video_rate_source;
  r.mux_type = kind;
  r.pulldown_mode = c.pulldown_mode;
  r.repeat_sequence_header = c.repeat_sequence_header;
  r.mux_rate = c.mux_rate;
  r.dvd_nav_packets = c.dvd_nav_packets;
  r.timestamp_policy = c.timestamp_policy;
  r.skip_idle_time = c.skip_idle_time;
  r.svcd_scan_offsets = c.svcd_scan_offsets;
  r.reset_timestamps_per_file = c.per_file_rules;
  r.end_code_per_file = c.per_file_rules;
  r.broken_link_per_file = c.per_file_rules;
}

// Maximum vbv_buffer_size of an MPEG-2 level.
int level_vbv_limit(int level) {
  switch (level) {
    case 4: return 597;
    case 6: return 448;
    case 8: return 112;
    default: return 29;
  }
}

constexpr double kSuperVcdRates[15] = {0,       2568000, 2552000, 2544000, 2536000,
                                       2520000, 2504000, 2488000, 2472000, 2440000,
                                       2408000, 2376000, 2344000, 2280000, 2216000};

}  // namespace

int horizontal_f_code(const EncoderSettings& r, int range) {
  if (range < 8) return 1;
  if (range < 16) return 2;
  if (range < 32) return 3;
  if (range < 64 || r.constrained_parameters_flag) return 4;
  if (range < 128) return 5;
  if (range < 256) return 6;
  if (range < 512) return 7;
  if (r.level == 10 || !is_mpeg2(r.mpeg_type)) return 7;
  if (range < 1024 || r.level == 8) return 8;
  // Ranges of 2048 and beyond exceed the largest code; the largest is what
  // comes nearest (validation then refuses the range).
  return 9;
}

int vertical_f_code(const EncoderSettings& r, int range) {
  if (range < 8) return 1;
  if (range < 16) return 2;
  if (range < 32) return 3;
  if (range < 64 || r.level == 10 || r.constrained_parameters_flag) return 4;
  return 5;
}

void derive_motion_rows(EncoderSettings& r) {
  const int m = r.ip_distance;
  const int x = r.max_pel_move_x;
  const int y = r.max_pel_move_y;
  if (m < 1 || m > 16) return;
  for (int i = 1; i < m; ++i) {
    int* row = r.motion_ranges[i];
    row[kFwdRangeH] = i * x;
    row[kFwdRangeV] = i * y;
    row[kBwdRangeH] = (m - i) * x;
    row[kBwdRangeV] = (m - i) * y;
    row[kFwdFcodeH] = horizontal_f_code(r, row[kFwdRangeH]);
    row[kFwdFcodeV] = vertical_f_code(r, row[kFwdRangeV]);
    row[kBwdFcodeH] = horizontal_f_code(r, row[kBwdRangeH]);
    row[kBwdFcodeV] = vertical_f_code(r, row[kBwdRangeV]);
  }
  int* p = r.motion_ranges[0];
  p[kFwdRangeH] = m * x;
  p[kFwdRangeV] = m * y;
  p[kFwdFcodeH] = horizontal_f_code(r, p[kFwdRangeH]);
  p[kFwdFcodeV] = vertical_f_code(r, p[kFwdRangeV]);
}

void recompute_rates(EncoderContext& ctx, EncoderSettings& r) {
  const int w = ctx.source.width;
  const int h = ctx.source.height;
  if (!r.auto_bit_rate || w <= 0 || h <= 0) return;
  if (r.mpeg_type == kVideoCd) {
    r.bit_rate = 1150000;
    r.vbv_buffer_size = 20;
    r.video_buffer_kb = 46;
    return;
  }
  if (r.mpeg_type == kSuperVcd) {
    r.vbv_buffer_size = 112;
    r.video_buffer_kb = 230;
    int index = r.audio_bitrate_index;
    r.bit_rate = (index >= 0 && index <= 14) ? kSuperVcdRates[index] : 0;
    return;
  }
  r.bit_rate = std::floor(h * r.frame_rate * w * 0.74);
  int vbv = static_cast<int>(std::floor(r.bit_rate * 0.20343 / 16384));
  int cap = is_mpeg2(r.mpeg_type) ? level_vbv_limit(r.level) : 1023;
  r.vbv_buffer_size = vbv > cap ? cap : vbv;
  r.video_buffer_kb = r.mux_type < kDvd ? 2 * r.vbv_buffer_size : 232;
}

void fix_video_extension(std::string& name, int mpeg_type) {
  if (name.empty()) return;
  std::size_t dot = name.rfind('.');
  std::size_t slash = name.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return;
  std::string ext = name.substr(dot);
  if (is_mpeg2(mpeg_type) && ext == ".m1v") name[dot + 2] = '2';
  if (!is_mpeg2(mpeg_type) && ext == ".m2v") name[dot + 2] = '1';
}

int apply_preset(EncoderContext& ctx, EncoderSettings& record, int kind, bool pal) {
  if (kind < 0 || kind > 4) return 0;
  apply_common(ctx, record);
  apply_column(record, kind, kColumns[kind][pal ? 1 : 0]);
  set_path(record.preset_name, kPresetNames[kind][pal ? 1 : 0]);
  derive_motion_rows(record);
  recompute_rates(ctx, record);
  fix_video_extension(ctx.video_file, record.mpeg_type);
  return 0;
}

}  // namespace corvexa::mpeg
