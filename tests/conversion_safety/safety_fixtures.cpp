#include "safety_fixtures.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "support/avi_writer.h"

namespace kavrol_test {

std::string write_source(const std::string& path, const SourceLayout& layout) {
  AviWriter writer;
  AviVideoFormat video;
  video.width = layout.width;
  video.height = layout.height;
  const int v = writer.add_video(video);
  int a = -1;
  if (layout.sound) {
    AviAudioFormat audio;
    audio.format = pcm_format(2, 48000, 16);
    audio.format.channels = layout.sound_channels;
    a = writer.add_audio(audio);
  }
  std::mt19937 noise(7);
  for (int f = 0; f < layout.frames; ++f) {
    std::vector<std::uint8_t> picture = test_picture_bgr24(layout.width, layout.height, f);
    if (layout.noise)
      for (std::uint8_t& byte : picture) byte = static_cast<std::uint8_t>(noise());
    writer.add_chunk(v, std::move(picture));
    if (a >= 0) writer.add_chunk(a, tone_pcm16(48000, 2, 1920, 440.0, f * 1920));
  }
  writer.write(path);
  return path;
}

SourceLayout sized(int width, int height, int frames) {
  SourceLayout layout;
  layout.width = width;
  layout.height = height;
  layout.frames = frames;
  return layout;
}

void claim_frames(const std::string& path, std::uint32_t frames) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto patch = [&](std::size_t at) {
    file.seekp(static_cast<std::streamoff>(at));
    for (int i = 0; i < 4; ++i) file.put(static_cast<char>((frames >> (8 * i)) & 0xFF));
  };
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (std::memcmp(&bytes[i], "avih", 4) == 0) patch(i + 8 + 16);
    if (std::memcmp(&bytes[i], "strh", 4) == 0 && std::memcmp(&bytes[i + 8], "vids", 4) == 0)
      patch(i + 8 + 32);
  }
}

std::set<std::string> listing(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.insert(entry.path().filename().string());
  return names;
}

std::string run_command(const std::string& command, int* status) {
  std::string out;
  *status = -1;
  if (std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    const int raw = ::pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  return out;
}

int decoded_frames(const std::string& path) {
  int status = 0;
  const std::string out = run_command(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
      "-of csv=p=0 '" + path + "'", &status);
  if (status != 0 || out.empty()) return -1;
  return std::atoi(out.c_str());
}

std::string container_of(const std::string& path) {
  int status = 0;
  std::string out = run_command(
      "ffprobe -v error -show_entries format=format_name -of csv=p=0 '" + path + "'", &status);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace kavrol_test
