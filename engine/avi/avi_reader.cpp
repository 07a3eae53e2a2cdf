#include "avi/avi_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "avi/avi_stream.h"
#include "avi/reader_error.h"

namespace corvexa::avi {

namespace {

constexpr std::uint32_t kRiff = fourcc("RIFF");
constexpr std::uint32_t kList = fourcc("LIST");
constexpr std::uint32_t kAvi = fourcc("AVI ");
constexpr std::uint32_t kAvix = fourcc("AVIX");
constexpr std::uint32_t kHdrl = fourcc("hdrl");
constexpr std::uint32_t kRec = fourcc("rec ");
constexpr std::uint32_t kStrl = fourcc("strl");
constexpr std::uint32_t kMovi = fourcc("movi");
constexpr std::uint32_t kIdx1 = fourcc("idx1");
constexpr std::uint32_t kSegm = fourcc("segm");
constexpr std::uint32_t kStrh = fourcc("strh");
constexpr std::uint32_t kStrf = fourcc("strf");
constexpr std::uint32_t kIndx = fourcc("indx");
constexpr std::uint32_t kVids = fourcc("vids");
constexpr std::uint32_t kAuds = fourcc("auds");
constexpr std::uint32_t kIavs = fourcc("iavs");
constexpr std::uint64_t kSegmentShift = 48;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kSegmentShift) - 1;
constexpr std::int64_t kParseCache = 64 << 10;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint64_t le64(const std::uint8_t* p) {
  return le32(p) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
}

bool printable(std::uint32_t id) {
  for (int i = 0; i < 4; ++i) {
    const unsigned c = (id >> (8 * i)) & 0xFF;
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

int hex_digit(unsigned c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// Compressions whose every chunk is a key frame.
bool is_intra_only(std::uint32_t compression) {
  static constexpr std::uint32_t kCodes[] = {
      fourcc("DIB "), fourcc("RAW "), fourcc("I420"), fourcc("bt20"), fourcc("dmb1"),
      fourcc("YV12"), fourcc("YUY2"), fourcc("MJPG"), fourcc("Y41P"), fourcc("HFYU"),
      fourcc("YVYU"), fourcc("VYUY"), fourcc("UYVY"), fourcc("mjpg"), fourcc("cyuv")};
  if (compression == 0) return true;
  return std::find(std::begin(kCodes), std::end(kCodes), compression) != std::end(kCodes);
}

std::int32_t clamp_int32(std::uint64_t value) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(value, INT32_MAX));
}

}  // namespace

// ---------------------------------------------------------------- index store

bool IndexStore::append(const IndexEntry& entry) noexcept {
  if (count_ == blocks_.size() * kBlock) {
    IndexEntry* block = new (std::nothrow) IndexEntry[kBlock];
    if (block == nullptr) return false;
    try {
      blocks_.emplace_back(block);
    } catch (...) {
      delete[] block;
      return false;
    }
  }
  blocks_[count_ / kBlock][count_ % kBlock] = entry;
  ++count_;
  return true;
}

void IndexStore::clear() noexcept {
  blocks_.clear();
  count_ = 0;
}

std::vector<IndexEntry> IndexStore::take() {
  std::vector<IndexEntry> all;
  try {
    all.resize(count_);
  } catch (const std::bad_alloc&) {
    throw ReaderMemoryError();
  }
  for (std::size_t i = 0; i < count_; ++i) all[i] = blocks_[i / kBlock][i % kBlock];
  clear();
  return all;
}

// ---------------------------------------------------------------- stream record

std::uint32_t StreamRecord::type() const { return header_u32(0); }
std::uint32_t StreamRecord::header_u32(int offset) const { return le32(header + offset); }
void StreamRecord::set_header_u32(int offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) header[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint16_t StreamRecord::format_tag() const {
  return format.size() >= 2 ? le16(format.data()) : 0;
}

void StreamRecord::derive() {
  entry_count = clamp_int32(index.size());
  length = sample_size != 0 ? clamp_int32(byte_total / sample_size) : entry_count;
  byte_start.clear();
  key_frames.clear();
  if (sample_size != 0) {
    byte_start.resize(index.size() + 1);
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < index.size(); ++i) {
      byte_start[i] = at;
      at += index[i].size();
    }
    byte_start[index.size()] = at;
  } else if (!all_key) {
    for (std::int32_t i = 0; i < entry_count; ++i)
      if (index[static_cast<std::size_t>(i)].key()) key_frames.push_back(i);
  }
}

// ---------------------------------------------------------------- file object

void AviReader::FreeAligned::operator()(std::uint8_t* p) const { std::free(p); }

AviReader::~AviReader() = default;

void AviReader::Release() {
  if (--references_ <= 0) delete this;
}

std::unique_ptr<AviReader, void (*)(AviReader*)> AviReader::parse_file(const std::string& path) {
  std::unique_ptr<AviReader, void (*)(AviReader*)> reader(new AviReader, [](AviReader* r) { delete r; });
  Segment first;
  if (!first.buffered.open(path, false))
    throw ReaderSystemError(errno, "Couldn't open %s: %%s", path.c_str());
  if (!first.unbuffered.open(path, true))
    throw ReaderSystemError(errno, "Couldn't open %s: %%s", path.c_str());
  first.size = first.buffered.size();
  reader->segments_.push_back(std::move(first));
  reader->file_size_ = reader->segments_[0].size;
  reader->parse();
  reader->parse_cache_.clear();
  reader->parse_cache_.shrink_to_fit();
  return reader;
}

AviReader* AviReader::open(const std::string& path) {
  try {
    return parse_file(path).release();
  } catch (const std::bad_alloc&) {
    throw ReaderMemoryError();
  }
}

std::int64_t AviReader::parse_read(std::int64_t position, void* buffer, std::int64_t size) {
  if (position < 0 || size < 0) return -1;
  auto* out = static_cast<std::uint8_t*>(buffer);
  if (size > kParseCache) return segments_[0].buffered.read_at(position, out, size);
  std::int64_t done = 0;
  while (done < size) {
    const std::int64_t at = position + done;
    const std::int64_t cached = static_cast<std::int64_t>(parse_cache_.size());
    if (parse_cache_position_ >= 0 && at >= parse_cache_position_ && at < parse_cache_position_ + cached) {
      const std::int64_t n = std::min(size - done, parse_cache_position_ + cached - at);
      std::memcpy(out + done, parse_cache_.data() + (at - parse_cache_position_), static_cast<std::size_t>(n));
      done += n;
      continue;
    }
    parse_cache_.resize(kParseCache);
    const std::int64_t got = segments_[0].buffered.read_at(at, parse_cache_.data(), kParseCache);
    if (got < 0) {
      parse_cache_position_ = -1;
      parse_cache_.clear();
      return done > 0 ? done : -1;
    }
    parse_cache_.resize(static_cast<std::size_t>(got));
    parse_cache_position_ = at;
    if (got == 0) break;
  }
  return done;
}

void AviReader::parse_read_exact(std::int64_t position, void* buffer, std::int64_t size) {
  const std::int64_t got = parse_read(position, buffer, size);
  if (got < 0) throw ReaderSystemError(errno, "Failure reading file: %%s.");
  if (got < size) throw ReaderError("Failure reading file: Unexpected end of file");
}

int AviReader::stream_of(std::uint32_t id) const {
  const int high = hex_digit(id & 0xFF);
  const int low = hex_digit((id >> 8) & 0xFF);
  if (high < 0 || low < 0) return -1;
  const int n = high * 16 + low;
  return n < static_cast<int>(streams_.size()) ? n : -1;
}

void AviReader::append_entry(StreamRecord& stream, std::uint64_t position, std::uint32_t id,
                             std::uint32_t size, bool key) {
  // Every chunk takes at least its 8-byte header, so no honest index of this
  // file can list more entries than that.
  if (total_entries_ >= static_cast<std::uint64_t>(file_size_) / 8 + 1)
    throw ReaderError("Invalid AVI file: the index lists more chunks than the file can hold");
  const IndexEntry entry{position, id, (size & 0x7FFFFFFFu) | (key ? 0u : 0x80000000u)};
  if (!stream.gathering.append(entry)) throw ReaderMemoryError();
  ++total_entries_;
  stream.byte_total += entry.size();
}

void AviReader::clear_indexes() {
  for (auto& s : streams_) {
    s->gathering.clear();
    s->byte_total = 0;
  }
  total_entries_ = 0;
}

void AviReader::parse() {
  std::uint8_t head[12];
  const std::int64_t got = parse_read(0, head, 12);
  if (got < 8) throw ReaderError("Invalid AVI file: File is less than 8 bytes");
  if (le32(head) != kRiff) throw ReaderError("Invalid AVI file: Not a RIFF file");
  if (got < 12) throw ReaderError("Failure reading file: Unexpected end of file");
  if (le32(head + 8) != kAvi) throw ReaderError("Invalid AVI file: RIFF type is not 'AVI'");

  std::int64_t pos = 12;
  bool have_movi = false;
  bool idx1_read = false;
  bool rebuild_now = false;
  std::size_t odml_streams = 0;
  const auto skip_to = [&](std::uint64_t target) {
    if (target > static_cast<std::uint64_t>(file_size_)) return false;
    pos = static_cast<std::int64_t>(target);
    return true;
  };
  for (;;) {
    std::uint8_t h[8];
    if (parse_read(pos, h, 8) != 8) break;
    const std::uint32_t id = le32(h);
    const std::uint32_t size = le32(h + 4);
    if (!printable(id)) {
      damaged_ = true;
      break;
    }
    pos += 8;
    const std::uint64_t padded = static_cast<std::uint64_t>(size) + (size & 1);
    if (id == kIdx1) {
      if (odml_streams == 0) idx1_read = parse_idx1(pos, size);
      break;
    }
    if (id == kList) {
      std::uint8_t t[4];
      parse_read_exact(pos, t, 4);
      const std::uint32_t type = le32(t);
      if (size < 4 && type != kHdrl) throw ReaderError("Invalid AVI file: LIST chunk <4 bytes");
      pos += 4;
      const std::uint64_t body = size >= 4 ? padded - 4 : 0;
      if (type == kHdrl || type == kRec) continue;
      if (type == kStrl) {
        if (parse_stream_list(pos, static_cast<std::int64_t>(size >= 4 ? size - 4 : 0))) ++odml_streams;
        if (!skip_to(static_cast<std::uint64_t>(pos) + body)) break;
        continue;
      }
      if (type == kMovi) {
        movi_start_ = static_cast<std::uint64_t>(pos);
        movi_size_ = size >= 4 ? size - 4 : 0;
        have_movi = true;
        if (size == 0) {
          rebuild_now = true;
          break;
        }
        if (!streams_.empty() && odml_streams == streams_.size()) break;
      }
      if (!skip_to(static_cast<std::uint64_t>(pos) + body)) break;
      continue;
    }
    if (id == kSegm) {
      if (static_cast<std::uint64_t>(size) > static_cast<std::uint64_t>(file_size_ - pos))
        throw ReaderError("Failure reading file: Unexpected end of file");
      std::vector<std::uint8_t> hint(size);
      parse_read_exact(pos, hint.data(), size);
      segment_hint_ = std::move(hint);
    }
    if (!skip_to(static_cast<std::uint64_t>(pos) + padded)) break;
  }

  if (!have_movi) throw ReaderError("This AVI file doesn't have a movie data block (movi)!");
  bool faulty = false;
  for (auto& s : streams_) faulty = faulty || s->odml_faulty;
  if (rebuild_now || faulty || (odml_streams == 0 && !idx1_read)) {
    rebuild_index(odml_streams > 0);
    index_rebuilt_ = true;
  }

  for (auto& s : streams_) {
    s->index = s->gathering.take();
    const std::uint32_t type = s->type();
    if (type == kAuds) {
      if (s->format.size() < 14)
        throw ReaderError("Invalid AVI file: audio stream format is shorter than a WAVEFORMAT");
      std::uint32_t align = le16(s->format.data() + 12);
      if (align == 0) align = 1;  // nothing can be read in blocks of 0 bytes
      bool variable = false;
      for (const auto& e : s->index)
        if (e.size() != 0 && e.size() < align) variable = true;
      if (variable) {
        if (s->format_tag() == 0x55) align = 1;
        const std::uint32_t rate = s->header_u32(24);
        const std::uint32_t scale = s->header_u32(20);
        const double chunk_rate = scale != 0 ? static_cast<double>(rate) / scale : 0.0;
        const double average = chunk_rate * (static_cast<double>(s->byte_total) / static_cast<double>(s->index.size()));
        s->set_header_u32(24, static_cast<std::uint32_t>(std::min(std::llround(average), static_cast<long long>(UINT32_MAX))));
        s->set_header_u32(20, align);
        s->set_header_u32(44, align);
        s->variable_rate = true;
        s->chunk_rate = chunk_rate;
      }
      s->sample_size = align;
    } else {
      s->sample_size = 0;
    }
    s->derive();
  }
}

bool AviReader::parse_stream_list(std::int64_t position, std::int64_t size) {
  streams_.push_back(std::make_unique<StreamRecord>());
  StreamRecord& stream = *streams_.back();
  std::int64_t p = position;
  std::int64_t left = size;
  bool has_indx = false;
  while (left >= 8) {
    std::uint8_t h[8];
    parse_read_exact(p, h, 8);
    const std::uint32_t id = le32(h);
    const std::uint32_t csize = le32(h + 4);
    p += 8;
    left -= 8;
    if (csize > left) throw ReaderError("Invalid AVI file: chunk size extends outside of parent");
    if (static_cast<std::int64_t>(csize) > file_size_ - p)
      throw ReaderError("Failure reading file: Unexpected end of file");
    if (id == kStrh) {
      std::memset(stream.header, 0, sizeof stream.header);
      parse_read_exact(p, stream.header, std::min<std::int64_t>(csize, 56));
    } else if (id == kStrf) {
      stream.format.assign(csize, 0);
      parse_read_exact(p, stream.format.data(), csize);
    } else if (id == kIndx) {
      has_indx = true;
      stream.had_odml_index = true;
      try {
        parse_odml_index(stream, static_cast<std::uint64_t>(p), csize, true);
      } catch (const ReaderError&) {
        stream.odml_faulty = true;  // the movie data is scanned instead
      }
    }
    const std::int64_t step = static_cast<std::int64_t>(csize) + (csize & 1);
    p += step;
    left -= std::min(step, left);
  }
  if (stream.type() == kVids)
    stream.all_key = stream.format.size() >= 20 && is_intra_only(le32(stream.format.data() + 16));
  return has_indx;
}

void AviReader::parse_odml_index(StreamRecord& stream, std::uint64_t position, std::uint64_t size,
                                 bool allow_super) {
  if (size < 24 || position > static_cast<std::uint64_t>(file_size_))
    throw ReaderError("Invalid OpenDML index block in stream: the block is truncated");
  std::uint8_t h[24];
  parse_read_exact(static_cast<std::int64_t>(position), h, 24);
  const std::uint32_t longs = le16(h);
  const std::uint32_t index_type = h[3];
  const std::uint64_t in_use = le32(h + 4);
  const std::uint32_t chunk_id = le32(h + 8);
  const std::uint64_t base = le64(h + 12);
  const std::uint64_t room = size - 24;
  std::uint64_t at = position + 24;
  if (index_type == 0) {
    if (!allow_super) throw ReaderError("Invalid superindex block in stream: it refers to another superindex");
    if (longs != 4) throw ReaderError("Invalid superindex block in stream");
    if (in_use * 16 > room) throw ReaderError("Invalid superindex block in stream: more entries than the block holds");
    std::uint8_t batch[64 * 16];
    for (std::uint64_t done = 0; done < in_use;) {
      const std::uint64_t n = std::min<std::uint64_t>(64, in_use - done);
      parse_read_exact(static_cast<std::int64_t>(at), batch, static_cast<std::int64_t>(n * 16));
      for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint8_t* e = batch + i * 16;
        const std::uint64_t offset = le64(e);
        const std::uint32_t chunk_size = le32(e + 8);
        if (chunk_size < 8 || offset > static_cast<std::uint64_t>(file_size_))
          throw ReaderError("Invalid superindex block in stream: an entry points outside the file");
        parse_odml_index(stream, offset + 8, chunk_size - 8, false);
      }
      at += n * 16;
      done += n;
    }
    return;
  }
  if (index_type != 1) throw ReaderError("Unknown hyperindex type");
  if (longs != 2 && longs != 3 && longs != 6)
    throw ReaderError("Invalid OpenDML index block in stream (wLongsPerEntry=%d)", static_cast<int>(longs));
  const std::uint64_t entry_bytes = longs * 4;
  if (in_use * entry_bytes > room)
    throw ReaderError("Invalid OpenDML index block in stream: more entries than the block holds");
  const std::uint64_t per_batch = 256 / longs;
  std::uint8_t batch[256 * 4];
  for (std::uint64_t done = 0; done < in_use;) {
    const std::uint64_t n = std::min(per_batch, in_use - done);
    parse_read_exact(static_cast<std::int64_t>(at), batch, static_cast<std::int64_t>(n * entry_bytes));
    for (std::uint64_t i = 0; i < n; ++i) {
      const std::uint8_t* e = batch + i * entry_bytes;
      const std::uint64_t pos = base + le32(e) - 8;
      if (longs == 6) {
        append_entry(stream, pos, chunk_id, le32(e + 8), true);
      } else {
        const std::uint32_t word = le32(e + 4);
        append_entry(stream, pos, chunk_id, word & 0x7FFFFFFFu, (word & 0x80000000u) == 0);
      }
    }
    at += n * entry_bytes;
    done += n;
  }
}

bool AviReader::parse_idx1(std::int64_t position, std::uint32_t size) {
  const std::uint32_t count = size / 16;
  bool relative = false;
  std::uint8_t batch[32 * 16];
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t n = std::min<std::uint32_t>(32, count - done);
    if (parse_read(position, batch, n * 16) != static_cast<std::int64_t>(n) * 16) {
      clear_indexes();
      return false;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t* e = batch + i * 16;
      const std::uint32_t id = le32(e);
      const std::uint32_t flags = le32(e + 4);
      const std::uint64_t offset = le32(e + 8);
      const std::uint32_t chunk_size = le32(e + 12);
      if (!relative && offset < movi_start_) relative = true;
      const int s = stream_of(id);
      if (s < 0) continue;
      const std::uint64_t pos = relative ? movi_start_ + offset - 4 : offset;
      append_entry(*streams_[static_cast<std::size_t>(s)], pos, id, chunk_size, (flags & 0x10) != 0);
    }
    position += n * 16;
    done += n;
  }
  return true;
}

void AviReader::rebuild_index(bool any_odml) {
  clear_indexes();
  const std::uint64_t file_end = static_cast<std::uint64_t>(file_size_);
  const std::uint64_t movi_end = std::min(movi_start_ + movi_size_, file_end);
  const bool whole_file = !any_odml && !damaged_;
  bool damaged_mode = damaged_;
  std::uint64_t pos = movi_start_;
  const auto read_head = [&](std::uint64_t at, std::uint32_t& id, std::uint32_t& size) {
    std::uint8_t h[8];
    if (at + 8 > file_end || parse_read(static_cast<std::int64_t>(at), h, 8) != 8) return false;
    id = le32(h);
    size = le32(h + 4);
    return true;
  };
  const auto fits = [&](std::uint64_t at, std::uint32_t id, std::uint32_t size) {
    return printable(id) && at + 8 + size <= file_end;
  };
  for (;;) {
    if (!whole_file || damaged_mode) {
      if (pos >= movi_end || movi_end - pos <= 7) break;
    }
    std::uint32_t id = 0, size = 0;
    if (!read_head(pos, id, size)) break;
    const std::uint64_t next = pos + 8 + size + (size & 1);
    bool valid = fits(pos, id, size);
    if (valid && damaged_mode) {
      const std::uint64_t scan_end = whole_file && !damaged_mode ? file_end : movi_end;
      std::uint32_t id2 = 0, size2 = 0;
      valid = next >= scan_end || (read_head(next, id2, size2) && fits(next, id2, size2));
    }
    if (!valid) {
      damaged_mode = true;
      ++pos;
      continue;
    }
    if (id == kRiff || id == kList) {
      std::uint8_t t[4];
      if (parse_read(static_cast<std::int64_t>(pos + 8), t, 4) != 4) break;
      const std::uint32_t type = le32(t);
      pos = (type == kAvix || type == kMovi) ? pos + 12 : next;
      continue;
    }
    const int s = stream_of(id);
    if (s >= 0) {
      StreamRecord& stream = *streams_[static_cast<std::size_t>(s)];
      append_entry(stream, pos, id, size, size != 0 && (stream.byte_total == 0 || stream.all_key));
    }
    pos = next;
  }
  if (damaged_mode) damaged_ = true;
}

// ---------------------------------------------------------------- segments

void AviReader::append_segment(const std::string& path) {
  if (segments_.size() >= (std::size_t{1} << 15))
    throw ReaderError("Cannot append segment: Too many segments.");
  auto other = parse_file(path);
  const auto& theirs = other->streams_;
  if (theirs.size() != streams_.size())
    throw ReaderError("Cannot append segment: The segment has a different number of streams.");
  for (std::size_t i = 0; i < streams_.size(); ++i)
    if (streams_[i]->type() != theirs[i]->type())
      throw ReaderError("Cannot append segment: The stream types do not match.");
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    const StreamRecord& a = *streams_[i];
    const StreamRecord& b = *theirs[i];
    const char* prefix = a.type() == kAuds   ? "Cannot append segment: The audio streams "
                         : a.type() == kIavs ? "Cannot append segment: The DV streams "
                                             : "Cannot append segment: The video streams ";
    const std::uint64_t ra = a.header_u32(24), sa = a.header_u32(20);
    const std::uint64_t rb = b.header_u32(24), sb = b.header_u32(20);
    if (ra * sb != rb * sa) {
      const auto per_second = [](std::uint64_t r, std::uint64_t s) { return s ? static_cast<double>(r) / s : 0.0; };
      throw ReaderError("%shave different sampling rates (%.5f vs. %.5f)", prefix, per_second(ra, sa), per_second(rb, sb));
    }
    if (a.sample_size != b.sample_size)
      throw ReaderError("%shave different block sizes (%d vs %d).", prefix, static_cast<int>(a.sample_size),
                        static_cast<int>(b.sample_size));
    bool same = a.format == b.format;
    if (a.type() == kAuds && a.format_tag() == 1 && b.format_tag() == 1 && a.format.size() >= 16 &&
        b.format.size() >= 16)
      same = std::memcmp(a.format.data(), b.format.data(), 16) == 0;
    if (!same) throw ReaderError("%shave different data formats.", prefix);
  }
  const std::uint64_t base = static_cast<std::uint64_t>(segments_.size()) << kSegmentShift;
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    StreamRecord& a = *streams_[i];
    StreamRecord& b = *theirs[i];
    try {
      a.index.reserve(a.index.size() + b.index.size());
    } catch (const std::bad_alloc&) {
      throw ReaderMemoryError();
    }
  }
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    StreamRecord& a = *streams_[i];
    StreamRecord& b = *theirs[i];
    for (IndexEntry e : b.index) {
      e.position = base + (e.position & kOffsetMask);
      a.index.push_back(e);
    }
    a.byte_total += b.byte_total;
    a.derive();
  }
  segments_.push_back(std::move(other->segments_[0]));
  other->segments_.clear();
}

bool AviReader::AppendFile(const char* path) {
  try {
    if (path == nullptr) throw ReaderError("Cannot append segment: No file name.");
    append_segment(path);
    return true;
  } catch (const ReaderError& e) {
    last_error_ = e.what();
  } catch (const std::bad_alloc&) {
    last_error_ = "Out of memory";
  }
  return false;
}

bool AviReader::GetSegmentHint(char* text, std::int32_t size) {
  if (segment_hint_.empty() || segment_hint_[0] == 0) return false;
  if (text != nullptr && size > 0) {
    const std::size_t n = std::min<std::size_t>(segment_hint_.size() - 1, static_cast<std::size_t>(size) - 1);
    std::memcpy(text, segment_hint_.data() + 1, n);
    text[n] = 0;
  }
  return true;
}

AviStreamApi* AviReader::GetStream(std::uint32_t type, std::int32_t index) {
  if (index < 0) return nullptr;
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    if (streams_[i]->type() != type) continue;
    if (index-- == 0) return make_stream_object(this, static_cast<int>(i));
  }
  return nullptr;
}

// ---------------------------------------------------------------- reading

void AviReader::join_streaming() {
  if (streaming_count_ == 0 && !readahead_) {
    void* buffer = std::aligned_alloc(4096, kReadAhead);
    if (buffer == nullptr) throw ReaderMemoryError();
    readahead_.reset(static_cast<std::uint8_t*>(buffer));
    readahead_length_ = 0;
  }
  ++streaming_count_;
}

void AviReader::leave_streaming() {
  if (streaming_count_ > 0 && --streaming_count_ == 0) readahead_.reset();
}

std::uint64_t AviReader::readahead_position() const {
  return (static_cast<std::uint64_t>(readahead_segment_) << kSegmentShift) +
         static_cast<std::uint64_t>(readahead_position_ + readahead_length_);
}

std::int64_t AviReader::read_data(std::uint64_t position, void* buffer, std::int64_t size, bool streaming) {
  const std::size_t seg = static_cast<std::size_t>(position >> kSegmentShift);
  std::int64_t offset = static_cast<std::int64_t>(position & kOffsetMask);
  if (seg >= segments_.size() || size < 0) return -1;
  Segment& segment = segments_[seg];
  if (!streaming || streaming_count_ == 0 || !readahead_) return segment.buffered.read_at(offset, buffer, size);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < size) {
    if (readahead_segment_ != seg || offset < readahead_position_ ||
        offset >= readahead_position_ + readahead_length_) {
      std::int64_t got;
      if (realtime_count_ > 0 || offset + kReadAhead > segment.size) {
        readahead_position_ = offset;
        got = segment.buffered.read_at(offset, readahead_.get(), kRealtimeRefill);
      } else {
        readahead_position_ = offset & ~std::int64_t{4095};
        got = segment.unbuffered.read_unbuffered(readahead_position_, readahead_.get(), kReadAhead);
      }
      readahead_segment_ = seg;
      readahead_length_ = std::max<std::int64_t>(got, 0);
      if (got < 0) throw ReaderSystemError(errno, "Failure streaming AVI file: %%s.");
      if (offset >= readahead_position_ + readahead_length_) break;  // end of file
    }
    const std::int64_t n = std::min(size - done, readahead_position_ + readahead_length_ - offset);
    std::memcpy(out + done, readahead_.get() + (offset - readahead_position_), static_cast<std::size_t>(n));
    done += n;
    offset += n;
  }
  return done;
}

}  // namespace corvexa::avi
