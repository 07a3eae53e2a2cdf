// TForm1: the borderless, skinned main window with its eleven picture buttons
// and its right-click menu. Every command starts here.
#pragma once

#include <array>

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "image_list.h"

class QAction;
class QLabel;
class QMenu;

namespace kavrol {

class BannerMenu;
class EngineBinding;
class TAboutBox;
class TfrmConvert;
class TInfoDlg;
class TTransparentButton;
struct ConversionCommand;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kButtons = 11;

  // `binding` may be null: file information then does nothing.
  explicit TForm1(const EngineBinding* binding, QWidget* parent = nullptr);
  ~TForm1() override;

  // The windows the commands open, created after the main window.
  void setWindows(TfrmConvert* convert, TInfoDlg* info, TAboutBox* about);

  int SkinIndex = 0;
  bool Dragging = false;
  int DragAnchorX = 0, DragAnchorY = 0;

  // Loads the skin of skin_folder(): face, buttons, window shape.
  void loadSkin();
  // "ChangeSkin": the next skin folder, wrapping to SKIN0.
  void changeSkin();
  // Chooses skin `k` from the menu.
  void selectSkin(int k);

  // A conversion command: fills the conversion dialog and shows it modally.
  void runConversion(const ConversionCommand& command);
  // The file-information report of `path` in the information dialog.
  void showFileInformation(const QString& path);

  TTransparentButton* button(int n) const { return buttons_[n - 1]; }
  const ImageList& imageList(int n) const { return image_lists_[n - 1]; }
  const QImage& face() const { return face_; }
  QMenu* popupMenu() const;
  QMenu* skinMenu() const { return skin_menu_; }
  // The face shown when no skin has loaded.
  static QImage design_face();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void create_buttons();
  void create_menu();
  void build_skin_menu();
  void set_face(const QImage& face);
  void button_clicked(int n);
  void file_info_clicked();
  void help();
  void home_page();
  void about();

  const EngineBinding* binding_;
  QLabel* Image1;
  QImage face_;
  std::array<TTransparentButton*, kButtons> buttons_{};
  std::array<ImageList, kButtons> image_lists_;
  BannerMenu* PopupMenu1 = nullptr;
  QMenu* skin_menu_ = nullptr;
  QPointer<TfrmConvert> convert_;
  QPointer<TInfoDlg> info_;
  QPointer<TAboutBox> about_;
};

}  // namespace kavrol
