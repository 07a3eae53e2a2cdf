// The window outline cut from a face picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "window_shape.h"

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;
constexpr QRgb kInk = 0xFF336699;

// A picture drawn from text rows: '#' ink, '.' magenta.
QImage picture(const std::vector<std::string>& rows) {
  QImage image(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()),
               QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, rows[y][x] == '#' ? kInk : kMagenta);
  }
  return image;
}

TEST(WindowShape, RowEdgesCarryOverMagentaRows) {
  const QImage image = picture({
      "......",  // all magenta first row: (0, 0)
      "..##..",
      "......",  // copies the row above
      ".####.",
      "#....#",
  });
  const kavrol::RowEdges edges = kavrol::row_edges(image);
  EXPECT_EQ(edges.left, QVector<int>({0, 2, 2, 1, 0}));
  EXPECT_EQ(edges.right, QVector<int>({0, 3, 3, 4, 5}));
}

TEST(WindowShape, HolesInsideTheOutlineAreCutOut) {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(kInk);
  QPainter(&image).fillRect(10, 8, 6, 5, QColor(0xFF, 0x00, 0xFF));  // a hole
  for (int y = 0; y < 30; ++y) image.setPixel(39, y, kMagenta);      // a magenta right margin
  const QRegion shape = kavrol::window_shape(image);
  EXPECT_TRUE(shape.contains(QPoint(5, 5)));
  EXPECT_TRUE(shape.contains(QPoint(20, 20)));
  EXPECT_FALSE(shape.contains(QPoint(10, 8)));
  EXPECT_FALSE(shape.contains(QPoint(15, 12)));
  EXPECT_TRUE(shape.contains(QPoint(16, 12)));
  EXPECT_TRUE(shape.contains(QPoint(9, 8)));
  EXPECT_FALSE(shape.contains(QPoint(39, 10)));
}

TEST(WindowShape, OutlineFollowsAnIrregularPicture) {
  // A diamond: outside the polygon nothing shows, even where the rectangle
  // would.
  QImage image(41, 41, QImage::Format_RGB32);
  image.fill(kMagenta);
  for (int y = 0; y < 41; ++y) {
    const int half = 20 - std::abs(20 - y);
    for (int x = 20 - half; x <= 20 + half; ++x) image.setPixel(x, y, kInk);
  }
  const QRegion shape = kavrol::window_shape(image);
  EXPECT_TRUE(shape.contains(QPoint(20, 20)));
  EXPECT_TRUE(shape.contains(QPoint(10, 20)));
  EXPECT_FALSE(shape.contains(QPoint(2, 2)));
  EXPECT_FALSE(shape.contains(QPoint(38, 38)));
  EXPECT_FALSE(shape.contains(QPoint(5, 30)));
}

TEST(WindowShape, AllMagentaFirstRowStillGivesAClosedOutline) {
  QImage image(20, 10, QImage::Format_RGB32);
  image.fill(kInk);
  for (int x = 0; x < 20; ++x) image.setPixel(x, 0, kMagenta);
  const QRegion shape = kavrol::window_shape(image);
  EXPECT_FALSE(shape.isEmpty());
  EXPECT_TRUE(shape.contains(QPoint(10, 5)));
  EXPECT_FALSE(shape.contains(QPoint(15, 0)));
  EXPECT_TRUE(kavrol::window_shape(QImage()).isEmpty());
}

TEST(WindowShape, TallPicturesAreWhole) {
  // Taller than any fixed buffer of outline points would hold.
  QImage image(8, 2000, QImage::Format_RGB32);
  image.fill(kInk);
  for (int y = 0; y < 2000; ++y) image.setPixel(7, y, kMagenta);
  const QRegion shape = kavrol::window_shape(image);
  EXPECT_TRUE(shape.contains(QPoint(3, 1900)));
  EXPECT_FALSE(shape.contains(QPoint(7, 1900)));
}

}  // namespace
