// MYMEDIASOURCE: the video frames of any media file in playback order, as
// bottom-up 32-bit pictures. Frames are fetched forward only: a request for
// the current position fetches the next frame, any other number repeats the
// picture fetched last.
#pragma once

#include <cstdint>

#include "corvexa/frame_holder.h"
#include "corvexa/object.h"
#include "corvexa/preview.h"

namespace corvexa {

class MediaSource : public EngineObject {
 public:
  virtual bool Open(const char* path) = 0;  // 4
  virtual void Close() = 0;                 // 5
  // 6: sizes `holder` to width x 4 x height, fills it, stores width x 4 into
  // `line_bytes`; false at the end of the stream or when decoding fails.
  virtual bool GetFrame(FrameHolder* holder, std::int32_t* line_bytes, std::int64_t frame) = 0;
  virtual void SetPreviewWindow(PreviewSurface* surface) = 0;  // 7
  virtual std::int64_t Position() = 0;                         // 8: frames fetched so far
  virtual void DrawPreview() = 0;                              // 9
  // 10: the last fetched picture into `buffer` (width x 4 x height bytes).
  virtual bool CopyFrame(std::uint8_t* buffer) = 0;
  // 11: fetches the next frame, then CopyFrame.
  virtual bool NextFrame(std::uint8_t* buffer) = 0;
  virtual std::int32_t Width() = 0;        // 12
  virtual std::int32_t Height() = 0;       // 13
  virtual std::int64_t FrameCount() = 0;   // 14

 protected:
  ~MediaSource() = default;
};

}  // namespace corvexa
