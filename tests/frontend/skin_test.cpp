// Skin folders, skin.ini and loading skins into the main window.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QMenu>

#include "controls/transparent_button.h"
#include "frontend_fixture.h"
#include "main_window.h"
#include "settings_file.h"
#include "skin_catalog.h"

namespace {

using kavrol::ControlPlacement;
using kavrol_test::solid;

TEST(SkinIni, LinesGiveNumberLeftAndTop) {
  struct {
    const char* line;
    ControlPlacement placement;
  } cases[] = {
      {"1=16,24", {1, 16, 24}},
      {" 11 = 344 , 104 ", {11, 344, 104}},
      {"3=-5,+7", {3, -5, 7}},
      {"4=12", {4, 12, 0}},       // no comma: no top
      {"5", {5, 0, 0}},           // no "="
      {"x=1,2", {0, 1, 2}},       // not a number: 0
      {"6=7px,8px", {6, 7, 8}},   // digits up to the first other character
      {"7=99999999999,1", {7, INT32_MAX, 1}},
  };
  for (const auto& c : cases) {
    const QVector<ControlPlacement> parsed = kavrol::parse_controls({c.line});
    ASSERT_EQ(parsed.size(), 1) << c.line;
    EXPECT_EQ(parsed[0], c.placement) << c.line;
  }
  // Only the first 79 characters of a part count.
  EXPECT_EQ(kavrol::read_decimal(QString(79, ' ') + "5"), 0);
  EXPECT_EQ(kavrol::read_decimal(QString(78, ' ') + "5"), 5);
  QStringList many;
  for (int i = 0; i < 1200; ++i) many << "1=1,1";
  EXPECT_EQ(kavrol::parse_controls(many).size(), 1000);
}

TEST(SkinFolders, CountedFromZeroWithoutGaps) {
  kavrol_test::SkinFolders skins;
  EXPECT_TRUE(kavrol::available_skins().isEmpty());
  EXPECT_EQ(kavrol::next_skin(0), 0);
  for (int n : {0, 1, 3}) skins.add_skin(n, solid({8, 8}, 0xFF808080), {}, {});
  EXPECT_EQ(kavrol::available_skins(), QVector<int>({0, 1}));
  EXPECT_EQ(kavrol::next_skin(0), 1);
  EXPECT_EQ(kavrol::next_skin(1), 0);  // SKIN2 is missing: back to SKIN0
  EXPECT_EQ(kavrol::next_skin(2), 3);
  EXPECT_EQ(kavrol::next_skin(-1), 0);
  EXPECT_EQ(kavrol::button_picture_number(11), 12);
  EXPECT_EQ(kavrol::button_picture_number(10), 10);
}

// A button picture of four 10-pixel faces in different greys, magenta at the
// top-left corner of each face.
QImage strip(int face_width, int height, int extra = 0) {
  QImage image(face_width * 4 + extra, height, QImage::Format_RGB32);
  for (int f = 0; f < 4; ++f) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < face_width; ++x) image.setPixel(f * face_width + x, y, qRgb(40 * f, 40 * f, 40 * f));
    }
    image.setPixel(f * face_width, 0, 0xFFFF00FF);
  }
  for (int x = face_width * 4; x < image.width(); ++x) {
    for (int y = 0; y < height; ++y) image.setPixel(x, y, 0xFFFFFFFF);
  }
  return image;
}

QString stored_index() {
  kavrol::SettingsFile* settings = kavrol::NEW_KSINI();
  settings->SetFile(kavrol::kConfigFile);
  char buffer[9];
  settings->ReadString(kavrol::kSkinIndexKey, "none", buffer, sizeof buffer);
  settings->Release();
  return buffer;
}

class MainWindowSkins : public ::testing::Test {
 protected:
  void SetUp() override { QFile::remove(kavrol::config_folder() + "/config.ini"); }
  void TearDown() override { QFile::remove(kavrol::config_folder() + "/config.ini"); }
  kavrol_test::SkinFolders skins_;
  kavrol_test::DesktopRecorder desktop_;
};

TEST_F(MainWindowSkins, LoadPlacesAndSizesTheButtonsFromTheirPictures) {
  skins_.add_skin(0, solid({300, 120}, 0xFF204060),
                  {"1=20,30", "11=200,40", "12=5,5", "0=1,1", "2=60,70"},
                  {{1, strip(10, 12)}, {2, strip(9, 14, 3)}, {12, strip(16, 16)}});
  kavrol::TForm1 window(nullptr);
  EXPECT_EQ(window.face().size(), QSize(300, 120));
  EXPECT_EQ(window.size(), QSize(490, 239));  // the window keeps its own size
  EXPECT_EQ(window.button(1)->geometry(), QRect(20, 30, 10, 12));
  EXPECT_EQ(window.imageList(1).count(), 4);
  // 39 pixels wide: faces of 39 / 4 = 9 pixels.
  EXPECT_EQ(window.button(2)->geometry(), QRect(60, 70, 9, 14));
  EXPECT_EQ(window.imageList(2).count(), 4);
  // Button 11 takes ctrl12.bmp; line 12 has no button and changes nothing.
  EXPECT_EQ(window.button(11)->geometry(), QRect(200, 40, 16, 16));
  EXPECT_TRUE(window.imageList(3).empty());
  EXPECT_EQ(window.button(3)->geometry(), QRect(152, 24, 40, 40));  // design place
  // Magenta is the faces' see-through colour.
  QImage first = window.imageList(1).face(0).toImage();
  EXPECT_EQ(qAlpha(first.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(first.pixel(1, 0)), 255);
  EXPECT_EQ(qGray(window.imageList(1).face(2).toImage().pixel(3, 3)), 80);
  EXPECT_TRUE(window.button(1)->Transparent());
  EXPECT_TRUE(desktop_.messages.isEmpty());
}

TEST_F(MainWindowSkins, MissingButtonPictureStopsTheLoadWithAnError) {
  skins_.add_skin(0, solid({300, 120}, 0xFF204060), {"1=20,30", "4=100,30", "2=60,70"},
                  {{1, strip(10, 12)}, {2, strip(10, 12)}});
  kavrol::TForm1 window(nullptr);
  ASSERT_EQ(desktop_.messages.size(), 1);
  EXPECT_NE(desktop_.messages[0].text.indexOf("ctrl4.bmp"), -1);
  EXPECT_EQ(window.button(1)->pos(), QPoint(20, 30));
  EXPECT_EQ(window.button(2)->pos(), QPoint(88, 24));  // after the failure: not applied
  EXPECT_TRUE(window.imageList(2).empty());
  // The outline still follows the face that was loaded.
  EXPECT_EQ(window.mask().boundingRect().size(), QSize(299, 119));
}

TEST_F(MainWindowSkins, NoSkinFoldersKeepTheDesignLook) {
  kavrol::TForm1 window(nullptr);
  EXPECT_EQ(window.face().size(), kavrol::TForm1::design_face().size());
  EXPECT_TRUE(window.skinMenu()->actions().isEmpty());
  EXPECT_EQ(window.button(1)->pos(), QPoint(16, 24));
  EXPECT_TRUE(desktop_.messages.isEmpty());
}

TEST_F(MainWindowSkins, MenuOffersTheSkinsWithoutGapsAndChangeSkinWraps) {
  for (int n : {0, 1, 3}) {
    skins_.add_skin(n, solid({100 + n, 50}, 0xFF204060), {"1=10,10"}, {{1, strip(10, 10)}});
  }
  kavrol::TForm1 window(nullptr);
  EXPECT_EQ(window.SkinIndex, 0);
  // Skin, separator, skin: skin k is the item at position 2k.
  const QList<QAction*> items = window.skinMenu()->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_TRUE(items[1]->isSeparator());
  items[2]->trigger();
  EXPECT_EQ(window.SkinIndex, 1);
  EXPECT_EQ(window.face().width(), 101);
  EXPECT_EQ(stored_index(), "1");
  window.changeSkin();
  EXPECT_EQ(window.SkinIndex, 0);
  EXPECT_EQ(window.face().width(), 100);
  EXPECT_EQ(stored_index(), "0");
  window.changeSkin();
  EXPECT_EQ(window.SkinIndex, 1);
  window.selectSkin(2);  // no such folder: nothing changes
  EXPECT_EQ(window.SkinIndex, 1);
  EXPECT_EQ(kavrol::skin_folder(), skins_.root() + "/SKIN1");
}

TEST_F(MainWindowSkins, StoredIndexIsUsedAtStartAndAMissingOneWrapsToZero) {
  for (int n : {0, 1}) skins_.add_skin(n, solid({100 + n, 50}, 0xFF204060), {}, {});
  kavrol::store_skin_index("1");
  {
    kavrol::TForm1 window(nullptr);
    EXPECT_EQ(window.SkinIndex, 1);
    EXPECT_EQ(window.face().width(), 101);
  }
  for (const char* stored : {"7", "seven"}) {
    kavrol::store_skin_index(stored);
    kavrol::TForm1 window(nullptr);
    EXPECT_EQ(window.face().size(), kavrol::TForm1::design_face().size()) << stored;
    window.changeSkin();
    EXPECT_EQ(window.SkinIndex, 0) << stored;
    EXPECT_EQ(window.face().width(), 100) << stored;
  }
}

}  // namespace

namespace {

// The skins the build draws into the program's folder.
TEST(ShippedSkins, ThreeDistinctSkinsWithEveryButtonInsideTheOutline) {
  kavrol::set_resource_folder(KAVROL_BIN_DIR);
  kavrol_test::DesktopRecorder desktop;
  ASSERT_EQ(kavrol::available_skins(), QVector<int>({0, 1, 2}));
  QVector<QImage> faces;
  for (int skin = 0; skin < 3; ++skin) {
    kavrol::store_skin_index(QString::number(skin));
    kavrol::TForm1 window(nullptr);
    ASSERT_EQ(window.SkinIndex, skin);
    faces << window.face();
    EXPECT_LE(window.face().width(), 490);
    EXPECT_LE(window.face().height(), 239);
    // Magenta outside: the corners are cut away.
    EXPECT_FALSE(window.mask().contains(QPoint(0, 0))) << skin;
    EXPECT_FALSE(window.mask().contains(QPoint(window.face().width() - 2, window.face().height() - 2)))
        << skin;
    for (int n = 1; n <= kavrol::TForm1::kButtons; ++n) {
      const kavrol::ImageList& list = window.imageList(n);
      ASSERT_EQ(list.count(), 4) << "skin " << skin << " button " << n;
      // Normal, pressed, hot and disabled are four different pictures.
      for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
          EXPECT_NE(list.face(a).toImage(), list.face(b).toImage())
              << "skin " << skin << " button " << n << " faces " << a << "," << b;
        }
      }
      const QRect place = window.button(n)->geometry();
      EXPECT_EQ(window.mask().intersected(place), QRegion(place))
          << "skin " << skin << " button " << n << " leaves the outline";
    }
  }
  EXPECT_NE(faces[0], faces[1]);
  EXPECT_NE(faces[1], faces[2]);
  EXPECT_TRUE(desktop.messages.isEmpty());
  QFile::remove(kavrol::config_folder() + "/config.ini");
  kavrol::set_resource_folder(QString());
}

}  // namespace
