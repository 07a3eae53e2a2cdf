// Helpers of the media-to-AVI tests: a recording sink, running the job to
// its end, and what ffprobe says about a written file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "corvexa/media_to_avi.h"
#include "media_fixtures.h"

namespace to_avi_test {

class AviSink final : public corvexa::MediaToAviSink {
 public:
  void OnError(const char* text) override { note(&errors, text ? text : ""); }
  void OnCompleted() override { note(&completions, "completed"); }
  void OnActivated() override {}
  void OnCancelled() override { note(&cancels, "cancelled"); }
  void OnProgress(std::int32_t value) override {
    std::lock_guard<std::mutex> hold(lock_);
    progress.push_back(value);
  }
  // Waits for an end: an error, a completion or a cancel.
  bool wait_for_end(std::chrono::seconds limit = std::chrono::seconds(120));
  int ends();

  std::vector<std::string> errors, completions, cancels;
  std::vector<int> progress;

 private:
  void note(std::vector<std::string>* list, const std::string& text);
  std::mutex lock_;
  std::condition_variable changed_;
};

using Job = media_test::Owned<corvexa::MediaToAvi>;
Job make_job();

// One stream as ffprobe reports it.
struct ProbedStream {
  std::string type, codec, tag;
  double duration = 0;
  int packets = 0;
  int width = 0, height = 0, sample_rate = 0;
};
// The streams of `path`; empty when ffprobe cannot read it. `warnings`
// receives what ffprobe printed on its error output.
std::vector<ProbedStream> probe(const std::string& path, std::string* warnings = nullptr);
const ProbedStream* find_stream(const std::vector<ProbedStream>& streams, const std::string& type);

// The name at `index` of a MediaToAvi compressor list, as UTF-8.
std::string video_name(corvexa::MediaToAvi& job, int index);
std::string audio_name(corvexa::MediaToAvi& job, int index);
// The index of the entry whose name contains `part`; -1 when none does.
int find_video(corvexa::MediaToAvi& job, const std::string& part);
int find_audio(corvexa::MediaToAvi& job, const std::string& part);

bool file_exists(const std::string& path);
// Files in `folder`, names only, sorted.
std::vector<std::string> folder_files(const std::string& folder);

}  // namespace to_avi_test
