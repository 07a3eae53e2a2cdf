#include "app_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kavrol {
namespace {

QString& resource_override() {
  static QString folder;
  return folder;
}

QString& active_skin_folder() {
  static QString folder;
  return folder;
}

}  // namespace

QString program_folder() {
  QFileInfo self(QStringLiteral("/proc/self/exe"));
  QString target = self.symLinkTarget();
  return target.isEmpty() ? QDir::currentPath() : QFileInfo(target).absolutePath();
}

QString resource_folder() {
  if (!resource_override().isEmpty()) return resource_override();
  const QString beside = program_folder();
  if (QFileInfo::exists(beside + "/SKIN0") || QFileInfo::exists(beside + "/Corvexa.html")) {
    return beside;
  }
  // Installed, the program lives in <prefix>/lib/kavrol; older layouts put
  // it in <prefix>/bin.
  for (const char* relative : {"/../../share/kavrol", "/../share/kavrol"}) {
    const QString installed = QDir::cleanPath(beside + relative);
    if (QFileInfo(installed).isDir()) return installed;
  }
  return beside;
}

void set_resource_folder(const QString& folder) { resource_override() = folder; }

QString config_folder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString skin_folder() { return active_skin_folder(); }
void set_skin_folder(const QString& folder) { active_skin_folder() = folder; }

QString skin_folder_path(const QString& number_text) {
  return resource_folder() + "/SKIN" + number_text;
}
QString skin_folder_path(int number) { return skin_folder_path(QString::number(number)); }

}  // namespace kavrol
