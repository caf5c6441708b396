#pragma once
// What the window needs of a GPS source, whichever the configured port names:
// the serial reader (GpsReader) or the gpsd client (GpsdReader). Both run a
// thread of their own that hands each fix to the user interface thread
// through a FixHandoff, without waiting for it, and keeps what it has
// received where the window can read it for its status line (Activity()).
//
// Use from one thread (the UI thread): SetNotifier(), the source's own
// Start(), Stop(), Serve(). SetGpsUse() and the queries may be called from
// any thread.

#include <chrono>
#include <optional>

#include "gps/fix_handoff.h"

namespace quarbe {

// A source that has received nothing for this long is silent; a position
// this old is shown with its age.
inline constexpr std::chrono::seconds kGpsSilence{3};

// What a source has received since it started, for a status line. Times are
// of the steady clock.
struct GpsActivity {
  // The device is open, or the connection to gpsd is up.
  bool linkOpen = false;
  // The last sentence (serial line) or the last position or attitude report
  // (gpsd), with or without a fix.
  std::optional<std::chrono::steady_clock::time_point> lastDataAt;
  // The last position handed on.
  std::optional<std::chrono::steady_clock::time_point> lastPositionAt;

  friend bool operator==(const GpsActivity&, const GpsActivity&) = default;
};

class GpsSource {
 public:
  virtual ~GpsSource() = default;

  // How the UI thread is told that Serve() has an event for it. Set before
  // starting; called on the source's thread.
  virtual void SetNotifier(FixHandoff::Notifier notifier) = 0;
  // Asks the thread to end, wakes it, releases any hand-off in progress and
  // joins it; returns its exit value. Nothing is open when this returns.
  virtual int Stop() = 0;
  // UI thread: handles the pending event, if any (see FixHandoff::Serve).
  virtual bool Serve(const FixHandoff::Handler& handler) = 0;
  // Whether positions are handed on (GPS use); courses are always tracked.
  virtual void SetGpsUse(bool on) = 0;
  virtual bool GpsUse() const = 0;
  // Whether the device or the daemon's connection is open right now.
  virtual bool PortOpen() const = 0;
  // Whether a thread was started and has not ended yet.
  virtual bool Running() const = 0;
  // What the running source has received (any thread). The notifier is
  // also called, with nothing to serve, when data arrives after kGpsSilence
  // without any and when the device or connection opens or closes; the
  // rest (data going silent, a position ageing) the reader of this works
  // out from the times.
  virtual GpsActivity Activity() const = 0;
};

}  // namespace quarbe
