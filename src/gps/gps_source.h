#pragma once
// What the window needs of a GPS source, whichever the configured port names:
// the serial reader (GpsReader) or the gpsd client (GpsdReader). Both run a
// thread of their own that hands each fix to the user interface thread
// through a FixHandoff and waits until it has been handled.
//
// Use from one thread (the UI thread): SetNotifier(), the source's own
// Start(), Stop(), Serve(). SetGpsUse() and the queries may be called from
// any thread.

#include "gps/fix_handoff.h"

namespace quarbe {

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
};

}  // namespace quarbe
