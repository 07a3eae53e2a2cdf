#include "mpeg/settings/run_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

namespace corvexa::mpeg {

namespace {

// Six characters from a generator seeded once per process; the counter keeps
// two names asked for at the same moment apart.
std::string random_part() {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned long long> counter{0};
  static const unsigned long long seed =
      std::random_device{}() ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::mt19937_64 generator(seed + 0x9E3779B97F4A7C15ull * ++counter);
  std::string part(6, 'a');
  for (char& c : part) c = kChars[generator() % (sizeof kChars - 1)];
  return part;
}

}  // namespace

std::string temporary_prefix() { return ".kavrol-" + std::to_string(::getpid()) + "-"; }

int create_unique_file(const std::string& folder, const std::string& tag, std::string& path) {
  const std::string start = (folder.empty() ? std::string(".") : folder) +
                            (folder.empty() || folder.back() != '/' ? "/" : "") +
                            temporary_prefix();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = start + random_part() + tag;
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      path = std::move(name);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool commit_outputs(std::vector<PendingOutput>& outputs, std::string& failed) {
  bool ok = true;
  for (PendingOutput& p : outputs) {
    if (ok && std::rename(p.temporary.c_str(), p.final_name.c_str()) != 0) {
      ok = false;
      failed = p.final_name;
    }
    if (!ok) ::unlink(p.temporary.c_str());
  }
  outputs.clear();
  return ok;
}

void discard_outputs(std::vector<PendingOutput>& outputs) {
  for (const PendingOutput& p : outputs) ::unlink(p.temporary.c_str());
  outputs.clear();
}

}  // namespace corvexa::mpeg
