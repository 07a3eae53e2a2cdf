// kavrol-cli to-avi and codecs: the media-to-AVI job and its compressor
// lists, reached through the engine's slots as the desktop program does.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "corvexa/media_to_avi.h"
#include "engine_library.h"
#include "interrupts.h"
#include "job_events.h"
#include "quicktime_route.h"
#include "to_avi_command.h"

namespace kavrol {

namespace {

bool stop_asked() { return kavrol::interrupt_signal() != 0; }

// A finished run counts only with its output in place.
int report_output(const std::string& input, const std::string& made, double seconds) {
  struct stat st {};
  if (::stat(made.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "kavrol-cli: %s: the engine reported success but %s is missing\n",
                 input.c_str(), made.c_str());
    return 1;
  }
  std::printf("%s -> %s (%lld bytes, %.1f s)\n", input.c_str(), made.c_str(),
              static_cast<long long>(st.st_size), seconds);
  return 0;
}

class ToAviSink final : public corvexa::MediaToAviSink {
 public:
  void OnError(const char* text) override { events.finish(text != nullptr ? text : "failed", false); }
  void OnCompleted() override { events.finish("", true); }
  void OnActivated() override {}
  void OnCancelled() override { events.finish("cancelled", false); }
  void OnProgress(std::int32_t value) override { events.progress(value); }

  JobEvents events;
};

void draw_bar(int progress, double seconds) {
  if (progress < 0) progress = 0;
  const int percent = progress / 100;
  const int width = 30;
  std::string bar(static_cast<std::size_t>(percent * width / 100), '#');
  bar.append(static_cast<std::size_t>(width) - bar.size(), '-');
  char left[32] = "";
  if (progress >= 100 && progress < 10000) {
    const int rest = static_cast<int>(seconds * (10000 - progress) / progress + 0.5);
    std::snprintf(left, sizeof left, "  %d:%02d left", rest / 60, rest % 60);
  }
  std::fprintf(stderr, "\r  %-9s [%s] %3d%%%-14s", "to AVI", bar.c_str(), percent, left);
  std::fflush(stderr);
}

std::string utf16_to_utf8(const char16_t* text) {
  std::string out;
  for (; *text != u'\0'; ++text) {
    const char32_t c = *text;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

template <class Object, class NameAt>
std::vector<std::string> names_of(Object* object, int count, NameAt name_at) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    char16_t* name = nullptr;
    if ((object->*name_at)(i, &name) && name != nullptr) {
      names.push_back(utf16_to_utf8(name));
      std::free(name);
    }
  }
  return names;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The list entry `wanted` names: the whole name, the encoder in its
// parentheses ("mpeg4"), the start of the name or any part of it, ignoring
// case. "none" is
// the list's size, which stores the stream uncompressed; -1 when nothing fits.
int find_compressor(const std::vector<std::string>& names, const std::string& wanted) {
  const std::string w = lower(wanted);
  if (w == "none") return static_cast<int>(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    if (lower(names[i]) == w) return static_cast<int>(i);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (lower(names[i]).find("(" + w + ")") != std::string::npos) return static_cast<int>(i);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (lower(names[i]).rfind(w, 0) == 0) return static_cast<int>(i);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (lower(names[i]).find(w) != std::string::npos) return static_cast<int>(i);
  return -1;
}

std::string default_output(const std::string& input) {
  const std::size_t dot = input.rfind('.'), slash = input.rfind('/');
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = has_extension ? input.substr(0, dot) : input;
  // Never the source itself.
  return lower(has_extension ? input.substr(dot) : "") == ".avi" ? stem + "-converted.avi"
                                                                  : stem + ".avi";
}

struct ToAviOptions {
  bool divx = false;
  std::string video, audio;  // empty: the preset's choice
};

int convert_one(const EngineLibrary& engine, const std::string& input, const std::string& output,
                const ToAviOptions& options) {
  auto* job = static_cast<corvexa::MediaToAvi*>(engine.heap_factory("MEDIATOAVI")());
  if (job == nullptr) {
    std::fprintf(stderr, "kavrol-cli: the engine could not create a media-to-AVI job\n");
    return 1;
  }
  ToAviSink sink;
  job->SetSink(&sink);
  job->SetDialogParent(corvexa::headless_dialog_parent());
  if (options.divx && !job->SetCompressorPreset(corvexa::kPresetDivx)) {
    std::fprintf(stderr, "kavrol-cli: no DivX compressor on this machine\n");
    job->Release();
    return 1;
  }
  struct Choice {
    const std::string& wanted;
    int count;
    std::vector<std::string> names;
    bool (corvexa::MediaToAvi::*select)(std::int32_t);
    const char* kind;
  } choices[] = {
      {options.video, job->VideoCompressorCount(),
       names_of(job, job->VideoCompressorCount(), &corvexa::MediaToAvi::VideoCompressorName),
       &corvexa::MediaToAvi::SelectVideoCompressor, "video"},
      {options.audio, job->AudioCompressorCount(),
       names_of(job, job->AudioCompressorCount(), &corvexa::MediaToAvi::AudioCompressorName),
       &corvexa::MediaToAvi::SelectAudioCompressor, "audio"},
  };
  for (Choice& c : choices) {
    if (c.wanted.empty()) continue;
    const int index = find_compressor(c.names, c.wanted);
    if (index < 0) {
      std::fprintf(stderr, "kavrol-cli: no %s compressor '%s' (see kavrol-cli codecs)\n", c.kind,
                   c.wanted.c_str());
      job->Release();
      return 2;
    }
    (job->*c.select)(index);
  }
  if (!job->SetSourceFile(input.c_str())) {
    std::fprintf(stderr, "kavrol-cli: %s: not a media file this program can read\n", input.c_str());
    job->Release();
    return 1;
  }
  const std::string made = output.empty() ? default_output(input) : output;
  job->SetOutputFile(made.c_str());
  std::fprintf(stderr, "%s\n", input.c_str());
  const auto start = std::chrono::steady_clock::now();
  job->Start();
  int stage = 0, progress = 0;
  bool stopped = false;
  while (sink.events.wait(stage, progress)) {
    if (stop_asked()) {
      job->Stop();
      stopped = true;
      break;
    }
    draw_bar(progress, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  job->Release();  // waits for the worker; a stopped run's file is removed
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "\n");
  if (stopped || stop_asked()) {
    std::fprintf(stderr, "kavrol-cli: stopped; nothing of %s was kept\n", made.c_str());
    return kavrol::interrupted_status();
  }
  if (!sink.events.completed()) {
    std::fprintf(stderr, "kavrol-cli: %s: %s\n", input.c_str(), sink.events.error().c_str());
    return 1;
  }
  return report_output(input, made, total);
}

// A QuickTime, MP4 or Flash input, through libLumaport.so: MPEG-4 (DivX)
// video and MP3 sound.
int convert_movie(QuickTimeRoute& route, const std::string& input, const std::string& output) {
  const std::string made = output.empty() ? default_output(input) : output;
  std::fprintf(stderr, "%s\n", input.c_str());
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const int status = route.convert(input, made, stop_asked, [&](int value) { draw_bar(value, seconds()); });
  std::fprintf(stderr, "\n");
  if (stop_asked()) std::fprintf(stderr, "kavrol-cli: stopped; nothing of %s was kept\n", made.c_str());
  if (status != 0) return status;
  return report_output(input, made, seconds());
}

}  // namespace

int run_to_avi(int argc, char** argv, const char* usage) {
  ToAviOptions options;
  std::string output;
  std::vector<std::string> inputs;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--divx") {
      options.divx = true;
    } else if (a == "--video" && i + 1 < argc) {
      options.video = argv[++i];
    } else if (a == "--audio" && i + 1 < argc) {
      options.audio = argv[++i];
    } else if (a == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "kavrol-cli: unknown option '%s'\n%s", a.c_str(), usage);
      return 2;
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "kavrol-cli: to-avi needs an input\n%s", usage);
    return 2;
  }
  if (!output.empty() && inputs.size() != 1) {
    std::fprintf(stderr, "kavrol-cli: -o takes one input only\n");
    return 2;
  }
  start_interrupt_watcher();
  EngineLibrary engine;
  if (!engine.load()) {
    std::fprintf(stderr, "kavrol-cli: %s\n", engine.error().c_str());
    return 1;
  }
  int status = 0;
  QuickTimeRoute quicktime;
  for (const std::string& input : inputs) {
    // Compressors chosen on the command line are the engine job's to honour.
    const bool chosen = options.divx || !options.video.empty() || !options.audio.empty();
    const int one = !chosen && quicktime.takes(input) ? convert_movie(quicktime, input, output)
                                                      : convert_one(engine, input, output, options);
    if (stop_asked()) return interrupted_status();
    if (one == 2) return one;
    if (one != 0) status = 1;
  }
  return status;
}

int run_codecs(int argc, char** /*argv*/, const char* usage) {
  if (argc > 2) {
    std::fprintf(stderr, "kavrol-cli: codecs takes no arguments\n%s", usage);
    return 2;
  }
  EngineLibrary engine;
  if (!engine.load()) {
    std::fprintf(stderr, "kavrol-cli: %s\n", engine.error().c_str());
    return 1;
  }
  int status = 0;
  const struct {
    const char* title;
    bool (corvexa::CodecList::*enumerate)();
  } kinds[] = {{"Video compressors", &corvexa::CodecList::EnumerateVideoCompressors},
               {"Audio compressors", &corvexa::CodecList::EnumerateAudioCompressors}};
  for (const auto& kind : kinds) {
    auto* list = static_cast<corvexa::CodecList*>(engine.heap_factory("CODECLIST")());
    if (list == nullptr) return 1;
    std::printf("%s:\n", kind.title);
    if (!(list->*kind.enumerate)()) {
      std::printf("  (none)\n");
      status = 1;
    }
    for (const std::string& name : names_of(list, list->Count(), &corvexa::CodecList::NameAt))
      std::printf("  %s\n", name.c_str());
    list->Release();
  }
  std::printf("  (\"none\" stores a stream uncompressed: BGR 24-bit video, 16-bit PCM sound)\n");
  return status;
}

}  // namespace kavrol
