#include "mpeg/settings/validation.h"

#include <initializer_list>

namespace corvexa::mpeg {

namespace {

constexpr LevelLimits kLevels[] = {
    {4, 9, 5, 1920, 1152, 62668800, 80e6, 597},
    {6, 9, 5, 1440, 1152, 47001600, 60e6, 448},
    {8, 8, 5, 720, 576, 10368000, 15e6, 112},
    {10, 7, 4, 352, 288, 3041280, 4e6, 29},
};

bool in(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Calls `check(f_code_h, f_code_v, range_h, range_v)` for every half of the
// motion rows that the GOP structure uses.
template <class Check>
bool all_used_vectors(const EncoderSettings& r, Check check) {
  for (int i = 0; i < r.ip_distance; ++i) {
    const int* row = r.motion_ranges[i];
    if (!check(row[kFwdFcodeH], row[kFwdFcodeV], row[kFwdRangeH], row[kFwdRangeV])) return false;
    if (i >= 1 &&
        !check(row[kBwdFcodeH], row[kBwdFcodeV], row[kBwdRangeH], row[kBwdRangeV]))
      return false;
  }
  return true;
}

bool profile_allows_level(int profile, int level) {
  switch (profile) {
    case 1: return level == 4 || level == 6 || level == 8;
    case 4: return true;
    case 5: return level == 8;
    default: return false;
  }
}

}  // namespace

const LevelLimits* level_limits(int level) {
  for (const LevelLimits& l : kLevels)
    if (l.level == level) return &l;
  return nullptr;
}

bool validate_video(const EncoderSettings& r, int width, int height) {
  const bool mpeg2 = is_mpeg2(r.mpeg_type);
  const int m = r.ip_distance;

  if (!in(r.gop_size, 1, 32) || !in(m, 1, 16) || r.gop_size % m != 0) return false;

  if (!in(r.aspect_ratio_information, 1, mpeg2 ? 4 : 14)) return false;
  if (!in(r.frame_rate_code, 1, 8)) return false;
  if (!(r.bit_rate > 0) || r.bit_rate > (mpeg2 ? 429496729200.0 : 104857200.0)) return false;
  if (!in(r.vbv_buffer_size, 1, mpeg2 ? 262143 : 1023)) return false;
  if (!in(r.chroma_format, 1, 3) || !in(r.video_format, 0, 4)) return false;
  for (int c : {r.colour_primaries, r.transfer_characteristics, r.matrix_coefficients})
    if (!in(c, 1, 7) || c == 3) return false;
  if (!in(r.display_horizontal_size, 0, 16383) || !in(r.display_vertical_size, 0, 16383))
    return false;
  if (!in(r.intra_dc_precision, 0, 3)) return false;
  const int max_f_code = mpeg2 ? 9 : 7;
  if (!all_used_vectors(r, [&](int fh, int fv, int rh, int rv) {
        return in(fh, 1, max_f_code) && in(fv, 1, max_f_code) && rh > 0 && rv > 0;
      }))
    return false;

  if (!mpeg2 && r.constrained_parameters_flag) {
    const int mbs = ((width + 15) / 16) * ((height + 15) / 16);
    if (width > 768 || height > 576 || mbs > 396 || mbs * r.frame_rate > 9900 ||
        r.frame_rate > 30)
      return false;
    if (!all_used_vectors(r, [](int fh, int fv, int, int) { return fh <= 4 && fv <= 4; }))
      return false;
  }

  if (mpeg2) {
    const LevelLimits* level = level_limits(r.level);
    if (level == nullptr || !profile_allows_level(r.profile, r.level)) return false;
    if (r.profile == 5 && m != 1) return false;
    if (r.profile != 1 && r.chroma_format != 1) return false;
    if (r.profile == 1 && r.chroma_format > 2) return false;
    if (r.profile != 1 && r.repeat_first_field &&
        (r.frame_rate_code <= 2 || (r.progressive_sequence && r.frame_rate_code <= 6)))
      return false;
    if (r.profile != 1 && r.intra_dc_precision == 3) return false;
    if ((r.level == 8 || r.level == 10) && r.frame_rate_code > 5) return false;
    if (!all_used_vectors(r, [&](int fh, int fv, int, int) {
          return fh <= level->f_code_h && fv <= level->f_code_v;
        }))
      return false;
    if (width > level->width || height > level->height) return false;
    if (static_cast<double>(width) * height * r.frame_rate > level->luma_rate) return false;
    if (r.bit_rate > level->bit_rate || r.vbv_buffer_size > level->vbv_buffer_size) return false;
  }

  if (!mpeg2) {
    if (r.progressive_sequence != 1 || r.chroma_format != 1 || r.intra_dc_precision != 0)
      return false;
    for (int t = 0; t < 3; ++t)
      if (r.q_scale_type[t] || r.intra_vlc_format[t] || r.alternate_scan[t]) return false;
  } else if (r.constrained_parameters_flag) {
    return false;
  }

  if (r.progressive_sequence && !r.progressive_frame) return false;
  if (r.progressive_frame) {
    if (r.field_pictures) return false;
    for (int t = 0; t < 3; ++t)
      if (r.frame_pred_frame_dct[t] != 1) return false;
  } else if (r.repeat_first_field) {
    return false;
  }
  if (r.progressive_sequence && !r.repeat_first_field && r.top_field_first) return false;

  return all_used_vectors(r, [](int fh, int fv, int rh, int rv) {
    return rh <= (4 << fh) - 1 && rv <= (4 << fv) - 1;
  });
}

bool validate_audio(const EncoderSettings& r) {
  return in(r.audio_layer, 1, 2) && in(r.psych_model, 1, 2) &&
         in(r.audio_bitrate_index, 0, 14) &&
         (r.emphasis == 0 || r.emphasis == 1 || r.emphasis == 3) && in(r.private_bit, 0, 1) &&
         in(r.error_protection, 0, 1) && in(r.copyright, 0, 1) && in(r.original, 0, 1);
}

bool layer2_pair_allowed(int audio_layer, int audio_mode, int bitrate_index) {
  if (audio_layer != 2 || bitrate_index < 1 || bitrate_index > 14) return true;
  if (audio_mode == 3) return bitrate_index <= 10;
  return bitrate_index == 4 || bitrate_index >= 6;
}

int layer2_allowed_index(int audio_layer, int audio_mode, int bitrate_index) {
  if (layer2_pair_allowed(audio_layer, audio_mode, bitrate_index)) return bitrate_index;
  if (audio_mode == 3) return 10;
  return bitrate_index < 4 ? 4 : 6;
}

}  // namespace corvexa::mpeg
