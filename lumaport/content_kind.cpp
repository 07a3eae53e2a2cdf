#include "content_kind.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace lumaport {

ContentKind content_kind(const std::uint8_t* head, std::size_t size) {
  if (size >= 3) {
    // Flash: uncompressed, zlib- or LZMA-compressed.
    for (const char* signature : {"FWS", "CWS", "ZWS"}) {
      if (std::memcmp(head, signature, 3) == 0) return ContentKind::kFlash;
    }
  }
  if (size >= 8) {
    // ISO media and QuickTime: a file starts with a box whose type follows its
    // 32-bit size. These are the box types a movie file begins with.
    for (const char* type : {"ftyp", "moov", "mdat", "wide"}) {
      if (std::memcmp(head + 4, type, 4) == 0) return ContentKind::kIsoMedia;
    }
  }
  return ContentKind::kUnknown;
}

ContentKind file_content_kind(const char* path) {
  if (path == nullptr || *path == '\0') return ContentKind::kUnknown;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return ContentKind::kUnknown;
  std::uint8_t head[8];
  std::size_t got = std::fread(head, 1, sizeof head, file);
  std::fclose(file);
  return content_kind(head, got);
}

}  // namespace lumaport
