// Buffered writer and reader of unit records.
#pragma once

#include <cstdint>
#include <vector>

#include "mpeg/mux/mux_files.h"
#include "mpeg/mux/stream_info.h"

namespace corvexa::mpeg::mux {

class RecordWriter {
 public:
  RecordWriter(File& file, bool with_extension) : file_(file), with_extension_(with_extension) {}
  bool write_video(const VideoUnit& unit);
  bool write_audio(const AudioUnit& unit);
  bool flush();

 private:
  bool put(const std::uint8_t* bytes, std::size_t size);
  File& file_;
  bool with_extension_;
  std::vector<std::uint8_t> buffer_;
};

// Reads records one after the other from the start of a units file.
class RecordReader {
 public:
  RecordReader(File& file, std::size_t record_size) : file_(file), record_size_(record_size) {}
  // False at the end or on a read error (failed() tells which).
  bool next(std::uint8_t* record);
  bool failed() const { return failed_; }

 private:
  File& file_;
  std::size_t record_size_;
  std::vector<std::uint8_t> buffer_;
  std::size_t pos_ = 0;
  std::int64_t offset_ = 0;
  bool failed_ = false;
  bool eof_ = false;
};

}  // namespace corvexa::mpeg::mux
