// Constructors of the ten object kinds the library exports. Each is defined by
// the folder that builds the kind; a kind not built returns null.
#pragma once

#include "corvexa/object.h"

namespace corvexa::core {

EngineObject* construct_corvexadll();
EngineObject* construct_avitompeg();
EngineObject* construct_mympegenc();
EngineObject* construct_mymediasource();
EngineObject* construct_mympglib();
EngineObject* construct_zelavilib();
EngineObject* construct_mediavideoinfo();
EngineObject* construct_mediatoavi();
EngineObject* construct_codeclist();
EngineObject* construct_mediaplaydll();

}  // namespace corvexa::core
