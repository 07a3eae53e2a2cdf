#include "preview_window.h"

#include <cstring>

#include <QCloseEvent>
#include <QPainter>

#include "app_paths.h"

namespace kavrol {

TfrmPreview::TfrmPreview(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmPreview");
  setWindowTitle("Kavrol Convert Preview");
  setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
  resize(320, 240);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TfrmPreview::setImageVisible(bool visible) {
  image_visible_ = visible;
  update();
}

void TfrmPreview::Present(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) {
  if (pixels == nullptr || width <= 0 || height <= 0 || width > 16384 || height > 16384) return;
  // Bottom-up B, G, R, x rows become a top-down picture.
  QImage picture(width, height, QImage::Format_RGB32);
  const std::size_t row = static_cast<std::size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    std::memcpy(picture.scanLine(y), pixels + static_cast<std::size_t>(height - 1 - y) * row, row);
  }
  bool queue = false;
  {
    std::lock_guard<std::mutex> hold(pending_lock_);
    pending_ = std::move(picture);
    queue = !delivery_queued_;
    delivery_queued_ = true;
  }
  // One delivery at a time; a faster engine only replaces the pending frame.
  // Qt drops the call if the window is gone by then.
  if (queue) QMetaObject::invokeMethod(this, [this] { take_pending_frame(); }, Qt::QueuedConnection);
}

void TfrmPreview::take_pending_frame() {
  {
    std::lock_guard<std::mutex> hold(pending_lock_);
    frame_ = std::move(pending_);
    pending_ = QImage();
    delivery_queued_ = false;
  }
  update();
}

void TfrmPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  // Image1 fills the window; frames are stretched the same way.
  const QImage& shown = image_visible_ ? welcome_ : frame_;
  if (!shown.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), shown);
  }
}

void TfrmPreview::showEvent(QShowEvent* event) {
  QImage picture(skin_folder() + "/welcome.bmp");
  if (!picture.isNull()) welcome_ = picture;  // a missing picture keeps the last one
  visible_ = true;
  QWidget::showEvent(event);
}

void TfrmPreview::hideEvent(QHideEvent* event) {
  visible_ = false;
  QWidget::hideEvent(event);
}

void TfrmPreview::closeEvent(QCloseEvent* event) {
  emit closed();
  QWidget::closeEvent(event);
}

}  // namespace kavrol
