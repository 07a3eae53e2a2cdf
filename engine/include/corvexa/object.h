// Public ABI of libCorvexaDll.so: the object base shared by every engine kind.
//
// Every engine object is reached through an abstract class whose virtual
// functions are the kind's operations in slot order. Slot 0 is an ordinary
// virtual function `Destroy(flags)` rather than a C++ virtual destructor,
// which would take two vtable entries and shift every later slot.
#pragma once

#include <cstdint>

namespace corvexa {

static_assert(sizeof(bool) == 1, "operations return one-byte booleans");

// Longest path an engine object accepts: the platform's PATH_MAX, 4095 bytes
// plus the terminator. Longer paths are refused, never cut.
inline constexpr int kMaxPath = 4096;

class EngineObject {
 public:
  // Slot 0: releases everything the object owns; bit 0 of `flags` also frees
  // the object's memory. Only Release and the library's exit clean-up call it.
  virtual void Destroy(std::int32_t flags) = 0;
  // Slot 1: Destroy(1). The one way a caller disposes of a heap object.
  virtual void Release() = 0;
  // Slot 2: acquires the object's resources; true when it is usable.
  virtual bool Init() = 0;
  // Slot 3.
  virtual bool IsReady() = 0;

 protected:
  ~EngineObject() = default;
};

// Release that accepts null, as callers are allowed to release nothing.
inline void ReleaseObject(EngineObject* object) {
  if (object != nullptr) object->Release();
}

}  // namespace corvexa

// Factory functions exported by libCorvexaDll.so: a heap factory `_NEW_<KIND>`
// and a singleton factory `_NEW_00_<KIND>` for each kind. Both take no
// arguments and return the object, or null when no usable object could be made.
extern "C" {
using CorvexaFactory = corvexa::EngineObject* (*)();
}
