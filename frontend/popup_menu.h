// The main window's owner-drawn popup menu: a banner down its left side,
// etched separators, and skin thumbnails.
#pragma once

#include <QColor>
#include <QMenu>
#include <QProxyStyle>
#include <QWidgetAction>

namespace kavrol {

// The banner's colour on the row `row_from_bottom` rows above its bottom:
// near white at the bottom, pure blue from 255 rows up.
QColor banner_row_colour(int row_from_bottom, int banner_height);

inline constexpr int kBannerWidth = 20;
inline constexpr int kSeparatorHeight = 8;
inline constexpr int kSkinItemWidth = 142;
inline constexpr int kSkinItemHeight = 51;

// Separators as an etched line: the pen's colour two pixels down, white below.
class EtchedMenuStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
};

// A menu with the "Kavrol Video Convert" banner in a column of its own.
class BannerMenu : public QMenu {
  Q_OBJECT

 public:
  explicit BannerMenu(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// One skin's face, stretched into a 142x51 menu item.
class SkinThumbnailAction : public QWidgetAction {
  Q_OBJECT

 public:
  SkinThumbnailAction(int skin, QObject* parent);
  int skin() const { return skin_; }

 private:
  int skin_;
};

}  // namespace kavrol
