// The friendly names of the AVI compressors, as CODECLIST and the
// media-to-AVI job list them: each enumeration appends, never clears.
#pragma once

#include <string>
#include <vector>

namespace corvexa::media {

enum class CompressorKind { kAudio, kVideo };

class CompressorNames {
 public:
  // Appends the names of every compressor of `kind`; false when there are none.
  bool enumerate(CompressorKind kind);
  int count() const { return static_cast<int>(names_.size()); }
  // Null outside the list.
  const std::string* at(int index) const;
  // A malloc'd UTF-16 copy for the caller to free; false outside the list,
  // leaving `out` untouched.
  bool copy_out(int index, char16_t** out) const;
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

// The first four bytes of `name` are "DIVX" in any case.
bool names_divx(const std::string& name);

}  // namespace corvexa::media
