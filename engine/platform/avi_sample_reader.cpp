#include "platform/avi_sample_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/ffmpeg_handles.h"

namespace corvexa::platform {

std::unique_ptr<AviSampleReader> AviSampleReader::open(std::shared_ptr<AviStream> stream,
                                                       std::int64_t sample_size) {
  if (!stream) return nullptr;
  FormatHandle format = open_media(stream->file()->path().c_str(), "avi");
  if (!format || stream->ordinal() >= static_cast<int>(format->nb_streams)) return nullptr;
  AVStream* st = format->streams[stream->ordinal()];
  std::unique_ptr<AviSampleReader> reader(new AviSampleReader());
  const int entries = avformat_index_get_entries_count(st);
  std::int64_t offset = 0;
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(st, i);
    if (e == nullptr || e->size <= 0 || e->pos < 0) continue;
    // Index positions name the chunk header; the data follows its 8 bytes.
    reader->chunks_.push_back({e->pos + 8, e->size, offset});
    offset += e->size;
  }
  reader->total_bytes_ = offset;
  reader->sample_size_ = sample_size > 0 ? sample_size : stream->info().sample_size;
  reader->fd_ = ::open(stream->file()->path().c_str(), O_RDONLY | O_CLOEXEC);
  if (reader->fd_ < 0) return nullptr;
  return reader;
}

AviSampleReader::~AviSampleReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool AviSampleReader::read_chunk_part(const Chunk& c, std::int64_t from, std::uint8_t* out,
                                      std::int64_t n) {
  std::int64_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, out + done, static_cast<std::size_t>(n - done),
                          static_cast<off_t>(c.data_pos + from + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += got;
  }
  return true;
}

std::size_t AviSampleReader::chunk_at(std::int64_t offset) const {
  auto it = std::upper_bound(chunks_.begin(), chunks_.end(), offset,
                             [](std::int64_t v, const Chunk& c) { return v < c.offset; });
  return static_cast<std::size_t>(it - chunks_.begin()) - 1;
}

std::int64_t AviSampleReader::read_bytes(std::int64_t offset, std::uint8_t* buffer,
                                         std::int64_t size) {
  if (offset < 0 || size < 0) return -1;
  if (offset >= total_bytes_ || size == 0) return 0;
  std::int64_t done = 0;
  std::size_t i = chunk_at(offset);
  while (done < size && i < chunks_.size()) {
    const Chunk& c = chunks_[i];
    std::int64_t from = offset + done - c.offset;
    std::int64_t n = std::min(c.size - from, size - done);
    if (!read_chunk_part(c, from, buffer + done, n)) return -1;
    done += n;
    ++i;
  }
  return done;
}

bool AviSampleReader::read(std::int64_t start, std::int32_t count, std::uint8_t* buffer,
                           std::int32_t size, std::int32_t* bytes, std::int32_t* samples) {
  if (bytes) *bytes = 0;
  if (samples) *samples = 0;
  if (start < 0 || count <= 0 || buffer == nullptr || size <= 0) return false;
  if (sample_size_ > 0) {
    const std::int64_t total = total_bytes_ / sample_size_;
    if (start >= total) return false;
    std::int64_t n = std::min<std::int64_t>({count, total - start, size / sample_size_});
    if (n <= 0) return false;
    std::int64_t got = read_bytes(start * sample_size_, buffer, n * sample_size_);
    if (got != n * sample_size_) return false;
    if (bytes) *bytes = static_cast<std::int32_t>(got);
    if (samples) *samples = static_cast<std::int32_t>(n);
    return true;
  }
  // One chunk per sample: whole chunks while they fit.
  if (start >= static_cast<std::int64_t>(chunks_.size())) return false;
  std::int64_t used = 0, taken = 0;
  for (std::int64_t i = start; i < static_cast<std::int64_t>(chunks_.size()) && taken < count; ++i) {
    const Chunk& c = chunks_[static_cast<std::size_t>(i)];
    if (used + c.size > size) break;
    if (!read_chunk_part(c, 0, buffer + used, c.size)) return false;
    used += c.size;
    ++taken;
  }
  if (taken == 0) return false;
  if (bytes) *bytes = static_cast<std::int32_t>(used);
  if (samples) *samples = static_cast<std::int32_t>(taken);
  return true;
}

}  // namespace corvexa::platform
