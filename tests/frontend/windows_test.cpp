// The main window's commands and menu, and the secondary windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <QContextMenuEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "about_box.h"
#include "component_probe.h"
#include "components_dialog.h"
#include "controls/transparent_button.h"
#include "conversion_commands.h"
#include "convert_dialog.h"
#include "engine_binding.h"
#include "frontend_fixture.h"
#include "info_dialog.h"
#include "main_window.h"
#include "popup_menu.h"
#include "preview_window.h"

namespace {

namespace fs = std::filesystem;

TEST(InformationText, HeaderLinesThenNameSizeAndReport) {
  const QStringList lines = kavrol::information_lines("/clips/holiday.avi", 123456,
                                                      "Container: AVI\r\nLength: 4 s", "help@x");
  const QStringList expected = {
      "Notice:",
      "    You can send Email to us about the information,",
      "    if the file can not be converted !",
      "--------------  help@x  --------------",
      "File Name: holiday.avi",
      "",
      "File Size: 123456",
      "",
      "Container: AVI",
      "Length: 4 s"};
  EXPECT_EQ(lines, expected);
}

TEST(InformationText, SizeIsZeroForAFileThatCannotBeOpened) {
  kavrol_test::TempDir dir;
  std::ofstream(dir.file("five.bin"), std::ios::binary) << "12345";
  EXPECT_EQ(kavrol::file_size_or_zero(QString::fromStdString(dir.file("five.bin"))), 5);
  EXPECT_EQ(kavrol::file_size_or_zero(QString::fromStdString(dir.file("absent.bin"))), 0);
}

TEST(PopupMenu, BannerGradientReachesPureBlue255RowsUp) {
  const int height = 300;
  EXPECT_EQ(kavrol::banner_row_colour(0, height), QColor(254, 254, 255));  // 300 / 255 = 1
  EXPECT_EQ(kavrol::banner_row_colour(100, height), QColor(154, 154, 255));
  EXPECT_EQ(kavrol::banner_row_colour(254, height), QColor(0, 0, 255));
  EXPECT_EQ(kavrol::banner_row_colour(299, height), QColor(0, 0, 255));
  EXPECT_EQ(kavrol::banner_row_colour(0, 200), QColor(255, 255, 255));
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<kavrol::TForm1>(nullptr);
    convert_ = new kavrol::TfrmConvert(nullptr, window_.get());
    window_->setWindows(convert_, nullptr, nullptr);
  }
  // Runs the command and reads what the dialog was given while it shows.
  void run(const char* menu_name) {
    QAction* item = window_->popupMenu()->findChild<QAction*>(menu_name);
    ASSERT_NE(item, nullptr) << menu_name;
    kavrol_test::with_modal([&] { item->trigger(); },
                            [&](QWidget* modal) { shown_ = modal == convert_; });
  }
  kavrol_test::SkinFolders no_skins_;
  kavrol_test::DesktopRecorder desktop_;
  std::unique_ptr<kavrol::TForm1> window_;
  kavrol::TfrmConvert* convert_;
  bool shown_ = false;
};

TEST_F(MainWindow, MenuItemsInOrder) {
  QStringList top;
  for (QAction* a : window_->popupMenu()->actions()) top << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(top, QStringList({"Convert", "File Info...", "-", "HomePage", "-", "SelectSkin   ",
                              "Help", "About", "-", "Exit"}));
  QStringList convert;
  QAction* convert_item = window_->popupMenu()->actions()[0];
  for (QAction* a : convert_item->menu()->actions()) convert << a->text();
  EXPECT_EQ(convert, QStringList({"AVI to MPG1", "AVI to MPG2", "AVI to VCD", "AVI to DVD",
                                  "AVI to SVCD", "ALL to DivX", "ALL to AVI", "MOV to AVI",
                                  "SWF to AVI"}));
}

TEST_F(MainWindow, ConversionCommandsFillTheDialog) {
  run("ALLtoDIVX1");
  EXPECT_TRUE(shown_);
  EXPECT_EQ(convert_->title(), "ALL to DivX");
  EXPECT_EQ(convert_->ConvertMode, 101);
  EXPECT_FALSE(convert_->QuickTimeRoute);
  EXPECT_EQ(convert_->SaveFilter, "*.AVI|*.AVI");
  EXPECT_EQ(convert_->DefaultExtension, "avi");
  // MOV and SWF keep the previous code; only the route flag changes.
  run("MOVtoAVI1");
  EXPECT_EQ(convert_->title(), "MOV to AVI");
  EXPECT_EQ(convert_->ConvertMode, 101);
  EXPECT_TRUE(convert_->QuickTimeRoute);
  EXPECT_EQ(convert_->OpenFilter, "*.MOV|*.MOV|*.*|*.*");
  run("ALLtoSVCD1");
  EXPECT_EQ(convert_->ConvertMode, 3);
  EXPECT_FALSE(convert_->QuickTimeRoute);
  run("SWFtoAVI1");
  EXPECT_EQ(convert_->ConvertMode, 3);
  EXPECT_EQ(convert_->DefaultExtension, "AVI");
}

TEST_F(MainWindow, ButtonsStartTheirCommands) {
  const int expected_modes[] = {0, 2, 1, 4, 101, 100};
  for (int n = 1; n <= 6; ++n) {
    shown_ = false;
    kavrol_test::with_modal([&] { emit window_->button(n)->clicked(); },
                            [&](QWidget* modal) { shown_ = modal == convert_; });
    EXPECT_TRUE(shown_) << n;
    EXPECT_EQ(convert_->ConvertMode, expected_modes[n - 1]) << n;
  }
  // SVCD, MOV and SWF have no button.
  for (const char* title : {"AVI to SVCD", "MOV to AVI", "SWF to AVI"}) {
    for (const kavrol::ConversionCommand& c : kavrol::conversion_commands()) {
      if (c.title == title) {
        EXPECT_EQ(c.button, 0) << title;
      }
    }
  }
  emit window_->button(10)->clicked();
  emit window_->button(11)->clicked();
  ASSERT_EQ(desktop_.opened.size(), 2);
  EXPECT_TRUE(desktop_.opened[0].isLocalFile());
  EXPECT_TRUE(desktop_.opened[0].path().endsWith("/Corvexa.html"));
  EXPECT_EQ(desktop_.opened[1].fragment(), "contact");  // no home page: the help page says so
  EXPECT_EQ(window_->button(9)->toolTip(), "ChangeSkin");
  window_->show();
  emit window_->button(7)->clicked();
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindow, DraggingTheFaceMovesTheWindowAndARightClickOpensTheMenu) {
  window_->move(100, 80);
  auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), window_->mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &event);
  };
  send(QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(window_->Dragging);
  send(QEvent::MouseMove, {230, 160}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(window_->pos(), QPoint(130, 90));
  send(QEvent::MouseMove, {240, 170}, Qt::NoButton, Qt::NoButton);  // button released
  EXPECT_EQ(window_->pos(), QPoint(130, 90));

  QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(20, 20), QPoint(300, 200));
  QApplication::sendEvent(window_.get(), &menu);
  EXPECT_TRUE(window_->popupMenu()->isVisible());
  EXPECT_EQ(window_->popupMenu()->pos(), QPoint(300, 200));
  window_->popupMenu()->close();
}

TEST_F(MainWindow, ConversionDialogIsCentredOnTheMainWindow) {
  window_->move(100, 80);
  QPoint at;
  kavrol_test::with_modal([&] { emit window_->button(1)->clicked(); },
                          [&](QWidget*) { at = convert_->pos(); });
  const QRect main = window_->frameGeometry();
  EXPECT_EQ(at, QPoint(main.left() + main.width() / 2 - convert_->width() / 2,
                       main.top() + main.height() / 2 - convert_->height() / 2));
}

TEST(MainWindowFileInfo, NullObjectDoesNothing) {
  kavrol_test::DesktopRecorder desktop;
  kavrol::EngineBinding unbound;
  kavrol::TInfoDlg info;
  kavrol::TForm1 window(&unbound);
  window.setWindows(nullptr, &info, nullptr);
  window.showFileInformation("/no/such/file.avi");
  EXPECT_TRUE(desktop.messages.isEmpty());
  EXPECT_TRUE(info.memo()->toPlainText().isEmpty());
}

// With an engine whose media-information object answers from the path.
class FileInformation : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path fakes = KAVROL_FAKE_LIBRARY_DIR;
    fs::create_symlink(fakes / "whole/libCorvexaDll.so", program_.path() / "libCorvexaDll.so");
    fs::create_symlink(fs::path(KAVROL_BIN_DIR) / "libLumaport.so",
                       program_.path() / "libLumaport.so");
    ASSERT_TRUE(binding_.bind(program_.path().string())) << binding_.error();
    window_ = std::make_unique<kavrol::TForm1>(&binding_);
    window_->setWindows(nullptr, &info_, nullptr);
  }
  kavrol_test::TempDir program_, files_;
  kavrol::EngineBinding binding_;
  kavrol::TInfoDlg info_;
  std::unique_ptr<kavrol::TForm1> window_;
  kavrol_test::DesktopRecorder desktop_;
};

TEST_F(FileInformation, ReportFillsTheDialog) {
  const std::string path = files_.file("clip.avi");
  std::ofstream(path, std::ios::binary) << std::string(1000, 'x');
  bool shown = false;
  kavrol_test::with_modal([&] { window_->showFileInformation(QString::fromStdString(path)); },
                          [&](QWidget* modal) { shown = modal == &info_; });
  EXPECT_TRUE(shown);
  const QStringList lines = info_.memo()->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 10);
  EXPECT_EQ(lines[4], "File Name: clip.avi");
  EXPECT_EQ(lines[6], "File Size: 1000");
  EXPECT_EQ(lines[8], "Container: FAKE");
  EXPECT_EQ(lines[9], "Video: 8 x 8");
  EXPECT_TRUE(desktop_.messages.isEmpty());
}

TEST_F(FileInformation, UnreadableMediaGivesAWarning) {
  window_->showFileInformation(QString::fromStdString(files_.file("unreadable.avi")));
  ASSERT_EQ(desktop_.messages.size(), 1);
  EXPECT_EQ(desktop_.messages[0].icon, kavrol::MessageIcon::Warning);
  EXPECT_EQ(desktop_.messages[0].caption, "Warning");
  EXPECT_EQ(desktop_.messages[0].text, "Can not get information of the file!");
  EXPECT_TRUE(info_.memo()->toPlainText().isEmpty());
}

TEST(SecondaryWindows, SizesAndTexts) {
  kavrol::TAboutBox about;
  EXPECT_EQ(about.size(), QSize(293, 214));
  EXPECT_EQ(about.windowTitle(), "About");
  QStringList texts;
  for (QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains("Kavrol Video Convert"));
  EXPECT_TRUE(texts.contains("Version  3.1"));
  EXPECT_TRUE(texts.contains("HomePage:  none"));
  EXPECT_TRUE(texts.contains("Email:  none"));

  kavrol::TInfoDlg info;
  EXPECT_EQ(info.size(), QSize(313, 314));
  EXPECT_EQ(info.windowTitle(), "File Information");
  EXPECT_TRUE(info.memo()->isReadOnly());
  info.setLines({"a"});
  info.setLines({"b", "c"});  // cleared first
  EXPECT_EQ(info.memo()->toPlainText(), "b\nc");
}

TEST(SecondaryWindows, ComponentsDialogEnablesTheMissingOnes) {
  kavrol::ComponentReport report;
  report.windows_media = false;
  kavrol::TComDlg dialog(report);
  EXPECT_EQ(dialog.size(), QSize(442, 305));
  EXPECT_EQ(dialog.windowTitle(), "Components missing");
  EXPECT_TRUE(dialog.windowsMediaLabel()->isEnabled());
  EXPECT_FALSE(dialog.frameworkLabel()->isEnabled());
  EXPECT_FALSE(dialog.quicktimeLabel()->isEnabled());
  kavrol_test::DesktopRecorder desktop;
  for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
    if (b->text() == "More Info...") b->click();
  }
  ASSERT_EQ(desktop.opened.size(), 1);
  EXPECT_EQ(desktop.opened[0].fragment(), "components");
}

TEST(PreviewWindow, FramesFromAnotherThreadArriveUprightOnTheUiThread) {
  kavrol::TfrmPreview preview;
  EXPECT_EQ(preview.windowTitle(), "Kavrol Convert Preview");
  EXPECT_FALSE(preview.IsVisible());
  preview.show();
  EXPECT_TRUE(preview.IsVisible());
  // Two rows, bottom-up: the first row in memory is the picture's bottom.
  const std::uint8_t pixels[] = {0, 0, 255, 0, 0, 0, 255, 0,    // bottom: red
                                 255, 0, 0, 0, 255, 0, 0, 0};   // top: blue
  std::thread engine([&] { preview.Present(pixels, 2, 2); });
  engine.join();
  EXPECT_TRUE(preview.frame().isNull());  // not until the UI thread takes it
  QCoreApplication::processEvents();
  ASSERT_EQ(preview.frame().size(), QSize(2, 2));
  EXPECT_EQ(preview.frame().pixel(0, 0), qRgb(0, 0, 255));
  EXPECT_EQ(preview.frame().pixel(0, 1), qRgb(255, 0, 0));
  preview.Present(nullptr, 2, 2);
  preview.Present(pixels, -2, 2);
  QCoreApplication::processEvents();
  EXPECT_EQ(preview.frame().size(), QSize(2, 2));
  bool closed = false;
  QObject::connect(&preview, &kavrol::TfrmPreview::closed, [&] { closed = true; });
  preview.close();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(preview.IsVisible());
}

TEST(PreviewWindow, WelcomePictureOfTheSkinAndNoErrorWithoutOne) {
  kavrol_test::TempDir skin;
  kavrol::set_skin_folder(QString::fromStdString(skin.path().string()));
  {
    kavrol::TfrmPreview preview;
    preview.show();
    EXPECT_TRUE(preview.image().isNull());
  }
  kavrol_test::solid({32, 24}, 0xFF00FF00).save(QString::fromStdString(skin.file("welcome.bmp")), "BMP");
  kavrol::TfrmPreview preview;
  preview.show();
  EXPECT_EQ(preview.image().size(), QSize(32, 24));
  kavrol::set_skin_folder(QString());
}

}  // namespace
