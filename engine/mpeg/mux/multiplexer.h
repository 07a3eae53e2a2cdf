// The program stream multiplexer: scans the elementary streams, interleaves
// them pack by pack following the target's rules and finishes the file(s).
#pragma once

#include <string>

namespace corvexa::mpeg {
struct EncoderContext;
}

namespace corvexa::mpeg::mux {

// The whole stage over ctx.work, ctx.video_file / audio_file / audio2_file
// into ctx.output_name. The program files are written under temporary names
// and renamed when the stage succeeds (left in ctx.pending_outputs instead
// with ctx.hold_outputs); a failed stage removes them.
bool multiplex(EncoderContext& ctx, bool video_selected, bool audio_selected);

// Name of split file number `index` (0-based) for `output`: an existing "00"
// in the file name is replaced, else "00" goes before the extension.
std::string split_file_name(const std::string& output, int index);

}  // namespace corvexa::mpeg::mux
