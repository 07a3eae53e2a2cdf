// kavrol-cli: converts AVI files to MPEG from the command line. It reaches the
// engine exactly as the desktop program does: libCorvexaDll.so loaded from
// beside it, objects from its factories, operations through their slots.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "corvexa/avi_to_mpeg.h"
#include "corvexa/mpeg_encoder.h"
#include "engine_library.h"
#include "info_command.h"
#include "to_avi_command.h"

namespace {

constexpr const char* kVersion = "0.1.0";

const char* kUsage =
    "Usage:\n"
    "  kavrol-cli convert --target mpeg1|vcd|mpeg2|svcd|dvd [--ntsc] INPUT... [-o OUTPUT]\n"
    "  kavrol-cli info [--crlf] FILE...\n"
    "  kavrol-cli to-avi [--divx] [--video NAME] [--audio NAME] INPUT... [-o OUTPUT]\n"
    "  kavrol-cli codecs\n"
    "  kavrol-cli --help\n"
    "  kavrol-cli --version\n"
    "\n"
    "convert  Converts each AVI INPUT, one after another, into an MPEG program stream\n"
    "         (or a single elementary stream when the source has only video or only\n"
    "         sound). PAL presets unless --ntsc is given. Without -o the output is\n"
    "         the input's name with \".mpg\"; -o takes one input only.\n"
    "\n"
    "info     Prints the information report of each FILE (any media file), as the\n"
    "         desktop program shows it; --crlf keeps the engine's CR LF line ends.\n"
    "\n"
    "to-avi   Converts each INPUT (any media file) into an AVI file, as \"ALL to AVI\"\n"
    "         does, or \"ALL to DivX\" with --divx. --video and --audio choose a\n"
    "         compressor by name, by the encoder in its parentheses or by the start\n"
    "         of its name; \"none\" stores the stream uncompressed. Without -o the\n"
    "         output is the input's name with \".avi\".\n"
    "         QuickTime, MP4 and Flash files (by content) go through libLumaport.so\n"
    "         (MPEG-4 DivX video, MP3 sound) unless compressors are chosen.\n"
    "\n"
    "codecs   Lists the video and audio compressors to-avi can use.\n"
    "\n"
    "Progress goes to standard error. The exit status is 0 when every conversion\n"
    "succeeded, 1 when one failed, 2 for a usage error and 130 when interrupted.\n"
    "Set KAVROL_LOG=stderr (or a file name) to see the encoder's messages.\n";

std::atomic<bool> g_interrupted{false};

void on_interrupt(int) { g_interrupted = true; }

int target_kind(const std::string& name) {
  if (name == "mpeg1") return corvexa::kTargetMpeg1;
  if (name == "vcd") return corvexa::kTargetVideoCd;
  if (name == "mpeg2") return corvexa::kTargetMpeg2;
  if (name == "svcd") return corvexa::kTargetSuperVcd;
  if (name == "dvd") return corvexa::kTargetDvd;
  return -1;
}

// Collects the job's events from its worker thread.
class CliSink final : public corvexa::ConvertSink {
 public:
  void OnError(const char* text) override {
    std::lock_guard<std::mutex> hold(lock_);
    error_ = text ? text : "Convert Error";
    finished_ = true;
    changed_.notify_all();
  }
  void OnSpare(std::int32_t) override {}
  void OnCompleted() override {
    std::lock_guard<std::mutex> hold(lock_);
    completed_ = true;
    finished_ = true;
    changed_.notify_all();
  }
  void OnProgress(std::int32_t value) override {
    std::lock_guard<std::mutex> hold(lock_);
    // Each stage counts from 0 again: a drop marks the next stage.
    if (value >= 0 && value < last_progress_) ++stage_;
    if (value >= 0) last_progress_ = value;
    progress_ = value;
    changed_.notify_all();
  }

  // Waits for news; false when the run has finished.
  bool wait(int& stage, int& progress) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(200));
    stage = stage_;
    progress = progress_;
    return !finished_;
  }
  bool completed() {
    std::lock_guard<std::mutex> hold(lock_);
    return completed_;
  }
  std::string error() {
    std::lock_guard<std::mutex> hold(lock_);
    return error_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool finished_ = false, completed_ = false;
  std::string error_;
  int stage_ = 0;
  int last_progress_ = 0;
  int progress_ = 0;
};

// One line of progress: the stage, a bar, the percentage and, once the stage
// has moved a little, the time it still needs at its pace so far.
void draw_progress(int stage, int progress, double stage_seconds) {
  // The multiplexer counts from 0 again for each of its passes (scanning
  // each stream, packing, scan offsets): all of them are "multiplex".
  static const char* kStages[] = {"video", "audio", "multiplex"};
  const char* name = kStages[stage < 2 ? stage : 2];
  if (progress < 0) progress = 0;
  const int percent = progress / 100;
  const int width = 30;
  const int filled = percent * width / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(width - filled), '-');
  char left[32] = "";
  if (progress >= 100 && progress < 10000) {
    const int seconds = static_cast<int>(stage_seconds * (10000 - progress) / progress + 0.5);
    std::snprintf(left, sizeof left, "  %d:%02d left", seconds / 60, seconds % 60);
  }
  std::fprintf(stderr, "\r  %-9s [%s] %3d%%%-14s", name, bar.c_str(), percent, left);
  std::fflush(stderr);
}

// Converts one file; returns the exit status for it.
int convert_one(const kavrol::EngineLibrary& engine, const std::string& input,
                const std::string& output, int kind, bool pal) {
  auto* job = static_cast<corvexa::AviToMpegJob*>(engine.heap_factory("AVITOMPEG")());
  if (job == nullptr) {
    std::fprintf(stderr, "kavrol-cli: the engine could not create a conversion job\n");
    return 1;
  }
  CliSink sink;
  job->SetTarget(kind, pal ? 1 : 0);
  job->SetSink(&sink);
  if (!job->SetSourceFile(input.c_str())) {
    std::fprintf(stderr, "kavrol-cli: %s: path too long\n", input.c_str());
    job->Release();
    return 1;
  }
  job->SetOutputFile(output.c_str());
  std::fprintf(stderr, "%s\n", input.c_str());
  const auto start = std::chrono::steady_clock::now();
  job->Start();
  int stage = 0, progress = 0, shown_stage = 0;
  auto stage_start = start;
  bool stopping = false;
  while (sink.wait(stage, progress)) {
    if (g_interrupted && !stopping) {
      job->Stop();
      stopping = true;
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (stage != shown_stage) {
      shown_stage = stage;
      stage_start = now;
    }
    draw_progress(stage, progress, std::chrono::duration<double>(now - stage_start).count());
  }
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  job->Release();  // waits for the worker
  std::fprintf(stderr, "\n");
  if (stopping || g_interrupted) {
    std::fprintf(stderr, "kavrol-cli: stopped\n");
    return 130;
  }
  if (!sink.completed()) {
    std::fprintf(stderr, "kavrol-cli: %s: %s\n", input.c_str(), sink.error().c_str());
    // Pictures are coded at the source's size; a VideoCD stream must keep to
    // the constrained parameters, which larger sources break without a word.
    if (kind == corvexa::kTargetVideoCd)
      std::fprintf(stderr,
                   "kavrol-cli: note: VideoCD needs a source picture of at most 396 macroblocks "
                   "(352x288 PAL, 352x240 NTSC); sources are not scaled\n");
    return 1;
  }
  std::string made = output;
  if (made.empty()) {
    std::size_t dot = input.rfind('.'), slash = input.rfind('/');
    made = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
               ? input.substr(0, dot) + ".mpg"
               : input + ".mpg";
  }
  struct stat st {};
  long long bytes = ::stat(made.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  std::printf("%s -> %s (%lld bytes, %.1f s)\n", input.c_str(), made.c_str(), bytes, total);
  return 0;
}

int run_convert(int argc, char** argv) {
  int kind = -1;
  bool pal = true;
  std::string output;
  std::vector<std::string> inputs;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--target" && i + 1 < argc) {
      kind = target_kind(argv[++i]);
      if (kind < 0) {
        std::fprintf(stderr, "kavrol-cli: unknown target '%s'\n%s", argv[i], kUsage);
        return 2;
      }
    } else if (a == "--ntsc") {
      pal = false;
    } else if (a == "--pal") {
      pal = true;
    } else if (a == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "kavrol-cli: unknown option '%s'\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      inputs.push_back(a);
    }
  }
  if (kind < 0 || inputs.empty()) {
    std::fprintf(stderr, "kavrol-cli: convert needs --target and an input\n%s", kUsage);
    return 2;
  }
  if (!output.empty() && inputs.size() != 1) {
    std::fprintf(stderr, "kavrol-cli: -o takes one input only\n");
    return 2;
  }
  kavrol::EngineLibrary engine;
  if (!engine.load()) {
    std::fprintf(stderr, "kavrol-cli: %s\n", engine.error().c_str());
    return 1;
  }
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  int status = 0;
  for (const std::string& input : inputs) {
    int one = convert_one(engine, input, output, kind, pal);
    if (one == 130) return 130;
    if (one != 0) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("kavrol-cli %s\n", kVersion);
    return 0;
  }
  if (command == "convert") return run_convert(argc, argv);
  if (command == "info") return kavrol::run_info(argc, argv, kUsage);
  if (command == "to-avi") return kavrol::run_to_avi(argc, argv, kUsage);
  if (command == "codecs") return kavrol::run_codecs(argc, argv, kUsage);
  std::fprintf(stderr, "kavrol-cli: unknown command '%s'\n%s", command.c_str(), kUsage);
  return 2;
}
