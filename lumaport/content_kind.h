// Recognises the files the library converts by their first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumaport {

enum class ContentKind { kUnknown, kIsoMedia, kFlash };

// `head` is the start of the file (at least 8 bytes for ISO media).
ContentKind content_kind(const std::uint8_t* head, std::size_t size);

// Reads the start of the file at `path`; kUnknown when it cannot be read.
ContentKind file_content_kind(const char* path);

}  // namespace lumaport
