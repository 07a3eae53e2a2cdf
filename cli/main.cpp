// kavrol-cli: converts AVI files to MPEG from the command line. It reaches the
// engine exactly as the desktop program does: libCorvexaDll.so loaded from
// beside it, objects from its factories, operations through their slots.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "corvexa/avi_to_mpeg.h"
#include "corvexa/mpeg_encoder.h"
#include "engine_library.h"
#include "file_checks.h"
#include "info_command.h"
#include "interrupts.h"
#include "job_events.h"
#include "to_avi_command.h"

namespace {

constexpr const char* kVersion = "0.1.0";

const char* kUsage =
    "Usage:\n"
    "  kavrol-cli convert --target mpeg1|vcd|mpeg2|svcd|dvd [--pal|--ntsc] [--keep-source]\n"
    "                     INPUT... [-o OUTPUT]\n"
    "  kavrol-cli info [--crlf] FILE...\n"
    "  kavrol-cli to-avi [--divx] [--video NAME] [--audio NAME] INPUT... [-o OUTPUT]\n"
    "  kavrol-cli codecs\n"
    "  kavrol-cli --help\n"
    "  kavrol-cli --version\n"
    "\n"
    "convert  Converts each INPUT (AVI, or any media file FFmpeg plays), one after\n"
    "         another, into an MPEG program stream (or a single elementary stream\n"
    "         when the source has only video or only sound). NTSC presets for\n"
    "         sources at 29.97, 59.94, 23.976 or 24 fps, PAL for the rest, unless\n"
    "         --pal or --ntsc is given. VideoCD, SuperVCD and DVD outputs get the\n"
    "         disc's picture size, rate and sound, with a line for each change;\n"
    "         --keep-source codes the source as it is.\n"
    "         Without -o the output is the input's name with \".mpg\" (\".mp2\" for\n"
    "         sound alone); -o takes one input only.\n"
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
    "succeeded, 1 when one failed, 2 for a usage error, 130 after Ctrl-C and 143\n"
    "after SIGTERM (a second Ctrl-C quits at once).\n"
    "Set KAVROL_LOG=stderr (or a file name) to see the encoder's messages.\n";

int target_kind(const std::string& name) {
  if (name == "mpeg1") return corvexa::kTargetMpeg1;
  if (name == "vcd") return corvexa::kTargetVideoCd;
  if (name == "mpeg2") return corvexa::kTargetMpeg2;
  if (name == "svcd") return corvexa::kTargetSuperVcd;
  if (name == "dvd") return corvexa::kTargetDvd;
  return -1;
}

// The input's name with its extension replaced by ".mpg", as the engine names it.
std::string default_output(const std::string& input) {
  const std::size_t dot = input.rfind('.'), slash = input.rfind('/');
  return (dot != std::string::npos && (slash == std::string::npos || dot > slash))
             ? input.substr(0, dot) + ".mpg"
             : input + ".mpg";
}

// Passes the job's events on from its worker thread.
class CliSink final : public corvexa::ConvertSink {
 public:
  void OnError(const char* text) override { events.finish(text ? text : "Convert Error", false); }
  // The engine announces each stage as it begins.
  void OnSpare(std::int32_t stage) override { events.stage(stage); }
  void OnCompleted() override { events.finish("", true); }
  void OnProgress(std::int32_t value) override { events.progress(value); }

  kavrol::JobEvents events;
};

// One line of progress: the stage, a bar, the percentage and, once the stage
// has moved a little, the time it still needs at its pace so far.
void draw_progress(int stage, int progress, double stage_seconds) {
  const char* name = stage == corvexa::kConvertStageAudio       ? "audio"
                     : stage == corvexa::kConvertStageMultiplex ? "multiplex"
                                                                : "video";
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
struct ConvertOptions {
  int kind = -1;
  bool pal = true;
  bool standard_given = false;  // --pal or --ntsc
  bool keep_source = false;
};

int convert_one(const kavrol::EngineLibrary& engine, const std::string& input,
                const std::string& output, const ConvertOptions& options) {
  const std::string planned = output.empty() ? default_output(input) : output;
  if (const std::string refusal = kavrol::refuse_paths(input, planned); !refusal.empty()) {
    std::fprintf(stderr, "kavrol-cli: %s\n", refusal.c_str());
    return 1;
  }
  kavrol::set_output_folder(kavrol::folder_of(planned));
  auto* job = static_cast<corvexa::AviToMpegJob*>(engine.heap_factory("AVITOMPEG")());
  if (job == nullptr) {
    std::fprintf(stderr, "kavrol-cli: the engine could not create a conversion job\n");
    return 1;
  }
  CliSink sink;
  job->SetTarget(options.kind, options.pal ? 1 : 0);
  job->SetStandardFromSource(options.standard_given ? 0 : 1);
  job->SetConforming(options.keep_source ? 0 : 1);
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
  // What conforming changes, before the run gets going.
  for (std::string changes = job->Adjustments(); !changes.empty();) {
    const std::size_t end = changes.find('\n');
    std::fprintf(stderr, "  %s\n", changes.substr(0, end).c_str());
    changes = end == std::string::npos ? "" : changes.substr(end + 1);
  }
  // The engine names the output it makes (sound alone becomes ".mp2").
  const std::string made = *job->OutputPath() != '\0' ? std::string(job->OutputPath()) : planned;
  int stage = 0, progress = 0, shown_stage = 0;
  auto stage_start = start;
  bool stopping = false;
  while (sink.events.wait(stage, progress)) {
    if (kavrol::interrupt_signal() != 0 && !stopping) {
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
  // The engine's reason, read before the job goes.
  const std::string reason = sink.events.completed() ? "" : job->LastError();
  job->Release();  // waits for the worker
  std::fprintf(stderr, "\n");
  if (stopping || kavrol::interrupt_signal() != 0) {
    std::fprintf(stderr, "kavrol-cli: stopped; nothing of %s was kept\n", made.c_str());
    return kavrol::interrupted_status();
  }
  if (!sink.events.completed()) {
    std::fprintf(stderr, "kavrol-cli: %s: %s\n", input.c_str(), sink.events.error().c_str());
    if (!reason.empty()) std::fprintf(stderr, "kavrol-cli: %s\n", reason.c_str());
    return 1;
  }
  struct stat st {};
  if (::stat(made.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "kavrol-cli: %s: the engine reported success but %s is missing\n",
                 input.c_str(), made.c_str());
    return 1;
  }
  const long long bytes = static_cast<long long>(st.st_size);
  std::printf("%s -> %s (%lld bytes, %.1f s)\n", input.c_str(), made.c_str(), bytes, total);
  return 0;
}

int run_convert(int argc, char** argv) {
  ConvertOptions options;
  int& kind = options.kind;
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
    } else if (a == "--ntsc" || a == "--pal") {
      options.pal = a == "--pal";
      options.standard_given = true;
    } else if (a == "--keep-source") {
      options.keep_source = true;
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
  kavrol::start_interrupt_watcher();
  kavrol::EngineLibrary engine;
  if (!engine.load()) {
    std::fprintf(stderr, "kavrol-cli: %s\n", engine.error().c_str());
    return 1;
  }
  int status = 0;
  for (const std::string& input : inputs) {
    int one = convert_one(engine, input, output, options);
    if (kavrol::interrupt_signal() != 0) return kavrol::interrupted_status();
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
