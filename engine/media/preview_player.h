// Plays a media file at its own pace: pictures to a preview surface, sound to
// the desktop's sound service (discarded when no device opens), with pause,
// seek, volume and a progress report every 500 ms.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "corvexa/media_player.h"
#include "corvexa/preview.h"

namespace corvexa::media {

class PreviewPlayer {
 public:
  PreviewPlayer();
  ~PreviewPlayer();
  PreviewPlayer(const PreviewPlayer&) = delete;
  PreviewPlayer& operator=(const PreviewPlayer&) = delete;

  bool open(const std::string& path);
  bool play(PreviewSurface* surface, PlayerProgress progress, std::intptr_t user);
  bool pause();
  bool resume();
  void stop();
  void close();
  bool set_volume(std::int32_t volume);
  std::int32_t volume() const { return volume_; }
  bool seek(std::int64_t time);
  std::int64_t duration() const { return duration_; }
  // -1 when nothing is open.
  std::int64_t position() const;
  bool has_video() const { return has_video_; }
  bool has_audio() const { return has_audio_; }
  void video_size(std::int32_t& width, std::int32_t& height) const;
  PreviewSurface* surface() const { return surface_; }

  // How long stop waits after ending the progress reports.
  static constexpr int kStopSettleMs = 500;
  static constexpr int kProgressPeriodMs = 500;

 private:
  struct Media;
  void start_threads();
  // Ends the workers and the progress reports; true when reports were on.
  bool stop_threads_and_report();
  bool wait_playing(std::unique_lock<std::mutex>& hold);
  void video_loop();
  void audio_loop();
  void progress_loop();
  void show_frame_at(std::int64_t time);

  std::string path_;
  std::unique_ptr<Media> media_;
  bool has_video_ = false, has_audio_ = false;
  std::int32_t width_ = 0, height_ = 0;
  std::int64_t duration_ = 0;
  std::atomic<std::int32_t> volume_{0};
  PreviewSurface* surface_ = nullptr;

  // Playback position: `base_` plus the time since `started_` while running.
  mutable std::mutex lock_;
  std::condition_variable wake_;
  bool running_ = false, paused_ = false, quit_ = false;
  std::int64_t base_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::uint64_t generation_ = 0;  // counts seeks, so the workers notice them
  bool end_signalled_ = false;  // the end has been reported since the last seek

  PlayerProgress progress_ = nullptr;
  std::intptr_t user_ = 0;
  bool reporting_ = false;
  std::thread video_thread_, audio_thread_, progress_thread_;

  std::int64_t position_locked() const;
};

}  // namespace corvexa::media
