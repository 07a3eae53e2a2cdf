// libCorvexaDll.so, loaded from the folder this library itself was loaded
// from: the conversion runs on the engine's media-to-AVI job.
#pragma once

#include <string>

#include "corvexa/object.h"

namespace lumaport {

class EngineLink {
 public:
  EngineLink() = default;
  ~EngineLink();
  EngineLink(const EngineLink&) = delete;
  EngineLink& operator=(const EngineLink&) = delete;

  // False, with `why` set, when the engine cannot be loaded.
  bool load(std::string* why);
  // A new object of `kind` ("MEDIATOAVI"); null when the engine has none.
  corvexa::EngineObject* create(const char* kind) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace lumaport
