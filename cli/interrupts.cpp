#include "interrupts.h"

#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

namespace kavrol {

namespace {

std::atomic<int> g_signal{0};
std::mutex g_folder_lock;
std::string g_folder;

// The engine names everything it writes before the output is finished
// ".kavrol-<pid>-...", beside the output.
void remove_unfinished_files() {
  std::string folder;
  {
    std::lock_guard<std::mutex> hold(g_folder_lock);
    folder = g_folder;
  }
  if (folder.empty()) return;
  const std::string prefix = ".kavrol-" + std::to_string(::getpid()) + "-";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) == 0) ::unlink((folder + "/" + name).c_str());
  }
  ::closedir(dir);
}

sigset_t watched() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

void watch() {
  const sigset_t set = watched();
  while (true) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    int expected = 0;
    if (g_signal.compare_exchange_strong(expected, sig)) {
      std::fprintf(stderr, "\nkavrol-cli: stopping (press Ctrl-C again to quit at once)\n");
      continue;
    }
    remove_unfinished_files();
    std::fprintf(stderr, "\nkavrol-cli: quit before the conversion stopped\n");
    ::_exit(interrupted_status());
  }
}

}  // namespace

void start_interrupt_watcher() {
  const sigset_t set = watched();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(watch).detach();
}

int interrupt_signal() { return g_signal.load(); }

int interrupted_status() { return g_signal.load() == SIGTERM ? 143 : 130; }

void set_output_folder(const std::string& folder) {
  std::lock_guard<std::mutex> hold(g_folder_lock);
  g_folder = folder;
}

}  // namespace kavrol
