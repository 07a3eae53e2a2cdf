// Loads libCorvexaDll.so and libLumaport.so and keeps their factories for the
// whole run. The program reaches the engine only through these factories.
#pragma once

#include <string>

#include "corvexa/object.h"

namespace kavrol {

class EngineBinding {
 public:
  EngineBinding() = default;
  EngineBinding(const EngineBinding&) = delete;
  EngineBinding& operator=(const EngineBinding&) = delete;

  // Loads both libraries from `folder` and looks up the six factories in
  // order; false on the first library or export that is missing, with the
  // reason in error(). The libraries stay loaded for the life of the process.
  bool bind(const std::string& folder);
  const std::string& error() const { return error_; }

  // Each returns a new object, or null when the entry is empty or the
  // factory made nothing. The two engine singleton factories are bound only
  // to prove the engine is whole.
  corvexa::EngineObject* new_media_player() const { return call(media_player_); }
  corvexa::EngineObject* new_avi_to_mpeg() const { return call(avi_to_mpeg_); }
  corvexa::EngineObject* new_media_to_avi() const { return call(media_to_avi_); }
  corvexa::EngineObject* new_quicktime_job() const { return call(quicktime_); }

 private:
  static corvexa::EngineObject* call(CorvexaFactory factory) {
    return factory != nullptr ? factory() : nullptr;
  }
  void reset();
  bool look_up(void* library, const char* name, CorvexaFactory& entry);

  CorvexaFactory library_object_ = nullptr;
  CorvexaFactory library_singleton_ = nullptr;
  CorvexaFactory media_player_ = nullptr;
  CorvexaFactory avi_to_mpeg_ = nullptr;
  CorvexaFactory media_to_avi_ = nullptr;
  CorvexaFactory quicktime_ = nullptr;
  std::string error_;
};

inline constexpr const char* kEngineLibrary = "libCorvexaDll.so";
inline constexpr const char* kQuickTimeLibrary = "libLumaport.so";

}  // namespace kavrol
