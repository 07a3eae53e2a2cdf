// The settings object: one INI file, section "INI". It follows the engine's
// object life cycle (init after construction, release through slot 1).
//
// The program's folder is read-only once installed, so the file lives in the
// user's configuration folder; the copy beside the program (or in the data
// folder) is read only while the user has no file of their own.
#pragma once

#include <cstdint>

#include <QString>

#include "corvexa/object.h"

namespace kavrol {

class SettingsFile final : public corvexa::EngineObject {
 public:
  void Destroy(std::int32_t flags) override;                                // 0
  void Release() override;                                                  // 1
  bool Init() override;                                                     // 2: empties the path
  bool IsReady() override;                                                  // 3: not used
  virtual bool SetFile(const char* name);                                   // 4
  // 5: the key's value, or `fallback` when absent, cut to fit `size` bytes
  // with the terminator. False only for a buffer that holds nothing.
  virtual bool ReadString(const char* key, const char* fallback, char* buffer, std::int32_t size);
  virtual bool WriteString(const char* key, const char* value);             // 6
  // 7: the value as "0x%x" text (at most 19 characters); `fallback` when the
  // key is absent or its text does not read as such.
  virtual std::int32_t ReadInt(const char* key, std::int32_t fallback);
  virtual void WriteInt(const char* key, std::int32_t value);               // 8

  // The file written to, and the one read while it does not exist yet.
  const QString& user_path() const { return user_path_; }
  const QString& shipped_path() const { return shipped_path_; }

 private:
  QString reading_path() const;

  QString user_path_;
  QString shipped_path_;
};

SettingsFile* NEW_KSINI();
SettingsFile* NEW_00_KSINI();

// The program's settings file and its one key.
inline constexpr const char* kConfigFile = "config.ini";
inline constexpr const char* kSkinIndexKey = "Index";

// Stores the active skin's number through a settings object made for it.
void store_skin_index(const QString& number);

}  // namespace kavrol
