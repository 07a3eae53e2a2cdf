#include "core/source_checks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/factory.h"
#include "core/kinds.h"
#include "corvexa/zelavilib.h"
#include "platform/avi_services.h"

namespace corvexa::core {

std::string input_refusal(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) return {};
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  return "it is not a regular file";
}

std::string output_refusal(const std::string& input, const std::string& output) {
  struct stat out {};
  if (::stat(output.c_str(), &out) != 0) return {};  // a new file
  struct stat in {};
  if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
    return "the output is the input file";
  if (S_ISDIR(out.st_mode)) return "the output is a folder";
  if (!S_ISREG(out.st_mode)) return "the output exists and is not a regular file";
  return {};
}

std::int64_t indexed_video_frames(const std::string& path) {
  auto* lib = static_cast<Zelavilib*>(make_heap_object(construct_zelavilib));
  if (lib == nullptr) return -1;
  std::int64_t frames = -1;
  if (AviFileApi* file = lib->Open(path.c_str())) {
    if (AviStreamApi* stream = file->GetStream(fourcc("vids"), 0)) {
      frames = stream->End();
      stream->Destroy(1);
    }
    lib->Close(file);
  }
  lib->Release();
  return frames;
}

std::string sound_drop_reason(const std::string& path) {
  std::shared_ptr<platform::AviFile> file = platform::AviFile::open(path);
  std::shared_ptr<platform::AviStream> stream =
      file ? file->get_stream(kStreamTypeAudio, 0) : nullptr;
  if (!stream) return "its sound cannot be read";
  const std::vector<std::uint8_t>& format = stream->format();
  WaveFormat wf{};
  if (format.size() < 16) return "its sound has no usable format header";
  std::memcpy(&wf, format.data(), std::min(format.size(), sizeof wf));
  char text[160];
  if (wf.channels == 0)
    std::snprintf(text, sizeof text, "its sound header gives 0 channels");
  else if (wf.samples_per_sec == 0)
    std::snprintf(text, sizeof text, "its sound header gives a rate of 0 Hz");
  else
    std::snprintf(text, sizeof text,
                  "its sound (format 0x%04X, %u channels, %u Hz, %u bits) cannot be decoded",
                  wf.format_tag, wf.channels, wf.samples_per_sec, wf.bits_per_sample);
  return text;
}

}  // namespace corvexa::core
