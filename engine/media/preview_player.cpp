#include "media/preview_player.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/decoded_audio.h"
#include "platform/media_file.h"
#include "platform/media_video.h"
#include "platform/sound_output.h"

namespace corvexa::media {

namespace {

constexpr int kSoundRate = 48000;
constexpr int kSoundChannels = 2;
constexpr std::int64_t kTicksPerMs = 10000;
// Sound is decoded this far ahead of the clock at most.
constexpr std::int64_t kSoundLead = 100 * kTicksPerMs;
constexpr int kSoundChunkMs = 20;
constexpr int kIdleWaitMs = 10;

}  // namespace

struct PreviewPlayer::Media {
  std::unique_ptr<platform::MediaVideo> video;
  std::mutex video_lock;  // the decoder, between the worker and a seek while still
  std::unique_ptr<platform::DecodedAudio> audio;
  std::unique_ptr<platform::SoundOutput> sound;
};

PreviewPlayer::PreviewPlayer() = default;
PreviewPlayer::~PreviewPlayer() { close(); }

bool PreviewPlayer::open(const std::string& path) {
  close();
  std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(path);
  if (!file) return false;
  auto media = std::make_unique<Media>();
  const platform::MediaStreamInfo* video = file->primary_video();
  if (video != nullptr && video->decodable) media->video = platform::MediaVideo::open(path, video->index);
  if (file->primary_audio() != nullptr) media->audio = platform::DecodedAudio::open_file(path, kSoundRate);
  if (!media->video && !media->audio) return false;
  path_ = path;
  has_video_ = media->video != nullptr;
  has_audio_ = media->audio != nullptr;
  if (has_video_) {
    width_ = media->video->width();
    height_ = media->video->height();
  }
  duration_ = file->duration();
  media_ = std::move(media);
  base_ = 0;
  return true;
}

void PreviewPlayer::close() {
  stop_threads_and_report();
  media_.reset();
  surface_ = nullptr;
  has_video_ = has_audio_ = false;
  width_ = height_ = 0;
  duration_ = 0;
  base_ = 0;
  paused_ = false;
  path_.clear();
}

bool PreviewPlayer::play(PreviewSurface* surface, PlayerProgress progress, std::intptr_t user) {
  if (!media_) return false;
  // Audio only: the surface is not used.
  surface_ = has_video_ ? surface : nullptr;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!running_ || paused_) {
      started_ = std::chrono::steady_clock::now();
      running_ = true;
      paused_ = false;
    }
    progress_ = progress;
    user_ = user;
    reporting_ = true;
    ++generation_;  // the workers pick up the position
  }
  start_threads();
  wake_.notify_all();
  return true;
}

bool PreviewPlayer::pause() {
  if (!media_) return false;
  std::lock_guard<std::mutex> hold(lock_);
  if (running_ && !paused_) {
    base_ = position_locked();
    paused_ = true;
  }
  return true;
}

bool PreviewPlayer::resume() {
  if (!media_) return false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!running_ || paused_) {
      started_ = std::chrono::steady_clock::now();
      running_ = true;
      paused_ = false;
    }
  }
  start_threads();
  wake_.notify_all();
  return true;
}

void PreviewPlayer::stop() {
  const bool was_reporting = stop_threads_and_report();
  // Let a report the front-end is still handling settle before the rewind.
  if (was_reporting) std::this_thread::sleep_for(std::chrono::milliseconds(kStopSettleMs));
  std::lock_guard<std::mutex> hold(lock_);
  base_ = 0;
  paused_ = false;
  ++generation_;
  end_signalled_ = false;
}

bool PreviewPlayer::stop_threads_and_report() {
  bool was_reporting = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (running_ && !paused_) base_ = position_locked();
    running_ = false;
    was_reporting = reporting_;
    reporting_ = false;
    progress_ = nullptr;
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread* t : {&video_thread_, &audio_thread_, &progress_thread_})
    if (t->joinable()) t->join();
  std::lock_guard<std::mutex> hold(lock_);
  quit_ = false;
  return was_reporting;
}

bool PreviewPlayer::set_volume(std::int32_t volume) {
  if (!has_audio_) return false;
  volume_ = std::clamp(volume, -10000, 0);
  return true;
}

bool PreviewPlayer::seek(std::int64_t time) {
  if (!media_) return false;
  bool still = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    base_ = std::clamp<std::int64_t>(time, 0, std::max<std::int64_t>(duration_, 0));
    started_ = std::chrono::steady_clock::now();
    ++generation_;
    end_signalled_ = false;
    still = !running_ || paused_;
  }
  wake_.notify_all();
  if (still) show_frame_at(base_);
  return true;
}

std::int64_t PreviewPlayer::position() const {
  if (!media_) return -1;
  std::lock_guard<std::mutex> hold(lock_);
  return position_locked();
}

std::int64_t PreviewPlayer::position_locked() const {
  std::int64_t at = base_;
  if (running_ && !paused_) {
    at += std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                started_)
              .count() *
          10;
  }
  return duration_ > 0 ? std::min(at, duration_) : at;
}

void PreviewPlayer::video_size(std::int32_t& width, std::int32_t& height) const {
  width = has_video_ ? width_ : 0;
  height = has_video_ ? height_ : 0;
}

void PreviewPlayer::start_threads() {
  if (has_video_ && !video_thread_.joinable()) video_thread_ = std::thread([this] { video_loop(); });
  if (has_audio_ && !audio_thread_.joinable()) audio_thread_ = std::thread([this] { audio_loop(); });
  if (!progress_thread_.joinable()) progress_thread_ = std::thread([this] { progress_loop(); });
}

void PreviewPlayer::show_frame_at(std::int64_t time) {
  if (!media_ || !media_->video) return;
  std::lock_guard<std::mutex> hold(media_->video_lock);
  platform::MediaVideo& video = *media_->video;
  if (!video.seek(time) || !video.advance_to(time)) return;
  PreviewSurface* surface = surface_;
  if (surface != nullptr && surface->IsVisible() && video.picture() != nullptr)
    surface->Present(video.picture(), video.width(), video.height());
}

// Waits until playing (true) or told to quit (false).
bool PreviewPlayer::wait_playing(std::unique_lock<std::mutex>& hold) {
  wake_.wait(hold, [this] { return quit_ || (running_ && !paused_); });
  return !quit_;
}

void PreviewPlayer::video_loop() {
  platform::MediaVideo& video = *media_->video;
  std::uint64_t seen = 0;
  bool shown = false, done = false;
  std::int64_t shown_time = -1;
  std::unique_lock<std::mutex> hold(lock_);
  while (wait_playing(hold)) {
    const bool moved = seen != generation_;
    seen = generation_;
    const std::int64_t at = position_locked();
    hold.unlock();
    {
      std::lock_guard<std::mutex> decoding(media_->video_lock);
      if (moved) {
        video.seek(at);
        shown = done = false;
      }
      if (!done && video.advance_to(at)) {
        if (!shown || video.picture_time() != shown_time) {
          PreviewSurface* surface = surface_;
          if (surface != nullptr && surface->IsVisible())
            surface->Present(video.picture(), video.width(), video.height());
          shown = true;
          shown_time = video.picture_time();
        }
      }
      done = done || video.finished();
    }
    hold.lock();
    wake_.wait_for(hold, std::chrono::milliseconds(kIdleWaitMs),
                   [&] { return quit_ || seen != generation_; });
  }
}

void PreviewPlayer::audio_loop() {
  platform::DecodedAudio& audio = *media_->audio;
  if (!media_->sound) media_->sound = platform::SoundOutput::open(kSoundRate, audio.channels());
  const int frame_bytes = 2 * audio.channels();
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kSoundRate / 1000 * kSoundChunkMs * frame_bytes));
  std::uint64_t seen = 0;
  std::int64_t sound_time = 0;  // where the next chunk starts
  bool done = false;
  std::unique_lock<std::mutex> hold(lock_);
  while (wait_playing(hold)) {
    if (seen != generation_) {
      seen = generation_;
      sound_time = position_locked();
      hold.unlock();
      audio.seek(sound_time);
      if (media_->sound) media_->sound->discard();
      done = false;
      hold.lock();
      continue;
    }
    // Decode only a little ahead of the clock: the device's buffer is short,
    // and without a device the sound is paced by the clock alone.
    if (done || sound_time > position_locked() + kSoundLead) {
      wake_.wait_for(hold, std::chrono::milliseconds(kIdleWaitMs),
                     [&] { return quit_ || seen != generation_; });
      continue;
    }
    hold.unlock();
    const std::int64_t got = audio.read(chunk.data(), static_cast<std::int64_t>(chunk.size()));
    if (got <= 0) {
      done = true;
    } else {
      sound_time += got / frame_bytes * platform::kMediaTicksPerSecond / kSoundRate;
      const double gain = std::pow(10.0, volume_.load() / 2000.0);
      if (gain < 0.999) {
        auto* samples = reinterpret_cast<std::int16_t*>(chunk.data());
        for (std::int64_t i = 0; i < got / 2; ++i)
          samples[i] = static_cast<std::int16_t>(std::lround(samples[i] * gain));
      }
      if (media_->sound && !media_->sound->write(chunk.data(), static_cast<std::size_t>(got)))
        media_->sound.reset();  // the device went away: the rest is discarded
    }
    hold.lock();
  }
}

void PreviewPlayer::progress_loop() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!quit_) {
    wake_.wait_for(hold, std::chrono::milliseconds(kProgressPeriodMs), [this] { return quit_; });
    if (quit_ || !reporting_ || progress_ == nullptr) continue;
    const std::int64_t at = position_locked();
    const bool at_end = running_ && duration_ > 0 && at >= duration_;
    PlayerProgress report = progress_;
    const std::intptr_t user = user_;
    if (at_end && !end_signalled_) {
      // The end: reported once, then playback starts again from 0.
      end_signalled_ = true;
      hold.unlock();
      report(100, user);
      hold.lock();
      base_ = 0;
      started_ = std::chrono::steady_clock::now();
      ++generation_;
      end_signalled_ = false;
      wake_.notify_all();
      continue;
    }
    if (duration_ <= 0) continue;
    auto percent = static_cast<std::int32_t>(static_cast<double>(at) * 100.0 / duration_);
    if (percent >= 100) percent = 99;
    hold.unlock();
    report(percent, user);
    hold.lock();
  }
}

}  // namespace corvexa::media
