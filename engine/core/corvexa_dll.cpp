// CORVEXADLL: the library object. It only proves the library is present.
#include "core/factory.h"
#include "core/kinds.h"
#include "core/object_impl.h"

namespace corvexa::core {

namespace {

class CorvexaDll final : public EngineObjectImpl<EngineObject, CorvexaDll> {
 public:
  bool Init() override { return true; }
};

}  // namespace

EngineObject* construct_corvexadll() { return construct_kind<CorvexaDll>(); }

}  // namespace corvexa::core
