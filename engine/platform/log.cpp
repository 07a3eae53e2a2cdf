#include "platform/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace corvexa::platform {

namespace {

struct LogTarget {
  std::mutex lock;
  std::FILE* file = nullptr;
  bool owned = false;

  LogTarget() {
    const char* where = std::getenv("KAVROL_LOG");
    if (where == nullptr || *where == '\0') return;
    if (std::strcmp(where, "stderr") == 0 || std::strcmp(where, "-") == 0) {
      file = stderr;
    } else {
      file = std::fopen(where, "a");
      owned = file != nullptr;
    }
  }
  ~LogTarget() {
    if (owned) std::fclose(file);
  }
};

LogTarget& target() {
  static LogTarget instance;
  return instance;
}

}  // namespace

bool log_enabled() { return target().file != nullptr; }

void log_line(const char* text) {
  LogTarget& t = target();
  if (t.file == nullptr) return;
  std::lock_guard<std::mutex> hold(t.lock);
  std::size_t n = std::strlen(text);
  std::fwrite(text, 1, n, t.file);
  if (n == 0 || text[n - 1] != '\n') std::fputc('\n', t.file);
  std::fflush(t.file);
}

void notice(const char* text) {
  LogTarget& t = target();
  std::lock_guard<std::mutex> hold(t.lock);
  std::fprintf(stderr, "kavrol: note: %s\n", text);
  std::fflush(stderr);
  if (t.file != nullptr && t.file != stderr) {
    std::fprintf(t.file, "note: %s\n", text);
    std::fflush(t.file);
  }
}

}  // namespace corvexa::platform
