// A small writer of AVI 1.0 files for test fixtures: any number of streams,
// chunks in the order they are added, an idx1 index with absolute or
// relative offsets, or none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvexa/avi_types.h"

namespace kavrol_test {

struct AviVideoFormat {
  int width = 64;
  int height = 48;
  std::uint16_t bit_count = 24;
  std::uint32_t compression = corvexa::kBiRgb;  // fourcc for compressed video
  std::uint32_t handler = 0;
  std::uint32_t rate = 25;
  std::uint32_t scale = 1;
  std::uint32_t start = 0;
  bool top_down = false;                  // negative height in the format
  std::vector<std::uint8_t> colour_table;  // BGRA quads, stored after the header
  std::uint32_t clr_used = 0;
  std::uint32_t header_width = 0, header_height = 0;  // main header; 0 = the picture's
};

struct AviAudioFormat {
  corvexa::WaveFormat format{};
  std::vector<std::uint8_t> extra;  // codec data after the wave format
  std::uint32_t rate = 0;           // 0: samples_per_sec
  std::uint32_t scale = 1;
  std::uint32_t sample_size = 0;    // 0: block_align
  std::uint32_t length = 0;         // 0: computed from the chunks
};

enum class IndexKind { kAbsolute, kRelative, kNone };

class AviWriter {
 public:
  int add_video(const AviVideoFormat& layout);
  int add_audio(const AviAudioFormat& layout);
  // `key` marks the chunk as a key frame in the index.
  void add_chunk(int stream, std::vector<std::uint8_t> data, bool key = true);
  bool write(const std::string& path, IndexKind index = IndexKind::kAbsolute) const;

 private:
  struct Stream {
    bool video;
    AviVideoFormat video_spec;
    AviAudioFormat audio_spec;
    std::uint32_t chunks = 0;
    std::uint64_t bytes = 0;
  };
  struct Chunk {
    int stream;
    std::vector<std::uint8_t> data;
    bool key;
  };
  std::vector<Stream> streams_;
  std::vector<Chunk> chunks_;
};

// PCM wave format.
corvexa::WaveFormat pcm_format(int channels, int rate, int bits);

// A bottom-up 24-bit picture whose pixels depend on (x, y, frame), stored in
// DIB row order (rows padded to 4 bytes).
std::vector<std::uint8_t> test_picture_bgr24(int width, int height, int frame);
// The colour of a pixel of test_picture_bgr24, as B, G, R.
void test_pixel(int x, int y, int frame, std::uint8_t bgr[3]);

// A sine tone as interleaved 16-bit PCM.
std::vector<std::uint8_t> tone_pcm16(int rate, int channels, int samples, double hz,
                                     int first_sample = 0);

}  // namespace kavrol_test
