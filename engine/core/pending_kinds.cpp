// Kinds that this build does not provide yet. Their factories return null,
// which callers already treat as "no usable object".
#include "core/kinds.h"

namespace corvexa::core {

EngineObject* construct_mediatoavi() { return nullptr; }
EngineObject* construct_codeclist() { return nullptr; }

}  // namespace corvexa::core
