// Message boxes and the desktop's "open", in one place so that tests and the
// screenshot tour can take them over instead of blocking on a modal box.
#pragma once

#include <functional>

#include <QString>
#include <QUrl>

class QWidget;

namespace kavrol {

enum class MessageIcon { None, Information, Warning, Error };

// A modal message box with an OK button; `owner` may be null.
void show_message(QWidget* owner, MessageIcon icon, const QString& caption, const QString& text);

// A modal OK/Cancel question; true for OK.
bool ask_ok_cancel(QWidget* owner, const QString& caption, const QString& text);

// Moves a window to the centre of the screen it is on.
void centre_on_screen(QWidget& window);

// Asks the desktop to open a file or an address.
void open_with_desktop(const QUrl& url);

using MessageHandler = std::function<void(MessageIcon, const QString& caption, const QString& text)>;
using OpenHandler = std::function<void(const QUrl&)>;
using QuestionHandler = std::function<bool(const QString& caption, const QString& text)>;
// Replaces the real boxes / the real "open"; an empty handler restores them.
void set_message_handler(MessageHandler handler);
void set_open_handler(OpenHandler handler);
void set_question_handler(QuestionHandler handler);

}  // namespace kavrol
