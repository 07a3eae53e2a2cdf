// What kavrol-cli checks before it starts a conversion, so that a run that
// cannot succeed is refused with a message naming the file or folder, before
// anything is opened or written.
#pragma once

#include <string>

namespace kavrol {

// Longest path the engine takes: PATH_MAX less its terminator.
inline constexpr std::size_t kLongestPath = 4095;

// Why the conversion of `input` into `output` cannot start; empty when it can.
std::string refuse_paths(const std::string& input, const std::string& output);

// Folder part of a path ("." when none).
std::string folder_of(const std::string& path);

}  // namespace kavrol
