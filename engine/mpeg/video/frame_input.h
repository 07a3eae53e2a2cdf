// Source frames for the video encoder: the frame holder given to frame
// sources, the look-ahead window, the repeat buffer, RGB to Y'CbCr and the
// chroma down-sampling filters.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "corvexa/frame_holder.h"
#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

class VideoFrameHolder final : public FrameHolder {
 public:
  bool Allocate(std::int32_t size) override;
  std::uint8_t* Data() override { return held_ ? buffer_.data() : nullptr; }
  std::int32_t Size() override { return held_ ? static_cast<std::int32_t>(buffer_.size()) : 0; }
  // Gives up the frame; its memory is kept for the next one of the same size
  // (a fresh allocation a frame costs page faults on every picture).
  void Release() {
    held_ = false;
    buffer_.clear();
  }
  // Gives the memory back as well.
  void Free() {
    Release();
    buffer_.shrink_to_fit();
  }

 private:
  std::vector<std::uint8_t> buffer_;
  bool held_ = false;
};

// Clip table covering -384..639; the pointer returned addresses index 0.
const std::uint8_t* clip_table();

// RGB (bottom-up BGRx, `line_bytes` a line) to Y' and full-resolution Cb, Cr
// planes of `stride` samples; `plain` selects the floating-point path, else
// `row` (a kernel-table entry; null: the plain integer line) does each line.
void convert_rgb(const std::uint8_t* rgb, int line_bytes, int width, int height,
                 int matrix_coefficients, bool plain, std::uint8_t* y, std::uint8_t* cb,
                 std::uint8_t* cr, int stride,
                 void (*row)(const std::uint8_t*, int, const int*, std::uint8_t*, std::uint8_t*,
                             std::uint8_t*) = nullptr);
// Repeats the last sample of each line and then the last line.
void pad_plane(std::uint8_t* p, int width, int height, int coded_width, int coded_height);
// 4:4:4 -> 4:2:2, horizontal (MPEG-1 or MPEG-2 taps).
void filter_horizontal(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                       bool mpeg1);
// 4:2:2 -> 4:2:0, vertical: progressive half-sample or field-wise.
void filter_vertical(const std::uint8_t* src, std::uint8_t* dst, int width, int height,
                     bool progressive);

// Source frames in display order through a window that keeps the last GOP's
// frames (a GOP coded again takes them from here) and, when the run has more
// than one worker, frames read ahead on a thread of its own while pictures are
// coded. The source is asked for the same frames in the same order either way;
// what a failed read reports is reported when the frame is fetched.
class FrameInput {
 public:
  explicit FrameInput(VideoEncoder& e) : e_(e) {}
  ~FrameInput() { release(); }
  FrameInput(const FrameInput&) = delete;
  FrameInput& operator=(const FrameInput&) = delete;
  bool allocate();
  void release();
  // Fills `out` with source frame `frame_number`; false at end of input or
  // on a source error.
  bool fetch(int frame_number, PictureStore& out);
  bool source_failed() const { return source_failed_; }

 private:
  enum class Read { kOk, kEnd, kShort, kError };
  Read get_rgb(int n, const std::uint8_t*& data, int& line_bytes, int& code);
  Read read_frame(int n, PictureStore& entry, int& code);
  // The source's own 4:2:0 planes into `entry`; false when it has none.
  bool read_planes(int n, PictureStore& entry);
  // Reads the next frame; false once a read has failed.
  bool read_next();
  void read_ahead();
  void stop_reader();
  void report_failure(int n);
  PictureStore& slot(int n);

  VideoEncoder& e_;
  std::vector<PictureStore> window_;
  int ahead_ = 0;      // frames read beyond the latest one asked for
  int requested_ = 0;  // the latest frame asked for
  int last_frame_ = 0;
  bool reported_ = false;
  std::vector<std::uint8_t> u444_, v444_, u422_, v422_;
  std::vector<std::uint8_t> repeat_;
  int repeat_first_ = -1, repeat_last_ = -1, repeat_left_ = 0, repeat_line_bytes_ = 0;
  int line_bytes_ = 0;
  VideoFrameHolder holder_;
  bool source_failed_ = false;

  // Shared with the reader thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable wake_reader_, frame_read_;
  std::thread reader_;
  int target_ = 0;  // read up to this frame
  int next_ = 0;    // the next frame to read
  bool failed_ = false;
  Read failure_ = Read::kOk;
  int failure_code_ = 0;
  bool quit_ = false;
};

}  // namespace corvexa::mpeg::video
