// MEDIAPLAYDLL: plays a media file for preview into a preview surface, with
// sound through the desktop's sound service, and describes media files
// (the information report). Times are milliseconds unless said.
#pragma once

#include <cstdint>

#include "corvexa/object.h"
#include "corvexa/preview.h"

namespace corvexa {

// Called about every 500 ms while a file plays: the percentage played
// (0 to 99), and 100 once each time the file reaches its end.
using PlayerProgress = void (*)(std::int32_t percent, std::intptr_t user);

class MediaPlayer : public EngineObject {
 public:
  // 4: closes what was open; false for a null or empty path or a file
  // without anything to play.
  virtual bool PlayerOpen(const char* path) = 0;
  // 5: plays into `surface` (may be null) from the current position.
  virtual bool PlayerPlay(PreviewSurface* surface, PlayerProgress progress,
                          std::intptr_t user) = 0;
  virtual bool PlayerPause() = 0;          // 6
  // 7: 0 when playback goes on, a negative value when it cannot.
  virtual std::int32_t PlayerResume() = 0;
  // 8: stops, ends the progress reports (then waits 500 ms) and rewinds to 0.
  virtual void PlayerStop() = 0;
  virtual void PlayerClose() = 0;          // 9
  // 10, 11: volume in hundredths of a decibel, -10000 (silent) to 0 (full).
  virtual bool SetVolume(std::int32_t volume) = 0;
  virtual std::int32_t GetVolume() = 0;
  virtual bool SeekTo(std::int32_t ms) = 0;        // 12
  virtual std::int32_t GetDurationMs() = 0;        // 13
  // 14: the video's own size; 0 x 0 without video.
  virtual void GetVideoSize(std::int32_t* width, std::int32_t* height) = 0;
  // 15: -1 when the position cannot be read.
  virtual std::int64_t GetPositionMs() = 0;
  virtual bool PlayerHasAudio() = 0;               // 16
  virtual bool PlayerHasVideo() = 0;               // 17
  // 18 to 20: passed on to the surface, which owns full screen and its
  // window's messages.
  virtual bool ToggleFullScreen() = 0;
  virtual bool FitVideoWindow() = 0;
  virtual void ForwardWindowMessage(PreviewSurface* surface, std::uint32_t message,
                                    std::uintptr_t wparam, std::intptr_t lparam) = 0;
  // 21: describes the file (report text, frame count, seconds, size); false
  // when it is not a media file.
  virtual bool OpenInfo(const char* path) = 0;
  virtual void SetInfoWindow(PreviewSurface* surface) = 0;  // 22
  // 23: shows that frame of the described file on the info surface, when it
  // is visible.
  virtual void ShowInfoFrame(std::int32_t frame) = 0;
  virtual std::int32_t InfoFrameCount() = 0;  // 24
  virtual std::int32_t InfoSeconds() = 0;     // 25
  // 26: the report, CR LF line ends; owned by the object, valid until the
  // next OpenInfo or CloseInfo. Never null.
  virtual const char* InfoText() = 0;
  virtual std::int32_t InfoWidth() = 0;       // 27
  virtual std::int32_t InfoHeight() = 0;      // 28
  virtual void CloseInfo() = 0;               // 29

 protected:
  ~MediaPlayer() = default;
};

}  // namespace corvexa
