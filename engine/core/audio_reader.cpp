#include "core/audio_reader.h"

namespace corvexa::core {

// The sound feed is not part of this build yet: every source converts
// without sound.
struct AudioReader::State {};

AudioReader::AudioReader() : state_(new State) {}
AudioReader::~AudioReader() { delete state_; }
bool AudioReader::Open(const std::string&) { return false; }
bool AudioReader::Prepare(std::uint32_t, std::uint32_t) { return false; }
AudioReader::Output AudioReader::Describe() const { return {}; }
int AudioReader::ReadBlock(std::int32_t& byte_count, std::uint8_t*& data) {
  byte_count = 0;
  data = nullptr;
  return 50;
}
void AudioReader::Rewind() {}
void AudioReader::BeginRun() {}
void AudioReader::EndRun() {}
void AudioReader::Close() {}

}  // namespace corvexa::core
