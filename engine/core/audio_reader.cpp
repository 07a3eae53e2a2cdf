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
  prefer_fallback_ = fallback_source_ != nullptr && fallback_file_->IsIndexFabricated();
}

void AudioReader::CloseFallback() {
  fallback_bytes_.close();
  prefer_fallback_ = false;
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
  if (is_mp3_ && fallback_source_->info.sample_size != 1) {
    // MP3 stored a frame a chunk: its bytes as one run.
    if (!fallback_bytes_.is_open() && !fallback_bytes_.open(fallback_source_)) return false;
    const std::int64_t n = fallback_bytes_.read(
        position_, raw_buffer_.data(), std::min<std::int64_t>(frame_samples_, block_bytes_));
    if (n <= 0) return false;
    got = static_cast<std::int32_t>(n);
    return true;
  }
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

void AudioReader::ConformTo(int sample_rate, bool stereo) {
  conform_rate_ = sample_rate > 0 ? sample_rate : 0;
  conform_stereo_ = conform_rate_ > 0 && stereo;
}

bool AudioReader::Prepare(std::uint32_t video_rate, std::uint32_t video_scale) {
  prepared_ = false;
  FreeBuffers();
  decoded_.reset();
  resampler_.reset();
  is_mp3_ = false;
  rate_factor_ = 1;
  double_channel_ = false;
  if (video_rate == 0 || video_scale == 0) return false;
  const double fps = static_cast<double>(video_rate) / video_scale;
  if (!stream_) return !media_path_.empty() && PrepareDecoded(fps) && FinishPrepare(video_rate, video_scale);
  const std::vector<std::uint8_t>& format = stream_->format();
  if (format.size() < 16) return PrepareDecoded(fps) && FinishPrepare(video_rate, video_scale);
  WaveFormat wf{};
  std::memcpy(&wf, format.data(), std::min(format.size(), sizeof wf));
  auto decoded = [&] { return PrepareDecoded(fps) && FinishPrepare(video_rate, video_scale); };
  // Formats this reader takes itself; the rest goes to the platform.
  if (format.size() > kMaxFormatBytes) return decoded();
  if (wf.format_tag == kWaveFormatMpegLayer3) {
    is_mp3_ = true;
  } else if (wf.format_tag != kWaveFormatPcm || (wf.bits_per_sample != 8 && wf.bits_per_sample != 16)) {
    return decoded();
  }
  if (wf.channels < 1 || wf.channels > 2 || wf.samples_per_sec == 0) return decoded();
  channels_ = wf.channels;
  sample_rate_ = static_cast<int>(wf.samples_per_sec);
  source_rate_ = sample_rate_;
  // PCM is counted in sample frames even where the header forgot its size.
  if (!is_mp3_ && wf.block_align > 0) samples_ = platform::AviSampleReader::open(stream_, wf.block_align);
  if (!samples_) return false;
  bits_ = is_mp3_ ? 16 : wf.bits_per_sample;

  int factor = 0, target = 0;
  if (conform_rate_ > 0) {
    // One rate for the disc: the filter changes it, whatever the source's.
    factor = 1;
    target = sample_rate_;
    if (sample_rate_ != conform_rate_) {
      resampler_ = platform::PcmResampler::open(sample_rate_, conform_rate_, channels_);
      if (!resampler_) return false;
      target = conform_rate_;
    }
  } else {
    // A rate that a whole factor brings to 32, 44.1 or 48 kHz.
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
    if (factor == 0) return decoded();
  }
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
  return FinishPrepare(video_rate, video_scale);
}

bool AudioReader::FinishPrepare(std::uint32_t video_rate, std::uint32_t video_scale) {
  video_rate_ = video_rate;
  video_scale_ = video_scale;
  double_channel_ = conform_stereo_ && channels_ == 1;
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
    source_rate_ = source_rate;
    decoded_ = platform::DecodedAudio::open(
        *stream_, conform_rate_ > 0 ? conform_rate_ : platform::decoded_output_rate(source_rate));
  } else {
    std::unique_ptr<platform::MediaFile> file = platform::MediaFile::open(media_path_);
    const platform::MediaStreamInfo* audio = file ? file->primary_audio() : nullptr;
    source_rate_ = audio != nullptr ? audio->sample_rate : 0;
    decoded_ = platform::DecodedAudio::open_file(media_path_, conform_rate_);
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
  return true;
}

AudioReader::Output AudioReader::Describe() const {
  Output out;
  out.sample_rate = rate_factor_ * sample_rate_;
  out.stereo = channels_ == 2 || double_channel_;
  out.bits = bits_ == 8 ? 16 : bits_;
  return out;
}

void AudioReader::BeginRun() {
  first_read_ = true;
  position_ = 0;
  ready_.clear();
  ready_offset_ = 0;
  block_number_ = 0;
  source_ended_ = false;
  if (resampler_) resampler_->reset();
  if (decoded_ && !decoded_rewound_) decoded_->rewind();
  decoded_rewound_ = true;
  if (mp3_) mp3_->InitDecoder();
}

void AudioReader::EndRun() {
  if (mp3_) mp3_->ExitDecoder();
}

// A file without idx1 is indexed by scanning in the engine's reader only:
// the platform's index then holds no more than it met while probing.
bool AudioReader::ReadInput(std::int32_t& got) {
  return prefer_fallback_ ? ReadFallback(got) || ReadRaw(got) : ReadRaw(got) || ReadFallback(got);
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

// Sample frames of block `block`: the video frame's share of the delivered
// rate, the fractions carried on so that no sample is dropped over a run.
std::int64_t AudioReader::BlockSamples(std::int64_t block) const {
  const std::int64_t rate = static_cast<std::int64_t>(rate_factor_) * sample_rate_;
  const std::int64_t per = rate * video_scale_;
  return (block + 1) * per / video_rate_ - block * per / video_rate_;
}

void AudioReader::Deliver(const std::uint8_t* pcm, std::int32_t length) {
  if (length <= 0) return;
  const std::uint8_t* block = pcm;
  if (bits_ == 8) {
    for (std::int32_t i = 0; i < length; ++i) {
      auto v = static_cast<std::int16_t>((pcm[i] - 128) * 256);
      wide_buffer_[2 * static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v & 0xFF);
      wide_buffer_[2 * static_cast<std::size_t>(i) + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
    block = wide_buffer_.data();
    length *= 2;
  }
  const std::int32_t frame_bytes = channels_ == 2 ? 4 : 2;
  std::vector<std::uint8_t> changed;
  if (resampler_) {
    resampler_->convert(block, length / frame_bytes, changed);
    block = changed.data();
    length = static_cast<std::int32_t>(changed.size());
  } else if (rate_factor_ > 1) {
    std::uint8_t* out = rate_buffer_.data();
    for (std::int32_t at = 0; at + frame_bytes <= length; at += frame_bytes)
      for (int r = 0; r < rate_factor_; ++r) {
        std::memcpy(out, block + at, static_cast<std::size_t>(frame_bytes));
        out += frame_bytes;
      }
    block = rate_buffer_.data();
    length = (length / frame_bytes) * frame_bytes * rate_factor_;
  }
  Append(block, length - length % frame_bytes);
}

void AudioReader::Append(const std::uint8_t* pcm, std::size_t length) {
  // What earlier blocks took is dropped before more is added.
  if (ready_offset_ > 0) {
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(ready_offset_));
    ready_offset_ = 0;
  }
  if (!double_channel_) {
    ready_.insert(ready_.end(), pcm, pcm + length);
    return;
  }
  const std::size_t at = ready_.size();
  ready_.resize(at + 2 * length);
  for (std::size_t i = 0; i + 2 <= length; i += 2) {
    std::uint8_t* out = ready_.data() + at + 2 * i;
    out[0] = out[2] = pcm[i];
    out[1] = out[3] = pcm[i + 1];
  }
}

int AudioReader::PullPcm() {
  std::int32_t got = 0;
  if (!ReadInput(got)) {
    // Past the last sample the sound has simply ended: a track a little
    // shorter than its video is not a read failure.
    if (samples_ && position_ * std::max<std::int64_t>(1, samples_->sample_size()) >=
                        samples_->total_bytes())
      return 50;
    if (fallback_source_ != nullptr && position_ >= fallback_source_->end) return 50;
    return 4;
  }
  const std::int32_t frame_bytes = channels_ * (bits_ == 16 ? 2 : 1);
  const std::int32_t frames = got / frame_bytes;
  if (frames <= 0) return 50;
  position_ += frames;
  Deliver(raw_buffer_.data(), frames * frame_bytes);
  return 0;
}

// Decodes MP3 frames, reading the file as far as the decoder asks, until
// one frame's PCM has come out.
int AudioReader::PullMp3() {
  const std::int32_t area_size = block_bytes_ < 4608 ? 5120 : block_bytes_;
  mp3_area_.resize(static_cast<std::size_t>(area_size));
  bool input_ended = false;
  int empty = 0;
  while (true) {
    std::int32_t produced = 0;
    int result = mp3_->Decode(nullptr, 0, mp3_area_.data(), area_size, &produced);
    if (result == kMp3Ok) {
      if (produced > 0) {
        Deliver(mp3_area_.data(), produced);
        return 0;
      }
      // A format change answers "done" without PCM; a decoder that keeps
      // doing so is not asked forever.
      if (++empty < kEmptyDecodeTries) continue;
    }
    if (input_ended) return 50;
    std::int32_t got = 0;
    if (!ReadInput(got)) {
      if (position_ == 0) return 4;
      input_ended = true;  // one more round drains the decoder
      continue;
    }
    position_ += got;
    empty = 0;
    result = mp3_->Decode(raw_buffer_.data(), got, mp3_area_.data(), area_size, &produced);
    if (result == kMp3Ok && produced > 0) {
      Deliver(mp3_area_.data(), produced);
      return 0;
    }
  }
}

int AudioReader::PullSource() {
  if (decoded_) {
    decoded_rewound_ = false;
    std::int64_t n = decoded_->read(raw_buffer_.data(), block_bytes_);
    if (n <= 0) return 50;
    Deliver(raw_buffer_.data(), static_cast<std::int32_t>(n));
    return 0;
  }
  return is_mp3_ ? PullMp3() : PullPcm();
}

int AudioReader::ReadBlock(std::int32_t& byte_count, std::uint8_t*& data) {
  byte_count = 0;
  data = nullptr;
  if (!prepared_) return 4;
  const int channels = channels_ == 2 || double_channel_ ? 2 : 1;
  const std::size_t wanted = static_cast<std::size_t>(BlockSamples(block_number_)) * 2 * channels;
  while (ready_.size() - ready_offset_ < wanted && !source_ended_) {
    const int code = PullSource();
    if (code == 0) continue;
    if (code == 4 && first_read_ && ready_.size() == ready_offset_) return 4;
    // The end of the sound, or a read failure after some of it: what the
    // filter holds and what is waiting still go out.
    source_ended_ = true;
    if (resampler_) {
      std::vector<std::uint8_t> tail;
      if (resampler_->flush(tail)) Append(tail.data(), tail.size());
    }
    if (code == 4 && ready_.size() == ready_offset_) return 4;
  }
  const std::size_t take = std::min(wanted, ready_.size() - ready_offset_);
  if (take == 0) return 50;
  block_.assign(ready_.begin() + static_cast<std::ptrdiff_t>(ready_offset_),
                ready_.begin() + static_cast<std::ptrdiff_t>(ready_offset_ + take));
  ready_offset_ += take;
  ++block_number_;
  byte_count = static_cast<std::int32_t>(take);
  data = block_.data();
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
