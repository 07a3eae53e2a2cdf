// TMyLabel: a label that writes its caption twice, at (0, 0) in BKColor and
// at (2, 2) in PREColor, for a raised look.
#pragma once

#include <QColor>
#include <QLabel>

namespace kavrol {

class TMyLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TMyLabel(QWidget* parent = nullptr);

  QColor BKColor() const { return bk_color_; }
  void setBKColor(const QColor& color);
  QColor PREColor() const { return pre_color_; }
  void setPREColor(const QColor& color);
  // Sizes the label to its text, one pixel wider, when turned on.
  void setAutoSize(bool on);
  bool AutoSize() const { return auto_size_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor bk_color_{Qt::black};
  QColor pre_color_{Qt::black};
  bool auto_size_ = false;
};

}  // namespace kavrol
