#include "platform/picture_scaler.h"

#include <cstring>

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

namespace {

// Accurate rounding and chroma taken at every output pixel: plain bicubic
// conversion darkens pictures by more than a luma level and blurs chroma
// before any coding.
constexpr int kFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;

bool is_full_range_format(int format) {
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
         format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
         format == AV_PIX_FMT_YUVJ411P;
}

}  // namespace

struct PictureScaler::Impl {
  SwsHandle sws;
  int format = -1, width = 0, height = 0, out_width = 0, out_height = 0;
  bool full_range = false, hd = false;
};

PictureScaler::PictureScaler() : impl_(std::make_unique<Impl>()), planar_(std::make_unique<Impl>()) {}
PictureScaler::~PictureScaler() = default;

bool PictureScaler::convert(int format, const std::uint8_t* const planes[4], const int strides[4],
                            int width, int height, bool full_range, bool hd_matrix,
                            const PictureGeometry& geometry, std::uint8_t* out) {
  if (width <= 0 || height <= 0) return false;
  PictureGeometry g = geometry;
  if (g.keeps_source()) g = {width, height, 0, 0, width, height};
  if (g.active_width <= 0 || g.active_height <= 0 || g.x < 0 || g.y < 0 ||
      g.x + g.active_width > g.width || g.y + g.active_height > g.height)
    return false;
  Impl& m = *impl_;
  full_range = full_range || is_full_range_format(format);
  if (!m.sws || m.format != format || m.width != width || m.height != height ||
      m.out_width != g.active_width || m.out_height != g.active_height ||
      m.full_range != full_range || m.hd != hd_matrix) {
    // The j formats are full range already; naming them as such keeps
    // libswscale from warning about deprecated formats.
    m.sws.reset(sws_getContext(width, height, static_cast<AVPixelFormat>(format), g.active_width,
                               g.active_height, AV_PIX_FMT_BGRA, kFlags, nullptr, nullptr, nullptr));
    if (!m.sws) return false;
    const int* coefficients = sws_getCoefficients(hd_matrix ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(m.sws.get(), coefficients, full_range ? 1 : 0,
                             sws_getCoefficients(SWS_CS_ITU601), 1, 0, 1 << 16, 1 << 16);
    m.format = format;
    m.width = width;
    m.height = height;
    m.out_width = g.active_width;
    m.out_height = g.active_height;
    m.full_range = full_range;
    m.hd = hd_matrix;
  }
  const std::size_t stride = static_cast<std::size_t>(g.width) * 4;
  const bool bars = g.active_width != g.width || g.active_height != g.height;
  if (bars) std::memset(out, 0, stride * static_cast<std::size_t>(g.height));
  // Bottom-up: the rectangle's top row is the bitmap's row height - 1 - y.
  std::uint8_t* top = out + stride * static_cast<std::size_t>(g.height - 1 - g.y) +
                      4 * static_cast<std::size_t>(g.x);
  std::uint8_t* dst[4] = {top, nullptr, nullptr, nullptr};
  int dst_strides[4] = {-static_cast<int>(stride), 0, 0, 0};
  return sws_scale(m.sws.get(), planes, strides, 0, height, dst, dst_strides) == g.active_height;
}

bool PictureScaler::convert_planar(int format, const std::uint8_t* const planes[4], const int strides[4],
                                   int width, int height, const PictureGeometry& geometry,
                                   std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr) {
  if (width <= 0 || height <= 0) return false;
  PictureGeometry g = geometry;
  if (g.keeps_source()) g = {width, height, 0, 0, width, height};
  if (g.width % 2 || g.height % 2 || g.x % 2 || g.y % 2 || g.active_width % 2 || g.active_height % 2 ||
      g.active_width <= 0 || g.active_height <= 0 || g.x + g.active_width > g.width ||
      g.y + g.active_height > g.height)
    return false;
  Impl& m = *planar_;
  if (!m.sws || m.format != format || m.width != width || m.height != height ||
      m.out_width != g.active_width || m.out_height != g.active_height) {
    m.sws.reset(sws_getContext(width, height, static_cast<AVPixelFormat>(format), g.active_width,
                               g.active_height, AV_PIX_FMT_YUV420P, kFlags, nullptr, nullptr, nullptr));
    if (!m.sws) return false;
    m.format = format;
    m.width = width;
    m.height = height;
    m.out_width = g.active_width;
    m.out_height = g.active_height;
  }
  const std::size_t luma = static_cast<std::size_t>(g.width) * g.height;
  if (g.active_width != g.width || g.active_height != g.height) {
    std::memset(y, 16, luma);
    std::memset(cb, 128, luma / 4);
    std::memset(cr, 128, luma / 4);
  }
  std::uint8_t* dst[4] = {y + static_cast<std::size_t>(g.y) * g.width + g.x,
                          cb + static_cast<std::size_t>(g.y / 2) * (g.width / 2) + g.x / 2,
                          cr + static_cast<std::size_t>(g.y / 2) * (g.width / 2) + g.x / 2, nullptr};
  int dst_strides[4] = {g.width, g.width / 2, g.width / 2, 0};
  return sws_scale(m.sws.get(), planes, strides, 0, height, dst, dst_strides) == g.active_height;
}

bool PictureScaler::scale_bgra(const std::uint8_t* in, int width, int height,
                               const PictureGeometry& g, std::uint8_t* out) {
  if (width <= 0 || height <= 0) return false;
  // Bottom-up rows read from the last one up give the picture top-down.
  const int stride = width * 4;
  const std::uint8_t* planes[4] = {in + static_cast<std::size_t>(stride) * (height - 1), nullptr,
                                   nullptr, nullptr};
  const int strides[4] = {-stride, 0, 0, 0};
  return convert(AV_PIX_FMT_BGRA, planes, strides, width, height, true, false, g, out);
}

}  // namespace corvexa::platform
