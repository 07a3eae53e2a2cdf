#include "controls/my_label.h"

#include <QPainter>

namespace kavrol {

TMyLabel::TMyLabel(QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TMyLabel::setBKColor(const QColor& color) {
  bk_color_ = color;
  update();
}

void TMyLabel::setPREColor(const QColor& color) {
  pre_color_ = color;
  update();
}

void TMyLabel::setAutoSize(bool on) {
  auto_size_ = on;
  if (!on) return;
  adjustSize();
  resize(width() + 1, height());
}

void TMyLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  QPainter painter(this);
  painter.setFont(font());
  painter.setBrush(Qt::NoBrush);
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic;
  painter.setPen(bk_color_);
  painter.drawText(rect(), flags, text());
  painter.setPen(pre_color_);
  painter.drawText(rect().translated(2, 2), flags, text());
}

}  // namespace kavrol
