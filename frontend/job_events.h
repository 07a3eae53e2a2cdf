// The conversion dialog's ears: the two event sinks the engine jobs call and
// the plain progress function of the QuickTime library. The engine calls
// them from its worker threads (and sometimes from the caller's own thread
// inside Start); each event is queued to the receiver's thread, so the
// receiver only ever handles them on the user-interface thread, after the
// call that caused them has returned.
#pragma once

#include <atomic>
#include <cstdint>

#include <QObject>
#include <QPointer>
#include <QString>

#include "corvexa/sinks.h"
#include "lumaport/lumaport.h"

namespace kavrol {

// What the dialog does with the events, on its own thread.
class JobEventReceiver {
 public:
  virtual void jobFailed(const QString& engine_text) = 0;
  virtual void jobCompleted() = 0;
  virtual void jobProgress(std::int32_t value) = 0;  // percent x 100
  virtual void jobCancelled() = 0;                    // the codec dialog was cancelled
  // The QuickTime library's report {kind, value}.
  virtual void quickTimeReport(std::int32_t kind, std::int32_t value) = 0;

 protected:
  ~JobEventReceiver() = default;
};

// Queues `event` to run on `context`'s thread; dropped if `context` is gone.
class EventRelay {
 public:
  EventRelay(QObject* context, JobEventReceiver* receiver)
      : context_(context), receiver_(receiver) {}
  template <class Event>
  void post(Event event) const {
    JobEventReceiver* receiver = receiver_;
    QMetaObject::invokeMethod(
        context_, [receiver, event] { event(*receiver); }, Qt::QueuedConnection);
  }

 private:
  QObject* context_;
  JobEventReceiver* receiver_;
};

class AviToMpegEvents final : public corvexa::ConvertSink {
 public:
  explicit AviToMpegEvents(EventRelay relay) : relay_(relay) {}
  void OnError(const char* text) override;
  void OnSpare(std::int32_t) override {}
  void OnCompleted() override;
  void OnProgress(std::int32_t value) override;

 private:
  EventRelay relay_;
};

class MediaToAviEvents final : public corvexa::MediaToAviSink {
 public:
  explicit MediaToAviEvents(EventRelay relay) : relay_(relay) {}
  void OnError(const char* text) override;
  void OnCompleted() override;
  void OnActivated() override {}
  void OnCancelled() override;
  void OnProgress(std::int32_t value) override;

 private:
  EventRelay relay_;
};

// The QuickTime library's progress function carries no object of ours, so
// the one receiver of its reports is registered here; null drops them.
void set_quicktime_listener(const EventRelay* relay);
void quicktime_progress(std::int32_t unused, const lumaport::ProgressReport* report);

// "Convert failed!", with the engine's own words under it when it said more
// than its generic "Convert Error".
QString failure_message(const QString& engine_text);

}  // namespace kavrol
