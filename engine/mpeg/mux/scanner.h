// Elementary stream scanning: cuts the video and audio streams into access
// units, writes one record per unit into a units file and collects the stream
// properties that size the multiplex.
#pragma once

#include <string>

#include "mpeg/mux/mux_files.h"
#include "mpeg/mux/stream_info.h"

namespace corvexa::mpeg::mux {

struct VideoScanOptions {
  bool svcd_scan_offsets = false;
  int pulldown_mode = 0;        // 3 = detect
  bool with_extension = false;  // 27 MHz extensions in the records
  bool svcd_target = false;     // frame-rate warning in the listing
};

// Checks that every selected stream exists and starts like its kind.
bool check_inputs(EncoderContext& ctx, unsigned flags, const std::string& video_path,
                  const std::string& audio1_path, const std::string& audio2_path);

// Scans `stream_path` into `units` (already created). The file is truncated
// on failure; the caller's TempFile deletes it.
bool scan_video(EncoderContext& ctx, const std::string& stream_path, TempFile& units,
                const VideoScanOptions& options, VideoInfo& info, unsigned& unit_count,
                double& total_bytes);

// `data_start` receives the offset of the first frame in the file.
bool scan_audio(EncoderContext& ctx, const std::string& stream_path, TempFile& units,
                bool with_extension, double start_time, AudioInfo& info, unsigned& unit_count,
                double& total_bytes, std::int64_t& data_start);

void print_video_info(EncoderContext& ctx, const VideoInfo& info, bool svcd_target);
void print_audio_info(EncoderContext& ctx, const AudioInfo& info);

// Parses the sequence header fields of `bytes` (starting with 0x000001B3) into
// `info`. False with a message when the marker bit is missing.
bool parse_sequence_header(EncoderContext& ctx, const std::uint8_t* bytes, int length,
                           VideoInfo& info);

}  // namespace corvexa::mpeg::mux
