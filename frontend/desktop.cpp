#include "desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace kavrol {
namespace {

MessageHandler& message_handler() {
  static MessageHandler handler;
  return handler;
}

OpenHandler& open_handler() {
  static OpenHandler handler;
  return handler;
}

QuestionHandler& question_handler() {
  static QuestionHandler handler;
  return handler;
}

QMessageBox::Icon box_icon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void show_message(QWidget* owner, MessageIcon icon, const QString& caption, const QString& text) {
  if (message_handler()) {
    message_handler()(icon, caption, text);
    return;
  }
  QMessageBox box(box_icon(icon), caption, text, QMessageBox::Ok, owner);
  box.exec();
}

bool ask_ok_cancel(QWidget* owner, const QString& caption, const QString& text) {
  if (question_handler()) return question_handler()(caption, text);
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                  owner);
  return box.exec() == QMessageBox::Ok;
}

void centre_on_screen(QWidget& window) {
  if (QScreen* screen = window.screen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

void open_with_desktop(const QUrl& url) {
  if (open_handler()) {
    open_handler()(url);
    return;
  }
  QDesktopServices::openUrl(url);
}

void set_message_handler(MessageHandler handler) { message_handler() = std::move(handler); }
void set_open_handler(OpenHandler handler) { open_handler() = std::move(handler); }
void set_question_handler(QuestionHandler handler) { question_handler() = std::move(handler); }

}  // namespace kavrol
