// The encoding package's process-wide working state. One run at a time in the
// process: every stage reads and writes this one object, reached through
// encoder_context(). Nothing else in the package is global.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "corvexa/frame_holder.h"
#include "mpeg/settings/encoder_settings.h"
#include "mpeg/settings/run_files.h"

namespace corvexa::mpeg {

// Where a run takes its pictures and sound from. The facade implements it over
// the caller's callbacks; tests implement it directly.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // Fills `holder` with source frame `frame_number` (bottom-up, 32 bits a
  // pixel, `line_bytes` a row). `repeat` receives for how many consecutive
  // frame numbers the picture stands (0 or 1: this one only).
  // 0 = success, 2 or 3 = end of input, anything else = error.
  virtual int GetFrame(int frame_number, FrameHolder& holder, int& line_bytes,
                       int& repeat) = 0;
  // Per-video-frame audio: the PCM (16-bit little-endian, interleaved) that
  // belongs to video frame `frame_number`. 0 = success, 50 = end of data,
  // anything else = error. `data` stays valid until the next call.
  virtual int GetAudio(int frame_number, const std::uint8_t*& data, int& byte_count,
                       int& advance) = 0;
  // The frame as planar 4:2:0 Y'CbCr at the picture's size (studio range,
  // the matrix the settings name), for sources that decode to it: the
  // encoder takes the planes as they are. 0 = success and `planes` filled,
  // anything else = ask GetFrame for the RGB picture instead.
  struct Planes {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    int y_stride = 0, c_stride = 0;
    int width = 0, height = 0;
  };
  virtual int GetPlanes(int frame_number, Planes& planes) {
    (void)frame_number;
    (void)planes;
    return -1;
  }
  // Per-sample audio (the audio encoder's second input mode): up to `wanted`
  // sample frames from sample `start_sample`; `sample_count` receives how
  // many came. Same codes as GetAudio. Sources without this mode answer 50.
  virtual int GetAudioSamples(int start_sample, int wanted, const std::uint8_t*& data,
                              int& byte_count, int& sample_count) {
    (void)start_sample;
    (void)wanted;
    data = nullptr;
    byte_count = 0;
    sample_count = 0;
    return 50;
  }
};

// The run entry's own copy of the caller's source description.
struct SourceInfo {
  bool has_video = false;
  int width = 0;
  int height = 0;
  bool has_audio = false;
  int sample_rate = 0;
  int bits_per_sample = 0;
  bool stereo = true;
  int first_frame = 0;
  int last_frame = -1;
  std::string output_path;
  // The source had sound that could not be used: the video alone still
  // makes the target's program stream rather than a bare elementary stream.
  bool keep_program_stream = false;
};

// Receives each stage's progress as a whole percentage (-1: the stage ended
// early) with its text, and the package's other messages.
class StatusSink {
 public:
  virtual ~StatusSink() = default;
  virtual void Progress(const char* text, int percent) = 0;
  virtual void Message(const char* text) = 0;
  // A stage of the run begins; its progress counts from 0 again.
  virtual void StageStarted(int stage) { (void)stage; }
};

// The stages of a run, in the order they run (the values cross the engine's
// boundary as they stand).
enum RunStage : int { kStageNone = 0, kStageVideo = 1, kStageAudio = 2, kStageMultiplex = 3 };

// Receives every picture the video encoder reconstructs, in coding order, with
// its display number (tests compare it with an independent decoder). Sizes
// are those of the visible picture; strides those of the coded planes.
class VideoReconstructionObserver {
 public:
  virtual ~VideoReconstructionObserver() = default;
  virtual void Picture(int display_frame, const std::uint8_t* y, const std::uint8_t* cb,
                       const std::uint8_t* cr, int width, int height, int chroma_width,
                       int chroma_height, int stride, int chroma_stride) = 0;
};

enum class AudioInputMode { kPerVideoFrame, kPerSample };

struct EncoderContext;

// The run's three stages. They are the encoders and the multiplexer of this
// library; a test may put its own in their place to watch what a run feeds.
struct StageTable {
  bool (*video)(EncoderContext&);
  bool (*audio)(EncoderContext&);
  bool (*mux)(EncoderContext&);
};
StageTable default_stages();

struct EncoderContext {
  EncoderSettings record{};   // the persistent, user-visible settings
  WorkingSettings work{};     // what the stages read during a run

  // Processor features and the kernel class chosen from them.
  std::uint32_t cpu_features = 0;
  int kernel_class = 0;
  // Workers sharing the rows of a picture (motion search, prediction, coding
  // of independent slices, reconstruction); 0: one per processor core.
  int motion_threads = 0;
  // Tests: run prediction, coding and reconstruction each over the whole
  // picture, as the reference for pictures coded row by row.
  bool whole_picture_stages = false;

  // Run control. The stop flag is the one value written by another thread.
  std::atomic<bool> stop_requested{false};
  std::atomic<bool> running{false};

  // The last described source; the presets read its stereo flag.
  SourceInfo source{};
  FrameSource* frames = nullptr;
  AudioInputMode audio_input_mode = AudioInputMode::kPerVideoFrame;
  // The audio stage takes up its filterbank's delay with the sound's first
  // samples, so that decoded sound starts with the first picture instead of
  // kFilterbankDelay samples late. Conversions ask for it; the bare
  // elementary stream keeps the delay.
  bool start_sound_with_picture = false;
  // The audio stage codes AC-3 at this many bit/s instead of MPEG audio
  // (0: MPEG audio as the settings say).
  int ac3_bit_rate = 0;

  // File names of the run (step E6 of the run entry).
  std::string default_extension = ".mpg";
  std::string output_name;
  std::string video_file;
  std::string audio_file;
  std::string audio2_file;

  // Program files the multiplexer wrote under temporary names. With
  // hold_outputs (the run entry's runs) it leaves them here, and the run entry
  // renames them after its last check; otherwise it renames them itself.
  std::vector<PendingOutput> pending_outputs;
  bool hold_outputs = false;

  StatusSink* status = nullptr;
  StageTable stages = default_stages();
  // Progress of the current stage never goes down (a group of pictures coded
  // again must not take the bar back). The multiplexer's passes each get a
  // share of its stage: base + percent x span / 100.
  int stage = kStageNone;
  int progress_shown = -1;
  int progress_base = 0;
  int progress_span = 100;

  // Video encoder: optional observer of the reconstructed pictures.
  VideoReconstructionObserver* video_observer = nullptr;
};

EncoderContext& encoder_context();

// Formats a message and hands it to the status sink's message entry.
void report_message(EncoderContext& ctx, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Starts a stage: progress counts from 0 again over the whole range, and
// the status sink hears of it.
void begin_stage(EncoderContext& ctx, int stage);
// The share of the current stage that the next progress reports fill.
void set_progress_window(EncoderContext& ctx, int base, int span);
// Formats a progress text and hands it with `percent` (mapped into the
// progress window, never below what the stage reported last; -1 passes as
// it is) to the status sink.
void report_progress(EncoderContext& ctx, int percent, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

inline bool stop_requested(const EncoderContext& ctx) {
  return ctx.stop_requested.load(std::memory_order_relaxed);
}

}  // namespace corvexa::mpeg
