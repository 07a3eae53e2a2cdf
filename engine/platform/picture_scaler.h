// Pictures brought to the size the encoder codes: converted to 32-bit BGRA
// with exact rounding and full chroma interpolation, scaled into an active
// rectangle of the output, the rest black. One libswscale step does both.
#pragma once

#include <cstdint>
#include <memory>

namespace corvexa::platform {

// The output picture and the rectangle the source fills in it (top-down
// coordinates). A default geometry keeps the source's size.
struct PictureGeometry {
  int width = 0, height = 0;
  int x = 0, y = 0, active_width = 0, active_height = 0;
  bool keeps_source() const { return width == 0 || height == 0; }
};

class PictureScaler {
 public:
  PictureScaler();
  ~PictureScaler();
  PictureScaler(const PictureScaler&) = delete;
  PictureScaler& operator=(const PictureScaler&) = delete;

  // A decoded picture in FFmpeg pixel format `format` (planes and strides as
  // FFmpeg gives them; `full_range`, `hd_matrix` from the frame's colour
  // description) into the bottom-up BGRA picture `out` of `g`'s size.
  bool convert(int format, const std::uint8_t* const planes[4], const int strides[4], int width,
               int height, bool full_range, bool hd_matrix, const PictureGeometry& g,
               std::uint8_t* out);
  // The same picture as planar 4:2:0 Y'CbCr of `g`'s size (bars black):
  // `y` is width x height, `cb` and `cr` half that each way, rows top-down.
  bool convert_planar(int format, const std::uint8_t* const planes[4], const int strides[4], int width,
                      int height, const PictureGeometry& g, std::uint8_t* y, std::uint8_t* cb,
                      std::uint8_t* cr);
  // A bottom-up BGRA picture of width x height into `out` as above.
  bool scale_bgra(const std::uint8_t* in, int width, int height, const PictureGeometry& g,
                  std::uint8_t* out);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::unique_ptr<Impl> planar_;
};

}  // namespace corvexa::platform
