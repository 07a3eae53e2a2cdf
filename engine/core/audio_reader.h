// Reads the source AVI's sound for the conversion job: one video frame's
// worth of 16-bit PCM per block, at 32000, 44100 or 48000 Hz.
#pragma once

#include <cstdint>
#include <string>

namespace corvexa::core {

class AudioReader {
 public:
  AudioReader();
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // True when the sound can be read at all.
  bool Open(const std::string& path);
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
  // Before a run: blocks start again from the beginning.
  void Rewind();
  // Starts and ends the MP3 decoder of a run.
  void BeginRun();
  void EndRun();
  void Close();

 private:
  struct State;
  State* state_;
};

}  // namespace corvexa::core
