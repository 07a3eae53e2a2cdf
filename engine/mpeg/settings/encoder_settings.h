// The encoding package's settings record: everything that describes one run.
// Field names are shared by the video encoder, the audio encoder and the
// multiplexer. Presets fill it; the facade's setters overwrite single fields.
#pragma once

#include <cstdint>

namespace corvexa::mpeg {

inline constexpr int kSettingsPathSize = 260;

// mpeg_type / mux_type values.
enum MpegType : std::int32_t {
  kMpeg1 = 0,
  kVideoCd = 1,
  kMpeg2 = 2,
  kSuperVcd = 3,
  kDvd = 4,
};

inline bool is_mpeg2(std::int32_t mpeg_type) { return mpeg_type > kVideoCd; }

// Picture-type index of the per-type arrays.
enum PictureTypeIndex { kIndexI = 0, kIndexP = 1, kIndexB = 2 };

// One row of motion_ranges: forward then backward f_codes and search ranges.
enum MotionRangeColumn {
  kFwdFcodeH = 0, kFwdFcodeV = 1, kFwdRangeH = 2, kFwdRangeV = 3,
  kBwdFcodeH = 4, kBwdFcodeV = 5, kBwdRangeH = 6, kBwdRangeV = 7,
};

struct EncoderSettings {
  // Job and stream selection.
  std::int32_t use_plain_kernels;
  std::int32_t verbose;
  std::int32_t mux_video, mux_audio;
  std::int32_t want_video, want_audio;
  std::int32_t encode_video, encode_audio;
  std::int32_t keep_video_stream, keep_audio_stream;
  std::int32_t grey_chroma;
  char preset_name[kSettingsPathSize];
  char intra_matrix_file[kSettingsPathSize];
  char non_intra_matrix_file[kSettingsPathSize];
  char spare_path[kSettingsPathSize];

  // Video sequence and rate.
  std::int32_t mpeg_type;
  std::int32_t pulldown;
  std::int32_t constrained_parameters_flag;
  std::int32_t gop_size;
  std::int32_t ip_distance;
  std::int32_t reserved_a;
  std::int32_t timecode_start;
  std::int32_t reserved_b[4];
  std::int32_t field_pictures;
  std::int32_t sequence_end_code;
  std::int32_t svcd_user_data;
  std::int32_t aspect_ratio_information;
  std::int32_t frame_rate_code;
  double frame_rate;
  double bit_rate;
  double max_bit_rate;
  double avg_bit_rate;
  double min_bit_rate;
  std::int32_t auto_bit_rate;
  std::int32_t vbv_buffer_size;
  std::int32_t constant_bit_rate;
  std::int32_t vbr_mquant;
  std::int32_t profile;
  std::int32_t level;
  std::int32_t progressive_sequence;
  std::int32_t chroma_format;
  std::int32_t skip_vbv_check;
  std::int32_t motion_ranges[16][8];
  std::int32_t max_pel_move_x, max_pel_move_y;
  std::int32_t auto_motion;
  std::int32_t motion_search_level;

  // Video display and coding tools.
  std::int32_t sequence_display_extension;
  std::int32_t video_format;
  std::int32_t colour_primaries;
  std::int32_t transfer_characteristics;
  std::int32_t matrix_coefficients;
  std::int32_t display_horizontal_size, display_vertical_size;
  std::int32_t intra_dc_precision;
  std::int32_t top_field_first;
  std::int32_t picture_display_extension;
  std::int32_t frame_centre_horizontal_offset, frame_centre_vertical_offset;
  std::int32_t frame_pred_frame_dct[3];
  std::int32_t concealment_motion_vectors[3];
  std::int32_t q_scale_type[3];
  std::int32_t intra_vlc_format[3];
  std::int32_t alternate_scan[3];
  std::int32_t repeat_first_field;
  std::int32_t progressive_frame;
  std::int32_t slice_per_row;

  // Rate control (0 = computed by the encoder).
  std::int32_t init_xi, init_xp, init_xb;
  std::int32_t reaction_parameter;
  std::int32_t init_d0i, init_d0p, init_d0b;
  std::int32_t reset_pb_fullness;
  std::int32_t init_avg_act;
  std::int32_t fixed_vbv_delay;
  std::int32_t zero_pad_threshold;
  std::int32_t zero_pad_fill;

  // Audio.
  std::int32_t audio_mode;
  std::int32_t audio_layer;
  std::int32_t psych_model;
  std::int32_t audio_bitrate_index;
  std::int32_t emphasis;
  std::int32_t private_bit, error_protection, copyright, original;

  // Multiplexing (times in milliseconds, sizes in bytes unless stated).
  std::int32_t lead_in_delay;
  std::int32_t video_delay, audio1_delay, audio2_delay;
  std::int32_t sector_size;
  std::int32_t packets_per_pack;
  std::int32_t audio1_buffer_kb, audio2_buffer_kb, video_buffer_kb;
  std::int32_t system_header_every_pack;
  std::int32_t video_rate_source;
  std::int32_t mux_type;
  std::int32_t pulldown_mode;
  std::int32_t audio_sector_zero_fill;
  std::int32_t repeat_sequence_header;
  std::int32_t mux_rate;
  std::int32_t dvd_nav_packets;
  std::int32_t timestamp_policy;
  std::int32_t skip_idle_time;
  std::int32_t write_end_code;
  std::int32_t svcd_scan_offsets;
  std::int32_t split_size_mb;
  std::int32_t mux_start_s, mux_stop_s;
  std::int32_t reset_timestamps_per_file;
  std::int32_t end_code_per_file;
  std::int32_t broken_link_per_file;
};

// The working state's image of the record: the same fields, except that the
// initial average activity is held as a double.
struct WorkingSettings : EncoderSettings {
  double avg_act_initial = 0.0;
};

}  // namespace corvexa::mpeg
