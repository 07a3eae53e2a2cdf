// A stand-in for libCorvexaDll.so: the five factories the desktop program
// binds, with a media-information object that answers from the path.
// Built twice: whole, and without _NEW_MEDIATOAVI (FAKE_ENGINE_PARTIAL).
#include <cstring>
#include <string>

#include "corvexa/media_player.h"

namespace {

// The object base of every fake: nothing to acquire or release.
template <class Interface, class Self>
class FakeObject : public Interface {
 public:
  void Destroy(std::int32_t flags) override {
    if (flags & 1) delete static_cast<Self*>(this);
  }
  void Release() override { Destroy(1); }
  bool Init() override { return true; }
  bool IsReady() override { return true; }
};

// Opens any path except those containing "unreadable".
class FakeMediaPlayer final : public FakeObject<corvexa::MediaPlayer, FakeMediaPlayer> {
 public:
  bool PlayerOpen(const char*) override { return false; }
  bool PlayerPlay(corvexa::PreviewSurface*, corvexa::PlayerProgress, std::intptr_t) override {
    return false;
  }
  bool PlayerPause() override { return false; }
  std::int32_t PlayerResume() override { return 0; }
  void PlayerStop() override {}
  void PlayerClose() override {}
  bool SetVolume(std::int32_t) override { return false; }
  std::int32_t GetVolume() override { return 0; }
  bool SeekTo(std::int32_t) override { return false; }
  std::int32_t GetDurationMs() override { return 0; }
  void GetVideoSize(std::int32_t* w, std::int32_t* h) override { *w = *h = 0; }
  std::int64_t GetPositionMs() override { return -1; }
  bool PlayerHasAudio() override { return false; }
  bool PlayerHasVideo() override { return false; }
  bool ToggleFullScreen() override { return false; }
  bool FitVideoWindow() override { return false; }
  void ForwardWindowMessage(corvexa::PreviewSurface*, std::uint32_t, std::uintptr_t,
                            std::intptr_t) override {}
  bool OpenInfo(const char* path) override {
    if (path == nullptr || std::strstr(path, "unreadable") != nullptr) return false;
    text_ = "Container: FAKE\r\nVideo: 8 x 8";
    return true;
  }
  void SetInfoWindow(corvexa::PreviewSurface*) override {}
  void ShowInfoFrame(std::int32_t) override {}
  std::int32_t InfoFrameCount() override { return 0; }
  std::int32_t InfoSeconds() override { return 4; }
  const char* InfoText() override { return text_.c_str(); }
  std::int32_t InfoWidth() override { return 8; }
  std::int32_t InfoHeight() override { return 8; }
  void CloseInfo() override { text_.clear(); }

 private:
  std::string text_;
};

class LibraryObject final : public FakeObject<corvexa::EngineObject, LibraryObject> {};

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT corvexa::EngineObject* _NEW_CORVEXADLL() { return new LibraryObject; }
FAKE_EXPORT corvexa::EngineObject* _NEW_00_CORVEXADLL() {
  static LibraryObject* object = new LibraryObject;
  return object;
}
FAKE_EXPORT corvexa::EngineObject* _NEW_MEDIAPLAYDLL() { return new FakeMediaPlayer; }
FAKE_EXPORT corvexa::EngineObject* _NEW_AVITOMPEG() { return nullptr; }
#ifndef FAKE_ENGINE_PARTIAL
FAKE_EXPORT corvexa::EngineObject* _NEW_MEDIATOAVI() { return nullptr; }
#endif
