#include "media_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace media_test {

const char* const kTestPicture = "-f lavfi -i testsrc=size=160x120:rate=25:duration=2";
const char* const kTestTone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2";

namespace {

kavrol_test::TempDir& folder() {
  static kavrol_test::TempDir dir;
  return dir;
}

}  // namespace

std::string command_output(const std::string& command, int* status) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return out;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int raw = ::pclose(pipe);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

bool write_text_file(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && written;
}

std::string ffmpeg_fixture(const std::string& name, const std::string& args) {
  const std::string path = folder().file(name);
  if (std::filesystem::exists(path)) return path;
  const std::string command = "ffmpeg -nostdin -v error -y " + args + " '" + path + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0 || !std::filesystem::exists(path)) return {};
  return path;
}

std::string raw_avi_fixture(const std::string& name, int frames, bool with_sound) {
  const std::string path = folder().file(name);
  if (std::filesystem::exists(path)) return path;
  kavrol_test::AviWriter writer;
  kavrol_test::AviVideoFormat video;
  video.width = 32;
  video.height = 24;
  const int v = writer.add_video(video);
  int a = -1;
  if (with_sound) {
    kavrol_test::AviAudioFormat audio;
    audio.format = kavrol_test::pcm_format(2, 44100, 16);
    a = writer.add_audio(audio);
  }
  for (int f = 0; f < frames; ++f) {
    writer.add_chunk(v, kavrol_test::test_picture_bgr24(32, 24, f));
    if (a >= 0) writer.add_chunk(a, kavrol_test::tone_pcm16(44100, 2, 1764, 440.0, f * 1764));
  }
  return writer.write(path) ? path : std::string();
}

}  // namespace media_test
