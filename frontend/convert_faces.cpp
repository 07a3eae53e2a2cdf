#include "convert_faces.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "window_shape.h"

namespace kavrol {

QImage convert_background() {
  QImage picture(320, 120, QImage::Format_RGB32);
  picture.fill(kSeeThrough);
  QPainter painter(&picture);
  QPainterPath body;
  body.addRoundedRect(QRectF(0, 0, 320, 120), 14, 14);
  QLinearGradient shade(0, 0, 0, 120);
  shade.setColorAt(0, QColor(0xDC, 0xE0, 0xE6));
  shade.setColorAt(1, QColor(0x9A, 0xA2, 0xAE));
  painter.fillPath(body, shade);  // no antialiasing: no pink fringe at the edge
  painter.setPen(QColor(0x6A, 0x72, 0x7E));
  painter.drawLine(4, 24, 315, 24);  // under the title band
  return picture;
}

QImage button_faces(int width, int height, int count, const QString& symbol) {
  QImage row(width * count, height, QImage::Format_RGB32);
  row.fill(kSeeThrough);
  QPainter painter(&row);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QColor fills[] = {QColor(0xB8, 0xC0, 0xCC), QColor(0x8C, 0x96, 0xA4),
                          QColor(0xD4, 0xDC, 0xE8), QColor(0xC8, 0xC8, 0xC8)};
  QFont font("DejaVu Sans");
  font.setPixelSize(std::max(8, std::min(height - 6, 12)));
  font.setBold(true);
  painter.setFont(font);
  for (int i = 0; i < count; ++i) {
    const QRect box(i * width, 0, width, height);
    const QRect inner = box.adjusted(0, 0, -1, -1);
    painter.fillRect(inner, fills[std::min(i, 3)]);
    painter.setPen(i == 1 ? QColor(0x40, 0x46, 0x50) : QColor(0xF4, 0xF6, 0xF8));
    painter.drawLine(inner.topLeft(), inner.topRight());
    painter.drawLine(inner.topLeft(), inner.bottomLeft());
    painter.setPen(i == 1 ? QColor(0xF4, 0xF6, 0xF8) : QColor(0x40, 0x46, 0x50));
    painter.drawLine(inner.bottomLeft(), inner.bottomRight());
    painter.drawLine(inner.topRight(), inner.bottomRight());
    painter.setPen(i == 3 ? QColor(0x90, 0x90, 0x90) : QColor(0x20, 0x28, 0x34));
    painter.drawText(box.translated(i == 1 ? 1 : 0, i == 1 ? 1 : 0), Qt::AlignCenter, symbol);
  }
  return row;
}

QImage folder_glyph() {
  QImage glyph(16, 16, QImage::Format_ARGB32);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  painter.setPen(QColor(0x80, 0x60, 0x10));
  painter.setBrush(QColor(0xF0, 0xC8, 0x50));
  painter.drawRect(1, 5, 13, 9);
  painter.drawRect(1, 3, 5, 2);
  return glyph;
}

}  // namespace kavrol
