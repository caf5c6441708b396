#pragma once
// The synchronous hand-off between the GPS reader thread and the user
// interface thread. The reader posts one event and waits until the UI thread
// has handled it; the UI thread learns of it through a notifier and handles
// it with Serve(). Cancel() releases a waiting reader at once, so a UI thread
// that stops the reader never deadlocks on a hand-off it will not serve.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <variant>

#include "common/device_failure.h"
#include "common/port_entry.h"
#include "geodesy/station.h"
#include "gps/heading_rule.h"

namespace quarbe {

// A position from the GPS with the vehicle's heading as the heading rule
// gives it (heading_rule.h) and where that heading comes from.
struct GpsFix {
  Position position;
  std::int32_t headingDeg = 0;
  HeadingSource headingSource = HeadingSource::kInitial;

  friend bool operator==(const GpsFix&, const GpsFix&) = default;
};

// gpsd could not be reached at `address`: an unknown port or host, a
// refused connection, another system error (errorNumber), or a failure
// libgps does not explain.
struct GpsdUnreachable {
  enum class Cause { kUnknownPort, kUnknownHost, kRefused, kSystemError, kUnexplained };
  GpsdAddress address;
  Cause cause = Cause::kUnexplained;
  int errorNumber = 0;
  int lookupError = 0;  // for kUnknownHost: getaddrinfo's code, 0 if not known

  friend bool operator==(const GpsdUnreachable&, const GpsdUnreachable&) = default;
};

// The GPS source could not start: its device could not be opened, gpsd
// could not be reached, or the [Ports] entry names neither. The window tells
// the operator.
struct GpsOpenError {
  std::variant<DeviceOpenFailure, GpsdUnreachable, PortEntryFailure> failure;

  friend bool operator==(const GpsOpenError&, const GpsOpenError&) = default;
};

using GpsEvent = std::variant<GpsFix, GpsOpenError>;

class FixHandoff {
 public:
  // Called on the posting thread, outside any lock, each time an event is
  // pending. It must not block on the UI thread: it only arranges for
  // Serve() to be called there (a queued call, a signal to a thread).
  using Notifier = std::function<void()>;
  using Handler = std::function<void(const GpsEvent& event)>;

  // Set while nothing can post (before the reader starts).
  void SetNotifier(Notifier notifier);

  // Poster side: makes `event` pending, calls the notifier and waits until
  // Serve() has run the handler for it (true) or Cancel() was called (false,
  // also at once when already cancelled).
  bool Post(GpsEvent event);

  // UI side: runs `handler` for the pending event, if any, then releases the
  // poster. Returns false when nothing was pending (already served, or the
  // poster was released by Cancel()). The handler runs without any lock held;
  // it may call Cancel() but must not destroy this object.
  bool Serve(const Handler& handler);

  // Releases a waiting poster and makes later posts fail until Reset().
  void Cancel();
  void Reset();

 private:
  std::mutex mutex_;
  std::condition_variable served_;
  Notifier notifier_;
  std::optional<GpsEvent> pending_;
  std::uint64_t postedCount_ = 0;
  std::uint64_t servedCount_ = 0;
  bool cancelled_ = false;
};

}  // namespace quarbe
