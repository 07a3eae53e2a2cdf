#include "window_shape.h"

#include <QPolygon>
#include <QRect>

namespace kavrol {
namespace {

bool see_through(const QImage& picture, int x, int y) {
  return (picture.pixel(x, y) & 0xFFFFFF) == kSeeThrough;
}

}  // namespace

RowEdges row_edges(const QImage& picture) {
  const int w = picture.width(), h = picture.height();
  RowEdges edges;
  edges.left.resize(h);
  edges.right.resize(h);
  for (int y = 0; y < h; ++y) {
    int left = -1, right = -1;
    for (int x = 0; x < w; ++x) {
      if (!see_through(picture, x, y)) {
        if (left < 0) left = x;
        right = x;
      }
    }
    if (left < 0) {  // nothing but magenta on this row
      left = y > 0 ? edges.left[y - 1] : 0;
      right = y > 0 ? edges.right[y - 1] : 0;
    }
    edges.left[y] = left;
    edges.right[y] = right;
  }
  return edges;
}

QRegion window_shape(const QImage& source) {
  if (source.isNull()) return {};
  const QImage picture = source.convertToFormat(QImage::Format_RGB32);
  const int w = picture.width(), h = picture.height();
  const RowEdges edges = row_edges(picture);

  QPolygon outline;
  outline.reserve(2 * h);
  for (int y = 0; y < h; ++y) outline << QPoint(edges.left[y], y);
  for (int y = h - 1; y >= 0; --y) outline << QPoint(edges.right[y], y);

  // The magenta pixels inside the edges, gathered as runs along each row;
  // taking them out of the full rectangle is the same as removing each pixel.
  QVector<QRect> holes;
  for (int y = 0; y < h; ++y) {
    int run = -1;
    for (int x = edges.left[y]; x <= edges.right[y]; ++x) {
      bool hole = x < edges.right[y] && see_through(picture, x, y);
      if (hole && run < 0) run = x;
      if (!hole && run >= 0) {
        holes << QRect(run, y, x - run, 1);
        run = -1;
      }
    }
  }
  QRegion cut;
  cut.setRects(holes.constData(), static_cast<int>(holes.size()));
  QRegion body = QRegion(0, 0, w, h).subtracted(cut);
  return body.intersected(QRegion(outline, Qt::OddEvenFill));
}

}  // namespace kavrol
