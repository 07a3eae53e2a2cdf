#include "mpeg/mux/record_writer.h"

#include <cstring>

namespace corvexa::mpeg::mux {

namespace {
constexpr std::size_t kChunk = 65536;
}

bool RecordWriter::put(const std::uint8_t* bytes, std::size_t size) {
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  return buffer_.size() < kChunk || flush();
}

bool RecordWriter::write_video(const VideoUnit& unit) {
  std::uint8_t rec[kVideoUnitRecordSize];
  encode_video_unit(unit, with_extension_, rec);
  return put(rec, sizeof rec);
}

bool RecordWriter::write_audio(const AudioUnit& unit) {
  std::uint8_t rec[kAudioUnitRecordSize];
  encode_audio_unit(unit, with_extension_, rec);
  return put(rec, sizeof rec);
}

bool RecordWriter::flush() {
  bool ok = buffer_.empty() || file_.write_all(buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

bool RecordReader::next(std::uint8_t* record) {
  if (buffer_.size() - pos_ < record_size_) {
    if (eof_ || failed_) return false;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
    std::size_t old = buffer_.size();
    buffer_.resize(old + kChunk);
    long long n = file_.read_some_at(offset_, buffer_.data() + old, kChunk);
    if (n < 0) {
      failed_ = true;
      buffer_.resize(old);
      return false;
    }
    offset_ += n;
    if (static_cast<std::size_t>(n) < kChunk) eof_ = true;
    buffer_.resize(old + static_cast<std::size_t>(n));
    if (buffer_.size() < record_size_) return false;
  }
  std::memcpy(record, buffer_.data() + pos_, record_size_);
  pos_ += record_size_;
  return true;
}

}  // namespace corvexa::mpeg::mux
