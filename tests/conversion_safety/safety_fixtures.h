// Sources and folder checks shared by the conversion-safety tests.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace kavrol_test {

// A raw 24-bit AVI with a moving picture and (when `sound`) a 48 kHz stereo
// tone, one sound chunk per frame.
struct SourceLayout {
  int width = 176;
  int height = 144;
  int frames = 12;
  bool sound = true;
  std::uint16_t sound_channels = 2;  // written into the header as it stands
  bool noise = false;                // pictures of noise, which no rate holds
};
std::string write_source(const std::string& path, const SourceLayout& layout = {});
SourceLayout sized(int width, int height, int frames);

// Sets the frame count the headers claim (main header and video stream header).
void claim_frames(const std::string& path, std::uint32_t frames);

// Names of everything in a folder (hidden files too).
std::set<std::string> listing(const std::string& folder);

// Frames FFmpeg decodes from a file's first video stream; -1 on failure.
int decoded_frames(const std::string& path);
// FFmpeg's name for a file's container ("mpeg", "mpegvideo"...).
std::string container_of(const std::string& path);

// Runs a shell command; its standard output and error, and its exit status.
std::string run_command(const std::string& command, int* status);

}  // namespace kavrol_test
