// AVI reader benchmark: avi_bench make FILE [GiB] | avi_bench read FILE
// "make" writes a two-stream AVI with idx1 whose chunk data are holes
// (sparse); "read" times opening and a sequential streaming read of each stream.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "avi/avi_reader.h"
#include "avi/reader_error.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kVideo = 100000, kAudio = 7056;

void put(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void cc(std::vector<std::uint8_t>& b, const char* s) { b.insert(b.end(), s, s + 4); }

int make(const char* path, double gib) {
  const std::uint64_t frames = static_cast<std::uint64_t>(gib * (1u << 30) / (kVideo + kAudio + 16));
  std::vector<std::uint8_t> h;
  cc(h, "RIFF"); put(h, 0); cc(h, "AVI ");
  cc(h, "LIST"); put(h, 4 + 2 * (12 + 8 + 56 + 8 + 40) - 8 + 8 - 8); cc(h, "hdrl");
  const char* types[2] = {"vids", "auds"};
  for (int s = 0; s < 2; ++s) {
    const bool audio = s == 1;
    cc(h, "LIST"); put(h, 4 + 8 + 56 + 8 + (audio ? 18 : 40)); cc(h, "strl");
    cc(h, "strh"); put(h, 56); cc(h, types[s]); cc(h, audio ? "\0\0\0\0" : "XVID");
    put(h, 0); put(h, 0); put(h, 0); put(h, 1); put(h, audio ? 44100 : 25); put(h, 0);
    put(h, static_cast<std::uint32_t>(frames)); put(h, 0); put(h, 0); put(h, audio ? 4 : 0); put(h, 0); put(h, 0);
    cc(h, "strf"); put(h, audio ? 18 : 40);
    if (audio) { put(h, 0x00020001); put(h, 44100); put(h, 176400); put(h, 0x00100004); h.push_back(0); h.push_back(0); }
    else { put(h, 40); put(h, 320); put(h, 240); put(h, 0x00180001); cc(h, "XVID"); for (int i = 0; i < 5; ++i) put(h, 0); }
  }
  // Fix the hdrl size now that it is known.
  const std::uint32_t hdrl = static_cast<std::uint32_t>(h.size() - 20);
  std::memcpy(h.data() + 16, &hdrl, 4);
  const std::uint64_t movi_start = h.size() + 12;
  const std::uint64_t movi_size = 4 + frames * (kVideo + kAudio + 16);
  cc(h, "LIST"); put(h, static_cast<std::uint32_t>(movi_size)); cc(h, "movi");
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) { std::perror(path); return 1; }
  if (::pwrite(fd, h.data(), h.size(), 0) < 0) return 1;
  std::vector<std::uint8_t> idx;
  std::uint64_t pos = movi_start;
  for (std::uint64_t f = 0; f < frames; ++f) {
    for (int s = 0; s < 2; ++s) {
      const std::uint32_t size = s ? kAudio : kVideo;
      std::vector<std::uint8_t> c;
      cc(c, s ? "01wb" : "00dc"); put(c, size);
      if (::pwrite(fd, c.data(), 8, static_cast<off_t>(pos)) != 8) return 1;
      cc(idx, s ? "01wb" : "00dc"); put(idx, f % 25 == 0 || s ? 0x10 : 0); put(idx, static_cast<std::uint32_t>(pos - movi_start + 4)); put(idx, size);
      pos += 8 + size;
    }
  }
  std::vector<std::uint8_t> tail;
  cc(tail, "idx1"); put(tail, static_cast<std::uint32_t>(idx.size()));
  tail.insert(tail.end(), idx.begin(), idx.end());
  if (::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(pos)) < 0) return 1;
  const std::uint32_t riff = static_cast<std::uint32_t>(pos + tail.size() - 8);
  if (::pwrite(fd, &riff, 4, 4) != 4) return 1;
  ::close(fd);
  std::printf("wrote %s: %llu frames, %.2f GiB\n", path, static_cast<unsigned long long>(frames),
              static_cast<double>(pos + tail.size()) / (1u << 30));
  return 0;
}

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int read(const char* path) {
  try {
    auto t0 = Clock::now();
    corvexa::avi::AviReader* f = corvexa::avi::AviReader::open(path);
    std::printf("open + index: %.3f s\n", seconds(t0));
    for (const char* type : {"vids", "auds"}) {
      corvexa::AviStreamApi* s = f->GetStream(corvexa::fourcc(type[0] == 'v' ? "vids" : "auds"), 0);
      s->BeginStreaming(0, s->End(), 25000);
      std::vector<std::uint8_t> buf(1 << 20);
      std::uint64_t total = 0;
      t0 = Clock::now();
      for (std::int32_t n = 0; n < s->End();) {
        std::int32_t bytes = 0, samples = 0;
        if (s->Read(n, type[0] == 'v' ? 1 : 1764, buf.data(), 1 << 20, &bytes, &samples) != 0 || samples <= 0) {
          std::printf("read failed at %d\n", n);
          break;
        }
        total += static_cast<std::uint64_t>(bytes);
        n += samples;
      }
      const double t = seconds(t0);
      std::printf("%s stream: %.1f MB in %.2f s = %.1f MB/s\n", type, total / 1e6, t, total / 1e6 / t);
      s->Destroy(1);
    }
    f->Release();
  } catch (const corvexa::avi::ReaderError& e) {
    std::printf("error: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "make") return make(argv[2], argc > 3 ? std::atof(argv[3]) : 2.0);
  if (argc == 3 && std::string(argv[1]) == "read") return read(argv[2]);
  std::fprintf(stderr, "usage: %s make FILE [GiB] | read FILE\n", argv[0]);
  return 2;
}
