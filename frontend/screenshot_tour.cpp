#include "screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QEventLoop>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include "about_box.h"
#include "component_probe.h"
#include "components_dialog.h"
#include "controls/transparent_button.h"
#include "conversion_commands.h"
#include "convert_dialog.h"
#include "desktop.h"
#include "info_dialog.h"
#include "main_window.h"
#include "preview_window.h"
#include "skin_catalog.h"

namespace kavrol {
namespace {

// Lets the X server map and paint what was just shown.
void settle() {
  QEventLoop loop;
  QTimer::singleShot(250, &loop, &QEventLoop::quit);
  loop.exec();
}

class Tour {
 public:
  Tour(const TourWindows& windows, const QString& folder) : w_(windows), folder_(folder) {}

  bool run() {
    QDir().mkpath(folder_);
    // Modal boxes would stop the tour; nothing is opened on the desktop.
    set_message_handler([](MessageIcon, const QString&, const QString&) {});
    set_open_handler([](const QUrl&) {});
    for (int skin : available_skins()) {
      w_.main->selectSkin(skin);
      settle();
      save_screen(*w_.main, QString("main_skin%1.png").arg(skin));
    }
    hot_button();
    menus();
    secondary_windows();
    return ok_;
  }

 private:
  // The screen around a window, so the shaped outline shows against the
  // desktop behind it.
  void save_screen(QWidget& window, const QString& name) {
    const QRect area = window.frameGeometry().adjusted(-10, -10, 10, 10);
    QPixmap shot = window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    save(shot, name);
  }
  void save(const QPixmap& shot, const QString& name) {
    if (shot.isNull() || !shot.save(folder_ + "/" + name)) ok_ = false;
  }

  void hot_button() {
    w_.main->selectSkin(0);
    TTransparentButton* b = w_.main->button(1);
    QEnterEvent enter(QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)), b->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(b, &enter);
    settle();
    save_screen(*w_.main, "main_skin0_hot_button1.png");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
  }

  void menus() {
    QMenu* menu = w_.main->popupMenu();
    menu->popup(w_.main->pos() + QPoint(40, 30));
    settle();
    save_screen(*menu, "popup_menu.png");
    QMenu* convert = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->objectName() == "Convert1") convert = a->menu();
    }
    if (convert != nullptr) {
      menu->setActiveAction(convert->menuAction());
      convert->popup(menu->geometry().topRight());
      settle();
      save(menu->screen()->grabWindow(0, menu->x(), menu->y(),
                                      convert->geometry().right() - menu->x() + 10,
                                      std::max(menu->height(), convert->height()) + 10),
           "popup_menu_convert.png");
      convert->hide();
    }
    QMenu* skins = w_.main->skinMenu();
    skins->popup(menu->geometry().topRight() + QPoint(0, 60));
    settle();
    save_screen(*skins, "popup_menu_skins.png");
    skins->hide();
    menu->hide();
  }

  template <class Window>
  void show_and_save(Window* window, const QString& name) {
    window->show();
    window->raise();
    settle();
    save(window->grab(), name);
    window->hide();
  }

  void secondary_windows() {
    show_and_save(w_.about, "about_box.png");
    w_.info->setLines(information_lines("/videos/holiday.avi", 1048576,
                                        "Container: AVI\nVideo: 352 x 288, 25.000 fps\n"
                                        "Length: 00:00:04\nAudio: PCM 44100 Hz stereo",
                                        QString()));
    show_and_save(w_.info, "info_dialog.png");
    ComponentReport missing;
    missing.quicktime = missing.windows_media = missing.media_framework = false;
    missing.windows_media = true;  // one greyed label shows the disabled look
    TComDlg components(missing);
    show_and_save(&components, "components_dialog.png");
    show_and_save(w_.preview, "preview_window.png");
    const ConversionCommand& dvd = *command_for_button(4);
    w_.convert->applyCommand(dvd);
    show_and_save(w_.convert, "convert_dialog.png");
  }

  TourWindows w_;
  QString folder_;
  bool ok_ = true;
};

}  // namespace

void start_screenshot_tour(const TourWindows& windows, const QString& folder) {
  QTimer::singleShot(0, [windows, folder] {
    settle();
    Tour tour(windows, folder);
    const bool ok = tour.run();
    QApplication::exit(ok ? 0 : 1);
  });
}

}  // namespace kavrol
