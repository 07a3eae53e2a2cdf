// AVITOMPEG: one conversion of an AVI file into MPEG. Start opens and
// measures the source on the caller's thread; the encoding runs on a worker
// thread that pulls frames and sound through the two callbacks below.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "core/audio_reader.h"
#include "core/factory.h"
#include "core/frame_rate_map.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "core/output_name.h"
#include "core/video_frame_reader.h"
#include "corvexa/avi_to_mpeg.h"
#include "corvexa/media_source.h"
#include "corvexa/mpeg_encoder.h"
#include "platform/avi_services.h"
#include "platform/media_file.h"

namespace corvexa::core {

namespace {

constexpr const char* kConvertError = "Convert Error";

bool fits_path(const char* path) { return path != nullptr && strnlen(path, kMaxPath) < kMaxPath; }

class AviToMpegJobObject final : public EngineObjectImpl<AviToMpegJob, AviToMpegJobObject> {
 public:
  bool Init() override {
    ClearState();
    audio_ = std::make_unique<AudioReader>();
    video_ = std::make_unique<VideoFrameReader>();
    media_source_ = construct_mymediasource_if_any();
    encoder_ = static_cast<MpegEncoder*>(make_heap_object(construct_mympegenc));
    return encoder_ != nullptr;
  }

  void Shutdown() {
    EndWorker();
    CloseAll();
    ReleaseObject(media_source_);
    media_source_ = nullptr;
    ReleaseObject(encoder_);
    encoder_ = nullptr;
    audio_.reset();
    video_.reset();
  }

  void SetTarget(std::int32_t kind, std::uint8_t pal) override {
    if (encoder_) encoder_->SetTarget(kind, pal);
  }
  void SetSplitSize(std::int32_t megabytes) override {
    if (encoder_) encoder_->SetSplitSize(megabytes);
  }
  void Reserved6(std::int32_t) override {}

  bool SetSourceFile(const char* path) override {
    if (!fits_path(path)) {
      // Refused: Start must not go on with a file the caller did not name.
      source_path_.clear();
      source_refused_ = true;
      return false;
    }
    source_path_ = path;
    source_refused_ = false;
    return true;
  }

  void SetOutputFile(const char* path) override {
    output_refused_ = path != nullptr && !fits_path(path);
    output_path_ = (path != nullptr && !output_refused_) ? path : "";
  }

  void SetPreviewWindow(PreviewSurface* surface) override {
    preview_ = surface;
    if (video_) video_->SetPreview(surface);
    if (media_source_) media_source_->SetPreviewWindow(surface);
  }

  void SetSink(ConvertSink* sink) override {
    sink_ = sink;
    if (encoder_) encoder_->SetSink(sink);
  }

  void Stop() override {
    if (encoder_) encoder_->Stop();
  }

  void Start() override {
    if (worker_.joinable()) {
      if (!worker_done_.load()) {
        Fail();  // one run at a time
        return;
      }
      worker_.join();
    }
    if (!OpenAndMeasure()) {
      CloseAll();
      Fail();
      return;
    }
    std::string output = output_path_.empty() ? default_output_for(source_path_) : output_path_;
    if (!fits_path(output.c_str())) {
      CloseAll();
      Fail();
      return;
    }
    SourceDescription description{};
    std::memcpy(description.output_path, output.c_str(), output.size() + 1);
    if (video_ready_) {
      frame_count_ = (last_frame_ - first_frame_ + 1) * frame_repeat_;
      description.has_video = 1;
      description.width = width_;
      description.height = height_;
      description.first_frame = 0;
      description.last_frame = frame_count_ - 1;
    }
    if (audio_ready_) {
      AudioReader::Output out = audio_->Describe();
      description.has_audio = 1;
      description.sample_rate = out.sample_rate;
      description.stereo = out.stereo ? 1 : 0;
      description.bits_per_sample = out.bits;
    }
    description.job = this;
    worker_done_ = false;
    abandoning_ = false;
    worker_ = std::thread([this, description] { Work(description); });
  }

 private:
  MediaSource* construct_mymediasource_if_any() {
    return static_cast<MediaSource*>(make_heap_object(construct_mymediasource));
  }

  void ClearState() {
    video_ready_ = audio_ready_ = use_media_source_ = false;
    frame_repeat_ = 1;
    width_ = height_ = frame_count_ = bit_depth_ = 0;
    first_frame_ = last_frame_ = 0;
  }

  void Fail() {
    if (sink_ != nullptr) sink_->OnError(kConvertError);
  }

  bool OpenAndMeasure() {
    ClearState();
    if (source_refused_ || output_refused_ || source_path_.empty()) return false;
    // Video through the platform's AVI services, or the frame source when
    // they cannot decode it; sound independently.
    const bool video_open = video_->Open(source_path_);
    std::shared_ptr<platform::AviFile> file = platform::AviFile::open(source_path_);
    if (!file) return OpenOtherMedia();
    if (!video_open) use_media_source_ = media_source_ != nullptr && media_source_->Open(source_path_.c_str());
    const bool audio_open = audio_->Open(source_path_);
    if (!video_open && !use_media_source_ && !audio_open) return false;

    const AviFileInfo& info = file->info();
    width_ = static_cast<std::int32_t>(info.width);
    height_ = static_cast<std::int32_t>(info.height);
    if (!SetUpVideo(info)) return false;
    // Sound that cannot be prepared leaves the run without it.
    audio_ready_ = audio_open && audio_->Prepare(info.rate, info.scale);
    return true;
  }

  // A file our AVI services cannot open at all (MPEG, WMV, MP4, MOV...):
  // frames through the frame source, sound decoded by the platform.
  bool OpenOtherMedia() {
    std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(source_path_);
    const platform::MediaStreamInfo* video = file ? file->primary_video() : nullptr;
    if (video == nullptr || video->rate <= 0 || video->scale <= 0) return false;
    if (media_source_ == nullptr || !media_source_->Open(source_path_.c_str())) return false;
    use_media_source_ = true;
    width_ = media_source_->Width();
    height_ = media_source_->Height();
    const std::int64_t frames = media_source_->FrameCount();
    if (frames <= 0 || frames > INT32_MAX / 4 || width_ <= 0 || height_ <= 0) return false;
    AviStreamInfo stream{};
    stream.rate = static_cast<std::uint32_t>(video->rate);
    stream.scale = static_cast<std::uint32_t>(video->scale);
    stream.length = static_cast<std::uint32_t>(frames);
    // The frame source counts its frames from 0.
    first_frame_ = 0;
    last_frame_ = static_cast<std::int32_t>(frames - 1);
    frame_count_ = static_cast<std::int32_t>(frames);
    bit_depth_ = 32;
    if (!SetFrameRate(stream)) return false;
    const bool audio_open = audio_->OpenMedia(source_path_);
    audio_ready_ = audio_open && audio_->Prepare(stream.rate, stream.scale);
    return true;
  }

  bool SetUpVideo(const AviFileInfo& info) {
    AviStreamInfo stream{};
    if (!video_->ReadHeader(stream)) return false;
    if (info.length == 0 || width_ <= 0 || height_ <= 0) return false;
    if (use_media_source_) {
      // The frame source delivers 32-bit pictures of its own measure from
      // its first frame on.
      width_ = media_source_->Width();
      height_ = media_source_->Height();
      bit_depth_ = 32;
      first_frame_ = 0;
      const std::int64_t frames = std::min<std::int64_t>(info.length, media_source_->FrameCount());
      if (frames <= 0 || frames > INT32_MAX / 4) return false;
      last_frame_ = static_cast<std::int32_t>(frames - 1);
      frame_count_ = static_cast<std::int32_t>(info.length);
      return SetFrameRate(stream);
    }
    bit_depth_ = video_->ProbeDepth(stream.start);
    if (bit_depth_ == 0) return false;
    first_frame_ = static_cast<std::int32_t>(stream.start);
    const std::int64_t last = static_cast<std::int64_t>(stream.start) + info.length - 1;
    const std::int64_t decodable = video_->LastDecodable(last, stream.start);
    if (decodable < 0 || decodable > INT32_MAX / 4) return false;
    last_frame_ = static_cast<std::int32_t>(decodable);
    frame_count_ = static_cast<std::int32_t>(info.length);
    return SetFrameRate(stream);
  }

  bool SetFrameRate(const AviStreamInfo& stream) {
    if (stream.scale == 0) return false;
    const double fps = static_cast<double>(stream.rate) / stream.scale;
    FrameRateMapping mapping;
    if (!map_frame_rate(fps, mapping)) return false;
    encoder_->SetFrameRate(fps);
    if (mapping.frame_rate_code != 0) encoder_->SetFrameRateCode(mapping.frame_rate_code);
    frame_repeat_ = mapping.frame_repeat;
    video_ready_ = true;
    return true;
  }

  void CloseAll() {
    if (use_media_source_ && media_source_) media_source_->Close();
    use_media_source_ = false;
    if (video_) video_->Close();
    if (audio_) audio_->Close();
  }

  void Work(SourceDescription description) {
    audio_->BeginRun();
    encoder_->Encode(&GetVideoFrame, &GetAudioBlock, &SpareCallback, this, &description);
    audio_->EndRun();
    CloseAll();
    worker_done_ = true;
  }

  // Destroying the job ends its run: a stop is requested until the worker
  // notices, and the callbacks refuse to deliver meanwhile.
  void EndWorker() {
    if (!worker_.joinable()) return;
    abandoning_ = true;
    if (encoder_) encoder_->SetSink(nullptr);
    while (!worker_done_.load()) {
      if (encoder_) encoder_->Stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker_.join();
  }

  static std::int32_t GetVideoFrame(void* context, std::int32_t frame_number,
                                    FrameHolder* holder, std::int32_t* line_bytes,
                                    std::int32_t, std::int32_t) {
    auto* job = static_cast<AviToMpegJobObject*>(context);
    if (job->abandoning_ || holder == nullptr || line_bytes == nullptr) return kFeedReadError;
    std::int64_t n = frame_number < 0 ? 0 : std::min(frame_number, job->frame_count_ - 1);
    std::int64_t source = n / job->frame_repeat_ + job->first_frame_;
    if (job->use_media_source_)
      return job->media_source_->GetFrame(holder, line_bytes, source) ? kFeedOk : kFeedReadError;
    return job->video_->ReadFrame(*holder, *line_bytes, source) ? kFeedOk : kFeedReadError;
  }

  static std::int32_t GetAudioBlock(void* context, std::int32_t, std::int32_t* advance,
                                    std::int32_t* byte_count, std::int32_t,
                                    std::uint8_t*** buffer_ref, std::int32_t) {
    auto* job = static_cast<AviToMpegJobObject*>(context);
    if (job->abandoning_) return kFeedReadError;
    if (advance) *advance = job->frame_repeat_;
    std::int32_t count = 0;
    std::uint8_t* data = nullptr;
    int code = job->audio_->ReadBlock(count, data);
    if (byte_count) *byte_count = count;
    if (buffer_ref && *buffer_ref) **buffer_ref = data;
    return code;
  }

  static std::int32_t SpareCallback() { return 0; }

  MpegEncoder* encoder_ = nullptr;
  MediaSource* media_source_ = nullptr;
  std::thread worker_;
  PreviewSurface* preview_ = nullptr;
  bool use_media_source_ = false;
  std::unique_ptr<AudioReader> audio_;
  std::unique_ptr<VideoFrameReader> video_;
  ConvertSink* sink_ = nullptr;
  std::string source_path_;
  std::string output_path_;
  bool source_refused_ = false;
  bool output_refused_ = false;
  bool video_ready_ = false;
  std::int32_t frame_repeat_ = 1;
  std::int32_t width_ = 0, height_ = 0;
  std::int32_t frame_count_ = 0;
  std::int32_t bit_depth_ = 0;
  std::int32_t first_frame_ = 0, last_frame_ = 0;
  bool audio_ready_ = false;
  std::atomic<bool> worker_done_{true};
  std::atomic<bool> abandoning_{false};
};

}  // namespace

EngineObject* construct_avitompeg() { return construct_kind<AviToMpegJobObject>(); }

}  // namespace corvexa::core
