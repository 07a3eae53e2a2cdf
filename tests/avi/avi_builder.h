// A small RIFF/AVI writer for the reader's fixtures: AVI 1.0 with absolute or
// relative idx1, OpenDML super-index + standard indexes, no index, segm hints
// and chunks placed far out (sparse) to reach past 4 GiB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace avi_test {

using Bytes = std::vector<std::uint8_t>;

struct StreamLayout {
  std::string type = "vids";          // "vids", "auds", "iavs"...
  std::string compression = "XVID";   // video: biCompression
  std::uint32_t rate = 25, scale = 1;
  std::uint16_t format_tag = 1;       // audio
  std::uint16_t block_align = 4;      // audio
  Bytes format;                       // replaces the generated strf when not empty
  std::vector<Bytes> chunks;
  std::vector<bool> keys;             // per chunk; missing means key
};

enum class Index { Idx1Absolute, Idx1Relative, OpenDml, None };

struct AviLayout {
  std::vector<StreamLayout> streams;
  Index index = Index::Idx1Absolute;
  std::string segm;                   // written as a "segm" chunk when not empty
  // OpenDML only: the last chunk of stream 0 is put at this absolute offset.
  std::uint64_t far_offset = 0;
};

struct BuiltAvi {
  Bytes bytes;
  std::vector<std::vector<std::uint64_t>> positions;  // chunk header positions per stream
  std::uint64_t movi_start = 0;                       // just after the "movi" type
  Bytes far_chunk;                                    // header + data written at far_offset
  std::uint64_t far_offset = 0;
};

BuiltAvi build_avi(const AviLayout& layout);
void write_file(const std::string& path, const BuiltAvi& avi);
void write_bytes(const std::string& path, const Bytes& bytes);

// Deterministic chunk contents.
Bytes pattern(std::size_t size, std::uint32_t seed);
// A video + audio layout with `frames` video chunks and PCM audio chunks.
AviLayout two_stream_layout(int frames, int audio_chunk_bytes = 1764, std::uint32_t seed = 1);

// Writes the fuzzer's seed corpus into `folder`; returns the number of files.
int write_seed_corpus(const std::string& folder);

}  // namespace avi_test
