// Loads libCorvexaDll.so from the folder of the running program and hands
// out its factories, as the front-ends reach the engine.
#pragma once

#include <string>

#include "corvexa/object.h"

namespace kavrol {

class EngineLibrary {
 public:
  EngineLibrary() = default;
  ~EngineLibrary();
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;

  // False with error() set when the library or an export is missing.
  bool load();
  // The heap factory of `kind` ("AVITOMPEG", ...); null when absent.
  CorvexaFactory heap_factory(const char* kind) const;
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The folder holding the running executable.
std::string program_folder();

}  // namespace kavrol
