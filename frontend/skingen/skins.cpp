#include "skins.h"

#include <array>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTextStream>

#include "icons.h"

namespace skingen {
namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;
constexpr int kButtonCount = 11;
const Icon kIcons[kButtonCount] = {Icon::kMpeg1, Icon::kMpeg2, Icon::kVcd,  Icon::kDvd,
                                   Icon::kDivx,  Icon::kAvi,   Icon::kExit, Icon::kMenu,
                                   Icon::kSkin,  Icon::kHelp,  Icon::kHome};
const char* const kCaptions[kButtonCount] = {"MPEG-1", "MPEG-2", "VCD",  "DVD",  "DivX", "AVI",
                                             "Exit",   "Menu",   "Skin", "Help", "Home"};

enum class ButtonShape { kCircle, kRoundSquare, kHexagon };

struct Theme {
  QSize face;
  QPainterPath (*outline)(const QSize&);
  QPainterPath (*holes)();  // see-through openings inside the outline
  QColor body_top, body_bottom, rim, panel, title, caption;
  QColor button_top, button_bottom, button_rim, glow;
  Ink ink;
  ButtonShape shape;
  int button;
  std::array<QPoint, kButtonCount> places;
  QPointF title_at;  // centre of the title
  double title_size;
};

// ---- outlines ------------------------------------------------------------

QPainterPath azure_outline(const QSize&) {
  QPainterPath body;
  body.addRoundedRect(QRectF(4, 18, 470, 196), 48, 48);
  QPainterPath tab;
  tab.addRoundedRect(QRectF(28, 2, 214, 46), 18, 18);
  QPainterPath dome;
  dome.addEllipse(QPointF(430, 44), 40, 40);
  QPainterPath lip;  // a wave along the bottom edge
  lip.moveTo(120, 200);
  lip.cubicTo(180, 236, 300, 236, 360, 200);
  lip.closeSubpath();
  return body.united(tab).united(dome).united(lip);
}

QPainterPath no_holes() { return {}; }

QPainterPath ember_outline(const QSize&) {
  QPolygonF shape;
  shape << QPointF(34, 8) << QPointF(214, 8) << QPointF(243, 34) << QPointF(272, 8)
        << QPointF(452, 8) << QPointF(482, 38) << QPointF(482, 178) << QPointF(452, 208)
        << QPointF(330, 208) << QPointF(314, 228) << QPointF(172, 228) << QPointF(156, 208)
        << QPointF(34, 208) << QPointF(4, 178) << QPointF(4, 38);
  QPainterPath path;
  path.addPolygon(shape);
  path.closeSubpath();
  return path;
}

QPainterPath ember_holes() {
  QPainterPath porthole;
  porthole.addEllipse(QPointF(243, 76), 15, 15);
  return porthole;
}

QPainterPath meadow_outline(const QSize&) {
  QPainterPath body;
  body.addEllipse(QRectF(6, 24, 464, 200));
  QPainterPath ears;
  ears.addEllipse(QPointF(92, 40), 36, 36);
  ears.addEllipse(QPointF(384, 40), 36, 36);
  QPainterPath leaf;  // a leaf tip at the top middle
  leaf.moveTo(198, 34);
  leaf.quadTo(238, -8, 278, 34);
  leaf.closeSubpath();
  return body.united(ears).united(leaf);
}

const Theme& theme(int skin) {
  static const Theme themes[3] = {
      {QSize(478, 228), azure_outline, no_holes,
       QColor(0x5B, 0xA8, 0xF0), QColor(0x10, 0x3E, 0x86), QColor(0x0A, 0x24, 0x52),
       QColor(0x16, 0x4F, 0xA3), QColor(0xFF, 0xFF, 0xFF), QColor(0xD8, 0xEC, 0xFF),
       QColor(0x7D, 0xC4, 0xFF), QColor(0x1C, 0x5C, 0xC0), QColor(0x08, 0x2A, 0x60),
       QColor(0xFF, 0xE0, 0x6A),
       {QColor(0xFF, 0xFF, 0xFF), QColor(0xFF, 0xC8, 0x3C), QColor(0x1C, 0x5C, 0xC0)},
       ButtonShape::kCircle, 44,
       {QPoint(30, 60), {100, 60}, {170, 60}, {240, 60}, {310, 60}, {392, 74},
        {50, 142}, {135, 142}, {220, 142}, {305, 142}, {390, 142}},
       QPointF(135, 25), 16},
      {QSize(486, 232), ember_outline, ember_holes,
       QColor(0x4A, 0x4D, 0x55), QColor(0x1A, 0x1B, 0x20), QColor(0xFF, 0x7A, 0x1A),
       QColor(0x2A, 0x2C, 0x32), QColor(0xFF, 0x9A, 0x3C), QColor(0xF0, 0xC8, 0xA0),
       QColor(0x5A, 0x5E, 0x68), QColor(0x24, 0x26, 0x2C), QColor(0xFF, 0x7A, 0x1A),
       QColor(0xFF, 0xB0, 0x40),
       {QColor(0xFF, 0x9A, 0x3C), QColor(0xFF, 0xE2, 0xB0), QColor(0x30, 0x32, 0x38)},
       ButtonShape::kRoundSquare, 42,
       {QPoint(30, 52), {100, 52}, {170, 52}, {274, 52}, {344, 52}, {414, 52},
        {52, 124}, {138, 124}, {222, 124}, {306, 124}, {392, 124}},
       QPointF(243, 199), 15},
      {QSize(476, 228), meadow_outline, no_holes,
       QColor(0xB8, 0xE8, 0x8C), QColor(0x3C, 0x8A, 0x3A), QColor(0x23, 0x55, 0x20),
       QColor(0xF4, 0xF8, 0xE0), QColor(0x1E, 0x4A, 0x1C), QColor(0x1E, 0x4A, 0x1C),
       QColor(0xFF, 0xFB, 0xE8), QColor(0xD8, 0xE8, 0xB0), QColor(0x35, 0x6E, 0x2E),
       QColor(0xFF, 0x8C, 0x42),
       {QColor(0x2E, 0x6B, 0x2A), QColor(0xE8, 0x7D, 0x1E), QColor(0xFF, 0xFB, 0xE8)},
       ButtonShape::kHexagon, 46,
       {QPoint(62, 68), {122, 68}, {182, 68}, {248, 68}, {308, 68}, {368, 68},
        {100, 140}, {160, 140}, {220, 140}, {280, 140}, {340, 140}},
       QPointF(238, 52), 15},
  };
  return themes[skin];
}

// ---- shared drawing ---------------------------------------------------------

QFont font(double pixels, bool bold) {
  QFont f("DejaVu Sans");
  f.setPixelSize(static_cast<int>(std::lround(pixels)));
  f.setBold(bold);
  return f;
}

// Pixels more than half covered keep their colour at full strength, the rest
// become magenta: edges stay crisp, with no pink fringe where the window's
// outline is cut.
QImage on_magenta(const QImage& art) {
  QImage out(art.size(), QImage::Format_RGB32);
  for (int y = 0; y < art.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(art.constScanLine(y));
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < art.width(); ++x) {
      const int a = qAlpha(in[x]);
      if (a < 128) {
        line[x] = kMagenta;
        continue;
      }
      // ARGB32_Premultiplied: undo the premultiplication.
      QRgb c = qRgb(qRed(in[x]) * 255 / a, qGreen(in[x]) * 255 / a, qBlue(in[x]) * 255 / a);
      if ((c & 0xFFFFFF) == 0xFF00FF) c = qRgb(0xFE, 0x00, 0xFF);  // never see-through by chance
      line[x] = c;
    }
  }
  return out;
}

QPainterPath button_path(ButtonShape shape, const QRectF& r) {
  QPainterPath path;
  switch (shape) {
    case ButtonShape::kCircle:
      path.addEllipse(r);
      break;
    case ButtonShape::kRoundSquare:
      path.addRoundedRect(r, r.width() * 0.24, r.width() * 0.24);
      break;
    case ButtonShape::kHexagon: {
      QPolygonF hex;
      for (int i = 0; i < 6; ++i) {
        double a = (60.0 * i - 90) * M_PI / 180;
        hex << r.center() + QPointF(std::cos(a) * r.width() / 2, std::sin(a) * r.height() / 2);
      }
      path.addPolygon(hex);
      path.closeSubpath();
      break;
    }
  }
  return path;
}

QColor grey(const QColor& c) {
  int g = qGray(c.rgb());
  g = 150 + (g - 150) / 3;  // flat and light: plainly disabled
  return QColor(g, g, g);
}

enum Face { kNormal, kPressed, kHot, kDisabled };

QImage button_face(const Theme& t, int button, Face face) {
  const int s = t.button;
  QImage art(s, s, QImage::Format_ARGB32_Premultiplied);
  art.fill(Qt::transparent);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF cell(0.5, 0.5, s - 1.0, s - 1.0);
  const QPainterPath shape = button_path(t.shape, cell);

  QColor top = t.button_top, bottom = t.button_bottom, rim = t.button_rim;
  Ink ink = t.ink;
  if (face == kPressed) std::swap(top, bottom), top = top.darker(115), bottom = bottom.darker(110);
  if (face == kHot) top = top.lighter(125), bottom = bottom.lighter(125);
  if (face == kDisabled) {
    top = grey(top), bottom = grey(bottom), rim = grey(rim);
    ink = {QColor(0x6E, 0x6E, 0x6E), QColor(0xC8, 0xC8, 0xC8), grey(ink.back)};
  }
  QLinearGradient fill(0, 0, 0, s);
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.fillPath(shape, fill);
  if (face != kPressed) {  // a gloss on the upper half
    QLinearGradient gloss(0, 0, 0, s * 0.55);
    gloss.setColorAt(0, QColor(255, 255, 255, face == kDisabled ? 40 : 110));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(shape.intersected(button_path(t.shape, cell.adjusted(3, 2, -3, -s * 0.4))), gloss);
  }
  p.setPen(QPen(rim, face == kHot ? 1.2 : 1.6));
  p.drawPath(shape);
  if (face == kHot) {  // a bright ring shows where the mouse is
    p.setPen(QPen(t.glow, 2.0));
    p.drawPath(button_path(t.shape, cell.adjusted(2, 2, -2, -2)));
  }
  if (face == kPressed) {  // the inner shadow of a pushed button
    p.setPen(QPen(QColor(0, 0, 0, 90), 2.0));
    p.drawPath(button_path(t.shape, cell.adjusted(1.5, 1.5, -1.5, -1.5)));
  }
  const double inset = s * 0.2;
  QRectF box = cell.adjusted(inset, inset, -inset, -inset);
  if (face == kPressed) box.translate(1, 1);
  p.setClipPath(shape);
  draw_icon(p, kIcons[button], box, ink);
  p.end();
  return on_magenta(art);
}

QImage button_strip(const Theme& t, int button) {
  QImage strip(t.button * 4, t.button, QImage::Format_RGB32);
  QPainter p(&strip);
  for (int face = 0; face < 4; ++face) {
    p.drawImage(face * t.button, 0, button_face(t, button, static_cast<Face>(face)));
  }
  return strip;
}

QImage face_picture(const Theme& t) {
  QImage art(t.face, QImage::Format_ARGB32_Premultiplied);
  art.fill(Qt::transparent);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QPainterPath body = t.outline(t.face).subtracted(t.holes());

  QLinearGradient fill(0, 0, 0, t.face.height());
  fill.setColorAt(0, t.body_top);
  fill.setColorAt(1, t.body_bottom);
  p.fillPath(body, fill);
  // A soft highlight across the top, then the rim.
  QLinearGradient sheen(0, 0, 0, t.face.height() * 0.45);
  sheen.setColorAt(0, QColor(255, 255, 255, 70));
  sheen.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillPath(body, sheen);
  p.setPen(QPen(t.rim, 3));
  p.drawPath(body);

  // Sunken wells under the buttons, and their captions.
  p.setFont(font(10, true));
  for (int i = 0; i < kButtonCount; ++i) {
    const QRectF well = QRectF(t.places[i], QSizeF(t.button, t.button)).adjusted(-3, -3, 3, 3);
    QPainterPath hollow = button_path(t.shape, well);
    p.fillPath(hollow, t.panel);
    p.setPen(QPen(t.rim, 1));
    p.drawPath(hollow);
    p.setPen(t.caption);
    p.drawText(QRectF(well.center().x() - 32, well.bottom() + 1, 64, 13), Qt::AlignCenter,
               kCaptions[i]);
  }
  p.setFont(font(t.title_size, true));
  QRectF title(t.title_at.x() - 130, t.title_at.y() - 12, 260, 24);
  p.setPen(QColor(0, 0, 0, 90));
  p.drawText(title.translated(1, 1), Qt::AlignCenter, "Kavrol Video Convert");
  p.setPen(t.title);
  p.drawText(title, Qt::AlignCenter, "Kavrol Video Convert");
  p.end();
  return on_magenta(art);
}

QImage welcome_picture(const Theme& t) {
  QImage art(320, 240, QImage::Format_RGB32);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient fill(0, 0, 0, 240);
  fill.setColorAt(0, t.body_top);
  fill.setColorAt(1, t.body_bottom);
  p.fillRect(art.rect(), fill);
  QRadialGradient spot(QPointF(160, 96), 120);
  spot.setColorAt(0, QColor(255, 255, 255, 90));
  spot.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(art.rect(), spot);
  Ink ink = t.ink;
  ink.back = t.body_bottom;
  draw_icon(p, Icon::kAvi, QRectF(112, 36, 96, 96), ink);
  p.setFont(font(20, true));
  p.setPen(t.title);
  p.drawText(QRectF(0, 140, 320, 30), Qt::AlignCenter, "Kavrol Video Convert");
  p.setFont(font(12, false));
  p.setPen(t.caption);
  p.drawText(QRectF(0, 172, 320, 20), Qt::AlignCenter, "The picture being converted shows here");
  p.end();
  return art;
}

QImage program_icon() {
  QImage art(64, 64, QImage::Format_ARGB32_Premultiplied);
  art.fill(Qt::transparent);
  QPainter p(&art);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath tile;
  tile.addRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
  QLinearGradient fill(0, 0, 0, 64);
  fill.setColorAt(0, QColor(0x5B, 0xA8, 0xF0));
  fill.setColorAt(1, QColor(0x10, 0x3E, 0x86));
  p.fillPath(tile, fill);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 60));
  for (int i = 0; i < 4; ++i) {  // sprocket holes
    p.drawRect(QRectF(10 + i * 12, 7, 6, 5));
    p.drawRect(QRectF(10 + i * 12, 52, 6, 5));
  }
  QPolygonF play;
  play << QPointF(24, 18) << QPointF(46, 32) << QPointF(24, 46);
  p.setBrush(Qt::white);
  p.drawPolygon(play);
  p.setBrush(QColor(0xFF, 0xC8, 0x3C));
  p.drawEllipse(QPointF(46, 46), 7, 7);
  p.end();
  return art;
}

bool save_bmp(const QImage& image, const QString& path) {
  return image.convertToFormat(QImage::Format_RGB32).save(path, "BMP");
}

bool write_skin(int skin, const QString& folder) {
  const Theme& t = theme(skin);
  if (!QDir().mkpath(folder)) return false;
  bool ok = save_bmp(face_picture(t), folder + "/face.bmp") &&
            save_bmp(welcome_picture(t), folder + "/welcome.bmp");
  QString ini = "[Controls]\n";
  for (int i = 0; i < kButtonCount && ok; ++i) {
    const int number = i + 1;
    const int picture = number == 11 ? 12 : number;  // button 11 uses ctrl12.bmp
    ok = save_bmp(button_strip(t, i), QString("%1/ctrl%2.bmp").arg(folder).arg(picture));
    ini += QString("%1=%2,%3\n").arg(number).arg(t.places[i].x()).arg(t.places[i].y());
  }
  QSaveFile file(folder + "/skin.ini");
  if (!ok || !file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  file.write(ini.toLatin1());
  return file.commit();
}

}  // namespace

bool write_skins(const QString& folder) {
  for (int skin = 0; skin < 3; ++skin) {
    if (!write_skin(skin, QString("%1/SKIN%2").arg(folder).arg(skin))) return false;
  }
  return program_icon().save(folder + "/kavrol.png", "PNG");
}

}  // namespace skingen
