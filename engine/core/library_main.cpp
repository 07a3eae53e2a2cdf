// The export table of libCorvexaDll.so: a heap and a singleton factory for
// each object kind, and nothing else.
#include "core/factory.h"
#include "core/kinds.h"

using corvexa::EngineObject;
using corvexa::core::make_heap_object;
using corvexa::core::singleton_object;

#define CORVEXA_EXPORT extern "C" __attribute__((visibility("default")))

#define CORVEXA_FACTORIES(KIND, construct)                                          \
  CORVEXA_EXPORT EngineObject* _NEW_##KIND() { return make_heap_object(construct); } \
  CORVEXA_EXPORT EngineObject* _NEW_00_##KIND() { return singleton_object<construct>(); }

CORVEXA_FACTORIES(CORVEXADLL, corvexa::core::construct_corvexadll)
CORVEXA_FACTORIES(AVITOMPEG, corvexa::core::construct_avitompeg)
CORVEXA_FACTORIES(MYMPEGENC, corvexa::core::construct_mympegenc)
CORVEXA_FACTORIES(MYMEDIASOURCE, corvexa::core::construct_mymediasource)
CORVEXA_FACTORIES(MYMPGLIB, corvexa::core::construct_mympglib)
CORVEXA_FACTORIES(ZELAVILIB, corvexa::core::construct_zelavilib)
CORVEXA_FACTORIES(MEDIAVIDEOINFO, corvexa::core::construct_mediavideoinfo)
CORVEXA_FACTORIES(MEDIATOAVI, corvexa::core::construct_mediatoavi)
CORVEXA_FACTORIES(CODECLIST, corvexa::core::construct_codeclist)
CORVEXA_FACTORIES(MEDIAPLAYDLL, corvexa::core::construct_mediaplaydll)
