#include "media/compressor_names.h"

#include <cctype>
#include <cstdlib>

#include "platform/compressor_catalog.h"

namespace corvexa::media {

bool CompressorNames::enumerate(CompressorKind kind) {
  const auto found = kind == CompressorKind::kAudio ? platform::avi_audio_compressors()
                                                    : platform::avi_video_compressors();
  if (found.empty()) return false;
  for (const auto& entry : found) names_.push_back(entry.friendly);
  return true;
}

const std::string* CompressorNames::at(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return &names_[static_cast<std::size_t>(index)];
}

bool CompressorNames::copy_out(int index, char16_t** out) const {
  const std::string* name = at(index);
  if (name == nullptr || out == nullptr) return false;
  auto* copy = static_cast<char16_t*>(std::malloc((name->size() + 1) * sizeof(char16_t)));
  if (copy == nullptr) return false;
  // The names are ASCII: each byte is one UTF-16 unit.
  for (std::size_t i = 0; i < name->size(); ++i)
    copy[i] = static_cast<char16_t>(static_cast<unsigned char>((*name)[i]));
  copy[name->size()] = u'\0';
  *out = copy;
  return true;
}

bool names_divx(const std::string& name) {
  static const char kDivx[] = "DIVX";
  if (name.size() < 4) return false;
  for (int i = 0; i < 4; ++i)
    if (std::toupper(static_cast<unsigned char>(name[static_cast<std::size_t>(i)])) != kDivx[i])
      return false;
  return true;
}

}  // namespace corvexa::media
