#include "recent_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "settings_file.h"

namespace kavrol {

QString recent_folder(const char* key) {
  SettingsFile* settings = NEW_KSINI();
  if (settings == nullptr) return QString();
  settings->SetFile(kConfigFile);
  char buffer[4096];
  settings->ReadString(key, "", buffer, sizeof buffer);
  settings->Release();
  const QString folder = QFile::decodeName(buffer);
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void remember_folder_of(const char* key, const QString& path) {
  if (path.isEmpty()) return;
  const QString folder = QFileInfo(path).absolutePath();
  SettingsFile* settings = NEW_KSINI();
  if (settings == nullptr) return;
  settings->SetFile(kConfigFile);
  settings->WriteString(key, QFile::encodeName(folder).constData());
  settings->Release();
}

}  // namespace kavrol
