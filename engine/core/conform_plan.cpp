#include "core/conform_plan.h"

#include <cmath>
#include <cstdio>

#include "core/frame_rate_map.h"
#include "corvexa/mpeg_encoder.h"

namespace corvexa::core {

namespace {

struct Rate {
  std::int64_t num, den;
};
// The exact rates of frame_rate_code 1 to 8.
constexpr Rate kCodeRates[9] = {{0, 1},  {24000, 1001}, {24, 1}, {25, 1},      {30000, 1001},
                                {30, 1}, {50, 1},       {60, 1}, {60000, 1001}};
constexpr int kPalCode = 3, kNtscCode = 4;

Rate code_rate(int code) {
  if (code == 7) return {60000, 1001};
  if (code == 8) return {60, 1};
  return kCodeRates[code];
}

bool near(double a, double b) { return std::fabs(a - b) <= b * 0.0005; }

std::string rate_text(double fps) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", fps);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

int even(double v) { return static_cast<int>(std::lround(v / 2)) * 2; }

// The code and shown rate for targets that keep the source's rate where an
// MPEG code carries it: a code's rate is met by repeating or dropping frames
// evenly, never by coding frames 1:1 at another rate.
bool plan_rate_kept(double fps, bool pal, ConformPlan& plan) {
  FrameRateMapping m;
  if (!map_frame_rate(fps, m)) return false;
  int code = m.frame_rate_code;
  if (code == 0) {
    // 50, 59.94 and 60 fps: every second frame at the half rate's code.
    FrameRateMapping half;
    const double h = fps / 2;
    code = map_frame_rate(h, half) && half.frame_repeat == 1 && half.frame_rate_code != 0 && h < 30.5
               ? half.frame_rate_code
               : (pal ? kPalCode : kNtscCode);
  }
  plan.frame_rate_code = code;
  plan.picture_rate = code_rate(code).num;
  plan.picture_scale = code_rate(code).den;
  return true;
}

// A source within a hair of the coded rate goes frame for frame.
void keep_near_rate(const SourceShape& source, ConformPlan& plan) {
  const double fps = static_cast<double>(source.rate) / source.scale;
  if (near(fps, static_cast<double>(plan.picture_rate) / plan.picture_scale)) {
    plan.picture_rate = source.rate;
    plan.picture_scale = source.scale;
  }
}

struct DiscFrame {
  int width, height;
  int sample_rate;
};

DiscFrame disc_frame(int kind, bool pal) {
  switch (kind) {
    case kTargetVideoCd:
      return {352, pal ? 288 : 240, 44100};
    case kTargetSuperVcd:
      return {480, pal ? 576 : 480, 44100};
    default:
      return {720, pal ? 576 : 480, 48000};
  }
}

bool is_disc_size(int width, int height) {
  const bool lines = height == 576 || height == 480 || (width == 352 && (height == 288 || height == 240));
  return lines && (width == 720 || width == 704 || width == 480 || width == 352);
}

void plan_picture(const SourceShape& source, int kind, const DiscFrame& disc, ConformPlan& plan) {
  const double pixel = source.pixel_aspect > 0 ? source.pixel_aspect : 1.0;
  double shown = source.width * pixel / source.height;
  // A picture of a disc's size that claims no shape of its own was made for
  // a disc's 4:3.
  if (is_disc_size(source.width, source.height) && std::fabs(pixel - 1) < 0.01) shown = 4.0 / 3.0;
  // DVD codes wide sources 16:9 at full size; the rest are 4:3 discs.
  const bool wide = kind == kTargetDvd && shown >= 1.5;
  const double disc_aspect = wide ? 16.0 / 9.0 : 4.0 / 3.0;
  if (kind == kTargetDvd || kind == kTargetSuperVcd) plan.aspect_ratio_information = wide ? 3 : 2;
  platform::PictureGeometry& g = plan.geometry;
  g.width = disc.width;
  g.height = disc.height;
  g.active_width = disc.width;
  g.active_height = disc.height;
  if (std::fabs(shown / disc_aspect - 1) > 0.01) {
    if (shown > disc_aspect) {
      g.active_height = std::min(disc.height, even(disc.height * disc_aspect / shown));
    } else {
      g.active_width = std::min(disc.width, even(disc.width * shown / disc_aspect));
    }
  }
  g.x = even((disc.width - g.active_width) / 2.0);
  g.y = even((disc.height - g.active_height) / 2.0);
  if (g.x + g.active_width > g.width) g.x = g.width - g.active_width;
  if (g.y + g.active_height > g.height) g.y = g.height - g.active_height;
  const bool bars = g.active_width != g.width || g.active_height != g.height;
  if (source.width == g.width && source.height == g.height && !bars) {
    plan.geometry = platform::PictureGeometry{};
    if (wide) plan.changes.push_back("display aspect 16:9");
    return;
  }
  char line[96];
  std::snprintf(line, sizeof line, "%dx%d \u2192 %dx%d, %s%s", source.width, source.height, g.width,
                g.height, wide ? "16:9" : "4:3", bars ? " with black bars" : "");
  plan.changes.push_back(line);
}

}  // namespace

bool prefers_ntsc(double fps) {
  return near(fps, 30000.0 / 1001) || near(fps, 60000.0 / 1001) || near(fps, 24000.0 / 1001) ||
         near(fps, 24.0);
}

bool plan_conversion(const SourceShape& source, int kind, bool pal, bool conform, ConformPlan& plan) {
  plan = ConformPlan{};
  if (source.rate == 0 || source.scale == 0) return false;
  const double fps = static_cast<double>(source.rate) / source.scale;
  const bool disc = kind == kTargetVideoCd || kind == kTargetSuperVcd || kind == kTargetDvd;
  if (!disc || !conform) {
    if (!plan_rate_kept(fps, pal, plan)) return false;
    keep_near_rate(source, plan);
    return true;
  }
  const DiscFrame frame = disc_frame(kind, pal);

  // Rate: the disc's. NTSC MPEG-2 discs carry film at its own rate and let
  // the player repeat fields; 24 fps film is slowed to 23.976 for that.
  plan.frame_rate_code = pal ? kPalCode : kNtscCode;
  const Rate target = code_rate(plan.frame_rate_code);
  plan.picture_rate = target.num;
  plan.picture_scale = target.den;
  const double target_fps = static_cast<double>(target.num) / target.den;
  if (!pal && kind != kTargetVideoCd && (near(fps, 24000.0 / 1001) || near(fps, 24.0))) {
    // The film's code; the sequence header then names 29.97.
    plan.frame_rate_code = 1;
    plan.pulldown = 2;
    plan.picture_rate = 24000;
    plan.picture_scale = 1001;
    plan.changes.push_back(rate_text(fps) + " fps \u2192 29.97 fps with 3:2 pulldown");
  } else if (!near(fps, target_fps)) {
    plan.changes.push_back(rate_text(fps) + " fps \u2192 " + rate_text(target_fps) + " fps");
  }
  keep_near_rate(source, plan);

  if (source.width > 0 && source.height > 0) plan_picture(source, kind, frame, plan);

  // The sound's lines are the caller's: only it knows what the sound is.
  if (source.has_audio) {
    plan.sample_rate = frame.sample_rate;
    plan.stereo = kind == kTargetVideoCd;
    // MPEG audio is no format every NTSC player must take; AC-3 is.
    if (kind == kTargetDvd && !pal) {
      plan.ac3_bit_rate = 192000;
      plan.changes.push_back("sound coded as AC-3, 192 kbit/s");
    }
  }
  return true;
}

std::int64_t picture_count(const SourceShape& source, const ConformPlan& plan, std::int64_t frames) {
  // ceil(frames x (picture rate) / (source rate)), all in whole numbers.
  const std::int64_t num = frames * plan.picture_rate * source.scale;
  const std::int64_t den = plan.picture_scale * source.rate;
  return den > 0 ? (num + den - 1) / den : 0;
}

std::int64_t source_frame_of(const SourceShape& source, const ConformPlan& plan, std::int64_t n) {
  const std::int64_t den = static_cast<std::int64_t>(source.scale) * plan.picture_rate;
  return den > 0 ? n * static_cast<std::int64_t>(source.rate) * plan.picture_scale / den : 0;
}

int whole_repeat(const SourceShape& source, const ConformPlan& plan) {
  const std::int64_t num = plan.picture_rate * source.scale;
  const std::int64_t den = plan.picture_scale * source.rate;
  if (den <= 0 || num % den != 0) return 0;
  return static_cast<int>(num / den);
}

}  // namespace corvexa::core
