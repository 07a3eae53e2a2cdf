#include "controls/transparent_button.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

#include "image_list.h"

namespace kavrol {

int choose_face(const FaceState& s) {
  int i = 0;
  if (s.three_state) {
    i = s.hot ? (s.pressed ? 2 : 1) : 0;
  } else if (s.num_glyphs == 2) {
    i = s.enabled ? 0 : 1;
  } else if (s.num_glyphs == 3) {
    i = s.pressed ? 1 : s.hot ? 2 : s.down ? 1 : 0;
  } else if (s.num_glyphs == 4) {
    i = s.pressed ? 2 : s.enabled ? 0 : 1;
  }
  if (!s.down && s.frame_style == TFrameStyle::fsExplorer && s.auto_gray && !s.hot) i = 0;
  if (s.num_glyphs == 1) i = 0;
  return i + s.image_index;
}

TTransparentButton::TTransparentButton(QWidget* parent) : QWidget(parent) {
  resize(40, 40);
  setMouseTracking(true);  // every move is reported, held button or not
}

void TTransparentButton::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  delete accelerator_;
  accelerator_ = nullptr;
  QKeySequence key = QKeySequence::mnemonic(caption_);
  if (!key.isEmpty()) {
    accelerator_ = new QShortcut(key, this);
    connect(accelerator_, &QShortcut::activated, this, [this] {
      if (isEnabled()) emit clicked();
    });
  }
  update();
}

void TTransparentButton::setImageList(const ImageList* list) {
  image_list_ = list;
  update();
}

#define KAVROL_REPAINTING_SETTER(name, member, type) \
  void TTransparentButton::name(type value) {        \
    if (member == value) return;                     \
    member = value;                                  \
    update();                                        \
  }
KAVROL_REPAINTING_SETTER(setImageIndex, image_index_, int)
KAVROL_REPAINTING_SETTER(setTransparent, transparent_, bool)
KAVROL_REPAINTING_SETTER(setFrameStyle, frame_style_, TFrameStyle)
KAVROL_REPAINTING_SETTER(setBorderWidth, border_width_, unsigned)
KAVROL_REPAINTING_SETTER(setSpacing, spacing_, int)
KAVROL_REPAINTING_SETTER(setTextAlign, text_align_, TTextAlign)
KAVROL_REPAINTING_SETTER(setWordWrap, word_wrap_, bool)
#undef KAVROL_REPAINTING_SETTER

void TTransparentButton::setNumGlyphs(int count) {
  count = std::clamp(count, 1, 4);
  if (count == num_glyphs_) return;
  num_glyphs_ = count;
  update();
}

void TTransparentButton::setDown(bool on) {
  down_ = on;
  tracking_ = on;
  pressed_ = on;
  update();
}

int TTransparentButton::currentFace() const {
  FaceState state;
  state.three_state = three_state_;
  state.hot = hot_;
  state.pressed = pressed_;
  state.down = down_;
  state.enabled = isEnabled();
  state.auto_gray = auto_gray_;
  state.num_glyphs = num_glyphs_;
  state.frame_style = frame_style_;
  state.image_index = image_index_;
  return choose_face(state);
}

// ---- painting ------------------------------------------------------------

namespace {

// A bevel `width` lines deep: top and left in one colour, bottom and right in
// the other, each line one pixel inside the last. Width 0 draws nothing.
void frame3d(QPainter& painter, QRect& rect, const QColor& top, const QColor& bottom,
             unsigned width) {
  for (unsigned n = 0; n < width && rect.width() > 0 && rect.height() > 0; ++n) {
    painter.setPen(top);
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(bottom);
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
    rect.adjust(1, 1, -1, -1);
  }
}

bool is_top(TTextAlign a) {
  return a == TTextAlign::ttaTopLeft || a == TTextAlign::ttaTop || a == TTextAlign::ttaTopRight;
}
bool is_bottom(TTextAlign a) {
  return a == TTextAlign::ttaBottomLeft || a == TTextAlign::ttaBottom ||
         a == TTextAlign::ttaBottomRight;
}
bool is_left(TTextAlign a) {
  return a == TTextAlign::ttaTopLeft || a == TTextAlign::ttaLeft || a == TTextAlign::ttaBottomLeft;
}
bool is_right(TTextAlign a) {
  return a == TTextAlign::ttaTopRight || a == TTextAlign::ttaRight ||
         a == TTextAlign::ttaBottomRight;
}

}  // namespace

void TTransparentButton::paint_frames(QPainter& painter) {
  const QPalette& p = palette();
  const QColor face = p.color(QPalette::Button), light = p.color(QPalette::Light),
               shadow = p.color(QPalette::Dark), dark = p.color(QPalette::Shadow),
               black = Qt::black;
  const QRect whole = rect();

  // 1. Background.
  QPen border(Qt::black);
  border.setWidth(static_cast<int>(border_width_));
  if (frame_style_ == TFrameStyle::fsIndent) border.setColor(shadow);
  const bool outlined = frame_style_ == TFrameStyle::fsRegular || frame_style_ == TFrameStyle::fsIndent;
  if (!transparent_) {
    painter.fillRect(whole, face);
    if (outlined) {
      painter.setPen(border);
      painter.setBrush(face);
      painter.drawRect(whole.adjusted(0, 0, -1, -1));
    }
  } else if (outlined) {
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(whole.adjusted(0, 0, -1, -1));
  }

  // 2. Pressed frame, around the rectangle grown by one pixel.
  if (pressed_ && frame_style_ != TFrameStyle::fsNone) {
    QRect r = whole.adjusted(-1, -1, 1, 1).adjusted(0, 0, -1, -1);
    switch (frame_style_) {
      case TFrameStyle::fsRegular:
      case TFrameStyle::fsIndent:
        if (show_pressed_) {
          frame3d(painter, r, black, light, 1);
          frame3d(painter, r, shadow, face, 1);
        }
        break;
      case TFrameStyle::fsExplorer:
        if (hot_ || down_) {
          frame3d(painter, r, show_pressed_ ? shadow : light, show_pressed_ ? light : shadow,
                  border_width_);
        }
        break;
      case TFrameStyle::fsLight:
        if (show_pressed_) frame3d(painter, r, shadow, light, 1);
        break;
      case TFrameStyle::fsDark:
        if (show_pressed_) frame3d(painter, r, dark, face, 1);
        break;
      case TFrameStyle::fsMono:
        if (show_pressed_) frame3d(painter, r, dark, light, 1);
        break;
      case TFrameStyle::fsNone:
        break;
    }
  }

  // 3. Raised frame.
  if (!pressed_) {
    QRect r = whole.adjusted(0, 0, -1, -1);
    switch (frame_style_) {
      case TFrameStyle::fsRegular:
        frame3d(painter, r, light, black, 1);
        frame3d(painter, r, face, shadow, 1);
        break;
      case TFrameStyle::fsIndent:
        frame3d(painter, r, shadow, light, 1);
        break;
      case TFrameStyle::fsExplorer:
        if (hot_) frame3d(painter, r, light, shadow, border_width_);
        break;
      case TFrameStyle::fsLight:
        frame3d(painter, r, light, shadow, 1);
        break;
      case TFrameStyle::fsDark:
        frame3d(painter, r, face, dark, 1);
        break;
      case TFrameStyle::fsMono:
        frame3d(painter, r, light, dark, 1);
        break;
      case TFrameStyle::fsNone:
        break;
    }
  }
}

QRect TTransparentButton::face_rect() const {
  if (image_list_ == nullptr) return rect();
  const int w = image_list_->width(), h = image_list_->height();
  int top = (height() - h) / 2;
  if (is_bottom(text_align_)) top = spacing_;
  if (is_top(text_align_)) top = height() - h - spacing_;
  int left = (width() - w) / 2;
  if (text_align_ == TTextAlign::ttaLeft) left = width() - w - spacing_;
  if (text_align_ == TTextAlign::ttaRight) left = spacing_;
  return {left, top, w, h};
}

void TTransparentButton::paint_caption(QPainter& painter, const QRect& face) {
  const int flags = Qt::TextShowMnemonic | Qt::AlignCenter | (word_wrap_ ? Qt::TextWordWrap : 0);
  QFontMetrics metrics(font());
  QRect box = word_wrap_ ? metrics.boundingRect(QRect(0, 0, width(), 0xFFFF), flags, caption_)
                         : metrics.boundingRect(QRect(0, 0, 0xFFFF, 0xFFFF),
                                                Qt::TextShowMnemonic, caption_);
  const int tw = box.width(), th = box.height();
  int x = width() / 2 - tw / 2;
  if (is_left(text_align_)) x = spacing_;
  if (is_right(text_align_)) x = width() - spacing_ - tw;
  int y = height() / 2 - th / 2;
  if (is_top(text_align_)) y = face.top() - th - spacing_;
  if (is_bottom(text_align_)) y = face.top() + face.height() + spacing_;
  QRect place(x, y, tw, th);
  if (pressed_ && show_pressed_) place.translate(1, 1);
  if (isEnabled()) {
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(place, flags, caption_);
  } else {
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(place.translated(1, 1), flags, caption_);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawText(place, flags, caption_);
  }
}

void TTransparentButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paint_frames(painter);
  const QRect face = face_rect();
  if (image_list_ != nullptr) {
    QPixmap picture = image_list_->face(currentFace());
    if (!picture.isNull()) {
      if (transparent_) {
        painter.drawPixmap(0, 0, picture);
      } else {
        QPoint at = face.topLeft();
        if (pressed_ && show_pressed_ && !three_state_) at += QPoint(1, 1);
        painter.drawPixmap(at, picture);
      }
    }
  }
  if (!caption_.isEmpty()) paint_caption(painter, face);
}

// ---- mouse ---------------------------------------------------------------

void TTransparentButton::set_pressed(bool on) {
  if (pressed_ == on) return;
  pressed_ = on;
  update();
}

void TTransparentButton::press(Qt::MouseButton button, QPoint position) {
  if (!isEnabled() || press_latch_) return;
  press_latch_ = true;
  emit mouseDown(button, position);
  if (movable_) anchor_ = position;
  if (rect().contains(position)) {
    tracking_ = true;
    pressed_ = true;
    update();
  }
  if (popup_menu_ != nullptr) {
    popup_menu_->exec(mapToGlobal(QPoint(0, height())));
    // The release that belongs to this press may have gone to the menu: the
    // press ends here, and a late release finds no press to finish.
    release(button, position);
  }
}

void TTransparentButton::release(Qt::MouseButton button, QPoint position) {
  if (!press_latch_) return;  // no press of ours to finish
  press_latch_ = false;
  const bool click = tracking_ && rect().contains(position) && popup_menu_ == nullptr;
  if (!down_) {
    emit mouseUp(button, position);
    tracking_ = false;
    pressed_ = false;
    update();
  }
  if (click) emit clicked();
}

void TTransparentButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();  // the host window's menu takes the other buttons
    return;
  }
  press(event->button(), event->position().toPoint());
}

void TTransparentButton::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void TTransparentButton::mouseMoveEvent(QMouseEvent* event) {
  if (!isEnabled()) return;
  const QPoint position = event->position().toPoint();
  emit mouseMove(position);
  if (!tracking_) return;
  if (movable_) move(pos() + position - anchor_);
  if (rect().contains(position)) {
    set_pressed(true);
  } else if (!down_) {
    set_pressed(false);
  }
}

void TTransparentButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  if (!isEnabled()) return;
  release(event->button(), event->position().toPoint());
}

void TTransparentButton::enterEvent(QEnterEvent*) {
  if (!isEnabled()) return;
  hot_ = true;
  emit mouseEnter();
  if (frame_style_ == TFrameStyle::fsExplorer || three_state_) update();
}

void TTransparentButton::leaveEvent(QEvent*) {
  if (!hot_) return;
  hot_ = false;
  emit mouseExit();
  if (frame_style_ == TFrameStyle::fsExplorer || three_state_) update();
}

void TTransparentButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (!isEnabled()) {
      pressed_ = tracking_ = press_latch_ = hot_ = false;
    }
    update();
  }
  QWidget::changeEvent(event);
}

}  // namespace kavrol
