// Reads the source AVI's sound for the conversion job: one video frame's
// worth of 16-bit PCM per block, at 32000, 44100 or 48000 Hz.
//
// PCM and MP3 at rates that a whole factor brings to one of those are read
// from the file's chunks (MP3 decoded by MYMPGLIB) and their samples
// repeated by the factor. Everything else is decoded and resampled by the
// platform, so that no source loses its sound.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "corvexa/mp3_decoder.h"
#include "corvexa/zelavilib.h"
#include "platform/avi_sample_reader.h"
#include "platform/avi_services.h"
#include "platform/decoded_audio.h"

namespace corvexa::core {

class AudioReader {
 public:
  AudioReader();
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // True when the file's sound can be read at all.
  bool Open(const std::string& path);
  // The sound of a file that is not AVI, decoded by the platform; true when
  // it has sound the platform decodes.
  bool OpenMedia(const std::string& path);
  // Sizes the blocks for a video of video_rate / video_scale frames per
  // second and finds the rate factor; false leaves the job without sound.
  bool Prepare(std::uint32_t video_rate, std::uint32_t video_scale);
  struct Output {
    int sample_rate = 0;
    bool stereo = false;
    int bits = 0;
  };
  Output Describe() const;
  // The next block. 0 = success, 4 = read failure, 50 = no more audio.
  int ReadBlock(std::int32_t& byte_count, std::uint8_t*& data);
  // Before a run: blocks start again from the beginning, and the MP3 decoder
  // is set up; after it, the decoder's input is freed.
  void BeginRun();
  void EndRun();
  void Close();

  // Exposed for tests.
  int rate_factor() const { return rate_factor_; }
  int frame_samples() const { return frame_samples_; }
  bool decoded_by_platform() const { return decoded_ != nullptr; }
  bool has_fallback() const { return fallback_source_ != nullptr; }
  // Makes every read through the platform fail, so that the engine's own
  // reader has to take over (for tests).
  void FailPlatformReadsForTest() { fail_platform_reads_ = true; }

 private:
  bool PrepareDecoded(double fps);
  bool ReadRaw(std::int32_t& got);
  int DecodeMp3(std::int32_t got, bool have_input);
  std::int32_t TakeFromQueue(std::uint8_t* out, std::int32_t wanted);
  void FreeBuffers();
  void OpenFallback(const std::string& path);
  void CloseFallback();
  bool ReadFallback(std::int32_t& got);

  std::vector<std::uint8_t> raw_buffer_;
  std::vector<std::uint8_t> rate_buffer_;
  std::vector<std::uint8_t> wide_buffer_;
  int sample_rate_ = 0;
  std::int32_t block_bytes_ = 0;
  int channels_ = 0;
  int bits_ = 0;
  std::int32_t frame_samples_ = 0;
  std::shared_ptr<platform::AviStream> stream_;
  std::unique_ptr<platform::AviSampleReader> samples_;
  int rate_factor_ = 1;
  bool is_mp3_ = false;
  bool prepared_ = false;
  bool first_read_ = true;
  std::int64_t position_ = 0;
  std::deque<std::vector<std::uint8_t>> pcm_queue_;
  std::size_t queue_offset_ = 0;
  Mp3Decoder* mp3_ = nullptr;
  std::unique_ptr<platform::DecodedAudio> decoded_;
  std::string media_path_;  // a file that is not AVI, its sound decoded
  bool decoded_rewound_ = true;
  // The engine's own reader, for blocks the platform cannot read.
  Zelavilib* fallback_ = nullptr;
  AviFileApi* fallback_file_ = nullptr;
  AviAudioSource* fallback_source_ = nullptr;
  bool fail_platform_reads_ = false;
};

}  // namespace corvexa::core
