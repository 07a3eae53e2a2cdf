#include "job_events.h"

#include <mutex>

namespace kavrol {
namespace {

QString engine_text(const char* text) { return text != nullptr ? QString::fromUtf8(text) : QString(); }

std::mutex& listener_lock() {
  static std::mutex lock;
  return lock;
}
const EventRelay*& listener() {
  static const EventRelay* relay = nullptr;
  return relay;
}

}  // namespace

void AviToMpegEvents::OnError(const char* text) {
  const QString words = engine_text(text);
  relay_.post([words](JobEventReceiver& r) { r.jobFailed(words); });
}
void AviToMpegEvents::OnCompleted() { relay_.post([](JobEventReceiver& r) { r.jobCompleted(); }); }
void AviToMpegEvents::OnProgress(std::int32_t value) {
  relay_.post([value](JobEventReceiver& r) { r.jobProgress(value); });
}

void MediaToAviEvents::OnError(const char* text) {
  const QString words = engine_text(text);
  relay_.post([words](JobEventReceiver& r) { r.jobFailed(words); });
}
void MediaToAviEvents::OnCompleted() { relay_.post([](JobEventReceiver& r) { r.jobCompleted(); }); }
void MediaToAviEvents::OnCancelled() { relay_.post([](JobEventReceiver& r) { r.jobCancelled(); }); }
void MediaToAviEvents::OnProgress(std::int32_t value) {
  relay_.post([value](JobEventReceiver& r) { r.jobProgress(value); });
}

void set_quicktime_listener(const EventRelay* relay) {
  std::lock_guard<std::mutex> hold(listener_lock());
  listener() = relay;
}

void quicktime_progress(std::int32_t, const lumaport::ProgressReport* report) {
  if (report == nullptr) return;
  const std::int32_t kind = report->kind, value = report->value;
  std::lock_guard<std::mutex> hold(listener_lock());
  if (listener() != nullptr) {
    listener()->post([kind, value](JobEventReceiver& r) { r.quickTimeReport(kind, value); });
  }
}

QString failure_message(const QString& engine_text) {
  QString message = "Convert failed!";
  const QString reason = engine_text.trimmed();
  if (!reason.isEmpty() && reason.compare("Convert Error", Qt::CaseInsensitive) != 0) {
    message += "\n" + reason;
  }
  return message;
}

}  // namespace kavrol
