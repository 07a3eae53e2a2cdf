#include "engine_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace kavrol {

std::string program_folder() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string p(path);
  std::size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

EngineLibrary::~EngineLibrary() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

bool EngineLibrary::load() {
  const std::string path = program_folder() + "/libCorvexaDll.so";
  // The engine's singletons and their buffers live for the whole process:
  // the library stays mapped after dlclose, so nothing they hold is cut off.
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    error_ = "Can not find DLL: " + path + (why ? std::string(" (") + why + ")" : "");
    return false;
  }
  for (const char* kind : {"CORVEXADLL", "AVITOMPEG"}) {
    if (heap_factory(kind) == nullptr) {
      error_ = std::string("Can not find DLL export _NEW_") + kind;
      return false;
    }
  }
  return true;
}

CorvexaFactory EngineLibrary::heap_factory(const char* kind) const {
  if (handle_ == nullptr) return nullptr;
  std::string name = std::string("_NEW_") + kind;
  return reinterpret_cast<CorvexaFactory>(::dlsym(handle_, name.c_str()));
}

}  // namespace kavrol
