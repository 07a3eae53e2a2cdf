#include <cmath>

#include "mpeg/mux/scanner.h"
#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg::mux {

namespace {

double aspect_value(unsigned code, bool mpeg2) {
  if (mpeg2) {
    static const double ratios[5] = {0, 1.0, 4.0 / 3.0, 16.0 / 9.0, 2.21};
    return code <= 4 ? ratios[code] : 0.0;
  }
  static const double ratios[15] = {0,      1.0,    0.6735, 0.7031, 0.7615, 0.8055, 0.8437, 0.8935,
                                    0.9157, 0.9815, 1.0255, 1.0695, 1.0950, 1.1575, 1.2015};
  return code <= 14 ? ratios[code] : 0.0;
}

}  // namespace

void print_video_info(EncoderContext& ctx, const VideoInfo& info, bool svcd_target) {
  report_message(ctx, "Video stream information");
  double rate = frame_rate_of_code(info.frame_rate_code);
  unsigned seconds = rate > 0 ? static_cast<unsigned>(info.pictures / rate) : 0;
  report_message(ctx, "    Stream length : %.0f", info.stream_length);
  report_message(ctx, "    Total time (seconds) : %u", seconds);
  report_message(ctx, "    Sequence start : %u", info.sequence_headers);
  report_message(ctx, "    Sequence end : %u", info.sequence_ends);
  report_message(ctx, "    No. Pictures : %u", info.pictures);
  report_message(ctx, "    No. Groups : %u", info.gops);
  static const char* const kTypeNames[5] = {"", "I", "P", "B", "D"};
  for (int t = 1; t <= 4; ++t) {
    unsigned avg = info.type_count[t] ? static_cast<unsigned>(info.type_bytes[t] / info.type_count[t]) : 0;
    report_message(ctx, "    No. %s Frames : %u avg. size %u bytes", kTypeNames[t],
                   info.type_count[t], avg);
  }
  report_message(ctx, "    Horizontal size : %u", info.horizontal_size);
  report_message(ctx, "    Vertical size : %u", info.vertical_size);
  report_message(ctx, "    Aspect ratio : %1.4f", aspect_value(info.aspect_ratio, info.mpeg2));
  if (info.frame_rate_code == 0) {
    report_message(ctx, "    Picture rate : forbidden");
  } else if (info.frame_rate_code > 8) {
    report_message(ctx, "    Picture rate : %x reserved", info.frame_rate_code);
  } else {
    const char* pulldown = info.pulldown == 1   ? ",  2:3 pulldown detected"
                           : info.pulldown == 2 ? ",  3:2 pulldown detected"
                                                : "";
    report_message(ctx, "    Picture rate : %2.3f frames/sec%s", rate, pulldown);
  }
  if (info.bit_rate == 0x3FFFF) {
    report_message(ctx, "    Bit rate : variable");
  } else if (info.bit_rate == 0) {
    report_message(ctx, "    Bit rate : forbidden");
  } else {
    report_message(ctx, "    Bit rate : %u bytes/sec (%u bits/sec)", info.bit_rate * 50,
                   info.bit_rate * 400);
  }
  report_message(ctx, "    Computed avg rate : %u bytes/sec (%u bits/sec)",
                 info.computed_avg_rate * 50, info.computed_avg_rate * 400);
  report_message(ctx, "    Computed max rate : %u bytes/sec (%u bits/sec)",
                 info.computed_max_rate * 50, info.computed_max_rate * 400);
  report_message(ctx, "    Vbv buffer size : %u bytes", info.vbv_buffer_size * 2048);
  report_message(ctx, "    CSPF : %u", info.constrained_parameters_flag);
  if (svcd_target && info.frame_rate_code != 3 && info.frame_rate_code != 4)
    report_message(ctx, "WARNING: SVCD frame rate should be either 25 fps or 29.97 fps");
}

void print_audio_info(EncoderContext& ctx, const AudioInfo& info) {
  if (info.ac3) {
    report_message(ctx, "AC3 audio stream information");
    report_message(ctx, "    Syncwords : %u", info.syncwords);
    report_message(ctx, "    Frames : %u size %u bytes", info.frames, info.ac3_frame_size);
    report_message(ctx, "    Bit rate : %u bytes/sec (%u kbit/sec)", info.bit_rate_kbps * 128,
                   info.bit_rate_kbps);
    report_message(ctx, "    Frequency : %2.1f kHz", info.sample_rate / 1000.0);
    return;
  }
  report_message(ctx, "MPEG audio stream information");
  report_message(ctx, "    Syncwords : %u", info.syncwords);
  report_message(ctx, "    Frames : %u size %u bytes", info.frames, info.frame_size[info.padding]);
  report_message(ctx, "    Layer : %u", info.layer);
  report_message(ctx, info.protection ? "    CRC checksums : yes" : "    CRC checksums : no");
  if (info.bitrate_index == 0)
    report_message(ctx, "    Bit rate : free");
  else if (info.bitrate_index == 15)
    report_message(ctx, "    Bit rate : reserved");
  else
    report_message(ctx, "    Bit rate : %u bytes/sec (%u kbit/sec)", info.bit_rate_kbps * 125,
                   info.bit_rate_kbps);
  if (info.sample_rate == 0)
    report_message(ctx, "    Frequency : reserved");
  else
    report_message(ctx, "    Frequency : %2.1f kHz", info.sample_rate / 1000.0);
  static const char* const kModes[4] = {"stereo", "joint stereo", "dual channel", "single channel"};
  report_message(ctx, "    Mode : %u %s", info.mode, kModes[info.mode & 3]);
  report_message(ctx, "    Mode extension : %u", info.mode_extension);
  report_message(ctx, "    Copyright bit : %u %s", info.copyright,
                 info.copyright ? "copyright protected" : "no copyright");
  report_message(ctx, "    Original/Copy : %u %s", info.original, info.original ? "original" : "copy");
  static const char* const kEmphasis[4] = {"none", "50/15 microseconds", "reserved", "CCITT J.17"};
  report_message(ctx, "    Emphasis : %u %s", info.emphasis, kEmphasis[info.emphasis & 3]);
}

}  // namespace corvexa::mpeg::mux
