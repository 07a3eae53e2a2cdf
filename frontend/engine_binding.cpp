#include "engine_binding.h"

#include <dlfcn.h>

namespace kavrol {
namespace {

void* load_library(const std::string& folder, const char* name, std::string& error) {
  const std::string path = folder + "/" + name;
  // RTLD_NODELETE: engine singletons live until the process ends.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = "cannot load " + path + (why != nullptr ? std::string(": ") + why : std::string());
  }
  return handle;
}

}  // namespace

bool EngineBinding::look_up(void* library, const char* name, CorvexaFactory& entry) {
  entry = reinterpret_cast<CorvexaFactory>(::dlsym(library, name));
  if (entry == nullptr) error_ = std::string("missing export ") + name;
  return entry != nullptr;
}

void EngineBinding::reset() {
  library_object_ = library_singleton_ = media_player_ = nullptr;
  avi_to_mpeg_ = media_to_avi_ = quicktime_ = nullptr;
}

bool EngineBinding::bind(const std::string& folder) {
  reset();  // nothing of an earlier attempt survives a failure
  error_.clear();
  void* engine = load_library(folder, kEngineLibrary, error_);
  if (engine == nullptr) return false;
  void* quicktime = load_library(folder, kQuickTimeLibrary, error_);
  if (quicktime == nullptr) return false;
  bool bound = look_up(engine, "_NEW_CORVEXADLL", library_object_) &&
               look_up(engine, "_NEW_00_CORVEXADLL", library_singleton_) &&
               look_up(engine, "_NEW_MEDIAPLAYDLL", media_player_) &&
               look_up(engine, "_NEW_AVITOMPEG", avi_to_mpeg_) &&
               look_up(engine, "_NEW_MEDIATOAVI", media_to_avi_) &&
               look_up(quicktime, "_NEW_LUMAPORT", quicktime_);
  if (!bound) reset();
  return bound;
}

}  // namespace kavrol
