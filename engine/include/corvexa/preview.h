// Where the engine shows the frames it reads while a job runs. The front-end
// implements it (a widget); the engine ignores a null surface.
#pragma once

#include <cstdint>

namespace corvexa {

class PreviewSurface {
 public:
  // Whether anything would be seen: frames are not drawn to a hidden surface.
  virtual bool IsVisible() = 0;
  // One bottom-up 32-bit picture (bytes B, G, R, unused), width x 4 bytes a row.
  virtual void Present(const std::uint8_t* pixels, std::int32_t width,
                       std::int32_t height) = 0;
  // What the preview player passes on to the surface that shows its video.
  // A surface without these answers false and ignores the message.
  virtual bool ToggleFullScreen() { return false; }
  virtual bool FitToOwner() { return false; }
  virtual void ForwardMessage(std::uint32_t /*message*/, std::uintptr_t /*wparam*/,
                              std::intptr_t /*lparam*/) {}

 protected:
  ~PreviewSurface() = default;
};

}  // namespace corvexa
