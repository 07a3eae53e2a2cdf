// MEDIATOAVI: converts any media file the media layer reads into an AVI
// file, with the compressors chosen in the codec dialog (or by the preset
// when no dialog can be shown), on a worker thread of its own.
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/media_to_avi.h"
#include "media/avi_conversion.h"
#include "media/codec_dialog.h"
#include "media/compressor_names.h"
#include "media/to_avi_messages.h"
#include "platform/compressor_catalog.h"
#include "platform/log.h"

namespace corvexa::core {

namespace {

using namespace media;  // the messages

constexpr std::int64_t kTicksPerSecond = 10000000;

std::optional<platform::CompressorEntry> bind_by_name(media::CompressorKind kind,
                                                      const std::string& name) {
  const auto entries = kind == media::CompressorKind::kAudio ? platform::avi_audio_compressors()
                                                             : platform::avi_video_compressors();
  for (const auto& entry : entries)
    if (entry.friendly == name) return entry;
  return std::nullopt;
}

class MediaToAviJob final : public EngineObjectImpl<MediaToAvi, MediaToAviJob>,
                            private media::CodecDialogHost {
 public:
  bool Init() override {
    Shutdown();
    start_time_ = 0;
    stop_time_ = media::kUnlimited;
    duration_ = 0;
    preset_ = kPresetAvi;
    preview_ = nullptr;
    dialog_parent_ = nullptr;
    {
      std::lock_guard<std::mutex> hold(sink_lock_);
      sink_ = nullptr;
    }
    audio_codecs_ = media::CompressorNames();
    video_codecs_ = media::CompressorNames();
    return audio_codecs_.enumerate(media::CompressorKind::kAudio) &&
           video_codecs_.enumerate(media::CompressorKind::kVideo);
  }

  void Shutdown() {
    tear_down();
    audio_compressor_.reset();
    video_compressor_.reset();
  }

  bool SetSourceFile(const char* path) override {
    source_.clear();
    has_audio_ = has_video_ = false;
    if (path == nullptr || path[0] == '\0' || strnlen(path, kMaxPath) >= kMaxPath) return false;
    source_ = path;
    media::SourceStreams found;
    const bool ok = media::probe_source(source_, &found);
    has_audio_ = found.audio;
    has_video_ = found.video;
    duration_ = found.duration;
    return ok && (has_audio_ || has_video_);
  }
  void SetOutputFile(const char* path) override {
    output_ = path != nullptr ? std::string(path, strnlen(path, kMaxPath)) : std::string();
    // Cut short, the name would be another file's: Start refuses it.
    output_too_long_ = output_.size() >= static_cast<std::size_t>(kMaxPath);
  }
  void SetStartTime(std::int32_t seconds) override {
    start_time_ = seconds < 0 ? 0 : static_cast<std::int64_t>(seconds) * kTicksPerSecond;
  }
  void SetStopTime(std::int32_t seconds) override {
    stop_time_ = static_cast<std::int64_t>(seconds) * kTicksPerSecond;
    // Clamped only when the length is known: a stop set before the source
    // is kept and clamped by the conversion itself.
    if (duration_ > 0 && stop_time_ > duration_) stop_time_ = duration_;
  }
  std::int32_t GetDuration() override {
    return static_cast<std::int32_t>(duration_ / kTicksPerSecond);
  }
  void SetPreviewWindow(PreviewSurface* surface) override { preview_ = surface; }
  void SetDialogParent(void* parent) override { dialog_parent_ = parent; }
  bool SetSink(MediaToAviSink* sink) override {
    if (sink == nullptr) return false;
    std::lock_guard<std::mutex> hold(sink_lock_);
    sink_ = sink;
    return true;
  }
  bool ClearSink() override {
    std::lock_guard<std::mutex> hold(sink_lock_);
    sink_ = nullptr;
    return true;
  }

  void Start() override {
    tear_down();
    if (output_.empty()) return fail(kNoOutputName);
    if (output_too_long_) return fail(kCannotCreate);
    conversion_ = std::make_unique<media::AviConversion>();
    if (!conversion_->create_muxer(writer_options_)) {
      conversion_.reset();
      return fail(kNoMuxer);
    }
    if (!choose_compressors()) {
      // Nothing of the cancelled start stays behind.
      conversion_.reset();
      std::lock_guard<std::mutex> hold(sink_lock_);
      if (sink_ != nullptr) sink_->OnCancelled();
      return;
    }
    media::ConversionPlan plan;
    plan.source = source_;
    plan.output = output_;
    plan.start = start_time_;
    plan.stop = stop_time_;
    plan.video = video_compressor_;
    plan.audio = audio_compressor_;
    plan.video_settings = video_settings_;
    plan.writer = writer_options_;
    plan.preview = preview_;
    std::string detail;
    const std::string message = conversion_->prepare(plan, &detail);
    if (!message.empty()) {
      conversion_.reset();
      if (!detail.empty()) platform::log_line(("MEDIATOAVI: " + detail).c_str());
      return fail(message.c_str());
    }
    duration_ = conversion_->duration();
    log_stages();
    stop_ = false;
    worker_ = std::thread([this] { work(); });
  }

  void Stop() override { stop_ = true; }

  bool SetCompressorPreset(std::int32_t preset) override {
    preset_ = preset;
    if (preset != kPresetDivx) return true;
    for (const std::string& name : video_codecs_.names())
      if (media::names_divx(name)) return true;
    return false;
  }
  std::int32_t AudioCompressorCount() override { return audio_codecs_.count(); }
  bool AudioCompressorName(std::int32_t index, char16_t** name) override {
    return audio_codecs_.copy_out(index, name);
  }
  std::int32_t VideoCompressorCount() override { return video_codecs_.count(); }
  bool VideoCompressorName(std::int32_t index, char16_t** name) override {
    return video_codecs_.copy_out(index, name);
  }
  bool SelectAudioCompressor(std::int32_t index) override {
    if (!in_dialog_) caller_chose_audio_ = true;
    audio_compressor_.reset();
    const std::string* name = audio_codecs_.at(index);
    if (name == nullptr) return false;
    audio_compressor_ = bind_by_name(media::CompressorKind::kAudio, *name);
    return audio_compressor_.has_value();
  }
  bool SelectVideoCompressor(std::int32_t index) override {
    if (!in_dialog_) caller_chose_video_ = true;
    video_compressor_.reset();
    const std::string* name = video_codecs_.at(index);
    if (name == nullptr) return false;
    video_compressor_ = bind_by_name(media::CompressorKind::kVideo, *name);
    return video_compressor_.has_value();
  }
  bool VideoCompressorHasConfig() override {
    return video_compressor_.has_value() && video_compressor_->configurable;
  }
  bool ConfigureVideoCompressor(void* owner) override {
    if (video_compressor_ && video_compressor_->configurable && media::dialogs_available())
      media::edit_video_settings(video_compressor_->friendly, true, video_settings_, owner);
    return true;
  }
  void ShowMuxProperties(void* owner) override {
    if (conversion_ && media::dialogs_available())
      media::edit_writer_options("Avi Mux Filter", writer_options_, owner);
  }

 private:
  // CodecDialogHost.
  media::CodecDialogState dialog_setup() override {
    return media::codec_dialog_setup(audio_codecs_.names(), video_codecs_.names(), has_audio_,
                                     has_video_, preset_);
  }
  bool select_audio(int data) override { return SelectAudioCompressor(data); }
  bool select_video(int data) override { return SelectVideoCompressor(data); }
  bool video_has_config() override { return VideoCompressorHasConfig(); }
  bool configure_video(void* owner) override { return ConfigureVideoCompressor(owner); }
  void show_mux_properties(void* owner) override { ShowMuxProperties(owner); }

  // The codec dialog, or its choices without a window: the preset's, except
  // where the caller has already chosen through slots 20 and 21. False when
  // the user cancelled.
  bool choose_compressors() {
    in_dialog_ = true;
    bool accepted = true;
    if (dialog_parent_ != headless_dialog_parent() && media::dialogs_available()) {
      accepted = media::run_codec_dialog(*this, dialog_parent_);
    } else {
      const media::CodecDialogState state = dialog_setup();
      if (!caller_chose_audio_) SelectAudioCompressor(state.audio.selected_data());
      if (!caller_chose_video_) SelectVideoCompressor(state.video.selected_data());
    }
    in_dialog_ = false;
    return accepted;
  }

  void log_stages() {
    if (!platform::log_enabled()) return;
    std::string names[] = {"Avi Mux Filter", "Video Tee Filter", "Audio Compressor Filter",
                           "Video Compressor Filter", "File Writer"};
    const bool present[] = {true, has_video_ && preview_ != nullptr, has_audio_, has_video_, true};
    for (int i = 0; i < 5; ++i)
      if (present[i]) platform::log_line(("The Filter = <<<<" + names[i] + ">>>>").c_str());
  }

  void work() {
    const auto outcome = conversion_->run(stop_, [this](int value) {
      std::lock_guard<std::mutex> hold(sink_lock_);
      if (sink_ != nullptr) sink_->OnProgress(value);
    });
    std::lock_guard<std::mutex> hold(sink_lock_);
    if (sink_ == nullptr) return;
    if (outcome == media::AviConversion::Outcome::kCompleted) sink_->OnCompleted();
    if (outcome == media::AviConversion::Outcome::kFailed) sink_->OnError(kRunFailed);
  }

  void fail(const char* message) {
    std::lock_guard<std::mutex> hold(sink_lock_);
    if (sink_ != nullptr) sink_->OnError(message);
  }

  // Ends a run (the unfinished file goes with it) and forgets its state;
  // the range set by the caller stays.
  void tear_down() {
    if (worker_.joinable()) {
      stop_ = true;
      worker_.join();
    }
    conversion_.reset();
    stop_ = false;
  }

  std::string source_, output_;
  bool output_too_long_ = false;
  media::CompressorNames audio_codecs_, video_codecs_;
  PreviewSurface* preview_ = nullptr;
  void* dialog_parent_ = nullptr;
  std::mutex sink_lock_;
  MediaToAviSink* sink_ = nullptr;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool has_audio_ = false, has_video_ = false;
  std::int32_t preset_ = kPresetAvi;
  std::optional<platform::CompressorEntry> audio_compressor_, video_compressor_;
  bool caller_chose_audio_ = false, caller_chose_video_ = false, in_dialog_ = false;
  platform::VideoCompressorSettings video_settings_;
  platform::AviWriterOptions writer_options_;
  std::unique_ptr<media::AviConversion> conversion_;
  std::int64_t start_time_ = 0, stop_time_ = media::kUnlimited, duration_ = 0;
};

}  // namespace

EngineObject* construct_mediatoavi() { return construct_kind<MediaToAviJob>(); }

}  // namespace corvexa::core
