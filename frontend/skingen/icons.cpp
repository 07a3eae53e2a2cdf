#include "icons.h"

#include <cmath>

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace skingen {
namespace {

QFont label_font(double pixel_size, bool bold = true) {
  QFont font("DejaVu Sans");
  font.setPixelSize(std::max(6, static_cast<int>(std::lround(pixel_size))));
  font.setBold(bold);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

void label(QPainter& p, const QRectF& box, const QString& text, double size, const QColor& colour) {
  p.setFont(label_font(size));
  p.setPen(colour);
  p.drawText(box, Qt::AlignCenter, text);
}

// A strip of film: a frame with sprocket holes above and below, and a digit.
void film(QPainter& p, const QRectF& b, const Ink& ink, const QString& digit) {
  const double u = b.width() / 10;
  QRectF strip(b.left() + u * 0.6, b.top() + u * 1.6, b.width() - u * 1.2, b.height() - u * 3.2);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.main);
  p.drawRoundedRect(strip, u * 0.6, u * 0.6);
  p.setBrush(ink.back);
  for (int i = 0; i < 5; ++i) {
    double x = strip.left() + u * 0.55 + i * (strip.width() - u * 1.1) / 4.6;
    p.drawRect(QRectF(x, strip.top() + u * 0.35, u * 0.75, u * 0.6));
    p.drawRect(QRectF(x, strip.bottom() - u * 0.95, u * 0.75, u * 0.6));
  }
  QRectF picture = strip.adjusted(u * 0.5, u * 1.2, -u * 0.5, -u * 1.2);
  p.setBrush(ink.accent);
  p.drawRect(picture);
  label(p, picture.adjusted(0, -u * 0.2, 0, u * 0.2), digit, picture.height() * 1.05, ink.back);
}

// An optical disc with a label written across it.
void disc(QPainter& p, const QRectF& b, const Ink& ink, const QString& text, const QColor& shine) {
  const QPointF c = b.center();
  const double r = b.width() * 0.44;
  QRadialGradient surface(c, r, c - QPointF(r * 0.3, r * 0.4));
  surface.setColorAt(0, shine.lighter(140));
  surface.setColorAt(0.6, shine);
  surface.setColorAt(1, shine.darker(150));
  p.setPen(QPen(ink.main, std::max(1.0, r * 0.08)));
  p.setBrush(surface);
  p.drawEllipse(c, r, r);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.back);
  p.drawEllipse(c, r * 0.16, r * 0.16);
  QRectF band(b.left(), c.y() + r * 0.2, b.width(), r * 0.66);
  label(p, band, text, r * 0.52, QColor(0x1A, 0x1A, 0x28));  // dark on the shiny disc
}

void power(QPainter& p, const QRectF& b, const Ink& ink) {
  const QPointF c = b.center() + QPointF(0, b.height() * 0.04);
  const double r = b.width() * 0.32;
  QPen pen(ink.main, b.width() * 0.11, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 120 * 16, 300 * 16);  // open at the top
  p.drawLine(QPointF(c.x(), c.y() - r * 1.25), QPointF(c.x(), c.y() - r * 0.15));
}

void lines(QPainter& p, const QRectF& b, const Ink& ink) {
  QPen pen(ink.main, b.height() * 0.11, Qt::SolidLine, Qt::RoundCap);
  p.setPen(pen);
  for (int i = -1; i <= 1; ++i) {
    double y = b.center().y() + i * b.height() * 0.22;
    p.drawLine(QPointF(b.left() + b.width() * 0.22, y), QPointF(b.right() - b.width() * 0.22, y));
  }
}

void palette_icon(QPainter& p, const QRectF& b, const Ink& ink) {
  const QPointF c = b.center();
  const double r = b.width() * 0.38;
  QPainterPath board;
  board.addEllipse(c, r, r * 0.85);
  QPainterPath thumb;
  thumb.addEllipse(c + QPointF(r * 0.35, r * 0.35), r * 0.2, r * 0.17);
  p.setPen(QPen(ink.main.darker(130), std::max(1.0, r * 0.07)));
  p.setBrush(ink.main);
  p.drawPath(board.subtracted(thumb));
  const QColor dots[] = {QColor(0xE5, 0x3B, 0x3B), QColor(0xF2, 0xC1, 0x2E), QColor(0x3B, 0xA5, 0x4A),
                         QColor(0x2F, 0x6F, 0xE0)};
  const QPointF places[] = {{-0.5, -0.25}, {-0.1, -0.5}, {0.35, -0.35}, {-0.45, 0.25}};
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 4; ++i) {
    p.setBrush(dots[i]);
    p.drawEllipse(c + places[i] * r, r * 0.16, r * 0.16);
  }
}

void question(QPainter& p, const QRectF& b, const Ink& ink) {
  const QPointF c = b.center();
  const double r = b.width() * 0.4;
  p.setPen(QPen(ink.main, std::max(1.0, r * 0.1)));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r, r);
  label(p, QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), "?", r * 1.45, ink.main);
}

void house(QPainter& p, const QRectF& b, const Ink& ink) {
  const double w = b.width(), h = b.height();
  QPainterPath roof;
  roof.moveTo(b.left() + w * 0.14, b.top() + h * 0.5);
  roof.lineTo(b.center().x(), b.top() + h * 0.16);
  roof.lineTo(b.right() - w * 0.14, b.top() + h * 0.5);
  QPen pen(ink.main, w * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawPath(roof);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.main);
  QRectF body(b.left() + w * 0.26, b.top() + h * 0.46, w * 0.48, h * 0.38);
  p.drawRect(body);
  p.setBrush(ink.accent);
  p.drawRect(QRectF(body.center().x() - w * 0.07, body.top() + h * 0.14, w * 0.14, h * 0.24));
}

// A clapperboard: the film-maker's sign, with the codec's name on its board.
void clapper(QPainter& p, const QRectF& b, const Ink& ink) {
  const double w = b.width(), h = b.height();
  QRectF board(b.left() + w * 0.12, b.top() + h * 0.38, w * 0.76, h * 0.46);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.main);
  p.drawRoundedRect(board, w * 0.05, w * 0.05);
  p.save();
  p.translate(board.left(), board.top() - h * 0.02);
  p.rotate(-16);
  QRectF stick(0, -h * 0.16, w * 0.76, h * 0.15);
  p.drawRect(stick);
  p.setBrush(ink.back);
  for (int i = 0; i < 4; ++i) {
    QPolygonF stripe;
    double x = w * 0.06 + i * w * 0.18;
    stripe << QPointF(x, stick.top()) << QPointF(x + w * 0.08, stick.top())
           << QPointF(x + w * 0.02, stick.bottom()) << QPointF(x - w * 0.06, stick.bottom());
    p.drawPolygon(stripe);
  }
  p.restore();
  label(p, board, "DivX", board.height() * 0.5, ink.accent);
}

void reel(QPainter& p, const QRectF& b, const Ink& ink) {
  const QPointF c = b.center() + QPointF(0, -b.height() * 0.06);
  const double r = b.width() * 0.34;
  QPainterPath body;
  body.addEllipse(c, r, r);
  for (int i = 0; i < 5; ++i) {
    double a = (i * 72 - 90) * M_PI / 180;
    body.addEllipse(c + QPointF(std::cos(a), std::sin(a)) * r * 0.55, r * 0.2, r * 0.2);
  }
  body.addEllipse(c, r * 0.1, r * 0.1);
  body.setFillRule(Qt::OddEvenFill);
  p.setPen(Qt::NoPen);
  p.setBrush(ink.main);
  p.drawPath(body);
  QRectF tag(b.left() + b.width() * 0.12, b.bottom() - b.height() * 0.3, b.width() * 0.76,
             b.height() * 0.26);
  p.setBrush(ink.accent);
  p.drawRoundedRect(tag, 2, 2);
  label(p, tag, "AVI", tag.height() * 0.8, ink.back);
}

}  // namespace

void draw_icon(QPainter& p, Icon icon, const QRectF& box, const Ink& ink) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  switch (icon) {
    case Icon::kMpeg1: film(p, box, ink, "1"); break;
    case Icon::kMpeg2: film(p, box, ink, "2"); break;
    case Icon::kVcd: disc(p, box, ink, "VCD", QColor(0xC8, 0xCE, 0xD8)); break;
    case Icon::kDvd: disc(p, box, ink, "DVD", QColor(0xE8, 0xC0, 0x5A)); break;
    case Icon::kDivx: clapper(p, box, ink); break;
    case Icon::kAvi: reel(p, box, ink); break;
    case Icon::kExit: power(p, box, ink); break;
    case Icon::kMenu: lines(p, box, ink); break;
    case Icon::kSkin: palette_icon(p, box, ink); break;
    case Icon::kHelp: question(p, box, ink); break;
    case Icon::kHome: house(p, box, ink); break;
  }
  p.restore();
}

}  // namespace skingen
