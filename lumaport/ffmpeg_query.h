// The two questions this library asks FFmpeg itself; the conversion goes
// through the engine.
#pragma once

#include <string>

namespace lumaport {

// True when FFmpeg has the QuickTime/MP4 demuxer, the decoders of the usual
// movie streams (H.264, MPEG-4, AAC) and the MPEG-4 encoder the AVI gets.
bool movie_support_present();

// True when the file holds a video stream FFmpeg can decode. A Flash file
// drawn with vector shapes only has none.
bool has_decodable_video(const std::string& path);

}  // namespace lumaport
