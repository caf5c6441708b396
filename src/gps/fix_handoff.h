#pragma once
// The hand-off between a GPS source's thread and the user interface thread.
// The source never waits for the UI thread: Post() leaves the event and
// returns, so the port is read and the heading rule kept up to date whatever
// the UI thread is doing (a message box waiting for OK, a field being
// committed). Only the latest fix is kept, beside the failure still to show:
// a fix the UI thread has not taken yet is replaced by a newer one, since
// the window and the rotator only ever want where the vehicle is now.
//
// The UI thread learns of events through a notifier, called when something
// becomes pending while nothing was (a receiver sending ten fixes a second
// to a busy UI thread queues one call, not ten), and through Ring() when the
// source has news without an event (data after a silence, the port opened
// or lost). It handles what is pending with Serve().

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
  // Called on the posting thread, outside any lock. It must not block on
  // the UI thread: it only arranges for Serve() to be called there (a queued
  // call, a signal to a thread).
  using Notifier = std::function<void()>;
  using Handler = std::function<void(const GpsEvent& event)>;

  // Set while nothing can post (before the reader starts).
  void SetNotifier(Notifier notifier);

  // Poster side, never waits: makes `event` pending (a fix replaces a fix
  // not taken yet, a failure a failure) and calls the notifier when nothing
  // was pending. False, and nothing kept, once cancelled.
  bool Post(GpsEvent event);

  // Poster side: calls the notifier with nothing pending, for news the UI
  // thread reads from the source itself. Nothing once cancelled.
  void Ring();

  // UI side: runs `handler` for the pending failure, then for the latest
  // fix, each taken from the hand-off only when its turn comes (the handler
  // of a failure shows a box, and a newer fix may arrive meanwhile). Returns
  // false when nothing was pending. The handler runs without any lock held;
  // it may call Serve() or Cancel() but must not destroy this object.
  bool Serve(const Handler& handler);

  // Drops what is pending and makes later posts fail until Reset().
  void Cancel();
  void Reset();

 private:
  // With the lock held.
  bool Empty() const { return !failure_ && !fix_; }

  std::mutex mutex_;
  Notifier notifier_;
  std::optional<GpsOpenError> failure_;
  std::optional<GpsFix> fix_;
  bool cancelled_ = false;
};

}  // namespace quarbe
