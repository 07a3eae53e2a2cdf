// MYMPEGENC: the facade over the process-wide encoding package. Every
// MYMPEGENC object drives the same package, so the sink, the callbacks of the
// current run and the PAL choice are process-wide too.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/mpeg_encoder.h"
#include "mpeg/settings/encoder_context.h"
#include "mpeg/settings/presets.h"
#include "mpeg/settings/run_entry.h"
#include "mpeg/settings/validation.h"
#include "platform/log.h"

namespace corvexa::core {

namespace {

using mpeg::EncoderContext;
using mpeg::encoder_context;

static_assert(kConvertStageVideo == mpeg::kStageVideo && kConvertStageAudio == mpeg::kStageAudio &&
              kConvertStageMultiplex == mpeg::kStageMultiplex);

// Pulls frames and sound from the caller's callbacks for the package.
class CallbackFrameSource final : public mpeg::FrameSource {
 public:
  CallbackFrameSource(GetVideoFrameFn video, GetAudioBlockFn audio, GetPlanarFrameFn planes,
                      void* context)
      : video_(video), audio_(audio), planes_(planes), context_(context) {}

  int GetPlanes(int frame_number, Planes& out) override {
    if (planes_ == nullptr) return -1;
    PlanarFrame frame{};
    const int code = planes_(context_, frame_number, &frame);
    if (code != 0) return code;
    out.y = frame.y;
    out.cb = frame.cb;
    out.cr = frame.cr;
    out.y_stride = frame.y_stride;
    out.c_stride = frame.c_stride;
    out.width = frame.width;
    out.height = frame.height;
    return 0;
  }

  int GetFrame(int frame_number, FrameHolder& holder, int& line_bytes, int& repeat) override {
    repeat = 0;  // the job's frames each stand for themselves
    if (video_ == nullptr) return kFeedReadError;
    std::int32_t bytes = 0;
    int code = video_(context_, frame_number, &holder, &bytes, 0, 0);
    line_bytes = bytes;
    return code;
  }

  int GetAudio(int frame_number, const std::uint8_t*& data, int& byte_count,
               int& advance) override {
    if (audio_ == nullptr) return kFeedNoMoreAudio;
    std::uint8_t* block = nullptr;
    std::uint8_t** block_ref = &block;
    std::int32_t count = 0, frames = 0;
    int code = audio_(context_, frame_number, &frames, &count, 0, &block_ref, 0);
    data = block;
    byte_count = count;
    advance = frames;
    return code;
  }

 private:
  GetVideoFrameFn video_;
  GetAudioBlockFn audio_;
  GetPlanarFrameFn planes_;
  void* context_;
};

// The package's progress and messages: progress to the caller's sink as
// percent x 100, everything to the opt-in log.
class FacadeStatus final : public mpeg::StatusSink {
 public:
  void Progress(const char* text, int percent) override {
    if (text != nullptr && *text) platform::log_line(text);
    if (ConvertSink* target = sink.load()) target->OnProgress(percent * 100);
  }
  void Message(const char* text) override {
    platform::log_line(text);
    if (text == nullptr) return;
    // Diagnostics are indented; the last plain message says what went wrong.
    std::lock_guard<std::mutex> hold(lock);
    if (*text != ' ' || last.empty()) last = text;
  }
  void ClearMessage() {
    std::lock_guard<std::mutex> hold(lock);
    last.clear();
  }
  std::string LastMessage() {
    std::lock_guard<std::mutex> hold(lock);
    return last;
  }
  // The stage that begins is announced through the sink's spare slot, so
  // that a caller can name it rather than guess it from the percentages.
  void StageStarted(int stage) override {
    if (ConvertSink* target = sink.load()) target->OnSpare(stage);
  }

  // Set by the caller's thread, read by the worker's.
  std::atomic<ConvertSink*> sink{nullptr};

 private:
  std::mutex lock;
  std::string last;
};

struct FacadeShared {
  FacadeStatus status;
  bool pal = true;
  int preset_aspect = 0;  // the aspect the last preset gave
};

FacadeShared& shared() {
  static FacadeShared instance;
  return instance;
}

mpeg::SourceInfo to_source_info(const SourceDescription& d) {
  mpeg::SourceInfo s;
  s.has_video = d.has_video != 0;
  s.has_audio = d.has_audio != 0;
  s.width = d.width;
  s.height = d.height;
  s.sample_rate = d.sample_rate;
  s.bits_per_sample = d.bits_per_sample;
  s.stereo = d.stereo != 0;
  s.first_frame = d.first_frame;
  s.last_frame = d.last_frame;
  s.output_path.assign(d.output_path, strnlen(d.output_path, sizeof d.output_path));
  s.keep_program_stream = d.keep_program_stream != 0;
  return s;
}

class MpegEncoderObject final : public EngineObjectImpl<MpegEncoder, MpegEncoderObject> {
 public:
  bool Init() override {
    EncoderContext& ctx = encoder_context();
    ctx.status = &shared().status;
    ctx.source.has_video = false;
    ctx.source.has_audio = false;
    running_ = false;
    mpeg::init_encoder(ctx);
    shared().preset_aspect = ctx.record.aspect_ratio_information;
    return true;
  }

  void Shutdown() {
    if (running_) Stop();
  }

  void Stop() override { mpeg::request_stop(encoder_context()); }
  void SetSink(ConvertSink* sink) override { shared().status.sink = sink; }
  void Reserved6(std::int32_t) override {}
  void Reserved7(std::int32_t) override {
    mpeg::EncoderDescriptor discarded;
    mpeg::describe_encoder(encoder_context(), discarded);
  }

  void Encode(GetVideoFrameFn video_cb, GetAudioBlockFn audio_cb, SpareFn spare_cb,
              void* context, const SourceDescription* description) override {
    (void)spare_cb;  // kept by the protocol, never called
    EncoderContext& ctx = encoder_context();
    ctx.status = &shared().status;
    shared().status.ClearMessage();
    ctx.start_sound_with_picture = true;
    running_ = true;
    int result = mpeg::kRunFailed;
    if (description != nullptr) {
      CallbackFrameSource frames(video_cb, audio_cb, planar_, context);
      result = mpeg::encode(ctx, &frames, to_source_info(*description));
    }
    running_ = false;
    if (result != mpeg::kRunSucceeded && !WasStopped() && description != nullptr)
      ExplainRefusal(*description);
    ConvertSink* sink = shared().status.sink.load();
    if (sink == nullptr) return;
    if (result == mpeg::kRunSucceeded) {
      sink->OnCompleted();
    } else if (!WasStopped()) {
      sink->OnError("Convert Error");
    }
  }

  void Stop2() override { Stop(); }
  bool WasStopped() override { return encoder_context().stop_requested.load(); }

  void SetTarget(std::int32_t kind, std::uint8_t pal) override {
    EncoderContext& ctx = encoder_context();
    ctx.record.mpeg_type = kind;
    shared().pal = pal != 0;
    if (kind >= 0 && kind <= 4) mpeg::apply_preset(ctx, ctx.record, kind, pal != 0);
    shared().preset_aspect = ctx.record.aspect_ratio_information;
  }

  void SetAudioBitrate(std::int32_t index) override {
    EncoderContext& ctx = encoder_context();
    mpeg::EncoderSettings& r = ctx.record;
    int wanted = index;
    if (r.mpeg_type == mpeg::kSuperVcd) wanted = r.audio_mode == 3 ? index + 1 : index + 4;
    // A rate layer II forbids for the mode would make a stream strict
    // decoders refuse: the previous rate stays.
    if (!mpeg::layer2_pair_allowed(r.audio_layer, r.audio_mode, wanted)) return;
    r.audio_bitrate_index = wanted;
    if (r.mpeg_type == mpeg::kSuperVcd) mpeg::recompute_rates(ctx, r);
  }

  void SetFrameRate(double fps) override { encoder_context().record.frame_rate = fps; }
  void SetFrameRateCode(std::int32_t code) override {
    encoder_context().record.frame_rate_code = code;
  }
  void SetSplitSize(std::int32_t megabytes) override {
    encoder_context().record.split_size_mb = megabytes;
  }
  void SetAudioLayer(std::int32_t n) override { encoder_context().record.audio_layer = n; }
  void SetAudioMode(std::int32_t n) override { encoder_context().record.audio_mode = n; }
  void SetCopyright(std::int32_t n) override { encoder_context().record.copyright = n; }
  void SetPrivateBit(std::int32_t n) override { encoder_context().record.private_bit = n; }
  void SetOriginal(std::int32_t n) override { encoder_context().record.original = n; }
  void SetPulldown(std::int32_t mode) override { encoder_context().record.pulldown = mode; }
  void SetAspectRatio(std::int32_t code) override {
    encoder_context().record.aspect_ratio_information = code != 0 ? code : shared().preset_aspect;
  }
  void SetPlanarSource(GetPlanarFrameFn fn) override { planar_ = fn; }
  void SetAc3BitRate(std::int32_t bit_rate) override {
    encoder_context().ac3_bit_rate = bit_rate > 0 ? bit_rate : 0;
  }
  const char* LastMessage() override {
    last_message_ = shared().status.LastMessage();
    return last_message_.c_str();
  }

 private:
  // Settings the package refuses fail without a message of its own; the
  // caller still learns which stream they did not fit.
  void ExplainRefusal(const SourceDescription& d) {
    if (!shared().status.LastMessage().empty()) return;
    const mpeg::EncoderSettings& r = encoder_context().record;
    char text[160];
    if (d.has_video && !mpeg::validate_video(r, d.width, d.height)) {
      std::snprintf(text, sizeof text,
                    "The target's video settings cannot code a %dx%d picture at %.3f frames per second.",
                    d.width, d.height, r.frame_rate);
    } else if (d.has_audio && !mpeg::validate_audio(r)) {
      std::snprintf(text, sizeof text, "The target's audio settings are not valid.");
    } else {
      return;
    }
    shared().status.Message(text);
  }

  bool running_ = false;
  std::string last_message_;
  GetPlanarFrameFn planar_ = nullptr;
};

}  // namespace

EngineObject* construct_mympegenc() { return construct_kind<MpegEncoderObject>(); }

}  // namespace corvexa::core
