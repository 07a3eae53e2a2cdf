#include "core/audio_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/avi_types.h"
#include "platform/media_file.h"

namespace corvexa::core {

namespace {

constexpr int kTargetRates[3] = {32000, 44100, 48000};
constexpr std::size_t kMaxFormatBytes = 256;
// The first block may start with bytes that are no MP3 frame (tags, junk):
// the decoder is asked this many more times before the block goes without.
constexpr int kFirstBlockTries = 16;
// A decoder that keeps answering "done, nothing produced" is not asked forever.
constexpr int kEmptyDecodeTries = 16;

}  // namespace

AudioReader::AudioReader() {
  mp3_ = static_cast<Mp3Decoder*>(make_heap_object(construct_mympglib));
  fallback_ = static_cast<Zelavilib*>(make_heap_object(construct_zelavilib));
}

AudioReader::~AudioReader() {
  Close();
  ReleaseObject(mp3_);
  ReleaseObject(fallback_);
}

void AudioReader::OpenFallback(const std::string& path) {
  CloseFallback();
  if (fallback_ == nullptr) return;
  fallback_file_ = fallback_->Open(path.c_str());
  if (fallback_file_ == nullptr) return;
  fallback_source_ = fallback_->OpenStream(fallback_file_, 1);
  if (fallback_source_ == nullptr || !fallback_->IsOK(fallback_source_)) CloseFallback();
}

void AudioReader::CloseFallback() {
  if (fallback_ == nullptr) return;
  fallback_->CloseStream(fallback_source_);
  fallback_source_ = nullptr;
  if (fallback_file_ != nullptr) fallback_->Close(fallback_file_);
  fallback_file_ = nullptr;
}

// The engine's own reader counts sound in blocks of the format's alignment,
// as the platform does for PCM and byte-counted MP3.
bool AudioReader::ReadFallback(std::int32_t& got) {
  got = 0;
  if (fallback_source_ == nullptr) return false;
  if (is_mp3_ && fallback_source_->info.sample_size != 1) return false;
  std::int32_t bytes = 0, samples = 0;
  const std::int32_t count = is_mp3_ ? std::min(frame_samples_, block_bytes_) : frame_samples_;
  if (fallback_->Read(fallback_source_, static_cast<std::int32_t>(position_), count,
                      raw_buffer_.data(), block_bytes_, &bytes, &samples) != 0 || bytes <= 0)
    return false;
  got = bytes;
  return true;
}

bool AudioReader::Open(const std::string& path) {
  Close();
  std::shared_ptr<platform::AviFile> file = platform::AviFile::open(path);
  if (!file) return false;
  stream_ = file->get_stream(kStreamTypeAudio, 0);
  if (stream_) samples_ = platform::AviSampleReader::open(stream_);
  OpenFallback(path);
  return samples_ != nullptr || fallback_source_ != nullptr;
}

bool AudioReader::OpenMedia(const std::string& path) {
  Close();
  std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(path);
  const platform::MediaStreamInfo* audio = file ? file->primary_audio() : nullptr;
  if (audio == nullptr || !audio->decodable) return false;
  media_path_ = path;
  return true;
}

bool AudioReader::Prepare(std::uint32_t video_rate, std::uint32_t video_scale) {
  prepared_ = false;
  FreeBuffers();
  decoded_.reset();
  is_mp3_ = false;
  rate_factor_ = 1;
  if (video_rate == 0 || video_scale == 0) return false;
  const double fps = static_cast<double>(video_rate) / video_scale;
  if (!stream_) return !media_path_.empty() && PrepareDecoded(fps);
  const std::vector<std::uint8_t>& format = stream_->format();
  if (format.size() < 16) return PrepareDecoded(fps);
  WaveFormat wf{};
  std::memcpy(&wf, format.data(), std::min(format.size(), sizeof wf));
  // Formats this reader takes itself; the rest goes to the platform.
  if (format.size() > kMaxFormatBytes) return PrepareDecoded(fps);
  if (wf.format_tag == kWaveFormatMpegLayer3) {
    is_mp3_ = true;
  } else if (wf.format_tag != kWaveFormatPcm || (wf.bits_per_sample != 8 && wf.bits_per_sample != 16)) {
    return PrepareDecoded(fps);
  }
  if (wf.channels < 1 || wf.channels > 2 || wf.samples_per_sec == 0) return PrepareDecoded(fps);
  channels_ = wf.channels;
  sample_rate_ = static_cast<int>(wf.samples_per_sec);
  // PCM is counted in sample frames even where the header forgot its size.
  if (!is_mp3_ && wf.block_align > 0) samples_ = platform::AviSampleReader::open(stream_, wf.block_align);
  if (!samples_) return false;
  bits_ = is_mp3_ ? 16 : wf.bits_per_sample;

  // A rate that a whole factor brings to 32, 44.1 or 48 kHz.
  int factor = 0, target = 0;
  for (int t : kTargetRates) {
    const double b = static_cast<double>(t) / sample_rate_;
    const double up = std::ceil(b);
    const double n = (up - b <= 0.5) ? up : std::floor(b);
    if (n >= 1 && std::fabs(n - b) < 0.001) {
      factor = static_cast<int>(n);
      target = t;
      break;
    }
  }
  if (factor == 0) return PrepareDecoded(fps);
  frame_samples_ = static_cast<std::int32_t>(std::floor(sample_rate_ / fps));
  block_bytes_ = frame_samples_ * (channels_ == 2 ? 2 : 1) * (bits_ == 16 ? 2 : 1);
  if (frame_samples_ <= 0 || block_bytes_ <= 0) return false;
  rate_factor_ = factor;
  sample_rate_ = target / factor;
  raw_buffer_.assign(static_cast<std::size_t>(block_bytes_), 0);
  if (rate_factor_ > 1)
    rate_buffer_.assign(static_cast<std::size_t>(rate_factor_) * block_bytes_ * (bits_ == 8 ? 2 : 1), 0);
  if (bits_ == 8) wide_buffer_.assign(2 * static_cast<std::size_t>(block_bytes_), 0);
  if (is_mp3_ && mp3_ == nullptr) return false;
  prepared_ = true;
  return true;
}

// Sound the reader does not take itself comes decoded and resampled by the
// platform, at the same block size a PCM source of that rate would have.
bool AudioReader::PrepareDecoded(double fps) {
  if (stream_) {
    const std::vector<std::uint8_t>& format = stream_->format();
    int source_rate = 0;
    if (format.size() >= 8) {
      WaveFormat wf{};
      std::memcpy(&wf, format.data(), std::min(format.size(), sizeof wf));
      source_rate = static_cast<int>(wf.samples_per_sec);
    }
    decoded_ = platform::DecodedAudio::open(*stream_, platform::decoded_output_rate(source_rate));
  } else {
    decoded_ = platform::DecodedAudio::open_file(media_path_, 0);
  }
  if (!decoded_) return false;
  const int out_rate = decoded_->rate();
  decoded_rewound_ = true;
  is_mp3_ = false;
  channels_ = decoded_->channels();
  bits_ = 16;
  sample_rate_ = out_rate;
  rate_factor_ = 1;
  frame_samples_ = static_cast<std::int32_t>(std::floor(out_rate / fps));
  block_bytes_ = frame_samples_ * channels_ * 2;
  if (frame_samples_ <= 0) return false;
  raw_buffer_.assign(static_cast<std::size_t>(block_bytes_), 0);
  prepared_ = true;
  return true;
}

AudioReader::Output AudioReader::Describe() const {
  Output out;
  out.sample_rate = rate_factor_ * sample_rate_;
  out.stereo = channels_ == 2;
  out.bits = bits_ == 8 ? 16 : bits_;
  return out;
}

void AudioReader::BeginRun() {
  first_read_ = true;
  position_ = 0;
  pcm_queue_.clear();
  queue_offset_ = 0;
  if (decoded_ && !decoded_rewound_) decoded_->rewind();
  decoded_rewound_ = true;
  if (mp3_) mp3_->InitDecoder();
}

void AudioReader::EndRun() {
  if (mp3_) mp3_->ExitDecoder();
}

bool AudioReader::ReadRaw(std::int32_t& got) {
  got = 0;
  if (!samples_ || fail_platform_reads_) return false;
  if (is_mp3_) {
    // MP3 is read as the run of bytes it is, whichever way the file counts
    // its samples (bytes, or one frame per chunk): both give the whole track.
    std::int64_t n = samples_->read_bytes(position_, raw_buffer_.data(),
                                          std::min<std::int64_t>(frame_samples_, block_bytes_));
    if (n <= 0) return false;
    got = static_cast<std::int32_t>(n);
    return true;
  }
  std::int32_t samples = 0;
  return samples_->read(position_, frame_samples_, raw_buffer_.data(), block_bytes_, &got, &samples);
}

std::int32_t AudioReader::TakeFromQueue(std::uint8_t* out, std::int32_t wanted) {
  std::int32_t copied = 0;
  while (!pcm_queue_.empty()) {
    const std::vector<std::uint8_t>& head = pcm_queue_.front();
    const std::size_t unread = head.size() - queue_offset_;
    if (unread > static_cast<std::size_t>(wanted - copied)) break;
    std::memcpy(out + copied, head.data() + queue_offset_, unread);
    copied += static_cast<std::int32_t>(unread);
    pcm_queue_.pop_front();
    queue_offset_ = 0;
  }
  if (!pcm_queue_.empty() && copied < wanted) {
    const std::int32_t n = wanted - copied;
    std::memcpy(out + copied, pcm_queue_.front().data() + queue_offset_, static_cast<std::size_t>(n));
    queue_offset_ += static_cast<std::size_t>(n);
    copied = wanted;
  }
  return copied;
}

// Feeds what was read to the decoder and queues what comes out; returns the
// block length taken from the queue.
int AudioReader::DecodeMp3(std::int32_t got, bool have_input) {
  const std::int32_t area_size = block_bytes_ < 4608 ? 5120 : block_bytes_;
  std::vector<std::uint8_t> area(static_cast<std::size_t>(area_size));
  auto queue = [&](std::int32_t produced) {
    pcm_queue_.emplace_back(area.begin(), area.begin() + produced);
  };
  std::int32_t produced = 0;
  int result = mp3_->Decode(have_input ? raw_buffer_.data() : nullptr, have_input ? got : 0,
                            area.data(), area_size, &produced);
  if (result != kMp3Error) {
    if (result == kMp3Ok && produced > 0) queue(produced);
    result = mp3_->Decode(nullptr, 0, area.data(), area_size, &produced);
    for (int tries = 0; result == kMp3NeedMore && first_read_ && tries < kFirstBlockTries; ++tries)
      result = mp3_->Decode(nullptr, 0, area.data(), area_size, &produced);
    if (result == kMp3Ok) {
      for (int tries = 0; produced == 0 && result == kMp3Ok && tries < kEmptyDecodeTries; ++tries)
        result = mp3_->Decode(nullptr, 0, area.data(), area_size, &produced);
      if (result == kMp3Ok && produced > 0) queue(produced);
    }
  }
  return TakeFromQueue(raw_buffer_.data(), block_bytes_);
}

int AudioReader::ReadBlock(std::int32_t& byte_count, std::uint8_t*& data) {
  byte_count = 0;
  data = nullptr;
  if (!prepared_) return 4;
  std::int32_t length = 0;
  if (decoded_) {
    decoded_rewound_ = false;
    std::int64_t n = decoded_->read(raw_buffer_.data(), block_bytes_);
    if (n <= 0) return 50;
    length = static_cast<std::int32_t>(n);
  } else {
    if (!first_read_) position_ += frame_samples_;
    std::int32_t got = 0;
    bool have_input = ReadRaw(got) || ReadFallback(got);
    if (!have_input && !(is_mp3_ && position_ != 0)) {
      // Past the last sample the sound has simply ended: a track a little
      // shorter than its video is not a read failure.
      if (samples_ && position_ * std::max<std::int64_t>(1, samples_->sample_size()) >=
                          samples_->total_bytes())
        return 50;
      if (fallback_source_ != nullptr && position_ >= fallback_source_->end) return 50;
      return 4;
    }
    length = got;
    if (is_mp3_) {
      length = DecodeMp3(got, have_input);
      if (length == 0) return 50;
    }
  }
  std::uint8_t* block = raw_buffer_.data();
  if (bits_ == 8) {
    for (std::int32_t i = 0; i < length; ++i) {
      auto v = static_cast<std::int16_t>((raw_buffer_[static_cast<std::size_t>(i)] - 128) * 256);
      wide_buffer_[2 * static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v & 0xFF);
      wide_buffer_[2 * static_cast<std::size_t>(i) + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
    block = wide_buffer_.data();
    length *= 2;
  }
  if (rate_factor_ > 1) {
    const std::int32_t frame_bytes = channels_ == 2 ? 4 : 2;
    std::uint8_t* out = rate_buffer_.data();
    for (std::int32_t at = 0; at + frame_bytes <= length; at += frame_bytes)
      for (int r = 0; r < rate_factor_; ++r) {
        std::memcpy(out, block + at, static_cast<std::size_t>(frame_bytes));
        out += frame_bytes;
      }
    block = rate_buffer_.data();
    length = (length / frame_bytes) * frame_bytes * rate_factor_;
  }
  byte_count = length;
  data = block;
  first_read_ = false;
  return 0;
}

void AudioReader::FreeBuffers() {
  raw_buffer_.clear();
  rate_buffer_.clear();
  wide_buffer_.clear();
}

void AudioReader::Close() {
  CloseFallback();
  samples_.reset();
  stream_.reset();
  media_path_.clear();
  decoded_.reset();
  prepared_ = false;
}

}  // namespace corvexa::core
