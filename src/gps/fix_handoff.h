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
#include <string>
#include <string_view>
#include <variant>

#include "geodesy/station.h"

namespace quarbe {

// Caption of the message shown when the GPS device cannot be opened.
inline constexpr std::string_view kGpsOpenCaption = "Ouverture port GPS";

// A decoded GGA position with the course held from the last RMC sentence
// (before any, the heading given when the reader started).
struct GpsFix {
  Position position;
  std::int32_t courseDeg = 0;

  friend bool operator==(const GpsFix&, const GpsFix&) = default;
};

// The GPS device could not be opened: the text naming the device and the
// reason, to be shown in a modal box captioned kGpsOpenCaption.
struct GpsOpenError {
  int errorNumber = 0;
  std::string message;

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
