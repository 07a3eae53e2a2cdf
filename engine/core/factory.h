// Heap and singleton factory semantics shared by every exported kind.
#pragma once

#include <cstdlib>
#include <new>

#include "corvexa/object.h"

namespace corvexa::core {

// Constructs an object of a kind without initialising it; null when the kind
// cannot be built (memory, or a kind this build does not provide).
using KindConstructor = EngineObject* (*)();

// New object, Init called; an object whose Init fails is released at once.
inline EngineObject* make_heap_object(KindConstructor construct) {
  EngineObject* object = construct();
  if (object == nullptr) return nullptr;
  if (!object->Init()) {
    object->Release();
    return nullptr;
  }
  return object;
}

// One process-wide instance per kind. It is built on the first call and
// destroyed when the library is unloaded; a failed Init is tried again on the
// next call. Not safe against two threads calling for the first time at once.
template <KindConstructor Construct>
EngineObject* singleton_object() {
  struct Holder {
    EngineObject* object = nullptr;
    bool initialised = false;
    ~Holder() {
      if (object != nullptr) object->Destroy(1);
    }
  };
  static Holder holder;  // destroyed at library unload
  if (holder.object == nullptr) {
    holder.object = Construct();
    if (holder.object == nullptr) return nullptr;
  }
  if (!holder.initialised) {
    if (!holder.object->Init()) return nullptr;
    holder.initialised = true;
  }
  return holder.object;
}

// Allocation that reports failure as null instead of throwing.
template <class T>
EngineObject* construct_kind() {
  return new (std::nothrow) T();
}

}  // namespace corvexa::core
