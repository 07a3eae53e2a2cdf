// Helpers of the front-end tests: synthetic skins, recorded message boxes and
// "open" requests, and closing a modal window from inside its loop.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include "app_paths.h"
#include "desktop.h"
#include "support/temp_dir.h"

namespace kavrol_test {

struct RecordedMessage {
  kavrol::MessageIcon icon;
  QString caption, text;
};

// Takes over message boxes and "open" for one test.
class DesktopRecorder {
 public:
  DesktopRecorder() {
    kavrol::set_message_handler([this](kavrol::MessageIcon icon, const QString& caption,
                                       const QString& text) {
      messages.push_back({icon, caption, text});
    });
    kavrol::set_open_handler([this](const QUrl& url) { opened.push_back(url); });
  }
  ~DesktopRecorder() {
    kavrol::set_message_handler({});
    kavrol::set_open_handler({});
  }
  QVector<RecordedMessage> messages;
  QVector<QUrl> opened;
};

// A picture of `size` in one colour.
inline QImage solid(QSize size, QRgb colour) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// A resource folder with skin folders made to order; it is the program's
// resource folder while the object lives.
class SkinFolders {
 public:
  SkinFolders() { kavrol::set_resource_folder(QString::fromStdString(dir_.path().string())); }
  ~SkinFolders() { kavrol::set_resource_folder(QString()); }
  QString root() const { return QString::fromStdString(dir_.path().string()); }

  // SKIN<number> with a face, a skin.ini of `controls` lines and, for every
  // entry of `pictures`, ctrl<N>.bmp.
  QString add_skin(int number, const QImage& face, const QStringList& controls,
                   const std::map<int, QImage>& pictures) const;

 private:
  TempDir dir_;
};

// Runs `action`, which opens a modal window; `inside` runs in the window's
// loop and then the window is closed.
void with_modal(const std::function<void()>& action,
                const std::function<void(QWidget*)>& inside = {});

}  // namespace kavrol_test
