// TTransparentButton: a picture button that takes its faces from an image
// list and may show a caption, drawn over its parent (not opaque).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QMenu;
class QShortcut;

namespace kavrol {

class ImageList;

enum class TFrameStyle { fsRegular, fsIndent, fsExplorer, fsNone, fsLight, fsDark, fsMono };
enum class TTextAlign {
  ttaTopLeft, ttaTop, ttaTopRight, ttaRight, ttaBottomRight,
  ttaBottom, ttaBottomLeft, ttaLeft, ttaCenter
};

// What the face choice looks at.
struct FaceState {
  bool three_state = false;
  bool hot = false;
  bool pressed = false;
  bool down = false;
  bool enabled = true;
  bool auto_gray = true;
  int num_glyphs = 1;
  TFrameStyle frame_style = TFrameStyle::fsExplorer;
  int image_index = 0;
};

// Index into the image list of the face to show.
int choose_face(const FaceState& state);

class TTransparentButton : public QWidget {
  Q_OBJECT

 public:
  explicit TTransparentButton(QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  void setCaption(const QString& caption);
  const ImageList* imageList() const { return image_list_; }
  void setImageList(const ImageList* list);
  int ImageIndex() const { return image_index_; }
  void setImageIndex(int index);
  int NumGlyphs() const { return num_glyphs_; }
  void setNumGlyphs(int count);  // kept within 1..4
  bool ThreeState() const { return three_state_; }
  void setThreeState(bool on) { three_state_ = on; }
  bool Transparent() const { return transparent_; }
  void setTransparent(bool on);
  TFrameStyle FrameStyle() const { return frame_style_; }
  void setFrameStyle(TFrameStyle style);
  unsigned BorderWidth() const { return border_width_; }
  void setBorderWidth(unsigned width);
  bool Down() const { return down_; }
  void setDown(bool on);
  bool AutoGray() const { return auto_gray_; }
  void setAutoGray(bool on) { auto_gray_ = on; update(); }
  bool ShowPressed() const { return show_pressed_; }
  void setShowPressed(bool on) { show_pressed_ = on; update(); }
  int Spacing() const { return spacing_; }
  void setSpacing(int spacing);
  TTextAlign TextAlign() const { return text_align_; }
  void setTextAlign(TTextAlign align);
  bool WordWrap() const { return word_wrap_; }
  void setWordWrap(bool on);
  bool Movable() const { return movable_; }
  void setMovable(bool on) { movable_ = on; }
  QMenu* PopUpMenu() const { return popup_menu_; }
  void setPopUpMenu(QMenu* menu) { popup_menu_ = menu; }  // forgotten when the menu dies

  // Internal state, visible for the window that hosts the button.
  bool isPressed() const { return pressed_; }
  bool isHot() const { return hot_; }
  bool isTracking() const { return tracking_; }
  // The face index that painting uses now.
  int currentFace() const;

 signals:
  void clicked();
  void mouseDown(Qt::MouseButton button, QPoint position);
  void mouseMove(QPoint position);
  void mouseUp(Qt::MouseButton button, QPoint position);
  void mouseEnter();
  void mouseExit();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void press(Qt::MouseButton button, QPoint position);
  void release(Qt::MouseButton button, QPoint position);
  void set_pressed(bool on);
  void paint_frames(class QPainter& painter);
  QRect face_rect() const;
  void paint_caption(class QPainter& painter, const QRect& face);

  QString caption_;
  const ImageList* image_list_ = nullptr;
  int image_index_ = 0;
  int num_glyphs_ = 1;
  bool three_state_ = false;
  bool transparent_ = true;
  TFrameStyle frame_style_ = TFrameStyle::fsExplorer;
  unsigned border_width_ = 1;
  bool down_ = false;
  bool auto_gray_ = true;
  bool show_pressed_ = true;
  int spacing_ = 2;
  TTextAlign text_align_ = TTextAlign::ttaCenter;
  bool word_wrap_ = false;
  bool movable_ = false;
  QPointer<QMenu> popup_menu_;
  QShortcut* accelerator_ = nullptr;

  bool press_latch_ = false;  // a press is being handled
  bool tracking_ = false;     // the press started inside the button
  bool pressed_ = false;      // drawn pressed
  bool hot_ = false;          // the mouse is over the button
  QPoint anchor_;             // where the press was, for Movable
};

}  // namespace kavrol
