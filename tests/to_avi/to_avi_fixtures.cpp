#include "to_avi_fixtures.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/kinds.h"

namespace to_avi_test {

void AviSink::note(std::vector<std::string>* list, const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  list->push_back(text);
  changed_.notify_all();
}

bool AviSink::wait_for_end(std::chrono::seconds limit) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, limit, [&] {
    return !errors.empty() || !completions.empty() || !cancels.empty();
  });
}

int AviSink::ends() {
  std::lock_guard<std::mutex> hold(lock_);
  return static_cast<int>(errors.size() + completions.size() + cancels.size());
}

Job make_job() {
  return media_test::make_object<corvexa::MediaToAvi>(corvexa::core::construct_mediatoavi);
}

std::vector<ProbedStream> probe(const std::string& path, std::string* warnings) {
  const std::string errors_file = path + ".probe-errors";
  int status = 0;
  const std::string out = media_test::command_output(
      "ffprobe -v warning -count_packets -show_entries "
      "stream=codec_type,codec_name,codec_tag_string,duration,nb_read_packets,width,height,"
      "sample_rate -of default=nw=1 '" + path + "' 2>'" + errors_file + "'",
      &status);
  if (warnings != nullptr) *warnings = media_test::command_output("cat '" + errors_file + "'");
  std::filesystem::remove(errors_file);
  std::vector<ProbedStream> streams;
  if (status != 0) return streams;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") streams.emplace_back();
    if (streams.empty()) continue;
    ProbedStream& s = streams.back();
    if (key == "codec_name") s.codec = value;
    if (key == "codec_type") s.type = value;
    if (key == "codec_tag_string") s.tag = value;
    if (key == "duration" && value != "N/A") s.duration = std::atof(value.c_str());
    if (key == "nb_read_packets" && value != "N/A") s.packets = std::atoi(value.c_str());
    if (key == "width") s.width = std::atoi(value.c_str());
    if (key == "height") s.height = std::atoi(value.c_str());
    if (key == "sample_rate") s.sample_rate = std::atoi(value.c_str());
  }
  return streams;
}

const ProbedStream* find_stream(const std::vector<ProbedStream>& streams, const std::string& type) {
  for (const auto& s : streams)
    if (s.type == type) return &s;
  return nullptr;
}

namespace {

std::string take(char16_t* name) {
  std::string out;
  if (name == nullptr) return out;
  for (const char16_t* p = name; *p != u'\0'; ++p) out += static_cast<char>(*p);
  std::free(name);
  return out;
}

template <class NameAt>
int find_in(corvexa::MediaToAvi& job, int count, NameAt name_at, const std::string& part) {
  for (int i = 0; i < count; ++i) {
    char16_t* name = nullptr;
    if ((job.*name_at)(i, &name) && take(name).find(part) != std::string::npos) return i;
  }
  return -1;
}

}  // namespace

std::string video_name(corvexa::MediaToAvi& job, int index) {
  char16_t* name = nullptr;
  return job.VideoCompressorName(index, &name) ? take(name) : std::string();
}
std::string audio_name(corvexa::MediaToAvi& job, int index) {
  char16_t* name = nullptr;
  return job.AudioCompressorName(index, &name) ? take(name) : std::string();
}
int find_video(corvexa::MediaToAvi& job, const std::string& part) {
  return find_in(job, job.VideoCompressorCount(), &corvexa::MediaToAvi::VideoCompressorName, part);
}
int find_audio(corvexa::MediaToAvi& job, const std::string& part) {
  return find_in(job, job.AudioCompressorCount(), &corvexa::MediaToAvi::AudioCompressorName, part);
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> folder_files(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace to_avi_test
