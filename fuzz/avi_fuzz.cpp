// libFuzzer target: open the input as an AVI file through ZELAVILIB and read
// every sample of every stream, directly and through the read-ahead.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/kinds.h"
#include "corvexa/zelavilib.h"

namespace {

void read_all(corvexa::AviStreamApi* stream, bool streaming) {
  if (streaming) stream->BeginStreaming(0, stream->End(), 1000 * 25);
  std::vector<std::uint8_t> buffer(1 << 16);
  const std::int32_t end = stream->End();
  int reads = 0;
  for (std::int32_t n = stream->Start(); n < end && reads < 20000; ++reads) {
    std::int32_t bytes = 0, samples = 0;
    std::int32_t r = stream->Read(n, -1, buffer.data(), static_cast<std::int32_t>(buffer.size()), &bytes, &samples);
    if (r == corvexa::kAviErrBufferTooSmall) {
      if (bytes <= 0 || bytes > (64 << 20)) break;
      buffer.resize(static_cast<std::size_t>(bytes));
      r = stream->Read(n, -1, buffer.data(), bytes, &bytes, &samples);
    }
    if (r != 0 || samples <= 0) {
      ++n;
      continue;
    }
    n += samples;
  }
  stream->IsKeyFrame(end / 2);
  stream->NearestKeyFrame(end / 2);
  stream->PrevKeyFrame(end);
  stream->NextKeyFrame(0);
  double a, d, j;
  stream->GetVariableBitrateInfo(&a, &d, &j);
  corvexa::AviStreamInfo info;
  stream->Info(&info, sizeof info);
  if (streaming) stream->EndStreaming();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* lib = static_cast<corvexa::Zelavilib*>(corvexa::core::construct_zelavilib());
  const int fd = memfd_create("avi", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  if (corvexa::AviFileApi* file = lib->Open(path)) {
    for (std::uint32_t type : {corvexa::fourcc("vids"), corvexa::fourcc("auds"), corvexa::fourcc("iavs")}) {
      for (int i = 0; i < 4; ++i) {
        corvexa::AviStreamApi* stream = file->GetStream(type, i);
        if (stream == nullptr) break;
        read_all(stream, false);
        read_all(stream, true);
        stream->Destroy(1);
      }
    }
    char hint[64];
    file->GetSegmentHint(hint, sizeof hint);
    if (corvexa::AviAudioSource* source = lib->OpenStream(file, 1)) {
      if (lib->IsOK(source)) {
        std::vector<std::uint8_t> buffer(4096);
        std::int32_t bytes = 0, samples = 0;
        lib->Read(source, source->start, 1024, buffer.data(), 4096, &bytes, &samples);
      }
      lib->CloseStream(source);
    }
    lib->Close(file);
  }
  close(fd);
  return 0;
}
