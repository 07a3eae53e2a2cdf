// Shared implementation of the object base: slots 0, 1 and 3 for every kind.
// A kind derives from EngineObjectImpl<Interface, Self>, implements Init, and
// puts its clean-up in Shutdown(), which Destroy calls before freeing memory.
#pragma once

#include <cstdint>

#include "corvexa/object.h"

namespace corvexa::core {

template <class Interface, class Self>
class EngineObjectImpl : public Interface {
 public:
  void Destroy(std::int32_t flags) override {
    auto* self = static_cast<Self*>(this);
    self->Shutdown();
    if (flags & 1) delete self;
  }
  void Release() override { this->Destroy(1); }
  bool IsReady() override { return true; }

  // Releases what the object owns; safe to call more than once.
  void Shutdown() {}

 protected:
  EngineObjectImpl() = default;
  ~EngineObjectImpl() = default;
};

}  // namespace corvexa::core
