// What a conversion makes of its source: the picture size and the active
// rectangle in it, the aspect, the coded rate and how source frames map
// onto pictures, the sound's rate and channels, and a line for each change.
//
// The disc targets (VideoCD, SuperVCD, DVD) are conformed to what the disc
// standard and the authoring tools require; MPEG-1, MPEG-2 and sources kept
// as they are only get a rate that an MPEG code can carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/picture_scaler.h"

namespace corvexa::core {

struct SourceShape {
  int width = 0, height = 0;
  double pixel_aspect = 0;           // width over height of a pixel; 0: square
  std::uint32_t rate = 0, scale = 1;  // frames per second = rate / scale
  bool has_audio = false;
};

struct ConformPlan {
  platform::PictureGeometry geometry;  // keeps the source's size when unchanged
  int aspect_ratio_information = 0;    // 0: the preset's
  int frame_rate_code = 0;             // 0: the preset's
  // Pictures shown per second: source frame floor(n x source rate / this)
  // becomes picture n.
  std::int64_t picture_rate = 0, picture_scale = 1;
  int pulldown = 0;                    // 2: soft 3:2 pulldown
  int sample_rate = 0;                 // 0: the reader's own choice
  bool stereo = false;                 // deliver two channels
  int ac3_bit_rate = 0;                // sound coded as AC-3 (NTSC DVD)
  std::vector<std::string> changes;    // picture and rate; the sound's are the caller's
};

// `pal` chooses the PAL or NTSC form of the disc; `conform` is off for
// sources kept as they are. False for rates no mapping can serve.
bool plan_conversion(const SourceShape& source, int kind, bool pal, bool conform, ConformPlan& plan);

// NTSC suits sources at 29.97, 59.94, 23.976 and 24 frames per second.
bool prefers_ntsc(double fps);

// Pictures for `frames` source frames, and the source frame of picture n.
std::int64_t picture_count(const SourceShape& source, const ConformPlan& plan, std::int64_t frames);
std::int64_t source_frame_of(const SourceShape& source, const ConformPlan& plan, std::int64_t n);
// How many pictures each source frame stands for when that is a whole
// number; 0 when pictures are dropped or repeated unevenly.
int whole_repeat(const SourceShape& source, const ConformPlan& plan);

}  // namespace corvexa::core
