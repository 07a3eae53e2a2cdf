// MEDIAPLAYDLL: the preview player and the information report behind one
// interface.
#include <cstring>

#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"
#include "corvexa/media_player.h"
#include "media/info_frames.h"
#include "media/info_report.h"
#include "media/preview_player.h"

namespace corvexa::core {

namespace {

bool usable_path(const char* path) {
  // Longer paths are refused rather than cut into another file's name.
  return path != nullptr && path[0] != '\0' && strnlen(path, kMaxPath) < kMaxPath;
}

class MediaPlayDll final : public EngineObjectImpl<MediaPlayer, MediaPlayDll> {
 public:
  bool Init() override { return true; }

  void Shutdown() {
    player_.reset();
    CloseInfo();
  }

  // The player.
  bool PlayerOpen(const char* path) override {
    player().close();
    return usable_path(path) && player().open(path);
  }
  bool PlayerPlay(PreviewSurface* surface, PlayerProgress progress, std::intptr_t user) override {
    return player().play(surface, progress, user);
  }
  bool PlayerPause() override { return player().pause(); }
  std::int32_t PlayerResume() override { return player().resume() ? 0 : -1; }
  void PlayerStop() override { player().stop(); }
  void PlayerClose() override { player().close(); }
  bool SetVolume(std::int32_t volume) override { return player().set_volume(volume); }
  std::int32_t GetVolume() override { return player().volume(); }
  bool SeekTo(std::int32_t ms) override {
    return player().seek(static_cast<std::int64_t>(ms) * 10000);
  }
  std::int32_t GetDurationMs() override {
    return static_cast<std::int32_t>(player().duration() / 10000);
  }
  void GetVideoSize(std::int32_t* width, std::int32_t* height) override {
    std::int32_t w = 0, h = 0;
    player().video_size(w, h);
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
  }
  std::int64_t GetPositionMs() override {
    const std::int64_t position = player().position();
    return position < 0 ? -1 : position / 10000;
  }
  bool PlayerHasAudio() override { return player().has_audio(); }
  bool PlayerHasVideo() override { return player().has_video(); }
  bool ToggleFullScreen() override {
    PreviewSurface* surface = player().surface();
    return player().has_video() && surface != nullptr && surface->ToggleFullScreen();
  }
  bool FitVideoWindow() override {
    PreviewSurface* surface = player().surface();
    return player().has_video() && surface != nullptr && surface->FitToOwner();
  }
  void ForwardWindowMessage(PreviewSurface* surface, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam) override {
    if (surface != nullptr) surface->ForwardMessage(message, wparam, lparam);
  }

  // The information report.
  bool OpenInfo(const char* path) override {
    CloseInfo();
    if (!usable_path(path)) return false;
    // A file that is not media still has its one-line report.
    report_ = media::describe_file(path);
    if (!report_.is_media) return false;
    frames_.open(path, report_);
    return true;
  }
  void SetInfoWindow(PreviewSurface* surface) override { frames_.set_surface(surface); }
  void ShowInfoFrame(std::int32_t frame) override { frames_.show(frame); }
  std::int32_t InfoFrameCount() override { return report_.frame_count; }
  std::int32_t InfoSeconds() override { return report_.seconds; }
  const char* InfoText() override { return report_.text.c_str(); }
  std::int32_t InfoWidth() override { return report_.width; }
  std::int32_t InfoHeight() override { return report_.height; }
  void CloseInfo() override {
    frames_.close();
    report_ = media::InfoReport{};
  }

 private:
  media::PreviewPlayer& player() {
    if (!player_) player_ = std::make_unique<media::PreviewPlayer>();
    return *player_;
  }

  std::unique_ptr<media::PreviewPlayer> player_;
  media::InfoReport report_;
  media::InfoFrames frames_;
};

}  // namespace

EngineObject* construct_mediaplaydll() { return construct_kind<MediaPlayDll>(); }

}  // namespace corvexa::core
