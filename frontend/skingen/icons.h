// The pictures on the skin buttons, drawn with QPainter into any box.
#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace skingen {

enum class Icon { kMpeg1, kMpeg2, kVcd, kDvd, kDivx, kAvi, kExit, kMenu, kSkin, kHelp, kHome };

struct Ink {
  QColor main;    // strokes and fills
  QColor accent;  // a second colour for details
  QColor back;    // the button's own colour, for cut-outs
};

void draw_icon(QPainter& painter, Icon icon, const QRectF& box, const Ink& ink);

}  // namespace skingen
