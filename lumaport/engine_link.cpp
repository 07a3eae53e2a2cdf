#include "engine_link.h"

#include <dlfcn.h>

namespace lumaport {

namespace {

// The folder holding this library, found through one of its own symbols.
std::string own_folder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&own_folder), &info) == 0 ||
      info.dli_fname == nullptr)
    return ".";
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

EngineLink::~EngineLink() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

bool EngineLink::load(std::string* why) {
  const std::string path = own_folder() + "/libCorvexaDll.so";
  // The engine keeps singletons for the whole process: it stays mapped.
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    const char* error = ::dlerror();
    *why = "cannot load " + path + (error != nullptr ? std::string(": ") + error : "");
    return false;
  }
  return true;
}

corvexa::EngineObject* EngineLink::create(const char* kind) const {
  if (handle_ == nullptr) return nullptr;
  const std::string name = std::string("_NEW_") + kind;
  auto factory = reinterpret_cast<CorvexaFactory>(::dlsym(handle_, name.c_str()));
  return factory != nullptr ? factory() : nullptr;
}

}  // namespace lumaport
