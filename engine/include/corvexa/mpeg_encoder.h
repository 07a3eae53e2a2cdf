// MYMPEGENC: the facade over the process-wide MPEG encoding package, and the
// callbacks through which a run pulls frames and sound from its caller.
#pragma once

#include <cstdint>

#include "corvexa/frame_holder.h"
#include "corvexa/object.h"
#include "corvexa/sinks.h"

namespace corvexa {

// Target kinds; the same numbers are the encoder's mpeg_type.
enum TargetKind : std::int32_t {
  kTargetMpeg1 = 0,
  kTargetVideoCd = 1,
  kTargetMpeg2 = 2,
  kTargetSuperVcd = 3,
  kTargetDvd = 4,
};

// Callback results.
inline constexpr std::int32_t kFeedOk = 0;
inline constexpr std::int32_t kFeedReadError = 4;
inline constexpr std::int32_t kFeedNoMoreAudio = 50;

// Fills `holder` with output frame `frame_number` as a bottom-up 32-bit
// picture and stores the bytes per line. 0 = success, 4 = frame unreadable.
using GetVideoFrameFn = std::int32_t (*)(void* context, std::int32_t frame_number,
                                         FrameHolder* holder, std::int32_t* line_bytes,
                                         std::int32_t spare1, std::int32_t spare2);
// Delivers the next block of 16-bit PCM (one source frame's worth): the output
// frames it covers into `advance`, its length into `byte_count`, and its
// address into the pointer variable that *buffer_ref leads to.
// 0 = success, 4 = read failure, 50 = no more audio.
using GetAudioBlockFn = std::int32_t (*)(void* context, std::int32_t frame_number,
                                         std::int32_t* advance, std::int32_t* byte_count,
                                         std::int32_t spare, std::uint8_t*** buffer_ref,
                                         std::int32_t spare2);
using SpareFn = std::int32_t (*)();

// A frame as the decoder gave it: planar 4:2:0 Y'CbCr, studio range, at the
// picture's size; it stays valid until the next call.
struct PlanarFrame {
  const std::uint8_t* y;
  const std::uint8_t* cb;
  const std::uint8_t* cr;
  std::int32_t y_stride, c_stride;
  std::int32_t width, height;
};
// Fills `out` with output frame `frame_number`; 0 = success, anything else =
// the frame comes through GetVideoFrameFn as RGB instead.
using GetPlanarFrameFn = std::int32_t (*)(void* context, std::int32_t frame_number, PlanarFrame* out);

// What the caller tells the encoder about its source. All zero unless set.
struct SourceDescription {
  char output_path[kMaxPath];
  std::uint8_t has_video;
  std::int32_t width;
  std::int32_t height;
  std::int32_t first_frame;  // always 0: output frame numbering
  std::int32_t last_frame;   // number of output frames minus 1
  std::uint8_t has_audio;
  std::int32_t sample_rate;  // 32000, 44100 or 48000 as delivered
  std::int32_t bits_per_sample;
  std::int32_t stereo;
  void* job;  // the AVI-to-MPEG job that owns the run (its worker only)
  // Non-zero: the source's sound had to be left out; the video alone still
  // becomes the target's program stream.
  std::uint8_t keep_program_stream;
};

class MpegEncoder : public EngineObject {
 public:
  virtual void Stop() = 0;                                    // 4
  virtual void SetSink(ConvertSink* sink) = 0;                // 5
  virtual void Reserved6(std::int32_t value) = 0;             // 6
  virtual void Reserved7(std::int32_t value) = 0;             // 7
  // 8: runs the whole encoding on the calling thread; the result reaches the
  // sink (nothing after a stop request).
  virtual void Encode(GetVideoFrameFn video_cb, GetAudioBlockFn audio_cb, SpareFn spare_cb,
                      void* context, const SourceDescription* description) = 0;
  virtual void Stop2() = 0;                                   // 9: same as slot 4
  virtual bool WasStopped() = 0;                              // 10
  virtual void SetTarget(std::int32_t kind, std::uint8_t pal) = 0;  // 11
  virtual void SetAudioBitrate(std::int32_t index) = 0;       // 12
  virtual void SetFrameRate(double fps) = 0;                  // 13
  virtual void SetFrameRateCode(std::int32_t code) = 0;       // 14
  virtual void SetSplitSize(std::int32_t megabytes) = 0;      // 15
  virtual void SetAudioLayer(std::int32_t layer) = 0;         // 16
  virtual void SetAudioMode(std::int32_t mode) = 0;           // 17
  virtual void SetCopyright(std::int32_t value) = 0;          // 18
  virtual void SetPrivateBit(std::int32_t value) = 0;         // 19
  virtual void SetOriginal(std::int32_t value) = 0;           // 20
  // 21: 0 none, 1 2:3, 2 3:2 field repetition flags on the pictures (film
  // shown at 29.97 frames per second).
  virtual void SetPulldown(std::int32_t mode) = 0;
  // 22: aspect_ratio_information of the sequence; 0 restores the preset's.
  virtual void SetAspectRatio(std::int32_t code) = 0;
  // 23: the last message of the last run ("" when it had none).
  virtual const char* LastMessage() = 0;
  // 24: sound coded as AC-3 at this many bit/s; 0 keeps MPEG audio.
  virtual void SetAc3BitRate(std::int32_t bit_rate) = 0;
  // 25: for the next Encode, frames are first asked for as planes through
  // `fn` (with Encode's context); null: RGB pictures only.
  virtual void SetPlanarSource(GetPlanarFrameFn fn) = 0;

 protected:
  ~MpegEncoder() = default;
};

}  // namespace corvexa
