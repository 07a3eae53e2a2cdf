// Records of the AVI file services, laid out as the AVI format stores them.
#pragma once

#include <cstdint>

namespace corvexa {

constexpr std::uint32_t make_fourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}

inline constexpr std::uint32_t kStreamTypeVideo = make_fourcc('v', 'i', 'd', 's');
inline constexpr std::uint32_t kStreamTypeAudio = make_fourcc('a', 'u', 'd', 's');

// The 140-byte stream information.
struct AviStreamInfo {
  std::uint32_t type;
  std::uint32_t handler;
  std::uint32_t flags;
  std::uint32_t caps;
  std::uint16_t priority;
  std::uint16_t language;
  std::uint32_t scale;
  std::uint32_t rate;
  std::uint32_t start;
  std::uint32_t length;
  std::uint32_t initial_frames;
  std::uint32_t suggested_buffer_size;
  std::uint32_t quality;
  std::uint32_t sample_size;
  std::int32_t frame_left, frame_top, frame_right, frame_bottom;
  std::uint32_t edit_count;
  std::uint32_t format_change_count;
  char name[64];
};
static_assert(sizeof(AviStreamInfo) == 140);

// The 108-byte file information.
struct AviFileInfo {
  std::uint32_t max_bytes_per_sec;
  std::uint32_t flags;
  std::uint32_t caps;
  std::uint32_t streams;
  std::uint32_t suggested_buffer_size;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t scale;
  std::uint32_t rate;
  std::uint32_t length;
  std::uint32_t edit_count;
  char file_type[64];
};
static_assert(sizeof(AviFileInfo) == 108);

#pragma pack(push, 1)
// Header of a device-independent bitmap.
struct BitmapInfoHeader {
  std::uint32_t size;
  std::int32_t width;
  std::int32_t height;
  std::uint16_t planes;
  std::uint16_t bit_count;
  std::uint32_t compression;
  std::uint32_t size_image;
  std::int32_t x_pels_per_meter;
  std::int32_t y_pels_per_meter;
  std::uint32_t clr_used;
  std::uint32_t clr_important;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// A sound format record; `extra_size` bytes of codec data may follow.
struct WaveFormat {
  std::uint16_t format_tag;
  std::uint16_t channels;
  std::uint32_t samples_per_sec;
  std::uint32_t avg_bytes_per_sec;
  std::uint16_t block_align;
  std::uint16_t bits_per_sample;
  std::uint16_t extra_size;
};
static_assert(sizeof(WaveFormat) == 18);
#pragma pack(pop)

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint16_t kWaveFormatPcm = 1;
inline constexpr std::uint16_t kWaveFormatMpegLayer3 = 0x55;

}  // namespace corvexa
