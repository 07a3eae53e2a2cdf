#include "settings_file.h"

#include <cstdio>
#include <cstring>
#include <new>

#include <QDir>
#include <QFileInfo>

#include "app_paths.h"
#include "ini_file.h"

namespace kavrol {
namespace {

const QString kSection = QStringLiteral("INI");

}  // namespace

void SettingsFile::Destroy(std::int32_t flags) {
  user_path_.clear();
  shipped_path_.clear();
  if (flags & 1) delete this;
}

void SettingsFile::Release() { Destroy(1); }

bool SettingsFile::Init() {
  user_path_.clear();
  shipped_path_.clear();
  return true;
}

bool SettingsFile::IsReady() { return true; }

bool SettingsFile::SetFile(const char* name) {
  if (name == nullptr) return false;
  const QString file = QString::fromLocal8Bit(name);
  user_path_ = config_folder() + "/" + file;
  shipped_path_ = resource_folder() + "/" + file;
  return true;
}

QString SettingsFile::reading_path() const {
  return QFileInfo::exists(user_path_) ? user_path_ : shipped_path_;
}

bool SettingsFile::ReadString(const char* key, const char* fallback, char* buffer,
                              std::int32_t size) {
  if (buffer == nullptr || size <= 0) return false;
  QByteArray value;
  std::optional<QString> stored;
  if (key != nullptr && !user_path_.isEmpty()) stored = ini_read(reading_path(), kSection, key);
  value = stored ? stored->toLocal8Bit() : QByteArray(fallback != nullptr ? fallback : "");
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(value.size()),
                                        static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, value.constData(), n);
  buffer[n] = '\0';
  return true;
}

bool SettingsFile::WriteString(const char* key, const char* value) {
  if (key == nullptr || value == nullptr || user_path_.isEmpty()) return false;
  if (!QDir().mkpath(QFileInfo(user_path_).absolutePath())) return false;
  // The first write starts from the shipped file, so its other keys survive.
  if (!QFileInfo::exists(user_path_) && QFileInfo::exists(shipped_path_) &&
      !QFile::copy(shipped_path_, user_path_)) {
    return false;
  }
  QFile::setPermissions(user_path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::ReadOther);
  return ini_write(user_path_, kSection, QString::fromLocal8Bit(key),
                   QString::fromLocal8Bit(value));
}

std::int32_t SettingsFile::ReadInt(const char* key, std::int32_t fallback) {
  char fallback_text[20];
  std::snprintf(fallback_text, sizeof fallback_text, "0x%x", static_cast<unsigned>(fallback));
  char text[20];
  ReadString(key, fallback_text, text, sizeof text);
  unsigned value = 0;
  if (std::sscanf(text, "0x%x", &value) != 1) return fallback;
  return static_cast<std::int32_t>(value);
}

void SettingsFile::WriteInt(const char* key, std::int32_t value) {
  char text[20];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  WriteString(key, text);
}

SettingsFile* NEW_KSINI() {
  auto* settings = new (std::nothrow) SettingsFile();
  if (settings != nullptr && !settings->Init()) {
    settings->Release();
    return nullptr;
  }
  return settings;
}

SettingsFile* NEW_00_KSINI() {
  static SettingsFile instance;
  static bool initialised = false;
  if (!initialised) initialised = instance.Init();
  return initialised ? &instance : nullptr;
}

void store_skin_index(const QString& number) {
  SettingsFile* settings = NEW_KSINI();
  if (settings == nullptr) return;
  settings->SetFile(kConfigFile);
  settings->WriteString(kSkinIndexKey, number.toLocal8Bit().constData());
  settings->Release();
}

}  // namespace kavrol
