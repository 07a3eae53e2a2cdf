#include "main_window.h"

#include <cstdio>

#include <QContextMenuEvent>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QUrl>

#include "about_box.h"
#include "app_paths.h"
#include "controls/transparent_button.h"
#include "conversion_commands.h"
#include "convert_dialog.h"
#include "desktop.h"
#include "engine_binding.h"
#include "info_dialog.h"
#include "media_report.h"
#include "popup_menu.h"
#include "settings_file.h"
#include "skin_catalog.h"
#include "vendor.h"
#include "window_shape.h"

namespace kavrol {
namespace {

constexpr QPoint kDesignPositions[TForm1::kButtons] = {
    {16, 24}, {88, 24}, {152, 24}, {240, 32}, {304, 32}, {360, 32},
    {32, 96}, {104, 104}, {192, 104}, {256, 104}, {344, 104}};
const char* const kHints[TForm1::kButtons] = {nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, "Exit", "ViewMenu",
                                              "ChangeSkin", "Help", "Homepage"};
const char* const kDesignLabels[TForm1::kButtons] = {"MPG1", "MPG2", "VCD",  "DVD",
                                                     "DivX", "AVI",  "Exit", "Menu",
                                                     "Skin", "Help", "Home"};

QUrl help_page(const QString& fragment = QString()) {
  QUrl page = QUrl::fromLocalFile(resource_folder() + "/" + kHelpFile);
  if (!fragment.isEmpty()) page.setFragment(fragment);
  return page;
}

}  // namespace

QImage TForm1::design_face() {
  QImage face(481, 225, QImage::Format_RGB32);
  face.fill(QColor(0xFF, 0x00, 0xFF));
  QPainter painter(&face);
  QPainterPath body;
  body.addRoundedRect(QRectF(0, 0, 481, 225), 24, 24);
  QLinearGradient shade(0, 0, 0, 225);
  shade.setColorAt(0, QColor(0xD8, 0xDC, 0xE2));
  shade.setColorAt(1, QColor(0x8C, 0x94, 0xA0));
  painter.fillPath(body, shade);  // no antialiasing: no pink fringe at the edge
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(QColor(0x30, 0x36, 0x40));
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  painter.setFont(font);
  for (int i = 0; i < kButtons; ++i) {
    QRect box(kDesignPositions[i].x() - 10, kDesignPositions[i].y(), 60, 40);
    painter.drawRect(box.adjusted(10, 0, -11, -1));
    painter.drawText(box, Qt::AlignCenter, kDesignLabels[i]);
  }
  font.setPixelSize(15);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 170, 481, 30), Qt::AlignCenter, kProductName);
  return face;
}

TForm1::TForm1(const EngineBinding* binding, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), binding_(binding) {
  setObjectName("Form1");
  setWindowTitle(kProductName);
  setFixedSize(490, 239);

  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->move(0, 0);
  Image1->setAttribute(Qt::WA_TransparentForMouseEvents);  // presses drag the window

  create_buttons();
  create_menu();

  // Placed at the centre of the desktop.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  char index[9];  // at most 8 characters
  SettingsFile* settings = NEW_KSINI();
  if (settings != nullptr) {
    settings->SetFile(kConfigFile);
    settings->ReadString(kSkinIndexKey, "0", index, sizeof index);
    settings->Release();
  } else {
    std::snprintf(index, sizeof index, "0");
  }
  bool numeric = false;
  const int number = QString(index).trimmed().toInt(&numeric);
  // A stored text that is no number names no folder; ChangeSkin then starts at SKIN0.
  SkinIndex = numeric ? number : -1;
  set_skin_folder(skin_folder_path(QString(index)));
  set_face(design_face());
  loadSkin();
  build_skin_menu();
}

TForm1::~TForm1() = default;

void TForm1::setWindows(TfrmConvert* convert, TInfoDlg* info, TAboutBox* about) {
  convert_ = convert;
  info_ = info;
  about_ = about;
}

QMenu* TForm1::popupMenu() const { return PopupMenu1; }

void TForm1::create_buttons() {
  for (int i = 0; i < kButtons; ++i) {
    auto* b = new TTransparentButton(this);
    b->setObjectName(QString("Button_Ctrl%1").arg(i + 1));
    b->move(kDesignPositions[i]);
    b->setThreeState(false);
    b->setBorderWidth(0);
    b->setImageIndex(0);
    b->setNumGlyphs(3);
    b->setImageList(&image_lists_[i]);
    if (kHints[i] != nullptr) b->setToolTip(kHints[i]);
    const int n = i + 1;
    connect(b, &TTransparentButton::clicked, this, [this, n] { button_clicked(n); });
    buttons_[i] = b;
  }
}

void TForm1::create_menu() {
  auto* style = new EtchedMenuStyle();
  style->setParent(this);
  PopupMenu1 = new BannerMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->setStyle(style);

  QMenu* convert = PopupMenu1->addMenu("Convert");
  convert->menuAction()->setObjectName("Convert1");
  convert->setStyle(style);
  for (const ConversionCommand& command : conversion_commands()) {
    QAction* item = convert->addAction(command.title);
    item->setObjectName(command.menu_name);
    const ConversionCommand* c = &command;
    connect(item, &QAction::triggered, this, [this, c] { runConversion(*c); });
  }
  auto add = [this](const char* name, const char* text, auto slot) {
    QAction* item = PopupMenu1->addAction(text);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, slot);
  };
  add("FileInfo1", "File Info...", [this] { file_info_clicked(); });
  PopupMenu1->addSeparator()->setObjectName("N1");
  add("pupHomePage", "HomePage", [this] { home_page(); });
  PopupMenu1->addSeparator()->setObjectName("N4");
  skin_menu_ = PopupMenu1->addMenu("SelectSkin   ");
  skin_menu_->menuAction()->setObjectName("pupSelectSkin");
  skin_menu_->setStyle(style);
  add("About1", "Help", [this] { help(); });
  add("pupAbout", "About", [this] { about(); });
  PopupMenu1->addSeparator()->setObjectName("N5");
  add("Exit1", "Exit", [this] { close(); });
}

void TForm1::build_skin_menu() {
  for (int i : available_skins()) {
    if (i > 0) skin_menu_->addSeparator();
    auto* item = new SkinThumbnailAction(i, skin_menu_);
    connect(item, &QAction::triggered, this, [this, i] { selectSkin(i); });
    skin_menu_->addAction(item);
  }
}

void TForm1::set_face(const QImage& face) {
  face_ = face;
  Image1->setPixmap(QPixmap::fromImage(face_));
  Image1->resize(face_.size());
}

void TForm1::loadSkin() {
  const QString folder = skin_folder();
  const QString face_path = folder + "/face.bmp";
  if (!QFileInfo::exists(face_path)) return;
  QImage face(face_path);
  if (face.isNull()) {
    show_message(this, MessageIcon::Error, kProductName,
                 QString("Cannot open file \"%1\".").arg(face_path));
    return;
  }
  set_face(face);
  const QVector<ControlPlacement> placements = read_skin_controls(folder);
  for (ImageList& list : image_lists_) list.clear();
  for (const ControlPlacement& p : placements) {
    if (p.number < 1 || p.number > kButtons) continue;  // no such button
    const QString picture_path =
        QString("%1/ctrl%2.bmp").arg(folder).arg(button_picture_number(p.number));
    QImage picture(picture_path);
    if (picture.isNull()) {
      show_message(this, MessageIcon::Error, kProductName,
                   QString("Cannot open file \"%1\".").arg(picture_path));
      break;  // the remaining lines of this load are not applied
    }
    ImageList& list = image_lists_[p.number - 1];
    list.set_size(picture.width() / 4, picture.height());
    TTransparentButton* b = buttons_[p.number - 1];
    b->resize(list.width(), list.height());
    list.add_masked(picture, kSeeThrough);
    b->move(p.left, p.top);
    b->setTransparent(true);
    b->update();
  }
  // Shaped from the new face even after a failed button picture, so the
  // outline always matches what is drawn.
  setMask(window_shape(face_));
}

void TForm1::changeSkin() {
  const int n = next_skin(SkinIndex);
  SkinIndex = n;
  set_skin_folder(skin_folder_path(n));
  store_skin_index(QString::number(n));
  loadSkin();
}

void TForm1::selectSkin(int k) {
  if (!QFileInfo(skin_folder_path(k)).isDir()) return;
  SkinIndex = k;
  set_skin_folder(skin_folder_path(k));
  store_skin_index(QString::number(k));
  loadSkin();
}

void TForm1::button_clicked(int n) {
  if (const ConversionCommand* command = command_for_button(n)) {
    runConversion(*command);
    return;
  }
  switch (n) {
    case 7: close(); break;
    case 8: PopupMenu1->popup(QCursor::pos()); break;
    case 9: changeSkin(); break;
    case 10: help(); break;
    case 11: home_page(); break;
    default: break;
  }
}

void TForm1::runConversion(const ConversionCommand& command) {
  if (convert_ == nullptr) return;
  convert_->applyCommand(command);
  const QRect main = frameGeometry();
  convert_->move(main.left() + main.width() / 2 - convert_->width() / 2,
                 main.top() + main.height() / 2 - convert_->height() / 2);
  convert_->exec();
}

void TForm1::file_info_clicked() {
  const QString path =
      QFileDialog::getOpenFileName(this, QString(), QString(), qt_name_filters("*.*|*.*"));
  if (path.isEmpty()) return;
  showFileInformation(path);
}

void TForm1::showFileInformation(const QString& path) {
  QString report;
  const MediaReport read = read_media_report(binding_, path, report);
  if (read == MediaReport::kNoObject) return;
  if (read == MediaReport::kNotMedia) {
    show_message(this, MessageIcon::Warning, "Warning", "Can not get information of the file!");
    return;
  }
  if (info_ == nullptr) return;
  info_->setLines(information_lines(path, file_size_or_zero(path), report, kSupportAddress));
  info_->exec();
}

void TForm1::help() { open_with_desktop(help_page()); }

// The project has no home page yet: the help page's contact section says so.
void TForm1::home_page() {
  open_with_desktop(*kHomePageAddress != '\0' ? QUrl(kHomePageAddress) : help_page("contact"));
}

void TForm1::about() {
  if (about_ != nullptr) about_->exec();
}

void TForm1::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && Image1->geometry().contains(at)) {
    DragAnchorX = at.x();
    DragAnchorY = at.y();
    Dragging = true;
  }
  QWidget::mousePressEvent(event);
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if ((event->buttons() & Qt::LeftButton) && Dragging && Image1->geometry().contains(at)) {
    move(pos() + at - QPoint(DragAnchorX, DragAnchorY));
  }
  QWidget::mouseMoveEvent(event);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) { PopupMenu1->popup(event->globalPos()); }

}  // namespace kavrol
