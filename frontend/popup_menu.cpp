#include "popup_menu.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include "app_paths.h"

namespace kavrol {

QColor banner_row_colour(int row_from_bottom, int banner_height) {
  const int i = std::min(255, banner_height / 255 + std::max(0, row_from_bottom));
  return QColor(255 - i, 255 - i, 255);
}

void EtchedMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (element == CE_MenuItem && item != nullptr &&
      item->menuItemType == QStyleOptionMenuItem::Separator) {
    const QRect r = option->rect;
    painter->fillRect(r, option->palette.color(QPalette::Window));
    painter->setPen(Qt::black);  // the canvas' pen
    painter->drawLine(r.left(), r.top() + 2, r.right(), r.top() + 2);
    painter->setPen(Qt::white);
    painter->drawLine(r.left(), r.top() + 3, r.right(), r.top() + 3);
    return;
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

QSize EtchedMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                        const QSize& size, const QWidget* widget) const {
  QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (type == CT_MenuItem && item != nullptr &&
      item->menuItemType == QStyleOptionMenuItem::Separator) {
    result.setHeight(kSeparatorHeight);
  }
  return result;
}

BannerMenu::BannerMenu(QWidget* parent) : QMenu(parent) {
  setContentsMargins(kBannerWidth, 0, 0, 0);
}

void BannerMenu::paintEvent(QPaintEvent* event) {
  QMenu::paintEvent(event);
  QPainter painter(this);
  const int frame = style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this);
  const QRect banner(frame, frame, kBannerWidth, height() - 2 * frame);
  const int h = banner.height();
  for (int n = 0; n < h; ++n) {
    painter.setPen(banner_row_colour(n, h));
    const int y = banner.bottom() - n;
    painter.drawLine(banner.left(), y, banner.right(), y);
  }
  QFont font = painter.font();
  font.setPointSize(10);
  painter.setFont(font);
  painter.setPen(QColor(254, 14, 0));
  // Reads upward from the banner's bottom, the text's top edge to the left.
  painter.translate(banner.left() + 2, banner.bottom() - 3);
  painter.rotate(-90);
  painter.drawText(0, QFontMetrics(font).ascent(), "Kavrol Video Convert");
}

namespace {

class SkinThumbnail : public QWidget {
 public:
  SkinThumbnail(SkinThumbnailAction* action, QWidget* parent)
      : QWidget(parent), action_(action) {
    setFixedSize(kSkinItemWidth, kSkinItemHeight);
    setMouseTracking(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (underMouse()) painter.fillRect(rect(), palette().color(QPalette::Highlight));
    QImage face(skin_folder_path(action_->skin()) + "/face.bmp");
    if (face.isNull()) return;
    // White is see-through in the thumbnail, and so is the skin's magenta.
    face = face.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < face.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(face.scanLine(y));
      for (int x = 0; x < face.width(); ++x) {
        QRgb c = line[x] & 0xFFFFFF;
        if (c == 0xFFFFFF || c == 0xFF00FF) line[x] = 0;
      }
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect().adjusted(2, 2, -2, -2), face);
  }
  void enterEvent(QEnterEvent*) override { update(); }
  void leaveEvent(QEvent*) override { update(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    // A widget item is not triggered by its menu: close the menus, then act.
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    action_->trigger();
  }

 private:
  SkinThumbnailAction* action_;
};

}  // namespace

SkinThumbnailAction::SkinThumbnailAction(int skin, QObject* parent)
    : QWidgetAction(parent), skin_(skin) {
  setText(QString("SKIN%1").arg(skin));
  setDefaultWidget(new SkinThumbnail(this, nullptr));
}

}  // namespace kavrol
