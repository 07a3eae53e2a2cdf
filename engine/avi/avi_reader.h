// AviReader: an opened AVI file. Parses the RIFF structure, the stream lists
// and the sample index (idx1, OpenDML, or rebuilt by scanning), and serves
// reads of chunk data through an optional read-ahead buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avi/file64.h"
#include "corvexa/zelavilib.h"

namespace corvexa::avi {

// One indexed chunk. `position` is the chunk's 8-byte header; appended
// segments live at segment number x 2^48.
struct IndexEntry {
  std::uint64_t position;
  std::uint32_t id;
  std::uint32_t size_and_flag;  // bit 31 set: not a key frame

  std::uint32_t size() const { return size_and_flag & 0x7FFFFFFFu; }
  bool key() const { return (size_and_flag & 0x80000000u) == 0; }
};
static_assert(sizeof(IndexEntry) == 16);

// Entries gathered in blocks of 2048 while parsing, then one array.
class IndexStore {
 public:
  static constexpr std::size_t kBlock = 2048;
  // False when a block cannot be allocated.
  bool append(const IndexEntry& entry) noexcept;
  std::size_t size() const { return count_; }
  void clear() noexcept;
  // The entries as one array; ReaderMemoryError when that cannot be had.
  std::vector<IndexEntry> take();

 private:
  std::vector<std::unique_ptr<IndexEntry[]>> blocks_;
  std::size_t count_ = 0;
};

struct StreamRecord {
  std::uint8_t header[56] = {};
  std::vector<std::uint8_t> format;
  bool all_key = false;
  bool had_odml_index = false;
  bool odml_faulty = false;
  IndexStore gathering;
  std::vector<IndexEntry> index;
  std::vector<std::uint64_t> byte_start;  // fixed-size streams: bytes before each entry, plus the total
  std::vector<std::int32_t> key_frames;   // chunk-per-sample streams that are not all_key
  std::uint64_t byte_total = 0;
  std::uint32_t sample_size = 0;
  std::int32_t entry_count = 0;
  std::int32_t length = 0;
  bool variable_rate = false;
  double chunk_rate = 0;  // chunks per second of a variable-rate stream
  int streaming_readers = 0;

  std::uint32_t type() const;
  std::uint32_t header_u32(int offset) const;
  void set_header_u32(int offset, std::uint32_t value);
  std::uint16_t format_tag() const;
  // Entries and totals are final: derive lengths and lookup tables.
  void derive();
};

struct Segment {
  File64 buffered;
  File64 unbuffered;
  std::int64_t size = 0;
};

class AviReader final : public AviFileApi {
 public:
  static constexpr std::int64_t kReadAhead = 1 << 20;
  static constexpr std::int64_t kRealtimeRefill = 64 << 10;
  static constexpr std::int64_t kJoinDistance = 4 << 20;

  // Opens and parses a file (reference count 1); raises the ReaderError family.
  static AviReader* open(const std::string& path);

  // AviFileApi.
  void AddRef() override { ++references_; }
  void Release() override;
  AviStreamApi* GetStream(std::uint32_t type, std::int32_t index) override;
  void EnableFastIO(bool on) override { fast_io_disabled_ = !on; }
  bool IsOptimizedForRealtime() override { return realtime_count_ > 0; }
  bool IsStreaming() override { return streaming_count_ > 0; }
  bool IsIndexFabricated() override { return index_rebuilt_; }
  bool AppendFile(const char* path) override;
  bool GetSegmentHint(char* text, std::int32_t size) override;

  // The raising form of AppendFile.
  void append_segment(const std::string& path);
  // Text of the last error that an interface operation swallowed.
  const std::string& last_error() const { return last_error_; }

  bool damaged() const { return damaged_; }
  bool index_rebuilt() const { return index_rebuilt_; }
  int segment_count() const { return static_cast<int>(segments_.size()); }
  const std::vector<std::unique_ptr<StreamRecord>>& streams() const { return streams_; }
  const std::vector<std::uint8_t>& segment_hint() const { return segment_hint_; }

  // Chunk data at a (segment-addressed) position: bytes read, or -1.
  // Through the read-ahead when `streaming` and the file streams; a failed
  // refill raises ReaderSystemError.
  std::int64_t read_data(std::uint64_t position, void* buffer, std::int64_t size, bool streaming);

  // Read-ahead bookkeeping for the stream objects.
  bool fast_io_disabled() const { return fast_io_disabled_; }
  void mark_realtime(int delta) { realtime_count_ += delta; }
  void join_streaming();
  void leave_streaming();
  std::uint64_t readahead_position() const;

 private:
  AviReader() = default;
  ~AviReader();
  static std::unique_ptr<AviReader, void (*)(AviReader*)> parse_file(const std::string& path);

  void parse();
  bool parse_stream_list(std::int64_t position, std::int64_t size);
  void parse_odml_index(StreamRecord& stream, std::uint64_t position, std::uint64_t size, bool allow_super);
  bool parse_idx1(std::int64_t position, std::uint32_t size);
  void rebuild_index(bool any_odml);
  void append_entry(StreamRecord& stream, std::uint64_t position, std::uint32_t id, std::uint32_t size, bool key);
  void clear_indexes();
  int stream_of(std::uint32_t id) const;

  // Cached reads through the buffered handle of the first segment, for parsing.
  std::int64_t parse_read(std::int64_t position, void* buffer, std::int64_t size);
  void parse_read_exact(std::int64_t position, void* buffer, std::int64_t size);

  int references_ = 1;
  std::vector<Segment> segments_;
  std::vector<std::unique_ptr<StreamRecord>> streams_;
  std::vector<std::uint8_t> segment_hint_;
  bool damaged_ = false;
  bool index_rebuilt_ = false;
  bool fast_io_disabled_ = false;
  int realtime_count_ = 0;
  int streaming_count_ = 0;
  std::string last_error_;

  // Parsing state.
  std::int64_t file_size_ = 0;
  std::uint64_t movi_start_ = 0;
  std::uint64_t movi_size_ = 0;
  std::uint64_t total_entries_ = 0;
  std::vector<std::uint8_t> parse_cache_;
  std::int64_t parse_cache_position_ = -1;

  // Read-ahead.
  struct FreeAligned {
    void operator()(std::uint8_t* p) const;
  };
  std::unique_ptr<std::uint8_t, FreeAligned> readahead_;
  std::size_t readahead_segment_ = 0;
  std::int64_t readahead_position_ = 0;
  std::int64_t readahead_length_ = 0;
};

}  // namespace corvexa::avi
