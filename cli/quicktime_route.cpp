#include "quicktime_route.h"

#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "engine_library.h"
#include "interrupts.h"
#include "lumaport/lumaport.h"

namespace kavrol {

namespace {

// The progress function is a plain function: what it hears is kept here.
struct Heard {
  std::mutex lock;
  std::condition_variable changed;
  int progress = 0;
  bool ended = false;
  int result = 0;
};
Heard g_heard;

void on_report(std::int32_t, const lumaport::ProgressReport* report) {
  std::lock_guard<std::mutex> hold(g_heard.lock);
  if (report->kind == lumaport::kReportProgress) {
    g_heard.progress = report->value;
  } else {
    g_heard.ended = true;
    g_heard.result = report->value;
  }
  g_heard.changed.notify_all();
}

// The desktop program's words for each end.
const char* result_text(int result) {
  switch (result) {
    case lumaport::kNotInstalled:
    case lumaport::kMinimalInstallation: return "the QuickTime support is not installed";
    case lumaport::kConvertError: return "Convert error!";
    case lumaport::kOpenFailed:
    case lumaport::kOpenFailedToo: return "Open the MOV file failed!";
    case lumaport::kInitialiseError: return "Initialize error!";
    default: return "failed";
  }
}

using Job = lumaport::QuickTimeJob;

}  // namespace

QuickTimeRoute::~QuickTimeRoute() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

bool QuickTimeRoute::load() {
  if (!tried_) {
    tried_ = true;
    const std::string path = program_folder() + "/libLumaport.so";
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  }
  return handle_ != nullptr && ::dlsym(handle_, "_NEW_LUMAPORT") != nullptr;
}

bool QuickTimeRoute::takes(const std::string& input) {
  if (!load()) return false;
  auto factory = reinterpret_cast<LumaportFactory>(::dlsym(handle_, "_NEW_LUMAPORT"));
  auto* job = static_cast<Job*>(factory());
  if (job == nullptr) return false;
  const bool taken = job->CanConvert(input.c_str()) != 0;
  job->Release();
  return taken;
}

int QuickTimeRoute::convert(const std::string& input, const std::string& output,
                            const std::function<bool()>& stop, const std::function<void(int)>& progress) {
  if (!load()) return 1;
  auto factory = reinterpret_cast<LumaportFactory>(::dlsym(handle_, "_NEW_LUMAPORT"));
  auto* job = static_cast<Job*>(factory());
  if (job == nullptr) {
    std::fprintf(stderr, "kavrol-cli: libLumaport.so could not create a job\n");
    return 1;
  }
  {
    std::lock_guard<std::mutex> hold(g_heard.lock);
    g_heard.progress = 0;
    g_heard.ended = false;
  }
  job->SetFiles(input.c_str(), output.c_str());
  job->SetWindow(nullptr, on_report);
  job->Start();
  bool stopped = false;
  std::unique_lock<std::mutex> hold(g_heard.lock);
  while (!g_heard.ended) {
    g_heard.changed.wait_for(hold, std::chrono::milliseconds(200));
    if (!stopped && stop()) {
      stopped = true;
      hold.unlock();
      job->Stop();  // waits; the end report comes before it returns
      hold.lock();
      continue;
    }
    const int value = g_heard.progress;
    hold.unlock();
    progress(value);
    hold.lock();
  }
  const int result = g_heard.result;
  hold.unlock();
  job->Release();
  if (stopped && result != lumaport::kCompleted) return kavrol::interrupted_status();
  if (result != lumaport::kCompleted) {
    std::fprintf(stderr, "\nkavrol-cli: %s: %s (KAVROL_LOG=stderr says why)\n", input.c_str(),
                 result_text(result));
    return 1;
  }
  progress(10000);
  return 0;
}

}  // namespace kavrol
