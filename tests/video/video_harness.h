// Shared pieces of the video encoder tests: a synthetic frame source, the
// settings of a run, a collector of the encoder's reconstruction and a strict
// FFmpeg decode of the produced stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"

namespace video_test {

// Moving content: a drifting gradient, a square that travels and noise-free
// texture, so P and B pictures find real motion. Bottom-up BGRx.
class MovingPattern : public corvexa::mpeg::FrameSource {
 public:
  MovingPattern(int width, int height, int frames, int dx = 2, int dy = 1)
      : width_(width), height_(height), frames_(frames), dx_(dx), dy_(dy) {}
  int GetFrame(int frame_number, corvexa::FrameHolder& holder, int& line_bytes,
               int& repeat) override;
  int GetAudio(int, const std::uint8_t*&, int&, int&) override { return 50; }
  // Top-down RGB of frame n, as the source holds it.
  void Pixel(int n, int x, int y, int& r, int& g, int& b) const;
  int calls = 0;
  std::vector<int> asked;  // frame numbers in the order asked for
  int repeat_count = 0;  // handed out with every frame when non-zero
  int error_at = -1;     // frame number that reports code 4

 private:
  int width_, height_, frames_, dx_, dy_;
};

// Frames of a real clip decoded and scaled by the ffmpeg program, handed out
// bottom-up. Empty when the clip or the program is missing.
class ClipFrames : public corvexa::mpeg::FrameSource {
 public:
  ClipFrames(const std::string& clip, const std::string& scratch, int width, int height,
             int frames);
  int GetFrame(int frame_number, corvexa::FrameHolder& holder, int& line_bytes,
               int& repeat) override;
  int GetAudio(int, const std::uint8_t*&, int&, int&) override { return 50; }
  int count() const { return static_cast<int>(frames_.size()); }

 private:
  int width_, height_;
  std::vector<std::vector<std::uint8_t>> frames_;
};

struct Plane {
  int width = 0, height = 0;
  std::vector<std::uint8_t> data;
};
struct Frame {
  Plane y, cb, cr;
};

class ReconstructionLog : public corvexa::mpeg::VideoReconstructionObserver {
 public:
  void Picture(int display_frame, const std::uint8_t* y, const std::uint8_t* cb,
               const std::uint8_t* cr, int width, int height, int chroma_width,
               int chroma_height, int stride, int chroma_stride) override;
  std::vector<Frame> by_display;  // indexed by display number
  std::vector<int> coding_order;
};

class Messages : public corvexa::mpeg::StatusSink {
 public:
  void Progress(const char* text, int percent) override;
  void Message(const char* text) override { messages.emplace_back(text); }
  bool Has(const std::string& text) const;
  std::vector<std::string> messages;
  std::vector<int> percents;
};

// Fills ctx.work (and ctx.record) for a preset (PAL or NTSC) and a picture size.
void configure(corvexa::mpeg::EncoderContext& ctx, int kind, int width, int height, int frames,
               const std::string& video_file, bool pal = true);

struct Decoded {
  bool ok = false;
  std::string error;
  std::vector<Frame> frames;
  std::vector<int> repeat_pict;      // per output frame: extra fields shown
  std::vector<int> top_field_first;  // per output frame
  int width = 0, height = 0;
  double frame_rate = 0;
  int errors_logged = 0;
  bool has_end_code = false;
  std::string codec;
};
// Decodes an elementary stream with libavcodec in its strictest mode.
// How decode_strict relaxes the strictest mode.
struct DecodeMode {
  // One coded picture per packet instead of the parser's frames: the parser
  // joins the two fields of a frame, and the strict bitstream check then
  // takes the second field for data left over after the first field's last
  // slice.
  bool packet_per_picture = false;
  // Zero bits between the last slice and the next start code (legal stuffing
  // that the strictest mode rejects beyond one byte); anything else left
  // there still fails.
  bool zero_stuffing = false;
};
Decoded decode_strict(const std::string& path, DecodeMode mode = {});

double psnr(const Plane& a, const Plane& b);
// The lowest of the three planes' PSNRs between two pictures.
double worst_plane_psnr(const Frame& a, const Frame& b);
std::vector<std::uint8_t> read_file(const std::string& path);

}  // namespace video_test
