// TTransparentButton and TMyLabel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include "controls/my_label.h"
#include "controls/transparent_button.h"
#include "image_list.h"

namespace {

using kavrol::FaceState;
using kavrol::TFrameStyle;
using kavrol::TTransparentButton;

TEST(FaceChoice, Table) {
  struct Case {
    const char* what;
    FaceState state;
    int face;
  };
  auto s = [](int glyphs, bool hot, bool pressed, bool down, bool enabled,
              TFrameStyle style = TFrameStyle::fsRegular, bool three = false) {
    FaceState f;
    f.num_glyphs = glyphs;
    f.hot = hot;
    f.pressed = pressed;
    f.down = down;
    f.enabled = enabled;
    f.frame_style = style;
    f.three_state = three;
    return f;
  };
  const Case cases[] = {
      {"one glyph", s(1, true, true, false, true), 0},
      {"two, disabled", s(2, false, false, false, false), 1},
      {"two, enabled", s(2, true, true, false, true), 0},
      {"three, pressed", s(3, true, true, false, true), 1},
      {"three, hot", s(3, true, false, false, true), 2},
      {"three, down", s(3, false, false, true, true), 1},
      {"three, idle", s(3, false, false, false, true), 0},
      {"four, pressed", s(4, false, true, false, true), 2},
      {"four, disabled", s(4, false, false, false, false), 1},
      {"four, enabled", s(4, true, false, false, true), 0},
      {"three-state, hot pressed", s(3, true, true, false, true, TFrameStyle::fsRegular, true), 2},
      {"three-state, hot", s(3, true, false, false, true, TFrameStyle::fsRegular, true), 1},
      {"three-state, pressed away", s(3, false, true, false, true, TFrameStyle::fsRegular, true), 0},
      // Explorer style with AutoGray: the normal face unless hot or down.
      {"explorer, pressed away", s(3, false, true, false, true, TFrameStyle::fsExplorer), 0},
      {"explorer, hot pressed", s(3, true, true, false, true, TFrameStyle::fsExplorer), 1},
      {"explorer, down", s(3, false, false, true, true, TFrameStyle::fsExplorer), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(kavrol::choose_face(c.state), c.face) << c.what;
  FaceState offset = s(3, true, false, false, true);
  offset.image_index = 4;
  EXPECT_EQ(kavrol::choose_face(offset), 6);
  offset.auto_gray = false;
  offset.hot = false;
  offset.pressed = true;
  offset.frame_style = TFrameStyle::fsExplorer;
  EXPECT_EQ(kavrol::choose_face(offset), 5);  // without AutoGray the pressed face shows
}

// Records what a button reports.
struct Events {
  explicit Events(TTransparentButton& b) {
    QObject::connect(&b, &TTransparentButton::clicked, [this] { ++clicks; });
    QObject::connect(&b, &TTransparentButton::mouseDown, [this](Qt::MouseButton, QPoint) { ++downs; });
    QObject::connect(&b, &TTransparentButton::mouseMove, [this](QPoint) { ++moves; });
    QObject::connect(&b, &TTransparentButton::mouseUp, [this](Qt::MouseButton, QPoint) { ++ups; });
    QObject::connect(&b, &TTransparentButton::mouseEnter, [this] { ++enters; });
  }
  int clicks = 0, downs = 0, moves = 0, ups = 0, enters = 0;
};

void mouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButtons held = Qt::LeftButton) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}

void enter(QWidget& w) {
  QEnterEvent event(QPointF(1, 1), w.mapToGlobal(QPointF(1, 1)), w.mapToGlobal(QPointF(1, 1)));
  QApplication::sendEvent(&w, &event);
}

class Button : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_.resize(200, 200);
    button_ = new TTransparentButton(&parent_);
    button_->move(50, 50);
    button_->setNumGlyphs(3);
  }
  QWidget parent_;
  TTransparentButton* button_;
};

TEST_F(Button, DefaultsOfANewButton) {
  TTransparentButton b;
  EXPECT_EQ(b.size(), QSize(40, 40));
  EXPECT_TRUE(b.Transparent());
  EXPECT_EQ(b.FrameStyle(), TFrameStyle::fsExplorer);
  EXPECT_EQ(b.NumGlyphs(), 1);
  EXPECT_EQ(b.BorderWidth(), 1u);
  EXPECT_EQ(b.Spacing(), 2);
  EXPECT_TRUE(b.AutoGray());
  EXPECT_TRUE(b.ShowPressed());
  EXPECT_FALSE(b.autoFillBackground());
  b.setNumGlyphs(9);
  EXPECT_EQ(b.NumGlyphs(), 4);
}

TEST_F(Button, PressMoveOutAndBackThenReleaseInsideClicksOnce) {
  Events events(*button_);
  enter(*button_);
  EXPECT_TRUE(button_->isHot());
  EXPECT_EQ(button_->currentFace(), 2);
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  EXPECT_TRUE(button_->isPressed());
  EXPECT_EQ(button_->currentFace(), 1);
  mouse(*button_, QEvent::MouseMove, {80, 80});
  EXPECT_FALSE(button_->isPressed());
  mouse(*button_, QEvent::MouseMove, {6, 6});
  EXPECT_TRUE(button_->isPressed());
  mouse(*button_, QEvent::MouseButtonRelease, {6, 6});
  EXPECT_FALSE(button_->isPressed());
  EXPECT_EQ(events.downs, 1);
  EXPECT_EQ(events.moves, 2);
  EXPECT_EQ(events.ups, 1);
  EXPECT_EQ(events.clicks, 1);
  // Released outside: no click.
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  mouse(*button_, QEvent::MouseButtonRelease, {90, 5});
  EXPECT_EQ(events.clicks, 1);
  // A double click is a plain press.
  mouse(*button_, QEvent::MouseButtonDblClick, {5, 5});
  EXPECT_EQ(events.downs, 3);
  mouse(*button_, QEvent::MouseButtonRelease, {5, 5});
  EXPECT_EQ(events.clicks, 2);
}

TEST_F(Button, ExplorerPressedButMovedAwayShowsTheNormalFace) {
  enter(*button_);
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button_, &leave);
  EXPECT_TRUE(button_->isPressed());
  EXPECT_EQ(button_->currentFace(), 0);
}

TEST_F(Button, DownStaysPressedAndKeepsItsReleaseToItself) {
  Events events(*button_);
  button_->setDown(true);
  EXPECT_TRUE(button_->isPressed());
  EXPECT_TRUE(button_->isTracking());
  EXPECT_EQ(button_->currentFace(), 1);
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  mouse(*button_, QEvent::MouseMove, {90, 90});
  EXPECT_TRUE(button_->isPressed());
  mouse(*button_, QEvent::MouseButtonRelease, {5, 5});
  EXPECT_TRUE(button_->isPressed());
  EXPECT_EQ(events.ups, 0);
  button_->setDown(false);
  EXPECT_FALSE(button_->isPressed());
}

TEST_F(Button, DisabledButtonIgnoresTheMouseAndIsNeverHot) {
  Events events(*button_);
  enter(*button_);
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  button_->setEnabled(false);  // disabling clears every state
  EXPECT_FALSE(button_->isPressed());
  EXPECT_FALSE(button_->isHot());
  EXPECT_FALSE(button_->isTracking());
  enter(*button_);
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  mouse(*button_, QEvent::MouseButtonRelease, {5, 5});
  EXPECT_FALSE(button_->isHot());
  EXPECT_FALSE(button_->isPressed());
  EXPECT_EQ(events.downs, 1);
  EXPECT_EQ(events.clicks, 0);
  EXPECT_EQ(events.enters, 1);
}

TEST_F(Button, PopUpMenuOpensBelowAndThePressEndsAsARelease) {
  Events events(*button_);
  QMenu menu;
  menu.addAction("Item");
  button_->setPopUpMenu(&menu);
  QPoint opened_at;
  QTimer::singleShot(0, [&] {
    opened_at = menu.pos();
    EXPECT_TRUE(button_->isPressed());
    menu.close();
  });
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  EXPECT_EQ(opened_at, button_->mapToGlobal(QPoint(0, button_->height())));
  EXPECT_FALSE(button_->isPressed());
  EXPECT_EQ(events.ups, 1);
  // The release queued behind the menu finds no press to finish.
  mouse(*button_, QEvent::MouseButtonRelease, {5, 5});
  EXPECT_EQ(events.ups, 1);
  EXPECT_EQ(events.clicks, 0);
  {
    QMenu gone;
    button_->setPopUpMenu(&gone);
  }
  EXPECT_EQ(button_->PopUpMenu(), nullptr);  // forgotten when the menu dies
}

TEST_F(Button, MovableButtonFollowsTheDrag) {
  button_->setMovable(true);
  mouse(*button_, QEvent::MouseButtonPress, {5, 5});
  mouse(*button_, QEvent::MouseMove, {15, 25});
  EXPECT_EQ(button_->pos(), QPoint(60, 70));
}

// Rendering: the transparent face sits at the top-left corner.
TEST_F(Button, TransparentFaceIsDrawnAtTheTopLeftNotCentred) {
  kavrol::ImageList list;
  list.set_size(10, 10);
  QImage faces(40, 10, QImage::Format_RGB32);
  faces.fill(qRgb(200, 0, 0));
  list.add_masked(faces, 0xFF00FF);
  button_->setImageList(&list);
  button_->setBorderWidth(0);
  QImage canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
  for (bool transparent : {true, false}) {
    canvas.fill(Qt::transparent);
    button_->setTransparent(transparent);
    button_->render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    const QPoint corner(2, 2), centre(20, 20);
    EXPECT_EQ(canvas.pixel(corner) == qRgb(200, 0, 0), transparent) << transparent;
    EXPECT_EQ(canvas.pixel(centre) == qRgb(200, 0, 0), !transparent) << transparent;
  }
}

TEST(MyLabel, WritesTheCaptionTwiceInItsTwoColours) {
  kavrol::TMyLabel label;
  label.setText("MMMM");
  QFont font("DejaVu Sans");
  font.setPixelSize(20);
  font.setBold(true);
  label.setFont(font);
  label.setBKColor(QColor(0, 255, 0));
  label.setPREColor(QColor(0, 0, 255));
  label.resize(120, 30);
  QImage canvas(120, 30, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  label.render(&canvas);
  int green = 0, blue = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 120; ++x) {
      QRgb c = canvas.pixel(x, y);
      green += c == qRgb(0, 255, 0);
      blue += c == qRgb(0, 0, 255);
    }
  }
  EXPECT_GT(green, 10);
  EXPECT_GT(blue, 10);
  label.setAutoSize(true);
  EXPECT_EQ(label.width(), label.sizeHint().width() + 1);
}

}  // namespace
