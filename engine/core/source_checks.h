// Checks the conversion job makes on its files before it reads or writes
// anything, and what it tells the user about a source it cannot take whole.
#pragma once

#include <cstdint>
#include <string>

namespace corvexa::core {

// Why `path` cannot be a source: empty when it is a regular file or a block
// device. A FIFO, a socket or a folder is refused before it is opened, so that
// nothing blocks on it.
std::string input_refusal(const std::string& path);

// Why `output` cannot be written for `input`: empty when it is fine. It must
// not be the input itself (by any path or link), nor anything but a regular
// file when it exists already.
std::string output_refusal(const std::string& input, const std::string& output);

// How many frames of the first video stream the file's index holds (present
// chunks, empty ones included); -1 when the engine's reader cannot tell.
std::int64_t indexed_video_frames(const std::string& path);

// Why the first audio stream of `path` cannot be used, for the user.
std::string sound_drop_reason(const std::string& path);

}  // namespace corvexa::core
