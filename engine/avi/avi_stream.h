// Stream objects: sample reads, key frames, formats and streaming of one
// stream of an AviReader.
#pragma once

#include "corvexa/zelavilib.h"

namespace corvexa::avi {

class AviReader;

// A new stream object holding a reference on `file`; null without memory.
AviStreamApi* make_stream_object(AviReader* file, int stream);

}  // namespace corvexa::avi
