#include "media/avi_conversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/to_avi_messages.h"
#include "platform/avi_file_writer.h"
#include "platform/decoded_audio.h"
#include "platform/media_file.h"
#include "platform/media_video.h"

namespace corvexa::media {

namespace {

using platform::kMediaTicksPerSecond;

std::int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A frame rate an AVI can carry: the stream's own, else from its frame
// duration, else 25 frames per second.
void output_rate(const platform::MediaStreamInfo& info, std::int64_t time_per_frame, int* rate,
                 int* scale) {
  auto usable = [](double fps) { return fps >= 1.0 && fps <= 240.0; };
  if (info.rate > 0 && info.scale > 0 && usable(static_cast<double>(info.rate) / info.scale)) {
    *rate = info.rate;
    *scale = info.scale;
  } else if (time_per_frame > 0 && usable(1e7 / static_cast<double>(time_per_frame))) {
    *rate = static_cast<int>(kMediaTicksPerSecond);
    *scale = static_cast<int>(time_per_frame);
  } else {
    *rate = 25;
    *scale = 1;
  }
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writing over the file being read would lose the source.
bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

bool probe_source(const std::string& path, SourceStreams* found) {
  *found = SourceStreams();
  auto file = platform::MediaFile::open(path);
  if (!file) return false;
  const auto* video = file->primary_video();
  const auto* audio = file->primary_audio();
  found->video = video != nullptr && video->decodable;
  found->audio = audio != nullptr && audio->decodable;
  found->duration = file->duration();
  return true;
}

AviConversion::AviConversion() = default;
AviConversion::~AviConversion() { discard(); }

bool AviConversion::create_muxer(const platform::AviWriterOptions& options) {
  writer_options_ = options;
  writer_ = platform::AviFileWriter::create(options);
  return writer_ != nullptr;
}

std::string AviConversion::prepare(const ConversionPlan& plan, std::string* detail) {
  plan_ = plan;
  if (!writer_ || plan.writer.interleave_ms != writer_options_.interleave_ms) {
    if (!create_muxer(plan.writer)) return kNoMuxer;
  }
  auto file = platform::MediaFile::open(plan.source);
  if (!file) return kNotMedia;
  duration_ = file->duration();
  range_start_ = std::max<std::int64_t>(0, plan.start);
  range_stop_ = plan.stop;
  if (duration_ > 0) range_stop_ = std::min(range_stop_, duration_);
  if (range_start_ >= range_stop_) return kEmptyRange;

  const platform::MediaStreamInfo* audio_info = file->primary_audio();
  const platform::MediaStreamInfo* video_info = file->primary_video();
  if (audio_info != nullptr && !audio_info->decodable) audio_info = nullptr;
  if (video_info != nullptr && !video_info->decodable) video_info = nullptr;
  if (audio_info != nullptr) {
    const std::string encoder = plan.audio ? plan.audio->encoder : "";
    sample_rate_ = platform::encoder_sample_rate(encoder, audio_info->sample_rate);
    audio_ = platform::DecodedAudio::open_file(plan.source, sample_rate_);
    if (!audio_) {
      *detail = "the sound cannot be decoded";
      return kAudioFailed;
    }
    channels_ = audio_->channels();
  }
  if (video_info != nullptr) {
    video_ = platform::MediaVideo::open(plan.source, video_info->index);
    if (!video_) {
      *detail = "the video cannot be decoded";
      return kVideoFailed;
    }
    output_rate(*video_info, video_->time_per_frame(), &rate_, &scale_);
  }
  if (!audio_ && !video_) return kNoStreams;

  if (audio_) {
    platform::AviAudioTrack track;
    if (plan.audio) track.encoder = plan.audio->encoder;
    track.sample_rate = sample_rate_;
    track.channels = channels_;
    if (!writer_->add_audio(track, detail)) return kAudioFailed;
  }
  if (video_) {
    platform::AviVideoTrack track;
    if (plan.video) {
      track.encoder = plan.video->encoder;
      track.fourcc = plan.video->fourcc;
    }
    track.width = video_->width();
    track.height = video_->height();
    track.rate = rate_;
    track.scale = scale_;
    track.settings = plan.video_settings;
    if (!writer_->add_video(track, detail)) return kVideoFailed;
  }

  // The file is written under a scratch name beside the output and takes
  // the output's name only once it is complete: a failed or stopped run
  // leaves neither a half-written AVI nor a damaged earlier file.
  if (plan.output.empty() || is_directory(plan.output) || same_file(plan.output, plan.source))
    return kCannotCreate;
  for (int attempt = 0; attempt < 100 && scratch_.empty(); ++attempt) {
    std::string name = plan.output + ".part";
    if (attempt > 0) name += std::to_string(attempt);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(name.c_str());
      scratch_ = name;
    } else if (errno != EEXIST) {
      *detail = name + ": " + std::strerror(errno);
      return kCannotCreate;
    }
  }
  if (scratch_.empty()) return kCannotCreate;
  if (!writer_->open_file(scratch_, detail)) {
    ::unlink(scratch_.c_str());
    scratch_.clear();
    return kCannotWrite;
  }
  if (video_ && range_start_ > 0) video_->seek(range_start_);
  if (audio_ && range_start_ > 0) {
    // Decoded and dropped rather than sought, so that the sound starts at
    // exactly the first picture's time.
    std::int64_t skip = range_start_ * sample_rate_ / kMediaTicksPerSecond;
    std::vector<std::uint8_t> scrap(64 * 1024);
    const std::int64_t frame_bytes = 2 * channels_;
    while (skip > 0) {
      const std::int64_t want = std::min<std::int64_t>(skip * frame_bytes, static_cast<std::int64_t>(scrap.size()) / frame_bytes * frame_bytes);
      const std::int64_t got = audio_->read(scrap.data(), want);
      if (got <= 0) {
        sound_ended_ = true;
        break;
      }
      skip -= got / frame_bytes;
    }
  }
  return "";
}

bool AviConversion::write_sound_until(std::int64_t time) {
  if (!audio_ || sound_ended_) return true;
  time = std::min(time, range_stop_);
  const std::int64_t target = (time - range_start_) * sample_rate_ / kMediaTicksPerSecond;
  const std::int64_t frame_bytes = 2 * channels_;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(std::max(1, sample_rate_ / 10)) * frame_bytes);
  while (samples_written_ < target) {
    const std::int64_t want = std::min<std::int64_t>(target - samples_written_,
                                                     static_cast<std::int64_t>(block.size()) / frame_bytes);
    const std::int64_t got = audio_->read(block.data(), want * frame_bytes);
    if (got < 0) return false;
    if (got == 0) {
      sound_ended_ = true;
      return true;
    }
    const std::int64_t whole = got / frame_bytes * frame_bytes;
    if (!writer_->write_sound(block.data(), static_cast<std::size_t>(whole))) return false;
    samples_written_ += whole / frame_bytes;
  }
  return true;
}

void AviConversion::report(std::int64_t position, const std::function<void(int)>& progress,
                           bool force) {
  const std::int64_t now = now_ms();
  if (!force && last_report_ms_ >= 0 && now - last_report_ms_ < 100) return;
  last_report_ms_ = now;
  if (range_stop_ == kUnlimited || range_stop_ <= range_start_ || position >= range_stop_) return;
  progress(static_cast<int>((position - range_start_) * 10000 / (range_stop_ - range_start_)));
}

AviConversion::Outcome AviConversion::run(const std::atomic<bool>& stop,
                                          const std::function<void(int)>& progress) {
  bool ok = true;
  report(range_start_, progress, true);
  if (video_) {
    const double frame_ticks = static_cast<double>(kMediaTicksPerSecond) * scale_ / rate_;
    const std::int64_t source_frame = video_->time_per_frame() > 0
                                          ? video_->time_per_frame()
                                          : static_cast<std::int64_t>(frame_ticks);
    for (std::int64_t k = 0; ok; ++k) {
      if (stop) break;
      const std::int64_t t = range_start_ + static_cast<std::int64_t>(k * frame_ticks + 0.5);
      if (t >= range_stop_) break;
      if (!video_->advance_to(t)) {
        ok = k > 0;  // not one picture decodes
        break;
      }
      // Past the last picture's time on screen: the video has ended.
      if (video_->finished() && t >= video_->picture_time() + source_frame) break;
      const std::uint8_t* picture = video_->picture();
      if (plan_.preview != nullptr && plan_.preview->IsVisible())
        plan_.preview->Present(picture, video_->width(), video_->height());
      ok = writer_->write_picture(picture) &&
           write_sound_until(range_start_ + static_cast<std::int64_t>((k + 1) * frame_ticks + 0.5));
      report(t, progress, false);
    }
  }
  if (ok && !stop && audio_) {
    // What is left of the sound, or all of it without video.
    while (ok && !stop && !sound_ended_) {
      const std::int64_t at = range_start_ + samples_written_ * kMediaTicksPerSecond / sample_rate_;
      if (at >= range_stop_) break;
      const std::int64_t before = samples_written_;
      ok = write_sound_until(at + kMediaTicksPerSecond / 10);
      report(at, progress, false);
      if (samples_written_ == before) break;
    }
  }
  if (stop) {
    discard();
    return Outcome::kStopped;
  }
  if (!ok || !writer_->finish() || std::rename(scratch_.c_str(), plan_.output.c_str()) != 0) {
    discard();
    return Outcome::kFailed;
  }
  scratch_.clear();
  return Outcome::kCompleted;
}

void AviConversion::discard() {
  if (writer_) writer_->abandon();
  if (!scratch_.empty()) ::unlink(scratch_.c_str());
  scratch_.clear();
}

}  // namespace corvexa::media
