// MEDIAPLAYDLL: media preview and information. The front-end uses the
// information operations (21, 25, 26, 29); the player slots keep their places.
#pragma once

#include <cstdint>

#include "corvexa/object.h"
#include "corvexa/preview.h"

namespace corvexa {

// Player progress: the user value given to PlayerPlay and the position in ms.
using PlayerProgress = void (*)(std::intptr_t user, std::int32_t position_ms);

class MediaPlayer : public EngineObject {
 public:
  virtual bool PlayerOpen(const char* path) = 0;                                      // 4
  virtual bool PlayerPlay(PreviewSurface* window, PlayerProgress progress,
                          std::intptr_t user) = 0;                                    // 5
  virtual bool PlayerPause() = 0;                                                     // 6
  virtual std::int32_t PlayerResume() = 0;                                            // 7
  virtual void PlayerStop() = 0;                                                      // 8
  virtual void PlayerClose() = 0;                                                     // 9
  virtual bool SetVolume(std::int32_t volume) = 0;                                    // 10
  virtual std::int32_t GetVolume() = 0;                                               // 11
  virtual bool SeekTo(std::int32_t ms) = 0;                                           // 12
  virtual std::int32_t GetDurationMs() = 0;                                           // 13
  virtual void GetVideoSize(std::int32_t* width, std::int32_t* height) = 0;           // 14
  virtual std::int64_t GetPositionMs() = 0;                                           // 15
  virtual bool PlayerHasAudio() = 0;                                                  // 16
  virtual bool PlayerHasVideo() = 0;                                                  // 17
  virtual bool ToggleFullScreen() = 0;                                                // 18
  virtual bool FitVideoWindow() = 0;                                                  // 19
  virtual void ForwardWindowMessage(void* window, std::uint32_t message, std::intptr_t word,
                                    std::intptr_t value) = 0;                         // 20
  // 21: false when neither information reader accepts the file.
  virtual bool OpenInfo(const char* path) = 0;
  virtual void SetInfoWindow(PreviewSurface* window) = 0;                             // 22
  virtual void ShowInfoFrame(std::int32_t frame) = 0;                                 // 23
  virtual std::int32_t InfoFrameCount() = 0;                                          // 24
  virtual std::int32_t InfoSeconds() = 0;                                             // 25
  // 26: the information report, owned by the object until CloseInfo.
  virtual const char* InfoText() = 0;
  virtual std::int32_t InfoWidth() = 0;                                               // 27
  virtual std::int32_t InfoHeight() = 0;                                              // 28
  virtual void CloseInfo() = 0;                                                       // 29

 protected:
  ~MediaPlayer() = default;
};

}  // namespace corvexa
