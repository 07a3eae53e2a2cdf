// SuperVCD scan offsets: fills the four sector addresses of every scan-offset
// user-data block of a finished program file.
#pragma once

#include <cstdint>
#include <string>

#include "mpeg/mux/mux_files.h"
#include "mpeg/mux/stream_info.h"

namespace corvexa::mpeg::mux {

// Three-byte sector address (minutes, seconds and sectors in BCD).
void sector_address(std::uint32_t sector, std::uint8_t out[3]);
// I pictures between an I picture and the one "about seven seconds" away.
int jump_distance(const VideoInfo& info);

// `sectors` holds one 32-bit little-endian sector number per I picture.
// `program` is the open program file.
bool write_scan_offsets(EncoderContext& ctx, const VideoInfo& info, File& program,
                        const std::string& program_name, TempFile& sectors);

}  // namespace corvexa::mpeg::mux
