#include "image_list.h"

#include <QBitmap>
#include <QImage>

namespace kavrol {

QPixmap ImageList::face(int index) const {
  return index >= 0 && index < faces_.size() ? faces_[index] : QPixmap();
}

void ImageList::clear() { faces_.clear(); }

void ImageList::set_size(int width, int height) {
  faces_.clear();
  width_ = width;
  height_ = height;
}

int ImageList::add_masked(const QImage& picture, QRgb mask) {
  if (picture.isNull() || width_ <= 0 || height_ <= 0) return 0;
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  int added = 0;
  for (int x = 0; x + width_ <= rgb.width(); x += width_) {
    QImage cut = rgb.copy(x, 0, width_, height_).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < cut.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(cut.scanLine(y));
      for (int i = 0; i < cut.width(); ++i) {
        if ((line[i] & 0xFFFFFF) == (mask & 0xFFFFFF)) line[i] = 0;
      }
    }
    faces_ << QPixmap::fromImage(cut);
    ++added;
  }
  return added;
}

}  // namespace kavrol
