// kavrol: the desktop program. Binds the engine, probes the optional
// components, then shows the skinned main window until it closes.
#include <exception>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include "about_box.h"
#include "app_paths.h"
#include "component_probe.h"
#include "components_dialog.h"
#include "convert_dialog.h"
#include "desktop.h"
#include "engine_binding.h"
#include "info_dialog.h"
#include "main_window.h"
#include "preview_window.h"
#include "screenshot_tour.h"
#include "vendor.h"

namespace {

int run(QApplication& app) {
  QString tour_folder;
  const QStringList args = app.arguments();
  const int tour = static_cast<int>(args.indexOf("--screenshot-tour"));
  if (tour >= 0 && tour + 1 < args.size()) tour_folder = args[tour + 1];

  static kavrol::EngineBinding binding;  // kept for the whole run
  if (!binding.bind(kavrol::program_folder().toStdString())) {
    qWarning("kavrol: %s", binding.error().c_str());
    kavrol::show_message(nullptr, kavrol::MessageIcon::None, "error", "Can not find DLL");
    return 1;
  }
  const kavrol::ComponentReport components = kavrol::probe_components(binding);
  if (!components.all_present() && tour_folder.isEmpty()) {
    kavrol::TComDlg dialog(components);
    dialog.exec();
  }

  QApplication::setApplicationDisplayName(kavrol::kProductName);
  QApplication::setWindowIcon(QIcon(kavrol::resource_folder() + "/kavrol.png"));

  kavrol::TForm1 main_window(&binding);
  // The preview window outlives the dialog, whose jobs draw into it.
  kavrol::TfrmPreview preview;
  kavrol::TfrmConvert convert(&binding, &main_window);
  kavrol::TAboutBox about(&main_window);
  kavrol::TInfoDlg info(&main_window);
  convert.setPreview(&preview);
  convert.setInfoDialog(&info);
  main_window.setWindows(&convert, &info, &about);
  main_window.show();
  if (!tour_folder.isEmpty()) {
    kavrol::start_screenshot_tour({&main_window, &convert, &preview, &about, &info}, tour_folder);
  }
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("kavrol");
  try {
    return run(app);
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, kavrol::kProductName, error.what());
  } catch (...) {
    QMessageBox::critical(nullptr, kavrol::kProductName, "Unexpected error.");
  }
  return 1;
}
