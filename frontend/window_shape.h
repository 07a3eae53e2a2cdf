// The visible region of a skinned window, cut from its picture: magenta
// (0xFF00FF) pixels are see-through.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QVector>

namespace kavrol {

inline constexpr QRgb kSeeThrough = 0xFF00FF;

// The outline points of each row: the leftmost and rightmost pixels that are
// not magenta. A row of magenta only (below the first) repeats the row above;
// an all-magenta first row gives (0, 0) for both.
struct RowEdges {
  QVector<int> left, right;
};
RowEdges row_edges(const QImage& picture);

// The region: the polygon through the left edges top to bottom and the right
// edges bottom to top (alternate fill), less every magenta pixel lying
// between a row's edges.
QRegion window_shape(const QImage& picture);

}  // namespace kavrol
