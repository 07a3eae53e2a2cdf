// TfrmPreview: the window the engine draws the converted video into. The
// engine calls the preview surface from its worker thread; frames are handed
// to the user-interface thread and painted there.
#pragma once

#include <atomic>
#include <mutex>

#include <QImage>
#include <QWidget>

#include "corvexa/preview.h"

namespace kavrol {

class TfrmPreview : public QWidget, public corvexa::PreviewSurface {
  Q_OBJECT

 public:
  explicit TfrmPreview(QWidget* parent = nullptr);

  // Image1: the skin's welcome picture, shown while no job runs.
  void setImageVisible(bool visible);
  bool imageVisible() const { return image_visible_; }
  const QImage& image() const { return welcome_; }
  // The last frame the engine presented (user-interface thread only).
  const QImage& frame() const { return frame_; }

  // corvexa::PreviewSurface, callable from any thread.
  bool IsVisible() override { return visible_.load(); }
  void Present(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) override;

 signals:
  // The window closed (its close button or the conversion dialog).
  void closed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void take_pending_frame();

  QImage welcome_;
  QImage frame_;
  bool image_visible_ = true;
  std::atomic<bool> visible_{false};
  std::mutex pending_lock_;
  QImage pending_;           // newest frame not yet taken by the UI thread
  bool delivery_queued_ = false;
};

}  // namespace kavrol
