// What the scanners learn about the elementary streams, and the unit records
// they leave for the multiplexer.
#pragma once

#include <cstdint>
#include <string>

#include "mpeg/mux/timestamp.h"

namespace corvexa::mpeg {
struct EncoderContext;
}

namespace corvexa::mpeg::mux {

// Stream selection flags.
enum StreamFlag : unsigned { kVideoStream = 1, kAudio1Stream = 2, kAudio2Stream = 4 };

enum PictureType { kPictureI = 1, kPictureP = 2, kPictureB = 3, kPictureD = 4 };

inline constexpr int kMaxSequenceHeader = 256;
inline constexpr int kScanOffsetBlockSize = 18;

struct VideoInfo {
  double stream_length = 0;
  unsigned sequence_headers = 0, gops = 0, pictures = 0, sequence_ends = 0;
  unsigned type_count[5] = {};    // by picture_coding_type
  double type_bytes[5] = {};
  unsigned horizontal_size = 0, vertical_size = 0;
  unsigned aspect_ratio = 0;
  unsigned frame_rate_code = 0;
  unsigned bit_rate = 0;          // 400 bit/s units, 0x3FFFF = variable
  unsigned computed_avg_rate = 0; // 50 bytes/s units
  unsigned computed_max_rate = 0; // 50 bytes/s units
  unsigned vbv_buffer_size = 0;
  unsigned constrained_parameters_flag = 0;
  bool mpeg2 = false;
  int pulldown = 0;               // 0 none, 1 2:3, 2 3:2
  double earliest_pts = 0;
  double frame_period = 0;        // ticks
  std::uint8_t first_sequence_header[kMaxSequenceHeader] = {};
  int first_sequence_header_length = 0;
};

struct AudioInfo {
  bool ac3 = false;
  double stream_length = 0;
  unsigned frames = 0;
  unsigned syncwords = 0;
  // MPEG audio.
  unsigned id = 1;  // 1 MPEG-1, 0 MPEG-2 lower sampling frequencies
  unsigned layer = 0;
  unsigned protection = 0;  // 1 = CRC words present
  unsigned bitrate_index = 0;
  unsigned sampling_code = 0;
  unsigned padding = 0, mode = 0, mode_extension = 0, copyright = 0, original = 0, emphasis = 0;
  unsigned frame_size[2] = {};  // bytes, without and with padding
  // AC-3.
  unsigned ac3_bitrate_code = 0;
  unsigned ac3_frame_size = 0;
  // Both.
  unsigned bit_rate_kbps = 0;
  unsigned sample_rate = 0;
  unsigned samples_per_frame = 0;
};

// One picture of the video units file (48 bytes on disk).
struct VideoUnit {
  std::uint32_t size = 0;
  std::uint16_t type = 0;
  std::uint16_t flags = 0;  // bit 0 sequence header, bit 1 GOP header in front
  std::uint16_t insert_offset = 0;
  std::uint16_t header_bytes = 0;
  std::uint32_t gop_reference_ticks = 0;
  double dts = 0, pts = 0;
};

// One audio frame of an audio units file (20 bytes on disk).
struct AudioUnit {
  std::uint32_t size = 0;
  double pts = 0;
};

inline constexpr int kVideoUnitRecordSize = 48;
inline constexpr int kAudioUnitRecordSize = 20;

void encode_video_unit(const VideoUnit& unit, bool with_extension, std::uint8_t* out);
VideoUnit decode_video_unit(const std::uint8_t* in);
void encode_audio_unit(const AudioUnit& unit, bool with_extension, std::uint8_t* out);
AudioUnit decode_audio_unit(const std::uint8_t* in);

// Frame rate of a frame_rate_code (0 for codes outside 1..8).
double frame_rate_of_code(unsigned code);
// MPEG audio frame size in bytes; 0 for free format or invalid headers.
unsigned mpeg_audio_frame_size(unsigned id, unsigned layer, unsigned bitrate_index,
                               unsigned sampling_code, unsigned padding);
unsigned mpeg_audio_bitrate_kbps(unsigned id, unsigned layer, unsigned bitrate_index);
unsigned mpeg_audio_sample_rate(unsigned id, unsigned sampling_code);
// AC-3 frame size in bytes; 0 for invalid codes.
unsigned ac3_frame_size(unsigned fscod, unsigned frmsizecod);
unsigned ac3_bitrate_kbps(unsigned frmsizecod);

}  // namespace corvexa::mpeg::mux
