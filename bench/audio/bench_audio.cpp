// Audio encoder speed (multiples of real time) and quality (SNR against the
// input, next to FFmpeg's MP2 encoder at the same rate).
// Usage: bench_audio PCM_FILE [RATE] [QUALITY_SECONDS]
//   PCM_FILE: 16-bit little-endian stereo at RATE (default 48000).
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio_encoder/audio_fixture.h"

using namespace audio_test;

namespace {

// Wall time of one run; `cpu` receives the process CPU time it took (the
// machine is shared, so CPU time is the steadier figure).
double encode(const std::vector<short>& pcm, int rate, int model, int kbps, const std::string& path,
              double* cpu = nullptr) {
  const std::clock_t c0 = std::clock();
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = encode_stereo(pcm, rate, model, kbps, path);
  const auto t1 = std::chrono::steady_clock::now();
  if (cpu) *cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  if (!ok) return -1.0;
  return std::chrono::duration<double>(t1 - t0).count();
}

double decoded_snr(const std::vector<short>& pcm, const std::string& path) {
  const Decoded d = decode_mpg123(path);
  return d.ok ? aligned_snr(pcm, d.pcm, 2, 1200) : -100.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PCM_FILE [RATE] [QUALITY_SECONDS]\n", argv[0]);
    return 2;
  }
  const int rate = argc > 2 ? std::atoi(argv[2]) : 48000;
  const double quality_seconds = argc > 3 ? std::atof(argv[3]) : 20.0;
  std::ifstream f(argv[1], std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<short> pcm(bytes.size() / 4 * 2);
  std::copy_n(bytes.data(), pcm.size() * 2, reinterpret_cast<char*>(pcm.data()));
  const double seconds = static_cast<double>(pcm.size()) / 2 / rate;
  std::printf("input: %.1f s stereo at %d Hz\n", seconds, rate);
  const std::string out = "/tmp/bench_audio_" + std::to_string(::getpid()) + ".mp2";

  std::printf("\nspeed, layer II, 224 kbit/s (best of 3):\n");
  for (int model : {1, 2}) {
    double best = 1e9, best_cpu = 1e9;
    for (int i = 0; i < 3; ++i) {
      double cpu = 0.0;
      const double t = encode(pcm, rate, model, 224, out, &cpu);
      if (t < 0) {
        std::printf("model %d: encoding failed\n", model);
        return 1;
      }
      best = std::min(best, t);
      best_cpu = std::min(best_cpu, cpu);
    }
    std::printf("  model %d: wall %.3f s = %.1fx real time; CPU %.3f s = %.1fx real time\n", model, best,
                seconds / best, best_cpu, seconds / best_cpu);
  }

  const std::size_t n = std::min(pcm.size(), static_cast<std::size_t>(quality_seconds * rate) * 2);
  const std::vector<short> excerpt(pcm.begin(), pcm.begin() + static_cast<long>(n));
  {
    std::ofstream raw(out + ".raw", std::ios::binary);
    raw.write(reinterpret_cast<const char*>(excerpt.data()), static_cast<std::streamsize>(excerpt.size() * 2));
  }
  std::printf("\nquality on the first %.1f s (SNR of the decoded signal, dB):\n", excerpt.size() / 2.0 / rate);
  std::printf("  kbit/s   model 1   model 2   ffmpeg mp2\n");
  for (int kbps : {384, 224, 192, 128, 96, 64}) {
    double snr[2];
    for (int model : {1, 2}) snr[model - 1] = encode(excerpt, rate, model, kbps, out) < 0 ? -100.0 : decoded_snr(excerpt, out);
    const std::string cmd = "ffmpeg -v error -nostdin -y -f s16le -ar " + std::to_string(rate) + " -ac 2 -i '" + out +
                            ".raw' -c:a mp2 -b:a " + std::to_string(kbps) + "k '" + out + ".ref.mp2'";
    const double ref = std::system(cmd.c_str()) == 0 ? decoded_snr(excerpt, out + ".ref.mp2") : -100.0;
    std::printf("  %6d   %7.2f   %7.2f   %10.2f\n", kbps, snr[0], snr[1], ref);
  }
  std::remove(out.c_str());
  std::remove((out + ".raw").c_str());
  std::remove((out + ".ref.mp2").c_str());
  return 0;
}
