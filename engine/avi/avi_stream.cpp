#include "avi/avi_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "avi/avi_reader.h"
#include "avi/reader_error.h"

namespace corvexa::avi {

namespace {

constexpr int kSequentialToJoin = 15;

class AviStream final : public AviStreamApi {
 public:
  AviStream(AviReader* file, int stream) : file_(file), index_(stream) { file_->AddRef(); }

  void Destroy(std::int32_t flags) override {
    EndStreaming();
    if (file_ != nullptr) file_->Release();
    file_ = nullptr;
    if (flags & 1) delete this;
  }

  std::int32_t BeginStreaming(std::int32_t, std::int32_t, std::int32_t rate) override {
    if (rate <= 1500 && !realtime_) {
      realtime_ = true;
      file_->mark_realtime(1);
    }
    if (!streaming_) {
      streaming_ = true;
      ++record().streaming_readers;
    }
    sequential_ = 0;
    return 0;
  }

  std::int32_t EndStreaming() override {
    if (file_ == nullptr) return 0;
    if (realtime_) file_->mark_realtime(-1);
    realtime_ = false;
    leave();
    if (streaming_) --record().streaming_readers;
    streaming_ = false;
    return 0;
  }

  std::int32_t Info(void* buffer, std::int32_t size) override {
    if (buffer == nullptr || size <= 0) return 0;
    const StreamRecord& s = record();
    AviStreamInfo info{};
    info.type = s.header_u32(0);
    info.handler = s.header_u32(4);
    info.flags = s.header_u32(8);
    info.priority = static_cast<std::uint16_t>(s.header[12] | s.header[13] << 8);
    info.language = static_cast<std::uint16_t>(s.header[14] | s.header[15] << 8);
    info.initial_frames = s.header_u32(16);
    info.scale = s.header_u32(20);
    info.rate = s.header_u32(24);
    info.start = s.header_u32(28);
    info.length = s.header_u32(32);
    info.suggested_buffer_size = s.header_u32(36);
    info.quality = s.header_u32(40);
    info.sample_size = s.header_u32(44);
    const auto rect = [&](int offset) {
      return static_cast<std::int16_t>(s.header[offset] | s.header[offset + 1] << 8);
    };
    info.frame_left = rect(48);
    info.frame_top = rect(50);
    info.frame_right = rect(52);
    info.frame_bottom = rect(54);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), sizeof info);
    std::memcpy(buffer, &info, n);
    if (static_cast<std::size_t>(size) > sizeof info)
      std::memset(static_cast<char*>(buffer) + sizeof info, 0, static_cast<std::size_t>(size) - sizeof info);
    return 0;
  }

  bool IsKeyFrame(std::int32_t n) override {
    const StreamRecord& s = record();
    if (s.all_key) return true;
    if (n < 0 || n >= s.length) return false;
    if (s.sample_size != 0) return true;  // fixed-size samples are all key
    return s.index[static_cast<std::size_t>(n)].key();
  }

  std::int32_t Read(std::int32_t start, std::int32_t count, void* buffer, std::int32_t buffer_size,
                    std::int32_t* bytes, std::int32_t* samples) override {
    std::int32_t dummy_bytes = 0, dummy_samples = 0;
    if (bytes == nullptr) bytes = &dummy_bytes;
    if (samples == nullptr) samples = &dummy_samples;
    *bytes = *samples = 0;
    const StreamRecord& s = record();
    if (start < 0 || start >= s.length || (count <= 0 && count != -1)) return 0;
    return s.sample_size != 0 ? read_fixed(s, start, count, buffer, buffer_size, *bytes, *samples)
                              : read_chunk(s, start, buffer, buffer_size, *bytes, *samples);
  }

  std::int32_t Start() override { return 0; }
  std::int32_t End() override { return record().length; }

  std::int32_t PrevKeyFrame(std::int32_t n) override {
    const StreamRecord& s = record();
    if (s.all_key || s.sample_size != 0) {
      const std::int32_t p = std::min(n - 1, s.length - 1);
      return p >= 0 ? p : -1;
    }
    auto it = std::lower_bound(s.key_frames.begin(), s.key_frames.end(), n);
    return it == s.key_frames.begin() ? -1 : *(it - 1);
  }

  std::int32_t NextKeyFrame(std::int32_t n) override {
    const StreamRecord& s = record();
    if (s.all_key || s.sample_size != 0) {
      const std::int32_t next = n < 0 ? 0 : n + 1;
      return next < s.length ? next : -1;
    }
    auto it = std::upper_bound(s.key_frames.begin(), s.key_frames.end(), n);
    return it == s.key_frames.end() ? -1 : *it;
  }

  std::int32_t NearestKeyFrame(std::int32_t n) override {
    if (record().all_key || IsKeyFrame(n)) return n;
    const std::int32_t p = PrevKeyFrame(n);
    return p < 0 ? 0 : p;
  }

  std::int32_t FormatSize(std::int32_t, std::int32_t* size) override {
    if (size != nullptr) *size = static_cast<std::int32_t>(record().format.size());
    return 0;
  }

  std::int32_t ReadFormat(std::int32_t, void* buffer, std::int32_t* size) override {
    if (size == nullptr) return 0;
    const auto& format = record().format;
    const std::int32_t length = static_cast<std::int32_t>(format.size());
    if (buffer == nullptr) {
      *size = length;
      return 0;
    }
    const std::int32_t n = std::max(0, std::min(*size, length));
    std::memcpy(buffer, format.data(), static_cast<std::size_t>(n));
    if (length <= *size) *size = length;
    return 0;
  }

  bool IsStreaming() override { return streaming_; }
  bool IsKeyFrameOnly() override { return record().all_key; }

  bool GetVariableBitrateInfo(double* average, double* deviation, double* jitter) override {
    const StreamRecord& s = record();
    if (!s.variable_rate || s.chunk_rate <= 0 || s.index.empty()) return false;
    const double chunks = static_cast<double>(s.index.size());
    const double bytes_per_chunk = static_cast<double>(s.byte_total) / chunks;
    const double mean = 8.0 * bytes_per_chunk * s.chunk_rate;
    double squares = 0, worst = 0, at = 0;
    for (std::size_t i = 0; i < s.index.size(); ++i) {
      const double d = 8.0 * s.index[i].size() * s.chunk_rate - mean;
      squares += d * d;
      // Where the chunk starts against where an even spread puts it, in seconds.
      const double off = std::fabs(at - static_cast<double>(i) * bytes_per_chunk) / (bytes_per_chunk * s.chunk_rate);
      worst = std::max(worst, off);
      at += s.index[i].size();
    }
    if (average) *average = mean;
    if (deviation) *deviation = std::sqrt(squares / chunks);
    if (jitter) *jitter = worst;
    return true;
  }

 private:
  StreamRecord& record() { return *file_->streams()[static_cast<std::size_t>(index_)]; }

  void leave() {
    if (joined_) file_->leave_streaming();
    joined_ = false;
  }

  // Counts sequential reads and joins or leaves the file's read-ahead.
  void track(bool sequential, std::uint64_t next_position) {
    if (!streaming_ || file_->fast_io_disabled()) return;
    if (!sequential) {
      sequential_ = 0;
      leave();
      return;
    }
    if (++sequential_ < kSequentialToJoin || joined_) return;
    const std::uint64_t here = file_->readahead_position();
    const std::uint64_t distance = next_position > here ? next_position - here : here - next_position;
    if (!file_->IsStreaming() || distance < static_cast<std::uint64_t>(AviReader::kJoinDistance)) {
      file_->join_streaming();
      joined_ = true;
    }
  }

  // One piece of chunk data; a failed refill counts as a failed piece.
  std::int64_t read_piece(std::uint64_t position, void* buffer, std::int64_t size) {
    try {
      return file_->read_data(position, buffer, size, joined_);
    } catch (const ReaderError&) {
      return -1;
    }
  }

  std::int32_t read_fixed(const StreamRecord& s, std::int32_t start, std::int32_t count, void* buffer,
                          std::int32_t buffer_size, std::int32_t& bytes, std::int32_t& samples) {
    const std::uint64_t ss = s.sample_size;
    const std::uint64_t offset = static_cast<std::uint64_t>(start) * ss;
    // The entry holding the offset: the last one starting at or before it.
    const auto& starts = s.byte_start;
    std::size_t entry = static_cast<std::size_t>(
        std::upper_bound(starts.begin(), starts.end() - 1, offset) - starts.begin() - 1);
    while (entry + 1 < s.index.size() && s.index[entry].size() == 0 && starts[entry + 1] <= offset) ++entry;
    std::int64_t wanted = count;
    if (count == -1) {
      std::uint64_t left = (starts[entry + 1] - offset) / ss;
      if (left == 0 && entry + 2 < starts.size()) left = (starts[entry + 2] - offset) / ss;
      wanted = std::max<std::uint64_t>(left, 1);
    }
    if (buffer != nullptr && buffer_size < static_cast<std::int64_t>(ss)) {
      wanted = std::min<std::int64_t>(wanted, s.length - start);
      bytes = static_cast<std::int32_t>(std::min<std::int64_t>(wanted * static_cast<std::int64_t>(ss), INT32_MAX));
      samples = static_cast<std::int32_t>(wanted);
      return kAviErrBufferTooSmall;
    }
    if (buffer != nullptr) wanted = std::min<std::int64_t>(wanted, buffer_size / static_cast<std::int64_t>(ss));
    wanted = std::min<std::int64_t>(wanted, s.length - start);
    if (buffer == nullptr) {
      bytes = static_cast<std::int32_t>(std::min<std::int64_t>(wanted * static_cast<std::int64_t>(ss), INT32_MAX));
      samples = static_cast<std::int32_t>(wanted);
      return 0;
    }
    track(start == expected_start_,
          s.index[entry].position + 8 + (offset - starts[entry]));
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::int64_t want = wanted * static_cast<std::int64_t>(ss);
    std::int64_t done = 0;
    std::uint64_t within = offset - starts[entry];
    for (std::size_t e = entry; done < want && e < s.index.size(); ++e, within = 0) {
      const std::int64_t piece = std::min<std::int64_t>(want - done, s.index[e].size() - static_cast<std::int64_t>(within));
      if (piece <= 0) continue;
      const std::int64_t got = read_piece(s.index[e].position + 8 + within, out + done, piece);
      if (got > 0) done += got;
      if (got != piece) break;
    }
    if (done < static_cast<std::int64_t>(ss)) {
      expected_start_ = -1;
      return kAviErrFileRead;
    }
    samples = static_cast<std::int32_t>(done / static_cast<std::int64_t>(ss));
    bytes = static_cast<std::int32_t>(samples * static_cast<std::int64_t>(ss));
    expected_start_ = static_cast<std::int64_t>(start) + samples;
    return 0;
  }

  std::int32_t read_chunk(const StreamRecord& s, std::int32_t start, void* buffer, std::int32_t buffer_size,
                          std::int32_t& bytes, std::int32_t& samples) {
    const IndexEntry& e = s.index[static_cast<std::size_t>(start)];
    const std::int32_t size = static_cast<std::int32_t>(e.size());
    if (buffer != nullptr && buffer_size < size) {
      bytes = size;
      samples = 1;
      return kAviErrBufferTooSmall;
    }
    if (buffer != nullptr) {
      const std::int64_t delta = static_cast<std::int64_t>(start) - last_start_;
      track(delta == last_delta_, e.position + 8);
      last_delta_ = delta;
      last_start_ = start;
      if (read_piece(e.position + 8, buffer, size) != size) return kAviErrFileRead;
    }
    bytes = size;
    samples = 1;
    return 0;
  }

  AviReader* file_;
  int index_;
  bool streaming_ = false;
  bool realtime_ = false;
  bool joined_ = false;
  int sequential_ = 0;
  std::int64_t expected_start_ = -1;
  std::int64_t last_start_ = -1;
  std::int64_t last_delta_ = 0;
};

}  // namespace

AviStreamApi* make_stream_object(AviReader* file, int stream) {
  return new (std::nothrow) AviStream(file, stream);
}

}  // namespace corvexa::avi
