// AVITOMPEG: one conversion of an AVI file into MPEG. Start opens and
// measures the source on the caller's thread; the encoding runs on a worker
// thread that pulls frames and sound through the two callbacks below.
#include <atomic>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/audio_reader.h"
#include "core/conform_plan.h"
#include "core/factory.h"
#include "core/frame_rate_map.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "core/output_name.h"
#include "core/source_checks.h"
#include "core/video_frame_reader.h"
#include "corvexa/avi_to_mpeg.h"
#include "corvexa/media_source.h"
#include "corvexa/mpeg_encoder.h"
#include "platform/avi_services.h"
#include "platform/log.h"
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
    relay_.encoder = encoder_;
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
    kind_ = kind;
    pal_ = pal != 0;
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
  }

  void SetSink(ConvertSink* sink) override {
    sink_ = sink;
    relay_.target = sink;
  }

  void Stop() override {
    if (encoder_) encoder_->Stop();
  }

  void Start() override {
    last_error_.clear();
    adjustments_.clear();
    if (worker_.joinable()) {
      if (!worker_done_.load()) {
        Fail("a conversion is still running");  // one run at a time
        return;
      }
      worker_.join();
    }
    if (!OpenAndMeasure()) {
      CloseAll();
      Fail(nullptr);
      return;
    }
    std::string output = output_path_.empty() ? DefaultOutput() : output_path_;
    if (!fits_path(output.c_str())) {
      CloseAll();
      Fail("the output path is too long");
      return;
    }
    const std::string refusal = output_refusal(source_path_, output);
    if (!refusal.empty()) {
      CloseAll();
      Fail((output + ": " + refusal + "; nothing was written").c_str());
      return;
    }
    output_made_ = output;
    SourceDescription description{};
    std::memcpy(description.output_path, output.c_str(), output.size() + 1);
    if (video_ready_) {
      description.has_video = 1;
      description.width = video_->width();
      description.height = video_->height();
      description.first_frame = 0;
      description.last_frame = frame_count_ - 1;
    } else {
      // Sound alone: its blocks are counted like frames, over the whole track.
      description.first_frame = 0;
      description.last_frame = audio_blocks_ - 1;
    }
    if (audio_ready_) {
      AudioReader::Output out = audio_->Describe();
      description.has_audio = 1;
      description.sample_rate = out.sample_rate;
      description.stereo = out.stereo ? 1 : 0;
      description.bits_per_sample = out.bits;
    } else if (sound_dropped_) {
      description.keep_program_stream = 1;
    }
    description.job = this;
    // Decoded 4:2:0 frames go to the encoder as they are, unless a preview
    // wants RGB pictures.
    const bool planar = video_ready_ && preview_ == nullptr && video_->SetPlanar(true);
    encoder_->SetPlanarSource(planar ? &GetPlanarFrame : nullptr);
    relay_.failed = false;
    // The run reports to this job, which passes everything on to the sink.
    encoder_->SetSink(&relay_);
    worker_done_ = false;
    abandoning_ = false;
    worker_ = std::thread([this, description] { Work(description); });
  }

  const char* LastError() override {
    std::lock_guard<std::mutex> hold(relay_.lock);
    return relay_.failed ? relay_.reason.c_str() : last_error_.c_str();
  }
  void SetConforming(std::uint8_t on) override { conform_ = on != 0; }
  void SetStandardFromSource(std::uint8_t on) override { standard_from_source_ = on != 0; }
  const char* Adjustments() override { return adjustments_.c_str(); }
  const char* OutputPath() override { return output_made_.c_str(); }

 private:
  MediaSource* construct_mymediasource_if_any() {
    return static_cast<MediaSource*>(make_heap_object(construct_mymediasource));
  }

  void ClearState() {
    video_ready_ = audio_ready_ = use_media_source_ = sound_dropped_ = false;
    frame_repeat_ = 1;
    width_ = height_ = frame_count_ = bit_depth_ = 0;
    first_frame_ = last_frame_ = 0;
    audio_blocks_ = 0;
    plan_ = ConformPlan{};
    shape_ = SourceShape{};
  }

  // The sink hears "Convert Error" as callers expect; the reason stays for
  // LastError.
  void Fail(const char* reason) {
    if (reason != nullptr) last_error_ = reason;
    if (last_error_.empty()) last_error_ = "the source cannot be converted";
    if (sink_ != nullptr) sink_->OnError(kConvertError);
  }

  static void Notice(const std::string& text) { platform::notice(text.c_str()); }

  bool HasAudioStream() const {
    std::shared_ptr<platform::AviFile> file = platform::AviFile::open(source_path_);
    return file && file->get_stream(kStreamTypeAudio, 0) != nullptr;
  }

  std::string DefaultOutput() const {
    std::string name = default_output_for(source_path_);
    // Sound alone becomes an MPEG audio elementary stream.
    if (!video_ready_ && audio_ready_ && name.size() >= 4) name.replace(name.size() - 4, 4, ".mp2");
    return name;
  }

  bool OpenAndMeasure() {
    ClearState();
    if (source_refused_) return Refuse("the source path is too long");
    if (output_refused_) return Refuse("the output path is too long");
    if (source_path_.empty()) return Refuse("no source file was given");
    // Nothing that is not a file is opened: a FIFO without a writer would
    // block here for good.
    const std::string refusal = input_refusal(source_path_);
    if (!refusal.empty()) return Refuse("the source cannot be opened: " + refusal);
    // Video through the platform's AVI services, or the frame source when
    // they cannot decode it; sound independently.
    std::shared_ptr<platform::AviFile> file = platform::AviFile::open(source_path_);
    if (!file) return OpenOtherMedia();
    const bool video_open = video_->Open(source_path_);
    const bool audio_open = audio_->Open(source_path_);
    if (!video_open && !audio_open && !video_->has_stream()) return Refuse(VideoProblem());
    const AviFileInfo& info = file->info();
    width_ = static_cast<std::int32_t>(info.width);
    height_ = static_cast<std::int32_t>(info.height);
    AviStreamInfo stream{};
    const bool sound_only = !video_->ReadHeader(stream) && audio_open;
    if (sound_only) return SetUpSoundOnly(file);
    if (!video_open) {
      if (!video_->has_stream() || media_source_ == nullptr || !media_source_->Open(source_path_.c_str()))
        return Refuse(VideoProblem());
      use_media_source_ = true;
      video_->UseMediaSource(media_source_);
      // The pictures are of the frame source's own measure.
      width_ = media_source_->Width();
      height_ = media_source_->Height();
    }
    if (!SetUpVideo(info, stream)) return false;
    // Sound that cannot be prepared leaves the run without it, and says so.
    audio_ready_ = audio_open && PrepareAudio();
    if (audio_ready_) AddSoundChanges();
    sound_dropped_ = !audio_ready_ && HasAudioStream();
    if (sound_dropped_)
      Notice(source_path_ + ": the sound is left out: " + sound_drop_reason(source_path_) +
             "; converting the video alone");
    return true;
  }

  // A file our AVI services cannot open at all (MPEG, WMV, MP4, MOV...):
  // frames through the frame source, sound decoded by the platform.
  bool OpenOtherMedia() {
    std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(source_path_);
    if (!file) return Refuse("the source cannot be opened: it is neither an AVI file nor other media");
    const platform::MediaStreamInfo* video = file->primary_video();
    if (video == nullptr) return Refuse("the source has no video stream");
    if (video->rate <= 0 || video->scale <= 0) return Refuse("the source's frame rate is not known");
    if (media_source_ == nullptr || !media_source_->Open(source_path_.c_str()))
      return Refuse("no video decoder for the source's video (" + video->codec + ")");
    use_media_source_ = true;
    video_->UseMediaSource(media_source_);
    width_ = media_source_->Width();
    height_ = media_source_->Height();
    const std::int64_t frames = media_source_->FrameCount();
    if (frames > INT32_MAX / 4) return Refuse("the source has too many frames");
    AviFileInfo info{};
    info.width = static_cast<std::uint32_t>(width_);
    info.height = static_cast<std::uint32_t>(height_);
    info.length = static_cast<std::uint32_t>(frames);
    AviStreamInfo stream{};
    stream.rate = static_cast<std::uint32_t>(video->rate);
    stream.scale = static_cast<std::uint32_t>(video->scale);
    stream.length = info.length;
    if (!SetUpVideo(info, stream)) return false;
    audio_ready_ = audio_->OpenMedia(source_path_) && PrepareAudio();
    if (audio_ready_) AddSoundChanges();
    return true;
  }

  bool Refuse(const std::string& reason) {
    last_error_ = reason;
    return false;
  }

  std::string VideoProblem() const {
    if (!video_->has_stream()) return "the source has neither a video stream nor sound that can be read";
    return "no video decoder for the source's video (" + video_->codec_name() + ")";
  }

  bool SetUpVideo(const AviFileInfo& info, const AviStreamInfo& stream) {
    bit_depth_ = video_->ProbeDepth(stream.start);
    if (bit_depth_ == 0) return Refuse("the first video frame cannot be decoded");
    if (info.length == 0 || width_ <= 0 || height_ <= 0) return Refuse("the source has no video frames");
    // The frame source counts its frames from 0.
    first_frame_ = use_media_source_ ? 0 : static_cast<std::int32_t>(stream.start);
    // Frames the index does not hold are the end of the input, whatever
    // length the header claims: nothing is invented past them.
    std::int64_t length = info.length;
    const std::int64_t held = use_media_source_ ? -1 : indexed_video_frames(source_path_);
    if (held == 0) return Refuse("the source's index holds no video frame");
    if (held > 0 && held < length) {
      Notice(source_path_ + ": the header gives " + std::to_string(length) +
             " frames but the file holds " + std::to_string(held) + "; the video ends there");
      length = held;
    }
    if (use_media_source_) length = std::min<std::int64_t>(length, media_source_->FrameCount());
    const std::int64_t last = static_cast<std::int64_t>(first_frame_) + length - 1;
    const std::int64_t decodable = video_->LastDecodable(last, first_frame_);
    if (decodable < 0) return Refuse("no video frame of the source can be decoded");
    if (decodable > INT32_MAX / 4) return Refuse("the source has too many frames");
    last_frame_ = static_cast<std::int32_t>(decodable);
    if (stream.scale == 0 || stream.rate == 0) return Refuse("the source's frame rate is not known");
    const double fps = static_cast<double>(stream.rate) / stream.scale;

    shape_.width = width_;
    shape_.height = height_;
    shape_.pixel_aspect = video_->pixel_aspect();
    shape_.rate = stream.rate;
    shape_.scale = stream.scale;
    ChooseStandard(fps);
    shape_.has_audio = true;  // what the sound becomes, should it be prepared
    if (!plan_conversion(shape_, kind_, pal_, conform_, plan_))
      return Refuse("the source's frame rate cannot be coded");
    for (const std::string& line : plan_.changes) AddChange(line);
    if (!video_->SetGeometry(plan_.geometry)) return Refuse("the source's pictures cannot be scaled");

    encoder_->SetFrameRate(static_cast<double>(plan_.picture_rate) / plan_.picture_scale);
    if (plan_.frame_rate_code != 0) encoder_->SetFrameRateCode(plan_.frame_rate_code);
    encoder_->SetPulldown(plan_.pulldown);
    encoder_->SetAspectRatio(plan_.aspect_ratio_information);
    encoder_->SetAc3BitRate(plan_.ac3_bit_rate);
    const std::int64_t source_frames = static_cast<std::int64_t>(last_frame_) - first_frame_ + 1;
    const std::int64_t pictures = picture_count(shape_, plan_, source_frames);
    if (pictures <= 0 || pictures > INT32_MAX / 4) return Refuse("the source has too many frames");
    frame_count_ = static_cast<std::int32_t>(pictures);
    frame_repeat_ = whole_repeat(shape_, plan_);
    video_ready_ = true;
    return true;
  }

  // NTSC for sources at NTSC and film rates, PAL for the rest, when asked.
  void ChooseStandard(double fps) {
    if (!standard_from_source_ || kind_ < 0 || kind_ > 4) return;
    const bool pal = !prefers_ntsc(fps);
    if (pal == pal_) return;
    pal_ = pal;
    encoder_->SetTarget(kind_, pal ? 1 : 0);
  }

  // Blocks of one source frame standing for `frame_repeat_` pictures where
  // each frame stands for a whole number of them, else one picture's worth.
  bool PrepareAudio() {
    if (conform_) audio_->ConformTo(plan_.sample_rate, plan_.stereo);
    else audio_->ConformTo(0, false);
    if (frame_repeat_ > 0) return audio_->Prepare(shape_.rate, shape_.scale);
    return audio_->Prepare(static_cast<std::uint32_t>(plan_.picture_rate),
                           static_cast<std::uint32_t>(plan_.picture_scale));
  }

  void AddSoundChanges() {
    const AudioReader::Output out = audio_->Describe();
    if (audio_->source_rate() != 0 && audio_->source_rate() != out.sample_rate)
      AddChange(std::to_string(audio_->source_rate()) + " Hz \u2192 " + std::to_string(out.sample_rate) + " Hz");
    if (out.stereo && audio_->source_channels() == 1) AddChange("mono \u2192 stereo");
  }

  void AddChange(const std::string& line) {
    if (!adjustments_.empty()) adjustments_ += '\n';
    adjustments_ += line;
  }

  // A file with sound and no video stream gives the sound alone, counted in
  // blocks of 1/25 s.
  bool SetUpSoundOnly(const std::shared_ptr<platform::AviFile>& file) {
    constexpr std::uint32_t kBlocksPerSecond = 25;
    encoder_->SetAc3BitRate(0);
    if (conform_ && (kind_ == kTargetVideoCd || kind_ == kTargetSuperVcd || kind_ == kTargetDvd))
      audio_->ConformTo(kind_ == kTargetDvd ? 48000 : 44100, kind_ == kTargetVideoCd);
    else
      audio_->ConformTo(0, false);
    if (!audio_->Prepare(kBlocksPerSecond, 1)) return Refuse("the source's sound cannot be read");
    audio_ready_ = true;
    AddSoundChanges();
    std::shared_ptr<platform::AviStream> sound = file->get_stream(kStreamTypeAudio, 0);
    double seconds = 0;
    if (sound && sound->info().rate != 0)
      seconds = static_cast<double>(sound->info().length) * sound->info().scale / sound->info().rate;
    // A header that understates the track must not cut it: the reader says
    // when the sound ends.
    const double blocks = std::ceil(std::max(seconds, 1.0) * kBlocksPerSecond * 2) + kBlocksPerSecond;
    audio_blocks_ = static_cast<std::int32_t>(std::min(blocks, static_cast<double>(INT32_MAX / 4)));
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
    return job->video_->ReadFrame(*holder, *line_bytes, job->SourceFrame(frame_number)) ? kFeedOk
                                                                                          : kFeedReadError;
  }

  static std::int32_t GetPlanarFrame(void* context, std::int32_t frame_number, PlanarFrame* out) {
    auto* job = static_cast<AviToMpegJobObject*>(context);
    if (job->abandoning_ || out == nullptr) return kFeedReadError;
    const platform::AviFrameDecoder::Planes* p = job->video_->ReadPlanes(job->SourceFrame(frame_number));
    if (p == nullptr) return kFeedReadError;
    *out = PlanarFrame{p->y, p->cb, p->cr, p->width, p->width / 2, p->width, p->height};
    return kFeedOk;
  }

  std::int64_t SourceFrame(std::int32_t frame_number) const {
    std::int64_t n = frame_number < 0 ? 0 : std::min(frame_number, frame_count_ - 1);
    std::int64_t source = source_frame_of(shape_, plan_, n) + first_frame_;
    return std::min<std::int64_t>(source, last_frame_);
  }

  static std::int32_t GetAudioBlock(void* context, std::int32_t, std::int32_t* advance,
                                    std::int32_t* byte_count, std::int32_t,
                                    std::uint8_t*** buffer_ref, std::int32_t) {
    auto* job = static_cast<AviToMpegJobObject*>(context);
    if (job->abandoning_) return kFeedReadError;
    if (advance) *advance = job->frame_repeat_ > 0 ? job->frame_repeat_ : 1;
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
  bool sound_dropped_ = false;
  std::int32_t kind_ = kTargetMpeg1;
  bool pal_ = true;
  bool conform_ = true;
  bool standard_from_source_ = false;
  SourceShape shape_;
  ConformPlan plan_;
  std::int32_t audio_blocks_ = 0;
  std::string last_error_;
  std::string adjustments_;
  std::string output_made_;
  // Hears the run's end before the caller's sink, to keep the reason.
  struct Relay final : ConvertSink {
    void OnError(const char* text) override {
      {
        std::lock_guard<std::mutex> hold(lock);
        failed = true;
        reason = encoder != nullptr ? encoder->LastMessage() : "";
        if (reason.empty()) reason = "the encoder could not convert the source";
      }
      if (target) target->OnError(text);
    }
    void OnSpare(std::int32_t value) override {
      if (target) target->OnSpare(value);
    }
    void OnCompleted() override {
      if (target) target->OnCompleted();
    }
    void OnProgress(std::int32_t value) override {
      if (target) target->OnProgress(value);
    }
    ConvertSink* target = nullptr;
    MpegEncoder* encoder = nullptr;
    std::mutex lock;
    bool failed = false;
    std::string reason;
  } relay_;
  std::atomic<bool> worker_done_{true};
  std::atomic<bool> abandoning_{false};
};

}  // namespace

EngineObject* construct_avitompeg() { return construct_kind<AviToMpegJobObject>(); }

}  // namespace corvexa::core
