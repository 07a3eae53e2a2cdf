// A row of equal faces cut from one picture, with a mask colour: the image
// list behind a picture button.
#pragma once

#include <QPixmap>
#include <QString>
#include <QVector>

namespace kavrol {

class ImageList {
 public:
  int width() const { return width_; }
  int height() const { return height_; }
  int count() const { return static_cast<int>(faces_.size()); }
  bool empty() const { return faces_.isEmpty(); }
  // Face `index`, or a null pixmap when there is none.
  QPixmap face(int index) const;

  void clear();
  void set_size(int width, int height);
  // Cuts `picture` into faces of the list's size, left to right; pixels of
  // `mask` colour become see-through. Returns the number of faces added.
  int add_masked(const QImage& picture, QRgb mask);

 private:
  int width_ = 16, height_ = 16;
  QVector<QPixmap> faces_;
};

}  // namespace kavrol
